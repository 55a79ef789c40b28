#include "app/DataLayer.h"

#include "engines/EngineReadiness.h"
#include "model/AppSettings.h"
#include "model/Defaults.h"
#include "model/KeyStore.h"
#include "model/Store.h"

#include <QObject>

DataLayer::DataLayer(Readiness readiness)
    : settings_(std::make_unique<AppSettings>(Defaults::standard()))
    , settingsInstalled_(settings_.get())
    , store_(std::make_unique<Store>(Store::folder()))
    , storeInstalled_(store_.get())
    , keys_(std::make_unique<KeyStore>(Store::folder() + QStringLiteral("/keys.json")))
    , keysInstalled_(keys_.get())
    , readiness_(std::make_unique<EngineReadiness>(readiness == Readiness::FollowKeys ? access() : OmbryAI::Access{}))
    , readinessInstalled_(readiness_.get())
{
    // Otherwise the next saved key would write every erased key back.
    QObject::connect(store_.get(), &Store::erased, keys_.get(), &KeyStore::forgetAll);
}

DataLayer::~DataLayer() = default;

OmbryAI::Access DataLayer::access() const
{
    return OmbryAI::Access{settings_.get(), keys_.get(), store_.get()};
}
