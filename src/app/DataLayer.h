#pragma once

#include "core/Installed.h"
#include "engines/OmbryAI.h"

#include <memory>

class AppSettings;
class EngineReadiness;
class KeyStore;
class Store;

// The settings, the store and the keys on the user's data folder, built in that
// order and installed as the program's own while they live; every other object
// reads them. Also what a test of one part builds instead of the whole program.
class DataLayer
{
public:
    enum class Readiness {
        FollowKeys, // the program: a missing key shows
        AlwaysReady, // a part tested alone
    };
    explicit DataLayer(Readiness readiness = Readiness::FollowKeys);
    ~DataLayer();

    AppSettings *settings() const { return settings_.get(); }
    Store *store() const { return store_.get(); }
    KeyStore *keys() const { return keys_.get(); }
    EngineReadiness *readiness() const { return readiness_.get(); }
    // What the cloud requests go through: these settings, keys and store.
    OmbryAI::Access access() const;

private:
    // Each is installed before the next is built, which may read it.
    std::unique_ptr<AppSettings> settings_;
    Installed<AppSettings> settingsInstalled_;
    std::unique_ptr<Store> store_;
    Installed<Store> storeInstalled_;
    std::unique_ptr<KeyStore> keys_;
    Installed<KeyStore> keysInstalled_;
    std::unique_ptr<EngineReadiness> readiness_;
    Installed<EngineReadiness> readinessInstalled_;
};
