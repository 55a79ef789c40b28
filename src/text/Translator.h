#pragma once

#include "engines/OmbryAI.h"
#include "text/TextSettings.h"

#include <QList>
#include <QPair>
#include <QString>

#include <QCoro/QCoroTask>

#include <optional>

// Translation into a language named in French, with language recognition.
namespace Translator {

// French language name → language code of the recogniser, nine entries.
const QList<QPair<QString, QString>> &codes();

// The French name of the dominant language of `text`, or none.
std::optional<QString> detect(const QString &text);

// Translates `text` into `target`; with `autoReverse`, a text already in the target
// language goes the other way (French → English, anything else → French). The
// cloud is asked first; the on-device model takes over when it fails.
QCoro::Task<QString> translate(OmbryAI::Access access, QString text, QString target, bool autoReverse,
                               TextSettings settings);

// The language the translation goes into.
QString resolvedTarget(const QString &text, const QString &target, bool autoReverse);
QString systemPrompt(const QString &target);
// The cloud model: the user's model with the OpenRouter rewrite engine, else a fixed one.
QString cloudModel(const TextSettings &settings);

} // namespace Translator
