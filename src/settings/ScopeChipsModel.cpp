#include "settings/ScopeChipsModel.h"

#include "core/SetOnce.h"
#include "model/AppSettings.h"

ScopeChipsModel::ScopeChipsModel(QObject *parent) : QObject(parent) {}

ScopeChipsModel::ScopeChipsModel(AppSettings *settings, QObject *parent) : QObject(parent), settings_(settings)
{
    start();
}

AppSettings *ScopeChipsModel::settings() const
{
    return settings_;
}

void ScopeChipsModel::setSettings(AppSettings *settings)
{
    if (setOnce(settings_, settings, started_))
        Q_EMIT bitsChanged();
}

void ScopeChipsModel::componentComplete()
{
    start();
}

void ScopeChipsModel::start()
{
    if (started_)
        return;
    started_ = true;
    if (settings_)
        connect(settings_, &AppSettings::correctionScopeChanged, this, &ScopeChipsModel::bitsChanged);
}

qint64 ScopeChipsModel::toggled(qint64 scope, qint64 bit)
{
    if (!(scope & bit))
        return scope | bit;
    const qint64 rest = scope & ~bit;
    return rest == 0 ? scope : rest;
}

int ScopeChipsModel::bits() const
{
    return settings_ ? int(settings_->correctionScopeRaw()) : 0;
}

void ScopeChipsModel::toggle(int bit)
{
    if (!settings_)
        return;
    const qint64 before = settings_->correctionScopeRaw();
    const qint64 after = toggled(before, bit);
    if (after != before)
        settings_->setCorrectionScopeRaw(after);
}
