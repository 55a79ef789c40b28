#pragma once

#include <QObject>
#include <QPointer>
#include <QQmlParserStatus>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <array>
#include <functional>
#include <optional>

Q_MOC_INCLUDE("audio/MicrophoneList.h")
Q_MOC_INCLUDE("model/AppSettings.h")
Q_MOC_INCLUDE("model/KeyStore.h")
Q_MOC_INCLUDE("model/Store.h")

namespace SessionRoutes {
struct Offer;
struct Routes;
}

class AppSettings;
class KeyStore;
class MicrophoneList;
class Store;

// The permissions card and the onboarding's permission rows: the three checks,
// polled off the main thread (each may wait on the sound server) while active.
// The sound server is asked through the microphone list's connection; without
// the list (or a probe) it checks nothing.
class PermissionsModel : public QObject
{
    Q_OBJECT
    QML_ELEMENT

    Q_PROPERTY(bool microphone READ microphone NOTIFY changed)
    Q_PROPERTY(bool accessibility READ accessibility NOTIFY changed)
    Q_PROPERTY(bool systemAudio READ systemAudio NOTIFY changed)
    // False until the first check has answered: the rows claim nothing before.
    Q_PROPERTY(bool checked READ checked NOTIFY changed)
    // Whether a sound settings program is installed (seen at the last check).
    Q_PROPERTY(bool canOpenSound READ canOpenSound NOTIFY changed)
    // Milliseconds between two polls.
    Q_PROPERTY(int interval READ interval WRITE setInterval NOTIFY intervalChanged)
    Q_PROPERTY(bool active READ active WRITE setActive NOTIFY activeChanged)
    // The explanation shown when no settings program could be started, or when the
    // session gives no accessibility.
    Q_PROPERTY(QString explanation READ explanation NOTIFY explanationChanged)
    Q_PROPERTY(MicrophoneList *microphoneList READ microphoneList WRITE setMicrophoneList FINAL)
    // In a Wayland session, the way each service goes and how to get a better
    // one: maps of "service", "route" and "advice"; empty on X11.
    Q_PROPERTY(QVariantList routes READ routes CONSTANT)

public:
    using Probe = std::function<std::array<bool, 3>()>;
    // Whether a program is on PATH.
    using Finder = std::function<bool(const QString &)>;

    struct Launch {
        QString program;
        QStringList arguments;
    };

    explicit PermissionsModel(QObject *parent = nullptr);
    ~PermissionsModel() override;

    // Replaces the real checks; called before the first poll.
    void setProbe(Probe probe) { probe_ = std::move(probe); }
    void setFinder(Finder finder) { finder_ = std::move(finder); }
    MicrophoneList *microphoneList() const;
    void setMicrophoneList(MicrophoneList *microphones);

    bool microphone() const { return state_[0]; }
    bool accessibility() const { return state_[1]; }
    bool systemAudio() const { return state_[2]; }
    bool checked() const { return checked_; }
    bool canOpenSound() const { return canOpenSound_; }
    int interval() const { return timer_.interval(); }
    void setInterval(int ms);
    bool active() const { return timer_.isActive(); }
    void setActive(bool active);
    QString explanation() const;
    QVariantList routes() const;

    struct RouteLine
    {
        QString service;
        QString route;
        QString advice; // empty when the route is the best this desktop offers
    };
    static QList<RouteLine> routeLines(const SessionRoutes::Routes &routes, const SessionRoutes::Offer &offer);

    // Polls now (also while inactive); a poll still running is not doubled.
    Q_INVOKABLE void refresh();
    // "microphone", "accessibility" or "systemAudio": starts the desktop's sound
    // settings, or sets the explanation.
    Q_INVOKABLE void openSettings(const QString &which);

    // The program for `which` on `desktop` (XDG_CURRENT_DESKTOP); empty program when
    // none is installed.
    static Launch settingsCommand(const QString &desktop, const QString &which, const Finder &installed);
    static QString soundExplanation();
    static QString sessionExplanation();

Q_SIGNALS:
    void changed();
    void intervalChanged();
    void activeChanged();
    void explanationChanged();

private:
    void setExplanation(const QString &text);

    QTimer timer_;
    QPointer<MicrophoneList> list_;
    Probe probe_;
    Finder finder_;
    std::array<bool, 3> state_{};
    bool checked_ = false;
    bool canOpenSound_ = false;
    bool polling_ = false;
    QString explanation_;
};

// The API keys group's writes; the view reads the masked keys from KeyStore.
class ApiKeysModel : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    // Whether the key rows show without the advanced mode: with no hosted service
    // the user's own key is the only way in.
    Q_PROPERTY(bool rowsAlwaysShown READ rowsAlwaysShown CONSTANT)
    // Where the keys are written; set by the view that makes it.
    Q_PROPERTY(KeyStore *keys READ keyStore WRITE setKeyStore FINAL)

public:
    explicit ApiKeysModel(QObject *parent = nullptr);
    KeyStore *keyStore() const { return keys_; }
    void setKeyStore(KeyStore *keys) { keys_ = keys; }

    bool rowsAlwaysShown() const;

    // "Absente", or the masked key.
    Q_INVOKABLE QString shown(const QString &service) const;
    // Stores the typed key; a field left blank keeps the stored one (removing is
    // remove()'s job). "" on success, else the message to show.
    Q_INVOKABLE QString save(const QString &service, const QString &text);
    // Removes the service's key; "" on success, else the message to show.
    Q_INVOKABLE QString remove(const QString &service);

    // Whether a typed key may be stored: no control character inside.
    static bool acceptable(const QString &trimmed);

private:
    KeyStore *keys_ = nullptr;
};

// The help card and the version footer: journal export and erasure. Made in
// QML, it is given the settings and the store, then starts.
class HelpModel : public QObject, public QQmlParserStatus
{
    Q_OBJECT
    Q_INTERFACES(QQmlParserStatus)
    QML_ELEMENT

    Q_PROPERTY(AppSettings *settings READ settings WRITE setSettings FINAL)
    Q_PROPERTY(Store *store READ store WRITE setStore FINAL)

    Q_PROPERTY(QString version READ version CONSTANT)
    Q_PROPERTY(QString deviceSummary READ deviceSummary CONSTANT)
    // The settings' typing speed, as a number the views can handle.
    Q_PROPERTY(int typingWPM READ typingWPM WRITE setTypingWPM NOTIFY typingWPMChanged)
    // The same in the fr_FR format, for the field; a text that is no whole
    // number above zero is ignored.
    Q_PROPERTY(QString typingWPMText READ typingWPMText WRITE setTypingWPMText NOTIFY typingWPMChanged)

public:
    explicit HelpModel(QObject *parent = nullptr);

    AppSettings *settings() const;
    Store *store() const;
    // Once, before the view completes.
    void setSettings(AppSettings *settings);
    void setStore(Store *store);

    void classBegin() override {}
    void componentComplete() override;

    QString version() const;
    QString deviceSummary() const;
    // Where the journal's export is proposed: the documents folder, else the home.
    QUrl proposedFolder() const;
    int typingWPM() const;
    void setTypingWPM(int wpm);
    QString typingWPMText() const;
    void setTypingWPMText(const QString &text);
    static std::optional<int> parseWPM(const QString &text);

    // Copies the journal to `destination` through a temporary file renamed over
    // it: on failure the file there is untouched. "" on success, else the message.
    Q_INVOKABLE QString exportJournal(const QUrl &destination);
    // Asks where to export through the Qt file dialog, without blocking; the
    // outcome comes back through exported().
    Q_INVOKABLE void chooseExport();
    static QString copyJournal(const QString &journal, const QString &destination);
    // Asks, without blocking, before an existing file is replaced; `replace` runs
    // only when the user says so.
    static void confirmReplace(const QString &file, std::function<void()> replace);
    // Erases every collection, the keys and the recordings; the settings stay.
    Q_INVOKABLE void eraseEverything();

Q_SIGNALS:
    void typingWPMChanged();
    // After a chosen destination: "" when the journal was written, else the message.
    void exported(const QString &message);

private:
    QPointer<AppSettings> settings_;
    QPointer<Store> store_;
    bool started_ = false;
};
