#include "engines/GeminiSpeech.h"

#include "audio/AudioRecorder.h"
#include "engines/EngineError.h"
#include "engines/Hallucination.h"
#include "engines/OmbryAI.h"
#include "engines/Services.h"
#include "core/Log.h"
#include "model/TextUtil.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

namespace {

const QString kLabel = QStringLiteral("Gemini");

// The model text of a chat reply: "choices"[0]."message"."content"; "" when there is
// no choice or no content. A reply of another shape fails.
QString modelText(const QByteArray &reply)
{
    const QJsonDocument doc = QJsonDocument::fromJson(reply);
    const QJsonValue choices = doc.object().value(QStringLiteral("choices"));
    if (!doc.isObject() || !choices.isArray())
        throw DecodingError(kLabel);
    const QJsonArray list = choices.toArray();
    QString first;
    for (qsizetype i = 0; i < list.size(); ++i) {
        const QJsonValue message = list.at(i).toObject().value(QStringLiteral("message"));
        if (!list.at(i).isObject() || !message.isObject())
            throw DecodingError(kLabel);
        const QJsonValue content = message.toObject().value(QStringLiteral("content"));
        if (!content.isString() && !content.isNull() && !content.isUndefined())
            throw DecodingError(kLabel);
        if (i == 0)
            first = content.toString();
    }
    return bounded(first, kLabel);
}

// An object whose members `a` and `b` are strings, null or absent.
std::optional<std::pair<QString, QString>> decodePair(const QString &text, const QString &a, const QString &b)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    const QJsonObject object = doc.object();
    for (const QString &name : {a, b}) {
        const QJsonValue v = object.value(name);
        if (!v.isString() && !v.isNull() && !v.isUndefined())
            return std::nullopt;
    }
    return std::make_pair(TextUtil::trimmed(object.value(a).toString()), TextUtil::trimmed(object.value(b).toString()));
}

} // namespace

namespace GeminiSpeech {

QString wordLine(const QStringList &words)
{
    QStringList selected;
    for (const QString &word : words) {
        if (!TextUtil::trimmedSpaces(word).isEmpty())
            selected << word;
    }
    if (selected.isEmpty())
        return {};
    return QStringLiteral("\nMots à reconnaître et à écrire ainsi : ") + selected.join(QStringLiteral(", "))
        + QLatin1Char('.');
}

QString transcribePrompt(const QString &language, const QStringList &words)
{
    return QStringLiteral("Transcris exactement cet enregistrement en ") + language
        + QStringLiteral(", mot pour mot, avec la ponctuation.\n"
                         "N'invente rien ; si l'audio est vide ou inaudible, renvoie une chaîne vide. "
                         "Renvoie uniquement la transcription.")
        + wordLine(words);
}

QString cleanPrompt(const QString &language, const QStringList &words, const QString &tone,
                    const QString &punctuation)
{
    return QStringLiteral("Tu entends une dictée vocale en ") + language + QStringLiteral(".\n")
        + QStringLiteral("1) \"raw\" : transcris exactement ce qui est dit, mot pour mot.\n")
        + QStringLiteral("2) \"clean\" : la même chose écrite proprement en ") + language
        + QStringLiteral(" : sans hésitations ni mots parasites (euh, ben, genre…),\n")
        + QStringLiteral("sans répétitions ni faux départs, avec l'orthographe, la grammaire et les majuscules justes. ")
        + punctuation + QLatin1Char(' ') + tone + QLatin1Char('\n')
        + QStringLiteral("Garde tous les mots et toutes les idées, dans le ton de l'auteur ; ne résume pas, n'ajoute rien,\n")
        + QStringLiteral("ne réponds pas aux questions dictées. Garde l'argot et les abréviations.\n")
        + QStringLiteral("Si l'audio est vide ou inaudible, renvoie des chaînes vides.\n")
        + QStringLiteral("Réponds uniquement en JSON : {\"raw\": \"...\", \"clean\": \"...\"}") + wordLine(words);
}

QString translatePrompt(const QString &context)
{
    return QStringLiteral("Tu entends un extrait d'appel en anglais, souvent avec un accent britannique "
                          "(argot et expressions comprises).\n"
                          "1) Transcris exactement ce qui est dit, mot pour mot, en anglais, avec la ponctuation.\n"
                          "2) Traduis-le en français naturel et fidèle, en gardant le sens des expressions "
                          "(pas mot à mot).\n"
                          "Contexte des phrases précédentes, pour t'aider à comprendre : ")
        + (context.isEmpty() ? QStringLiteral("aucun") : context)
        + QStringLiteral("\nSi l'extrait est inaudible ou ne contient pas de parole, renvoie des chaînes vides.\n"
                         "Réponds uniquement en JSON : {\"en\": \"...\", \"fr\": \"...\"}");
}

QJsonObject chatBody(const QString &system, const QByteArray &wav, bool jsonReply)
{
    const QJsonObject audio{
        {QStringLiteral("type"), QStringLiteral("input_audio")},
        {QStringLiteral("input_audio"),
         QJsonObject{{QStringLiteral("data"), QString::fromLatin1(wav.toBase64())},
                     {QStringLiteral("format"), QStringLiteral("wav")}}},
    };
    QJsonObject body{
        {QStringLiteral("model"), QString::fromLatin1(kModel)},
        {QStringLiteral("temperature"), 0},
        {QStringLiteral("messages"),
         QJsonArray{QJsonObject{{QStringLiteral("role"), QStringLiteral("system")}, {QStringLiteral("content"), system}},
                    QJsonObject{{QStringLiteral("role"), QStringLiteral("user")},
                                {QStringLiteral("content"), QJsonArray{audio}}}}},
    };
    if (jsonReply)
        body.insert(QStringLiteral("response_format"), QJsonObject{{QStringLiteral("type"), QStringLiteral("json_object")}});
    return body;
}

QString jsonCut(const QString &text)
{
    const qsizetype open = text.indexOf(QLatin1Char('{'));
    const qsizetype close = text.lastIndexOf(QLatin1Char('}'));
    if (open < 0 || close < 0 || close < open)
        return text;
    return text.mid(open, close - open + 1);
}

QCoro::Task<QString> transcribe(OmbryAI::Access access, QByteArray wav, QString language, QStringList words)
{
    const bool hostedRoute = !OmbryAI::usesOwnKey(access) && Services::hosted().has_value();
    if (hostedRoute && wav.size() >= kSliceBytes + 45) {
        const QByteArray pcm = wav.mid(44);
        QStringList texts;
        for (qsizetype at = 0; at < pcm.size(); at += kSliceBytes) {
            const QByteArray slice = AudioRecorder::wav(pcm.mid(at, kSliceBytes));
            const QString text = co_await transcribe(access, slice, language, words);
            if (!text.isEmpty())
                texts << text;
        }
        co_return texts.join(QLatin1Char(' '));
    }
    const QByteArray reply =
        co_await OmbryAI::chat(access, chatBody(transcribePrompt(language, words), wav, false), 30, kLabel);
    const QString text = TextUtil::trimmed(modelText(reply));
    const QString cleaned = Hallucination::clean(text);
    if (cleaned != text)
        Log::write(QStringLiteral("transcription: phrase inventée retirée"));
    co_return cleaned;
}

QCoro::Task<Cleaned> transcribeAndClean(OmbryAI::Access access, QByteArray wav, QString language, QStringList words,
                                        QString tone, QString punctuation)
{
    const QByteArray reply = co_await OmbryAI::chat(
        access, chatBody(cleanPrompt(language, words, tone, punctuation), wav, true), 20, kLabel);
    const auto pair = decodePair(jsonCut(modelText(reply)), QStringLiteral("raw"), QStringLiteral("clean"));
    if (!pair)
        throw DecodingError(kLabel);
    co_return Cleaned{pair->first, pair->second};
}

QCoro::Task<Translated> transcribeAndTranslate(OmbryAI::Access access, QByteArray wav, QString context)
{
    const QByteArray reply =
        co_await OmbryAI::chat(access, chatBody(translatePrompt(context), wav, true), 20, kLabel);
    const QString kept = jsonCut(modelText(reply));
    if (const auto pair = decodePair(kept, QStringLiteral("en"), QStringLiteral("fr")))
        co_return Translated{pair->first, pair->second};
    co_return Translated{field(QStringLiteral("en"), kept), field(QStringLiteral("fr"), kept)};
}

QString field(const QString &name, const QString &text)
{
    const QRegularExpression pattern(QLatin1Char('"') + QRegularExpression::escape(name)
                                     + QStringLiteral("\"\\s*:\\s*\""));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return {};
    QString value;
    bool escaped = false;
    for (qsizetype i = match.capturedEnd(); i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (escaped) {
            value += c == QLatin1Char('n') ? QChar(QLatin1Char('\n')) : c;
            escaped = false;
        } else if (c == QLatin1Char('\\')) {
            escaped = true;
        } else if (c == QLatin1Char('"')) {
            break;
        } else {
            value += c;
        }
    }
    return TextUtil::trimmed(value);
}

} // namespace GeminiSpeech
