#include "app/Application.h"
#include "model/AppSettings.h"
#include "support/AtspiReader.h"
#include "support/Screenshots.h"
#include "support/QmlWindow.h"
#include "support/TestEnv.h"
#include "ui/kit/AmbientBackground.h"

#include <QApplication>
#include <QQuickWindow>

// The design kit drawn on the real X server in both appearances, read and
// pressed through AT-SPI as a screen reader would.
class TestKitGallery : public QObject
{
    Q_OBJECT

    std::unique_ptr<Application> root_;
    std::unique_ptr<QQuickWindow> window_;
    const QString title_ = QStringLiteral("Ombry Voice — galerie");

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "run under scripts/session");
        root_ = std::make_unique<Application>();
        root_->settings()->setPerformanceMode(Ombry::PerformanceMode::Full);
        QString error;
        window_ = QmlWindow::open(root_->engine(), QStringLiteral("KitGallery.qml"), &error);
        QVERIFY2(window_, qPrintable(error));
    }

    void cleanupTestCase()
    {
        window_.reset();
        root_.reset();
    }

    void readsLikeAScreenReader()
    {
        const AtspiReader reader(title_);
        QVERIFY(reader.find(QStringLiteral("heading"), QStringLiteral("Tableau de bord")));
        QVERIFY(reader.find(QStringLiteral("heading"), QStringLiteral("Dictées de la semaine")));
        QVERIFY(reader.find(QStringLiteral("label"), QStringLiteral("12\u202f345 mots")));
        // Badges are named after their application; decorative symbols are not read.
        QVERIFY(reader.find(QString(), QStringLiteral("firefox")));
        for (const AtspiReader::Node &n : reader.nodes())
            QVERIFY2(n.role != QLatin1String("image") || !n.name.isEmpty() || !n.showing(), qPrintable(n.path));
    }

    void buttonsPressThroughAtspi_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("counter");
        QTest::newRow("glass") << QStringLiteral("Actualiser") << QStringLiteral("presses");
        QTest::newRow("prominent") << QStringLiteral("Installer") << QStringLiteral("prominentPresses");
    }

    void buttonsPressThroughAtspi()
    {
        QFETCH(QString, name);
        QFETCH(QString, counter);
        const int before = window_->property(counter.toLatin1()).toInt();
        QVERIFY(AtspiReader(title_).press(name, [&] { return window_->property(counter.toLatin1()).toInt() == before + 1; }));
    }

    void drawsBothAppearances_data()
    {
        QTest::addColumn<bool>("lightVisuals");
        QTest::newRow("full effects") << false;
        QTest::newRow("light visuals") << true;
    }

    void drawsBothAppearances()
    {
        QFETCH(bool, lightVisuals);
        root_->settings()->setPerformanceMode(lightVisuals ? Ombry::PerformanceMode::Light : Ombry::PerformanceMode::Full);
        const int rendersBefore = AmbientBackground::renderCount();
        const QStringList paths = Screenshots::inBothThemes(
            lightVisuals ? QStringLiteral("kit-light-visuals") : QStringLiteral("kit"), [&] { return Screenshots::scene(window_.get()); });
        QCOMPARE(paths.size(), 2);
        QVERIFY(!paths.contains(QString()));
        const QImage light(paths.at(0)), dark(paths.at(1));
        // The background follows the appearance: the lower-right corner is far from any light.
        QVERIFY(light.pixelColor(light.width() - 2, light.height() - 2).lightness() > 200);
        QVERIFY(dark.pixelColor(dark.width() - 2, dark.height() - 2).lightness() < 60);
        // One picture per appearance, drawn once, not once per frame.
        QVERIFY(AmbientBackground::renderCount() - rendersBefore <= 2);
    }
};

OMBRY_TEST_APP_MAIN(TestKitGallery)
#include "tst_kit_gallery.moc"
