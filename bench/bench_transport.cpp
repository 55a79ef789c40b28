// The transport's time limits as they play out against fake services on
// 127.0.0.1: a call that gets no answer, a reply that stalls after its headers,
// a refused connection, and what a warm-up costs its caller. The limits run at a
// twentieth of the real time; the figures are given back at full scale too.
#include "engines/LocalRewrite.h"
#include "engines/EngineTestUtil.h"
#include "engines/Net.h"
#include "engines/OmbryAI.h"
#include "fakes/FakeHttpService.h"
#include "model/AppSettings.h"
#include "model/KeyStore.h"
#include "support/TestEnv.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QTcpServer>
#include <QTcpSocket>

#include <algorithm>
#include <cstdio>

namespace {

constexpr double kScale = 0.05;

QJsonObject body()
{
    return QJsonObject{{QStringLiteral("model"), QStringLiteral("m")},
                       {QStringLiteral("messages"), QJsonArray{QJsonObject{{QStringLiteral("role"), QStringLiteral("user")},
                                                                           {QStringLiteral("content"), QStringLiteral("a")}}}}};
}

// printf pads by bytes; the labels are French.
QByteArray label(const char *what)
{
    return QString::fromUtf8(what).leftJustified(38).toUtf8();
}

void line(const char *what, double ms, double expectedSeconds)
{
    std::printf("  %s %8.1f ms  (%.2f s à pleine échelle, attendu %.2f s)\n", label(what).constData(), ms,
                ms / 1000 / kScale, expectedSeconds);
}

} // namespace

int main(int argc, char *argv[])
{
    TestEnv::isolate();
    QCoreApplication app(argc, argv);
    StandardData data;
    FakeHttpService openRouter, hosted;
    openRouter.start();
    hosted.start();
    qputenv("OMBRY_OPENROUTER_URL", openRouter.url().toUtf8());
    qputenv("OMBRY_HOSTED_URL", hosted.url().toUtf8());
    openRouter.on("POST", QStringLiteral("/api/v1/chat/completions"), ScriptedReply::hanging());
    hosted.on("POST", QStringLiteral("/api/voice"), ScriptedReply::hanging());
    TestEnv::keys()->setKeys({{APIService::OpenRouter, QStringLiteral("sk-bench")}});
    Net::setTimeScale(kScale);

    std::printf("transport, limites à l'échelle %.2f\n", kScale);

    // A 20 s call without an answer, on both routes at once.
    TestEnv::settings()->setOwnKeyMode(true);
    auto own = capture(OmbryAI::chat(installedAccess(), body(), 20, QStringLiteral("OpenRouter")));
    TestEnv::settings()->setOwnKeyMode(false);
    auto viaHosted = capture(OmbryAI::chat(installedAccess(), body(), 20, QStringLiteral("OpenRouter")));
    TestEnv::waitFor([&] { return own->done && viaHosted->done; }, 10000);
    line("appel de 20 s sans réponse, clé propre", double(own->elapsedMs), 20);
    line("appel de 20 s sans réponse, service", double(viaHosted->elapsedMs), 25);

    // Headers, then nothing: the 30 s limit between bytes.
    QTcpServer server;
    server.listen(QHostAddress::LocalHost);
    QObject::connect(&server, &QTcpServer::newConnection, &server, [&] {
        QTcpSocket *socket = server.nextPendingConnection();
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] {
            socket->readAll();
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 6\r\n\r\n");
        });
    });
    const auto stalled = await(Net::send(Net::request(QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(server.serverPort()))),
                                         "GET", QByteArray(), Net::Timeouts{300, 30}),
                               20000);
    line("réponse figée après les en-têtes", double(stalled.elapsedMs), 30);

    // The local model's probe against a server that never answers.
    FakeHttpService local;
    local.start();
    local.on("GET", QStringLiteral("/v1/models"), ScriptedReply::hanging());
    qputenv("OMBRY_LOCAL_LLM_URL", local.url(QStringLiteral("/v1")).toUtf8());
    const auto probe = await(LocalRewrite::run(QStringLiteral("s"), QStringLiteral("t")), 10000);
    line("modèle local muet, sonde abandonnée", double(probe.elapsedMs), 0.5);

    // Refused at once: nothing listens on port 9.
    QList<double> refused;
    for (int i = 0; i < 20; ++i) {
        const auto out = await(Net::send(Net::request(QUrl(QStringLiteral("http://127.0.0.1:9/"))), "GET", QByteArray()));
        refused.append(double(out.elapsedMs));
    }
    std::sort(refused.begin(), refused.end());
    std::printf("  %s %8.1f ms  (médiane de 20)\n", label("connexion refusée").constData(), refused[refused.size() / 2]);

    // What a warm-up costs its caller: it only starts two requests.
    QList<double> warm;
    for (int i = 0; i < 20; ++i) {
        QElapsedTimer clock;
        clock.start();
        Net::warmUp();
        warm.append(double(clock.nsecsElapsed()) / 1000);
        QCoreApplication::processEvents();
    }
    std::sort(warm.begin(), warm.end());
    std::printf("  %s %8.1f us  (médiane de 20)\n", label("Net::warmUp, retour à l'appelant").constData(),
                warm[warm.size() / 2]);
    return 0;
}
