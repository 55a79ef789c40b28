#pragma once

#include "model/SettingsTypes.h"
#include "engines/EngineError.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <QCoro/QCoroTask>

#include <optional>

// Client of the LanguageTool grammar-check service and the rules that judge its findings.
namespace LanguageTool {

// One finding, placed in the checked text.
struct Match
{
    qsizetype start = 0;   // UTF-16 position in the checked text, on a character boundary
    qsizetype length = 0;  // UTF-16 units, ends on a character boundary
    QString original;      // the text in [start, start + length)
    QStringList replacements; // the service's suggestions, at most 3
    QString message;
    QString category;      // the category's display name
    QString kind;          // kind(category id)

    qsizetype end() const { return start + length; }
};

// Sends `text` to "/v2/check" with the language code as given and level "picky".
// Throws EngineError for a refused request (service "LanguageTool"), and the
// transport or decoding failure otherwise.
QCoro::Task<QList<Match>> check(QString text, QString language);

// The fault kind of a category identifier (exact comparison).
QString kind(const QString &categoryId);
// Whether the user's scope and punctuation level let the match through.
bool allowed(const Match &match, CorrectionScope scope, PunctuationLevel punctuation);
// Whether `replacement` may go into the text without a language model's judgement.
bool isSafe(const Match &match, const QString &replacement);
// The suggestion to apply when no language model takes part.
std::optional<QString> bestReplacement(const Match &match);

// The request's form body ("text", "language", "level=picky"), UTF-8.
QByteArray formBody(const QString &text, const QString &language);

// Decodes a reply body and places its matches in `text`. Matches that cannot be
// placed are dropped; throws DecodingError when the JSON lacks a required key or
// holds a wrong type.
QList<Match> parseReply(const QString &text, const QByteArray &body);

} // namespace LanguageTool
