#include "app/Application.h"
#include "shell/InterfaceKeys.h"
#include "shell/MainWindow.h"
#include "shell/Navigation.h"
#include "model/AppSettings.h"
#include "model/Defaults.h"
#include "model/Store.h"
#include "pages/CorrectorModel.h"
#include "support/Screenshots.h"
#include "support/TestEnv.h"

#include <QQuickItem>
#include <QQuickWindow>
#include <QtMath>

using namespace Qt::StringLiterals;

// The main window at its smallest and at a large size, every page and settings
// tab, in both appearances: no control leaves the window or its card, no button
// label is shortened, and the view is never smaller than what it needs. Each
// page is kept as a screenshot for people to look at.
class TestWindowFit : public QObject
{
    Q_OBJECT

    std::unique_ptr<Application> root_;

    QQuickWindow *window() { return root_->mainWindow()->window(); }

    QQuickItem *pageItem()
    {
        QQuickItem *content = root_->mainWindow()->content();
        auto *loader = content ? content->findChild<QQuickItem *>(u"page"_s) : nullptr;
        return loader ? loader->property("item").value<QQuickItem *>() : nullptr;
    }

    static QString describe(const QQuickItem *item)
    {
        const QString name = item->property("text").toString();
        return QString::fromLatin1(item->metaObject()->className()).section(u'_', 0, 0)
               + (name.isEmpty() ? QString() : u" « "_s + name + u" »"_s);
    }

    static bool shown(const QQuickItem *item)
    {
        for (const QQuickItem *i = item; i; i = i->parentItem())
            if (!i->isVisible() || i->opacity() == 0)
                return false;
        return true;
    }

    // The card an item is drawn on, if any.
    static const QQuickItem *cardOf(const QQuickItem *item)
    {
        for (const QQuickItem *i = item->parentItem(); i; i = i->parentItem())
            if (QString::fromLatin1(i->metaObject()->className()).startsWith(u"Card_QMLTYPE"_s))
                return i;
        return nullptr;
    }

    // What is wrong with the items under `root`, one line each.
    static QStringList faults(QQuickItem *root, qreal windowWidth)
    {
        QStringList found;
        const QList<QQuickItem *> items = root->findChildren<QQuickItem *>();
        for (QQuickItem *item : items) {
            const bool control = item->inherits("QQuickControl");
            const bool text = item->inherits("QQuickText");
            if ((!control && !text) || item->width() <= 0 || !shown(item))
                continue;
            const QRectF r = item->mapRectToScene(QRectF(0, 0, item->width(), item->height()));
            if (r.left() < -0.5 || r.right() > windowWidth + 0.5)
                found << describe(item) + u" leaves the window: "_s + QString::number(r.left()) + u".."_s
                             + QString::number(r.right());
            if (const QQuickItem *card = cardOf(item)) {
                const QRectF c = card->mapRectToScene(QRectF(0, 0, card->width(), card->height()));
                if (r.left() < c.left() - 0.5 || r.right() > c.right() + 0.5)
                    found << describe(item) + u" leaves its card"_s;
            }
            // A button's label is never shortened.
            if (text && item->property("truncated").toBool() && item->parentItem()
                && (item->parentItem()->inherits("QQuickAbstractButton")
                    || (item->parentItem()->parentItem() && item->parentItem()->parentItem()->inherits("QQuickAbstractButton"))))
                found << describe(item) + u" is cut"_s;
        }
        return found;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "run under scripts/session");
        Defaults::standard().set(u"onboarded"_s, true);
        root_ = std::make_unique<Application>();
        // Figures as wide as a month of use gives them: a spending pill, a delta line.
        Store *store = root_->store();
        const QDateTime now = QDateTime::currentDateTime();
        const auto dictation = [](const QDateTime &date, const QString &app, int words) {
            Dictation d;
            d.date = date.toUTC();
            d.appName = app;
            d.finalText = d.rawText = QStringList(words, u"mot"_s).join(u' ');
            d.duration = words / 3.0;
            return d;
        };
        store->setDictations({dictation(now.addSecs(-60), u"Firefox"_s, 1250), dictation(now.addDays(-1), u"Thunderbird"_s, 1000)});
        store->setCosts({CostEntry{now.toUTC().addSecs(-5), 3.456}});
        root_->mainWindow()->show();
        QVERIFY(QTest::qWaitForWindowExposed(window()));
    }

    void cleanupTestCase() { root_.reset(); }

    void minimumAddsTheMenuBarToTheView()
    {
        QQuickItem *content = root_->mainWindow()->content();
        auto *body = content->property("body").value<QQuickItem *>();
        QVERIFY(body && !body->childItems().isEmpty());
        const QQuickItem *view = body->childItems().constFirst();
        QCOMPARE(window()->minimumSize(), QSize(qCeil(view->implicitWidth()), qCeil(body->y() + view->implicitHeight())));
        QCOMPARE(window()->minimumSize(), MainWindow::kMinimumSize);
    }

    void everyPageFits_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("page");
        QTest::addColumn<QString>("variant");
        const QList<std::pair<const char *, QSize>> sizes{{"minimum", MainWindow::kMinimumSize}, {"large", QSize(1400, 900)}};
        for (const auto &[sizeName, size] : sizes) {
            for (Navigation::Page page : Navigation::all()) {
                QStringList variants{QString()};
                if (page == Navigation::Page::Settings)
                    variants = {u"general"_s, u"dictation"_s, u"correction"_s, u"account"_s, u"permissions"_s, u"advanced"_s};
                else if (page == Navigation::Page::Translator)
                    variants = {u"text"_s, u"calls"_s};
                else if (page == Navigation::Page::Corrector)
                    variants = {u"correct"_s, u"rephrase"_s};
                for (const QString &variant : variants) {
                    const QString tag = QString::fromLatin1(sizeName) + u'-' + Navigation::name(page)
                                        + (variant.isEmpty() ? QString() : u'-' + variant);
                    QTest::newRow(qPrintable(tag)) << size << int(page) << variant;
                }
            }
        }
    }

    void everyPageFits()
    {
        QFETCH(QSize, size);
        QFETCH(int, page);
        QFETCH(QString, variant);
        const auto which = Navigation::Page(page);
        if (which == Navigation::Page::Settings)
            TestEnv::own<InterfaceKeys>()->setSettingsTab(variant);
        if (which == Navigation::Page::Translator)
            TestEnv::own<InterfaceKeys>()->setTranslationTab(variant);
        TestEnv::own<Navigation>()->setPage(which);
        window()->resize(size);
        QVERIFY2(TestEnv::waitFor([&] { return window()->size() == size; }, 5000),
                 qPrintable(u"%1x%2"_s.arg(window()->width()).arg(window()->height())));
        QVERIFY(TestEnv::waitFor([&] { return pageItem() != nullptr; }));
        if (which == Navigation::Page::Corrector) {
            auto *corrector = pageItem()->findChild<CorrectorModel *>();
            QVERIFY(corrector);
            corrector->setMode(variant == u"rephrase"_s ? CorrectorModel::Mode::Rephrase : CorrectorModel::Mode::Correct);
            corrector->setText(u"Je vous envoi le fichier demain matin, comme convenu avec l'équipe."_s);
        }

        // The view gets at least what it asks for, below the menu bar.
        QQuickItem *content = root_->mainWindow()->content();
        auto *body = content->property("body").value<QQuickItem *>();
        const QQuickItem *view = body->childItems().constFirst();
        QVERIFY(view->width() >= view->implicitWidth() && view->height() >= view->implicitHeight());

        QStringList problems;
        const QString name = u"fit-"_s + QString::fromLatin1(QTest::currentDataTag());
        const QStringList paths = Screenshots::inBothThemes(name, [&] {
            // Counting figures and gliding capsules come to rest first.
            TestEnv::waitFor([] { return false; }, 700);
            const QString theme = TestEnv::settings()->theme() == Ombry::Theme::Dark ? u"dark: "_s : u"light: "_s;
            for (const QString &fault : faults(content, window()->width()))
                problems << theme + fault;
            return Screenshots::scene(window());
        });
        QCOMPARE(paths.size(), 2);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
    }
};

OMBRY_TEST_APP_MAIN(TestWindowFit)
#include "tst_window_fit.moc"
