#pragma once

#include "engines/OmbryAI.h"

#include <QString>

#include <QCoro/QCoroTask>

// A spoken instruction applied to a text by a language model.
namespace VoiceCommand {

// Returns the new text exactly as the model gave it. The cloud is asked first;
// the on-device model takes over when it fails.
QCoro::Task<QString> apply(OmbryAI::Access access, QString instruction, QString text);

QString systemPrompt();
QString userMessage(const QString &instruction, const QString &text);
// The cloud model, whatever the settings say.
inline constexpr const char *model = "google/gemini-2.5-flash-lite";

} // namespace VoiceCommand
