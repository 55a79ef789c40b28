#include "app/Application.h"
#include "model/Defaults.h"
#include "platform/SessionRoutes.h"
#include "settings/SettingsCards.h"
#include "shell/MainWindow.h"
#include "shell/Navigation.h"
#include "support/AtspiReader.h"
#include "support/TestEnv.h"
#include "support/WaylandWindows.h"

#include <QQuickWindow>

using namespace Qt::StringLiterals;

// On the Wayland desktop the permissions tab reads out, to a screen reader too,
// the way each service goes in this session and how to get a better one.
class TestWaylandPermissions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (!WaylandWindows::session())
            QSKIP("needs the Wayland desktop (scripts/session --wayland)");
        Defaults::standard().set(u"onboarded"_s, true);
        Defaults::standard().set(u"settingsTab"_s, u"permissions"_s);
        root_ = std::make_unique<Application>();
        TestEnv::own<Navigation>()->setPage(Navigation::Page::Settings);
        root_->mainWindow()->show();
        QVERIFY(QTest::qWaitForWindowExposed(root_->mainWindow()->window()));
    }
    void cleanupTestCase() { root_.reset(); }

    // What this session's routes are depends on the machine (the input group, a
    // portal): each line the card has is read out, whichever they are.
    void routesAreRead_data()
    {
        QTest::addColumn<QString>("said");
        const auto lines = PermissionsModel::routeLines(SessionRoutes::current(), SessionRoutes::offered());
        QCOMPARE(lines.size(), 4);
        for (const PermissionsModel::RouteLine &line : lines) {
            QTest::addRow("%s", qPrintable(line.service)) << line.service;
            QTest::addRow("%s: route", qPrintable(line.service)) << line.route;
            const QStringList advice = line.advice.split(u'\n', Qt::SkipEmptyParts);
            for (qsizetype i = 0; i < advice.size(); ++i)
                QTest::addRow("%s: advice %d", qPrintable(line.service), int(i + 1)) << advice.at(i);
        }
    }
    void routesAreRead()
    {
        QFETCH(QString, said);
        QVERIFY(!said.isEmpty());
        const auto spoken = [&] {
            return reader_.texts().join(u'\n').contains(said);
        };
        QVERIFY2(TestEnv::waitFor(spoken, 8000), qPrintable(reader_.texts().join(u" | ")));
    }

private:
    std::unique_ptr<Application> root_;
    AtspiReader reader_{u"Ombry Voice"_s};
};

OMBRY_TEST_APP_MAIN(TestWaylandPermissions)
#include "tst_wayland_permissions.moc"
