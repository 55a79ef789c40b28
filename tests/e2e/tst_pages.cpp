#include "app/Application.h"
#include "shell/Navigation.h"
#include "model/AppSettings.h"
#include "model/Store.h"
#include "pages/DashboardFigures.h"
#include "pages/HistoryListModel.h"
#include "pages/RecordingPlayer.h"
#include "support/AtspiReader.h"
#include "support/Screenshots.h"
#include "support/TestEnv.h"

#include <QApplication>
#include <QDir>
#include <QPointer>
#include <QProcess>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QtEndian>
#include <QTimeZone>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

const QString kTitle = u"Ombry Voice — pages"_s;
const QString kGroup = QString(QChar(0x202F));

QString words(int n)
{
    QStringList list;
    for (int i = 0; i < n; ++i)
        list << u"mot"_s;
    return list.join(u' ');
}

QDate parisToday()
{
    return QDateTime::currentDateTimeUtc().toTimeZone(QTimeZone("Europe/Paris")).date();
}

QDateTime paris(QDate day, QTime time)
{
    return QDateTime(day, time, QTimeZone("Europe/Paris")).toUTC();
}

Dictation dictation(const QDateTime &date, const QString &app, const QString &text, double duration)
{
    Dictation d;
    d.date = date;
    d.appName = app;
    d.finalText = text;
    d.rawText = u"euh "_s + text;
    d.duration = duration;
    return d;
}

CorrectionRecord record(const QString &action, const QString &result, int fixes)
{
    CorrectionRecord r;
    r.date = QDateTime::currentDateTimeUtc().addSecs(-120);
    r.appName = u"Kate"_s;
    r.action = action;
    r.original = u"avant"_s;
    r.result = result;
    r.fixes.resize(fixes);
    return r;
}

// One second of a 440 Hz tone, 16 kHz mono 16-bit.
QByteArray toneWav()
{
    QByteArray pcm(32000, 0);
    for (int i = 0; i < 16000; ++i)
        qToLittleEndian(qint16(8000 * std::sin(2 * M_PI * 440 * i / 16000.0)), pcm.data() + 2 * i);
    QByteArray head(44, 0);
    char *h = head.data();
    memcpy(h, "RIFF", 4);
    qToLittleEndian(quint32(36 + pcm.size()), h + 4);
    memcpy(h + 8, "WAVEfmt ", 8);
    qToLittleEndian(quint32(16), h + 16);
    qToLittleEndian(quint16(1), h + 20);
    qToLittleEndian(quint16(1), h + 22);
    qToLittleEndian(quint32(16000), h + 24);
    qToLittleEndian(quint32(32000), h + 28);
    qToLittleEndian(quint16(2), h + 32);
    qToLittleEndian(quint16(16), h + 34);
    memcpy(h + 36, "data", 4);
    qToLittleEndian(quint32(pcm.size()), h + 40);
    return head + pcm;
}

int sinkInputs()
{
    QProcess p;
    p.start(u"pactl"_s, {u"list"_s, u"short"_s, u"sink-inputs"_s});
    if (!p.waitForFinished(5000))
        return -1;
    return int(QString::fromUtf8(p.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts).size());
}

} // namespace

// The dashboard and the history read as a screen reader reads them, over a seeded store.
class TestPages : public QObject
{
    Q_OBJECT

    std::unique_ptr<Application> root_;
    std::unique_ptr<QQuickWindow> window_;
    QObject *page_ = nullptr;
    QString folder_;

    void seed()
    {
        Store *store = root_->store();
        const QDateTime now = QDateTime::currentDateTimeUtc();
        const QDate today = now.toTimeZone(QTimeZone("Europe/Paris")).date();
        const QDateTime morning = paris(today, QTime(0, 0, 2));
        store->setDictations({
            dictation(morning.addSecs(1), u"Firefox"_s, words(1000), 300),
            dictation(morning, u"Zoom"_s, words(250), 60),
            dictation(paris(today.addDays(-1), QTime(12, 0)), u"Firefox"_s, words(1000), 240),
            dictation(paris(today.addDays(-2), QTime(12, 0)), u"Zoom"_s, words(500), 100),
            dictation(paris(today.addDays(-4), QTime(12, 0)), u"Terminal"_s, words(250), 60),
        });
        store->setFixes({record(u"Corriger"_s, u"cinq fautes"_s, 5), record(u"Traduire en anglais"_s, u"hello"_s, 0),
                         record(u"Concis"_s, u"court"_s, 0)});
        const QDate firstOfMonth(today.year(), today.month(), 1);
        store->setCosts({CostEntry{now.addSecs(-5), 1.2}, CostEntry{now.addSecs(-4), 2.256},
                         CostEntry{paris(firstOfMonth.addDays(-1), QTime(12, 0)), 10}});
        store->setWords({u"Ombry"_s});
    }

    void show(const QString &file)
    {
        delete page_;
        QQmlComponent component(root_->engine(), QUrl(u"qrc:/Ombry/"_s + file));
        page_ = component.create();
        QVERIFY2(page_, qPrintable(component.errorString()));
        auto *item = qobject_cast<QQuickItem *>(page_);
        item->setParentItem(window_->contentItem());
        item->setPosition(QPointF(24, 24));
        item->setSize(QSizeF(window_->width() - 48, window_->height() - 48));
        QVERIFY(TestEnv::waitFor([&] { return AtspiReader(kTitle).texts().size() > 3; }, 10000));
    }

    // The history tests add an older day and a recording to the dashboard's store.
    void historySeed()
    {
        Store *store = root_->store();
        if (store->dictations().size() != 5)
            return;
        store->add(dictation(paris(QDate(2025, 3, 1), QTime(10, 0)), u"Kate"_s, u"un été à la mer, sept mots"_s, 3.5));
        Dictation d = store->dictations().at(1); // today's newest
        d.audioFile = u"tone.wav"_s;
        QVERIFY(store->writeRecording(u"tone.wav"_s, toneWav()));
        QVERIFY(store->updateDictation(d));
    }

    // Scrolls the list to the first row that shows `text`, as a reader would scroll to it.
    void bringIntoView(const QString &text)
    {
        auto *list = page_->findChild<QQuickItem *>(u"historyList"_s);
        for (int i = 0; list && i < history()->count(); ++i)
            for (const QString &role : {u"dayTitle"_s, u"words"_s, u"speed"_s, u"fixCount"_s})
                if (history()->get(i, role).toString() == text) {
                    QMetaObject::invokeMethod(list, "positionViewAtIndex", Q_ARG(int, i), Q_ARG(int, 1));
                    return;
                }
    }

    HistoryListModel *history() const { return page_->findChild<HistoryListModel *>(); }

    // Lets the window draw the scene as it is now, twice over.
    void drawn()
    {
        int frames = 0;
        // A frame with nothing new may be the last one asked for: ask for the next.
        const auto c = connect(window_.get(), &QQuickWindow::frameSwapped, this, [&] {
            if (++frames < 2)
                window_->update();
        });
        window_->update();
        QVERIFY(TestEnv::waitFor([&] { return frames >= 2; }, 10000));
        disconnect(c);
    }

    // The history row whose card shows at the top of the list, and its index.
    QQuickItem *topRow(QQuickItem *list, int *index)
    {
        const qreal top = list->property("contentY").toReal();
        for (qreal dy = 0; dy < list->height(); dy += 2) {
            int i = -1;
            QMetaObject::invokeMethod(list, "indexAt", Q_RETURN_ARG(int, i), Q_ARG(qreal, list->width() / 2),
                                      Q_ARG(qreal, top + dy));
            if (i < 0)
                continue;
            QQuickItem *row = nullptr;
            QMetaObject::invokeMethod(list, "itemAtIndex", Q_RETURN_ARG(QQuickItem *, row), Q_ARG(int, i));
            *index = i;
            return row;
        }
        return nullptr;
    }

    // The page over the window colour of the current appearance, as the main window shows it.
    QImage shoot()
    {
        const bool dark = root_->settings()->theme() == Ombry::Theme::Dark;
        window_->setColor(dark ? QColor(0x1C, 0x1C, 0x1E) : QColor(0xF5, 0xF5, 0xF7));
        drawn();
        return Screenshots::scene(window_.get());
    }

    QStringList read() const { return AtspiReader(kTitle).texts(); }

    // Clicks the middle of the node that a screen reader finds, as the user would.
    bool click(const QString &role, const QString &name)
    {
        const std::optional<AtspiReader::Node> node = AtspiReader(kTitle).find(role, name);
        if (!node || node->extents.isEmpty() || !node->states.contains(u"enabled"_s))
            return false;
        QTest::mouseClick(window_.get(), Qt::LeftButton, {}, window_->mapFromGlobal(node->extents.center()));
        return true;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "run under scripts/session");
        root_ = std::make_unique<Application>();
        folder_ = Store::folder();
        seed();
        root_->settings()->setTypingWPM(40);
        window_ = std::make_unique<QQuickWindow>();
        window_->setTitle(kTitle);
        window_->resize(1180, 1000);
        window_->setColor(Qt::transparent);
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    }

    void cleanupTestCase()
    {
        delete page_;
        window_.reset();
        root_.reset();
    }

    void dashboard_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("shown");
        QTest::newRow("title") << u"Tableau de bord"_s << true;
        QTest::newRow("date") << DashboardFigures::headerDate(parisToday()) << true;
        QTest::newRow("today's words") << QString(u"1"_s + kGroup + u"250 mots"_s) << true;
        QTest::newRow("streak") << u"3 jours de suite"_s << true;
        QTest::newRow("corrections") << u"7 fautes corrigées"_s << true;
        QTest::newRow("spending") << u"3,46 $ API ce mois"_s << true;
        QTest::newRow("total words") << QString(u"3"_s + kGroup + u"000"_s) << true;
        QTest::newRow("dictations") << u"5 dictées"_s << true;
        QTest::newRow("delta") << u"+25 % par rapport à hier"_s << true;
        QTest::newRow("speed") << u"237"_s << true;
        QTest::newRow("saved") << u"1 h 02 min"_s << true;
        QTest::newRow("share 67") << u"67 %"_s << true;
        QTest::newRow("share 25") << u"25 %"_s << true;
        QTest::newRow("share 8") << u"8 %"_s << true;
        QTest::newRow("chart") << u"Mots dictés par jour"_s << true;
        QTest::newRow("apps") << u"Où je dicte"_s << true;
        QTest::newRow("recent") << u"Mes dernières dictées"_s << true;
        QTest::newRow("see all") << u"Tout voir"_s << true;
    }

    void dashboard()
    {
        QFETCH(QString, text);
        QFETCH(bool, shown);
        // One reading of the page serves every row.
        static QStringList texts;
        if (texts.isEmpty()) {
            show(u"DashboardPage.qml"_s);
            texts = read();
        }
        QVERIFY2(texts.contains(text) == shown, qPrintable(texts.join(u" | "_s)));
    }

    void dashboardRecentRows()
    {
        show(u"DashboardPage.qml"_s);
        const QStringList texts = read();
        QCOMPARE(texts.count(u"1000 mots"_s), 2);
        QCOMPARE(texts.count(u"250 mots"_s), 1);
        QCOMPARE(texts.count(u"500 mots"_s), 1);
    }

    void dashboardScreenshots()
    {
        show(u"DashboardPage.qml"_s);
        const QStringList saved = Screenshots::inBothThemes(u"dashboard"_s, [&] { return shoot(); });
        QCOMPARE(saved.size(), 2);
    }

    void seeAllOpensTheHistory()
    {
        show(u"DashboardPage.qml"_s);
        TestEnv::own<Navigation>()->setPage(Navigation::Page::Dashboard);
        QVERIFY(click(u"push button"_s, u"Tout voir"_s));
        QVERIFY(TestEnv::waitFor([] { return TestEnv::own<Navigation>()->page() == Navigation::Page::History; }));
    }

    void historyDays_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("today") << u"Aujourd'hui"_s;
        QTest::newRow("yesterday") << u"Hier"_s;
        QTest::newRow("older day") << u"Samedi 1 Mars 2025"_s;
        QTest::newRow("words") << u"7 mots"_s;
        QTest::newRow("speed") << u"120 mots/min"_s;
        QTest::newRow("copy") << u"Copier"_s;
        QTest::newRow("replay") << u"Rejouer"_s;
        QTest::newRow("fold") << u"Transcription brute"_s;
        QTest::newRow("search") << u"Rechercher"_s;
        QTest::newRow("clear") << u"Tout effacer"_s;
    }

    void historyDays()
    {
        QFETCH(QString, text);
        historySeed();
        // The oldest day is found by a search, as the user would look it up; the other
        // rows share one opening of the page, the search rows another.
        const bool oldest = text == u"Samedi 1 Mars 2025"_s || text == u"7 mots"_s || text == u"120 mots/min"_s;
        static QPointer<QObject> opened;
        static bool searched = false;
        if (!opened || opened != page_ || searched != oldest) {
            show(u"HistoryPage.qml"_s);
            opened = page_;
            searched = oldest;
            if (oldest) {
                QObject *field = page_->findChild<QObject *>(u"search"_s);
                QVERIFY(field);
                field->setProperty("text", u"sept mots"_s);
                QVERIFY(TestEnv::waitFor([&] { return history()->count() == 1; }));
            }
        }
        bringIntoView(text);
        QVERIFY(TestEnv::waitFor([&] { return read().contains(text); }, 8000));
    }

    void search_data()
    {
        QTest::addColumn<QString>("search");
        QTest::addColumn<bool>("found");
        QTest::newRow("capitals") << u"ÉTÉ"_s << true;
        QTest::newRow("no accents") << u"ete"_s << false;
    }

    void search()
    {
        historySeed();
        QFETCH(QString, search);
        QFETCH(bool, found);
        show(u"HistoryPage.qml"_s);
        QObject *field = page_->findChild<QObject *>(u"search"_s);
        QVERIFY(field);
        field->setProperty("text", search);
        QVERIFY(TestEnv::waitFor([&] { return read().contains(u"un été à la mer, sept mots"_s) == found; }));
        QCOMPARE(history()->count(), found ? 1 : 0);
    }

    void filters_data()
    {
        QTest::addColumn<QString>("segment");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("rows");
        QTest::newRow("today") << u"Aujourd'hui"_s << u"Firefox"_s << 2;
        QTest::newRow("week") << u"7 jours"_s << u"Hier"_s << 5;
        QTest::newRow("corrections") << u"Corrections"_s << u"5 corrections"_s << 3;
    }

    void filters()
    {
        historySeed();
        QFETCH(QString, segment);
        QFETCH(QString, expected);
        QFETCH(int, rows);
        show(u"HistoryPage.qml"_s);
        QVERIFY(click(u"push button"_s, segment));
        QVERIFY(TestEnv::waitFor([&] { return history()->count() == rows; }));
        bringIntoView(expected);
        QVERIFY(TestEnv::waitFor([&] { return read().contains(expected); }));
    }

    // The application menu lists the names in code-point order and filters by the one chosen.
    void appFilter()
    {
        historySeed();
        show(u"HistoryPage.qml"_s);
        QVERIFY(click(u"combo box"_s, u"Application"_s));
        auto *picker = page_->findChild<QQuickItem *>(u"appPicker"_s);
        QVERIFY(picker);
        QVERIFY(TestEnv::waitFor([&] { return picker->property("popup").value<QObject *>()->property("opened").toBool(); }));
        QStringList entries;
        TestEnv::waitFor([&] {
            entries.clear();
            for (const AtspiReader::Node &n : AtspiReader(kTitle).nodes())
                if (n.showing() && n.role == u"list item"_s)
                    entries << n.name;
            return entries.size() >= 5;
        });
        QCOMPARE(entries, (QStringList{u"Toutes les applis"_s, u"Firefox"_s, u"Kate"_s, u"Terminal"_s, u"Zoom"_s}));
        QVERIFY(TestEnv::waitFor([&] { return click(u"list item"_s, u"Zoom"_s); }));
        QVERIFY(TestEnv::waitFor([&] { return !read().contains(u"Firefox"_s); }));
        QCOMPARE(history()->count(), 2);
        QCOMPARE(history()->app(), u"Zoom"_s);
    }

    void replayMakesOneStream()
    {
        historySeed();
        show(u"HistoryPage.qml"_s);
        const int before = sinkInputs();
        QVERIFY(before >= 0);
        QVERIFY(click(u"push button"_s, u"Rejouer"_s));
        QVERIFY(TestEnv::waitFor([&] { return sinkInputs() == before + 1; }));
        // A second press cuts the first off: still one stream.
        QVERIFY(click(u"push button"_s, u"Rejouer"_s));
        QTest::qWait(300);
        QCOMPARE(sinkInputs(), before + 1);
    }

    void historyScreenshots()
    {
        historySeed();
        show(u"HistoryPage.qml"_s);
        const QStringList saved = Screenshots::inBothThemes(u"history"_s, [&] { return shoot(); });
        QCOMPARE(saved.size(), 2);
    }

    // A day's title stands 10 px above its first card, as the cards stand apart.
    void historyDayTitleSpacing()
    {
        historySeed();
        show(u"HistoryPage.qml"_s);
        auto *list = page_->findChild<QQuickItem *>(u"historyList"_s);
        QVERIFY(list);
        QMetaObject::invokeMethod(list, "positionViewAtBeginning");
        drawn();
        QQuickItem *first = nullptr;
        QMetaObject::invokeMethod(list, "itemAtIndex", Q_RETURN_ARG(QQuickItem *, first), Q_ARG(int, 0));
        QVERIFY(first);
        const QString day = history()->get(0, u"dayTitle"_s).toString();
        QQuickItem *title = nullptr;
        for (QQuickItem *item : list->findChildren<QQuickItem *>())
            if (item->property("section").toString() == day && item->isVisible())
                title = item;
        QVERIFY(title);
        // Where the title's text ends, its padding left out.
        const qreal textBottom = title->property("topPadding").toReal() + title->property("contentHeight").toReal();
        const qreal titleBottom = title->mapToScene(QPointF(0, textBottom)).y();
        QCOMPARE(first->mapToScene(QPointF(0, 0)).y() - titleBottom, 10.0);
    }

    // A dictation made while the history is open shows under "Aujourd'hui"; when the
    // list is scrolled it goes in above what is on screen, which stays where it was.
    void liveInsertion_data()
    {
        QTest::addColumn<bool>("scrolled");
        QTest::newRow("scrolled") << true;
        QTest::newRow("at the top") << false;
    }

    void liveInsertion()
    {
        QFETCH(bool, scrolled);
        historySeed();
        show(u"HistoryPage.qml"_s);
        auto *list = page_->findChild<QQuickItem *>(u"historyList"_s);
        QVERIFY(list);
        if (scrolled) {
            QMetaObject::invokeMethod(list, "positionViewAtIndex", Q_ARG(int, 2), Q_ARG(int, 1 /* Beginning */));
            list->setProperty("contentY", list->property("contentY").toReal() + 20);
        } else {
            QMetaObject::invokeMethod(list, "positionViewAtBeginning");
        }
        drawn();
        QCOMPARE(list->property("atYBeginning").toBool(), !scrolled);
        int index = -1;
        QQuickItem *row = topRow(list, &index);
        QVERIFY(row);
        const QString text = history()->get(index, u"text"_s).toString();
        const QPointF place = row->mapToScene(QPointF(0, 0));
        auto *header = qobject_cast<QQuickItem *>(list->property("headerItem").value<QObject *>());
        QVERIFY(header);
        const QPointF headerPlace = header->mapToScene(QPointF(0, 0));

        const int count = history()->count();
        const QString fresh = u"toute nouvelle dictée "_s + QTest::currentDataTag();
        root_->store()->add(dictation(QDateTime::currentDateTimeUtc(), u"Kate"_s, fresh, 2));
        QCOMPARE(history()->count(), count + 1);
        QCOMPARE(history()->get(0, u"text"_s).toString(), fresh);
        QCOMPARE(history()->get(0, u"dayTitle"_s).toString(), u"Aujourd'hui"_s);
        drawn();

        if (scrolled) {
            // The card that was on top is one row further down the list, where it was on screen.
            QQuickItem *still = nullptr;
            QMetaObject::invokeMethod(list, "itemAtIndex", Q_RETURN_ARG(QQuickItem *, still), Q_ARG(int, index + 1));
            QCOMPARE(history()->get(index + 1, u"text"_s).toString(), text);
            QCOMPARE(still, row);
            QCOMPARE(still->mapToScene(QPointF(0, 0)), place);
            int now = -1;
            QCOMPARE(topRow(list, &now), row);
        } else {
            // The title stays on top and the new card comes under "Aujourd'hui".
            QCOMPARE(header->mapToScene(QPointF(0, 0)), headerPlace);
            const std::optional<AtspiReader::Node> node = AtspiReader(kTitle).find(QString(), fresh);
            QVERIFY(node.has_value());
            QVERIFY(node->extents.intersects(QRect(window_->position(), window_->size())));
        }
    }

    // A figure that changes counts from the old value to the new one and ends on the
    // exact fr_FR text.
    void dashboardCountsUp()
    {
        show(u"DashboardPage.qml"_s);
        auto *hero = page_->findChild<QQuickItem *>(u"heroWords"_s);
        QVERIFY(hero);
        const QString before = hero->property("text").toString();
        const qint64 today = root_->store()->wordsOn(QDate::currentDate());
        root_->store()->add(dictation(QDateTime::currentDateTimeUtc(), u"Kate"_s, words(500), 60));
        const QString after = DashboardFigures::wordsText(today + 500);
        // The count starts where the figure was.
        QCOMPARE(hero->property("text").toString(), before);
        QVERIFY(TestEnv::waitFor([&] { return hero->property("text").toString() == after; }));
        QVERIFY(TestEnv::waitFor([&] { return read().contains(after); }));
    }

    void clearAsksFirst()
    {
        historySeed();
        show(u"HistoryPage.qml"_s);
        const QString history = folder_ + u"/history.json"_s;
        const QString audio = folder_ + u"/Audio/tone.wav"_s;
        // A file in the audio folder that no dictation names is not the history's.
        const QString other = folder_ + u"/Audio/autre.wav"_s;
        QVERIFY(TestEnv::writeFile(other, toneWav()));
        QVERIFY(QFile::exists(audio));
        const qsizetype dictations = root_->store()->dictations().size();
        const qsizetype records = root_->store()->fixes().size();
        QVERIFY(click(u"push button"_s, u"Tout effacer"_s));
        QVERIFY(AtspiReader(kTitle).find(u"dialog"_s, u"Tout effacer ?"_s).has_value());
        QTest::keyClick(window_.get(), Qt::Key_Escape);
        QVERIFY(TestEnv::waitFor([&] { return !AtspiReader(kTitle).find(u"dialog"_s, u"Tout effacer ?"_s, 200); }));
        QCOMPARE(root_->store()->dictations().size(), dictations);
        QCOMPARE(root_->store()->fixes().size(), records);
        QVERIFY(QFile::exists(audio));

        QVERIFY(click(u"push button"_s, u"Tout effacer"_s));
        const std::optional<AtspiReader::Node> dialog = AtspiReader(kTitle).find(u"dialog"_s, u"Tout effacer ?"_s);
        QVERIFY(dialog.has_value());
        // The page's button and the dialog's: the one inside the dialog confirms.
        std::optional<AtspiReader::Node> confirm;
        int named = 0;
        for (const AtspiReader::Node &b : AtspiReader(kTitle).all(u"push button"_s)) {
            if (b.name != u"Tout effacer"_s)
                continue;
            ++named;
            if (dialog->extents.contains(b.extents.center()))
                confirm = b;
        }
        QCOMPARE(named, 2);
        QVERIFY(confirm.has_value());
        QTest::mouseClick(window_.get(), Qt::LeftButton, {}, window_->mapFromGlobal(confirm->extents.center()));
        QVERIFY(TestEnv::waitFor([&] { return root_->store()->dictations().isEmpty(); }));
        QVERIFY(root_->store()->fixes().isEmpty());
        QVERIFY(TestEnv::waitFor([&] { return !AtspiReader(kTitle).find(u"dialog"_s, u"Tout effacer ?"_s, 200); }));
        root_->store()->flush();
        QCOMPARE(TestEnv::readFile(history).trimmed(), QByteArray("[]"));
        QCOMPARE(TestEnv::readFile(folder_ + u"/fixes.json"_s).trimmed(), QByteArray("[]"));
        QVERIFY(!QFile::exists(audio));
        QVERIFY(QFile::exists(other));
        QVERIFY(TestEnv::readFile(folder_ + u"/words.json"_s).contains("Ombry"));
        QVERIFY(TestEnv::readFile(folder_ + u"/costs.json"_s).contains("2.256"));
        // Nothing left to erase: the button is off.
        // Nothing left to erase: the button is off, and pressing it asks nothing (Qt 6.4
        // does not tell the accessibility bus that a Quick control is disabled).
        QVERIFY(TestEnv::waitFor([&] { return !page_->findChild<QObject *>(u"clearAll"_s)->property("enabled").toBool(); }));
        QVERIFY(click(u"push button"_s, u"Tout effacer"_s));
        QTest::qWait(300);
        QVERIFY(!AtspiReader(kTitle).find(u"dialog"_s, u"Tout effacer ?"_s, 0).has_value());
    }

    void emptyDashboard_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("shown");
        QTest::newRow("title") << u"Tableau de bord"_s << true;
        QTest::newRow("date") << DashboardFigures::headerDate(parisToday()) << true;
        QTest::newRow("no words") << u"0 mot"_s << true;
        QTest::newRow("no streak") << u"0 jour de suite"_s << true;
        QTest::newRow("no corrections") << u"0 faute corrigée"_s << true;
        QTest::newRow("no spending") << u"0,00 $ API ce mois"_s << true;
        QTest::newRow("no dictations") << u"0 dictées"_s << true;
        QTest::newRow("speed unit") << u"mots par minute"_s << true;
        QTest::newRow("no delta") << u"par rapport à hier"_s << false;
        QTest::newRow("no time") << u"0 h 00 min"_s << true;
        QTest::newRow("chart") << u"Mots dictés par jour"_s << true;
        QTest::newRow("apps") << u"Où je dicte"_s << true;
        QTest::newRow("no application row") << u" %"_s << false;
        QTest::newRow("no recent card") << u"Mes dernières dictées"_s << false;
    }

    void emptyDashboard()
    {
        QFETCH(QString, text);
        QFETCH(bool, shown);
        static QStringList texts;
        if (texts.isEmpty()) {
            root_->store()->clearHistory();
            root_->store()->setCosts({});
            show(u"DashboardPage.qml"_s);
            QVERIFY(TestEnv::waitFor([&] { return read().contains(u"0,00 $ API ce mois"_s); }));
            texts = read();
        }
        // What must not be shown is looked for inside every text.
        const bool found = shown ? texts.contains(text) : texts.join(u'\n').contains(text);
        QVERIFY2(found == shown, qPrintable(texts.join(u" | "_s)));
    }
};

int main(int argc, char *argv[])
{
    qputenv("TZ", "Europe/Paris");
    qputenv("LC_ALL", "fr_FR.UTF-8");
    TestEnv::isolate();
    QApplication app(argc, argv);
    TestPages tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_pages.moc"
