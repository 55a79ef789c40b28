#include "app/StartupNotice.h"

#include "engines/CloudFirst.h"
#include "engines/EngineReadiness.h"
#include "engines/Services.h"
#include "model/AppSettings.h"
#include "model/KeyStore.h"
#include "core/Log.h"

#include <QCoroTask>
#include <QPointer>

#include <cstdio>

namespace StartupNotice {

QStringList lines(const Situation &s)
{
    QStringList out;
    out << QStringLiteral("Ombry Voice est lancé : maintiens %1 pour dicter, relâche pour coller le texte.")
               .arg(s.keyLabel);
    out << QStringLiteral("Journal : %1").arg(s.journal);
    const bool cloud = s.cloudKey || s.hosted;
    if (!cloud) {
        out << QStringLiteral(
            "Il manque une clé OpenRouter et aucun service hébergé n'est configuré : la dictée passera par "
            "les serveurs locaux. Ajoute ta clé dans OPENROUTER_API_KEY ou dans keys.json.");
        if (!s.localSpeech)
            out << QStringLiteral("Aucune reconnaissance locale ne répond (%1) : la dictée ne peut pas fonctionner.")
                       .arg(s.localSpeechUrl);
        if (!s.localChat)
            out << QStringLiteral("Aucun modèle local ne répond (%1) : le texte ne sera pas mis au propre.")
                       .arg(s.localChatUrl);
    }
    return out;
}

namespace {

QCoro::Task<> gather(AppSettings *settings, KeyStore *keys, QPointer<EngineReadiness> readiness)
{
    Situation s;
    s.keyLabel = Ombry::label(settings->key());
    s.journal = Log::path();
    s.cloudKey = keys->key(APIService::OpenRouter).has_value();
    s.hosted = Services::hosted().has_value();
    s.localChatUrl = Services::localLanguageModel().toString();
    s.localSpeechUrl = Services::localSpeech().toString();
    if (!s.cloudKey && !s.hosted) {
        QCoro::Task<bool> chat = CloudFirst::localAnswers(CloudFirst::Local::Text);
        s.localChat = co_await std::move(chat);
        QCoro::Task<bool> speech = CloudFirst::localAnswers(CloudFirst::Local::Speech);
        s.localSpeech = co_await std::move(speech);
        // Gone when the program quit meanwhile.
        if (!readiness)
            co_return;
        readiness->refresh();
    }
    for (const QString &line : lines(s))
        std::fprintf(stderr, "%s\n", line.toUtf8().constData());
    std::fflush(stderr);
}

} // namespace

void print(AppSettings *settings, KeyStore *keys, EngineReadiness *readiness)
{
    gather(settings, keys, readiness).then([] {}, [](const std::exception &) {});
}

} // namespace StartupNotice
