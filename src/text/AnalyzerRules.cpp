// The parts of the analyzer that need no engine: word comparison, enrichment from
// the grammar check, the explanation prompts and reply, the rewrite prompts.
#include "text/Analyzer.h"

#include "model/TextUtil.h"
#include "text/Chars.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <vector>

namespace Analyzer {

const QStringList &kinds()
{
    return Fix::kinds();
}

namespace {

// Words split at every white-space character, empty pieces dropped, each with its
// UTF-16 position in the text.
struct Words
{
    QStringList words;
    QList<qsizetype> starts;
};

Words whiteSpaceWords(const QString &text)
{
    Words out;
    qsizetype start = -1;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        const bool space = i == text.size() || TextUtil::isWhiteSpace(text.at(i).unicode());
        if (space) {
            if (start >= 0) {
                out.words.append(text.mid(start, i - start));
                out.starts.append(start);
            }
            start = -1;
        } else if (start < 0) {
            start = i;
        }
    }
    return out;
}

QString nfc(const QString &s)
{
    return s.normalized(QString::NormalizationForm_C);
}

} // namespace

QString guessKind(const QString &removed, const QString &added)
{
    const QString a = nfc(Chars::alphanumerics(removed));
    const QString b = nfc(Chars::alphanumerics(added));
    if (a == b)
        return QStringLiteral("ponctuation");
    // Only capitals changed ("paris" → "Paris"): typography, as the kinds say.
    if (a.toLower() == b.toLower())
        return QStringLiteral("typographie");
    return QStringLiteral("orthographe");
}

QList<Fix> diff(const QString &original, const QString &corrected)
{
    const QStringList a = whiteSpaceWords(original).words;
    const Words placed = whiteSpaceWords(corrected);
    const QStringList &b = placed.words;
    const qint64 n = a.size();
    const qint64 m = b.size();
    // Computed in 64 bits: two long texts must meet the cap, not wrap around below it.
    if (n * m >= maxCells)
        return {};

    // Words become small integers so that the table compares numbers, not strings.
    QHash<QString, int> ids;
    std::vector<int> wa(n), wb(m);
    const auto idOf = [&ids](const QString &word) {
        const QString key = nfc(word);
        const auto it = ids.constFind(key);
        return it != ids.constEnd() ? *it : *ids.insert(key, int(ids.size()));
    };
    for (qint64 i = 0; i < n; ++i)
        wa[i] = idOf(a[i]);
    for (qint64 j = 0; j < m; ++j)
        wb[j] = idOf(b[j]);

    // One flat (n + 1) × (m + 1) table: cell (i, j) is the longest common word
    // sequence of a[i…] and b[j…].
    const qint64 width = m + 1;
    std::vector<int> table(size_t((n + 1) * width), 0);
    const auto at = [&](qint64 i, qint64 j) -> int & { return table[size_t(i * width + j)]; };
    for (qint64 i = n - 1; i >= 0; --i)
        for (qint64 j = m - 1; j >= 0; --j)
            at(i, j) = wa[i] == wb[j] ? at(i + 1, j + 1) + 1 : std::max(at(i + 1, j), at(i, j + 1));

    QList<Fix> fixes;
    QStringList removed;
    QStringList added;
    // j is the corrected word after the pending change: the added words end before it.
    qint64 j = 0;
    const auto flush = [&] {
        if (removed.isEmpty() && added.isEmpty())
            return;
        const QString r = removed.join(QLatin1Char(' '));
        const QString d = added.join(QLatin1Char(' '));
        Fix fix;
        fix.original = removed.isEmpty() ? QStringLiteral("∅") : r;
        fix.correction = added.isEmpty() ? QStringLiteral("∅") : d;
        fix.kind = guessKind(r, d);
        if (!added.isEmpty()) {
            const qint64 first = j - added.size();
            fix.at = placed.starts[first];
            fix.length = placed.starts[j - 1] + b[j - 1].size() - fix.at;
        } else {
            // A removal stands right after the word before it, or at the first word.
            fix.at = j > 0 ? placed.starts[j - 1] + b[j - 1].size() : (m > 0 ? placed.starts[0] : 0);
            fix.length = 0;
        }
        fixes.append(fix);
        removed.clear();
        added.clear();
    };
    qint64 i = 0;
    while (i < n || j < m) {
        if (i < n && j < m && wa[i] == wb[j]) {
            flush();
            ++i;
            ++j;
        } else if (j < m && (i == n || at(i, j + 1) >= at(i + 1, j))) {
            added.append(b[j]);
            ++j;
        } else {
            removed.append(a[i]);
            ++i;
        }
    }
    flush();
    return fixes;
}

namespace {

// The words of a text split at every character that is neither a letter nor a
// digit, lower-cased.
QStringList plainWords(const QString &text)
{
    QStringList words;
    QString current;
    for (const QChar c : text) {
        if (c.isLetterOrNumber()) {
            current += c.toLower();
        } else if (!current.isEmpty()) {
            words.append(current);
            current.clear();
        }
    }
    if (!current.isEmpty())
        words.append(current);
    return words;
}

// Whether `part` stands, whole words in order, inside `whole`.
bool containsWords(const QStringList &whole, const QStringList &part)
{
    if (part.isEmpty() || part.size() > whole.size())
        return false;
    for (qsizetype at = 0; at + part.size() <= whole.size(); ++at)
        if (std::equal(part.cbegin(), part.cend(), whole.cbegin() + at))
            return true;
    return false;
}

} // namespace

QList<Fix> enrich(QList<Fix> fixes, const QList<LanguageTool::Match> &matches)
{
    QStringList originals;
    QList<QStringList> originalWords;
    originals.reserve(matches.size());
    for (const LanguageTool::Match &match : matches) {
        originals.append(TextUtil::trimmedBlanks(match.original.toLower()));
        originalWords.append(plainWords(match.original));
    }

    // A finding goes with a fix only on whole words: one on "a" says nothing of
    // "manger" or of "chat".
    for (Fix &fix : fixes) {
        const QString f = fix.original.toLower();
        const QStringList words = plainWords(fix.original);
        qsizetype found = -1;
        for (qsizetype k = 0; k < originals.size() && found < 0; ++k)
            if (originals[k] == f)
                found = k;
        for (qsizetype k = 0; k < originals.size() && found < 0; ++k)
            if (containsWords(words, originalWords[k]) || containsWords(originalWords[k], words))
                found = k;
        if (found >= 0) {
            fix.kind = matches[found].kind;
            fix.explanation = matches[found].message;
        }
    }
    return fixes;
}

QString explainSystem(const QString &language)
{
    return QStringLiteral("Tu es professeur de ") + language
           + QStringLiteral(". Pour chaque correction listée, dans l'ordre, donne le type de faute\n"
                            "et une explication très courte (une phrase) de la règle appliquée, en ")
           + language
           + QStringLiteral(".\nExplique la règle qui s'applique vraiment dans cette phrase, sans en inventer une autre :\n"
                            "- un infinitif remplacé par un participe passé après « avoir » ou « être » : c'est le participe passé\n"
                            "  qui suit l'auxiliaire dans un temps composé (« j'ai acheté », pas « j'ai acheter ») ;\n"
                            "- ne parle d'accord avec le complément d'objet direct que s'il est placé avant le verbe dans le texte ;\n"
                            "- une majuscule ajoutée en début de phrase : une phrase commence toujours par une majuscule.");
}

QString explainJsonLine()
{
    return QStringLiteral("Réponds uniquement en JSON : {\"items\": [{\"kind\": \"") + kinds().join(QLatin1Char('|'))
           + QStringLiteral("\", \"explanation\": \"...\"}]}");
}

QString explainUser(const QList<Fix> &fixes, const QString &text)
{
    QStringList lines;
    for (qsizetype k = 0; k < fixes.size(); ++k)
        lines.append(QString::number(k + 1) + QStringLiteral(". « ") + fixes[k].original + QStringLiteral(" » → « ")
                     + fixes[k].correction + QStringLiteral(" »"));
    return QStringLiteral("Texte d'origine :\n") + text + QStringLiteral("\n\nCorrections :\n") + lines.join(QLatin1Char('\n'));
}

QList<Fix> applyExplanations(QList<Fix> fixes, const QString &reply, const QString &service)
{
    QString json = reply;
    const qsizetype open = reply.indexOf(QLatin1Char('{'));
    const qsizetype close = reply.lastIndexOf(QLatin1Char('}'));
    if (open >= 0 && close >= open)
        json = reply.mid(open, close - open + 1);

    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError)
        throw DecodingError(service);
    if (!doc.isObject() || !doc.object().value(QStringLiteral("items")).isArray())
        throw DecodingError(service);

    struct Item
    {
        std::optional<QString> kind, explanation;
    };
    const auto optionalString = [&service](const QJsonObject &o, const QString &key) -> std::optional<QString> {
        const QJsonValue v = o.value(key);
        if (v.isUndefined() || v.isNull())
            return std::nullopt;
        if (!v.isString())
            throw DecodingError(service);
        return v.toString();
    };
    QList<Item> items;
    for (const QJsonValue &v : doc.object().value(QStringLiteral("items")).toArray()) {
        if (!v.isObject())
            throw DecodingError(service);
        const QJsonObject o = v.toObject();
        items.append({optionalString(o, QStringLiteral("kind")), optionalString(o, QStringLiteral("explanation"))});
    }

    for (qsizetype k = 0; k < fixes.size() && k < items.size(); ++k) {
        if (items[k].kind && kinds().contains(*items[k].kind))
            fixes[k].kind = *items[k].kind;
        fixes[k].explanation = items[k].explanation.value_or(QString());
    }
    return fixes;
}

QJsonObject explanationSchema(int count)
{
    const QJsonObject kind{
        {QStringLiteral("type"), QStringLiteral("string")},
        {QStringLiteral("enum"), QJsonArray::fromStringList(kinds())},
        {QStringLiteral("description"), QStringLiteral("Type de faute")},
    };
    const QJsonObject explanation{
        {QStringLiteral("type"), QStringLiteral("string")},
        {QStringLiteral("description"), QStringLiteral("Règle appliquée, en une phrase courte")},
    };
    const QJsonObject item{
        {QStringLiteral("type"), QStringLiteral("object")},
        {QStringLiteral("properties"), QJsonObject{{QStringLiteral("kind"), kind}, {QStringLiteral("explanation"), explanation}}},
        {QStringLiteral("required"), QJsonArray{QStringLiteral("kind"), QStringLiteral("explanation")}},
        {QStringLiteral("additionalProperties"), false},
    };
    const QJsonObject items{
        {QStringLiteral("type"), QStringLiteral("array")},
        {QStringLiteral("description"), QStringLiteral("Une entrée par correction, dans l'ordre")},
        {QStringLiteral("items"), item},
        {QStringLiteral("minItems"), count},
        {QStringLiteral("maxItems"), count},
    };
    return QJsonObject{
        {QStringLiteral("type"), QStringLiteral("object")},
        {QStringLiteral("properties"), QJsonObject{{QStringLiteral("items"), items}}},
        {QStringLiteral("required"), QJsonArray{QStringLiteral("items")}},
        {QStringLiteral("additionalProperties"), false},
    };
}

QString rewriteSystem(TextAction action, const QString &language, const std::optional<QString> &target)
{
    if (action == TextAction::Translate)
        return QStringLiteral("Traduis ce texte en ") + target.value_or(QStringLiteral("anglais"))
               + QStringLiteral(", de façon naturelle et fidèle, en gardant le ton et la mise en forme.\n"
                                "Renvoie uniquement la traduction, sans guillemets ni commentaire.");
    QString sentence;
    switch (action) {
    case TextAction::Correct:
        break;
    case TextAction::Formal:
        sentence = QStringLiteral("Réécris ce texte dans un registre plus formel et professionnel, sans fautes.");
        break;
    case TextAction::Friendly:
        sentence = QStringLiteral("Réécris ce texte sur un ton plus chaleureux et amical, sans fautes.");
        break;
    case TextAction::Concise:
        sentence = QStringLiteral("Réécris ce texte de façon plus courte et directe, en gardant toutes les informations, sans fautes.");
        break;
    case TextAction::Clearer:
        sentence = QStringLiteral("Réécris ce texte pour qu'il soit plus clair et plus facile à lire, sans fautes.");
        break;
    case TextAction::Email:
        sentence = QStringLiteral("Transforme ce texte en un email professionnel bien structuré (formule d'appel, corps, "
                                  "formule de politesse), sans fautes.");
        break;
    case TextAction::Summary:
        sentence = QStringLiteral("Résume ce texte en quelques phrases courtes, ou en points si c'est plus clair, en "
                                  "gardant l'essentiel.");
        break;
    case TextAction::Translate:
        break;
    }
    return sentence + QStringLiteral(" Écris en ") + language + QStringLiteral(". Garde le sens")
           + (action == TextAction::Summary ? QString() : QStringLiteral(" et toutes les informations"))
           + QStringLiteral(".\nRenvoie uniquement le texte, sans guillemets ni commentaire.");
}

} // namespace Analyzer
