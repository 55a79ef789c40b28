#include "app/Application.h"
#include "dictation/DictationController.h"
#include "dictation/OverlayController.h"
#include "model/AppSettings.h"
#include "support/AtspiReader.h"
#include "support/Screenshots.h"
#include "support/TestEnv.h"
#include "tools/test_editor_client.h"
#include "tools/test_editor_cloud.h"
#include "ui/kit/Kit.h"

#include <QApplication>
#include <QProcess>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>

using DesktopTools::run;

namespace {

const QString kTitle = QStringLiteral("Ombry Voice — enregistrement");

QString xdo(const QStringList &args)
{
    return QString::fromUtf8(run(QStringLiteral("xdotool"), args).out).trimmed();
}

// The overlay's X window as the server sees it: mapped, where, how big.
struct Seen
{
    bool mapped = false;
    QRect geometry;
};

Seen seen()
{
    Seen s;
    const QString id = xdo({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"), kTitle}).section(QLatin1Char('\n'), 0, 0);
    if (id.isEmpty())
        return s;
    s.mapped = true;
    const QString out = xdo({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), id});
    QHash<QString, int> v;
    for (const QString &line : out.split(QLatin1Char('\n')))
        v.insert(line.section(QLatin1Char('='), 0, 0), line.section(QLatin1Char('='), 1).toInt());
    s.geometry = QRect(v.value(QStringLiteral("X")), v.value(QStringLiteral("Y")), v.value(QStringLiteral("WIDTH")),
                       v.value(QStringLiteral("HEIGHT")));
    return s;
}

QString activeWindow()
{
    return xdo({QStringLiteral("getactivewindow")});
}

} // namespace

// The recording overlay on the private desktop: mapped while the dictation key
// is held, never taking the focus or the clicks, telling each state, gone when
// idle.
class TestOverlay : public QObject
{
    Q_OBJECT

    EditorCloud cloud;
    QTemporaryDir dir;
    QString speech;
    DesktopTools::Editor editor;
    OverlayController *overlay = nullptr;

    QQuickItem *item(const char *name) const
    {
        return overlay->view()->findChild<QQuickItem *>(QString::fromLatin1(name));
    }

    QImage shot() const
    {
        return Screenshots::screen(QRect(overlay->topLeft(), QSize(OverlayController::Width, OverlayController::Height)));
    }

    // The cloud answers the transcription slowly, so the working state lasts.
    void slowCloud(int transcriptionDelayMs)
    {
        cloud.http.setHandler([this, transcriptionDelayMs](const RecordedRequest &r) {
            if (r.path.startsWith(QLatin1String("/v2/")))
                return ScriptedReply::json(QJsonObject{{QStringLiteral("matches"), QJsonArray{}}});
            ScriptedReply reply = EditorCloud::chat(cloud.kind(r) == QLatin1String("transcription") ? cloud.transcript : cloud.rewrite);
            if (cloud.kind(r) == QLatin1String("transcription"))
                reply.delayMs = transcriptionDelayMs;
            return reply;
        });
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "run under scripts/session");
        qputenv("OMBRY_TEST_ACCEPT_XTEST", "1");
        QVERIFY(cloud.start());
        slowCloud(2500);
        AppSettings *settings = TestEnv::settings();
        settings->setTranscriptionEngine(TranscriptionEngine::Gemini);
        settings->setRewriteEngine(RewriteEngine::OpenRouter);
        settings->setSounds(false);
        speech = dir.filePath(QStringLiteral("parole.wav"));
        QCOMPARE(run(QStringLiteral("espeak-ng"), {QStringLiteral("-v"), QStringLiteral("fr"), QStringLiteral("-w"), speech,
                     QStringLiteral("Bonjour, je voudrais réserver une table pour deux personnes ce soir, merci beaucoup.")},
                     {}, 20000).exitCode, 0);

        QVERIFY(editor.start(QStringLiteral("")));
        // The editor lies under the overlay's place, so a click there can reach it.
        const QString editorWindow = activeWindow();
        run(QStringLiteral("xdotool"), {QStringLiteral("windowsize"), QStringLiteral("--sync"), editorWindow, QStringLiteral("1280"), QStringLiteral("500")});
        run(QStringLiteral("xdotool"), {QStringLiteral("windowmove"), QStringLiteral("--sync"), editorWindow, QStringLiteral("0"), QStringLiteral("520")});
        run(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QStringLiteral("200"), QStringLiteral("300")});

        overlay = Application::root().overlay();
        DictationController *controller = TestEnv::own<DictationController>();
        controller->start();
        QVERIFY(TestEnv::waitFor([&] { return controller->hotkey().active(); }, 5000));
    }

    void idleShowsNothing()
    {
        QVERIFY(!overlay->shown());
        QVERIFY(!seen().mapped);
        QVERIFY(!overlay->window()->isVisible());
    }

    void showsEachStateOfADictation()
    {
        DictationController *controller = TestEnv::own<DictationController>();
        const QString active = activeWindow();
        QVERIFY(!active.isEmpty());

        QProcess speaker;
        QVERIFY(run(QStringLiteral("xdotool"), {QStringLiteral("keydown"), QStringLiteral("Control_R")}).exitCode == 0);
        QVERIFY(TestEnv::waitFor([&] { return seen().mapped; }, 2000));
        speaker.start(QStringLiteral("paplay"), {QStringLiteral("-d"), QStringLiteral("vsink"), speech});

        const Seen s = seen();
        QCOMPARE(s.geometry, QRect(320, 910, 640, 90));
        // The focus stays in the editor.
        QCOMPARE(activeWindow(), active);

        // Recording: the elapsed time counts, read as a screen reader would.
        const AtspiReader reader(kTitle);
        QVERIFY(reader.find(QStringLiteral("label"), QStringLiteral("0:00"), 3000));
        // Past two seconds into the recording (a reading takes a few hundred ms).
        const QDateTime started = controller->startedAt();
        QTest::qWait(int(qMax<qint64>(0, 2200 - started.msecsTo(QDateTime::currentDateTime()))));
        QVERIFY2(reader.find(QStringLiteral("label"), QStringLiteral("0:02"), 500), qPrintable(reader.texts().join(QLatin1Char('|'))));
        // Nothing of the other states is read out.
        QVERIFY(!reader.texts().contains(QStringLiteral("Mise au propre")));
        QVERIFY(item("waveform")->isVisible());
        // The voice moves the bars beyond the silence floor.
        QVERIFY2(TestEnv::waitFor([&] { return controller->level() > 0.2; }, 2000), qPrintable(QString::number(controller->level())));
        Screenshots::inBothThemes(QStringLiteral("overlay-recording"), [&] { return shot(); });

        QVERIFY(TestEnv::waitFor([&] { return speaker.state() == QProcess::NotRunning; }, 20000));
        QVERIFY(run(QStringLiteral("xdotool"), {QStringLiteral("keyup"), QStringLiteral("Control_R")}).exitCode == 0);

        // Working on the text.
        QVERIFY(TestEnv::waitFor([&] { return controller->state() == DictationController::State::Processing; }, 3000));
        QVERIFY(reader.find(QStringLiteral("label"), QStringLiteral("Mise au propre"), 2000));
        Screenshots::inBothThemes(QStringLiteral("overlay-processing"), [&] { return shot(); });

        // The word count, for about two seconds, then nothing.
        QVERIFY2(TestEnv::waitFor([&] { return controller->flashText().endsWith(QLatin1String(" mots")); }, 8000),
                 qPrintable(controller->flashText()));
        const QString words = controller->flashText();
        QVERIFY(!controller->flashIsError());
        QVERIFY(reader.find(QStringLiteral("label"), words, 1500));
        QCOMPARE(item("flashSymbol")->property("text").toString(), Kit::glyph(QStringLiteral("checkmark.circle.fill")));
        Screenshots::inBothThemes(QStringLiteral("overlay-flash"), [&] { return shot(); });
        QVERIFY(seen().mapped);
        QVERIFY(TestEnv::waitFor([&] { return !seen().mapped; }, 4000));
        QVERIFY(!overlay->window()->isVisible());
    }

    void clicksPassThrough()
    {
        // A flash keeps the capsule up for two seconds, no key held.
        const QString editorWindow = activeWindow();
        TestEnv::own<DictationController>()->show(QStringLiteral("Essai"), false);
        QVERIFY(TestEnv::waitFor([&] { return seen().mapped; }, 2000));
        const QRectF capsule = overlay->view()->property("outline").toRectF();
        QVERIFY(!capsule.isEmpty());
        const QPoint centre = overlay->topLeft() + capsule.center().toPoint();
        QProcess other;
        other.start(QStringLiteral("xmessage"), {QStringLiteral("-geometry"), QStringLiteral("+10+10"), QStringLiteral("autre")});
        QVERIFY(TestEnv::waitFor([&] { return activeWindow() != editorWindow && !activeWindow().isEmpty(); }, 5000));
        QVERIFY(seen().mapped);
        run(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QString::number(centre.x()), QString::number(centre.y()),
                                        QStringLiteral("click"), QStringLiteral("1")});
        // The editor beneath got the click and with it the focus.
        QVERIFY2(TestEnv::waitFor([&] { return activeWindow() == editorWindow; }, 3000),
                 qPrintable(xdo({QStringLiteral("getmouselocation")})));
        other.kill();
        other.waitForFinished(2000);
        run(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QStringLiteral("200"), QStringLiteral("300")});
        QVERIFY(TestEnv::waitFor([&] { return !seen().mapped; }, 4000));
    }

    void missingKeyFlashesAnError()
    {
        TestEnv::settings()->setTranscriptionEngine(TranscriptionEngine::Deepgram);
        DictationController *controller = TestEnv::own<DictationController>();
        QVERIFY(run(QStringLiteral("xdotool"), {QStringLiteral("keydown"), QStringLiteral("Control_R")}).exitCode == 0);
        QTest::qWait(200);
        run(QStringLiteral("xdotool"), {QStringLiteral("keyup"), QStringLiteral("Control_R")});
        QVERIFY2(TestEnv::waitFor([&] { return controller->flashText() == QStringLiteral("Clé Deepgram absente"); }, 3000),
                 qPrintable(controller->flashText()));
        const AtspiReader reader(kTitle);
        QVERIFY(reader.find(QStringLiteral("label"), QStringLiteral("Clé Deepgram absente"), 2000));
        QVERIFY(reader.find(QString(), QStringLiteral("Erreur"), 1000));
        QQuickItem *symbol = item("flashSymbol");
        QCOMPARE(symbol->property("text").toString(), Kit::glyph(QStringLiteral("exclamationmark.circle.fill")));
        QCOMPARE(symbol->property("color").value<QColor>(), QColor(QStringLiteral("#FF9500")));
        Screenshots::inBothThemes(QStringLiteral("overlay-error"), [&] { return shot(); });
        TestEnv::settings()->setTranscriptionEngine(TranscriptionEngine::Gemini);
        QVERIFY(TestEnv::waitFor([&] { return !seen().mapped; }, 4000));
    }

    void eachStateReadsItsText_data()
    {
        QTest::addColumn<DictationController::State>("state");
        QTest::addColumn<bool>("translating");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("hidden");
        using S = DictationController::State;
        QTest::newRow("translation") << S::Correcting << true << QString() << QStringLiteral("Traduction") << QStringLiteral("Correction");
        QTest::newRow("correction") << S::Correcting << false << QString() << QStringLiteral("Correction") << QStringLiteral("Traduction");
        QTest::newRow("voice command") << S::Processing << false << QStringLiteral("texte choisi") << QStringLiteral("J'applique")
                                       << QStringLiteral("Mise au propre");
        QTest::newRow("clean-up") << S::Processing << false << QString() << QStringLiteral("Mise au propre") << QStringLiteral("J'applique");
        QTest::newRow("instruction awaited") << S::Recording << false << QStringLiteral("texte choisi")
                                             << QStringLiteral("Dis ce que je dois faire") << QStringLiteral("Mise au propre");
    }

    void eachStateReadsItsText()
    {
        QFETCH(DictationController::State, state);
        QFETCH(bool, translating);
        QFETCH(QString, command);
        QFETCH(QString, shown);
        QFETCH(QString, hidden);
        DictationController *controller = TestEnv::own<DictationController>();
        controller->setTranslating(translating);
        controller->setCommandText(command.isEmpty() ? std::nullopt : std::optional<QString>(command));
        controller->setState(state);
        QVERIFY(TestEnv::waitFor([&] { return seen().mapped; }, 2000));
        const AtspiReader reader(kTitle);
        QVERIFY2(reader.find(QStringLiteral("label"), shown, 2000), qPrintable(reader.texts().join(QLatin1Char('|'))));
        QVERIFY(!reader.texts().contains(hidden));
        // The waveform while recording, the dots while working.
        QCOMPARE(item("waveform")->isVisible(), state == DictationController::State::Recording);
        QCOMPARE(item("shimmerDots")->isVisible(), state != DictationController::State::Recording);
        controller->setState(DictationController::State::Idle);
        controller->setCommandText(std::nullopt);
        controller->setTranslating(false);
        QVERIFY(TestEnv::waitFor([&] { return !seen().mapped; }, 4000));
    }

    void livePreviewShowsItsEnd()
    {
        // A long live text keeps its newest words, elided at the start.
        DictationController *controller = TestEnv::own<DictationController>();
        controller->setState(DictationController::State::Recording);
        controller->setLiveText(QStringLiteral("début ") + QString(QStringLiteral("mot ")).repeated(120) + QStringLiteral("dernier"));
        QQuickItem *live = item("liveText");
        QVERIFY(TestEnv::waitFor([&] { return live->isVisible(); }, 2000));
        QCOMPARE(live->width(), 360.0);
        QVERIFY(live->property("truncated").toBool());
        Screenshots::inBothThemes(QStringLiteral("overlay-livetext"), [&] { return shot(); });
        controller->setLiveText(QString());
        controller->setState(DictationController::State::Idle);
        QVERIFY(TestEnv::waitFor([&] { return !seen().mapped; }, 4000));
    }
};

OMBRY_TEST_ROOT_MAIN(TestOverlay)
#include "tst_overlay.moc"
