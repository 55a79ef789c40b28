#pragma once

#include <QFuture>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QCoroTask>

#include <functional>
#include <optional>

class QTimer;

// Keeps the program current from the release feed at OMBRY_UPDATES_URL: a daily
// check, then on request the download of the signed bundle, its verification
// against the compiled-in release key, the swap of the installed bundle and a
// relaunch. The update banner binds to the properties below; feed texts it shows
// (version, notes) must be drawn as plain text.
class Updater : public QObject
{
    Q_OBJECT

    // The release found by the last successful check.
    Q_PROPERTY(bool hasRelease READ hasRelease NOTIFY availableChanged)
    Q_PROPERTY(QString version READ version NOTIFY availableChanged)
    Q_PROPERTY(QStringList notes READ notes NOTIFY availableChanged)
    Q_PROPERTY(QString page READ page NOTIFY availableChanged)
    Q_PROPERTY(bool installing READ installing NOTIFY installingChanged)
    // The last installation failure; empty when there is none.
    Q_PROPERTY(QString error READ error NOTIFY errorChanged)
    Q_PROPERTY(bool dismissed READ dismissed WRITE setDismissed NOTIFY dismissedChanged)

    // What the banner shows, worked out here so that the view only binds.
    Q_PROPERTY(bool bannerVisible READ bannerVisible NOTIFY bannerChanged)
    Q_PROPERTY(QString title READ title NOTIFY bannerChanged)
    Q_PROPERTY(QString detail READ detail NOTIFY bannerChanged)
    Q_PROPERTY(bool detailIsError READ detailIsError NOTIFY bannerChanged)
    Q_PROPERTY(QString installLabel READ installLabel NOTIFY bannerChanged)
    Q_PROPERTY(bool pageOpenable READ pageOpenable NOTIFY bannerChanged)

public:
    // One entry of the feed.
    struct Release
    {
        QString version;
        qint64 build = 0;
        QStringList notes;
        QString page;
        QMap<QString, QString> downloads; // by processor architecture

        bool operator==(const Release &other) const = default;
    };

    // What a check learnt. `failure` is set (in French) when no decodable 200
    // reply came; `newer` when the feed offered a build newer than this one.
    struct CheckResult
    {
        bool newer = false;
        QString failure;
    };

    // Where this process runs from and how it relaunches; tests build their own.
    struct Setup
    {
        QString bundle;       // folder of the running bundle; empty: not installed from one
        QString executable;   // file name of the program inside it
        qint64 runningBuild = 0;
        QByteArray publicKey; // 32 bytes; anything else refuses every install
        QString workRoot;     // private work folders go here; empty: $XDG_CACHE_HOME/Ombry Voice
        QString shell = QStringLiteral("/bin/sh");
        qint64 pid = 0;       // the process the relaunch waits for
        std::function<void()> quit;
        std::function<bool(const QUrl &)> openUrl;
        qint64 maxDownload = qint64(512) << 20;
        // How long a relaunched new build has to report a finished start-up
        // before the former one is put back.
        int trialSeconds = 60;
        // The trial file this process must remove once started (given by the
        // relaunch script); empty when it was not started on trial.
        QString trial;

        static Setup forThisProcess();
    };

    explicit Updater(Setup setup, QObject *parent = nullptr);
    ~Updater() override;

    // Checks now, then every 86,400 s until the process ends. Once the event
    // loop runs (start-up done): reports this build healthy to the relaunch
    // script, reads what a rolled-back update left, and sweeps what earlier
    // installations left behind.
    void start();
    // One look at the feed; true when it offers a newer build. Never throws.
    QCoro::Task<bool> check();
    QCoro::Task<CheckResult> checkFeed();
    // Installs the available release; failures end in error(). Never throws.
    // A call while an installation runs returns at once.
    QCoro::Task<> install();

    // The banner's buttons.
    Q_INVOKABLE void startInstall();
    Q_INVOKABLE bool openPage();

    std::optional<Release> available() const { return available_; }
    bool hasRelease() const { return available_.has_value(); }
    QString version() const;
    QStringList notes() const;
    QString page() const;
    bool installing() const { return installing_; }
    QString error() const { return error_; }
    bool dismissed() const { return dismissed_; }
    void setDismissed(bool dismissed);
    qint64 currentBuild() const { return setup_.runningBuild; }

    bool bannerVisible() const;
    QString title() const;
    QString detail() const;
    bool detailIsError() const;
    QString installLabel() const;
    bool pageOpenable() const;

    // The pieces, public for their tests.
    static std::optional<Release> decode(const QByteArray &body);
    // The feed's base when it may be used: https, or http to this computer.
    static std::optional<QUrl> feedBase();
    static bool acceptableBase(const QUrl &base);
    static QUrl feedAddress(const QUrl &base);
    // The release's link for `architecture`, as a path on `base`'s site.
    static std::optional<QUrl> downloadAddress(const Release &release, const QUrl &base, const QString &architecture);
    // A release page worth opening: http or https with a host.
    static std::optional<QUrl> pageAddress(const QString &page);
    // Feed text made safe for a log line or a terminal: control and
    // direction-changing characters taken out, at most 200 characters.
    static QString printable(const QString &text);
    // The lock file that one installation holds over a bundle.
    static QString lockPath(const QString &bundle);
    // A hidden item beside `bundle`: "." + its name + `suffix`.
    static QString besideBundle(const QString &bundle, const QString &suffix);

Q_SIGNALS:
    void availableChanged();
    void installingChanged();
    void errorChanged();
    void dismissedChanged();
    void bannerChanged();

private:
    struct Staged;
    void setAvailable(const std::optional<Release> &release);
    void setInstalling(bool installing);
    void setError(const QString &error);
    void fail(const QString &message);
    bool relaunch(const QString &version, QString *why);
    QCoro::Task<int> download(QUrl url, QString path, qint64 limit);
    void settle();

    Setup setup_;
    std::optional<Release> available_;
    bool installing_ = false;
    QString error_;
    bool dismissed_ = false;
    QTimer *timer_ = nullptr;
    // Clearing what earlier installations left; an install waits for it.
    QFuture<void> sweeping_;
    // Build put in place by an installation whose relaunch did not happen.
    qint64 installedBuild_ = 0;
};
