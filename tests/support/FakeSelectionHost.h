#pragma once
// A selection host that records what the selection actions tell it.

#include "dictation/BubbleController.h"
#include "dictation/Reader.h"
#include "dictation/SelectionActions.h"
#include "model/AppSettings.h"
#include "model/KeyStore.h"
#include "model/Store.h"
#include "support/TestEnv.h"

#include <QStringList>

struct FakeSelectionHost : SelectionHost
{
    enum class State { Idle, Busy, Correcting } state = State::Idle;
    bool isTrusted = true;
    QStringList calls;
    bool isIdle() const override { return state == State::Idle; }
    bool isCorrecting() const override { return state == State::Correcting; }
    void beginCorrecting(bool translate) override
    {
        calls << QStringLiteral("begin %1").arg(translate);
        state = State::Correcting;
    }
    void setIdle() override { state = State::Idle; }
    void fail(const QString &m) override { calls << QStringLiteral("fail ") + m; }
    void show(const QString &m) override { calls << QStringLiteral("show ") + m; }
    bool trusted() const override { return isTrusted; }
    Paster *paster() const override { return pasterInUse; }
    Paster *pasterInUse = nullptr;
    DictationData data() const override { return dataInUse; }
    Reader *reader() const override { return readerInUse; }
    BubbleController *bubble() const override { return bubbleInUse; }
    // The test's data layer and the root's reader and bubble, as installed.
    DictationData dataInUse{TestEnv::settings(), TestEnv::store(), TestEnv::keys()};
    Reader *readerInUse = TestEnv::own<Reader>();
    BubbleController *bubbleInUse = TestEnv::own<BubbleController>();
};
