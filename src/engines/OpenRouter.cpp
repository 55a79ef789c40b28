#include "engines/OpenRouter.h"

#include "engines/EngineError.h"
#include "engines/OmbryAI.h"
#include "model/TextUtil.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QRegularExpression>
#include <QTextBoundaryFinder>

namespace {

QMutex g_toneMutex;
QString g_tone;

// A letter, or a combining mark that belongs to the letter before it.
bool isWordCharacter(char32_t c)
{
    if (c == U'\'')
        return true;
    switch (QChar::category(c)) {
    case QChar::Letter_Uppercase:
    case QChar::Letter_Lowercase:
    case QChar::Letter_Titlecase:
    case QChar::Letter_Modifier:
    case QChar::Letter_Other:
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
        return true;
    default:
        return false;
    }
}

} // namespace

namespace OpenRouter {

QString punctuationParagraph(PunctuationLevel level)
{
    switch (level) {
    case PunctuationLevel::Light:
        return QStringLiteral("Ponctuation légère : garde la ponctuation déjà présente, n'ajoute pas de virgules, "
                              "de deux-points ni de points-virgules. Mets seulement un point à la fin de chaque "
                              "phrase qui n'en a pas.");
    case PunctuationLevel::Normal:
        break;
    case PunctuationLevel::Full:
        return QStringLiteral("Ponctuation complète et soignée : virgules, deux-points, points-virgules et "
                              "guillemets selon les règles.");
    }
    return QStringLiteral("Ponctuation normale : points, virgules et points d'interrogation là où ils sont "
                          "nécessaires.");
}

int maxTokens(const QString &text)
{
    return int(std::min<qsizetype>(3 * TextUtil::wordCount(text) + 200, 4000));
}

QCoro::Task<QString> complete(OmbryAI::Access access, QString system, QString text, QString model)
{
    const QJsonObject body{
        {QStringLiteral("model"), model},
        {QStringLiteral("temperature"), 0.2},
        {QStringLiteral("max_tokens"), maxTokens(text)},
        {QStringLiteral("messages"),
         QJsonArray{QJsonObject{{QStringLiteral("role"), QStringLiteral("system")}, {QStringLiteral("content"), system}},
                    QJsonObject{{QStringLiteral("role"), QStringLiteral("user")}, {QStringLiteral("content"), text}}}},
    };
    const QByteArray reply = co_await OmbryAI::chat(access, body, 60, QStringLiteral("OpenRouter"));

    const QJsonDocument doc = QJsonDocument::fromJson(reply);
    const QJsonValue choices = doc.object().value(QStringLiteral("choices"));
    if (!doc.isObject() || !choices.isArray())
        throw DecodingError(QStringLiteral("OpenRouter"));
    const QJsonArray list = choices.toArray();
    QString first;
    for (qsizetype i = 0; i < list.size(); ++i) {
        // Every choice must have the shape, as a strict decoder would demand.
        const QJsonValue message = list.at(i).toObject().value(QStringLiteral("message"));
        const QJsonValue content = message.toObject().value(QStringLiteral("content"));
        if (!list.at(i).isObject() || !message.isObject() || !content.isString())
            throw DecodingError(QStringLiteral("OpenRouter"));
        if (i == 0)
            first = content.toString();
    }
    if (list.isEmpty())
        co_return text;
    co_return bounded(TextUtil::trimmed(first), QStringLiteral("OpenRouter"));
}

QString toneHint()
{
    QMutexLocker lock(&g_toneMutex);
    return g_tone;
}

void setToneHint(const QString &tone)
{
    QMutexLocker lock(&g_toneMutex);
    g_tone = tone;
}

QString instructions(const QString &language, const QStringList &words, PunctuationLevel punctuation)
{
    return instructions(language, words, punctuation, toneHint());
}

QString instructions(const QString &language, const QStringList &words, PunctuationLevel punctuation,
                     const QString &tone)
{
    QStringList lines{
        QStringLiteral("Tu reçois la transcription brute d'une dictée vocale. Réécris-la proprement en ") + language
            + QStringLiteral(" :"),
        QStringLiteral("supprime les hésitations et mots parasites (euh, hum, ben, bah, genre…), les répétitions et "
                       "faux départs,"),
        QStringLiteral("ajoute la ponctuation et les majuscules, corrige l'orthographe et la grammaire."),
        punctuationParagraph(punctuation),
        tone,
        QStringLiteral("Garde tous les mots et toutes les idées de l'auteur, dans son ton : ne résume pas, ne "
                       "raccourcis pas,"),
        QStringLiteral("ne reformule pas ce qui est déjà correct. Retire seulement les hésitations."),
        QStringLiteral("N'ajoute rien, ne réponds pas aux questions du texte, ne commente pas. Renvoie uniquement le "
                       "texte final."),
    };
    QStringList selected;
    for (const QString &word : words) {
        if (!TextUtil::trimmedBlanks(word).isEmpty())
            selected.append(word);
    }
    if (!selected.isEmpty())
        lines.append(QStringLiteral("Orthographe à respecter pour ces mots : ") + selected.join(QStringLiteral(", "))
                     + QLatin1Char('.'));
    return lines.join(QLatin1Char('\n'));
}

QString basicCleanup(const QString &text)
{
    static const QRegularExpression hesitation(
        QStringLiteral("(?i)(?<![\\p{L}])(euh+|heu+|hum+|hmm+|bah|ben)(?![\\p{L}])[,.]?\\s*"),
        QRegularExpression::UseUnicodePropertiesOption);
    QString out = text;
    out.remove(hesitation);

    // One left-to-right pass: three blanks become two, four become two.
    QString single;
    single.reserve(out.size());
    for (qsizetype i = 0; i < out.size(); ++i) {
        single.append(out.at(i));
        if (out.at(i) == QLatin1Char(' ') && i + 1 < out.size() && out.at(i + 1) == QLatin1Char(' '))
            ++i;
    }
    out = TextUtil::trimmedBlanks(single);
    if (out.isEmpty())
        return out;

    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, out);
    const qsizetype end = std::max<qsizetype>(finder.toNextBoundary(), 1);
    return out.left(end).toUpper() + out.mid(end);
}

bool alreadyClean(const QString &transcript)
{
    static const char *const fillers[] = {
        " euh", " heu", " hum", " hmm", " bah ", " ben ", " genre ", " tu vois", " tu sais", " en mode ", " bref ",
        " du coup du coup", " enfin je veux dire", " c'est-à-dire que", " voilà voilà", " quoi.",
    };
    QString text = transcript.toLower();
    text.replace(QChar(0x2019), QLatin1Char('\''));
    text = QLatin1Char(' ') + text + QLatin1Char(' ');
    for (const char *filler : fillers) {
        if (text.contains(QString::fromUtf8(filler)))
            return false;
    }

    QStringList words;
    QString current;
    const QList<uint> codes = text.toUcs4();
    for (const uint c : codes) {
        if (isWordCharacter(char32_t(c))) {
            current.append(QString::fromUcs4(reinterpret_cast<const char32_t *>(&c), 1));
        } else if (!current.isEmpty()) {
            words.append(current);
            current.clear();
        }
    }
    if (!current.isEmpty())
        words.append(current);

    for (qsizetype i = 1; i < words.size(); ++i) {
        const QString &word = words.at(i);
        if (TextUtil::sameText(word, words.at(i - 1)) && TextUtil::characterCount(word) > 1 && word != QLatin1String("nous")
            && word != QLatin1String("vous"))
            return false;
    }
    return true;
}

} // namespace OpenRouter
