#pragma once

#include "engines/EngineError.h"
#include "engines/OmbryAI.h"
#include "model/AppSettings.h"
#include "model/KeyStore.h"
#include "model/Store.h"
#include "support/TestEnv.h"

#include <QElapsedTimer>
#include <QCoroTask>

#include <exception>
#include <memory>
#include <optional>

// The end of one engine call, whether it returned or threw. QCoro::waitFor never
// returns when the task throws, so tests run calls through capture() instead.
template<typename T>
struct Outcome
{
    bool done = false;
    std::optional<T> value;
    std::exception_ptr exception;
    QString error;     // describe() of the exception
    qint64 elapsedMs = 0;

    template<typename E>
    const E *errorAs() const
    {
        if (!exception)
            return nullptr;
        try {
            std::rethrow_exception(exception);
        } catch (const E &e) {
            static thread_local std::optional<E> kept;
            kept.emplace(e);
            return &*kept;
        } catch (...) {
        }
        return nullptr;
    }
};

template<typename T>
QCoro::Task<void> captureInto(QCoro::Task<T> task, std::shared_ptr<Outcome<T>> out, QElapsedTimer clock)
{
    try {
        out->value = co_await std::move(task);
    } catch (const std::exception &e) {
        out->exception = std::current_exception();
        out->error = describe(e);
    }
    out->elapsedMs = clock.elapsed();
    out->done = true;
}

// Starts `task` (already running, as QCoro tasks start at once) and records its end.
template<typename T>
std::shared_ptr<Outcome<T>> capture(QCoro::Task<T> task)
{
    auto out = std::make_shared<Outcome<T>>();
    QElapsedTimer clock;
    clock.start();
    captureInto(std::move(task), out, clock);
    return out;
}

// Runs `task` to its end, spinning the event loop at most `timeoutMs`.
template<typename T>
Outcome<T> await(QCoro::Task<T> task, int timeoutMs = 10000)
{
    auto out = capture(std::move(task));
    TestEnv::waitFor([&] { return out->done; }, timeoutMs);
    return *out;
}

// The cloud requests of a test go through the installed settings, keys and store.
inline OmbryAI::Access installedAccess()
{
    return OmbryAI::Access{TestEnv::settings(), TestEnv::keys(), TestEnv::store()};
}
