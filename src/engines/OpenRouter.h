#pragma once

#include "engines/OmbryAI.h"
#include "model/SettingsTypes.h"

#include <QString>
#include <QStringList>
#include <QCoroTask>

// The text side of the cloud engines: the one completion call, the dictation
// clean-up prompt, the clean-up that needs no model, and the "already clean" test.
namespace OpenRouter {

// Sends `system` and `text` to `model` through OmbryAI::chat (60 s, label
// "OpenRouter") and returns the first choice's content, trimmed; the text itself
// when the reply has no choice. Throws the transport's errors and DecodingError.
QCoro::Task<QString> complete(OmbryAI::Access access, QString system, QString text, QString model);

// The "max_tokens" of a completion: min(3 × words + 200, 4000).
int maxTokens(const QString &text);

// The tone sentence of the current dictation ("" for none). The default tone of
// instructions(); written on the main thread, readable from any thread.
// The prompt's paragraph on how much punctuation to add.
QString punctuationParagraph(PunctuationLevel level);

QString toneHint();
void setToneHint(const QString &tone);

// The clean-up prompt of a raw transcript in `language` (a French phrase such as
// "français"), with the spelling of `words`, the `punctuation` setting and the
// register of `tone`.
QString instructions(const QString &language, const QStringList &words, PunctuationLevel punctuation);
QString instructions(const QString &language, const QStringList &words, PunctuationLevel punctuation,
                     const QString &tone);

// Hesitations removed, double blanks reduced, blanks trimmed, first character
// upper-cased.
QString basicCleanup(const QString &text);

// True when a transcript holds no filler and no repeated word, so the model
// clean-up may be skipped.
bool alreadyClean(const QString &transcript);

} // namespace OpenRouter
