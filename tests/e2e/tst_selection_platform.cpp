#include "dictation/Paster.h"
#include "core/Log.h"
#include "platform/Accessibility.h"
#include "platform/KeyTable.h"
#include "support/TestEnv.h"
#include "tools/test_editor_client.h"

#include <QApplication>
#include <QElapsedTimer>

#include <csignal>
#include <qcoro/qcorotask.h>

using DesktopTools::readClipboard;

namespace {

// Runs a task to its end on this thread's event loop.
std::optional<QString> copySelectionNow(Paster *paster)
{
    std::optional<std::optional<QString>> result;
    auto task = [](Paster *p, std::optional<std::optional<QString>> *out) -> QCoro::Task<> {
        QCoro::Task<std::optional<QString>> copying = p->copySelection();
        *out = co_await std::move(copying);
    }(paster, &result);
    TestEnv::waitFor([&] { return result.has_value(); }, 5000);
    return result.value_or(std::nullopt);
}

} // namespace

// The selection, editability and paste against a real application on the desktop.
class TestSelectionPlatform : public QObject
{
    Q_OBJECT

    DesktopTools::Editor editor;
    std::unique_ptr<Paster> paster;

private Q_SLOTS:
    void initTestCase()
    {
        PasteDesktop desktop;
        desktop.post = [](quint16 key, quint64 modifiers) {
            const QString letter = key == Paster::kKeyV ? QStringLiteral("v") : QStringLiteral("c");
            const bool shift = (modifiers & KeyTable::Shift) != 0;
            return DesktopTools::key((shift ? QStringLiteral("ctrl+shift+") : QStringLiteral("ctrl+")) + letter);
        };
        paster = std::make_unique<Paster>(desktop);
        QVERIFY(editor.start(QStringLiteral(""), QStringLiteral("Une étiquette en lecture seule.")));
        Accessibility::warmUp();
        QVERIFY(TestEnv::waitFor([] { return Accessibility::available(); }, 5000));
    }

    void readsTheEditorsSelection()
    {
        QVERIFY(editor.send(QStringLiteral("set Bonjour le monde")));
        QVERIFY(editor.send(QStringLiteral("select-editor")));
        std::optional<QString> selected;
        QVERIFY(TestEnv::waitFor([&] { selected = Accessibility::selectedText(); return selected == QStringLiteral("Bonjour le monde"); }, 5000));
        QCOMPARE(Accessibility::focusedIsEditable(), std::optional<bool>(true));
    }

    void labelIsNotEditable()
    {
        QVERIFY(editor.send(QStringLiteral("select-label")));
        std::optional<bool> editable;
        QVERIFY(TestEnv::waitFor([&] { editable = Accessibility::focusedIsEditable(); return editable == false; }, 5000));
    }

    void passwordIsNeverRead()
    {
        QVERIFY(editor.send(QStringLiteral("focus-password")));
        QVERIFY(TestEnv::waitFor([] { return Accessibility::focusedIsEditable() == true; }, 5000));
        QCOMPARE(Accessibility::selectedText(), std::nullopt);
    }

    void pastesIntoTheEditor()
    {
        QVERIFY(DesktopTools::seedClipboard(QStringLiteral("avant")));
        QVERIFY(editor.send(QStringLiteral("set ")));
        QVERIFY(QCoro::waitFor(paster->paste(QStringLiteral("Texte dicté."), true)).posted);
        QVERIFY(TestEnv::waitFor([&] { return editor.text() == QStringLiteral("Texte dicté."); }, 5000));
        QVERIFY(TestEnv::waitFor([] { return readClipboard().out == "avant"; }, 3000));
    }

    void copiesTheLabelsSelection()
    {
        QVERIFY(editor.send(QStringLiteral("select-label")));
        QCOMPARE(copySelectionNow(paster.get()), std::optional<QString>(QStringLiteral("Une étiquette en lecture seule.")));
    }

    void copyWithoutSelectionGivesNothing()
    {
        QVERIFY(editor.send(QStringLiteral("set ")));
        const std::optional<QString> copied = copySelectionNow(paster.get());
        QVERIFY2(!copied || copied->isEmpty(), qPrintable(copied.value_or(QString())));
    }

    // A frozen application costs the caller the timeout, not a hang; once it
    // wakes up, queries answer again.
    void hungApplicationDoesNotHang()
    {
        QVERIFY(editor.send(QStringLiteral("set Texte figé")));
        QVERIFY(editor.send(QStringLiteral("select-editor")));
        QVERIFY(TestEnv::waitFor([] { return Accessibility::selectedText() == QStringLiteral("Texte figé"); }, 5000));
        QCOMPARE(::kill(pid_t(editor.pid()), SIGSTOP), 0);
        QElapsedTimer clock;
        clock.start();
        const std::optional<QString> frozen = Accessibility::selectedText(400);
        const qint64 waited = clock.elapsed();
        QCOMPARE(::kill(pid_t(editor.pid()), SIGCONT), 0);
        QCOMPARE(frozen, std::nullopt);
        QVERIFY2(waited < 1500, qPrintable(QString::number(waited)));
        QVERIFY(TestEnv::waitFor([] { return Accessibility::selectedText() == QStringLiteral("Texte figé"); }, 8000));
    }

    void cleanupTestCase()
    {
        paster.reset(); // runs the pending restore
    }
};

OMBRY_TEST_GUI_MAIN(TestSelectionPlatform)
#include "tst_selection_platform.moc"
