#include "platform/FrontmostApp.h"
#include "support/TestEnv.h"

#include <QDir>

// How a window's application is named: the desktop-file index.
class TestDesktopIndex : public QObject
{
    Q_OBJECT

    QString dataHome_;
    QString dataDir_;

    void write(const QString &folder, const QString &relative, const QString &content)
    {
        const QString path = folder + QStringLiteral("/applications/") + relative;
        QDir().mkpath(QFileInfo(path).path());
        QVERIFY(TestEnv::writeFile(path, content.toUtf8()));
    }

private Q_SLOTS:
    void initTestCase()
    {
        dataHome_ = TestEnv::home() + QStringLiteral("/.local/share");
        dataDir_ = TestEnv::home() + QStringLiteral("/system");
        qputenv("XDG_DATA_DIRS", QFile::encodeName(dataDir_));
        write(dataHome_, QStringLiteral("org.example.Notes.desktop"),
              QStringLiteral("[Desktop Entry]\nName=Notes\nName[fr]=Bloc-notes\nIcon=notes\n"));
        write(dataHome_, QStringLiteral("writer.desktop"),
              QStringLiteral("[Desktop Entry]\nName=Writer\nName[de]=Schreiber\nStartupWMClass=libreoffice-writer\n"
                             "Icon=writer\n[Desktop Action New]\nName=Nouveau\n"));
        write(dataHome_, QStringLiteral("gone.desktop"), QStringLiteral("[Desktop Entry]\nName=Gone\nHidden=true\n"));
        write(dataDir_, QStringLiteral("gone.desktop"), QStringLiteral("[Desktop Entry]\nName=System Gone\n"));
        write(dataDir_, QStringLiteral("firefox-esr.desktop"), QStringLiteral("[Desktop Entry]\nName=Firefox ESR\n"));
        write(dataDir_, QStringLiteral("org.example.Notes.desktop"), QStringLiteral("[Desktop Entry]\nName=Old Notes\n"));
        write(dataDir_, QStringLiteral("kde/konsole.desktop"),
              QStringLiteral("[Desktop Entry]\nName=Konsole\nName[fr_FR]=Console\n"));
        FrontmostApp::reloadDesktopIndex();
    }

    void resolve_data()
    {
        QTest::addColumn<QString>("explicitId");
        QTest::addColumn<QString>("instance");
        QTest::addColumn<QString>("wmClass");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("name");

        QTest::newRow("explicit id, French name, home folder wins")
            << "org.example.Notes" << "notes" << "Notes" << "org.example.Notes" << "Bloc-notes";
        QTest::newRow("explicit id with suffix") << "org.example.Notes.desktop" << "" << "" << "org.example.Notes"
                                                 << "Bloc-notes";
        QTest::newRow("StartupWMClass, other groups ignored")
            << "" << "libreoffice" << "libreoffice-writer" << "writer" << "Writer";
        QTest::newRow("class names the file") << "" << "Navigator" << "firefox-esr" << "firefox-esr" << "Firefox ESR";
        QTest::newRow("last part of a reverse-domain id") << "" << "notes" << "Notes" << "org.example.Notes"
                                                          << "Bloc-notes";
        QTest::newRow("subfolder id, regional French name") << "" << "konsole" << "kde-konsole" << "kde-konsole"
                                                            << "Console";
        QTest::newRow("unknown explicit id falls through") << "org.nowhere.App" << "" << "firefox-esr" << "firefox-esr"
                                                           << "Firefox ESR";
    }

    void resolve()
    {
        QFETCH(QString, explicitId);
        QFETCH(QString, instance);
        QFETCH(QString, wmClass);
        QFETCH(QString, id);
        QFETCH(QString, name);
        const auto entry = FrontmostApp::resolveDesktopEntry(explicitId, instance, wmClass);
        QVERIFY(entry);
        QCOMPARE(entry->id, id);
        QCOMPARE(entry->name, name);
    }

    void hiddenOrUnknownGivesNothing()
    {
        QVERIFY(!FrontmostApp::resolveDesktopEntry({}, QStringLiteral("gone"), QStringLiteral("Gone")));
        QVERIFY(!FrontmostApp::resolveDesktopEntry({}, QStringLiteral("xterm"), QStringLiteral("XTerm")));
        QVERIFY(!FrontmostApp::resolveDesktopEntry({}, {}, {}));
    }

    void ownIdentity()
    {
        QCOMPARE(FrontmostApp::ownBundleId(), QStringLiteral("com.corvanel.ombryvoice"));
    }
};

OMBRY_TEST_MAIN(TestDesktopIndex)
#include "tst_desktopindex.moc"
