#pragma once

#include "engines/OmbryAI.h"

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
    // Follows the keys of `access`; without them (a part tested alone) it always
    // reads ready.
    explicit EngineReadiness(OmbryAI::Access access, QObject *parent = nullptr);

    bool keyMissing() const { return keyMissing_; }
    // Reads the key store and the last local probe again; probes anew when stale.
    Q_INVOKABLE void refresh();

    static QString missingText();

Q_SIGNALS:
    void changed();

private:
    void update();

    OmbryAI::Access access_;

    bool keyMissing_ = false;
};
