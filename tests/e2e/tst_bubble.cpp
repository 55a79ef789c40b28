#include "app/Application.h"
#include "dictation/BubbleController.h"
#include "dictation/DictationController.h"
#include "model/AppSettings.h"
#include "support/AtspiReader.h"
#include "support/Screenshots.h"
#include "support/TestEnv.h"
#include "tools/test_editor_client.h"
#include "tools/test_editor_cloud.h"

#include <QApplication>
#include <QQuickWindow>

using DesktopTools::readClipboard;
using DesktopTools::run;

namespace {

const QString kTitle = QStringLiteral("Ombry Voice — bulle");

QString xdo(const QStringList &args)
{
    return QString::fromUtf8(run(QStringLiteral("xdotool"), args).out).trimmed();
}

// Geometries of the mapped bubble windows, as the X server sees them.
QList<QRect> bubbles()
{
    QList<QRect> found;
    const QString ids = xdo({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"), kTitle});
    for (const QString &id : ids.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        QHash<QString, int> v;
        for (const QString &line : xdo({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), id}).split(QLatin1Char('\n')))
            v.insert(line.section(QLatin1Char('='), 0, 0), line.section(QLatin1Char('='), 1).toInt());
        found << QRect(v.value(QStringLiteral("X")), v.value(QStringLiteral("Y")), v.value(QStringLiteral("WIDTH")),
                       v.value(QStringLiteral("HEIGHT")));
    }
    return found;
}

void pointerAt(int x, int y)
{
    run(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QString::number(x), QString::number(y)});
}

} // namespace

// The translation bubble of read-only text: shown near the pointer with the
// result and the original, its buttons usable through AT-SPI, closed by Escape
// or a click elsewhere, one at a time.
class TestBubble : public QObject
{
    Q_OBJECT

    EditorCloud cloud;
    DesktopTools::Editor editor;
    BubbleController *bubble = nullptr;

    static bool copies(int n)
    {
        for (int i = 0; i < n; ++i)
            if (!DesktopTools::key(QStringLiteral("ctrl+c")))
                return false;
        return true;
    }

    bool showByHand(const QString &text)
    {
        bubble->show(QStringLiteral("Traduit en anglais"), QStringLiteral("Texte d'origine."), text);
        return TestEnv::waitFor([] { return bubbles().size() == 1; }, 3000);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "run under scripts/session");
        qputenv("OMBRY_TEST_ACCEPT_XTEST", "1");
        QVERIFY(cloud.start());
        AppSettings *settings = TestEnv::settings();
        settings->setRewriteEngine(RewriteEngine::OpenRouter);
        settings->setCorrectionShortcut(true);
        settings->setCorrectionDoubleCopy(true);
        settings->setTranslateTarget(QStringLiteral("anglais"));
        settings->setSounds(false);
        QVERIFY(editor.start(QStringLiteral(""), QStringLiteral("Le chat dort sur le canapé du salon.")));
        bubble = Application::root().bubble();
        DictationController *controller = TestEnv::own<DictationController>();
        controller->start();
        QVERIFY(TestEnv::waitFor([&] { return controller->hotkey().active(); }, 5000));
    }

    void cleanup()
    {
        bubble->close();
        QVERIFY(TestEnv::waitFor([] { return bubbles().isEmpty(); }, 3000));
    }

    void translationOfReadOnlyText()
    {
        pointerAt(600, 400);
        const QString active = xdo({QStringLiteral("getactivewindow")});
        QVERIFY(editor.send(QStringLiteral("select-label")));
        QVERIFY(copies(3));
        QVERIFY(TestEnv::waitFor([] { return bubbles().size() == 1; }, 8000));
        const QRect geometry = bubbles().first();
        QCOMPARE(geometry.width(), 380);
        QVERIFY2(geometry.height() >= 120 && geometry.height() <= 420, qPrintable(QString::number(geometry.height())));
        QCOMPARE(geometry.topLeft(), QPoint(410, 418));
        QCOMPARE(xdo({QStringLiteral("getactivewindow")}), active);

        const AtspiReader reader(kTitle);
        const auto heading = reader.find(QStringLiteral("heading"));
        QVERIFY(heading);
        QVERIFY2(heading->name.startsWith(QLatin1String("Traduit en ")), qPrintable(heading->name));
        const QStringList texts = reader.texts();
        QVERIFY2(texts.contains(cloud.translation), qPrintable(texts.join(QLatin1Char('|'))));
        QVERIFY(texts.contains(QStringLiteral("Le chat dort sur le canapé du salon.")));
        Screenshots::inBothThemes(QStringLiteral("bubble"), [&] { return Screenshots::screen(geometry); });

        // Copy: the result on the clipboard, the bubble still open.
        QVERIFY(reader.act(QStringLiteral("push button"), QStringLiteral("Copier")));
        QVERIFY(TestEnv::waitFor([&] { return readClipboard().out == cloud.translation.toUtf8(); }, 3000));
        QVERIFY(bubble->copied());
        QVERIFY(reader.act(QStringLiteral("push button"), QStringLiteral("Copier")));
        QVERIFY(TestEnv::waitFor([&] { return readClipboard().out == cloud.translation.toUtf8(); }, 3000));
        QCOMPARE(bubbles().size(), 1);

        // Escape in the editor closes it.
        QVERIFY(DesktopTools::key(QStringLiteral("Escape")));
        QVERIFY(TestEnv::waitFor([] { return bubbles().isEmpty(); }, 3000));
        QVERIFY(!bubble->visible());
    }

    void closeButton()
    {
        pointerAt(600, 400);
        QVERIFY(showByHand(QStringLiteral("Hello.")));
        QVERIFY(AtspiReader(kTitle).act(QStringLiteral("push button"), QStringLiteral("Fermer")));
        QVERIFY(TestEnv::waitFor([] { return bubbles().isEmpty(); }, 3000));
    }

    void otherKeysLeaveItOpen()
    {
        pointerAt(600, 400);
        QVERIFY(showByHand(QStringLiteral("Hello.")));
        QVERIFY(DesktopTools::key(QStringLiteral("a")));
        QTest::qWait(300);
        QCOMPARE(bubbles().size(), 1);
    }

    void aClickElsewhereClosesIt_data()
    {
        QTest::addColumn<QPoint>("click");
        QTest::addColumn<bool>("closes");
        QTest::newRow("on the desktop") << QPoint(1200, 1000) << true;
        QTest::newRow("inside the bubble") << QPoint(600, 480) << false;
    }

    void aClickElsewhereClosesIt()
    {
        QFETCH(QPoint, click);
        QFETCH(bool, closes);
        pointerAt(600, 400);
        QVERIFY(showByHand(QStringLiteral("Hello.")));
        run(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QString::number(click.x()), QString::number(click.y()),
                                        QStringLiteral("click"), QStringLiteral("1")});
        if (closes) {
            QVERIFY(TestEnv::waitFor([] { return bubbles().isEmpty(); }, 3000));
        } else {
            QTest::qWait(400);
            QCOMPARE(bubbles().size(), 1);
        }
    }

    void aClickOnTheEditorClosesIt()
    {
        const QString editorWindow = xdo({QStringLiteral("search"), QStringLiteral("--pid"), QString::number(editor.pid())}).section(QLatin1Char('\n'), 0, 0);
        QVERIFY(!editorWindow.isEmpty());
        pointerAt(600, 400);
        QVERIFY(showByHand(QStringLiteral("Hello.")));
        run(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QStringLiteral("--window"), editorWindow, QStringLiteral("20"),
                                        QStringLiteral("20"), QStringLiteral("click"), QStringLiteral("1")});
        QVERIFY(TestEnv::waitFor([] { return bubbles().isEmpty(); }, 3000));
    }

    void placement_data()
    {
        QTest::addColumn<QPoint>("pointer");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QPoint>("topLeft");
        QTest::addColumn<int>("height");
        QTest::newRow("one line: minimum height") << QPoint(600, 400) << QStringLiteral("Hello.") << QPoint(410, 418) << 120;
        QTest::newRow("left edge") << QPoint(30, 400) << QStringLiteral("Hello.") << QPoint(8, 418) << 120;
        QTest::newRow("right edge") << QPoint(1270, 400) << QStringLiteral("Hello.") << QPoint(892, 418) << 120;
        QTest::newRow("bottom: above the pointer") << QPoint(600, 1000) << QStringLiteral("Hello.") << QPoint(410, 862) << 120;
        QTest::newRow("long result: maximum height") << QPoint(600, 100)
            << QString(QStringLiteral("A long translated sentence that wraps. ")).repeated(60) << QPoint(410, 118) << 420;
    }

    void placement()
    {
        QFETCH(QPoint, pointer);
        QFETCH(QString, text);
        QFETCH(QPoint, topLeft);
        QFETCH(int, height);
        pointerAt(pointer.x(), pointer.y());
        QVERIFY(showByHand(text));
        QCOMPARE(bubbles().first(), QRect(topLeft, QSize(380, height)));
        if (height == 420)
            Screenshots::inBothThemes(QStringLiteral("bubble-long"), [&] { return Screenshots::screen(bubbles().first()); });
    }

    void aSecondRequestReplacesTheFirst()
    {
        pointerAt(600, 400);
        QVERIFY(showByHand(QStringLiteral("First.")));
        pointerAt(300, 200);
        QVERIFY(showByHand(QStringLiteral("Second.")));
        QCOMPARE(bubbles().size(), 1);
        QCOMPARE(bubbles().first().topLeft(), QPoint(110, 218));
        QVERIFY(AtspiReader(kTitle).texts().contains(QStringLiteral("Second.")));
        QVERIFY(!bubble->copied());
    }

    void outsideTextIsPlain()
    {
        pointerAt(600, 400);
        QVERIFY(showByHand(QStringLiteral("<b>gras</b> & <i>x</i>")));
        QVERIFY(AtspiReader(kTitle).texts().contains(QStringLiteral("<b>gras</b> & <i>x</i>")));
    }
};

OMBRY_TEST_ROOT_MAIN(TestBubble)
#include "tst_bubble.moc"
