#include "dictation/Paster.h"
#include "platform/Clipboard.h"
#include "support/TestEnv.h"

#include <QApplication>

// Where the selection is read from, with the desktop replaced: the focused
// element, the front application's PRIMARY, and a posted Ctrl+C that counts
// only when the clipboard changed hands after it and is never sent to a terminal.
class TestSelectionSource : public QObject
{
    Q_OBJECT

    // What the fake desktop holds for one row.
    QString targetClass;
    std::optional<QString> primary;
    Accessibility::FocusRead focus;
    bool copyTakesClipboard = false;
    bool taken = false;
    QList<quint16> posted;
    std::unique_ptr<Paster> paster;

    const QString stale = QStringLiteral("Mot de passe du wifi : hunter2");

    std::optional<QString> read(bool mayPostCopy)
    {
        std::optional<std::optional<QString>> result;
        auto task = [](Paster *p, bool mayPost, std::optional<std::optional<QString>> *out) -> QCoro::Task<> {
            QCoro::Task<std::optional<QString>> copying = p->copySelection(mayPost);
            *out = co_await std::move(copying);
        }(paster.get(), mayPostCopy, &result);
        [&] { QVERIFY(TestEnv::waitFor([&] { return result.has_value(); }, 5000)); }();
        return result.value_or(std::nullopt);
    }

private Q_SLOTS:
    void initTestCase()
    {
        PasteDesktop desktop;
        desktop.post = [this](quint16 key, quint64) {
            posted << key;
            if (key == Paster::kKeyC) {
                // An application that copies takes the clipboard; one that ignores
                // the key leaves the old owner serving its old text.
                taken = copyTakesClipboard;
                Clipboard::setText(copyTakesClipboard ? QStringLiteral("texte copié") : stale);
            }
            return true;
        };
        desktop.targetClass = [this] { return targetClass; };
        desktop.modifiers = [] { return quint64(0); };
        desktop.frontmostName = [] { return QStringLiteral("Test"); };
        desktop.frontPrimary = [this] { return primary; };
        desktop.readFocus = [this]() -> QCoro::Task<Accessibility::FocusRead> { co_return focus; };
        desktop.serverTime = [] { return quint64(1000); };
        desktop.clipboardTakenSince = [this](quint64 since) { return since == 1000 && taken; };
        paster = std::make_unique<Paster>(desktop);
    }

    void chooses_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QVariant>("primaryText"); // invalid: PRIMARY is not the front application's
        QTest::addColumn<QVariant>("focusedText"); // invalid: AT-SPI tells nothing
        QTest::addColumn<bool>("copies");
        QTest::addColumn<bool>("mayPostCopy");
        QTest::addColumn<QVariant>("expected");
        QTest::addColumn<QList<quint16>>("keys");
        const QVariant none;
        const QList<quint16> noKey, copyKey{Paster::kKeyC};
        QTest::newRow("terminal: its PRIMARY") << "xterm" << QVariant(QStringLiteral("sleep 30")) << none << true << true
                                               << QVariant(QStringLiteral("sleep 30")) << noKey;
        QTest::newRow("terminal without PRIMARY: no Ctrl+C") << "lxterminal" << none << none << true << true << none
                                                             << noKey;
        QTest::newRow("terminal whose AT-SPI shows no selection: its PRIMARY")
            << "lxterminal" << QVariant(QStringLiteral("ls -l")) << QVariant(QString()) << true << true
            << QVariant(QStringLiteral("ls -l")) << noKey;
        QTest::newRow("editor without AT-SPI: its PRIMARY") << "mousepad" << QVariant(QStringLiteral("Bonjour")) << none
                                                            << true << true << QVariant(QStringLiteral("Bonjour")) << noKey;
        QTest::newRow("AT-SPI's selection over an older PRIMARY") << "featherpad" << QVariant(QStringLiteral("ancienne"))
                                                                  << QVariant(QStringLiteral("nouvelle")) << true << true
                                                                  << QVariant(QStringLiteral("nouvelle")) << noKey;
        QTest::newRow("PRIMARY kept after deselecting") << "featherpad" << QVariant(QStringLiteral("ancienne sélection"))
                                                        << QVariant(QString()) << false << true << none << copyKey;
        QTest::newRow("copy taken") << "mousepad" << none << none << true << true << QVariant(QStringLiteral("texte copié"))
                                    << copyKey;
        QTest::newRow("copy ignored: the old clipboard is not the selection") << "mousepad" << none << none << false
                                                                             << true << none << copyKey;
        QTest::newRow("after the user's own copy: no key") << "mousepad" << none << none << true << false << none << noKey;
    }
    void chooses()
    {
        QFETCH(QString, target);
        QFETCH(QVariant, primaryText);
        QFETCH(QVariant, focusedText);
        QFETCH(bool, copies);
        QFETCH(bool, mayPostCopy);
        QFETCH(QVariant, expected);
        QFETCH(QList<quint16>, keys);
        Clipboard::setText(stale);
        targetClass = target;
        primary = primaryText.isValid() ? std::optional<QString>(primaryText.toString()) : std::nullopt;
        focus = {};
        if (focusedText.isValid())
            focus.selected = focusedText.toString();
        copyTakesClipboard = copies;
        taken = false;
        posted.clear();
        const std::optional<QString> read = this->read(mayPostCopy);
        QCOMPARE(read, expected.isValid() ? std::optional<QString>(expected.toString()) : std::nullopt);
        QCOMPARE(posted, keys);
    }

    void terminals_data()
    {
        QTest::addColumn<QString>("wmClass");
        QTest::addColumn<bool>("terminal");
        for (const char *name : {"UXTerm", "gnome-terminal-server", "Alacritty"})
            QTest::newRow(name) << QString::fromLatin1(name) << true;
        for (const char *name : {"mousepad", ""})
            QTest::newRow(*name ? name : "no class") << QString::fromLatin1(name) << false;
    }
    void terminals()
    {
        QFETCH(QString, wmClass);
        QFETCH(bool, terminal);
        QCOMPARE(Paster::isTerminal(wmClass), terminal);
    }
};

OMBRY_TEST_GUI_MAIN(TestSelectionSource)
#include "tst_selection_source.moc"
