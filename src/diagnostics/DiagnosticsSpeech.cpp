#include "diagnostics/CommandLine.h"

#include "engines/LocalSpeech.h"
#include "engines/LocalRewrite.h"
#include "engines/GeminiSpeech.h"
#include "engines/OpenRouter.h"
#include "model/AppSettings.h"

#include <QElapsedTimer>

namespace {

QString elapsed(const QElapsedTimer &clock)
{
    return Diagnostics::seconds(clock.nsecsElapsed() / 1e9);
}

} // namespace

namespace Diagnostics {

QCoro::Task<> fastTest(QStringList values, Program program)
{
    QElapsedTimer clock;
    clock.start();
    const QByteArray wav = readFile(values.at(0));
    const GeminiSpeech::Cleaned result = co_await GeminiSpeech::transcribeAndClean(
        program.access(), wav, QStringLiteral("français"), {}, QString(),
        OpenRouter::punctuationParagraph(program.settings->punctuation()));
    print(QStringLiteral("rapide (") + elapsed(clock) + QStringLiteral(" s): raw=[") + result.raw
          + QStringLiteral("] clean=[") + result.clean + QLatin1Char(']'));
}

QCoro::Task<> callTest(QStringList values, Program program)
{
    QElapsedTimer clock;
    clock.start();
    const QByteArray wav = readFile(values.at(0));
    const GeminiSpeech::Translated result = co_await GeminiSpeech::transcribeAndTranslate(program.access(), wav, QString());
    print(QStringLiteral("appel (") + elapsed(clock) + QStringLiteral(" s): ") + result.en + QStringLiteral(" → ")
          + result.fr);
}

QCoro::Task<> onDeviceTest(QStringList values, Program program)
{
    const QByteArray wav = readFile(values.at(0));
    QElapsedTimer clock;
    clock.start();
    const QString text = co_await LocalSpeech::transcribe(wav, QStringLiteral("fr"), {});
    print(QStringLiteral("transcription (") + elapsed(clock) + QStringLiteral(" s): ") + text);
    const bool available = co_await LocalRewrite::isAvailable();
    print(QStringLiteral("modèle local disponible: ") + (available ? QStringLiteral("true") : QStringLiteral("false")));
    clock.restart();
    const QString rewritten =
        co_await LocalRewrite::run(
            OpenRouter::instructions(QStringLiteral("français"), {}, program.settings->punctuation()), text);
    print(QStringLiteral("reformulation (") + elapsed(clock) + QStringLiteral(" s): ") + rewritten);
}

} // namespace Diagnostics
