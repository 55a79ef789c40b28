#include "calls/CallAppsModel.h"

#include "calls/CallApps.h"
#include "platform/RunningApps.h"

#include <QSet>

#include <algorithm>

namespace {

QString iconKey(const RunningApp &app)
{
    if (!app.iconName.isEmpty())
        return app.iconName;
    return app.bundleId.value_or(QString());
}

} // namespace

CallAppsModel::Sources CallAppsModel::Sources::production()
{
    Sources s;
    s.running = [] { return RunningApps::windows(); };
    s.installed = [](QString id) { return FrontmostApp::resolveDesktopEntry(id, QString(), QString()); };
    s.ownId = FrontmostApp::ownBundleId();
    return s;
}

CallAppsModel::CallAppsModel(QObject *parent) : CallAppsModel(Sources::production(), parent) {}

CallAppsModel::CallAppsModel(Sources sources, QObject *parent)
    : QAbstractListModel(parent), sources_(std::move(sources))
{
    timer_.setInterval(3000);
    connect(&timer_, &QTimer::timeout, this, &CallAppsModel::refresh);
}

int CallAppsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(rows_.size());
}

QVariant CallAppsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rows_.size())
        return {};
    const AppChoice &c = rows_.at(index.row());
    switch (role) {
    case IdRole:
        return c.id;
    case Qt::DisplayRole:
    case NameRole:
        return c.name;
    case IconRole:
        return c.icon;
    case RunningRole:
        return c.running;
    }
    return {};
}

QHash<int, QByteArray> CallAppsModel::roleNames() const
{
    return {{IdRole, "appId"}, {NameRole, "name"}, {IconRole, "iconSource"}, {RunningRole, "running"}};
}

void CallAppsModel::setActive(bool active)
{
    if (active == timer_.isActive())
        return;
    if (active) {
        refresh();
        timer_.start();
    } else {
        timer_.stop();
    }
    Q_EMIT activeChanged();
}

void CallAppsModel::refresh()
{
    const QList<RunningApp> running = sources_.running ? sources_.running() : QList<RunningApp>();
    apply(QList<AppChoice>{wholeComputer()} + build(running, sources_.installed, sources_.ownId));
}

AppChoice CallAppsModel::wholeComputer()
{
    return {QString(), QStringLiteral("Tout l'ordinateur"), QString(), true};
}

QList<AppChoice> CallAppsModel::build(
    const QList<RunningApp> &running,
    const std::function<std::optional<FrontmostApp::DesktopEntry>(QString)> &installed, const QString &ownId)
{
    QList<AppChoice> known;
    QSet<QString> listed;
    for (const QString &id : CallApps::known()) {
        const QStringList aliases = CallApps::aliases(id);
        auto it = std::find_if(running.cbegin(), running.cend(), [&](const RunningApp &app) {
            return app.bundleId && aliases.contains(*app.bundleId, Qt::CaseInsensitive);
        });
        if (it != running.cend()) {
            known.append({id, it->name.isEmpty() ? id : it->name, iconKey(*it), true});
            for (const QString &alias : aliases)
                listed.insert(alias.toLower());
            continue;
        }
        for (const QString &alias : aliases) {
            const auto entry = installed ? installed(alias) : std::nullopt;
            if (!entry)
                continue;
            known.append({id, entry->name.isEmpty() ? id : entry->name,
                          entry->icon.isEmpty() ? entry->id : entry->icon, false});
            for (const QString &a : aliases)
                listed.insert(a.toLower());
            break;
        }
    }
    // One tile per application, however many windows it has.
    QList<AppChoice> others;
    for (const RunningApp &app : running) {
        if (!app.bundleId || app.bundleId->isEmpty() || *app.bundleId == ownId || listed.contains(app.bundleId->toLower()))
            continue;
        listed.insert(app.bundleId->toLower());
        others.append({*app.bundleId, app.name.isEmpty() ? *app.bundleId : app.name, iconKey(app), true});
    }
    std::stable_sort(others.begin(), others.end(),
                     [](const AppChoice &a, const AppChoice &b) { return a.name < b.name; });
    return known + others;
}

void CallAppsModel::apply(const QList<AppChoice> &next)
{
    for (int i = 0; i < next.size(); ++i) {
        const AppChoice &want = next.at(i);
        int at = -1;
        for (int j = i; j < rows_.size(); ++j) {
            if (rows_.at(j).id == want.id) {
                at = j;
                break;
            }
        }
        if (at < 0) {
            beginInsertRows({}, i, i);
            rows_.insert(i, want);
            endInsertRows();
            continue;
        }
        if (at != i) {
            beginMoveRows({}, at, at, {}, i);
            rows_.move(at, i);
            endMoveRows();
        }
        if (!(rows_.at(i) == want)) {
            rows_[i] = want;
            Q_EMIT dataChanged(index(i), index(i));
        }
    }
    if (rows_.size() > next.size()) {
        beginRemoveRows({}, int(next.size()), int(rows_.size()) - 1);
        rows_.resize(next.size());
        endRemoveRows();
    }
}
