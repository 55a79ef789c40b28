#include "engines/CloudFirst.h"

#include "engines/LocalSpeech.h"
#include "engines/LocalRewrite.h"
#include "engines/Net.h"
#include "engines/OmbryAI.h"
#include "engines/Services.h"
#include "core/Log.h"

#include <QDeadlineTimer>
#include <QHash>

namespace CloudFirst {

namespace {

// Long enough for the few requests of one dictation or correction, short enough
// that a server started meanwhile is soon found.
constexpr qint64 kKeptMs = 30'000;

struct Kept
{
    bool answers = false;
    QDeadlineTimer until;
};

// Only the main thread probes (the engines run there).
QHash<QString, Kept> &kept()
{
    static QHash<QString, Kept> answers;
    return answers;
}

QString address(Local local)
{
    return local == Local::Text ? Services::localLanguageModel().toString() : Services::localSpeech().toString();
}

// Any answer to the model list means a transcription server is there.
QCoro::Task<bool> speechAnswers()
{
    QNetworkRequest request = Net::request(Services::appending(Services::localSpeech(), QStringLiteral("models")));
    try {
        co_await Net::send(request, "GET", QByteArray(), Net::Timeouts{0.5, 0.5});
        co_return true;
    } catch (const NetworkError &) {
        co_return false;
    }
}

bool isCloudLabel(const QString &service)
{
    return service == QLatin1String("OpenRouter") || service == QLatin1String("Gemini");
}

} // namespace

Failure::Failure(Cause cause, const QString &shown, const QString &detail)
    : cause_(cause), shown_(shown), detail_(detail)
{
    setText(shown_);
}

Failure explain(const std::exception &error, const QString &provider)
{
    if (const auto *done = dynamic_cast<const Failure *>(&error))
        return *done;
    const QString whole = describe(error);
    if (const auto *engine = dynamic_cast<const EngineError *>(&error)) {
        if (engine->kind() == EngineError::Kind::MissingKey)
            return Failure(Failure::Cause::MissingKey, whole, whole);
        const QString who = isCloudLabel(engine->service()) ? provider : engine->service();
        const int status = engine->status();
        if (status == 401 || status == 403)
            return Failure(Failure::Cause::RefusedKey, QStringLiteral("Clé ") + who + QStringLiteral(" refusée"), whole);
        if (status == 0)
            return Failure(Failure::Cause::Unreachable, who + QStringLiteral(" injoignable"), whole);
        return Failure(Failure::Cause::Other, who + QStringLiteral(" : erreur ") + QString::number(status), whole);
    }
    if (const auto *network = dynamic_cast<const NetworkError *>(&error)) {
        switch (network->reason()) {
        case NetworkError::Reason::Offline:
            return Failure(Failure::Cause::Unreachable, whole, whole);
        case NetworkError::Reason::TimedOut:
            return Failure(Failure::Cause::Unreachable, provider + QStringLiteral(" ne répond pas"), whole);
        case NetworkError::Reason::TooLarge:
            return Failure(Failure::Cause::Other, whole, whole);
        default:
            return Failure(Failure::Cause::Unreachable, provider + QStringLiteral(" injoignable"), whole);
        }
    }
    return Failure(Failure::Cause::Other, whole, whole);
}

namespace {
QString keyOf(Local local)
{
    return QString::number(int(local)) + QLatin1Char(' ') + address(local);
}
} // namespace

QCoro::Task<bool> localAnswers(Local local)
{
    const QString key = keyOf(local);
    if (const auto it = kept().constFind(key); it != kept().constEnd() && !it->until.hasExpired())
        co_return it->answers;
    bool answers = false;
    if (local == Local::Text) {
        QCoro::Task<bool> probe = LocalRewrite::isAvailable();
        answers = co_await std::move(probe);
    } else {
        QCoro::Task<bool> probe = speechAnswers();
        answers = co_await std::move(probe);
    }
    kept().insert(key, Kept{answers, QDeadlineTimer(kKeptMs)});
    co_return answers;
}

void forgetLocal()
{
    kept().clear();
}

std::optional<bool> lastAnswer(Local local)
{
    const auto it = kept().constFind(keyOf(local));
    if (it == kept().constEnd())
        return std::nullopt;
    return it->answers;
}

void refreshLocal(Local local)
{
    const auto it = kept().constFind(keyOf(local));
    if (it != kept().constEnd() && !it->until.hasExpired())
        return;
    localAnswers(local).then([](bool) {}, [](const std::exception &) {});
}

bool dictationPossible(const OmbryAI::Access &access)
{
    return cloudPossible(access) || lastAnswer(Local::Speech).value_or(false);
}

bool cloudPossible(const OmbryAI::Access &access)
{
    return OmbryAI::usesOwnKey(access) || Services::hosted().has_value();
}

namespace detail {

QString journalLine(const Plan &plan, Step step, const QString &why)
{
    const QString head = plan.what + QStringLiteral(": ");
    const QString tail = why.isEmpty() ? QString() : QStringLiteral(" (") + why + QLatin1Char(')');
    switch (step) {
    case Step::ToLocal:
        return head + plan.cloudName + QStringLiteral(" indisponible, modèle local prend le relais") + tail;
    case Step::LocalDown:
        return head + (plan.local == Local::Text ? QStringLiteral("modèle local injoignable")
                                                 : QStringLiteral("reconnaissance locale injoignable"))
            + tail;
    case Step::NoFallback:
        return head + plan.cloudName
            + (!plan.localFallback ? QStringLiteral(" indisponible")
                                                        : QStringLiteral(" indisponible, aucun modèle local"))
            + tail;
    }
    return head + why;
}

void log(const Plan &plan, Step step, const QString &why)
{
    Log::write(journalLine(plan, step, why));
}

Failure localMissing(Local local)
{
    const EngineError error = local == Local::Text ? LocalRewrite::unavailable() : LocalSpeech::unavailable();
    const QString shown = local == Local::Text ? QStringLiteral("Modèle local injoignable")
                                               : QStringLiteral("Reconnaissance locale injoignable");
    return Failure(Failure::Cause::Unreachable, shown, error.description());
}

} // namespace detail

} // namespace CloudFirst
