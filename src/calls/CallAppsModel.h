#pragma once

#include "platform/FrontmostApp.h"

#include <QAbstractListModel>
#include <QTimer>
#include <QtQml/qqmlregistration.h>

#include <functional>
#include <optional>

// One application the call subtitles can follow.
struct AppChoice
{
    QString id;   // the identifier stored under "callApp"
    QString name;
    QString icon; // a key for the application-icon provider; empty: none
    bool running = false;
    bool operator==(const AppChoice &) const = default;
};

// The applications of the calls tab: the known call applications that run or are
// installed, in their fixed order, then the other running applications by name.
// Refreshed every 3 s while a view holds it; a refresh changes only the rows that
// changed, so the grid under the pointer stays put.
class CallAppsModel : public QAbstractListModel
{
    Q_OBJECT
    QML_ELEMENT

    Q_PROPERTY(bool active READ active WRITE setActive NOTIFY activeChanged)

public:
    enum Role { IdRole = Qt::UserRole + 1, NameRole, IconRole, RunningRole };

    struct Sources
    {
        std::function<QList<RunningApp>()> running;
        // The installed desktop entry of an identifier, if any.
        std::function<std::optional<FrontmostApp::DesktopEntry>(QString id)> installed;
        QString ownId;

        static Sources production();
    };

    explicit CallAppsModel(QObject *parent = nullptr);
    CallAppsModel(Sources sources, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    bool active() const { return timer_.isActive(); }
    // On: refreshes now and every 3 s.
    void setActive(bool active);

    // The first tile: no target, the whole computer.
    static AppChoice wholeComputer();
    Q_INVOKABLE void refresh();
    const QList<AppChoice> &choices() const { return rows_; }

    // The list the tab shows for these running windows.
    static QList<AppChoice> build(const QList<RunningApp> &running,
                                  const std::function<std::optional<FrontmostApp::DesktopEntry>(QString)> &installed,
                                  const QString &ownId);
    // Brings the rows to `next` by moves, inserts, updates and removals.
    void apply(const QList<AppChoice> &next);

Q_SIGNALS:
    void activeChanged();

private:
    Sources sources_;
    QList<AppChoice> rows_;
    QTimer timer_;
};
