#include "app/Application.h"
#include "shell/InterfaceKeys.h"
#include "calls/CallTranslator.h"
#include "model/Defaults.h"
#include "support/AtspiReader.h"
#include "support/Screenshots.h"
#include "support/QmlWindow.h"
#include "support/TestEnv.h"

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QQuickItem>
#include <QQuickWindow>
#include <QScopeGuard>

namespace {

const QString kTitle = QStringLiteral("Ombry Voice — page");

} // namespace

// The calls tab on the private desktop: the application tiles as the window
// manager and the desktop files list them, read and chosen through AT-SPI.
class TestCallsTab : public QObject
{
    Q_OBJECT

    std::unique_ptr<Application> root_;
    std::unique_ptr<QQuickWindow> window_;
    QProcess xterms_[2];

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "run under scripts/session");
        // An installed call application that does not run.
        const QString apps = TestEnv::home() + QStringLiteral("/.local/share/applications");
        QVERIFY(QDir().mkpath(apps));
        QVERIFY(TestEnv::writeFile(apps + QStringLiteral("/zoom.desktop"),
                                   "[Desktop Entry]\nType=Application\nName=Zoom Workplace\nExec=zoom\nIcon=zoom\n"));
        root_ = std::make_unique<Application>();
        // The page's tab picker shows the tab it is on.
        TestEnv::own<InterfaceKeys>()->setTranslationTab(QStringLiteral("calls"));
        QString error;
        window_ = QmlWindow::open(root_->engine(), QStringLiteral("PageWindow.qml"), &error, {{QStringLiteral("page"), QStringLiteral("calls")}});
        QVERIFY2(window_, qPrintable(error));
        // A second window of this very program: still one tile.
        // Another application with two windows.
        for (QProcess &p : xterms_) {
            p.start(QStringLiteral("xterm"), {QStringLiteral("-geometry"), QStringLiteral("20x4")});
            QVERIFY(p.waitForStarted());
        }
    }

    void cleanupTestCase()
    {
        for (QProcess &p : xterms_) {
            p.kill();
            p.waitForFinished();
        }
        window_.reset();
        root_.reset();
    }

    void tiles()
    {
        const AtspiReader reader(kTitle);
        QVERIFY(reader.find(QStringLiteral("push button"), QStringLiteral("Tout l'ordinateur")));
        QVERIFY(reader.find(QStringLiteral("push button"), QStringLiteral("Zoom Workplace")));
        QVERIFY(reader.find(QString(), QStringLiteral("Choisis l'appli de ton appel, puis Démarrer. Les sous-titres apparaissent aussi dans une fenêtre flottante.")));
        QVERIFY(reader.find(QStringLiteral("heading"), QStringLiteral("Quelle appli traduire ?")));
        QVERIFY(reader.find(QString(), QStringLiteral("Anglais → français")));
        QVERIFY(reader.find(QStringLiteral("heading"), QStringLiteral("Sous-titres")));
        QVERIFY(reader.find(QStringLiteral("push button"), QStringLiteral("Fenêtre flottante")));
        QStringList tiles;
        QVERIFY(TestEnv::waitFor([&] {
            tiles = reader.shownNames(QStringLiteral("push button")).mid(2);
            return tiles.size() >= 3 && tiles.filter(QStringLiteral("term"), Qt::CaseInsensitive).size() == 1;
        }, 8000));
        // The header's two buttons, then the tiles.
        QCOMPARE(tiles.first(), QStringLiteral("Tout l'ordinateur"));
        QCOMPARE(tiles.at(1), QStringLiteral("Zoom Workplace"));
        // Two windows of one application give one tile, after the known applications.
        QCOMPARE(tiles.size(), 3);
        // The installed call application that does not run is dimmed, the others not.
        for (const AtspiReader::Node &tile : reader.all(reader.find(QString(), QStringLiteral("Zoom Workplace"))->role))
            if (tiles.contains(tile.name))
                QCOMPARE(tile.description, tile.name == QStringLiteral("Zoom Workplace") ? QStringLiteral("Pas lancée") : QString());
        Screenshots::inBothThemes(QStringLiteral("calls-tab"), [&] { return Screenshots::scene(window_.get()); });
    }

    void choosingATileWritesTheSetting()
    {
        QVERIFY(AtspiReader(kTitle).act(QStringLiteral("push button"), QStringLiteral("Zoom Workplace")));
        QVERIFY(TestEnv::waitFor([] {
            return Defaults::standard().string(QStringLiteral("callApp")) == QStringLiteral("zoom");
        }, 3000));
        QVERIFY(AtspiReader(kTitle).act(QStringLiteral("push button"), QStringLiteral("Tout l'ordinateur")));
        QVERIFY(TestEnv::waitFor([] { return !Defaults::standard().string(QStringLiteral("callApp")); }, 3000));
    }

    // While subtitles run the tiles cannot change and the tab says why.
    void runningLocksTheGrid()
    {
        const QString hint = QStringLiteral("Arrête les sous-titres pour changer d'appli.");
        CallTranslator *call = root_->callTranslator();
        const AtspiReader reader(kTitle);
        auto *grid = window_->findChild<QQuickItem *>(QStringLiteral("appGrid"));
        if (!grid)
            grid = window_->contentItem()->findChild<QQuickItem *>(QStringLiteral("appGrid"));
        QVERIFY(grid);
        const QString tileRole = reader.find(QString(), QStringLiteral("Zoom Workplace"))->role;
        QVERIFY(!reader.shownNames().contains(hint));
        QVERIFY(grid->isEnabled());
        QVERIFY(reader.press(QStringLiteral("Démarrer"), [call] { return call->running(); }));
        // Stopped whatever happens below: the next test wants an idle translator.
        const auto stop = qScopeGuard([call] { call->stop(); });
        QVERIFY(reader.find(QString(), hint));
        QVERIFY(reader.find(QStringLiteral("push button"), QStringLiteral("Arrêter")));
        // No target chosen: the whole computer, and nothing heard yet.
        QVERIFY(reader.find(QStringLiteral("heading"), QStringLiteral("En direct · tout l'ordinateur")));
        QVERIFY(reader.find(QString(), QStringLiteral("J'écoute… les phrases traduites apparaîtront ici.")));
        QVERIFY(!grid->isEnabled());
        // A screen reader's press is refused as a click is.
        QVERIFY(reader.act(tileRole, QStringLiteral("Zoom Workplace")));
        QTest::qWait(300);
        QVERIFY(!Defaults::standard().string(QStringLiteral("callApp")));
        Screenshots::inBothThemes(QStringLiteral("calls-tab-running"), [&] { return Screenshots::scene(window_.get()); });
        QVERIFY(reader.press(QStringLiteral("Arrêter"), [call] { return !call->running(); }));
        QVERIFY(TestEnv::waitFor([&] { return !reader.shownNames().contains(hint); }));
        QVERIFY(grid->isEnabled());
    }

    void newestFortyLines()
    {
        CallLinesModel *lines = root_->callTranslator()->linesModel();
        for (int i = 1; i <= 45; ++i)
            lines->append({i, QStringLiteral("line %1").arg(i), i == 45 ? QString() : QStringLiteral("ligne %1").arg(i), i != 45});
        const AtspiReader reader(kTitle);
        QStringList expected;
        for (int i = 45; i > 5; --i)
            expected << QStringLiteral("line %1").arg(i);
        QStringList drawn;
        const bool newest = TestEnv::waitFor([&] {
            // In the order they are drawn, top to bottom.
            QList<QPair<int, QString>> placed;
            for (const AtspiReader::Node &n : reader.all(QStringLiteral("label")))
                if (n.name.startsWith(QStringLiteral("line ")))
                    placed.append({n.extents.y(), n.name});
            std::sort(placed.begin(), placed.end());
            drawn.clear();
            for (const auto &p : placed)
                drawn << p.second;
            return drawn == expected;
        }, 5000);
        // Newest first: the last 40 of 45, and the one still waiting shows "…".
        QCOMPARE(drawn, expected);
        QVERIFY(newest);
        QVERIFY(reader.find(QString(), QStringLiteral("…")));
        Screenshots::inBothThemes(QStringLiteral("calls-tab-lines"), [&] { return Screenshots::scene(window_.get()); });
        lines->clear();
    }
};

OMBRY_TEST_APP_MAIN(TestCallsTab)
#include "tst_calls_tab.moc"
