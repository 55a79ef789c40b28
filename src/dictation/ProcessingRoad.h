#pragma once

#include "dictation/Chunker.h"
#include "dictation/DictationData.h"
#include "dictation/Paster.h"
#include "model/Records.h"
#include "model/SettingsTypes.h"
#include "platform/Accessibility.h"
#include "platform/FrontmostApp.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QUuid>
#include <qcoro/qcorotask.h>

#include <exception>
#include <functional>
#include <optional>

namespace Road {

// Thrown by work that noticed its dictation was cancelled.
struct Cancelled : std::exception
{
    const char *what() const noexcept override { return "annulé"; }
};

// The light punctuation pass of a transcript that needs no rewrite: no
// semicolons, no commas, except a decimal comma between two digits.
QString lightPunctuation(const QString &text);

// Whether `text` is nothing but a hesitation word ("euh", "heu", "hum", "bah",
// "ben") once lower-cased and trimmed of punctuation, spaces and tabs.
bool isHesitation(const QString &text);

// What the user is told when the paste key could not be posted.
QString pasteFailed();
// What the user is told when the focused element is known not to take text.
QString notEditable();
// What the user is told when no keys reach the window in front: the text waits
// on the clipboard.
QString leftOnClipboard();

// A dictated text after `before`, the character before the caret: one space
// when it starts with a letter and follows a letter, digit or closing mark, so
// that it is not glued to the word before. Unknown, the text as it is.
QString separated(const QString &text, const std::optional<QString> &before);

// A rewrite gives back the words it was given, cleaned: one three times as
// long as the transcript (and 200 characters more) is the model running on, not
// a clean-up, and is not taken. Throws TooLongError for `service` then.
QString checkedRewrite(const QString &transcript, QString rewritten, const QString &service);

// The largest recording read back for a transcription: 100 minutes of PCM.
inline constexpr qint64 kLongestKeptRecording = 44 + qint64(100) * 60 * 32000;

// The file name of a dictation's recording in the audio folder: "<UUID>.wav".
QString recordingName(const QUuid &id);

// The history entry of a recording kept without its text ("Dictée non
// transcrite"): its recording named after `id`, no text yet.
Dictation keptEntry(const QUuid &id, const QDateTime &date, const std::optional<RunningApp> &app, double duration);

// Keeps a dictation that could not be transcribed, so that no spoken word is
// lost: its recording written on the store's thread under the entry's file name,
// the entry added to `store`'s history (unless one has its id), and a log line
// naming the file and `cause`. Main thread.
void keepRecording(Store *store, const Dictation &entry, const QByteArray &wav, const QString &cause);

} // namespace Road

// What one road needs of the controller. Every call that changes what the user
// sees is guarded by `owns`: a road that the watchdog gave up on, or that a newer
// dictation replaced, still saves and pastes but leaves the controller alone.
class RoadHost
{
public:
    virtual ~RoadHost() = default;
    // True while `serial` is the newest road and the state is still processing.
    virtual bool owns(quint64 serial) const = 0;
    virtual void fail(const QString &message) = 0;
    virtual void show(const QString &message) = 0;
    virtual void setLastError(const QString &message) = 0;
    virtual void clearCommandText() = 0;
    // State idle, then command text none.
    virtual void finish() = 0;
};


// The desktop side of delivering a text; tests and benchmarks replace it.
struct RoadDesktop
{
    std::function<bool()> trusted;
    std::function<void(const RunningApp &)> activate;
    // Not posted when the paste key could not be, or left on the clipboard
    // when no keys reach the window in front.
    std::function<QCoro::Task<PasteOutcome>(QString text, bool restore)> paste;
    // The focused element as AT-SPI tells it (whether it takes text, the
    // character before the caret). Left unset, nothing is known.
    std::function<QCoro::Task<Accessibility::FocusRead>()> focus;
    // Pastes through `paster`.
    static RoadDesktop system(Paster *paster);
};

// From a finished recording to a pasted text and a saved record.
class ProcessingRoad
{
public:
    // Everything of one dictation, captured when the recording was handed over.
    struct Request
    {
        quint64 serial = 0;
        // The dictation's id, which also names its recording; a new one when null.
        QUuid id;
        QByteArray wav;
        double duration = 0;
        std::optional<RunningApp> app;
        std::optional<ChunkText> pre;
        std::optional<QString> commandText;
        // The focused element as read while the recording was made; asked of
        // the desktop at paste time when none.
        std::optional<Accessibility::FocusRead> focus;
        bool translate = false;
        QDateTime startedAt;
        // The recording of this history entry, kept earlier without its text: the
        // road gives the entry its text and pastes nothing.
        bool kept = false;
        // That entry's recording: with the id, what finds the entry again.
        std::optional<QString> audioFile;
    };

    // Runs the whole road on `data`; never throws. `host` must outlive it.
    static QCoro::Task<> run(RoadHost *host, DictationData data, Request request, RoadDesktop desktop);

    // The road again on the kept recording of `entry`, without pasting: the entry
    // gets its text. Failures go to `host` (its fail()); `host` must outlive it.
    static QCoro::Task<> transcribeKept(RoadHost *host, DictationData data, Dictation entry);
};
