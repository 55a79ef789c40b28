#pragma once

#include "engines/OmbryAI.h"
#include "model/Fix.h"
#include "text/LanguageTool.h"
#include "text/TextSettings.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <QCoro/QCoroTask>

#include <optional>

// The service behind the corrector page: correct and list the changes, explain
// them, and rewrite a text by action.
namespace Analyzer {

// The seven fault kinds, in the order offered to the language model.
const QStringList &kinds();

// Corrects `text` and lists what changed, with kinds and messages of the grammar check.
QCoro::Task<Analysis> analyze(OmbryAI::Access access, QString text, QString language, QStringList words,
                              TextSettings settings);

// Gives each unexplained fix a kind and a one-sentence rule. Never fails: a failure
// is logged and leaves the fixes as they were.
QCoro::Task<QList<Fix>> explain(OmbryAI::Access access, QList<Fix> fixes, QString text, QString language,
                                TextSettings settings);

// Rewrites `text` by `action`; `target` names the language of a translation.
QCoro::Task<QString> rewrite(OmbryAI::Access access, QString text, TextAction action, QString language,
                             std::optional<QString> target, TextSettings settings);

// The word-by-word changes between a text and its corrected version, in text order.
QList<Fix> diff(const QString &original, const QString &corrected);
// "ponctuation" when only non-alphanumeric characters differ, else "orthographe".
QString guessKind(const QString &removed, const QString &added);

// --- Pieces of the operations above, pure.

// Each fix takes the kind and message of the first finding that matches its words.
QList<Fix> enrich(QList<Fix> fixes, const QList<LanguageTool::Match> &matches);

// Prompts of `explain` for a list of fixes that all lack an explanation.
QString explainSystem(const QString &language);
QString explainUser(const QList<Fix> &fixes, const QString &text);
QString explainJsonLine();
// Decodes a model reply (prose or a code fence around the object is tolerated) and
// applies its items to `fixes`. Throws DecodingError for `service` on a reply
// that does not decode.
QList<Fix> applyExplanations(QList<Fix> fixes, const QString &reply, const QString &service);
// The JSON schema of the on-device model's answer: exactly `count` items.
QJsonObject explanationSchema(int count);

QString rewriteSystem(TextAction action, const QString &language, const std::optional<QString> &target);

// The largest number of explanations asked in one model call.
constexpr int maxExplained = 40;
// Above this many word pairs the comparison gives up and lists no fixes.
constexpr qint64 maxCells = 4'000'000;

} // namespace Analyzer
