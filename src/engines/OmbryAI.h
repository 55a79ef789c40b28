#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QPointer>
#include <QString>
#include <QCoroTask>

#include <memory>
#include <optional>

class AppSettings;
class KeyStore;
class Store;

namespace Net {
class Stop;
}

// The one transport of every cloud language-model request: straight to OpenRouter
// with the user's own key, or to the hosted service otherwise.
namespace OmbryAI {

// Where the transport reads the user's OpenRouter key and own-key mode, and where
// an own-key reply's cost goes. A missing one reads as no key, own-key mode off,
// costs dropped (a part tested alone).
struct Access
{
    QPointer<AppSettings> settings;
    QPointer<KeyStore> keys;
    QPointer<Store> store;
    // Aborts this access's requests under way (a cancelled dictation's chunks).
    std::shared_ptr<Net::Stop> stop = {};
};

// True when an OpenRouter key is stored and either own-key mode is on or there is
// no hosted service address. Read fresh at every call.
bool usesOwnKey(const Access &access);

// The stored OpenRouter key as it may go into a header: trimmed, and none when
// it is empty or still holds a control or non-ASCII character.
std::optional<QString> openRouterKey(const Access &access);

// Sends a chat-completions `body` and returns the raw reply bytes of a 200 reply.
// Throws EngineError (missing key, HTTP status other than 200) or NetworkError.
// `timeout` is the whole call in seconds (plus 5 s on the hosted route); `label`
// names the service in an own-key HTTP error ("OpenRouter", "Gemini", …).
// Main thread.
QCoro::Task<QByteArray> chat(Access access, QJsonObject body, double timeout, QString label);

// What OpenRouter says of a key, asked with one cheap authenticated request that
// spends nothing (the key's own description).
enum class KeyVerdict { Valid, Refused, Unreachable, Failed };
struct KeyCheck
{
    KeyVerdict verdict = KeyVerdict::Failed;
    QString text; // "Clé valide", "Clé refusée", "Service injoignable", "OpenRouter : erreur 500"
};
// `key` is trimmed first; an empty key or one that cannot go into a header is refused.
QCoro::Task<KeyCheck> checkKey(QString key);

} // namespace OmbryAI

// What the user's own OpenRouter key spends.
namespace Spending {

// The cost reported by an own-key reply ("usage" → "cost"), when it is a number
// greater than 0.
std::optional<double> cost(const QByteArray &reply);

// Appends one cost entry to `store`, on the main thread and later, when the
// reply reports a cost. Never fails.
void record(const QByteArray &reply, QPointer<Store> store);

} // namespace Spending
