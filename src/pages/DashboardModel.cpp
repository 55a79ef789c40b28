#include "pages/DashboardModel.h"

#include "core/SetOnce.h"
#include "model/AppSettings.h"
#include "model/Store.h"
#include "model/TextUtil.h"
#include "pages/DashboardFigures.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace F = DashboardFigures;

DashboardModel::DashboardModel(QObject *parent) : QObject(parent) {}

DashboardModel::DashboardModel(Store *store, AppSettings *settings, QObject *parent)
    : QObject(parent)
    , store_(store)
    , settings_(settings)
{
    start();
    refresh();
}

DashboardModel::~DashboardModel() = default;

Store *DashboardModel::store() const
{
    return store_;
}

AppSettings *DashboardModel::settings() const
{
    return settings_;
}

// Computed once both services have come, so that the view lays its first rows
// out with them; without one of them, when the view completes.
void DashboardModel::setStore(Store *store)
{
    if (setOnce(store_, store, started_) && settings_)
        refresh();
}

void DashboardModel::setSettings(AppSettings *settings)
{
    if (setOnce(settings_, settings, started_) && store_)
        refresh();
}

void DashboardModel::componentComplete()
{
    const bool computed = store_ && settings_;
    start();
    if (!computed)
        refresh();
}

void DashboardModel::start()
{
    if (started_)
        return;
    started_ = true;
    followRows();
    if (store_) {
        connect(store_, &Store::dictationsChanged, this, &DashboardModel::refresh);
        connect(store_, &Store::fixesChanged, this, &DashboardModel::refresh);
        connect(store_, &Store::costsChanged, this, &DashboardModel::refresh);
    }
    if (settings_)
        connect(settings_, &AppSettings::typingWPMChanged, this, &DashboardModel::refresh);
}

void DashboardModel::reloadWords()
{
    words_.clear();
    if (!store_)
        return;
    words_.reserve(store_->dictations().size());
    for (const Dictation &dictation : store_->dictations())
        words_.append(TextUtil::wordCount(dictation.finalText));
}

void DashboardModel::followRows()
{
    if (!store_)
        return;
    const auto count = [this](int row) { return qint64(TextUtil::wordCount(store_->dictations().at(row).finalText)); };
    const auto reload = [this] { reloadWords(); };
    reload();
    using C = Store::Collection;
    connect(store_, &Store::itemInserted, this, [this, count, reload](C c, int row) {
        if (c != C::History)
            return;
        if (row < 0 || row > words_.size() || store_->dictations().size() != words_.size() + 1)
            return reload();
        words_.insert(row, count(row));
    });
    connect(store_, &Store::itemChanged, this, [this, count, reload](C c, int row) {
        if (c != C::History)
            return;
        if (row < 0 || row >= words_.size() || store_->dictations().size() != words_.size())
            return reload();
        words_[row] = count(row);
    });
    connect(store_, &Store::itemRemoved, this, [this, reload](C c, int row) {
        if (c != C::History)
            return;
        if (row < 0 || row >= words_.size() || store_->dictations().size() != words_.size() - 1)
            return reload();
        words_.removeAt(row);
    });
    connect(store_, &Store::collectionReset, this, [reload](C c) {
        if (c == C::History)
            reload();
    });
}

void DashboardModel::setNow(const QDateTime &now)
{
    fixedNow_ = now;
    refresh();
}

void DashboardModel::setTimeZone(const QTimeZone &zone)
{
    zone_ = zone;
    refresh();
}

QDateTime DashboardModel::now() const
{
    return (fixedNow_.isValid() ? fixedNow_ : QDateTime::currentDateTimeUtc()).toTimeZone(zone_);
}

void DashboardModel::refresh()
{
    const QDateTime nowHere = now();
    const QDate today = nowHere.date();
    Store *store = store_;
    const F::WordsOn wordsOn = [store](QDate day) { return store ? store->wordsOn(day) : 0; };

    headerDate_ = F::headerDate(today);
    todayWords_ = wordsOn(today);
    todayWordsText_ = F::wordsText(todayWords_);
    const qint64 streak = F::streak(today, wordsOn);
    streakValue_ = QString::number(streak);
    streakLabel_ = F::streakLabel(streak);
    const qint64 fixes = store ? F::fixCount(store->fixes()) : 0;
    fixesValue_ = F::grouped(fixes);
    fixesLabel_ = F::fixesLabel(fixes);

    double spent = 0;
    if (store)
        for (const CostEntry &c : store->costs()) {
            const QDate day = c.date.toTimeZone(zone_).date();
            if (day.year() == today.year() && day.month() == today.month())
                spent += c.amount;
        }
    spentText_ = F::spentText(spent);

    totalWords_ = store ? store->totalWords() : 0;
    totalWordsText_ = F::grouped(totalWords_);
    dictationsText_ = F::dictationsText(store ? store->transcribedCount() : 0);
    todayText_ = F::grouped(todayWords_);
    deltaText_ = F::deltaText(wordsOn(today.addDays(-1)), todayWords_).value_or(QString());
    speed_ = store ? store->averageWPM() : 0;
    speedText_ = QString::number(speed_);
    savedMinutes_ = F::roundHalfAway(store && settings_ ? store->minutesSaved(settings_->typingWPM()) : 0);
    savedText_ = F::savedText(double(savedMinutes_));

    QList<qint64> perDay;
    for (int k = -13; k <= 0; ++k)
        perDay.append(wordsOn(today.addDays(k)));
    const QList<qint64> marks = F::niceTicks(*std::max_element(perDay.cbegin(), perDay.cend()));
    chartTop_ = double(marks.last());
    chart_.clear();
    for (int k = -13; k <= 0; ++k) {
        const qint64 words = perDay.at(k + 13);
        // A label on every second day, starting from the oldest.
        chart_.append(QVariantMap{{u"label"_s, F::axisLabel(today.addDays(k))},
                                  {u"words"_s, words},
                                  {u"fraction"_s, double(words) / chartTop_},
                                  {u"showLabel"_s, (k + 13) % 2 == 0}});
    }
    ticks_.clear();
    for (const qint64 v : marks)
        ticks_.append(QVariantMap{{u"value"_s, v}, {u"label"_s, F::grouped(v)}, {u"fraction"_s, double(v) / chartTop_}});

    apps_.clear();
    if (store) {
        if (words_.size() != store->dictations().size())
            reloadWords(); // a change the row signals did not tell
        const QList<F::Share> shares = F::appShares(store->dictations(), words_, store->totalWords());
        for (qsizetype i = 0; i < shares.size() && i < 6; ++i)
            apps_.append(QVariantMap{{u"name"_s, shares[i].name},
                                     {u"bundleID"_s, shares[i].bundleID},
                                     {u"share"_s, shares[i].share},
                                     {u"percent"_s, F::shareText(shares[i].share)}});
    }

    recent_.clear();
    if (store) {
        // Only dictations with a text, as the counts above take them.
        QList<Dictation> list;
        for (const Dictation &entry : store->dictations()) {
            if (list.size() == 4)
                break;
            if (Records::hasText(entry))
                list.append(entry);
        }
        for (qsizetype i = 0; i < list.size(); ++i) {
            const Dictation &entry = list.at(i);
            recent_.append(QVariantMap{{u"id"_s, uuidText(entry.id)},
                                       {u"time"_s, F::timeText(entry.date, zone_)},
                                       {u"appName"_s, entry.appName},
                                       {u"bundleID"_s, entry.bundleIDText()},
                                       {u"text"_s, entry.finalText},
                                       {u"words"_s, F::plainWordsText(TextUtil::wordCount(entry.finalText))},
                                       {u"last"_s, i == list.size() - 1}});
        }
    }
    Q_EMIT changed();
}
