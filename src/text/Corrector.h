#pragma once

#include "engines/OmbryAI.h"
#include "model/SettingsTypes.h"
#include "text/LanguageTool.h"
#include "text/TextSettings.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <QCoro/QCoroTask>

// Correction of a text: grammar-check findings, a language model that has the last
// word, a guard against unwanted changes and a small finishing pass.
namespace Corrector {

struct Result
{
    QString text;                         // the corrected text
    QList<LanguageTool::Match> matches;   // findings that passed the filters, service order
};

// Corrects `text` as `settings` say, a cloud model asked through `access`.
// `language` is the French name given to the prompt. Fails only when the language
// model finally used fails.
QCoro::Task<Result> correctDetailed(OmbryAI::Access access, QString text, QString language, QStringList words,
                                    TextSettings settings);

// The system prompt of the correction, from the settings' scope and punctuation.
QString instructions(const QString &language, const QStringList &words, CorrectionScope scope,
                     PunctuationLevel punctuation);

// The model's text with short lower-case words written in capitals and an added or
// lost question mark undone, against the text before correction.
QString guardChanges(const QString &original, const QString &corrected);

// Trims, capitalises the first letter (typography) and ends with a full stop (punctuation).
QString finish(const QString &text, CorrectionScope scope);

// --- The local steps, in the order correctDetailed runs them.

// Findings the scope lets through, minus those whose text is a dictionary word.
QList<LanguageTool::Match> keepMatches(const QList<LanguageTool::Match> &matches, const QStringList &words,
                                       CorrectionScope scope, PunctuationLevel punctuation);

struct Applied
{
    QString text;                       // the working text after the applied suggestions
    QList<LanguageTool::Match> hints;   // findings left to the model, last position first
};

// Applies the findings from the last start to the first: safe suggestions always,
// the best suggestion when no model takes part; the rest become hints. A finding
// that reaches into a replacement already made is hinted when a model takes part,
// otherwise skipped.
Applied applyMatches(const QString &text, const QList<LanguageTool::Match> &matches, bool withModel);

// The system prompt and user message sent to the model.
QString modelSystem(const QString &instructions, bool hasHints);
QString modelUser(const QString &working, const QList<LanguageTool::Match> &hints);

// Strips the "<<<"/">>>" fences and a repeated "Texte à corriger :" label.
QString cleanReply(const QString &reply);

} // namespace Corrector
