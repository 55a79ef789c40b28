#include "app/Application.h"
#include "calls/CallTranslator.h"
#include "calls/MeetingRecorder.h"
#include "calls/SubtitleWindow.h"
#include "dictation/DictationController.h"
#include "dictation/Reader.h"
#include "engines/EngineReadiness.h"
#include "model/AppSettings.h"
#include "model/KeyStore.h"
#include "model/Store.h"
#include "shell/InterfaceKeys.h"
#include "shell/Navigation.h"
#include "shell/ShellActions.h"
#include "update/Updater.h"
#include "support/QmlWindow.h"
#include "support/TestEnv.h"

#include <QApplication>
#include <QDir>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>

// A window of the Ombry module on the real X server: the engine, the module's
// singletons and a C++ view-model reach the screen, in both appearances.
class TestQmlWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<Application> root_;
    std::unique_ptr<QQuickWindow> window_;

    static QColor meanColour(const QImage &image)
    {
        qint64 r = 0, g = 0, b = 0, n = 0;
        for (int y = 0; y < image.height(); y += 4)
            for (int x = 0; x < image.width(); x += 4) {
                const QColor c = image.pixelColor(x, y);
                r += c.red();
                g += c.green();
                b += c.blue();
                ++n;
            }
        return n ? QColor(int(r / n), int(g / n), int(b / n)) : QColor();
    }

    QQuickItem *status() const
    {
        return window_->findChild<QQuickItem *>(QStringLiteral("status"));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "run under scripts/session");
        root_ = std::make_unique<Application>();
        QString error;
        window_ = QmlWindow::open(root_->engine(), QStringLiteral("ChainWindow.qml"), &error);
        QVERIFY2(window_, qPrintable(error));
    }

    void cleanupTestCase()
    {
        window_.reset();
        root_.reset();
    }

    void followsTheController()
    {
        DictationController *controller = root_->controller();
        QVERIFY(status());
        QCOMPARE(status()->property("text").toString(), QStringLiteral("Prêt"));
        controller->setState(DictationController::State::Recording);
        QCOMPARE(status()->property("text").toString(), QStringLiteral("J'écoute…"));
        controller->setState(DictationController::State::Idle);
        QCOMPARE(status()->property("text").toString(), QStringLiteral("Prêt"));
    }

    // QML reaches the root's objects, never a copy of its own without the
    // root's wiring.
    void singletonsAreTheRootsOwn_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QObject *>("own");
        QTest::newRow("Shell") << QStringLiteral("Shell") << static_cast<QObject *>(root_->shell());
        QTest::newRow("Navigation") << QStringLiteral("Navigation") << static_cast<QObject *>(root_->navigation());
        QTest::newRow("InterfaceKeys") << QStringLiteral("InterfaceKeys") << static_cast<QObject *>(root_->interfaceKeys());
        QTest::newRow("Updater") << QStringLiteral("Updater") << static_cast<QObject *>(root_->updater());
        QTest::newRow("AppSettings") << QStringLiteral("AppSettings") << static_cast<QObject *>(root_->settings());
        QTest::newRow("Store") << QStringLiteral("Store") << static_cast<QObject *>(root_->store());
        QTest::newRow("KeyStore") << QStringLiteral("KeyStore") << static_cast<QObject *>(root_->keys());
        QTest::newRow("DictationController") << QStringLiteral("DictationController") << static_cast<QObject *>(root_->controller());
        QTest::newRow("Reader") << QStringLiteral("Reader") << static_cast<QObject *>(root_->reader());
        QTest::newRow("CallTranslator") << QStringLiteral("CallTranslator") << static_cast<QObject *>(root_->callTranslator());
        QTest::newRow("SubtitleWindow") << QStringLiteral("SubtitleWindow") << static_cast<QObject *>(root_->subtitleWindow());
        QTest::newRow("MeetingRecorder") << QStringLiteral("MeetingRecorder") << static_cast<QObject *>(root_->meetingRecorder());
        QTest::newRow("EngineReadiness") << QStringLiteral("EngineReadiness") << static_cast<QObject *>(TestEnv::own<EngineReadiness>());
    }

    void singletonsAreTheRootsOwn()
    {
        QFETCH(QString, name);
        QFETCH(QObject *, own);
        const int type = qmlTypeId("Ombry", 1, 0, name.toUtf8().constData());
        QVERIFY2(type >= 0, qPrintable(name));
        QCOMPARE(root_->engine()->singletonInstance<QObject *>(type), own);
    }

    void drawsTheTheme_data()
    {
        QTest::addColumn<Ombry::Theme>("theme");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("dark");
        QTest::newRow("light") << Ombry::Theme::Light << QStringLiteral("light") << false;
        QTest::newRow("dark") << Ombry::Theme::Dark << QStringLiteral("dark") << true;
    }

    void drawsTheTheme()
    {
        QFETCH(Ombry::Theme, theme);
        QFETCH(QString, name);
        QFETCH(bool, dark);
        root_->settings()->setTheme(theme);
        QImage shot;
        QVERIFY(TestEnv::waitFor([&] {
            shot = window_->grabWindow();
            return !shot.isNull() && (meanColour(shot).lightnessF() < 0.35) == dark;
        }));
        const QString folder = QStringLiteral(OMBRY_TEST_BIN_DIR "/screenshots");
        QDir().mkpath(folder);
        QVERIFY(shot.save(folder + QStringLiteral("/qmlwindow-") + name + QStringLiteral(".png")));
        // The text is drawn: some pixels differ clearly from the background.
        const QColor background = window_->color();
        int inked = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                if (std::abs(shot.pixelColor(x, y).lightness() - background.lightness()) > 60)
                    ++inked;
        QVERIFY2(inked > 20, qPrintable(QString::number(inked)));
    }
};

OMBRY_TEST_APP_MAIN(TestQmlWindow)
#include "tst_qmlwindow.moc"
