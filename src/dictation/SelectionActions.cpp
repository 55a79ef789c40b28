#include "dictation/SelectionActions.h"

#include "dictation/BubbleController.h"
#include "dictation/Paster.h"
#include "dictation/ProcessingRoad.h"
#include "dictation/Reader.h"
#include "engines/EngineError.h"
#include "model/AppSettings.h"
#include "model/KeyStore.h"
#include "core/Log.h"
#include "model/Store.h"
#include "model/TextUtil.h"
#include "platform/Clipboard.h"
#include "platform/FrontmostApp.h"
#include "text/Corrector.h"
#include "text/SelectionFit.h"
#include "text/Translator.h"

#include <qcoro/qcorotimer.h>

#include <chrono>

using namespace std::chrono_literals;

namespace SelectionActions {

namespace {

// An action that ends on an exception: logged, and the user told as for any
// other failure (the controller is back to idle by then).
void handled(SelectionHost *host, QCoro::Task<> task, QString logPrefix)
{
    std::move(task).then([] {}, [host, logPrefix](const std::exception &error) {
        Log::write(logPrefix + describe(error));
        host->fail(describe(error));
    });
}

} // namespace

QString bubbleLanguage(const QString &text, const QString &target)
{
    const std::optional<QString> detected = Translator::detect(text);
    if (detected && TextUtil::sameText(*detected, target))
        return TextUtil::sameText(target, QStringLiteral("français")) ? QStringLiteral("anglais") : QStringLiteral("français");
    return target;
}

void pasteLast(SelectionHost *host)
{
    if (!host->isIdle())
        return;
    // A kept recording without text is skipped: pasting it would empty the clipboard.
    const std::optional<Dictation> last = Records::newestWithText(host->data().store->dictations());
    if (!last)
        return;
    handled(host, runPasteLast(host, last->finalText), QStringLiteral("collage échoué: dernière dictée, "));
}

QCoro::Task<> runPasteLast(SelectionHost *host, QString text)
{
    QCoro::Task<> settling = host->paster()->waitForModifiers();
    co_await std::move(settling);
    QCoro::Task<PasteOutcome> pasting = host->paster()->paste(text, host->data().settings->restoreClipboard());
    const PasteOutcome pasted = co_await std::move(pasting);
    if (pasted.leftOnClipboard) {
        host->show(Road::leftOnClipboard());
        co_return;
    }
    if (!pasted.posted) {
        Log::write(QStringLiteral("collage échoué: dernière dictée (touche de collage non envoyée)"));
        host->fail(Road::pasteFailed());
        co_return;
    }
    host->show(pasted.clipboardNote.isEmpty() ? QStringLiteral("Dernière dictée recollée") : pasted.clipboardNote);
}

void correctSelection(SelectionHost *host, bool alreadyCopied, bool translate)
{
    if (!host->isIdle())
        return;
    if (!host->trusted()) {
        host->fail(QStringLiteral("Accessibilité non autorisée"));
        return;
    }
    host->beginCorrecting(translate);
    handled(host, runCorrection(host, alreadyCopied, translate),
            translate ? QStringLiteral("traduction échouée: ") : QStringLiteral("correction échouée: "));
}

namespace {

// Whatever way the action ends, a controller still correcting goes back to idle.
struct IdleOnExit
{
    SelectionHost *host;
    ~IdleOnExit()
    {
        if (host->isCorrecting())
            host->setIdle();
    }
};

} // namespace

QCoro::Task<> runCorrection(SelectionHost *host, bool alreadyCopied, bool translate)
{
    IdleOnExit guard{host};
    // The clipboard as the user had it, when this action changed it (a posted
    // copy) or read it (the user's own copy).
    std::optional<Paster::Snapshot> saved;
    bool changed = false;
    std::optional<QString> text;
    if (alreadyCopied) {
        co_await QCoro::sleepFor(150ms);
        QCoro::Task<> settling = host->paster()->waitForModifiers();
        co_await std::move(settling);
        // The application's copy takes the clipboard from us when we held it (a
        // restore just before): under load it can land late.
        for (int polls = 0; polls < 40 && Clipboard::ownedHere(); ++polls)
            co_await QCoro::sleepFor(25ms);
        if (host->paster()->seriesCopied()) {
            // The application's copy is now the user's clipboard: it is what comes
            // back afterwards, and the selection is read from that same snapshot.
            saved = host->paster()->snapshot();
            text = saved->text();
            if (!text) {
                // A busy application may miss the snapshot's short limit once.
                co_await QCoro::sleepFor(100ms);
                saved = host->paster()->snapshot();
                text = saved->text();
            }
            Log::write(QStringLiteral("sélection: Ctrl+C ") + (translate ? QStringLiteral("trois") : QStringLiteral("deux"))
                       + QStringLiteral(" fois (")
                       + QString::number(text ? TextUtil::characterCount(*text) : 0) + QStringLiteral(" caractères)"));
        } else {
            // The application did not copy (a terminal's Ctrl+C, a key it ignores):
            // the clipboard holds something older than the selection.
            Log::write(QStringLiteral("sélection: Ctrl+C sans copie, presse-papiers ignoré"));
            QCoro::Task<std::optional<QString>> reading = host->paster()->copySelection(false);
            text = co_await std::move(reading);
        }
    } else {
        QCoro::Task<std::optional<QString>> copying = host->paster()->copySelection(true, &saved);
        text = co_await std::move(copying);
        changed = saved.has_value();
    }
    const auto putBack = [&saved, changed] {
        if (changed)
            Clipboard::restore(*saved);
    };
    if (!text || TextUtil::trimmed(*text).isEmpty()) {
        putBack();
        host->setIdle();
        host->fail(QStringLiteral("Aucun texte sélectionné"));
        co_return;
    }

    const DictationData data = host->data();
    AppSettings *settings = data.settings;
    const OmbryAI::Access access = data.access();
    QString result;
    std::optional<QString> failure;
    try {
        if (translate) {
            const QString selected = *text;
            const QString target = settings->translateTarget();
            QCoro::Task<QString> translation =
                Translator::translate(access, selected, target, true, TextSettings::of(*settings));
            result = co_await std::move(translation);
        } else {
            const QString selected = *text;
            const QString language = promptName(settings->language());
            const QStringList words = data.store->words();
            QCoro::Task<Corrector::Result> correction =
                Corrector::correctDetailed(access, selected, language, words, TextSettings::of(*settings));
            const Corrector::Result corrected = co_await std::move(correction);
            // Put back where the selection was, often inside a sentence.
            result = SelectionFit::fit(selected, corrected.text);
        }
    } catch (const std::exception &error) {
        failure = describe(error);
    }
    if (failure) {
        putBack();
        host->setIdle();
        host->fail(*failure);
        co_return;
    }

    // Nothing to correct: the document, its formatting and the clipboard stay
    // as they are.
    if (!translate && TextUtil::sameText(result, *text)) {
        putBack();
        host->setIdle();
        Log::write(QStringLiteral("correction: rien à corriger (") + QString::number(TextUtil::characterCount(*text))
                   + QStringLiteral(" caractères)"));
        host->show(QStringLiteral("Aucune faute"));
        co_return;
    }

    if (result != *text) {
        CorrectionRecord record;
        record.date = QDateTime::currentDateTimeUtc();
        const std::optional<RunningApp> app = FrontmostApp::current();
        record.appName = app && !app->name.isEmpty() ? app->name : QStringLiteral("Inconnue");
        record.bundleID = app ? app->bundleId : std::nullopt;
        record.action = translate ? QStringLiteral("Traduire") : QStringLiteral("Corriger");
        record.original = *text;
        record.result = result;
        data.store->addFix(record);
    }
    Log::write((translate ? QStringLiteral("traduction: ") : QStringLiteral("correction: "))
               + QString::number(TextUtil::characterCount(*text)) + QStringLiteral(" → ")
               + QString::number(TextUtil::characterCount(result)) + QStringLiteral(" caractères"));

    // A terminal's output or read-only text cannot take the result in place of
    // the selection: it goes to the bubble.
    bool paste = !host->paster()->targetIsTerminal();
    if (paste) {
        // Asked of the accessibility worker: an application that does not answer
        // holds this action up to the timeout, never the main thread.
        QCoro::Task<Accessibility::FocusRead> asking = host->paster()->readTarget();
        const Accessibility::FocusRead target = co_await std::move(asking);
        paste = target.editable != std::optional<bool>(false);
    }
    if (paste) {
        PasteOutcome pasted;
        if (Paster *paster = host->paster()) {
            QCoro::Task<PasteOutcome> pasting = paster->paste(result, true, saved);
            pasted = co_await std::move(pasting);
        }
        host->setIdle();
        if (pasted.leftOnClipboard) {
            host->show(Road::leftOnClipboard());
            co_return;
        }
        if (!pasted.posted) {
            Log::write(QStringLiteral("collage échoué: ") + QString::number(TextUtil::characterCount(result))
                       + QStringLiteral(" caractères (touche de collage non envoyée)"));
            host->fail(Road::pasteFailed());
            co_return;
        }
        if (!pasted.clipboardNote.isEmpty())
            host->show(pasted.clipboardNote);
        else
            host->show(translate ? QStringLiteral("Texte traduit")
                                 : result != *text ? QStringLiteral("Texte corrigé") : QStringLiteral("Aucune faute"));
        co_return;
    }
    putBack();
    host->setIdle();
    if (!translate && result == *text) {
        host->show(QStringLiteral("Aucune faute"));
        co_return;
    }
    const QString title = translate
                              ? QStringLiteral("Traduit en ") + bubbleLanguage(*text, settings->translateTarget())
                              : QStringLiteral("Correction proposée");
    host->bubble()->show(title, *text, result);
}

void speakSelection(SelectionHost *host)
{
    Reader *reader = host->reader();
    if (reader->isSpeaking()) {
        reader->stop();
        return;
    }
    handled(host, runSpeak(host), QStringLiteral("lecture échouée: "));
}

QCoro::Task<> runSpeak(SelectionHost *host)
{
    Paster *paster = host->paster();
    if (!paster)
        co_return;
    std::optional<Paster::Snapshot> saved;
    QCoro::Task<std::optional<QString>> copying = paster->copySelection(true, &saved);
    const std::optional<QString> text = co_await std::move(copying);
    if (saved)
        Clipboard::restore(*saved);
    if (!text || TextUtil::trimmed(*text).isEmpty()) {
        host->fail(QStringLiteral("Aucun texte sélectionné"));
        co_return;
    }
    host->reader()->speak(*text);
    host->show(QStringLiteral("Lecture à voix haute"));
}

} // namespace SelectionActions
