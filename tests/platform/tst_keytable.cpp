#include "platform/KeyTable.h"
#include "support/TestEnv.h"

#include <X11/X.h>
#include <X11/keysym.h>

// The one translation between the stored key vocabulary and X11.
class TestKeyTable : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void keysAndSymbols_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<qulonglong>("keysym");
        QTest::newRow("C") << 8 << qulonglong(XK_c);
        QTest::newRow("V") << 9 << qulonglong(XK_v);
        QTest::newRow("R") << 15 << qulonglong(XK_r);
        QTest::newRow("5 sits between 6 and =") << 23 << qulonglong(XK_5);
        QTest::newRow("Escape") << 53 << qulonglong(XK_Escape);
        QTest::newRow("Return") << 36 << qulonglong(XK_Return);
        QTest::newRow("F1") << 122 << qulonglong(XK_F1);
        QTest::newRow("up arrow") << 126 << qulonglong(XK_Up);
        QTest::newRow("right control") << 62 << qulonglong(XK_Control_R);
        QTest::newRow("right option") << 61 << qulonglong(XK_Alt_R);
        QTest::newRow("right super") << 54 << qulonglong(XK_Super_R);
    }

    void keysAndSymbols()
    {
        QFETCH(int, key);
        QFETCH(qulonglong, keysym);
        QCOMPARE(qulonglong(KeyTable::keysymFor(quint16(key))), keysym);
        QCOMPARE(KeyTable::keyForKeysym(keysym), std::optional<quint16>(quint16(key)));
    }

    void upperCaseLettersAndAltGrMapBack()
    {
        QCOMPARE(KeyTable::keyForKeysym(XK_V), std::optional<quint16>(KeyTable::V));
        QCOMPARE(KeyTable::keyForKeysym(XK_ISO_Level3_Shift), std::optional<quint16>(KeyTable::RightAlt));
        QCOMPARE(KeyTable::keyForKeysym(XK_eacute), std::nullopt);
        QCOMPARE(KeyTable::keysymFor(10), 0ul); // no key code 10 on the ANSI layout
        QCOMPARE(KeyTable::keysymFor(KeyTable::Function), 0ul);
    }

    void modifierMasks_data()
    {
        QTest::addColumn<qulonglong>("flags");
        QTest::addColumn<uint>("mask");
        QTest::newRow("control option") << qulonglong(0xC0000) << uint(ControlMask | Mod1Mask);
        QTest::newRow("command is super") << qulonglong(0x100000) << uint(Mod4Mask);
        QTest::newRow("shift") << qulonglong(0x20000) << uint(ShiftMask);
        QTest::newRow("all four") << qulonglong(0x1E0000) << uint(ShiftMask | ControlMask | Mod1Mask | Mod4Mask);
        QTest::newRow("device bits and caps lock ignored") << qulonglong(0x10000 | 0x2000 | 0x40) << 0u;
    }

    void modifierMasks()
    {
        QFETCH(qulonglong, flags);
        QFETCH(uint, mask);
        QCOMPARE(KeyTable::xModifierMask(flags), mask);
        QCOMPARE(KeyTable::flagsForXState(mask | LockMask | Mod2Mask), flags & KeyTable::ModifierMask);
    }

    void modifierKeysCarryTheirDeviceBit()
    {
        QCOMPARE(KeyTable::modifierKey(KeyTable::RightControl)->flags, quint64(0x42000));
        QCOMPARE(KeyTable::modifierKey(KeyTable::RightAlt)->flags, quint64(0x80040));
        QCOMPARE(KeyTable::modifierKey(KeyTable::RightSuper)->flags, quint64(0x100010));
        QCOMPARE(KeyTable::modifierKey(KeyTable::LeftShift)->flags, quint64(0x20002));
        QVERIFY(!KeyTable::modifierKey(KeyTable::C));
        // Each device bit belongs to one key only.
        quint64 seen = 0;
        for (const auto &m : KeyTable::modifierKeys()) {
            const quint64 device = m.flags & ~KeyTable::ModifierMask;
            QVERIFY(device != 0);
            QCOMPARE(seen & device, quint64(0));
            seen |= device;
        }
    }

    // Every key and shortcut the program shows, by the names the desktop gives
    // them; the settings file keeps its own "⌃⌥C" labels.
    void names_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<qulonglong>("flags");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("stored");

        QTest::newRow("correction default") << int(KeyTable::C) << 0xC0000ull << "Ctrl+Alt+C" << "⌃⌥C";
        QTest::newRow("all four, in order") << int(KeyTable::V) << 0x1E0000ull << "Ctrl+Alt+Maj+Super+V"
                                            << "⌃⌥⇧⌘V";
        QTest::newRow("escape") << int(KeyTable::Escape) << 0ull << "Échap" << "⎋";
        QTest::newRow("unknown key") << 90 << 0x40000ull << "Ctrl+#90" << "⌃#90";
    }

    void names()
    {
        QFETCH(int, key);
        QFETCH(qulonglong, flags);
        QFETCH(QString, shown);
        QFETCH(QString, stored);
        QCOMPARE(KeyTable::label(quint16(key), flags), shown);
        QCOMPARE(KeyTable::storedLabel(quint16(key), flags), stored);
    }

    // No key of the table is shown by a macOS glyph, whatever the modifiers.
    void noGlyphShown()
    {
        const QString glyphs = QStringLiteral("⌃⌥⇧⌘↩⇥⌫⎋↖↘⇞⇟⌦");
        for (int key = 0; key < 128; ++key) {
            const QString shown = KeyTable::label(quint16(key), KeyTable::ModifierMask);
            for (QChar c : shown)
                QVERIFY2(!glyphs.contains(c), qPrintable(shown));
        }
    }
};

OMBRY_TEST_MAIN(TestKeyTable)
#include "tst_keytable.moc"
