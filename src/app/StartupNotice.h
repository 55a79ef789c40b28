#pragma once

#include <QString>
#include <QStringList>

class AppSettings;
class EngineReadiness;
class KeyStore;

// The French notice a normal start prints on standard error: the key to hold,
// where the journal is, and what dictation still lacks.
namespace StartupNotice {

struct Situation
{
    QString keyLabel;       // "Ctrl droit"
    QString journal;        // the journal's path
    bool cloudKey = false;  // an OpenRouter key is stored or in the environment
    bool hosted = false;    // a hosted service is configured
    bool localChat = false; // a local chat server answered
    bool localSpeech = false;
    QString localChatUrl;
    QString localSpeechUrl;
};

// The lines of the notice for `situation`.
QStringList lines(const Situation &situation);

// Looks at `keys` and asks the local servers (off the main thread's way), which
// `readiness` then hears again, and prints the notice. Returns at once.
void print(AppSettings *settings, KeyStore *keys, EngineReadiness *readiness);

} // namespace StartupNotice
