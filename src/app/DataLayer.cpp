#include "app/DataLayer.h"

#include "engines/EngineReadiness.h"
#include "model/AppSettings.h"
#include "model/Defaults.h"
#include "model/KeyStore.h"
#include "model/Store.h"

#include <QObject>

DataLayer::DataLayer(Readiness readiness)
{
    // Each is installed before the next is built: the next may read it.
    settings_ = std::make_unique<AppSettings>(Defaults::standard());
    AppSettings::setShared(settings_.get());
    store_ = std::make_unique<Store>(Store::folder());
    Store::setShared(store_.get());
    keys_ = std::make_unique<KeyStore>(Store::folder() + QStringLiteral("/keys.json"));
    KeyStore::setShared(keys_.get());
    // Otherwise the next saved key would write every erased key back.
    QObject::connect(store_.get(), &Store::erased, keys_.get(), &KeyStore::forgetAll);
    readiness_ = std::make_unique<EngineReadiness>(readiness == Readiness::FollowKeys ? keys_.get() : nullptr);
    EngineReadiness::setShared(readiness_.get());
}

DataLayer::~DataLayer()
{
    EngineReadiness::setShared(nullptr);
    readiness_.reset();
    KeyStore::setShared(nullptr);
    keys_.reset();
    Store::setShared(nullptr);
    store_.reset();
    AppSettings::setShared(nullptr);
    settings_.reset();
}
