#pragma once

#include <QPointer>
#include <QQuickItem>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <optional>

Q_MOC_INCLUDE("dictation/DictationController.h")
Q_MOC_INCLUDE("model/AppSettings.h")

class AppSettings;
class DictationController;
class HotkeyMonitor;
class QKeyEvent;
class QQuickWindow;

// Records the correction shortcut: while listening, every key typed in the
// window is caught here (none reaches a field) and the first combination with
// Control, Alt or Super becomes the shortcut, stored as the key table's code,
// flags and label. The key monitor lets its own shortcuts through meanwhile.
// Made in QML, it is given the settings and the dictation controller (whose
// key monitor it tells), then starts.
class ShortcutRecorder : public QQuickItem
{
    Q_OBJECT
    QML_ELEMENT

    Q_PROPERTY(AppSettings *settings READ settings WRITE setSettings FINAL)
    Q_PROPERTY(DictationController *controller READ controller WRITE setController FINAL)

    Q_PROPERTY(bool listening READ listening NOTIFY listeningChanged)
    // "Tape ton raccourci…" while listening, else the stored shortcut ("Ctrl+Alt+C").
    Q_PROPERTY(QString title READ title NOTIFY titleChanged)
    // Why a combination was refused, or why the stored one cannot fire; empty otherwise.
    Q_PROPERTY(QString hint READ hint NOTIFY hintChanged)

public:
    enum class Verdict { Ignore, Unknown, Reserved, Accept };

    struct Outcome
    {
        Verdict verdict = Verdict::Ignore;
        quint16 key = 0;
        quint64 flags = 0;
        QString label;
    };

    explicit ShortcutRecorder(QQuickItem *parent = nullptr);
    // C++ and tests: started on `settings`, with no monitor until one is set.
    explicit ShortcutRecorder(AppSettings *settings, QQuickItem *parent = nullptr);
    ~ShortcutRecorder() override;

    // What one key press means: `key` is the key table's code of the key (none
    // when the table has no code for it), `modifierKey` whether the key itself is
    // a modifier (Alt, AltGr, Caps Lock…), `flags` the modifiers held.
    static Outcome evaluate(std::optional<quint16> key, bool modifierKey, quint64 flags);
    // Combinations that can never fire or would swallow copy and paste.
    static bool reserved(quint16 key, quint64 flags);

    AppSettings *settings() const;
    DictationController *controller() const;
    // Once, before the view completes.
    void setSettings(AppSettings *settings);
    void setController(DictationController *controller);

    // The monitor told while listening (the controller's by default); tests.
    void setMonitor(HotkeyMonitor *monitor);

    bool listening() const { return listening_; }
    QString title() const;
    QString hint() const { return hint_; }

    Q_INVOKABLE void start();
    Q_INVOKABLE void stop();
    Q_INVOKABLE void toggle();

    // One key press while listening (public for tests).
    void press(std::optional<quint16> key, bool modifierKey, quint64 flags, bool escape);

Q_SIGNALS:
    void listeningChanged();
    void titleChanged();
    void hintChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void itemChange(ItemChange change, const ItemChangeData &value) override;
    void componentComplete() override;

private:
    void followSettings();
    void handleKey(QKeyEvent *event);
    void setHint(const QString &hint);
    void checkRefused();

    QPointer<AppSettings> settings_;
    QPointer<DictationController> controller_;
    QPointer<HotkeyMonitor> monitor_;
    bool monitorSet_ = false;
    bool started_ = false;
    QPointer<QQuickWindow> window_;
    bool listening_ = false;
    QString hint_;
};
