#include "settings/SettingsCards.h"

#include "audio/MicrophoneList.h"
#include "core/SetOnce.h"
#include "engines/Services.h"

#include "model/AppSettings.h"
#include "model/DeviceProfile.h"
#include "core/PrivateFiles.h"
#include "model/KeyStore.h"
#include "core/Log.h"
#include "model/SettingsTypes.h"
#include "model/Store.h"
#include "model/TextUtil.h"
#include "platform/Permissions.h"
#include "platform/SessionRoutes.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QPointer>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QtConcurrent/QtConcurrentRun>

using namespace Qt::StringLiterals;

// --- permissions

PermissionsModel::PermissionsModel(QObject *parent)
    : QObject(parent)
    , finder_([](const QString &program) { return !QStandardPaths::findExecutable(program).isEmpty(); })
{
    timer_.setInterval(2000);
    connect(&timer_, &QTimer::timeout, this, &PermissionsModel::refresh);
}

PermissionsModel::~PermissionsModel() = default;

MicrophoneList *PermissionsModel::microphoneList() const
{
    return list_;
}

void PermissionsModel::setMicrophoneList(MicrophoneList *microphones)
{
    if (list_ || !microphones || !microphones->pulse())
        return;
    list_ = microphones;
    if (!probe_) {
        PulseContext *pulse = microphones->pulse();
        probe_ = [pulse] {
            return std::array<bool, 3>{Permissions::microphone(*pulse), Permissions::accessibility(),
                                       Permissions::systemAudio(*pulse)};
        };
    }
    // Made active before the list was set: the first check is not left to the timer.
    if (active())
        refresh();
}

void PermissionsModel::setInterval(int ms)
{
    if (ms == timer_.interval() || ms <= 0)
        return;
    timer_.setInterval(ms);
    Q_EMIT intervalChanged();
}

void PermissionsModel::setActive(bool active)
{
    if (active == timer_.isActive())
        return;
    if (active) {
        timer_.start();
        refresh();
    } else {
        timer_.stop();
    }
    Q_EMIT activeChanged();
}

void PermissionsModel::refresh()
{
    if (polling_ || !probe_)
        return;
    polling_ = true;
    using Answer = std::pair<std::array<bool, 3>, bool>;
    auto *watcher = new QFutureWatcher<Answer>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] {
        watcher->deleteLater();
        polling_ = false;
        const auto [now, canOpen] = watcher->result();
        if (checked_ && now == state_ && canOpen == canOpenSound_)
            return;
        const QString before = explanation();
        checked_ = true;
        state_ = now;
        canOpenSound_ = canOpen;
        Q_EMIT changed();
        if (explanation() != before)
            Q_EMIT explanationChanged();
    });
    // The probe and the finder are copied: a poll outliving the card touches nothing
    // of it. Looking along PATH is file system work too.
    watcher->setFuture(QtConcurrent::run([probe = probe_, finder = finder_] {
        const QString desktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP");
        return Answer{probe(), !settingsCommand(desktop, u"microphone"_s, finder).program.isEmpty()};
    }));
}

QString PermissionsModel::explanation() const
{
    if (!explanation_.isEmpty())
        return explanation_;
    // No settings program grants it: say why, without waiting for a press.
    return checked_ && !state_[1] ? sessionExplanation() : QString();
}

PermissionsModel::Launch PermissionsModel::settingsCommand(const QString &desktop, const QString &which,
                                                           const Finder &installed)
{
    if (which == u"accessibility"_s)
        return {};
    const QStringList desktops = desktop.toLower().split(u':', Qt::SkipEmptyParts);
    const auto on = [&](const char16_t *name) { return desktops.contains(QString::fromUtf16(name)); };
    Launch launch;
    if ((on(u"gnome") || on(u"unity")) && installed(u"gnome-control-center"_s))
        launch = {u"gnome-control-center"_s, {u"sound"_s}};
    else if (on(u"kde") && installed(u"systemsettings"_s))
        launch = {u"systemsettings"_s, {u"kcm_pulseaudio"_s}};
    else if (on(u"x-cinnamon") && installed(u"cinnamon-settings"_s))
        launch = {u"cinnamon-settings"_s, {u"sound"_s}};
    else if (installed(u"pavucontrol"_s))
        // Tab 4: input devices; tab 2: what applications record.
        launch = {u"pavucontrol"_s, {which == u"microphone"_s ? u"--tab=4"_s : u"--tab=2"_s}};
    return launch;
}

QString PermissionsModel::soundExplanation()
{
    return u"Ombry Voice a besoin d'un serveur de son en marche (PulseAudio ou PipeWire) pour entendre "
           u"ton micro et le son des applications. Aucun réglage du son n'est installé : démarre ou installe "
           u"l'un de ces serveurs."_s;
}

QString PermissionsModel::sessionExplanation()
{
    return u"Ombry Voice a besoin d'une session X11 pour écouter ta touche de dictée et écrire là où se "
           u"trouve ton curseur. Une session Wayland sans X11 ne peut pas donner de touches globales : "
           u"choisis une session X11 à l'ouverture de session."_s;
}

void PermissionsModel::openSettings(const QString &which)
{
    if (which == u"accessibility"_s) {
        setExplanation(sessionExplanation());
        return;
    }
    const Launch launch = settingsCommand(qEnvironmentVariable("XDG_CURRENT_DESKTOP"), which, finder_);
    if (launch.program.isEmpty() || !QProcess::startDetached(launch.program, launch.arguments)) {
        setExplanation(soundExplanation());
        return;
    }
    setExplanation({});
}

void PermissionsModel::setExplanation(const QString &text)
{
    if (text == explanation_)
        return;
    const QString before = explanation();
    explanation_ = text;
    if (explanation() != before)
        Q_EMIT explanationChanged();
}

// --- API keys

ApiKeysModel::ApiKeysModel(QObject *parent)
    : QObject(parent)
{
}

QString ApiKeysModel::shown(const QString &service) const
{
    KeyStore *keys = keys_;
    const QString masked = keys ? keys->masked(service) : QString();
    return masked.isEmpty() ? u"Absente"_s : masked;
}

bool ApiKeysModel::acceptable(const QString &trimmed)
{
    for (const QChar c : trimmed) {
        const auto category = c.category();
        if (category == QChar::Other_Control || category == QChar::Other_Format || category == QChar::Separator_Line
            || category == QChar::Separator_Paragraph)
            return false;
    }
    return true;
}

bool ApiKeysModel::rowsAlwaysShown() const
{
    return !Services::hosted().has_value();
}

QString ApiKeysModel::save(const QString &service, const QString &text)
{
    KeyStore *keys = keys_;
    if (!keys || !fromRawValue<APIService>(service))
        return u"Service inconnu"_s;
    const QString trimmed = TextUtil::trimmed(text);
    if (trimmed.isEmpty())
        return {};
    if (!acceptable(trimmed))
        return u"Clé invalide"_s;
    if (!keys->write(trimmed, service))
        return u"La clé n'a pas pu être enregistrée sur le disque."_s;
    return {};
}

QString ApiKeysModel::remove(const QString &service)
{
    KeyStore *keys = keys_;
    if (!keys || !fromRawValue<APIService>(service))
        return u"Service inconnu"_s;
    if (!keys->write(QString(), service))
        return u"La clé n'a pas pu être retirée du disque."_s;
    return {};
}

// --- help card

HelpModel::HelpModel(QObject *parent)
    : QObject(parent)
{
}

AppSettings *HelpModel::settings() const
{
    return settings_;
}

Store *HelpModel::store() const
{
    return store_;
}

void HelpModel::setSettings(AppSettings *settings)
{
    if (setOnce(settings_, settings, started_))
        Q_EMIT typingWPMChanged();
}

void HelpModel::setStore(Store *store)
{
    setOnce(store_, store, started_);
}

void HelpModel::componentComplete()
{
    if (started_)
        return;
    started_ = true;
    if (settings_)
        connect(settings_, &AppSettings::typingWPMChanged, this, &HelpModel::typingWPMChanged);
}

int HelpModel::typingWPM() const
{
    return settings_ ? int(qBound<qint64>(0, settings_->typingWPM(), qint64(1000000))) : 40;
}

void HelpModel::setTypingWPM(int wpm)
{
    if (settings_)
        settings_->setTypingWPM(wpm);
}

QString HelpModel::typingWPMText() const
{
    return QLocale(QLocale::French, QLocale::France).toString(typingWPM());
}

std::optional<int> HelpModel::parseWPM(const QString &text)
{
    QString digits = text;
    // Group separators as fr_FR writes them, or as typed.
    digits.remove(u' ').remove(QChar(0x202F)).remove(QChar(0x00A0));
    bool ok = false;
    const int value = digits.toInt(&ok);
    if (!ok || value <= 0)
        return std::nullopt;
    return value;
}

void HelpModel::setTypingWPMText(const QString &text)
{
    if (const std::optional<int> wpm = parseWPM(text))
        setTypingWPM(*wpm);
    else
        Q_EMIT typingWPMChanged(); // the field shows the stored value again
}

QString HelpModel::version() const
{
    return QStringLiteral(OMBRY_VERSION);
}

QString HelpModel::deviceSummary() const
{
    return DeviceProfile::summary();
}

QUrl HelpModel::proposedFolder() const
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QStandardPaths::writableLocation(QStandardPaths::HomeLocation);
    return QUrl::fromLocalFile(folder);
}

QString HelpModel::copyJournal(const QString &journal, const QString &destination)
{
    const QString failed = u"Le journal n'a pas pu être exporté ; aucun fichier n'a été modifié."_s;
    QFile source(journal);
    if (!source.open(QIODevice::ReadOnly))
        return failed;
    QSaveFile out(destination);
    if (!out.open(QIODevice::WriteOnly))
        return failed;
    // The journal names applications and files: owner-only, like the original.
    out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    while (!source.atEnd()) {
        const QByteArray chunk = source.read(1 << 16);
        if (chunk.isEmpty() && source.error() != QFileDevice::NoError) {
            out.cancelWriting();
            break;
        }
        if (out.write(chunk) != chunk.size()) {
            out.cancelWriting();
            break;
        }
    }
    if (!out.commit())
        return failed;
    PrivateFiles::tighten(destination);
    return {};
}

QString HelpModel::exportJournal(const QUrl &destination)
{
    if (!destination.isLocalFile())
        return u"Le journal n'a pas pu être exporté ; aucun fichier n'a été modifié."_s;
    Log::waitUntilWritten();
    return copyJournal(Log::path(), destination.toLocalFile());
}

void HelpModel::confirmReplace(const QString &file, std::function<void()> replace)
{
    auto *box = new QMessageBox(QMessageBox::Warning, u"Remplacer le fichier ?"_s,
                                u"« "_s + QFileInfo(file).fileName() + u" » existe déjà. Le remplacer par le journal ?"_s,
                                QMessageBox::NoButton);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setTextFormat(Qt::PlainText);
    QPushButton *yes = box->addButton(u"Remplacer"_s, QMessageBox::AcceptRole);
    QPushButton *cancel = box->addButton(u"Annuler"_s, QMessageBox::RejectRole);
    yes->setAccessibleName(u"Remplacer"_s);
    cancel->setAccessibleName(u"Annuler"_s);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    // No nested event loop: the rest of the program goes on while it asks.
    connect(box, &QMessageBox::finished, box, [box, yes, replace = std::move(replace)] {
        if (box->clickedButton() == yes)
            replace();
    });
    box->open();
}

void HelpModel::chooseExport()
{
    // The widgets' dialog: the Qt Quick one needs a module that desktops often lack.
    auto *dialog = new QFileDialog(nullptr, u"Exporter le journal"_s, proposedFolder().toLocalFile());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    // The desktop's own dialog where the platform theme offers one (a portal).
    dialog->setOptions(QFileDialog::DontConfirmOverwrite);
    dialog->selectFile(u"Ombry Voice - journal.txt"_s);
    const QPointer<HelpModel> self(this);
    connect(dialog, &QFileDialog::fileSelected, dialog, [self](const QString &file) {
        if (!self)
            return;
        const auto write = [self, file] {
            if (self)
                Q_EMIT self->exported(self->exportJournal(QUrl::fromLocalFile(file)));
        };
        // Asked here, in French, whatever dialog the desktop gave us.
        if (QFileInfo::exists(file))
            confirmReplace(file, write);
        else
            write();
    });
    dialog->open();
}

void HelpModel::eraseEverything()
{
    if (store_)
        store_->eraseEverything();
}

namespace {

QString inputGroup()
{
    return u"ajoute-toi au groupe input (sudo usermod -aG input $USER), puis rouvre ta session"_s;
}

// How the compositor's own key bindings reach the program.
QString bindingAdvice(const QStringList &desktops)
{
    const auto on = [&](const QString &name) { return desktops.contains(name); };
    if (on(u"sway"_s))
        return u"Ajoute ces lignes à ~/.config/sway/config, puis recharge sway (Super+Maj+C) :\n"
               u"bindsym --no-repeat Control_R exec ombry-voice --action dictee-debut\n"
               u"bindsym --release Control_R exec ombry-voice --action dictee-fin"_s;
    if (on(u"hyprland"_s))
        return u"Ajoute ces lignes à ~/.config/hypr/hyprland.conf :\n"
               u"bind = , Control_R, exec, ombry-voice --action dictee-debut\n"
               u"bindr = , Control_R, exec, ombry-voice --action dictee-fin"_s;
    if (on(u"river"_s))
        return u"Ajoute ces lignes à ~/.config/river/init :\n"
               u"riverctl map normal None Control_R spawn 'ombry-voice --action dictee-debut'\n"
               u"riverctl map -release normal None Control_R spawn 'ombry-voice --action dictee-fin'"_s;
    // These bind a key on press only: a shortcut starts the dictation, the next one ends it.
    if (on(u"gnome"_s))
        return u"GNOME 48 et suivants offrent les raccourcis globaux : mets ton système à jour. En attendant, "
               u"dans Paramètres › Clavier › Raccourcis personnalisés, ajoute la commande "
               u"« ombry-voice --action dictee-basculer » : une pression commence la dictée, la suivante la finit."_s;
    if (on(u"kde"_s))
        return u"KDE Plasma 5.27 et suivants offrent les raccourcis globaux : mets ton système à jour. En attendant, "
               u"dans Configuration du système › Raccourcis, ajoute la commande "
               u"« ombry-voice --action dictee-basculer » : une pression commence la dictée, la suivante la finit."_s;
    return u"Dans les raccourcis de ton compositeur, lance « ombry-voice --action dictee-debut » à l'appui de "
           u"Ctrl droit et « ombry-voice --action dictee-fin » à son relâchement."_s;
}

} // namespace

QList<PermissionsModel::RouteLine> PermissionsModel::routeLines(const SessionRoutes::Routes &routes,
                                                                const SessionRoutes::Offer &offer)
{
    if (!offer.wayland)
        return {};
    const QStringList desktops = offer.desktop.toLower().split(u':', Qt::SkipEmptyParts);
    const bool portalDesktop = desktops.contains(u"gnome"_s) || desktops.contains(u"kde"_s);
    QList<RouteLine> lines;

    RouteLine keys{u"Touches"_s, {}, {}};
    switch (routes.keys) {
    case SessionRoutes::Keys::Portal:
        keys.route = u"portail des raccourcis globaux"_s;
        keys.advice = u"Ton bureau a demandé une fois d'accepter les raccourcis ; tu peux changer leurs touches "
                      u"dans ses réglages de raccourcis clavier. Pour Ctrl+C deux fois (corriger) et trois fois "
                      u"(traduire), "_s + inputGroup() + u'.';
        break;
    case SessionRoutes::Keys::Evdev: keys.route = u"claviers lus directement (groupe input)"_s; break;
    case SessionRoutes::Keys::Actions:
        keys.route = u"raccourcis du compositeur (ombry-voice --action)"_s;
        keys.advice = bindingAdvice(desktops) + u"\nOu "_s + inputGroup()
                      + u" : la touche tenue et Ctrl+C deux fois marcheront sans configuration."_s;
        break;
    case SessionRoutes::Keys::X11: keys.route = u"X11"_s; break;
    }
    lines << keys;

    RouteLine typing{u"Saisie"_s, {}, {}};
    switch (routes.typing) {
    case SessionRoutes::Typing::RemoteDesktop:
        typing.route = u"portail Bureau à distance"_s;
        typing.advice = u"À la première saisie, ton bureau demande la permission de contrôler le clavier : "
                        u"accepte-la une fois, elle est gardée."_s;
        break;
    case SessionRoutes::Typing::VirtualKeyboard: typing.route = u"clavier virtuel du compositeur"_s; break;
    case SessionRoutes::Typing::Uinput: typing.route = u"clavier virtuel du noyau (uinput)"_s; break;
    case SessionRoutes::Typing::X11: typing.route = u"XTEST"_s; break;
    case SessionRoutes::Typing::None:
        typing.route = u"aucune : le texte reste dans le presse-papiers, colle-le avec Ctrl+V"_s;
        typing.advice = portalDesktop
                            ? u"Installe le portail de ton bureau (xdg-desktop-portal-gnome ou xdg-desktop-portal-kde), "
                              u"puis rouvre ta session : il te demandera une seule fois la permission de taper."_s
                            : u"Donne /dev/uinput au groupe input : écris KERNEL==\"uinput\", GROUP=\"input\", "
                              u"MODE=\"0660\" dans /etc/udev/rules.d/70-uinput.rules ; "_s + inputGroup() + u'.';
        break;
    }
    lines << typing;

    RouteLine clipboard{u"Presse-papiers"_s, {}, {}};
    switch (routes.clipboard) {
    case SessionRoutes::Clipboard::DataControl: clipboard.route = u"protocole data-control du compositeur"_s; break;
    case SessionRoutes::Clipboard::XwaylandBridge: clipboard.route = u"pont de Xwayland"_s; break;
    case SessionRoutes::Clipboard::X11: clipboard.route = u"X11"_s; break;
    }
    lines << clipboard;

    RouteLine front{u"Application au premier plan"_s, {}, {}};
    switch (routes.front) {
    case SessionRoutes::Front::ForeignToplevel: front.route = u"liste des fenêtres du compositeur"_s; break;
    case SessionRoutes::Front::Accessibility:
        front.route = u"bus d'accessibilité"_s;
        if (!offer.accessibilityBus)
            front.advice = u"Installe at-spi2-core, puis rouvre ta session : le bus d'accessibilité dit quelle "
                           u"application est devant, pour le ton et l'historique."_s;
        break;
    case SessionRoutes::Front::X11: front.route = u"X11"_s; break;
    }
    lines << front;
    return lines;
}

QVariantList PermissionsModel::routes() const
{
    QVariantList list;
    for (const RouteLine &line : routeLines(SessionRoutes::current(), SessionRoutes::offered()))
        list.append(QVariantMap{{u"service"_s, line.service}, {u"route"_s, line.route}, {u"advice"_s, line.advice}});
    return list;
}
