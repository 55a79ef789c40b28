// The text switches: voice command, translation, correction.
#include "diagnostics/CommandLine.h"

#include "model/AppSettings.h"
#include "model/KeyStore.h"
#include "model/Store.h"
#include "text/Analyzer.h"
#include "text/Translator.h"
#include "text/VoiceCommand.h"

#include <QElapsedTimer>

namespace Diagnostics {

namespace {

const QString kFrench = QStringLiteral("français");

TextSettings current()
{
    return TextSettings::of(*AppSettings::shared());
}

OmbryAI::Access access()
{
    return OmbryAI::Access{AppSettings::shared(), KeyStore::shared(), Store::shared()};
}

} // namespace

QCoro::Task<> command(QStringList values)
{
    const QString result = co_await VoiceCommand::apply(access(), values.at(0), values.at(1));
    print(QStringLiteral("commande: ") + result);
}

QCoro::Task<> translate(QStringList values)
{
    const QString result =
        co_await Translator::translate(access(), values.at(0), QStringLiteral("anglais"), true, current());
    print(QStringLiteral("traduit: ") + result);
}

QCoro::Task<> correct(QStringList values)
{
    const QString text = values.at(0);
    QElapsedTimer clock;
    clock.start();
    const auto elapsed = [&clock] { return seconds(clock.nsecsElapsed() / 1e9); };

    const Analysis analysis = co_await Analyzer::analyze(access(), text, kFrench, {}, current());
    print(QStringLiteral("correction en ") + elapsed() + QStringLiteral(" s"));

    const QList<Fix> fixes = co_await Analyzer::explain(access(), analysis.fixes, text, kFrench, current());
    print(QStringLiteral("analyse (") + elapsed() + QStringLiteral(" s): ") + analysis.corrected);
    for (const Fix &fix : fixes)
        print(QStringLiteral("  [") + fix.kind + QStringLiteral("] ") + fix.original + QStringLiteral(" → ") + fix.correction
              + QStringLiteral(" : ") + fix.explanation);

    const QString formal =
        co_await Analyzer::rewrite(access(), text, TextAction::Formal, kFrench, std::nullopt, current());
    print(QStringLiteral("formel: ") + formal);
}

} // namespace Diagnostics
