#pragma once

#include "dictation/DictationController.h"

class KeyStore;

// The real neighbours of the dictation controller: microphone, processing road,
// chunker, selection actions, sounds and permissions.
namespace DictationWiring {

DictationController::Services productionServices(KeyStore *keys);

} // namespace DictationWiring
