#pragma once

#include <QByteArray>

// The key pair that test builds trust in place of the release key, and one that
// nobody trusts. Both come from fixed seeds: known to everyone, fit for tests only.
namespace TestKeys {

QByteArray secretKey();
QByteArray publicKey();
QByteArray strangerSecretKey();

} // namespace TestKeys
