#pragma once

#include "engines/OmbryAI.h"

class AppSettings;
class KeyStore;
class Store;

// The program's data a dictation reads and writes. They outlive every dictation.
struct DictationData
{
    AppSettings *settings = nullptr;
    Store *store = nullptr;
    KeyStore *keys = nullptr;
    // Aborts the requests made through access() (a cancelled dictation's chunks).
    std::shared_ptr<Net::Stop> stop = {};

    // The cloud requests of a dictation go through these.
    OmbryAI::Access access() const;
};
