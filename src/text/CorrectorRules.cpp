// The parts of the corrector that need no engine: prompts, filtering, applying
// suggestions, the guard and the finishing pass.
#include "text/Corrector.h"

#include "engines/OpenRouter.h"
#include "model/TextUtil.h"
#include "text/Chars.h"

#include <QRegularExpression>
#include <QSet>
#include <QTextBoundaryFinder>

#include <algorithm>

namespace Corrector {

namespace {

// Words of `text` split at every character that is not a letter.
QStringList letterWords(const QString &text)
{
    QStringList words;
    QString current;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype from = 0;
    for (qsizetype next = finder.toNextBoundary(); next > 0; next = finder.toNextBoundary()) {
        const QString cluster = text.mid(from, next - from);
        if (Chars::isLetter(Chars::firstCodePoint(cluster))) {
            current += cluster;
        } else if (!current.isEmpty()) {
            words.append(current);
            current.clear();
        }
        from = next;
    }
    if (!current.isEmpty())
        words.append(current);
    return words;
}

QString trimmedBlanksAtEnd(const QString &text)
{
    qsizetype end = text.size();
    while (end > 0) {
        const char32_t c = text.at(end - 1).unicode();
        if (!TextUtil::isWhiteSpace(c) || TextUtil::isLineBreak(c))
            break;
        --end;
    }
    return text.left(end);
}

} // namespace

QString instructions(const QString &language, const QStringList &words, CorrectionScope scope,
                     PunctuationLevel punctuation)
{
    QStringList fix;
    QStringList keep;
    const auto sort = [&](qint64 bit, const char *whenSet, const char *whenClear) {
        if (scope.contains(bit))
            fix.append(QString::fromUtf8(whenSet));
        else
            keep.append(QString::fromUtf8(whenClear));
    };
    sort(1, "l'orthographe", "l'orthographe des mots");
    sort(2, "la grammaire, la conjugaison et les accords", "la grammaire");
    sort(4, "la ponctuation", "la ponctuation exactement telle quelle");
    sort(8, "les majuscules et les espaces", "les majuscules et les espaces");

    QString prompt = QStringLiteral("Corrige ce texte en ") + language + QStringLiteral(". Corrige uniquement : ")
                     + fix.join(QStringLiteral(", ")) + QStringLiteral(".");
    if (!keep.isEmpty())
        prompt += QStringLiteral(" Ne touche pas à : ") + keep.join(QStringLiteral(", ")) + QStringLiteral(".");
    if (scope.contains(CorrectionScope::punctuation))
        prompt += QLatin1Char(' ') + OpenRouter::punctuationParagraph(punctuation);
    if (scope.contains(CorrectionScope::style))
        prompt += QStringLiteral(" Tu peux rendre les phrases un peu plus fluides, sans changer le sens ni le ton.");
    else
        prompt += QStringLiteral(" Ne change ni le sens, ni le ton, ni la structure, ni les mots justes. Ne reformule pas.");
    prompt += QStringLiteral(
        "\nGarde tels quels les abréviations, le langage familier et l'argot (jsp, mdr, ptdr, tkt, stp…),\n"
        "les noms propres et les mots que tu ne connais pas. Ne change pas le type de phrase (n'ajoute pas de « ? »).\n"
        "Ne raccourcis pas, n'ajoute rien, garde les retours à la ligne.\n"
        "Renvoie uniquement le texte corrigé, sans guillemets ni commentaire.");
    QStringList listed;
    for (const QString &word : words)
        if (!TextUtil::trimmedBlanks(word).isEmpty())
            listed.append(word);
    if (!listed.isEmpty())
        prompt += QStringLiteral("\nOrthographe à respecter pour ces mots : ") + listed.join(QStringLiteral(", "))
                  + QStringLiteral(".");
    return prompt;
}

QString guardChanges(const QString &original, const QString &corrected)
{
    QString result = TextUtil::trimmed(corrected);

    // Short lower-case words the model wrote in capitals ("jsp" → "JSP") come back.
    QStringList shortWords;
    QSet<QString> seen;
    for (const QString &word : letterWords(original)) {
        if (TextUtil::characterCount(word) >= 6 || word != word.toLower() || seen.contains(word))
            continue;
        seen.insert(word);
        shortWords.append(word);
    }
    for (const QString &word : std::as_const(shortWords)) {
        if (TextUtil::characterCount(word) < 2)
            continue;
        const QString upper = word.toUpper();
        if (!result.contains(upper))
            continue; // nothing to undo: spare the pattern
        const QRegularExpression pattern(QStringLiteral("(?<![\\p{L}])") + QRegularExpression::escape(upper)
                                         + QStringLiteral("(?![\\p{L}])"));
        if (!pattern.isValid())
            continue;
        result.replace(pattern, word);
    }

    // An empty reply invents nothing, not even the original's question mark.
    if (result.isEmpty())
        return result;
    const QString trimmedOriginal = TextUtil::trimmed(original);
    const QChar question = QLatin1Char('?');
    const auto endsSentence = [](QChar c) {
        return c == QLatin1Char('.') || c == QLatin1Char('!') || c == QLatin1Char('?') || c == QChar(0x2026);
    };
    // A statement must not become a question…
    if (result.endsWith(question) && !trimmedOriginal.endsWith(question)) {
        result.chop(1);
        result = trimmedBlanksAtEnd(result);
        if (result.isEmpty() || !endsSentence(result.back()))
            result += QLatin1Char('.');
    }
    // …nor a question a statement: its own final mark gives way to the question mark.
    if (trimmedOriginal.endsWith(question) && !result.endsWith(question)) {
        qsizetype end = result.size();
        while (end > 0 && (endsSentence(result.at(end - 1)) || result.at(end - 1) == QLatin1Char(' ')))
            --end;
        result = result.left(end) + QStringLiteral(" ?");
    }
    return result;
}

QString finish(const QString &text, CorrectionScope scope)
{
    QString result = TextUtil::trimmed(text);
    if (result.isEmpty())
        return result;
    if (scope.contains(CorrectionScope::typography)) {
        const char32_t first = Chars::firstCodePoint(result);
        if (Chars::isLetter(first) && Chars::isLower(first)) {
            const qsizetype width = QChar::requiresSurrogates(first) ? 2 : 1;
            result = QString::fromUcs4(&first, 1).toUpper() + result.mid(width);
        }
    }
    if (scope.contains(CorrectionScope::punctuation)) {
        const char32_t last = Chars::lastCluster(result);
        if (Chars::isLetter(last) || Chars::isNumeric(last))
            result += QLatin1Char('.');
    }
    return result;
}

QList<LanguageTool::Match> keepMatches(const QList<LanguageTool::Match> &matches, const QStringList &words,
                                       CorrectionScope scope, PunctuationLevel punctuation)
{
    QSet<QString> dictionary;
    for (const QString &word : words)
        dictionary.insert(word.toLower());
    QList<LanguageTool::Match> kept;
    for (const LanguageTool::Match &match : matches) {
        if (!LanguageTool::allowed(match, scope, punctuation))
            continue;
        if (dictionary.contains(match.original.toLower()))
            continue;
        kept.append(match);
    }
    return kept;
}

Applied applyMatches(const QString &text, const QList<LanguageTool::Match> &matches, bool withModel)
{
    QList<LanguageTool::Match> order = matches;
    std::stable_sort(order.begin(), order.end(),
                     [](const LanguageTool::Match &a, const LanguageTool::Match &b) { return a.start > b.start; });

    Applied applied;
    applied.text = text;
    // Everything from `changedFrom` on may differ from `text`; what lies before it is intact.
    qsizetype changedFrom = text.size() + 1;
    const auto replace = [&](const LanguageTool::Match &match, const QString &by) {
        applied.text.replace(match.start, match.length, by);
        changedFrom = match.start;
    };
    const auto reachesChange = [&](const LanguageTool::Match &match) {
        if (match.end() > changedFrom)
            return true;
        // Touching the change: its first character may have merged with what precedes it.
        if (match.end() == changedFrom && changedFrom <= applied.text.size())
            return !Chars::isBoundary(applied.text, match.end()) || !Chars::isBoundary(applied.text, match.start);
        return false;
    };

    for (const LanguageTool::Match &match : std::as_const(order)) {
        if (reachesChange(match)) {
            if (withModel)
                applied.hints.append(match);
            continue;
        }
        const QString first = match.replacements.value(0);
        if (!first.isEmpty() && LanguageTool::isSafe(match, first)) {
            replace(match, first);
            continue;
        }
        if (withModel) {
            applied.hints.append(match);
            continue;
        }
        if (const auto best = LanguageTool::bestReplacement(match))
            replace(match, *best);
        else
            applied.hints.append(match);
    }
    return applied;
}

QString modelSystem(const QString &instructions, bool hasHints)
{
    if (!hasHints)
        return instructions;
    return instructions
           + QStringLiteral("\nUn vérificateur a repéré des fautes possibles. Elles peuvent être incomplètes ou fausses :\n"
                            "pour chacune, choisis la correction juste selon le contexte, et corrige aussi toute autre faute.");
}

QString modelUser(const QString &working, const QList<LanguageTool::Match> &hints)
{
    if (hints.isEmpty())
        return working;
    QStringList lines;
    for (const LanguageTool::Match &hint : hints) {
        QString line = QStringLiteral("- « ") + hint.original + QStringLiteral(" » : ") + hint.message;
        if (!hint.replacements.isEmpty())
            line += QStringLiteral(" (propositions : ") + hint.replacements.join(QStringLiteral(" / ")) + QLatin1Char(')');
        lines.append(line);
    }
    return QStringLiteral("Texte à corriger :\n<<<\n") + working + QStringLiteral("\n>>>\n\nFautes repérées :\n")
           + lines.join(QLatin1Char('\n'));
}

QString cleanReply(const QString &reply)
{
    QString cleaned = reply;
    cleaned.remove(QStringLiteral("<<<"));
    cleaned.remove(QStringLiteral(">>>"));
    const QString label = QStringLiteral("Texte à corriger :");
    if (cleaned.startsWith(label))
        cleaned.remove(0, label.size());
    return cleaned;
}

} // namespace Corrector
