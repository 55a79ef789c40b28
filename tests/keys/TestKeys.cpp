#include "keys/TestKeys.h"

#include "update/Bundle.h"
#include "update/ReleaseKey.h"

namespace {

const Bundle::KeyPair &trusted()
{
    static const Bundle::KeyPair pair = Bundle::keyPairFromSeed(QByteArrayLiteral("ombry voice test signing seed 01"));
    return pair;
}

const Bundle::KeyPair &stranger()
{
    static const Bundle::KeyPair pair = Bundle::keyPairFromSeed(QByteArrayLiteral("somebody else's signing seed 002"));
    return pair;
}

} // namespace

namespace TestKeys {

QByteArray secretKey() { return trusted().secretKey; }
QByteArray publicKey() { return trusted().publicKey; }
QByteArray strangerSecretKey() { return stranger().secretKey; }

} // namespace TestKeys

// What test programs are built to trust.
QByteArray ReleaseKey::publicKey()
{
    return TestKeys::publicKey();
}
