#pragma once

#include "model/Records.h"

#include <QDate>
#include <QHash>
#include <QObject>
#include <QRegularExpression>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>
#include <optional>
#include <vector>

class StoreIo;

// Words dictated on one calendar day.
struct DayWords
{
    Q_GADGET
    Q_PROPERTY(QDate day MEMBER day)
    Q_PROPERTY(qint64 words MEMBER words)
public:
    QDate day;
    qint64 words = 0;
    bool operator==(const DayWords &o) const { return day == o.day && words == o.words; }
};

// One application's share of the dictated words.
struct AppShare
{
    Q_GADGET
    Q_PROPERTY(QString name MEMBER name)
    Q_PROPERTY(QString bundleID READ bundleIDText)
    Q_PROPERTY(double share MEMBER share)
public:
    QString name;
    std::optional<QString> bundleID;
    double share = 0;
    QString bundleIDText() const { return bundleID.value_or(QString()); }
};

// The user's data: seven collections, each mirrored to one JSON array file of the
// data folder, and the "Audio" folder of recordings.
//
// Owned by the main thread: read, assign and call it there. Every change schedules
// its file's save 0.4 s later on the store's own thread ("ombry.store.io"); a newer
// change of the same file replaces the waiting save. The save encodes a copy of the
// list taken when it was scheduled and replaces the file atomically.
//
// A file that exists but cannot be read or decoded loads as an empty collection and
// is first renamed "<file>.illisible-<UTC time>" (logged), so no later save destroys it.
//
// Recordings: write them with writeRecording() or saveRecording() (or into
// audioFolder(), which exists again after an erase); the dictation that names one
// may be added before it is written.
class Store final : public QObject
{
    Q_OBJECT

    Q_PROPERTY(QList<Dictation> dictations READ dictations WRITE setDictations NOTIFY dictationsChanged)
    Q_PROPERTY(QStringList words READ words WRITE setWords NOTIFY wordsChanged)
    Q_PROPERTY(QList<Correction> corrections READ corrections WRITE setCorrections NOTIFY correctionsChanged)
    Q_PROPERTY(QList<CorrectionRecord> fixes READ fixes WRITE setFixes NOTIFY fixesChanged)
    Q_PROPERTY(QList<Snippet> snippets READ snippets WRITE setSnippets NOTIFY snippetsChanged)
    Q_PROPERTY(QList<CostEntry> costs READ costs WRITE setCosts NOTIFY costsChanged)
    Q_PROPERTY(QList<Meeting> meetings READ meetings WRITE setMeetings NOTIFY meetingsChanged)
    Q_PROPERTY(qint64 totalWords READ totalWords NOTIFY totalWordsChanged)
    Q_PROPERTY(double totalDuration READ totalDuration NOTIFY totalDurationChanged)
    Q_PROPERTY(qint64 averageWPM READ averageWPM NOTIFY statisticsChanged)
    Q_PROPERTY(double spentThisMonth READ spentThisMonth NOTIFY costsChanged)
    // Why something of the user's could not be written and waits in memory: "Impossible
    // d'enregistrer : dossier en lecture seule" or "… : disque plein"; empty when all is
    // on disk.
    Q_PROPERTY(QString writeProblem READ writeProblem NOTIFY writeProblemChanged)

public:
    // The collections, named in the row signals below.
    enum class Collection { History, Words, Corrections, Fixes, Snippets, Costs, Meetings };
    Q_ENUM(Collection)

    // A store on `folder` (its recordings in folder/Audio); loads the seven files.
    // The program's store is on folder().
    explicit Store(const QString &folder, QObject *parent = nullptr);
    // Writes what is still scheduled, then stops the store's thread.
    ~Store() override;

    // $XDG_DATA_HOME/Ombry Voice, created (after the former folder is moved into
    // place) on the first call of the run.
    static QString folder();
    // folder()/Audio; created again whenever it is missing (after an erase).
    static QString audioFolder();

    // This store's folders (the shared store: the two above).
    QString dataFolder() const { return folder_; }
    QString audioDir() const; // created when missing

    // Writes one recording atomically into the audio folder (created when missing).
    // `name` is a plain file name ("<UUID>.wav"). False when it could not be written.
    bool writeRecording(const QString &name, const QByteArray &wav);
    // The same on the store's thread, behind the writes already scheduled; returns at
    // once (a name that writeRecording() refuses is dropped here). A write that fails
    // is kept in memory and tried again, like a collection's save; flush() waits for
    // it. recordingWritten() tells when it is on disk.
    void saveRecording(const QString &name, const QByteArray &wav);
    // Whether the recording `name` is a file of the audio folder (see
    // PrivateFiles::isOwned: a link there does not count).
    bool hasRecording(const QString &name) const;
    // The bytes of a dictation's recording, when it is such a file of at most
    // `maxBytes` bytes.
    std::optional<QByteArray> readRecording(const Dictation &dictation, qint64 maxBytes) const;

    // --- collections (assigning notifies when the list differs, and always saves)
    const QList<Dictation> &dictations() const { return dictations_; }
    void setDictations(const QList<Dictation> &list);
    const QStringList &words() const { return words_; }
    void setWords(const QStringList &list);
    const QList<Correction> &corrections() const { return corrections_; }
    void setCorrections(const QList<Correction> &list);
    const QList<CorrectionRecord> &fixes() const { return fixes_; }
    void setFixes(const QList<CorrectionRecord> &list);
    const QList<Snippet> &snippets() const { return snippets_; }
    void setSnippets(const QList<Snippet> &list);
    const QList<CostEntry> &costs() const { return costs_; }
    void setCosts(const QList<CostEntry> &list);
    const QList<Meeting> &meetings() const { return meetings_; }
    void setMeetings(const QList<Meeting> &list);

    // --- operations
    // Inserts at the front of the history (the recording is already written).
    void add(const Dictation &dictation);
    // Inserts at the front of the corrector history.
    void addFix(const CorrectionRecord &record);
    // Appends a spending record dated now.
    void addCost(double amount);

    // --- one record at a time (the views' edits). Each schedules its file's save like an
    // assignment, emits the row signal and then the collection's property signal.
    // An update finds the record by its id (at `row` first, when that row holds it); it
    // is false when no record has the id, and changes nothing when the record is equal.
    // A removal by id removes every record with that id; false when there was none.
    bool updateDictation(const Dictation &dictation, qsizetype row = -1);
    // Also deletes the recording when no remaining dictation names it.
    bool removeDictation(const QUuid &id);
    bool updateFix(const CorrectionRecord &record, qsizetype row = -1);
    bool removeFix(const QUuid &id);
    // Appends the word trimmed of spaces and tabs; false when that is empty or already
    // listed (case-sensitive).
    bool addWord(const QString &word);
    // Removes every entry equal to the word; the number removed.
    qsizetype removeWord(const QString &word);
    void addSnippet(const Snippet &snippet); // at the end
    bool updateSnippet(const Snippet &snippet, qsizetype row = -1);
    bool removeSnippet(const QUuid &id);
    void addCorrection(const Correction &correction); // at the end
    bool updateCorrection(const Correction &correction, qsizetype row = -1);
    bool removeCorrection(const QUuid &id);
    void addMeeting(const Meeting &meeting); // at the front
    bool updateMeeting(const Meeting &meeting, qsizetype row = -1);
    bool removeMeeting(const QUuid &id);

    // Replaces whole-word, case-insensitive matches of each correction's heard text
    // by its written text, literally, in list order.
    Q_INVOKABLE QString applyCorrections(const QString &text) const;
    // The first snippet whose trigger matches the text (case, accents, punctuation
    // and outer spaces ignored); a trigger that normalises to nothing never matches.
    std::optional<Snippet> snippet(const QString &matching) const;
    // The normal form used on both sides of the snippet comparison.
    static QString snippetKey(const QString &text);

    // The recording of a dictation, when it still exists.
    QUrl audioURL(const Dictation &dictation) const;

    // Writes every scheduled save now; blocks until each was tried. Called at quit.
    Q_INVOKABLE void flush();

    // See the property; "" when every write went through.
    QString writeProblem() const { return writeProblem_; }
    // Whether the file `key` ("history.json", "Audio/<name>") has no write waiting,
    // running or failed: what was last given to it is on disk.
    bool isSettled(const QString &key) const;
    // What could not be written yet ("history.json", "Audio/<name>.wav"), as the store's
    // thread knows it now (any thread).
    QStringList unsaved() const;
    // The text of a write failure's errno.
    static QString problemText(int error);
    // What quitting now would lose, as the store's thread knows it (a flush first
    // tries once more): the problem and how many files; "" when all is on disk.
    QString unsavedWarning();
    // Deletes the recordings of dictations older than 30 days.
    Q_INVOKABLE void pruneAudio();
    // Empties the corrector and dictation histories and deletes the recordings.
    Q_INVOKABLE void clearHistory();
    // Empties every collection and the key store in memory and removes every file the
    // program writes in the data folder (recordings under way included), on the store's
    // thread behind any write already running; returns once they are removed.
    Q_INVOKABLE void eraseEverything();
    // How many times the data were erased in this run: work begun before an erase
    // compares it and does not save into the emptied store.
    quint64 erasures() const { return erasures_; }
    // Whether `fileName` is a recording written while it is made (a meeting's or a
    // dictation's spool file in the data folder).
    static bool isSpoolName(const QString &fileName);

    // Collections whose file could not be read this run: the name it was set aside
    // under (empty when it could not be moved), for the pages to say so.
    QString setAsideName(Collection collection) const;
    bool wasSetAside(Collection collection) const;

    // --- statistics (local calendar and time zone)
    qint64 totalWords() const { return totalWords_; }
    double totalDuration() const { return totalDuration_; }
    Q_INVOKABLE qint64 wordsOn(QDate day) const;
    qint64 averageWPM() const;
    Q_INVOKABLE double minutesSaved(qint64 typingWPM) const;
    // The last n days, oldest first, today last.
    QList<DayWords> lastDays(qint64 n) const;
    // Dictations that have their text (a kept recording counts once transcribed).
    qint64 transcribedCount() const { return transcribedCount_; }
    // Share of the dictated words per application name, largest first.
    QList<AppShare> appShares() const;
    double spentThisMonth() const;

    // Blocks until the store's thread has nothing due and nothing running; for tests
    // and benchmarks (saves still waiting out their delay stay scheduled).
    void waitForIo();

Q_SIGNALS:
    void dictationsChanged();
    void wordsChanged();
    void correctionsChanged();
    void fixesChanged();
    void snippetsChanged();
    void costsChanged();
    void meetingsChanged();
    void totalWordsChanged();
    void totalDurationChanged();
    void statisticsChanged();
    // One row of a collection was inserted, changed or removed; emitted right after that
    // row changed (several removals: one signal each, last row first). The derived values
    // (statistics, look-ups) are current again from the property's signal on.
    void itemInserted(Store::Collection collection, int row);
    void itemChanged(Store::Collection collection, int row);
    void itemRemoved(Store::Collection collection, int row);
    // A collection was replaced as a whole (assignment, clearing, erasing).
    void collectionReset(Store::Collection collection);
    // A file of the data folder was written (emitted on the main thread afterwards).
    void fileWritten(const QString &fileName);
    // Everything was erased (eraseEverything()).
    void erased();
    // A recording saved with saveRecording() is on disk.
    void recordingWritten(const QString &name);
    void writeProblemChanged();
    // A save failed for the first time (not a retry): what the user is to be told.
    void writeFailed(const QString &problem);

private:
    template<typename List>
    void save(const List &list, const QString &fileName);
    template<typename T>
    QList<T> load(const QString &fileName);
    void setAside(const QString &fileName, const QString &why);
    void saveCollection(Collection collection);
    // On the main thread after a keyed write: the journal and writeProblem.
    void noteWrite(const QString &key, int error, bool firstFailure);
    void itemsChanged(Collection collection);
    // Deletes recordings of the audio folder on the store's thread.
    void deleteRecordings(const QStringList &files);
    template<typename T>
    bool updateItem(QList<T> &list, Collection collection, const T &item, qsizetype row);
    template<typename T>
    QList<T> removeItems(QList<T> &list, Collection collection, const QUuid &id);
    void rebuildStats();
    void rebuildCorrectionCache();
    void rebuildSnippetCache();

    QString folder_;
    std::unique_ptr<StoreIo> io_;

    QList<Dictation> dictations_;
    qint64 totalWords_ = 0;
    double totalDuration_ = 0;
    qint64 transcribedCount_ = 0;
    quint64 erasures_ = 0;
    QString writeProblem_;
    QHash<QString, QString> setAside_; // by file name: the name it was moved to
    QHash<QDate, qint64> wordsByDay_;
    QStringList words_;
    QList<Correction> corrections_;
    QList<CorrectionRecord> fixes_;
    QList<Snippet> snippets_;
    QList<CostEntry> costs_;
    QList<Meeting> meetings_;

    // Files that failed to load and could not be set aside: never overwritten this run.
    QSet<QString> held_;

    struct CompiledCorrection
    {
        QRegularExpression expression;
        QString written;
    };
    std::vector<CompiledCorrection> compiled_;
    std::vector<QString> snippetKeys_; // per snippet; empty = never matches
};
