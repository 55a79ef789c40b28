// Time from the release of the dictation key (the recording handed to the road)
// to the text in a real terminal, with cloud services that answer at once, and
// from the paste alone to the text: on the X11 desktop into xterm through
// XTEST, on the Wayland one (scripts/session --wayland) into foot through the
// session's typing route.
#include "app/Wiring.h"
#include "audio/AudioRecorder.h"
#include "dictation/Paster.h"
#include "dictation/ProcessingRoad.h"
#include "fakes/FakeHttpService.h"
#include "model/AppSettings.h"
#include "platform/FrontmostApp.h"
#include "platform/KeyPoster.h"
#include "platform/SessionRoutes.h"
#include "support/TestEnv.h"
#include "support/WaylandWindows.h"
#include "BenchRoadHost.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

using Host = BenchRoadHost;

ScriptedReply chat(const QString &content)
{
    return ScriptedReply::json(QJsonObject{{QStringLiteral("choices"), QJsonArray{QJsonObject{{QStringLiteral("message"),
        QJsonObject{{QStringLiteral("role"), QStringLiteral("assistant")}, {QStringLiteral("content"), content}}}}}}});
}

void print(const QString &what, QList<double> values, const char *note)
{
    if (values.isEmpty()) {
        std::printf("%s : aucun essai abouti\n", qPrintable(what));
        return;
    }
    std::sort(values.begin(), values.end());
    std::printf("%s, %lld essais : médiane %.1f ms, max %.1f ms%s\n", qPrintable(what), qint64(values.size()),
                values.at(values.size() / 2), values.last(), note);
}

} // namespace

int main(int argc, char *argv[])
{
    TestEnv::isolate();
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::printf("relâche → collage: ignoré (pas de bureau privé)\n");
        return 0;
    }
    QApplication app(argc, argv);
    StandardData data;
    const bool wayland = WaylandWindows::session();
    std::unique_ptr<WaylandWindows::SeatKeyboard> seat;
    if (wayland) {
        seat = std::make_unique<WaylandWindows::SeatKeyboard>();
        KeyPoster::prepare({});
    }
    const QString terminal = wayland ? QStringLiteral("foot") : QStringLiteral("xterm");
    const QString route = SessionRoutes::journalLines(SessionRoutes::current()).value(1).section(QStringLiteral(": "), 1);
    const QString where = terminal + (wayland ? QStringLiteral(" (Wayland, ") : QStringLiteral(" (X11, ")) + route
                          + QStringLiteral(")");

    FakeHttpService cloud;
    cloud.start();
    const QString rewrite = QStringLiteral("La réunion de demain est déplacée à 15 h.");
    cloud.setHandler([&](const RecordedRequest &r) {
        return chat(r.body.contains("input_audio") ? QStringLiteral("alors la réunion de demain est déplacée à quinze heures")
                                                   : rewrite);
    });
    qputenv("OMBRY_HOSTED_URL", cloud.url(QStringLiteral("/")).toUtf8());
    TestEnv::settings()->setTranscriptionEngine(TranscriptionEngine::Gemini);
    TestEnv::settings()->setRewriteEngine(RewriteEngine::OpenRouter);
    TestEnv::settings()->setSounds(false);

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("typed.txt"));
    QProcess target;
    QStringList command{QStringLiteral("sh"), QStringLiteral("-c"), QStringLiteral("stty -icanon -echo; exec cat > \"$1\""),
                        QStringLiteral("sh"), file};
    // foot takes the command as it is, xterm after -e.
    if (!wayland)
        command.prepend(QStringLiteral("-e"));
    target.start(terminal, command);
    if (!target.waitForStarted(5000)) {
        std::printf("relâche → collage: ignoré (%s absent)\n", qPrintable(terminal));
        return 0;
    }
    std::optional<RunningApp> front;
    if (!TestEnv::waitFor([&] {
            front = FrontmostApp::current();
            return front && (front->wmInstance == terminal || front->pid == target.processId()) && QFile::exists(file);
        }, 15000)) {
        std::printf("relâche → collage: %s n'est pas venu au premier plan\n", qPrintable(terminal));
        return 1;
    }

    QByteArray pcm(16000 * 2 * 3, '\0');
    auto *s = reinterpret_cast<qint16 *>(pcm.data());
    for (int i = 0; i < 16000 * 3; ++i)
        s[i] = qint16((i % 80) < 40 ? 8000 : -8000);
    const QByteArray wav = AudioRecorder::wav(pcm);

    Paster paster(Wiring::pasteDesktop());
    Host host;
    constexpr int kRuns = 10;
    QList<double> released, pasted;
    for (int run = 0; run < kRuns; ++run) {
        const qsizetype before = TestEnv::readFile(file).size();
        ProcessingRoad::Request request;
        request.serial = quint64(run + 1);
        request.wav = wav;
        request.duration = 3;
        request.app = front;
        request.startedAt = QDateTime::currentDateTimeUtc();
        QElapsedTimer clock;
        clock.start();
        bool done = false;
        [](Host *h, ProcessingRoad::Request r, RoadDesktop d, bool *flag) -> QCoro::Task<> {
            co_await ProcessingRoad::run(h, DictationData{TestEnv::settings(), TestEnv::store(), TestEnv::keys()},
                                         std::move(r), std::move(d));
            *flag = true;
        }(&host, request, RoadDesktop::system(&paster), &done);
        if (TestEnv::waitFor([&] { return TestEnv::readFile(file).size() >= before + rewrite.toUtf8().size(); }, 10000))
            released << clock.nsecsElapsed() / 1e6;
        TestEnv::waitFor([&] { return done; }, 10000);
        paster.flushRestore();
    }
    for (int run = 0; run < kRuns; ++run) {
        const QString text = QStringLiteral("collage numéro %1 ").arg(run);
        const qsizetype before = TestEnv::readFile(file).size();
        QElapsedTimer clock;
        clock.start();
        if (QCoro::waitFor(paster.paste(text, true)).posted
            && TestEnv::waitFor([&] { return TestEnv::readFile(file).size() >= before + text.toUtf8().size(); }, 10000))
            pasted << clock.nsecsElapsed() / 1e6;
        paster.flushRestore();
    }
    print(QStringLiteral("relâche → texte dans ") + where, released, " (dont pause de réactivation 80 ms)");
    print(QStringLiteral("collage → texte dans ") + where, pasted, "");
    target.kill();
    target.waitForFinished(2000);
    return released.size() == kRuns && pasted.size() == kRuns ? 0 : 1;
}
