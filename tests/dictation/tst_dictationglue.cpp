#include "dictation/DictationController.h"
#include "model/AppSettings.h"
#include "model/Log.h"
#include "support/TestEnv.h"

// The shared controller with the real processing road and selection actions,
// without an X server (nothing is trusted, nothing is pasted) and with every
// cloud and local service on a closed port.
class TestDictationGlue : public QObject
{
    Q_OBJECT

    QStringList sounds_;
    int attention_ = 0;

private Q_SLOTS:
    void initTestCase()
    {
        qunsetenv("DISPLAY");
        DictationController *c = DictationController::shared();
        c->services().playSound = [this](const QString &name) { sounds_ << name; };
        c->onNeedsAttention = [this] { ++attention_; };
    }

    void init()
    {
        sounds_.clear();
        attention_ = 0;
    }

    void aFailingRoadReportsAndReturnsToIdle()
    {
        AppSettings::shared()->setTranscriptionEngine(TranscriptionEngine::Apple);
        DictationController *c = DictationController::shared();
        c->setState(DictationController::State::Processing);
        c->setCommandText(QStringLiteral("sélection"));
        QByteArray wav(44 + 32000, '\0');
        c->process(wav, 1.0, std::nullopt, std::nullopt);
        QVERIFY(TestEnv::waitFor([&] { return c->state() == DictationController::State::Idle; }, 20000));
        QVERIFY(c->lastError().has_value());
        QVERIFY(c->flashIsError());
        QCOMPARE(sounds_, QStringList{QStringLiteral("Basso")});
        QCOMPARE(c->commandText(), std::nullopt);
        Log::waitUntilWritten();
        QVERIFY(TestEnv::readFile(Log::path()).contains("erreur: "));
    }

    void selectionActionsFollowTheState()
    {
        DictationController *c = DictationController::shared();
        c->setState(DictationController::State::Recording);
        c->correctSelection(true, true);
        QCOMPARE(c->state(), DictationController::State::Recording);
        QVERIFY(sounds_.isEmpty());

        c->setState(DictationController::State::Idle);
        c->correctSelection(true, false);
        QCOMPARE(c->state(), DictationController::State::Idle);
        QCOMPARE(c->lastError(), std::optional<QString>(QStringLiteral("Accessibilité non autorisée")));
        QCOMPARE(attention_, 1);

        c->pasteLast(); // an empty history: nothing
        QCOMPARE(c->state(), DictationController::State::Idle);
    }
};

OMBRY_TEST_MAIN(TestDictationGlue)
#include "tst_dictationglue.moc"
