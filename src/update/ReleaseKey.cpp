#include "update/ReleaseKey.h"

#include "update/Bundle.h"

#ifndef OMBRY_RELEASE_PUBLIC_KEY
#define OMBRY_RELEASE_PUBLIC_KEY ""
#endif

namespace ReleaseKey {

QByteArray publicKey()
{
    static const QByteArray key = Bundle::keyFromHex(QByteArrayLiteral(OMBRY_RELEASE_PUBLIC_KEY));
    return key;
}

} // namespace ReleaseKey
