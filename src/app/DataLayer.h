#pragma once

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
    DataLayer(const DataLayer &) = delete;
    DataLayer &operator=(const DataLayer &) = delete;

    AppSettings *settings() const { return settings_.get(); }
    Store *store() const { return store_.get(); }
    KeyStore *keys() const { return keys_.get(); }
    EngineReadiness *readiness() const { return readiness_.get(); }

private:
    std::unique_ptr<AppSettings> settings_;
    std::unique_ptr<Store> store_;
    std::unique_ptr<KeyStore> keys_;
    std::unique_ptr<EngineReadiness> readiness_;
};
