#include "settings/TranslateApps.h"

#include "core/SetOnce.h"
#include "model/AppSettings.h"
#include "model/Store.h"
#include "platform/FrontmostApp.h"

#include <QMap>
#include <QVariantMap>

#include <algorithm>

using namespace Qt::StringLiterals;

TranslateApps::TranslateApps(QObject *parent) : QObject(parent) {}

TranslateApps::TranslateApps(AppSettings *settings, Store *store, QObject *parent)
    : QObject(parent), settings_(settings), store_(store)
{
    start();
}

AppSettings *TranslateApps::settings() const
{
    return settings_;
}

Store *TranslateApps::store() const
{
    return store_;
}

void TranslateApps::setSettings(AppSettings *settings)
{
    if (setOnce(settings_, settings, started_))
        Q_EMIT appsChanged();
}

void TranslateApps::setStore(Store *store)
{
    if (setOnce(store_, store, started_))
        Q_EMIT appsChanged();
}

void TranslateApps::componentComplete()
{
    start();
}

void TranslateApps::start()
{
    if (started_)
        return;
    started_ = true;
    if (settings_)
        connect(settings_, &AppSettings::translateAppsChanged, this, &TranslateApps::appsChanged);
    if (store_) {
        connect(store_, &Store::dictationsChanged, this, &TranslateApps::appsChanged);
        connect(store_, &Store::fixesChanged, this, &TranslateApps::appsChanged);
    }
}

QList<TranslateApps::App> TranslateApps::known(const QList<Dictation> &dictations,
                                               const QList<CorrectionRecord> &fixes, const QStringList &marked,
                                               const QString &own)
{
    QMap<QString, QString> names; // bundle id → name
    const auto note = [&](const std::optional<QString> &bundleId, const QString &name) {
        if (bundleId && !bundleId->isEmpty() && *bundleId != own)
            names.insert(*bundleId, name);
    };
    for (const Dictation &d : dictations)
        note(d.bundleID, d.appName);
    for (const CorrectionRecord &r : fixes)
        note(r.bundleID, r.appName);
    for (const QString &id : marked)
        if (!names.contains(id))
            names.insert(id, id.section(u'.', -1));
    QList<App> out;
    for (auto it = names.cbegin(); it != names.cend(); ++it)
        out.append({it.value(), it.key()});
    // Plain comparison: capitals before lower case, no locale.
    std::stable_sort(out.begin(), out.end(), [](const App &a, const App &b) {
        return QString::compare(a.name, b.name, Qt::CaseSensitive) < 0;
    });
    return out;
}

QStringList TranslateApps::toggled(const QStringList &marked, const QString &bundleId)
{
    QStringList out = marked;
    if (out.contains(bundleId))
        out.removeAll(bundleId);
    else
        out.append(bundleId);
    return out;
}

QVariantList TranslateApps::apps() const
{
    QVariantList out;
    if (!settings_)
        return out;
    const QStringList marked = settings_->translateApps();
    const QList<Dictation> dictations = store_ ? store_->dictations() : QList<Dictation>();
    const QList<CorrectionRecord> fixes = store_ ? store_->fixes() : QList<CorrectionRecord>();
    for (const App &app : known(dictations, fixes, marked, FrontmostApp::ownBundleId()))
        out << QVariantMap{{u"name"_s, app.name}, {u"bundleId"_s, app.bundleId}, {u"marked"_s, marked.contains(app.bundleId)}};
    return out;
}

void TranslateApps::toggle(const QString &bundleId)
{
    if (settings_ && !bundleId.isEmpty())
        settings_->setTranslateApps(toggled(settings_->translateApps(), bundleId));
}
