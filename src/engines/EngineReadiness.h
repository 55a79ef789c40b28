#pragma once

#include "core/Installed.h"

#include <QObject>

class KeyStore;

// Whether a dictation can be served at all, for the status card and the tray:
// without a key, a hosted service or a local transcription server, they say
// "Clé OpenRouter manquante" rather than "Prêt".
class EngineReadiness final : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool keyMissing READ keyMissing NOTIFY changed)

public:
    // Follows `keys`; without them (a part tested alone) it always reads ready.
    explicit EngineReadiness(KeyStore *keys, QObject *parent = nullptr);

    // The program's own, installed by the application.
    static EngineReadiness *shared() { return Installed<EngineReadiness>::current(); }

    bool keyMissing() const { return keyMissing_; }
    // Reads the key store and the last local probe again; probes anew when stale.
    Q_INVOKABLE void refresh();

    static QString missingText();

Q_SIGNALS:
    void changed();

private:
    void update();

    KeyStore *keys_ = nullptr;

    bool keyMissing_ = false;
};
