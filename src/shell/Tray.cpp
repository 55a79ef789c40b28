#include "shell/Tray.h"

#include "shell/OmbryIcon.h"
#include "audio/MicrophoneList.h"
#include "calls/CallTranslator.h"
#include "calls/MeetingRecorder.h"
#include "dictation/HotkeyMonitor.h"
#include "engines/EngineReadiness.h"
#include "model/AppSettings.h"
#include "core/Log.h"
#include "model/Store.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

namespace {

QIcon paintedStateIcon(const QColor &accent, OmbryIcon::Marks marks)
{
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64})
        icon.addPixmap(QPixmap::fromImage(OmbryIcon::image(size, accent, OmbryIcon::Glyph::Bubble, marks)));
    return icon;
}

// Freedesktop names close to each symbol, for the menu items' icons.
QIcon themeSymbol(const QString &symbol)
{
    static const QHash<QString, QString> names = {
        {QStringLiteral("arrow.uturn.down"), QStringLiteral("edit-paste")},
        {QStringLiteral("macwindow"), QStringLiteral("window-new")},
        {QStringLiteral("captions.bubble"), QStringLiteral("media-view-subtitles")},
        {QStringLiteral("person.2.wave.2"), QStringLiteral("system-users")},
        {QStringLiteral("checkmark.seal"), QStringLiteral("tools-check-spelling")},
        {QStringLiteral("speaker.wave.2"), QStringLiteral("audio-volume-high")},
        {QStringLiteral("globe"), QStringLiteral("preferences-desktop-locale")},
        {QStringLiteral("mic"), QStringLiteral("audio-input-microphone")},
        {QStringLiteral("keyboard"), QStringLiteral("input-keyboard")},
    };
    const QString name = names.value(symbol);
    return name.isEmpty() ? QIcon() : QIcon::fromTheme(name);
}

// A menu shows "&" as a mnemonic marker unless it is doubled.
QString menuText(const QString &text)
{
    QString out = text;
    out.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return out;
}

StatusMenu::Meeting meetingOf(MeetingRecorder::State state)
{
    switch (state) {
    case MeetingRecorder::State::Recording:
        return StatusMenu::Meeting::Recording;
    case MeetingRecorder::State::Processing:
        return StatusMenu::Meeting::Processing;
    case MeetingRecorder::State::Idle:
        break;
    }
    return StatusMenu::Meeting::Idle;
}

} // namespace

Tray::Tray(AppSettings *settings, Store *store, DictationController *controller, MicrophoneList *microphones,
           EngineReadiness *readiness, CallTranslator *calls, MeetingRecorder *meetings, Seams seams, QObject *parent)
    : QObject(parent)
    , settings_(settings)
    , store_(store)
    , controller_(controller)
    , microphones_(microphones)
    , readiness_(readiness)
    , calls_(calls)
    , meetings_(meetings)
    , seams_(std::move(seams))
    , menu_(std::make_unique<QMenu>())
{
    if (!seams_.symbol)
        seams_.symbol = themeSymbol;
    if (!seams_.after)
        seams_.after = [this](int ms, std::function<void()> work) { QTimer::singleShot(ms, this, std::move(work)); };
    menu_->setTitle(QStringLiteral("Ombry Voice"));
    connect(menu_.get(), &QMenu::aboutToShow, this, [this] {
        menuOpen_ = true;
        rebuild();
    });
    connect(menu_.get(), &QMenu::aboutToHide, this, [this] {
        menuOpen_ = false;
        // A change that came while the menu was open shows at the next opening.
        if (rebuildPending_)
            scheduleRebuild();
    });
    connect(settings_, &AppSettings::languageChanged, this, &Tray::scheduleRebuild);
    connect(settings_, &AppSettings::keyChanged, this, &Tray::scheduleRebuild);
    connect(settings_, &AppSettings::microphoneUIDChanged, this, &Tray::scheduleRebuild);
    connect(store_, &Store::dictationsChanged, this, &Tray::scheduleRebuild);
    if (microphones_)
        connect(microphones_, &MicrophoneList::devicesChanged, this, &Tray::scheduleRebuild);
    if (controller_)
        connect(controller_, &DictationController::stateChanged, this, &Tray::followState);
    // Sources the menu shows but cannot see change while it is closed.
    if (meetings_)
        connect(meetings_, &MeetingRecorder::stateChanged, this, &Tray::scheduleRebuild);
    if (calls_)
        connect(calls_, &CallTranslator::runningChanged, this, &Tray::scheduleRebuild);
    if (readiness_)
        connect(readiness_, &EngineReadiness::changed, this, [this] {
            scheduleRebuild();
            followState();
        });
    rebuild();
}

Tray::~Tray() = default;

void Tray::show()
{
    if (icon_)
        return;
    icon_ = std::make_unique<QSystemTrayIcon>();
    icon_->setToolTip(QStringLiteral("Ombry Voice"));
    icon_->setContextMenu(menu_.get());
    followState();
    connect(icon_.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            Q_EMIT windowRequested();
    });
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        Log::write(QStringLiteral("barre d'état: aucune zone de notification, la fenêtre et un second lancement "
                                  "restent l'accès"));
    icon_->show();
    if (microphones_)
        microphones_->refresh();
}

bool Tray::shown() const
{
    return icon_ && icon_->isVisible();
}

QString Tray::stateSymbol(DictationController::State state)
{
    switch (state) {
    case DictationController::State::Idle:
        return QStringLiteral("waveform");
    case DictationController::State::Recording:
        return QStringLiteral("waveform.circle.fill");
    case DictationController::State::Processing:
    case DictationController::State::Correcting:
        return QStringLiteral("ellipsis.circle");
    }
    return {};
}

QIcon Tray::stateIcon(DictationController::State state)
{
    static const QIcon idle = paintedStateIcon(OmbryIcon::accent(), OmbryIcon::Marks::Bars);
    // Recording is red, as a microphone that is live usually is.
    static const QIcon recording = paintedStateIcon(QColor::fromRgbF(0.898f, 0.282f, 0.302f), OmbryIcon::Marks::Bars);
    static const QIcon working = paintedStateIcon(OmbryIcon::accent(), OmbryIcon::Marks::Dots);
    switch (state) {
    case DictationController::State::Idle:
        return idle;
    case DictationController::State::Recording:
        return recording;
    case DictationController::State::Processing:
    case DictationController::State::Correcting:
        return working;
    }
    return idle;
}

void Tray::followState()
{
    if (!icon_ || !controller_)
        return;
    icon_->setIcon(stateIcon(controller_->state()));
    icon_->setToolTip(readiness_ && readiness_->keyMissing()
                          ? QStringLiteral("Ombry Voice · ") + EngineReadiness::missingText()
                          : QStringLiteral("Ombry Voice"));
}

StatusMenu::Sources Tray::sources() const
{
    StatusMenu::Sources s;
    if (const std::optional<Dictation> last = Records::newestWithText(store_->dictations()))
        s.lastDictation = last->finalText;
    if (calls_)
        s.callRunning = calls_->running();
    if (meetings_)
        s.meeting = meetingOf(meetings_->state());
    s.language = settings_->language();
    s.microphoneUID = settings_->microphoneUID();
    if (microphones_)
        s.microphones = microphones_->devices();
    s.key = settings_->key();
    s.keyMissing = readiness_ && readiness_->keyMissing();
    return s;
}

void Tray::scheduleRebuild()
{
    if (menuOpen_) {
        rebuildPending_ = true;
        return;
    }
    rebuildPending_ = true;
    QTimer::singleShot(0, this, [this] {
        if (rebuildPending_ && !menuOpen_)
            rebuild();
    });
}

void Tray::rebuild()
{
    rebuildPending_ = false;
    // Submenus are children of the menu, not of its actions: clear() leaves them.
    const QList<QMenu *> submenus = menu_->findChildren<QMenu *>(QString(), Qt::FindDirectChildrenOnly);
    menu_->clear();
    for (QMenu *submenu : submenus)
        submenu->deleteLater();
    fill(menu_.get(), StatusMenu::build(sources()));
    Q_EMIT rebuilt();
}

void Tray::fill(QMenu *menu, const QList<StatusMenu::Entry> &entries)
{
    for (const StatusMenu::Entry &entry : entries) {
        if (entry.kind == StatusMenu::Entry::Kind::Separator) {
            menu->addSeparator();
            continue;
        }
        const QIcon icon = entry.symbol.isEmpty() ? QIcon() : seams_.symbol(entry.symbol);
        if (!entry.children.isEmpty()) {
            QMenu *sub = menu->addMenu(icon, menuText(entry.title));
            sub->setEnabled(entry.enabled);
            fill(sub, entry.children);
            continue;
        }
        QAction *action = menu->addAction(icon, menuText(entry.title));
        action->setEnabled(entry.enabled);
        action->setCheckable(entry.checkable);
        action->setChecked(entry.checked);
        if (!entry.shortcut.isEmpty())
            action->setShortcut(QKeySequence(entry.shortcut));
        if (entry.command != StatusMenu::Command::None) {
            const StatusMenu::Command command = entry.command;
            const QVariant value = entry.value;
            connect(action, &QAction::triggered, this, [this, command, value] { run(command, value); });
        }
    }
}

void Tray::run(StatusMenu::Command command, const QVariant &value)
{
    using StatusMenu::Command;
    QPointer<DictationController> controller = controller_;
    // The selection actions wait for the menu to close and focus to return.
    constexpr int kSettleMs = 300;
    switch (command) {
    case Command::None:
        break;
    case Command::PasteLast:
        seams_.after(kSettleMs, [controller] { if (controller) controller->pasteLast(); });
        break;
    case Command::Correct:
        seams_.after(kSettleMs, [controller] { if (controller) controller->correctSelection(false, false); });
        break;
    case Command::ReadAloud:
        seams_.after(kSettleMs, [controller] { if (controller) controller->speakSelection(); });
        break;
    case Command::ShowWindow:
        Q_EMIT windowRequested();
        break;
    case Command::ToggleCall:
        Q_EMIT callToggleRequested();
        break;
    case Command::ToggleMeeting:
        Q_EMIT meetingToggleRequested();
        break;
    case Command::PickLanguage:
        if (const auto language = fromRawValue<Language>(value.toString()); value.typeId() == QMetaType::QString && language)
            settings_->setLanguage(*language);
        break;
    case Command::PickMicrophone:
        settings_->setMicrophoneUID(value.typeId() == QMetaType::QString ? std::optional<QString>(value.toString())
                                                                         : std::nullopt);
        break;
    case Command::PickKey:
        if (const auto key = fromRawValue<DictationKey>(value.toString()); value.typeId() == QMetaType::QString && key) {
            settings_->setKey(*key);
            // Also when the key is unchanged: the user asked for a fresh start.
            if (controller_)
                controller_->hotkey().restart();
        }
        break;
    case Command::OpenSettings:
        Q_EMIT settingsRequested();
        break;
    case Command::Quit:
        Q_EMIT quitRequested();
        break;
    }
}
