#include "app/Application.h"
#include "shell/MainWindow.h"
#include "update/Updater.h"
#include "fakes/FakeHttpService.h"
#include "model/Defaults.h"
#include "support/Screenshots.h"
#include "support/TestEnv.h"

#include <QJsonArray>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSysInfo>

using namespace Qt::StringLiterals;

// The update banner above the pages, drawn from the updater of the running
// program (not installed from a bundle, so every install is refused).
class TestUpdateBanner : public QObject
{
    Q_OBJECT

    FakeHttpService feed_;
    std::unique_ptr<Application> root_;

    QQuickItem *item(const QString &name) const
    {
        QQuickItem *content = root_->mainWindow()->content();
        return content ? content->findChild<QQuickItem *>(name) : nullptr;
    }

    QString text(const QString &name) const
    {
        QQuickItem *i = item(name);
        return i ? i->property("text").toString() : u"(absent)"_s;
    }

    void click(const QString &name)
    {
        QQuickItem *i = item(name);
        QVERIFY2(i, qPrintable(name));
        const QPointF centre = i->mapToScene(QPointF(i->width() / 2, i->height() / 2));
        QTest::mouseClick(root_->mainWindow()->window(), Qt::LeftButton, {}, centre.toPoint());
    }

    static QJsonObject release(const QJsonArray &notes)
    {
        return {{u"version"_s, u"1.3.0"_s},
                {u"build"_s, 13},
                {u"notes"_s, notes},
                {u"page"_s, u"javascript:alert(1)"_s},
                {u"downloads"_s, QJsonObject{{QSysInfo::currentCpuArchitecture(), u"https://cdn.example.org/a.tar.gz"_s}}}};
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "run under scripts/session");
        QVERIFY(feed_.start());
        qputenv("OMBRY_UPDATES_URL", feed_.url().toUtf8());
        Defaults::standard().set(u"onboarded"_s, true);
        root_ = std::make_unique<Application>();
        root_->mainWindow()->show();
        QVERIFY(QTest::qWaitForWindowExposed(root_->mainWindow()->window()));
    }

    void cleanupTestCase() { root_.reset(); }

    void nothingWhileNoReleaseIsOffered()
    {
        QVERIFY(!root_->updater()->hasRelease());
        QVERIFY(!item(u"updateTitle"_s));
    }

    void namesTheReleaseAndItsFirstNote_data()
    {
        QTest::addColumn<QJsonArray>("notes");
        QTest::addColumn<QString>("detail");
        QTest::newRow("notes") << QJsonArray{u"Dictée plus rapide"_s, u"Corrections"_s} << u"Dictée plus rapide"_s;
        QTest::newRow("no notes") << QJsonArray{} << QString();
        // Feed text is never markup.
        QTest::newRow("markup shown as typed") << QJsonArray{u"<b>gras</b> & <i>fin</i>"_s}
                                               << u"<b>gras</b> & <i>fin</i>"_s;
    }

    void namesTheReleaseAndItsFirstNote()
    {
        QFETCH(QJsonArray, notes);
        QFETCH(QString, detail);
        feed_.enqueue("GET", u"/api/updates"_s, ScriptedReply::json(release(notes)));
        QVERIFY(QCoro::waitFor(root_->updater()->check()));
        QTRY_COMPARE(text(u"updateTitle"_s), u"Ombry Voice 1.3.0 est disponible"_s);
        QCOMPARE(text(u"updateDetail"_s), detail);
        QCOMPARE(item(u"updateDetail"_s)->property("textFormat").toInt(), int(Qt::PlainText));
        QCOMPARE(text(u"updateInstall"_s), u"Mettre à jour"_s);
    }

    void refusedInstallShowsTheErrorInOrange()
    {
        feed_.enqueue("GET", u"/api/updates"_s, ScriptedReply::json(release({u"Dictée plus rapide"_s})));
        QVERIFY(QCoro::waitFor(root_->updater()->check()));
        QTRY_VERIFY(item(u"updateInstall"_s));
        const QColor note = item(u"updateDetail"_s)->property("color").value<QColor>();
        click(u"updateInstall"_s);
        // Not installed from a bundle: refused at once, said in place of the note.
        QTRY_VERIFY(!root_->updater()->error().isEmpty());
        QCOMPARE(text(u"updateDetail"_s), root_->updater()->error());
        QCOMPARE(item(u"updateDetail"_s)->property("color").value<QColor>(), QColor(u"#FF9500"_s));
        QVERIFY(note != QColor(u"#FF9500"_s));
        QCOMPARE(text(u"updateInstall"_s), u"Mettre à jour"_s);
        QVERIFY(item(u"updateInstall"_s)->isEnabled());

        QQuickWindow *window = root_->mainWindow()->window();
        const QStringList saved = Screenshots::inBothThemes(u"update-banner"_s, [&] { return Screenshots::scene(window); });
        QCOMPARE(saved.size(), 2);
    }

    void closedForTheRestOfTheRun()
    {
        QTRY_VERIFY(item(u"updateClose"_s));
        click(u"updateClose"_s);
        QTRY_VERIFY(!item(u"updateTitle"_s));
        QVERIFY(root_->updater()->dismissed());
        // A later check that finds a release does not bring it back.
        feed_.enqueue("GET", u"/api/updates"_s, ScriptedReply::json(release({u"Encore"_s})));
        QVERIFY(QCoro::waitFor(root_->updater()->check()));
        QTest::qWait(100);
        QVERIFY(!item(u"updateTitle"_s));
    }
};

OMBRY_TEST_APP_MAIN(TestUpdateBanner)
#include "tst_updatebanner.moc"
