// The text switches: voice command, translation, correction.
#include "diagnostics/CommandLine.h"

#include "model/AppSettings.h"
#include "text/Analyzer.h"
#include "text/Translator.h"
#include "text/VoiceCommand.h"

#include <QElapsedTimer>

namespace Diagnostics {

namespace {

const QString kFrench = QStringLiteral("français");

TextSettings current(const Program &program)
{
    return TextSettings::of(*program.settings);
}

} // namespace

QCoro::Task<> command(QStringList values, Program program)
{
    const QString result = co_await VoiceCommand::apply(program.access(), values.at(0), values.at(1));
    print(QStringLiteral("commande: ") + result);
}

QCoro::Task<> translate(QStringList values, Program program)
{
    const QString result =
        co_await Translator::translate(program.access(), values.at(0), QStringLiteral("anglais"), true, current(program));
    print(QStringLiteral("traduit: ") + result);
}

QCoro::Task<> correct(QStringList values, Program program)
{
    const QString text = values.at(0);
    QElapsedTimer clock;
    clock.start();
    const auto elapsed = [&clock] { return seconds(clock.nsecsElapsed() / 1e9); };

    const Analysis analysis = co_await Analyzer::analyze(program.access(), text, kFrench, {}, current(program));
    print(QStringLiteral("correction en ") + elapsed() + QStringLiteral(" s"));

    const QList<Fix> fixes = co_await Analyzer::explain(program.access(), analysis.fixes, text, kFrench, current(program));
    print(QStringLiteral("analyse (") + elapsed() + QStringLiteral(" s): ") + analysis.corrected);
    for (const Fix &fix : fixes)
        print(QStringLiteral("  [") + fix.kind + QStringLiteral("] ") + fix.original + QStringLiteral(" → ") + fix.correction
              + QStringLiteral(" : ") + fix.explanation);

    const QString formal =
        co_await Analyzer::rewrite(program.access(), text, TextAction::Formal, kFrench, std::nullopt, current(program));
    print(QStringLiteral("formel: ") + formal);
}

} // namespace Diagnostics
