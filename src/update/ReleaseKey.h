#pragma once

#include <QByteArray>

// The Ed25519 public key that release bundles must be signed with (32 bytes),
// compiled into the program from the CMake cache value
// OMBRY_RELEASE_PUBLIC_KEY; empty in a build made without one, which then
// refuses every update. The definition is linked per program, not part of the
// shared library: the tests link one holding their own test key.
namespace ReleaseKey {

QByteArray publicKey();

} // namespace ReleaseKey
