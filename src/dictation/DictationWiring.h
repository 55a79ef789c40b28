#pragma once

#include "dictation/DictationController.h"

#include "dictation/Paster.h"

class KeyStore;

// The real neighbours of the dictation controller: microphone, processing road,
// chunker, selection actions, sounds and permissions.
namespace DictationWiring {

DictationController::Services productionServices(KeyStore *keys);

// The desktop the paster posts keys into: XTEST, the frontmost window's class,
// the modifiers the user holds.
PasteDesktop pasteDesktop();

} // namespace DictationWiring
