#pragma once

#include "dictation/DictationController.h"
#include "dictation/DictationData.h"

#include "dictation/Paster.h"

class MicrophoneList;

// The real neighbours of the dictation controller: microphone, processing road,
// chunker, selection actions, sounds and permissions.
namespace DictationWiring {

// On the program's `data`. `microphones`: the kept list of input devices, asked
// instead of the sound server.
DictationController::Services productionServices(DictationData data, MicrophoneList *microphones = nullptr);

// The desktop the paster posts keys into: XTEST, the frontmost window's class,
// the modifiers the user holds.
PasteDesktop pasteDesktop();

} // namespace DictationWiring
