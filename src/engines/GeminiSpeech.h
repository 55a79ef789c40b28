#pragma once

#include "engines/OmbryAI.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QCoroTask>

// Speech to text through the audio-capable chat model, sent through the one chat
// transport (OmbryAI::chat). Every operation runs on the main thread and throws
// what the transport throws, or DecodingError for a reply of the wrong shape.
namespace GeminiSpeech {

inline constexpr const char *kModel = "google/gemini-2.5-flash-lite";
// 70 s of PCM: the most that one request on the hosted route carries.
inline constexpr qsizetype kSliceBytes = 2'240'000;

// Verbatim transcript of a WAV recording in `language` (a French phrase such as
// "français"), with the dictionary `words` spelled as given. On the hosted route a
// recording longer than 70 s is sent in 70 s slices, one after the other.
QCoro::Task<QString> transcribe(OmbryAI::Access access, QByteArray wav, QString language, QStringList words);

struct Cleaned
{
    QString raw;
    QString clean;
};
// The verbatim and the cleaned transcript from one call.
QCoro::Task<Cleaned> transcribeAndClean(OmbryAI::Access access, QByteArray wav, QString language, QStringList words,
                                        QString tone, QString punctuation);

struct Translated
{
    QString en;
    QString fr;
};
// An English call excerpt and its French translation; `context` holds the previous
// subtitle sentences ("" for none). Never fails on a malformed model answer.
QCoro::Task<Translated> transcribeAndTranslate(OmbryAI::Access access, QByteArray wav, QString context);

// The string member `name` read out of a JSON text that may be cut off or
// malformed; "" when it is not found.
QString field(const QString &name, const QString &text);

// The pieces the operations are built from.
QString wordLine(const QStringList &words);
QString transcribePrompt(const QString &language, const QStringList &words);
QString cleanPrompt(const QString &language, const QStringList &words, const QString &tone,
                    const QString &punctuation);
QString translatePrompt(const QString &context);
QJsonObject chatBody(const QString &system, const QByteArray &wav, bool jsonReply);
// The text from the first "{" to the last "}" when both exist in that order, else
// the whole text.
QString jsonCut(const QString &text);

} // namespace GeminiSpeech
