#include "platform/KeySteps.h"
#include "platform/KeyTable.h"
#include "platform/UinputKeyboard.h"

#include <QTemporaryFile>
#include <QTest>

#include <linux/input.h>

class TstUinputKeys : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void encodesEachStepAsKeyAndReport_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<quint64>("modifiers");
        QTest::addColumn<QList<int>>("codes");  // in order
        QTest::addColumn<QList<int>>("values"); // 1 down, 0 up
        QTest::newRow("Ctrl+V") << int(KeyTable::V) << quint64(KeyTable::Control)
                                << QList<int>{KEY_LEFTCTRL, KEY_V, KEY_V, KEY_LEFTCTRL} << QList<int>{1, 1, 0, 0};
        QTest::newRow("Ctrl+Maj+V") << int(KeyTable::V) << quint64(KeyTable::Control | KeyTable::Shift)
                                    << QList<int>{KEY_LEFTCTRL, KEY_LEFTSHIFT, KEY_V, KEY_V, KEY_LEFTSHIFT, KEY_LEFTCTRL}
                                    << QList<int>{1, 1, 1, 0, 0, 0};
        QTest::newRow("Maj+Inser") << int(KeyTable::Insert) << quint64(KeyTable::Shift)
                                   << QList<int>{KEY_LEFTSHIFT, KEY_INSERT, KEY_INSERT, KEY_LEFTSHIFT}
                                   << QList<int>{1, 1, 0, 0};
        QTest::newRow("Ctrl+C") << int(KeyTable::C) << quint64(KeyTable::Control)
                                << QList<int>{KEY_LEFTCTRL, KEY_C, KEY_C, KEY_LEFTCTRL} << QList<int>{1, 1, 0, 0};
        QTest::newRow("a key without a code") << int(KeyTable::R) << quint64(KeyTable::Control) << QList<int>{}
                                              << QList<int>{};
    }

    void encodesEachStepAsKeyAndReport()
    {
        QFETCH(int, key);
        QFETCH(quint64, modifiers);
        QFETCH(QList<int>, codes);
        QFETCH(QList<int>, values);

        QTemporaryFile file;
        QVERIFY(file.open());
        const QList<KeySteps::Step> steps = KeySteps::combination(quint16(key), modifiers);
        QCOMPARE(steps.size(), codes.size());
        QVERIFY(UinputKeyboard::writeEvents(file.handle(), steps));
        file.flush();
        file.seek(0);
        const QByteArray bytes = file.readAll();
        QCOMPARE(bytes.size(), qsizetype(codes.size() * 2 * sizeof(input_event)));
        const auto *events = reinterpret_cast<const input_event *>(bytes.constData());
        for (int i = 0; i < codes.size(); ++i) {
            const input_event &k = events[2 * i];
            const input_event &sync = events[2 * i + 1];
            QCOMPARE(int(k.type), EV_KEY);
            QCOMPARE(int(k.code), codes[i]);
            QCOMPARE(int(k.value), values[i]);
            QCOMPARE(int(sync.type), EV_SYN);
            QCOMPARE(int(sync.code), SYN_REPORT);
        }
    }
};

QTEST_GUILESS_MAIN(TstUinputKeys)
#include "tst_uinputkeys.moc"
