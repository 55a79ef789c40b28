#include "dictation/ProcessingRoad.h"

#include "dictation/Paster.h"
#include "engines/LocalRewrite.h"
#include "engines/CloudFirst.h"
#include "engines/EngineError.h"
#include "engines/Hallucination.h"
#include "engines/OpenRouter.h"
#include "engines/Tone.h"
#include "engines/GeminiSpeech.h"
#include "engines/Deepgram.h"
#include "engines/LocalSpeech.h"
#include "model/AppSettings.h"
#include "model/KeyStore.h"
#include "core/Log.h"
#include "model/Store.h"
#include "model/TextUtil.h"
#include "platform/Permissions.h"
#include "text/Corrector.h"
#include "model/Fix.h"
#include "text/Translator.h"
#include "text/VoiceCommand.h"

#include <QElapsedTimer>
#include <QFile>
#include <QUuid>
#include <qcoro/qcorotimer.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

using namespace std::chrono_literals;

namespace Road {

QString lightPunctuation(const QString &text)
{
    QString s = text;
    s.replace(QLatin1Char(';'), QLatin1Char(','));
    s.replace(QStringLiteral(", "), QStringLiteral(" "));
    // A comma between two digits is a decimal comma ("3,5 degrés"): it stays. One
    // squeezed between two words ("deux,trois") gives way to a space, so that
    // removing it never glues the words together.
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] == QLatin1Char(',')) {
            const bool inside = i > 0 && i + 1 < s.size();
            if (inside && s[i - 1].isDigit() && s[i + 1].isDigit()) {
                out.append(s[i]);
            } else if (inside && !s[i - 1].isSpace() && !s[i + 1].isSpace()) {
                out.append(QLatin1Char(' '));
            }
            continue;
        }
        out.append(s[i]);
    }
    out.replace(QStringLiteral("  "), QStringLiteral(" "));
    return out;
}

bool isHesitation(const QString &text)
{
    const QString lower = text.toLower();
    qsizetype begin = 0;
    qsizetype end = lower.size();
    const auto trimmable = [](QChar c) { return c.isPunct() || c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    while (begin < end && trimmable(lower[begin]))
        ++begin;
    while (end > begin && trimmable(lower[end - 1]))
        --end;
    static const QStringList words = {QStringLiteral("euh"), QStringLiteral("heu"), QStringLiteral("hum"),
                                      QStringLiteral("bah"), QStringLiteral("ben")};
    return words.contains(lower.mid(begin, end - begin));
}

QString pasteFailed()
{
    return QStringLiteral("Collage impossible : le texte est dans l'historique");
}

QString notEditable()
{
    return QStringLiteral("Champ non modifiable : le texte est dans l'historique");
}

QString leftOnClipboard()
{
    return QStringLiteral("Texte copié : colle-le avec Ctrl+V");
}

QString separated(const QString &text, const std::optional<QString> &before)
{
    if (!before || before->isEmpty() || text.isEmpty())
        return text;
    const QList<uint> last = before->toUcs4();
    const char32_t c = last.isEmpty() ? 0 : char32_t(last.back());
    static const QString closing = QStringLiteral(".,;:!?)]}»”’…\"'");
    const bool joins = QChar::isLetterOrNumber(c) || (c < 0x10000 && closing.contains(QChar(char16_t(c))));
    const char32_t first = text.toUcs4().value(0);
    return joins && QChar::isLetter(first) ? QLatin1Char(' ') + text : text;
}

QString checkedRewrite(const QString &transcript, QString rewritten, const QString &service)
{
    if (rewritten.size() > 3 * transcript.size() + 200)
        throw TooLongError(service);
    return rewritten;
}

QString recordingName(const QUuid &id)
{
    return uuidText(id) + QStringLiteral(".wav");
}

Dictation keptEntry(const QUuid &id, const QDateTime &date, const std::optional<RunningApp> &app, double duration)
{
    Dictation entry;
    entry.id = id;
    entry.date = date.isValid() ? date : QDateTime::currentDateTime();
    entry.appName = app && !app->name.isEmpty() ? app->name : QStringLiteral("Inconnue");
    entry.bundleID = app ? app->bundleId : std::nullopt;
    entry.duration = duration;
    entry.audioFile = recordingName(id);
    return entry;
}

void keepRecording(Store *store, const Dictation &entry, const QByteArray &wav, const QString &cause)
{
    const QString name = entry.audioFile.value_or(recordingName(entry.id));
    store->saveRecording(name, wav);
    const QList<Dictation> &history = store->dictations();
    if (std::none_of(history.cbegin(), history.cend(), [&](const Dictation &d) { return d.id == entry.id; }))
        store->add(entry);
    Log::write(QStringLiteral("dictée: enregistrement gardé ") + name + QStringLiteral(" (") + cause
               + QStringLiteral(")"));
}

} // namespace Road

RoadDesktop RoadDesktop::system(Paster *paster)
{
    RoadDesktop desktop;
    desktop.trusted = [] { return Permissions::accessibility(); };
    desktop.activate = [](const RunningApp &app) { FrontmostApp::activate(app); };
    desktop.paste = [paster](QString text, bool restore) { return paster->paste(std::move(text), restore); };
    desktop.focus = [paster] { return paster->readTarget(); };
    return desktop;
}

namespace {

QString appName(const std::optional<RunningApp> &app, const QString &none)
{
    return app && !app->name.isEmpty() ? app->name : none;
}

QString seconds(const QElapsedTimer &clock)
{
    // A point whatever the user's locale.
    return QString::number(double(clock.nsecsElapsed()) / 1e9, 'f', 2);
}

// One road: the request, its clock, and the controller it may still speak for.
struct Trip
{
    RoadHost *host;
    DictationData data;
    ProcessingRoad::Request request;
    RoadDesktop desktop;
    QElapsedTimer clock;

    bool current() const { return host->owns(request.serial); }

    void fail(const QString &message) const
    {
        if (current())
            host->fail(message);
        else
            Log::write(QStringLiteral("erreur: ") + message + QStringLiteral(" (dictée dépassée)"));
    }
    // A failure before the record exists: the recording is kept all the same, as
    // an entry without text (one that was kept already stays as it is).
    void failKeeping(const QString &message) const
    {
        fail(message);
        if (!request.kept)
            Road::keepRecording(data.store,
                                Road::keptEntry(request.id, request.startedAt, request.app, request.duration),
                                request.wav, message);
    }
    void show(const QString &message) const
    {
        if (current())
            host->show(message);
    }
    // The exit rule: idle, then no command text, for the road that still owns them.
    void end() const
    {
        if (current())
            host->finish();
    }

    // A road given up by the watchdog (or replaced) does not take the desktop
    // back: the user was told to retry and has moved on.
    QCoro::Task<> reactivate() const
    {
        if (!current())
            co_return;
        const std::optional<RunningApp> &app = request.app;
        if (app && app->bundleId != std::optional<QString>(FrontmostApp::ownBundleId()) && desktop.activate)
            desktop.activate(*app);
        co_await QCoro::sleepFor(80ms);
    }

    QCoro::Task<Accessibility::FocusRead> focus() const
    {
        if (!current())
            co_return Accessibility::FocusRead{};
        if (request.focus)
            co_return *request.focus;
        if (!desktop.focus)
            co_return Accessibility::FocusRead{};
        QCoro::Task<Accessibility::FocusRead> asking = desktop.focus();
        Accessibility::FocusRead read = co_await std::move(asking);
        co_return read;
    }

    // Whether the paste went out; a key that could not be posted is told to the
    // user and the journal, never counted as pasted.
    QCoro::Task<PasteOutcome> paste(QString text) const
    {
        if (!current()) {
            Log::write(QStringLiteral("non collé: dictée abandonnée après le délai, ")
                       + QString::number(TextUtil::characterCount(text)) + QStringLiteral(" caractères"));
            co_return PasteOutcome{};
        }
        PasteOutcome outcome;
        if (desktop.paste) {
            QCoro::Task<PasteOutcome> pasting = desktop.paste(text, data.settings->restoreClipboard());
            outcome = co_await std::move(pasting);
        }
        if (outcome.posted)
            co_return outcome;
        if (outcome.leftOnClipboard) {
            show(Road::leftOnClipboard());
            co_return outcome;
        }
        Log::write(QStringLiteral("collage échoué: ") + QString::number(TextUtil::characterCount(text))
                   + QStringLiteral(" caractères pour ") + appName(request.app, QStringLiteral("?"))
                   + QStringLiteral(" (touche de collage non envoyée)"));
        fail(Road::pasteFailed());
        co_return outcome;
    }
    // What the capsule says after a paste: the clipboard's loss comes first.
    void showPasted(const PasteOutcome &outcome, const QString &message) const
    {
        show(outcome.clipboardNote.isEmpty() ? message : outcome.clipboardNote);
    }
};

// The transcript, or the text of the failure that prevented it.
struct Heard
{
    std::optional<QString> text;
    QString failure;
};

QCoro::Task<Heard> transcribe(const Trip *trip)
{
    // Arguments are named and tasks made before co_await: g++ 12 mishandles
    // temporaries inside a co_await expression.
    const AppSettings *settings = trip->data.settings;
    const OmbryAI::Access access = trip->data.access();
    const Language language = settings->language();
    const QStringList words = trip->data.store->words();
    const QByteArray wav = trip->request.wav;
    const QString locale = localeCode(language);
    try {
        const TranscriptionEngine engine = settings->transcriptionEngine();
        if (engine == TranscriptionEngine::Deepgram) {
            const QString model = settings->deepgramModel();
            const QString code = deepgramCode(language);
            const KeyStore *keys = trip->data.keys;
            const std::optional<QString> key = keys ? keys->key(APIService::Deepgram) : std::nullopt;
            QCoro::Task<QString> cloud = Deepgram::transcribe(wav, model, code, words, key);
            QString heard = co_await std::move(cloud);
            co_return Heard{heard, {}};
        }
        const QString name = promptName(language);
        const CloudFirst::Plan plan{QStringLiteral("transcription"), QStringLiteral("Gemini"), CloudFirst::Local::Speech,
                                    engine == TranscriptionEngine::Local};
        QCoro::Task<QString> heard = CloudFirst::run<QString>(
            plan, access, [access, wav, name, words] { return GeminiSpeech::transcribe(access, wav, name, words); },
            [wav, locale, words] { return LocalSpeech::transcribe(wav, locale, words); });
        QString text = co_await std::move(heard);
        co_return Heard{text, {}};
    } catch (const std::exception &error) {
        co_return Heard{std::nullopt, describe(error)};
    }
}

// A rewritten text, and what the capsule says instead of the word count when
// the basic clean-up stood in for the chosen local model.
struct Rewritten
{
    QString text;
    QString note;
};

// The rewrite road; falls back to the basic clean-up when no model or the
// translation fails.
QCoro::Task<Rewritten> rewrite(const Trip *trip, QString corrected, QString tone)
{
    const AppSettings *settings = trip->data.settings;
    Store *store = trip->data.store;
    const OmbryAI::Access access = trip->data.access();
    const QString language = promptName(settings->language());
    const QStringList words = store->words();
    std::optional<QString> failure;
    bool localDown = false;
    QString finalText;
    const QString system = OpenRouter::instructions(language, words, settings->punctuation(), tone);
    try {
        const QString model = settings->openRouterModel();
        const CloudFirst::Plan plan{QStringLiteral("reformulation"), QStringLiteral("OpenRouter"), CloudFirst::Local::Text,
                                    settings->rewriteEngine() == RewriteEngine::Local};
        QCoro::Task<QString> asked = CloudFirst::run<QString>(
            plan, access,
            [access, system, corrected, model] { return OpenRouter::complete(access, system, corrected, model); },
            [system, corrected] { return LocalRewrite::run(system, corrected); });
        QString answer = co_await std::move(asked);
        const QString rewritten = Road::checkedRewrite(corrected, std::move(answer), QStringLiteral("Reformulation"));
        finalText = Corrector::finish(store->applyCorrections(rewritten), CorrectionScope(12));
        if (trip->request.translate) {
            const QString target = settings->translateTarget();
            QCoro::Task<QString> translation =
                Translator::translate(access, finalText, target, false, TextSettings::of(*settings));
            finalText = co_await std::move(translation);
        }
    } catch (const CloudFirst::Failure &error) {
        failure = error.description();
        localDown = settings->rewriteEngine() == RewriteEngine::Local
                    && error.cause() == CloudFirst::Failure::Cause::Unreachable;
    } catch (const std::exception &error) {
        failure = describe(error);
    }
    if (failure) {
        if (trip->current())
            trip->host->setLastError(*failure);
        Log::write(QStringLiteral("reformulation: ") + *failure);
        co_return Rewritten{OpenRouter::basicCleanup(corrected),
                            localDown ? *failure + QStringLiteral(" : texte nettoyé simplement") : QString()};
    }
    co_return Rewritten{finalText, {}};
}

QString correctionAppName(const std::optional<RunningApp> &app)
{
    return appName(app, QStringLiteral("Inconnue"));
}

} // namespace

QCoro::Task<> ProcessingRoad::run(RoadHost *host, DictationData data, Request request, RoadDesktop desktop)
{
    if (request.id.isNull())
        request.id = QUuid::createUuid();
    Trip trip{host, data, std::move(request), std::move(desktop), {}};
    trip.clock.start();
    const Request &req = trip.request;
    const AppSettings *settings = data.settings;
    Store *store = data.store;
    const OmbryAI::Access access = data.access();

    // Transcript.
    QString transcript;
    std::optional<QString> chunkText;
    if (req.pre) {
        transcript = req.pre->raw;
        if (!req.pre->clean.isEmpty())
            chunkText = req.pre->clean;
    } else {
        QCoro::Task<Heard> transcription = transcribe(&trip);
        const Heard heard = co_await std::move(transcription);
        if (!heard.text) {
            trip.failKeeping(heard.failure);
            trip.end();
            co_return;
        }
        transcript = *heard.text;
    }
    Log::write(QStringLiteral("transcription: ") + QString::number(TextUtil::characterCount(transcript))
               + QStringLiteral(" caractères en ") + seconds(trip.clock) + QStringLiteral(" s"));
    // Silence is no speech to keep.
    if (TextUtil::trimmedSpaces(transcript).isEmpty()) {
        trip.fail(QStringLiteral("Transcription vide"));
        trip.end();
        co_return;
    }

    // Voice command over the selection captured at the start.
    if (req.commandText) {
        QString result;
        std::optional<QString> failure;
        try {
            const QString selection = *req.commandText;
            QCoro::Task<QString> command = VoiceCommand::apply(access, transcript, selection);
            result = co_await std::move(command);
        } catch (const std::exception &error) {
            failure = describe(error);
        }
        // Kept, the spoken instruction would later become dictated text.
        if (failure) {
            trip.fail(*failure);
            trip.end();
            co_return;
        }
        if (trip.current())
            host->clearCommandText();
        CorrectionRecord record;
        record.date = QDateTime::currentDateTimeUtc();
        record.appName = correctionAppName(req.app);
        record.bundleID = req.app ? req.app->bundleId : std::nullopt;
        record.action = QStringLiteral("Commande : ") + transcript;
        record.original = *req.commandText;
        record.result = result;
        store->addFix(record);
        co_await trip.reactivate();
        QCoro::Task<Accessibility::FocusRead> asking = trip.focus();
        // A paste into text that takes none goes nowhere: nothing is reported as applied.
        if ((co_await std::move(asking)).editable == std::optional<bool>(false)) {
            Log::write(QStringLiteral("commande non appliquée: champ non modifiable, résultat dans l'historique des corrections"));
            trip.fail(QStringLiteral("Champ non modifiable : le résultat est dans l'historique"));
            trip.end();
            co_return;
        }
        QCoro::Task<PasteOutcome> pasting = trip.paste(result);
        const PasteOutcome pasted = co_await std::move(pasting);
        if (!pasted.posted) {
            trip.end();
            co_return;
        }
        // The journal promises no dictated text: the command's length only.
        Log::write(QStringLiteral("commande appliquée: ") + QString::number(TextUtil::characterCount(transcript))
                   + QStringLiteral(" caractères"));
        trip.showPasted(pasted, QStringLiteral("Commande appliquée"));
        trip.end();
        co_return;
    }

    // Voice snippet (a kept recording only gets its text).
    if (const std::optional<Snippet> snippet = req.kept ? std::nullopt : store->snippet(transcript)) {
        co_await trip.reactivate();
        QCoro::Task<PasteOutcome> pasting = trip.paste(snippet->text);
        const PasteOutcome pasted = co_await std::move(pasting);
        if (!pasted.posted) {
            trip.end();
            co_return;
        }
        // As for commands: the trigger's length, never what was said.
        Log::write(QStringLiteral("raccourci vocal: ") + QString::number(TextUtil::characterCount(snippet->trigger))
                   + QStringLiteral(" caractères"));
        trip.showPasted(pasted, QStringLiteral("Raccourci « ") + snippet->trigger + QStringLiteral(" »"));
        trip.end();
        co_return;
    }

    // The final text.
    const QString tone = Tone::hint(settings->adaptTone(), req.app ? req.app->bundleId : std::nullopt);
    OpenRouter::setToneHint(tone);
    const QString corrected = store->applyCorrections(transcript);
    const bool isShort = TextUtil::wordCount(corrected) < 4 || settings->rewriteEngine() == RewriteEngine::None;
    QString finalText;
    QString note;
    if (chunkText) {
        finalText = Corrector::finish(store->applyCorrections(*chunkText), CorrectionScope(12));
        if (req.translate) {
            std::optional<QString> failure;
            try {
                const QString target = settings->translateTarget();
                QCoro::Task<QString> translation =
                    Translator::translate(access, finalText, target, false, TextSettings::of(*settings));
                finalText = co_await std::move(translation);
            } catch (const std::exception &error) {
                failure = describe(error);
            }
            if (failure) {
                trip.failKeeping(*failure);
                trip.end();
                co_return;
            }
        }
    } else if (!req.translate && isShort) {
        finalText = OpenRouter::basicCleanup(corrected);
    } else if (!req.translate && tone.isEmpty() && settings->transcriptionEngine() == TranscriptionEngine::Gemini
               && OpenRouter::alreadyClean(corrected)) {
        QString clean = OpenRouter::basicCleanup(corrected);
        if (settings->punctuation() == PunctuationLevel::Light)
            clean = Road::lightPunctuation(clean);
        finalText = Corrector::finish(clean, CorrectionScope(12));
        Log::write(QStringLiteral("reformulation évitée : transcription déjà propre"));
    } else {
        QCoro::Task<Rewritten> rewriting = rewrite(&trip, corrected, tone);
        const Rewritten rewritten = co_await std::move(rewriting);
        finalText = rewritten.text;
        note = rewritten.note;
    }

    if (req.kept) {
        // By id and recording both: a history with two records of one id gives the
        // text to the record whose recording it is.
        const QList<Dictation> &history = store->dictations();
        const auto it = std::find_if(history.cbegin(), history.cend(), [&](const Dictation &d) {
            return d.id == req.id && d.audioFile == req.audioFile;
        });
        if (it == history.cend()) {
            trip.fail(QStringLiteral("Cette dictée n'est plus dans l'historique"));
        } else {
            Dictation entry = *it;
            entry.finalText = finalText;
            entry.rawText = transcript;
            store->updateDictation(entry, it - history.cbegin());
            Log::write(QStringLiteral("dictée gardée transcrite: ") + QString::number(TextUtil::characterCount(finalText))
                       + QStringLiteral(" caractères en ") + seconds(trip.clock) + QStringLiteral(" s"));
        }
        trip.end();
        co_return;
    }

    // The record before anything is pasted; its recording is written on the
    // store's thread once the paste is on its way (or the road has failed).
    const QString fileName = Road::recordingName(req.id);
    const auto saveRecording = [&] { store->saveRecording(fileName, req.wav); };
    Dictation dictation;
    dictation.id = req.id;
    dictation.date = req.startedAt;
    dictation.appName = correctionAppName(req.app);
    dictation.bundleID = req.app ? req.app->bundleId : std::nullopt;
    dictation.finalText = finalText;
    dictation.rawText = transcript;
    dictation.duration = req.duration;
    dictation.audioFile = fileName;
    store->add(dictation);

    co_await trip.reactivate();
    if (!trip.desktop.trusted || !trip.desktop.trusted()) {
        trip.fail(QStringLiteral("Accessibilité non autorisée"));
        saveRecording();
        trip.end();
        co_return;
    }
    const QString cleaned = Hallucination::clean(finalText);
    if (TextUtil::trimmed(cleaned).isEmpty() || Road::isHesitation(cleaned)) {
        trip.fail(QStringLiteral("Je n'ai rien entendu, parle un peu plus près du micro"));
        saveRecording();
        trip.end();
        co_return;
    }
    QCoro::Task<Accessibility::FocusRead> asking = trip.focus();
    const Accessibility::FocusRead target = co_await std::move(asking);
    if (target.editable == std::optional<bool>(false)) {
        Log::write(QStringLiteral("non collé: champ non modifiable dans ") + appName(req.app, QStringLiteral("?"))
                   + QStringLiteral(", ") + QString::number(TextUtil::characterCount(cleaned))
                   + QStringLiteral(" caractères gardés dans l'historique"));
        trip.fail(Road::notEditable());
        saveRecording();
        trip.end();
        co_return;
    }
    const QString text = Road::separated(cleaned, target.beforeCaret);
    QCoro::Task<PasteOutcome> pasting = trip.paste(text);
    const PasteOutcome pasted = co_await std::move(pasting);
    saveRecording();
    if (!pasted.posted) {
        trip.end();
        co_return;
    }
    Log::write(QStringLiteral("collé: ") + QString::number(TextUtil::characterCount(text))
               + QStringLiteral(" caractères dans ") + appName(req.app, QStringLiteral("?")) + QStringLiteral(", ")
               + seconds(trip.clock) + QStringLiteral(" s après la touche"));
    trip.showPasted(pasted, note.isEmpty() ? QString::number(TextUtil::wordCount(text)) + QStringLiteral(" mots") : note);
    trip.end();
}

QCoro::Task<> ProcessingRoad::transcribeKept(RoadHost *host, DictationData data, Dictation entry)
{
    // Only a recording file of the store's own: a link planted in the audio
    // folder is never read, let alone sent to a service.
    QByteArray wav = data.store->readRecording(entry, Road::kLongestKeptRecording).value_or(QByteArray());
    if (wav.size() <= 44) {
        host->fail(QStringLiteral("L'enregistrement de cette dictée n'existe plus"));
        host->finish();
        co_return;
    }
    Request request;
    request.id = entry.id;
    request.audioFile = entry.audioFile;
    request.wav = std::move(wav);
    request.duration = entry.duration;
    request.startedAt = entry.date;
    request.kept = true;
    RoadDesktop none; // nothing is pasted
    QCoro::Task<> road = run(host, data, std::move(request), std::move(none));
    co_await std::move(road);
}
