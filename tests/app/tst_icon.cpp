#include "shell/OmbryIcon.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QImage>
#include <QProcess>

namespace {

// Where a point of the glyph's design box lands in an icon of side `s`.
QPoint glyphPixel(int s, qreal x, qreal y)
{
    const qreal d = 0.8 * s;
    const qreal k = 0.54 * d / 34;
    return QPoint(int(s / 2.0 - 0.27 * d + x * k), int(s / 2.0 - 15 * k + y * k));
}

int channelDistance(QColor a, QColor b)
{
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()), std::abs(a.blue() - b.blue())});
}

} // namespace

class TestIcon : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void mixing_data()
    {
        QTest::addColumn<QColor>("a");
        QTest::addColumn<QColor>("b");
        QTest::addColumn<double>("t");
        QTest::addColumn<QList<double>>("rgb");
        QTest::newRow("light end of the body") << OmbryIcon::accent() << QColor(Qt::white) << 0.62
                                               << QList<double>{0.38, 0.8274, 0.7909};
        QTest::newRow("dark end of the body") << OmbryIcon::accent() << QColor(Qt::black) << 0.72
                                              << QList<double>{0.0, 0.5196, 0.4772};
        QTest::newRow("all of a") << QColor(Qt::red) << QColor(Qt::blue) << 1.0 << QList<double>{1, 0, 0};
        QTest::newRow("all of b") << QColor(Qt::red) << QColor(Qt::blue) << 0.0 << QList<double>{0, 0, 1};
        QTest::newRow("translucent input, opaque result")
            << QColor(255, 255, 255, 10) << QColor(0, 0, 0, 10) << 0.5 << QList<double>{0.5, 0.5, 0.5};
    }

    void mixing()
    {
        QFETCH(QColor, a);
        QFETCH(QColor, b);
        QFETCH(double, t);
        QFETCH(QList<double>, rgb);
        const QColor mixed = OmbryIcon::mix(a, b, t);
        QVERIFY2(std::abs(mixed.redF() - rgb[0]) < 5e-4, qPrintable(QString::number(mixed.redF())));
        QVERIFY2(std::abs(mixed.greenF() - rgb[1]) < 5e-4, qPrintable(QString::number(mixed.greenF())));
        QVERIFY2(std::abs(mixed.blueF() - rgb[2]) < 5e-4, qPrintable(QString::number(mixed.blueF())));
        QCOMPARE(mixed.alphaF(), 1.0f);
    }

    void drawing_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("16") << 16;
        QTest::newRow("128") << 128;
        QTest::newRow("512") << 512;
        QTest::newRow("1024") << 1024;
    }

    void drawing()
    {
        QFETCH(int, size);
        const QImage image = OmbryIcon::image(size, OmbryIcon::accent(), OmbryIcon::Glyph::Bubble);
        QCOMPARE(image.size(), QSize(size, size));
        // Transparent corners: the tile's rounded corner and its margin.
        for (QPoint corner : {QPoint(0, 0), QPoint(size - 1, 0), QPoint(0, size - 1), QPoint(size - 1, size - 1)})
            QCOMPARE(qAlpha(image.pixel(corner)), 0);
        // The tile is opaque inside.
        QCOMPARE(qAlpha(image.pixel(int(size * 0.15), size / 2)), 255);
        // The tile's shadow falls below it, not above.
        if (size >= 128) {
            const int below = qAlpha(image.pixel(size / 2, int(size * 0.9 + size * 0.02)));
            const int above = qAlpha(image.pixel(size / 2, int(size * 0.1 - size * 0.02)));
            QVERIFY2(below > above && below > 0, qPrintable(QStringLiteral("%1 %2").arg(below).arg(above)));
        }
    }

    void barsInAccent_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QColor>("accent");
        QTest::newRow("1024 teal") << 1024 << OmbryIcon::accent();
        QTest::newRow("256 teal") << 256 << OmbryIcon::accent();
        QTest::newRow("512 red") << 512 << QColor(220, 40, 40);
    }

    void barsInAccent()
    {
        QFETCH(int, size);
        QFETCH(QColor, accent);
        const QImage image = OmbryIcon::image(size, accent, OmbryIcon::Glyph::Bubble);
        // The middle bar (x 17 to 19.4, y 5.5 to 18.5) is the accent; beside it, the bubble is white.
        QVERIFY2(channelDistance(image.pixelColor(glyphPixel(size, 18.2, 12)), accent) <= 3,
                 qPrintable(image.pixelColor(glyphPixel(size, 18.2, 12)).name()));
        QVERIFY(channelDistance(image.pixelColor(glyphPixel(size, 15.7, 3)), Qt::white) <= 3);
        // The tail points down to (6, 29).
        QVERIFY(channelDistance(image.pixelColor(glyphPixel(size, 7.5, 26)), Qt::white) <= 6);
        QVERIFY(channelDistance(image.pixelColor(glyphPixel(size, 20, 27)), Qt::white) > 40);
    }

    void dotsAreNotBars()
    {
        const QImage bars = OmbryIcon::image(256, OmbryIcon::accent(), OmbryIcon::Glyph::Bubble, OmbryIcon::Marks::Bars);
        const QImage dots = OmbryIcon::image(256, OmbryIcon::accent(), OmbryIcon::Glyph::Bubble, OmbryIcon::Marks::Dots);
        // The tall middle bar reaches y 6; the dots stay around y 12.
        QVERIFY(channelDistance(bars.pixelColor(glyphPixel(256, 18.2, 7)), OmbryIcon::accent()) <= 3);
        QVERIFY(channelDistance(dots.pixelColor(glyphPixel(256, 18.2, 7)), Qt::white) <= 3);
        QVERIFY(channelDistance(dots.pixelColor(glyphPixel(256, 17, 12)), OmbryIcon::accent()) <= 3);
    }

    void iconset_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("twice");
        QTest::newRow("new nested folder") << QStringLiteral("a/b/icones") << false;
        QTest::newRow("written twice") << QStringLiteral("icones") << true;
    }

    void iconset()
    {
        QFETCH(QString, folder);
        QFETCH(bool, twice);
        QTemporaryDir dir;
        const QString path = dir.filePath(folder);
        // The second writing replaces the first (the drop has no bars).
        if (twice)
            OmbryIcon::writeIconset(path, OmbryIcon::accent(), OmbryIcon::Glyph::Drop);
        OmbryIcon::writeIconset(path, OmbryIcon::accent(), OmbryIcon::Glyph::Bubble);
        checkIconset(path);
    }

    // The switch works without any display: the unit tests run with DISPLAY empty.
    void iconSwitchHeadless()
    {
        QTemporaryDir dir;
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(dir.path());
        process.start(QStringLiteral(OMBRY_BINARY), {QStringLiteral("--icon"), QStringLiteral("OUT")});
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        checkIconset(dir.filePath(QStringLiteral("OUT")));
    }

private:
    void checkIconset(const QString &path)
    {
        const QStringList expected = {
            QStringLiteral("icon_16x16.png"),     QStringLiteral("icon_16x16@2x.png"),
            QStringLiteral("icon_32x32.png"),     QStringLiteral("icon_32x32@2x.png"),
            QStringLiteral("icon_128x128.png"),   QStringLiteral("icon_128x128@2x.png"),
            QStringLiteral("icon_256x256.png"),   QStringLiteral("icon_256x256@2x.png"),
            QStringLiteral("icon_512x512.png"),   QStringLiteral("icon_512x512@2x.png"),
        };
        const QList<int> sizes = {16, 32, 32, 64, 128, 256, 256, 512, 512, 1024};
        QStringList found = QDir(path).entryList(QDir::Files, QDir::Name);
        QStringList sortedExpected = expected;
        sortedExpected.sort();
        QCOMPARE(found, sortedExpected);
        for (qsizetype i = 0; i < expected.size(); ++i) {
            const QImage image(QDir(path).filePath(expected[i]));
            QCOMPARE(image.size(), QSize(sizes[i], sizes[i]));
            QVERIFY(image.hasAlphaChannel());
            QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
            if (sizes[i] >= 256)
                QVERIFY(channelDistance(image.pixelColor(glyphPixel(sizes[i], 18.2, 12)), OmbryIcon::accent()) <= 3);
        }
    }
};

OMBRY_TEST_MAIN(TestIcon)
#include "tst_icon.moc"
