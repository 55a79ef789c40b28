#include "support/TestEnv.h"

#include "module/Account.h"
#include "shell/GradientPlate.h"
#include "shell/InterfaceKeys.h"
#include "shell/MainWindow.h"
#include "shell/Navigation.h"
#include "ui/kit/RenderMode.h"
#include "diagnostics/Snapshot.h"
#include "model/Defaults.h"

#include <QImage>
#include <QJsonArray>
#include <QJsonObject>
#include <QSignalSpy>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(std::optional<QRect>)
Q_DECLARE_METATYPE(std::optional<QByteArray>)
Q_DECLARE_METATYPE(std::optional<bool>)

// The window's state without a window: pages, interface keys, the greeting,
// where the frame goes, and what the snapshot switch draws.
class TestMainWindowModel : public QObject
{
    Q_OBJECT

    // A defaults domain of its own in the temporary home.
    static std::unique_ptr<Defaults> freshDomain(const QString &name)
    {
        auto store = std::make_unique<Defaults>(name);
        store->removeDomain();
        return store;
    }

private Q_SLOTS:
    void pageNamesRoundTrip()
    {
        QStringList names;
        for (Navigation::Page page : Navigation::all()) {
            names << Navigation::name(page);
            QCOMPARE(Navigation::fromName(Navigation::name(page)), std::optional(page));
        }
        // The order of the sidebar and of the snapshot files.
        QCOMPARE(names, (QStringList{u"dashboard"_s, u"corrector"_s, u"translator"_s, u"meetings"_s, u"history"_s,
                                     u"dictionary"_s, u"settings"_s}));
        QCOMPARE(Navigation::fromName(u"Dashboard"_s), std::nullopt);
        QCOMPARE(Navigation::fromName(QString()), std::nullopt);
    }

    void sidebarEntriesFollowThePages()
    {
        Navigation navigation(nullptr);
        const QVariantList entries = navigation.entries();
        QCOMPARE(entries.size(), Navigation::all().size());
        QStringList labels;
        for (int i = 0; i < entries.size(); ++i) {
            const QVariantMap entry = entries.at(i).toMap();
            QCOMPARE(entry.value(u"page"_s).toInt(), int(Navigation::all().at(i)));
            QVERIFY(!entry.value(u"symbol"_s).toString().isEmpty());
            labels << entry.value(u"label"_s).toString();
        }
        QCOMPARE(labels, (QStringList{u"Tableau de bord"_s, u"Correcteur"_s, u"Traduction"_s, u"Réunions"_s,
                                      u"Historique"_s, u"Dictionnaire"_s, u"Réglages"_s}));
    }

    void assigningThePageShownNotifiesNobody_data()
    {
        QTest::addColumn<Navigation::Page>("first");
        QTest::addColumn<Navigation::Page>("second");
        QTest::addColumn<int>("signals");
        QTest::newRow("same as the start") << Navigation::Page::Dashboard << Navigation::Page::Dashboard << 0;
        QTest::newRow("another, then again") << Navigation::Page::Settings << Navigation::Page::Settings << 1;
        QTest::newRow("two others") << Navigation::Page::History << Navigation::Page::Translator << 2;
    }

    void assigningThePageShownNotifiesNobody()
    {
        QFETCH(Navigation::Page, first);
        QFETCH(Navigation::Page, second);
        QFETCH(int, signals);
        Navigation navigation(nullptr);
        QSignalSpy spy(&navigation, &Navigation::pageChanged);
        navigation.setPage(first);
        navigation.setPage(second);
        QCOMPARE(spy.count(), signals);
        QCOMPARE(navigation.page(), second);
    }

    void translationTabReadsWhatIsStored_data()
    {
        QTest::addColumn<QJsonValue>("stored");
        QTest::addColumn<QString>("tab");
        QTest::newRow("missing") << QJsonValue(QJsonValue::Undefined) << u"text"_s;
        QTest::newRow("calls") << QJsonValue(u"calls"_s) << u"calls"_s;
        QTest::newRow("text") << QJsonValue(u"text"_s) << u"text"_s;
        QTest::newRow("written by hand") << QJsonValue(u"Calls"_s) << u"text"_s;
        QTest::newRow("not a string") << QJsonValue(1) << u"text"_s;
        QTest::newRow("an array") << QJsonValue(QJsonArray{u"calls"_s}) << u"text"_s;
    }

    void translationTabReadsWhatIsStored()
    {
        QFETCH(QJsonValue, stored);
        QFETCH(QString, tab);
        auto store = freshDomain(u"tst.tabs"_s);
        if (!stored.isUndefined())
            store->set(u"translationTab"_s, stored);
        InterfaceKeys keys(*store);
        QCOMPARE(keys.translationTab(), tab);
    }

    void translationTabIsWrittenAndSurvivesARelaunch_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("choice");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("signals");
        QTest::newRow("calls chosen") << u"text"_s << u"calls"_s << u"calls"_s << 1;
        QTest::newRow("back to text") << u"calls"_s << u"text"_s << u"text"_s << 1;
        QTest::newRow("the same again") << u"calls"_s << u"calls"_s << u"calls"_s << 0;
        // A hand-written value reads as text: choosing text shows nothing new.
        QTest::newRow("text over a bad value") << u"bogus"_s << u"text"_s << u"text"_s << 0;
        QTest::newRow("unknown tab refused") << u"calls"_s << u"meetings"_s << u"calls"_s << 0;
    }

    void translationTabIsWrittenAndSurvivesARelaunch()
    {
        QFETCH(QString, before);
        QFETCH(QString, choice);
        QFETCH(QString, shown);
        QFETCH(int, signals);
        auto store = freshDomain(u"tst.tabs2"_s);
        store->set(u"translationTab"_s, before);
        InterfaceKeys keys(*store);
        QSignalSpy spy(&keys, &InterfaceKeys::translationTabChanged);
        keys.setTranslationTab(choice);
        QCOMPARE(keys.translationTab(), shown);
        QCOMPARE(spy.count(), signals);
        // What a new start reads.
        Defaults reread(u"tst.tabs2"_s);
        QCOMPARE(InterfaceKeys(reread).translationTab(), shown);
    }

    void onboardedReadsWhatIsStored_data()
    {
        QTest::addColumn<QJsonValue>("stored");
        QTest::addColumn<bool>("onboarded");
        QTest::newRow("missing") << QJsonValue(QJsonValue::Undefined) << false;
        QTest::newRow("true") << QJsonValue(true) << true;
        QTest::newRow("false") << QJsonValue(false) << false;
        QTest::newRow("one") << QJsonValue(1) << true;
        QTest::newRow("a string") << QJsonValue(u"true"_s) << false;
    }

    void onboardedReadsWhatIsStored()
    {
        QFETCH(QJsonValue, stored);
        QFETCH(bool, onboarded);
        auto store = freshDomain(u"tst.onboarded"_s);
        if (!stored.isUndefined())
            store->set(u"onboarded"_s, stored);
        InterfaceKeys keys(*store);
        QCOMPARE(keys.onboarded(), onboarded);
        QSignalSpy spy(&keys, &InterfaceKeys::onboardedChanged);
        keys.setOnboarded(true);
        QCOMPARE(spy.count(), onboarded ? 0 : 1);
        QCOMPARE(Defaults(u"tst.onboarded"_s).object(u"onboarded"_s), QJsonValue(true));
    }

    void settingsTabDefaultsToGeneral()
    {
        auto store = freshDomain(u"tst.settingstab"_s);
        InterfaceKeys keys(*store);
        QCOMPARE(keys.settingsTab(), u"general"_s);
        QVERIFY(!store->contains(u"settingsTab"_s));
        keys.setSettingsTab(u"advanced"_s);
        QCOMPARE(InterfaceKeys(*store).settingsTab(), u"advanced"_s);
    }

    void firstName_data()
    {
        QTest::addColumn<QString>("gecos");
        QTest::addColumn<QString>("first");
        QTest::newRow("full GECOS") << u"Jean Dupont,Bureau 4,0102030405,"_s << u"Jean"_s;
        QTest::newRow("blanks around") << u"  Marie   Claire  "_s << u"Marie"_s;
        QTest::newRow("tabs trimmed") << u"\tAnne Sophie\t"_s << u"Anne"_s;
        QTest::newRow("one word") << u"Élodie"_s << u"Élodie"_s;
        QTest::newRow("empty") << QString() << u"toi"_s;
        QTest::newRow("blank") << u" \t "_s << u"toi"_s;
        QTest::newRow("name empty, office set") << u",Bureau 12"_s << u"toi"_s;
    }

    void firstName()
    {
        QFETCH(QString, gecos);
        QFETCH(QString, first);
        QCOMPARE(Account::firstNameFrom(gecos), first);
    }

    void placement_data()
    {
        QTest::addColumn<std::optional<QRect>>("saved");
        QTest::addColumn<QList<QRect>>("screens");
        QTest::addColumn<QRect>("placed");
        const QRect one(0, 0, 1280, 1024);
        const QRect left(0, 0, 1920, 1080);
        const QRect right(1920, 0, 1280, 1024);
        QTest::newRow("first launch: centred") << std::optional<QRect>() << QList<QRect>{one}
                                               << QRect(90, 132, 1100, 760);
        QTest::newRow("saved frame restored") << std::optional(QRect(40, 60, 1200, 800)) << QList<QRect>{one}
                                              << QRect(40, 60, 1200, 800);
        QTest::newRow("on the second screen") << std::optional(QRect(2000, 100, 1100, 760))
                                              << QList<QRect>{left, right} << QRect(2000, 100, 1100, 760);
        QTest::newRow("second screen gone: centred, size kept")
            << std::optional(QRect(2000, 100, 1150, 780)) << QList<QRect>{left} << QRect(385, 150, 1150, 780);
        QTest::newRow("title bar above the screen") << std::optional(QRect(100, -400, 1100, 760))
                                                    << QList<QRect>{one} << QRect(90, 132, 1100, 760);
        QTest::newRow("below the minimum") << std::optional(QRect(10, 10, 400, 300)) << QList<QRect>{one}
                                           << QRect(10, 10, 1000, 680);
        QTest::newRow("larger than the screen") << std::optional(QRect(0, 0, 3000, 2000)) << QList<QRect>{one}
                                                << QRect(0, 0, 1280, 1024);
        QTest::newRow("panel at the top") << std::optional<QRect>() << QList<QRect>{QRect(0, 30, 1280, 994)}
                                          << QRect(90, 147, 1100, 760);
    }

    void placement()
    {
        QFETCH(std::optional<QRect>, saved);
        QFETCH(QList<QRect>, screens);
        QFETCH(QRect, placed);
        QCOMPARE(MainWindow::placement(saved, screens, screens.constFirst()), placed);
    }

    void frameRoundTrip_data()
    {
        QTest::addColumn<QJsonValue>("value");
        QTest::addColumn<std::optional<QRect>>("frame");
        const QRect rect(-20, 35, 1100, 760);
        QTest::newRow("written by us") << MainWindow::frameValue(rect) << std::optional(rect);
        QTest::newRow("missing") << QJsonValue(QJsonValue::Undefined) << std::optional<QRect>();
        QTest::newRow("a string") << QJsonValue(u"0 0 1100 760"_s) << std::optional<QRect>();
        QTest::newRow("a side missing")
            << QJsonValue(QJsonObject{{u"x"_s, 0}, {u"y"_s, 0}, {u"width"_s, 1100}}) << std::optional<QRect>();
        QTest::newRow("empty size")
            << QJsonValue(QJsonObject{{u"x"_s, 0}, {u"y"_s, 0}, {u"width"_s, 0}, {u"height"_s, 760}})
            << std::optional<QRect>();
    }

    void frameRoundTrip()
    {
        QFETCH(QJsonValue, value);
        QFETCH(std::optional<QRect>, frame);
        QCOMPARE(MainWindow::frameFrom(value), frame);
    }

    void snapshotOrder()
    {
        const QList<Navigation::Page> order = Snapshot::order();
        // The settings first and last; every page once in between, in order.
        QCOMPARE(order.constFirst(), Navigation::Page::Settings);
        QCOMPARE(order.mid(1), Navigation::all());
    }

    void snapshotTheme_data()
    {
        QTest::addColumn<std::optional<QByteArray>>("value");
        QTest::addColumn<std::optional<bool>>("dark");
        QTest::newRow("absent: the settings decide") << std::optional<QByteArray>() << std::optional<bool>();
        QTest::newRow("dark") << std::optional<QByteArray>("dark") << std::optional(true);
        QTest::newRow("light") << std::optional<QByteArray>("light") << std::optional(false);
        QTest::newRow("upper case is not dark") << std::optional<QByteArray>("DARK") << std::optional(false);
        QTest::newRow("empty") << std::optional<QByteArray>("") << std::optional(false);
    }

    void snapshotTheme()
    {
        QFETCH(std::optional<QByteArray>, value);
        QFETCH(std::optional<bool>, dark);
        QCOMPARE(RenderMode::forcedDarkFrom(value), dark);
    }

    void shadowBlurKeepsItsInk_data()
    {
        QTest::addColumn<int>("radius");
        QTest::newRow("none") << 0;
        QTest::newRow("small") << 3;
        QTest::newRow("the banner's") << 14;
        QTest::newRow("wider than the shape") << 30;
    }

    void shadowBlurKeepsItsInk()
    {
        QFETCH(int, radius);
        // An opaque square in the middle of a transparent field.
        QImage image(121, 121, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        for (int y = 50; y < 71; ++y)
            for (int x = 50; x < 71; ++x)
                image.setPixel(x, y, qRgba(0, 0, 0, 255));
        const QImage out = GradientPlate::blurred(image, radius);
        QCOMPARE(out.size(), image.size());
        qint64 before = 0, after = 0;
        for (int y = 0; y < 121; ++y)
            for (int x = 0; x < 121; ++x) {
                before += qAlpha(image.pixel(x, y));
                after += qAlpha(out.pixel(x, y));
                // Spread evenly: the same on both sides of the centre.
                QVERIFY(std::abs(qAlpha(out.pixel(x, y)) - qAlpha(out.pixel(120 - x, 120 - y))) <= 1);
            }
        // Spread, not lost or gained.
        QVERIFY2(std::abs(after - before) < before / 100, qPrintable(u"%1 → %2"_s.arg(before).arg(after)));
        if (radius > 0) {
            QVERIFY(qAlpha(out.pixel(60, 60)) < 255 || radius < 4);
            QVERIFY(qAlpha(out.pixel(48, 60)) > 0);
        } else {
            QCOMPARE(out, image);
        }
    }
};

OMBRY_TEST_MAIN(TestMainWindowModel)
#include "tst_mainwindow_model.moc"
