#include "platform/EvdevKeys.h"
#include "platform/KeyTable.h"

#include <QTest>

#include <X11/keysym.h>
#include <linux/input.h>

// The keyboards' own events decoded as the X11 input hub reports keys: the
// dictation key's hold, the copy series, Escape, with the layout's symbols.
using namespace EvdevKeys;

namespace {

struct In
{
    quint16 type, code;
    qint32 value;
};
In key(quint16 code, qint32 value) { return {EV_KEY, code, value}; }
In syn(quint16 code = SYN_REPORT) { return {EV_SYN, code, 0}; }

// French AZERTY: the key in the place of Q writes "a".
unsigned long azerty(quint16 code)
{
    switch (code) {
    case KEY_Q: return XK_a;
    case KEY_A: return XK_q;
    }
    return defaultKeysym(code);
}

constexpr quint64 RCtrl = KeyTable::Control | KeyTable::RightControlBit;
constexpr quint64 LCtrl = KeyTable::Control | KeyTable::LeftControlBit;
constexpr quint64 LShift = KeyTable::Shift | KeyTable::LeftShiftBit;

Event mod(quint16 k, quint64 flags) { return {Event::Modifier, k, flags, false}; }
Event down(quint16 k, quint64 flags, bool repeat = false) { return {Event::KeyDown, k, flags, repeat}; }

} // namespace

Q_DECLARE_METATYPE(QList<In>)
Q_DECLARE_METATYPE(QList<Event>)

class TestEvdevKeys : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decodes_data()
    {
        QTest::addColumn<bool>("french");
        QTest::addColumn<QList<In>>("input");
        QTest::addColumn<QList<Event>>("events");
        QTest::newRow("Ctrl droit maintenu") << false
            << QList<In>{key(KEY_RIGHTCTRL, 1), syn(), key(KEY_RIGHTCTRL, 2), key(KEY_RIGHTCTRL, 2), key(KEY_RIGHTCTRL, 0), syn()}
            << QList<Event>{mod(KeyTable::RightControl, RCtrl), mod(KeyTable::RightControl, 0)};
        QTest::newRow("Ctrl+C deux fois") << false
            << QList<In>{key(KEY_LEFTCTRL, 1), key(KEY_C, 1), key(KEY_C, 0), key(KEY_C, 1), key(KEY_C, 0), key(KEY_LEFTCTRL, 0)}
            << QList<Event>{mod(KeyTable::LeftControl, LCtrl), down(KeyTable::C, LCtrl), down(KeyTable::C, LCtrl),
                            mod(KeyTable::LeftControl, 0)};
        QTest::newRow("Ctrl+Maj+C des terminaux") << false
            << QList<In>{key(KEY_LEFTSHIFT, 1), key(KEY_LEFTCTRL, 1), key(KEY_C, 1)}
            << QList<Event>{mod(KeyTable::LeftShift, LShift), mod(KeyTable::LeftControl, LShift | LCtrl),
                            down(KeyTable::C, LShift | LCtrl)};
        QTest::newRow("C qui se répète") << false << QList<In>{key(KEY_LEFTCTRL, 1), key(KEY_C, 1), key(KEY_C, 2)}
            << QList<Event>{mod(KeyTable::LeftControl, LCtrl), down(KeyTable::C, LCtrl), down(KeyTable::C, LCtrl, true)};
        QTest::newRow("Échap") << false << QList<In>{key(KEY_ESC, 1), key(KEY_ESC, 0)}
            << QList<Event>{down(KeyTable::Escape, 0)};
        QTest::newRow("AltGr est Alt droit") << false << QList<In>{key(KEY_RIGHTALT, 1)}
            << QList<Event>{mod(KeyTable::RightAlt, KeyTable::Alt | KeyTable::RightAltBit)};
        QTest::newRow("les deux Ctrl, un relâché") << false
            << QList<In>{key(KEY_LEFTCTRL, 1), key(KEY_RIGHTCTRL, 1), key(KEY_LEFTCTRL, 0)}
            << QList<Event>{mod(KeyTable::LeftControl, LCtrl), mod(KeyTable::RightControl, LCtrl | RCtrl),
                            mod(KeyTable::LeftControl, RCtrl)};
        QTest::newRow("symbole de la disposition (AZERTY)") << true << QList<In>{key(KEY_Q, 1), key(KEY_A, 1)}
            << QList<Event>{down(0 /* A */, 0), down(12 /* Q */, 0)};
        QTest::newRow("relâchée avant l'écoute") << false << QList<In>{key(KEY_RIGHTCTRL, 0), key(KEY_C, 0)}
            << QList<Event>{};
        QTest::newRow("événements perdus ignorés jusqu'au rapport") << false
            << QList<In>{key(KEY_RIGHTCTRL, 1), syn(SYN_DROPPED), key(KEY_RIGHTCTRL, 0), syn(), key(KEY_ESC, 1)}
            << QList<Event>{mod(KeyTable::RightControl, RCtrl), down(KeyTable::Escape, RCtrl)};
        QTest::newRow("autres types") << false << QList<In>{{EV_MSC, MSC_SCAN, 0x1d}, {EV_LED, LED_CAPSL, 1}}
            << QList<Event>{};
        QTest::newRow("touche sans nom") << false << QList<In>{key(KEY_PROG1, 1)} << QList<Event>{};
    }

    void decodes()
    {
        QFETCH(bool, french);
        QFETCH(QList<In>, input);
        QFETCH(QList<Event>, events);
        Decoder decoder(french ? azerty : defaultKeysym);
        QList<Event> got;
        for (const In &in : input)
            if (const auto e = decoder.feed(in.type, in.code, in.value))
                got << *e;
        QCOMPARE(got.size(), events.size());
        for (qsizetype i = 0; i < got.size(); ++i) {
            QCOMPARE(got[i].kind, events[i].kind);
            QCOMPARE(got[i].key, events[i].key);
            QCOMPARE(got[i].flags, events[i].flags);
            QCOMPARE(got[i].autorepeat, events[i].autorepeat);
        }
    }

    // After a drop the kernel's list of held keys is the truth: a dictation key
    // released meanwhile must not stay down.
    void resync_data()
    {
        QTest::addColumn<QList<In>>("before");
        QTest::addColumn<QList<quint16>>("held");
        QTest::addColumn<QList<Event>>("events");
        QTest::newRow("Ctrl droit relâché pendant la perte")
            << QList<In>{key(KEY_RIGHTCTRL, 1), syn(SYN_DROPPED)} << QList<quint16>{}
            << QList<Event>{mod(KeyTable::RightControl, 0)};
        QTest::newRow("Ctrl droit enfoncé pendant la perte")
            << QList<In>{key(KEY_LEFTSHIFT, 1), syn(SYN_DROPPED)} << QList<quint16>{KEY_LEFTSHIFT, KEY_RIGHTCTRL}
            << QList<Event>{mod(KeyTable::RightControl, LShift | RCtrl)};
        QTest::newRow("rien de changé") << QList<In>{key(KEY_RIGHTCTRL, 1), key(KEY_C, 1), syn(SYN_DROPPED)}
            << QList<quint16>{KEY_RIGHTCTRL, KEY_C} << QList<Event>{};
        QTest::newRow("clavier débranché") << QList<In>{key(KEY_LEFTCTRL, 1), key(KEY_RIGHTCTRL, 1)} << QList<quint16>{}
            << QList<Event>{mod(KeyTable::LeftControl, RCtrl), mod(KeyTable::RightControl, 0)};
    }

    void resync()
    {
        QFETCH(QList<In>, before);
        QFETCH(QList<quint16>, held);
        QFETCH(QList<Event>, events);
        Decoder decoder;
        for (const In &in : before)
            decoder.feed(in.type, in.code, in.value);
        QCOMPARE(decoder.resync(QSet<quint16>(held.begin(), held.end())), events);
        QVERIFY(!decoder.dropping());
        // What follows is decoded from the kernel's state.
        const auto next = decoder.feed(EV_KEY, KEY_ESC, 1);
        QVERIFY(next);
        QCOMPARE(next->flags, (held.contains(KEY_RIGHTCTRL) ? RCtrl : 0) | (held.contains(KEY_LEFTSHIFT) ? LShift : 0));
    }

    void ownVirtualKeyboardIsSkipped_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("own");
        QTest::newRow("le nôtre") << QByteArray("Ombry Voice clavier virtuel") << true;
        QTest::newRow("un vrai clavier") << QByteArray("AT Translated Set 2 keyboard") << false;
        QTest::newRow("celui d'un autre") << QByteArray("ydotoold virtual device") << false;
    }
    void ownVirtualKeyboardIsSkipped()
    {
        QFETCH(QByteArray, name);
        QFETCH(bool, own);
        QCOMPARE(ownDevice(name), own);
    }
};

QTEST_GUILESS_MAIN(TestEvdevKeys)
#include "tst_evdevkeys.moc"
