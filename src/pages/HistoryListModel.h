#pragma once

#include "model/Store.h"
#include "pages/HistoryFilter.h"

#include <QAbstractListModel>
#include <QPointer>
#include <QQmlParserStatus>
#include <QSet>
#include <QTimeZone>
#include <QtQml/qqmlregistration.h>

#include <functional>
#include <memory>

Q_MOC_INCLUDE("model/AppSettings.h")
Q_MOC_INCLUDE("model/KeyStore.h")
Q_MOC_INCLUDE("pages/RecordingPlayer.h")

class AppSettings;
class KeyStore;
class RecordingPlayer;

// The history page's list: the dictations or the correction records that pass the
// search, range and application filters, newest first (equal dates in store order),
// one row per entry with its day's title as the section.
//
// It follows the store's row signals and every filter change by inserting and
// removing rows, never by a reset, so the view keeps its place and the search field
// its focus. Unfolded entries are remembered by id.
class HistoryListModel : public QAbstractListModel
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Given by the history page")

    // 0: dictations, 1: correction records.
    Q_PROPERTY(int kind READ kind WRITE setKind NOTIFY kindChanged)
    Q_PROPERTY(QString search READ search WRITE setSearch NOTIFY searchChanged)
    // "today", "week" or "all".
    Q_PROPERTY(QString range READ range WRITE setRange NOTIFY rangeChanged)
    // An application name; empty for every application.
    Q_PROPERTY(QString app READ app WRITE setApp NOTIFY appChanged)
    Q_PROPERTY(QStringList appNames READ appNames NOTIFY appNamesChanged)
    // The application menu: "Toutes les applis", then the names (with the chosen one,
    // even when no entry of the list bears it); and the chosen entry.
    Q_PROPERTY(QStringList appChoices READ appChoices NOTIFY appNamesChanged)
    Q_PROPERTY(int appIndex READ appIndex WRITE setAppIndex NOTIFY appChanged)
    Q_PROPERTY(bool canClear READ canClear NOTIFY canClearChanged)
    Q_PROPERTY(int count READ count NOTIFY countChanged)
    // Said on the page when the shown collection's file could not be read at start.
    Q_PROPERTY(QString unreadableNotice READ unreadableNotice NOTIFY unreadableNoticeChanged)

public:
    enum Role {
        IdRole = Qt::UserRole + 1,
        KindRole,
        DayTitleRole,
        TimeRole,
        AppNameRole,
        BundleIdRole,
        TextRole,
        SecondTextRole,
        WordsRole,
        SpeedRole,
        ActionRole,
        FixCountRole,
        HasAudioRole,
        ExpandedRole,
        UntranscribedRole, // a kept recording without its text yet
        TranscribingRole,  // its transcription is under way
        ProblemRole,       // why its last transcription failed
    };

    // The settings and the keys serve the transcription of kept recordings.
    HistoryListModel(Store *store, RecordingPlayer *player, AppSettings *settings, KeyStore *keys,
                     QObject *parent = nullptr);
    ~HistoryListModel() override;

    // Tests pin the clock and the zone; by default: now, the system zone. setNow() also
    // applies the filters again; a clock given alone is read at the next change.
    void setNow(const QDateTime &now);
    void setClock(std::function<QDateTime()> clock);
    void setTimeZone(const QTimeZone &zone);

    int kind() const { return kind_; }
    void setKind(int kind);
    QString search() const { return search_; }
    void setSearch(const QString &search);
    QString range() const;
    void setRange(const QString &range);
    QString app() const { return app_; }
    void setApp(const QString &app);
    QStringList appNames() const { return appNames_; }
    QStringList appChoices() const;
    int appIndex() const;
    void setAppIndex(int index);
    bool canClear() const;
    int count() const { return int(rows_.size()); }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    // The row of the entry with this id, or -1.
    Q_INVOKABLE int indexOf(const QString &id) const;
    Q_INVOKABLE QVariant get(int row, const QString &role) const;
    Q_INVOKABLE void setExpanded(int row, bool expanded);
    // Puts the row's main text on the clipboard.
    Q_INVOKABLE void copy(int row);
    // Plays the row's recording when it still exists; false otherwise.
    Q_INVOKABLE bool replay(int row);
    // Runs the processing road on the row's kept recording: the entry gets its
    // text, nothing is pasted.
    Q_INVOKABLE void transcribe(int row);
    Q_INVOKABLE void dismissUnreadableNotice();
    QString unreadableNotice() const;
    // Erases both histories and the dictations' recordings; every application shows again.
    Q_INVOKABLE void clearAll();
    // Titles, ranges and filters again from now (the day may have turned).
    Q_INVOKABLE void refresh();

Q_SIGNALS:
    void kindChanged();
    void searchChanged();
    void rangeChanged();
    void appChanged();
    void appNamesChanged();
    void canClearChanged();
    void countChanged();
    void unreadableNoticeChanged();

private:
    struct Item
    {
        QUuid id;
        qint64 ms = 0; // the date, for ordering
        QDateTime date;
        QString appName;
        QString key1, key2; // search keys of the main and the second text
        // One of the two; a record made by default would draw a fresh UUID each time.
        std::optional<Dictation> dictation;
        std::optional<CorrectionRecord> record;
        bool wanted = false; // kept by the filters at the last walk
    };
    using ItemPtr = std::shared_ptr<Item>;

    static ItemPtr makeItem(const Dictation &d);
    static ItemPtr makeItem(const CorrectionRecord &r);
    ItemPtr itemAt(Store::Collection collection, int row) const;
    QList<ItemPtr> &mirror(Store::Collection collection);
    void loadMirror(Store::Collection collection);
    Store::Collection shown() const;

    QDateTime now() const;
    bool passes(const Item &item) const;
    // Whether a comes before b in the list (newer first, then store order).
    bool before(const Item *a, const Item *b) const;
    qsizetype positionFor(const ItemPtr &item) const;
    qsizetype rowOf(const Item *item) const;
    // Applies the filters again, inserting and removing the rows that differ.
    void rebuild();
    void insertRow(const ItemPtr &item);
    void removeRowOf(const Item *item);
    void updateAppNames();
    void updateCanClear();
    QStringList appMenu() const;

    void onInserted(Store::Collection collection, int row);
    void onChanged(Store::Collection collection, int row);
    void onRemoved(Store::Collection collection, int row);
    void onReset(Store::Collection collection);

    QPointer<Store> store_;
    QPointer<RecordingPlayer> player_;
    QPointer<AppSettings> settings_;
    QPointer<KeyStore> keys_;
    std::function<QDateTime()> clock_;
    QTimeZone zone_ = QTimeZone::systemTimeZone();
    QDateTime filterNow_; // the moment the range was last applied
    QDate today_;

    int kind_ = 0;
    QString search_;
    QString searchKey_;
    HistoryFilter::Range range_ = HistoryFilter::Range::All;
    QString app_;
    QStringList appNames_;
    bool canClear_ = false;

    QList<ItemPtr> dictations_; // store order
    QList<ItemPtr> fixes_;      // store order
    QList<ItemPtr> rows_;
    QList<ItemPtr> order_; // the shown collection in list order, unfiltered
    bool orderValid_ = false;
    QSet<QUuid> expanded_;
    QSet<QUuid> transcribing_;
    QHash<QUuid, QString> problems_;
    QSet<Store::Collection> noticeDismissed_;
    class TranscribeHost;
    void transcribed(const QUuid &id, const std::optional<QString> &problem);
};

// Holds the history page's list for QML, which cannot name a model type. Made in
// QML, it is given the store, the player, the settings and the keys; the list is
// there once it starts.
class HistorySource : public QObject, public QQmlParserStatus
{
    Q_OBJECT
    Q_INTERFACES(QQmlParserStatus)
    QML_ELEMENT
    Q_PROPERTY(Store *store READ store WRITE setStore FINAL)
    Q_PROPERTY(RecordingPlayer *player READ player WRITE setPlayer FINAL)
    Q_PROPERTY(AppSettings *settings READ settings WRITE setSettings FINAL)
    Q_PROPERTY(KeyStore *keys READ keys WRITE setKeys FINAL)
    Q_PROPERTY(QObject *list READ list NOTIFY listChanged)

public:
    explicit HistorySource(QObject *parent = nullptr);

    Store *store() const;
    RecordingPlayer *player() const;
    AppSettings *settings() const;
    KeyStore *keys() const;
    // Once, before the view completes.
    void setStore(Store *store);
    void setPlayer(RecordingPlayer *player);
    void setSettings(AppSettings *settings);
    void setKeys(KeyStore *keys);

    void classBegin() override {}
    void componentComplete() override;

    QObject *list() const { return list_; }

Q_SIGNALS:
    void listChanged();

private:
    QPointer<Store> store_;
    QPointer<RecordingPlayer> player_;
    QPointer<AppSettings> settings_;
    QPointer<KeyStore> keys_;
    bool started_ = false;
    HistoryListModel *list_ = nullptr;
};
