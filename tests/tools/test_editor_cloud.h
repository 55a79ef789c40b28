#pragma once
// The cloud services of an end-to-end dictation: one chat service answering the
// speech, rewrite, translation and correction requests, told apart by content.

#include "fakes/FakeHttpService.h"

#include <QJsonArray>
#include <QtTest>

struct EditorCloud
{
    FakeHttpService http;
    QString transcript = QStringLiteral("euh bonjour je voudrais réserver une table pour deux personnes ce soir");
    QString rewrite = QStringLiteral("Bonjour, je voudrais réserver une table pour deux personnes ce soir");
    QString translation = QStringLiteral("Hello, I would like to book a table for two people tonight");
    QString command = QStringLiteral("Texte modifié par la commande vocale.");
    // Corrections by the text to correct.
    QHash<QString, QString> corrections;

    static QString messageOf(const QJsonObject &body, const QString &role)
    {
        QString found;
        for (const QJsonValue &m : body.value(QStringLiteral("messages")).toArray()) {
            const QJsonObject o = m.toObject();
            if (o.value(QStringLiteral("role")).toString() == role && o.value(QStringLiteral("content")).isString())
                found = o.value(QStringLiteral("content")).toString();
        }
        return found;
    }

    static ScriptedReply chat(const QString &content)
    {
        return ScriptedReply::json(QJsonObject{{QStringLiteral("choices"), QJsonArray{QJsonObject{{QStringLiteral("message"),
            QJsonObject{{QStringLiteral("role"), QStringLiteral("assistant")}, {QStringLiteral("content"), content}}}}}}});
    }

    QString kind(const RecordedRequest &r) const
    {
        if (r.body.contains("input_audio"))
            return QStringLiteral("transcription");
        const QString system = messageOf(r.json(), QStringLiteral("system")).toLower();
        if (system.startsWith(QStringLiteral("traduis ce texte")))
            return QStringLiteral("translation");
        if (system.startsWith(QStringLiteral("tu modifies un texte")))
            return QStringLiteral("command");
        const QString user = messageOf(r.json(), QStringLiteral("user"));
        for (auto it = corrections.cbegin(); it != corrections.cend(); ++it)
            if (user.contains(it.key()))
                return QStringLiteral("correction");
        return QStringLiteral("rewrite");
    }

    bool start()
    {
        if (!http.start())
            return false;
        http.setHandler([this](const RecordedRequest &r) {
            // Grammar check: no findings.
            if (r.path == QLatin1String("/v2/check"))
                return ScriptedReply::json(QJsonObject{{QStringLiteral("matches"), QJsonArray{}}});
            if (r.path.startsWith(QLatin1String("/v2/")))
                return ScriptedReply::text("");
            const QString k = kind(r);
            if (k == QLatin1String("transcription"))
                return chat(transcript);
            if (k == QLatin1String("translation"))
                return chat(translation);
            if (k == QLatin1String("command"))
                return chat(command);
            if (k == QLatin1String("correction")) {
                const QString user = messageOf(r.json(), QStringLiteral("user"));
                for (auto it = corrections.cbegin(); it != corrections.cend(); ++it)
                    if (user.contains(it.key()))
                        return chat(it.value());
            }
            return chat(rewrite);
        });
        qputenv("OMBRY_HOSTED_URL", http.url(QStringLiteral("/")).toUtf8());
        qputenv("OMBRY_LANGUAGETOOL_URL", http.url().toUtf8());
        return true;
    }

    int count(const QString &k) const
    {
        int n = 0;
        for (const RecordedRequest &r : http.requests())
            n += kind(r) == k;
        return n;
    }
};
