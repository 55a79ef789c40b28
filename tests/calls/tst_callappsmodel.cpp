#include "calls/CallAppsModel.h"
#include "support/TestEnv.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

namespace {

RunningApp app(const QString &id, const QString &name, qint64 pid = 1)
{
    RunningApp a;
    a.pid = pid;
    a.name = name;
    a.bundleId = id;
    a.wmClass = id;
    return a;
}

using Apps = QList<RunningApp>;

// "id:name:r" per tile ("r" running, "-" not).
QStringList describe(const QList<AppChoice> &choices)
{
    QStringList out;
    for (const AppChoice &c : choices)
        out << c.id + u':' + c.name + u':' + (c.running ? u'r' : u'-');
    return out;
}

std::optional<FrontmostApp::DesktopEntry> installed(const QString &id)
{
    if (id == QLatin1String("zoom"))
        return FrontmostApp::DesktopEntry{QStringLiteral("zoom"), QStringLiteral("Zoom Workplace"), QStringLiteral("Zoom")};
    if (id == QLatin1String("firefox-esr"))
        return FrontmostApp::DesktopEntry{QStringLiteral("firefox-esr"), QStringLiteral("Firefox ESR"), QString()};
    return std::nullopt;
}

} // namespace

Q_DECLARE_METATYPE(Apps)

class TestCallAppsModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void build_data()
    {
        QTest::addColumn<Apps>("running");
        QTest::addColumn<QStringList>("tiles");

        QTest::newRow("installed known apps only, dimmed, in the fixed order")
            << Apps{} << QStringList{"zoom:Zoom Workplace:-", "firefox:Firefox ESR:-"};
        QTest::newRow("a running known app takes its running name, at its place")
            << Apps{app("zoom", "Zoom")}
            << QStringList{"zoom:Zoom:r", "firefox:Firefox ESR:-"};
        QTest::newRow("known apps by any of their ids, listed once")
            << Apps{app("com.discordapp.Discord", "Discord"), app("discord", "Discord")}
            << QStringList{"discord:Discord:r", "zoom:Zoom Workplace:-",
                           "firefox:Firefox ESR:-"};
        QTest::newRow("others after, by plain name order, one tile for two windows")
            << Apps{app("org.gnome.gedit", "gedit"), app("xterm", "XTerm"), app("org.gnome.gedit", "gedit", 2),
                    app("org.kde.kate", "Kate")}
            << QStringList{"zoom:Zoom Workplace:-", "firefox:Firefox ESR:-", "org.kde.kate:Kate:r",
                           "xterm:XTerm:r", "org.gnome.gedit:gedit:r"};
        QTest::newRow("ourselves and windows without id never appear")
            << Apps{app("com.corvanel.ombryvoice", "Ombry Voice"), app(QString(), "?")}
            << QStringList{"zoom:Zoom Workplace:-", "firefox:Firefox ESR:-"};
        QTest::newRow("nameless app shows its id")
            << Apps{app("org.example.Tool", QString())}
            << QStringList{"zoom:Zoom Workplace:-", "firefox:Firefox ESR:-",
                           "org.example.Tool:org.example.Tool:r"};
    }

    void build()
    {
        QFETCH(Apps, running);
        QFETCH(QStringList, tiles);
        for (RunningApp &a : running)
            if (a.bundleId && a.bundleId->isEmpty())
                a.bundleId.reset();
        QCOMPARE(describe(CallAppsModel::build(running, installed, QStringLiteral("com.corvanel.ombryvoice"))), tiles);
    }

    // A refresh changes only what changed: rows keep their identity, and an
    // unchanged list sends nothing.
    void refreshChangesOnlyWhatChanged_data()
    {
        QTest::addColumn<Apps>("before");
        QTest::addColumn<Apps>("after");
        QTest::addColumn<int>("inserted");
        QTest::addColumn<int>("removed");
        QTest::addColumn<int>("changed");
        QTest::addColumn<int>("moved");

        const Apps base{app("zoom", "Zoom"), app("org.kde.kate", "Kate")};
        QTest::newRow("same list, nothing") << base << base << 0 << 0 << 0 << 0;
        QTest::newRow("zoom quits: dimmed in place") << base << Apps{app("org.kde.kate", "Kate")} << 0 << 0 << 1 << 0;
        QTest::newRow("an app launches") << base << (base + Apps{app("xterm", "XTerm")}) << 1 << 0 << 0 << 0;
        QTest::newRow("an app quits") << base << Apps{app("zoom", "Zoom")} << 0 << 1 << 0 << 0;
        QTest::newRow("a name before sorts in")
            << base << (base + Apps{app("org.a", "Agenda")}) << 1 << 0 << 0 << 0;
    }

    void refreshChangesOnlyWhatChanged()
    {
        QFETCH(Apps, before);
        QFETCH(Apps, after);
        QFETCH(int, inserted);
        QFETCH(int, removed);
        QFETCH(int, changed);
        QFETCH(int, moved);

        Apps now = before;
        CallAppsModel::Sources s;
        s.running = [&now] { return now; };
        s.installed = installed;
        s.ownId = QStringLiteral("com.corvanel.ombryvoice");
        CallAppsModel model(s);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.refresh();
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
        QSignalSpy ins(&model, &QAbstractItemModel::rowsInserted);
        QSignalSpy rem(&model, &QAbstractItemModel::rowsRemoved);
        QSignalSpy chg(&model, &QAbstractItemModel::dataChanged);
        QSignalSpy mov(&model, &QAbstractItemModel::rowsMoved);
        now = after;
        model.refresh();
        QCOMPARE(resets.size(), 0);
        QCOMPARE(ins.size(), inserted);
        QCOMPARE(rem.size(), removed);
        QCOMPARE(chg.size(), changed);
        QCOMPARE(mov.size(), moved);
        QCOMPARE(model.choices(), QList<AppChoice>{CallAppsModel::wholeComputer()} + CallAppsModel::build(after, installed, s.ownId));
    }

    // Any reordering ends with the rows of the new list.
    void applyReaches_data()
    {
        QTest::addColumn<QStringList>("from");
        QTest::addColumn<QStringList>("to");
        QTest::newRow("reverse") << QStringList{"a", "b", "c"} << QStringList{"c", "b", "a"};
        QTest::newRow("rotate and grow") << QStringList{"a", "b", "c"} << QStringList{"b", "c", "d", "a"};
        QTest::newRow("empty") << QStringList{"a", "b"} << QStringList{};
        QTest::newRow("from empty") << QStringList{} << QStringList{"x", "y"};
    }

    void applyReaches()
    {
        QFETCH(QStringList, from);
        QFETCH(QStringList, to);
        auto list = [](const QStringList &ids) {
            QList<AppChoice> out;
            for (const QString &id : ids)
                out.append({id, id, QString(), true});
            return out;
        };
        CallAppsModel model(CallAppsModel::Sources{});
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.apply(list(from));
        model.apply(list(to));
        QCOMPARE(model.choices(), list(to));
        QCOMPARE(model.rowCount(), int(to.size()));
    }
};

OMBRY_TEST_MAIN(TestCallAppsModel)
#include "tst_callappsmodel.moc"
