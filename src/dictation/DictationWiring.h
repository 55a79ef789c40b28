#pragma once

#include "dictation/DictationController.h"
#include "dictation/DictationData.h"

#include "dictation/Paster.h"

class BubbleController;
class EngineReadiness;
class MicrophoneList;
class PulseContext;
class Reader;

// The real neighbours of the dictation controller: microphone, processing road,
// chunker, selection actions, sounds and permissions.
namespace DictationWiring {

// On the program's `data`; `readiness` is probed again when a dictation asks;
// the microphone records through `pulse`.
// `microphones`: the kept list of input devices, asked instead of the sound server.
// Without the road and the selection actions: see addOutputs.
DictationController::Services productionServices(DictationData data, EngineReadiness *readiness, PulseContext &pulse,
                                                 MicrophoneList *microphones = nullptr);

// Where a dictation's text goes: built after the controller, which reaches them
// only once it has started.
struct Outputs
{
    Paster *paster = nullptr;
    Reader *reader = nullptr;
    BubbleController *bubble = nullptr;
};

// The processing road and the selection actions on `outputs`, added to the
// services of a controller that has not started yet.
void addOutputs(DictationController::Services &services, DictationData data, Outputs outputs);

// The desktop the paster posts keys into: XTEST, the frontmost window's class,
// the modifiers the user holds.
PasteDesktop pasteDesktop();

} // namespace DictationWiring
