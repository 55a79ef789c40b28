#pragma once

#include "engines/EngineError.h"
#include "engines/OmbryAI.h"

#include <QString>
#include <QCoroTask>

#include <exception>
#include <functional>
#include <optional>

// The one rule for "cloud, then local" that dictation, the corrector, the
// translator, the analyzer and voice commands share. Most users run no local
// server: it is a fallback only where one answers, and otherwise the user is told
// why the cloud failed, in a few words.
namespace CloudFirst {

// Which local server stands in for the cloud.
enum class Local { Text, Speech };

// A cloud (or chosen local) failure with no engine left to try. description() is
// the short cause shown to the user; detail() the whole text, for the journal.
class Failure : public EngineFailure
{
public:
    enum class Cause { MissingKey, RefusedKey, Unreachable, Other };

    Failure(Cause cause, const QString &shown, const QString &detail);
    Cause cause() const { return cause_; }
    QString detail() const { return detail_; }
    QString description() const override { return shown_; }

private:
    Cause cause_;
    QString shown_;
    QString detail_;
};

// What a failure of the cloud behind `provider` ("OpenRouter", "Deepgram") tells
// the user: "Clé OpenRouter absente", "Clé OpenRouter refusée", "OpenRouter
// injoignable", "OpenRouter : erreur 500"…
Failure explain(const std::exception &error, const QString &provider);

// Whether the local server answers. The answer is kept for a short while per
// address, so a dictation does not wait on a probe that just failed; the probe
// itself is an asynchronous request and never blocks the caller's thread.
QCoro::Task<bool> localAnswers(Local local);
// Drops the kept answers (a server was started, a test changed addresses).
void forgetLocal();
// The last answer of the local server at the current address, however old; none
// before the first probe. For checks that cannot wait, such as a key press.
std::optional<bool> lastAnswer(Local local);
// Starts a probe when the kept answer is stale; returns at once.
void refreshLocal(Local local);

// Whether some engine can serve a dictation: a cloud route, or a local
// transcription server that answered its last probe.
bool dictationPossible(const OmbryAI::Access &access);

// Whether a cloud request can leave at all: an own key, or a hosted service.
bool cloudPossible(const OmbryAI::Access &access);

// How one request is to be served.
struct Plan
{
    QString what;        // journal prefix: "correction", "traduction", …
    QString cloudName;   // named in the journal: "OpenRouter", "Gemini"
    Local local = Local::Text;
    bool localChosen = false; // the user picked the local engine for this work
    bool localFallback = true; // false where a cloud failure must reach the caller
};

// Runs the request by the plan: the cloud first, and the local server when the
// cloud fails and a server answers; or, when the user chose the local engine, it
// alone: the user chose this computer, so nothing goes to the cloud when it does
// not answer. Every hand-over is written to the journal. Throws Failure when
// nothing could serve it, the local engine's own errors when it was used.
template<typename T>
QCoro::Task<T> run(Plan plan, OmbryAI::Access access, std::function<QCoro::Task<T>()> cloud,
                   std::function<QCoro::Task<T>()> local);

namespace detail {
enum class Step { ToLocal, LocalDown, NoFallback };
// "correction: OpenRouter indisponible, modèle local prend le relais (…)" and the like.
QString journalLine(const Plan &plan, Step step, const QString &why);
void log(const Plan &plan, Step step, const QString &why);
Failure localMissing(Local local);
} // namespace detail

template<typename T>
QCoro::Task<T> run(Plan plan, OmbryAI::Access access, std::function<QCoro::Task<T>()> cloud,
                   std::function<QCoro::Task<T>()> local)
{
    if (plan.localChosen) {
        QCoro::Task<bool> probe = localAnswers(plan.local);
        const bool answers = co_await std::move(probe);
        if (answers) {
            QCoro::Task<T> task = local();
            co_return co_await std::move(task);
        }
        detail::log(plan, detail::Step::LocalDown, {});
        throw detail::localMissing(plan.local);
    }

    std::optional<Failure> failure;
    try {
        QCoro::Task<T> task = cloud();
        co_return co_await std::move(task);
    } catch (const std::exception &error) {
        failure = explain(error, QStringLiteral("OpenRouter"));
    }
    if (plan.localFallback) {
        QCoro::Task<bool> probe = localAnswers(plan.local);
        const bool answers = co_await std::move(probe);
        if (answers) {
            detail::log(plan, detail::Step::ToLocal, failure->detail());
            QCoro::Task<T> task = local();
            co_return co_await std::move(task);
        }
    }
    detail::log(plan, detail::Step::NoFallback, failure->detail());
    throw *failure;
}

} // namespace CloudFirst
