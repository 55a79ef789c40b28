#include "platform/FrontmostApp.h"
#include "support/TestEnv.h"
#include "ui/kit/AmbientBackground.h"
#include "ui/kit/AppIcons.h"
#include "ui/kit/Kit.h"

#include <QDir>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPainter>
#include <QRawFont>

// The kit's C++ side: every symbol exists in the icon font, application icons
// are found once and cached (misses too), the ambient picture is rendered once
// per size and appearance.
class TestKit : public QObject
{
    Q_OBJECT

    QString dataHome_;

    static void writeIcon(const QString &path, QColor colour)
    {
        QDir().mkpath(QFileInfo(path).path());
        QImage image(48, 48, QImage::Format_ARGB32);
        image.fill(colour);
        QVERIFY(image.save(path));
    }

    static void writeEntry(const QString &folder, const QString &id, const QString &icon)
    {
        const QString path = folder + QStringLiteral("/applications/") + id + QStringLiteral(".desktop");
        QDir().mkpath(QFileInfo(path).path());
        QVERIFY(TestEnv::writeFile(path, (QStringLiteral("[Desktop Entry]\nName=") + id + QStringLiteral("\nIcon=") + icon
                                          + QStringLiteral("\n")).toUtf8()));
    }

private Q_SLOTS:
    void initTestCase()
    {
        dataHome_ = TestEnv::home() + QStringLiteral("/.local/share");
        qputenv("XDG_DATA_DIRS", QFile::encodeName(TestEnv::home() + QStringLiteral("/system")));
        writeIcon(TestEnv::home() + QStringLiteral("/pictures/notes.png"), Qt::red);
        writeEntry(dataHome_, QStringLiteral("org.example.Notes"), TestEnv::home() + QStringLiteral("/pictures/notes.png"));
        writeEntry(dataHome_, QStringLiteral("org.example.Broken"), QStringLiteral("/nonexistent/broken.png"));
        FrontmostApp::reloadDesktopIndex();
    }

    void everySymbolIsInTheFont_data()
    {
        QTest::addColumn<QString>("name");
        for (const QString &name : Kit::symbolNames())
            QTest::newRow(qPrintable(name)) << name;
    }

    void everySymbolIsInTheFont()
    {
        QFETCH(QString, name);
        static const QRawFont font(QStringLiteral("/usr/share/fonts/truetype/material-design-icons-iconfont/MaterialIcons-Regular.ttf"), 24);
        QVERIFY2(font.isValid(), "fonts-material-design-icons-iconfont is not installed");
        const QString glyph = Kit::glyph(name);
        QCOMPARE(glyph.size(), 1);
        QVERIFY2(font.supportsCharacter(glyph.at(0)), qPrintable(QString::number(glyph.at(0).unicode(), 16)));
    }

    void symbolFontIsFoundByFamily()
    {
        QVERIFY(QFontDatabase::families().contains(Kit::symbolFont()));
    }

    void icons_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QRgb>("centre");
        QTest::newRow("desktop id") << QStringLiteral("org.example.Notes") << true << qRgb(255, 0, 0);
        QTest::newRow("desktop file name") << QStringLiteral("org.example.Notes.desktop") << true << qRgb(255, 0, 0);
        QTest::newRow("absolute path") << TestEnv::home() + QStringLiteral("/pictures/notes.png") << true << qRgb(255, 0, 0);
        QTest::newRow("entry with a missing icon") << QStringLiteral("org.example.Broken") << false << QRgb(0);
        QTest::newRow("unknown id") << QStringLiteral("org.example.Absent") << false << QRgb(0);
        QTest::newRow("missing file") << QStringLiteral("/nonexistent/icon.png") << false << QRgb(0);
    }

    void icons()
    {
        QFETCH(QString, key);
        QFETCH(bool, found);
        QFETCH(QRgb, centre);
        const std::optional<QImage> icon = AppIcons::icon(key);
        QCOMPARE(icon.has_value(), found);
        QCOMPARE(Kit::hasAppIcon(key), found);
        if (found) {
            // Kept at 64 × 64 whatever the source size.
            QCOMPARE(icon->size(), QSize(64, 64));
            QCOMPARE(icon->pixel(32, 32) | 0xff000000u, centre);
        }
    }

    void aMissIsRememberedForTheProcess()
    {
        const QString id = QStringLiteral("org.example.Later");
        QVERIFY(!AppIcons::icon(id));
        // Installed afterwards: still the letter until the next start.
        writeIcon(TestEnv::home() + QStringLiteral("/pictures/later.png"), Qt::blue);
        writeEntry(dataHome_, id, TestEnv::home() + QStringLiteral("/pictures/later.png"));
        FrontmostApp::reloadDesktopIndex();
        const qsizetype before = AppIcons::cachedCount();
        QVERIFY(!AppIcons::icon(id));
        QCOMPARE(AppIcons::cachedCount(), before);
    }

    void iconSourceIsEscaped_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("source");
        QTest::newRow("id") << QStringLiteral("firefox-esr") << QStringLiteral("image://appicon/firefox-esr");
        QTest::newRow("path") << QStringLiteral("/opt/a b/i.png") << QStringLiteral("image://appicon/%2Fopt%2Fa%20b%2Fi.png");
        QTest::newRow("empty") << QString() << QString();
    }

    void iconSourceIsEscaped()
    {
        QFETCH(QString, key);
        QFETCH(QString, source);
        QCOMPARE(Kit::appIconSource(key), source);
        if (!key.isEmpty())
            QCOMPARE(QUrl::fromPercentEncoding(source.mid(16).toUtf8()), key);
    }

    void ambientIsRenderedOncePerInput_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("dark");
        QTest::addColumn<bool>("light");
        QTest::addColumn<QColor>("corner"); // bottom-right, out of reach of the lights
        QTest::newRow("light") << QSize(2400, 1600) << false << false << QColor::fromRgbF(0.95f, 0.98f, 0.98f);
        QTest::newRow("dark") << QSize(2400, 1600) << true << false << QColor::fromRgbF(0.05f, 0.09f, 0.1f);
        QTest::newRow("light visuals, light") << QSize(2400, 1600) << false << true << QColor::fromRgbF(0.95f, 0.97f, 0.99f);
        QTest::newRow("light visuals, dark") << QSize(2400, 1600) << true << true << QColor::fromRgbF(0.04f, 0.07f, 0.09f);
    }

    void ambientIsRenderedOncePerInput()
    {
        QFETCH(QSize, size);
        QFETCH(bool, dark);
        QFETCH(bool, light);
        QFETCH(QColor, corner);
        const int before = AmbientBackground::renderCount();
        const QImage first = AmbientBackground::render(size, dark, light);
        QCOMPARE(AmbientBackground::renderCount(), before + 1);
        const QImage again = AmbientBackground::render(size, dark, light);
        QCOMPARE(AmbientBackground::renderCount(), before + 1);
        QCOMPARE(again, first);
        QCOMPARE(first.size(), size);
        const QColor seen = first.pixelColor(size.width() - 1, size.height() - 1);
        QVERIFY2(qAbs(seen.red() - corner.red()) <= 3 && qAbs(seen.green() - corner.green()) <= 3
                     && qAbs(seen.blue() - corner.blue()) <= 3,
                 qPrintable(seen.name()));
        if (!light) {
            // The accent light sits up and to the left: tinted towards it.
            const QColor lit = first.pixelColor(size.width() / 2 - 380, size.height() / 2 - 300);
            QVERIFY(lit.green() - lit.red() > 15);
        }
    }
};

OMBRY_TEST_MAIN_IMPL(TestKit, QGuiApplication)
#include "tst_kit.moc"
