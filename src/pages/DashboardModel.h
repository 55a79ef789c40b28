#pragma once

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QQmlParserStatus>
#include <QTimeZone>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

Q_MOC_INCLUDE("model/AppSettings.h")
Q_MOC_INCLUDE("model/Store.h")

class AppSettings;
class Store;

// The dashboard's figures, computed from the store and the typing speed and given to
// the page as ready texts (fr_FR). Computed again whenever a source changes, and on
// refresh() (the page calls it when it is shown: the day may have turned). Made in
// QML, it is given the store and the settings, then starts.
class DashboardModel : public QObject, public QQmlParserStatus
{
    Q_OBJECT
    Q_INTERFACES(QQmlParserStatus)
    QML_ELEMENT

    Q_PROPERTY(Store *store READ store WRITE setStore FINAL)
    Q_PROPERTY(AppSettings *settings READ settings WRITE setSettings FINAL)

    Q_PROPERTY(QString headerDate READ headerDate NOTIFY changed)
    Q_PROPERTY(QString todayWordsText READ todayWordsText NOTIFY changed)
    Q_PROPERTY(QString streakValue READ streakValue NOTIFY changed)
    Q_PROPERTY(QString streakLabel READ streakLabel NOTIFY changed)
    Q_PROPERTY(QString fixesValue READ fixesValue NOTIFY changed)
    Q_PROPERTY(QString fixesLabel READ fixesLabel NOTIFY changed)
    Q_PROPERTY(QString spentText READ spentText NOTIFY changed)
    Q_PROPERTY(QString totalWordsText READ totalWordsText NOTIFY changed)
    Q_PROPERTY(QString dictationsText READ dictationsText NOTIFY changed)
    Q_PROPERTY(QString todayText READ todayText NOTIFY changed)
    Q_PROPERTY(QString deltaText READ deltaText NOTIFY changed)
    Q_PROPERTY(QString speedText READ speedText NOTIFY changed)
    Q_PROPERTY(QString savedText READ savedText NOTIFY changed)
    // The figures behind the big numbers, which count from one value to the next.
    Q_PROPERTY(double todayWordsCount READ todayWordsCount NOTIFY changed)
    Q_PROPERTY(double totalWords READ totalWords NOTIFY changed)
    Q_PROPERTY(double speed READ speed NOTIFY changed)
    Q_PROPERTY(double savedMinutes READ savedMinutes NOTIFY changed)
    // 14 maps {label, words, fraction (of the chart's top), showLabel}, the oldest day first.
    Q_PROPERTY(QVariantList chart READ chart NOTIFY changed)
    // Axis marks {value, label, fraction}, from 0 up; the last is the chart's top.
    Q_PROPERTY(QVariantList ticks READ ticks NOTIFY changed)
    Q_PROPERTY(double chartTop READ chartTop NOTIFY changed)
    // Up to 6 maps {name, bundleID, share, percent}.
    Q_PROPERTY(QVariantList apps READ apps NOTIFY changed)
    // Up to 4 maps {id, time, appName, bundleID, text, words, last}.
    Q_PROPERTY(QVariantList recent READ recent NOTIFY changed)

public:
    explicit DashboardModel(QObject *parent = nullptr);
    DashboardModel(Store *store, AppSettings *settings, QObject *parent = nullptr);
    ~DashboardModel() override;

    Store *store() const;
    AppSettings *settings() const;
    // Once, before the view completes.
    void setStore(Store *store);
    void setSettings(AppSettings *settings);

    void classBegin() override {}
    void componentComplete() override;

    // Tests pin the clock and the zone; by default: now, the system zone.
    void setNow(const QDateTime &now);
    void setTimeZone(const QTimeZone &zone);

    Q_INVOKABLE void refresh();

    QString headerDate() const { return headerDate_; }
    qint64 todayWords() const { return todayWords_; }
    QString todayWordsText() const { return todayWordsText_; }
    QString streakValue() const { return streakValue_; }
    QString streakLabel() const { return streakLabel_; }
    QString fixesValue() const { return fixesValue_; }
    QString fixesLabel() const { return fixesLabel_; }
    QString spentText() const { return spentText_; }
    QString totalWordsText() const { return totalWordsText_; }
    QString dictationsText() const { return dictationsText_; }
    QString todayText() const { return todayText_; }
    QString deltaText() const { return deltaText_; }
    QString speedText() const { return speedText_; }
    QString savedText() const { return savedText_; }
    double todayWordsCount() const { return double(todayWords_); }
    double totalWords() const { return double(totalWords_); }
    double speed() const { return double(speed_); }
    double savedMinutes() const { return double(savedMinutes_); }
    QVariantList chart() const { return chart_; }
    QVariantList ticks() const { return ticks_; }
    double chartTop() const { return chartTop_; }
    QVariantList apps() const { return apps_; }
    QVariantList recent() const { return recent_; }

Q_SIGNALS:
    void changed();

private:
    void start();
    QDateTime now() const;
    void followRows();
    void reloadWords();

    // Words of each dictation, in store order: the application shares would otherwise
    // count every text again at each refresh.
    QList<qint64> words_;

    QPointer<Store> store_;
    QPointer<AppSettings> settings_;
    bool started_ = false;
    QDateTime fixedNow_;
    QTimeZone zone_ = QTimeZone::systemTimeZone();

    QString headerDate_;
    qint64 todayWords_ = 0;
    qint64 totalWords_ = 0;
    qint64 speed_ = 0;
    qint64 savedMinutes_ = 0;
    QString todayWordsText_, streakValue_, streakLabel_, fixesValue_, fixesLabel_, spentText_;
    QString totalWordsText_, dictationsText_, todayText_, deltaText_, speedText_, savedText_;
    QVariantList chart_, ticks_, apps_, recent_;
    double chartTop_ = 1;
};
