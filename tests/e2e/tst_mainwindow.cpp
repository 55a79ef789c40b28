#include "app/Application.h"
#include "core/PrivateFiles.h"
#include "shell/ShellActions.h"
#include "shell/InterfaceKeys.h"
#include "shell/MainWindow.h"
#include "shell/Navigation.h"
#include "dictation/DictationController.h"
#include "model/AppSettings.h"
#include "model/Defaults.h"
#include "model/Store.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QGuiApplication>
#include <QJsonValue>
#include <QQuickItem>
#include <QQuickWindow>
#include <QScopeGuard>
#include <QScreen>
#include <QSignalSpy>

#include <cerrno>

using namespace Qt::StringLiterals;

// The main window on the private desktop, in this process: where it opens,
// what closing and showing again do, and that its frame comes back where it
// was left.
class TestMainWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<Application> root_;

    MainWindow *window() { return root_->mainWindow(); }

    // The item of the current page, below the page loader.
    QQuickItem *pageItem()
    {
        auto *loader = window()->content() ? window()->content()->findChild<QQuickItem *>(u"page"_s) : nullptr;
        return loader ? loader->property("item").value<QQuickItem *>() : nullptr;
    }

    static QString textOf(QQuickItem *root, const QString &objectName)
    {
        auto *item = root ? root->findChild<QQuickItem *>(objectName) : nullptr;
        return item ? item->property("text").toString() : u"(absent)"_s;
    }

    // The client area as the X server has it, once the window manager placed it.
    static QRect settledGeometry(QQuickWindow *w)
    {
        QRect last;
        TestEnv::waitFor([&] {
            const QRect now = w->geometry();
            const bool same = now == last;
            last = now;
            return same && w->isExposed();
        }, 3000);
        return last;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "run under scripts/session");
        Defaults::standard().set(u"onboarded"_s, true);
        // A user with a key: the status card reads "Prêt".
        qputenv("OPENROUTER_API_KEY", "sk-or-test");
        root_ = std::make_unique<Application>();
    }

    void cleanupTestCase() { root_.reset(); }

    void firstShowIsCentred()
    {
        window()->show();
        QQuickWindow *w = window()->window();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QCOMPARE(w->title(), u"Ombry Voice"_s);
        const QRect geometry = settledGeometry(w);
        QCOMPARE(geometry.size(), QSize(1100, 760));
        const QRect screen = w->screen()->availableGeometry();
        // The client area is centred; the decorations may shift it a little.
        QVERIFY2(std::abs(geometry.center().x() - screen.center().x()) <= 12
                     && std::abs(geometry.center().y() - screen.center().y()) <= 30,
                 qPrintable(u"%1,%2 on %3x%4"_s.arg(geometry.x()).arg(geometry.y()).arg(screen.width()).arg(screen.height())));
        QCOMPARE(w->minimumSize(), QSize(1000, 680));
    }

    void statusCardFollowsTheController_data()
    {
        QTest::addColumn<DictationController::State>("state");
        QTest::addColumn<bool>("translating");
        QTest::addColumn<QString>("title");
        QTest::newRow("recording") << DictationController::State::Recording << false << u"J'écoute…"_s;
        QTest::newRow("processing") << DictationController::State::Processing << false << u"Mise au propre…"_s;
        QTest::newRow("correcting") << DictationController::State::Correcting << false << u"Correction…"_s;
        QTest::newRow("translating") << DictationController::State::Correcting << true << u"Traduction…"_s;
        QTest::newRow("idle") << DictationController::State::Idle << false << u"Prêt"_s;
    }

    void statusCardFollowsTheController()
    {
        QFETCH(DictationController::State, state);
        QFETCH(bool, translating);
        QFETCH(QString, title);
        window()->show();
        DictationController *controller = root_->controller();
        controller->setTranslating(translating);
        controller->setState(state);
        QCOMPARE(textOf(window()->content(), u"statusTitle"_s), title);
        controller->setState(DictationController::State::Idle);
        controller->setTranslating(false);
    }

    void keyLabelFollowsTheSetting_data()
    {
        QTest::addColumn<Ombry::DictationKey>("key");
        QTest::addColumn<QString>("label");
        QTest::newRow("right super") << Ombry::DictationKey::RightSuper << u"Super droit"_s;
        QTest::newRow("right control") << Ombry::DictationKey::RightControl << u"Ctrl droit"_s;
    }

    void keyLabelFollowsTheSetting()
    {
        QFETCH(Ombry::DictationKey, key);
        QFETCH(QString, label);
        window()->show();
        root_->settings()->setKey(key);
        QCOMPARE(textOf(window()->content(), u"statusKey"_s), label);
    }

    void closingDropsTheViewsAndKeepsThePage()
    {
        window()->show();
        QQuickWindow *w = window()->window();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        TestEnv::own<Navigation>()->setPage(Navigation::Page::Settings);
        QPointer<QQuickItem> before = window()->content();
        QPointer<QQuickItem> page = pageItem();
        QVERIFY(before && page);
        QSignalSpy dropped(window(), &MainWindow::contentDropped);
        QVERIFY(w->close());
        // Not inside the close: on the next turn of the event loop.
        QVERIFY(before);
        QVERIFY(dropped.wait(2000));
        QVERIFY(!before);
        QVERIFY(!page);
        QVERIFY(!w->isVisible());

        window()->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QVERIFY(window()->content());
        QCOMPARE(TestEnv::own<Navigation>()->page(), Navigation::Page::Settings);
        QVERIFY(pageItem());
        QCOMPARE(textOf(window()->content(), u"statusTitle"_s), u"Prêt"_s);
    }

    void showingTwiceKeepsTheViews()
    {
        window()->show();
        QPointer<QQuickItem> before = window()->content();
        window()->show();
        QTest::qWait(50);
        QCOMPARE(window()->content(), before.data());
    }

    void showAgainRightAfterCloseKeepsContent()
    {
        window()->show();
        QQuickWindow *w = window()->window();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        w->close();
        // Shown again before the drop's turn: the window must not end up empty.
        window()->show();
        QTest::qWait(100);
        QVERIFY(window()->content());
        QVERIFY(w->isVisible());
    }

    void showingAMinimisedWindowBringsItBack()
    {
        window()->show();
        QQuickWindow *w = window()->window();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        w->showMinimized();
        QTRY_VERIFY(!w->isExposed());
        window()->show();
        QTRY_VERIFY(w->isExposed());
        QVERIFY(!(w->windowStates() & Qt::WindowMinimized));
    }

    void pageSwitchGivesAFreshPage()
    {
        window()->show();
        TestEnv::own<Navigation>()->setPage(Navigation::Page::Translator);
        QPointer<QQuickItem> translator = pageItem();
        QVERIFY(translator);
        TestEnv::own<Navigation>()->setPage(Navigation::Page::History);
        QTRY_VERIFY(!translator);
        TestEnv::own<Navigation>()->setPage(Navigation::Page::Translator);
        QVERIFY(pageItem());
    }

    void escapeDismissesTheOnboarding()
    {
        TestEnv::own<InterfaceKeys>()->setOnboarded(false);
        window()->show();
        QQuickWindow *w = window()->window();
        QVERIFY(QTest::qWaitForWindowActive(w));
        auto *sheet = window()->content()->findChild<QQuickItem *>(u"onboarding"_s);
        QVERIFY(sheet);
        QTRY_VERIFY(sheet->property("active").toBool());
        QTest::keyClick(w, Qt::Key_Escape);
        QTRY_VERIFY(TestEnv::own<InterfaceKeys>()->onboarded());
        QVERIFY(!sheet->property("active").toBool());
        QCOMPARE(Defaults::standard().object(u"onboarded"_s), QJsonValue(true));
    }

    void aUserWithDictationsIsNeverOnboarded_data()
    {
        QTest::addColumn<bool>("dictations");
        QTest::newRow("empty history: the sheet stays") << false;
        QTest::newRow("a dictation: onboarded at once") << true;
    }

    void aUserWithDictationsIsNeverOnboarded()
    {
        QFETCH(bool, dictations);
        QQuickWindow *w = window()->window();
        if (w->isVisible()) {
            w->close();
            QTRY_VERIFY(!window()->content());
        }
        TestEnv::own<InterfaceKeys>()->setOnboarded(false);
        Dictation dictation;
        dictation.finalText = u"Bonjour"_s;
        root_->store()->setDictations(dictations ? QList<Dictation>{dictation} : QList<Dictation>{});
        window()->show();
        QCOMPARE(TestEnv::own<InterfaceKeys>()->onboarded(), dictations);
        auto *sheet = window()->content()->findChild<QQuickItem *>(u"onboarding"_s);
        QCOMPARE(sheet->property("active").toBool(), !dictations);
        TestEnv::own<InterfaceKeys>()->setOnboarded(true);
        root_->store()->setDictations({});
    }

    // A folder that refuses writes is said above every page, and a quit then asks
    // first instead of dropping what is still in memory.
    void unwritableDataIsSaidAndGuardsTheQuit()
    {
        window()->show();
        QVERIFY(QTest::qWaitForWindowExposed(window()->window()));
        QQuickItem *content = window()->content();
        QCOMPARE(textOf(content, u"storageProblem"_s), u"(absent)"_s);
        PrivateFiles::setWriteFault(EROFS);
        auto clear = qScopeGuard([] { PrivateFiles::setWriteFault(0); });
        Dictation d;
        d.date = QDateTime::currentDateTimeUtc();
        d.finalText = u"Une dictée à garder."_s;
        root_->store()->add(d);
        QVERIFY(TestEnv::waitFor([&] { return textOf(window()->content(), u"storageProblem"_s)
                                              == u"Impossible d'enregistrer : dossier en lecture seule"_s; }, 3000));
        // The capsule says it too, where the user's eyes are while dictating.
        QCOMPARE(root_->controller()->flash(), std::optional<QString>(u"Impossible d'enregistrer : dossier en lecture seule"_s));

        QSignalSpy quit(qApp, &QCoreApplication::aboutToQuit);
        root_->shell()->quit();
        QVERIFY(root_->shell()->quitWarning().startsWith(u"Impossible d'enregistrer : dossier en lecture seule. "_s));
        QVERIFY(TestEnv::waitFor([&] { return textOf(window()->content(), u"storageProblem"_s) == root_->shell()->quitWarning(); }, 3000));
        auto *anyway = window()->content()->findChild<QQuickItem *>(u"quitAnyway"_s);
        QVERIFY(anyway && anyway->isVisible());
        QCOMPARE(anyway->property("text").toString(), u"Quitter quand même"_s);
        root_->shell()->cancelQuit();

        // Once the folder takes writes again, everything is written and the banner goes.
        PrivateFiles::setWriteFault(0);
        QCOMPARE(root_->shell()->quitWarning(), QString());
        root_->store()->flush();
        QVERIFY(TestEnv::waitFor([&] { return textOf(window()->content(), u"storageProblem"_s) == u"(absent)"_s; }, 3000));
        QVERIFY(root_->store()->unsaved().isEmpty());
        QCOMPARE(quit.count(), 0);
    }

    void frameComesBackWithoutDrift()
    {
        window()->show();
        QQuickWindow *w = window()->window();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        w->setGeometry(QRect(70, 90, 1040, 700));
        const QRect left = settledGeometry(w);
        QCOMPARE(left.size(), QSize(1040, 700));
        w->close();
        QTest::qWait(50);

        // Three more launches, each reading what the previous one saved.
        for (int launch = 0; launch < 3; ++launch) {
            MainWindow again(root_->engine(), Defaults::standard(), root_->store(), root_->navigation(),
                             root_->interfaceKeys());
            again.show();
            QVERIFY(QTest::qWaitForWindowExposed(again.window()));
            QCOMPARE(settledGeometry(again.window()), left);
            again.window()->close();
            QTest::qWait(50);
        }
    }
};

OMBRY_TEST_APP_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
