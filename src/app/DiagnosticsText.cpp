#include "app/DiagnosticsText.h"

#include "engines/EngineError.h"
#include "text/Analyzer.h"
#include "text/Translator.h"
#include "text/VoiceCommand.h"

#include <QElapsedTimer>

#include <cstdio>

namespace DiagnosticsText {

namespace {

const QString kFrench = QStringLiteral("français");

void print(const QString &line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

// Seconds since `clock` started, "%.1f" (asprintf ignores the locale).
QString seconds(const QElapsedTimer &clock)
{
    return QString::asprintf("%.1f", clock.nsecsElapsed() / 1e9);
}

} // namespace

QCoro::Task<void> command(QString instruction, QString text)
{
    QString failure;
    try {
        const QString result = co_await VoiceCommand::apply(instruction, text);
        print(QStringLiteral("commande: ") + result);
    } catch (const std::exception &error) {
        failure = describe(error);
    }
    if (!failure.isNull())
        print(QStringLiteral("erreur: ") + failure);
}

QCoro::Task<void> translate(QString text)
{
    QString failure;
    try {
        const QString result = co_await Translator::translate(text, QStringLiteral("anglais"), true);
        print(QStringLiteral("traduit: ") + result);
    } catch (const std::exception &error) {
        failure = describe(error);
    }
    if (!failure.isNull())
        print(QStringLiteral("erreur: ") + failure);
}

QCoro::Task<void> correct(QString text)
{
    QElapsedTimer clock;
    clock.start();
    QString failure;
    try {
        const Analysis analysis = co_await Analyzer::analyze(text, kFrench, {});
        print(QStringLiteral("correction en ") + seconds(clock) + QStringLiteral(" s"));

        const QList<Fix> fixes = co_await Analyzer::explain(analysis.fixes, text, kFrench);
        print(QStringLiteral("analyse (") + seconds(clock) + QStringLiteral(" s): ") + analysis.corrected);
        for (const Fix &fix : fixes)
            print(QStringLiteral("  [") + fix.kind + QStringLiteral("] ") + fix.original + QStringLiteral(" → ")
                  + fix.correction + QStringLiteral(" : ") + fix.explanation);

        const QString formal = co_await Analyzer::rewrite(text, TextAction::Formal, kFrench, std::nullopt);
        print(QStringLiteral("formel: ") + formal);
    } catch (const std::exception &error) {
        failure = describe(error);
    }
    if (!failure.isNull())
        print(QStringLiteral("erreur: ") + failure);
}

} // namespace DiagnosticsText
