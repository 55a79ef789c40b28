#pragma once

#include "calls/CallTranslator.h"
#include "calls/MeetingRecorder.h"
#include "dictation/DictationController.h"
#include "dictation/DictationData.h"
#include "dictation/Paster.h"
#include "engines/OmbryAI.h"
#include "platform/PortalKeyboard.h"

class BubbleController;
class EngineReadiness;
class MicrophoneList;
class PulseContext;
class Reader;

// The real neighbours the root hands to each subsystem, where tests hand in fakes.
namespace Wiring {

// Where a dictation's text goes: pasted, read aloud or shown in the bubble.
struct DictationOutputs
{
    Paster *paster = nullptr;
    Reader *reader = nullptr;
    BubbleController *bubble = nullptr;
};

// The dictation controller's: microphone, processing road, chunker, selection
// actions, sounds and permissions, on the program's `data`. `readiness` is
// probed again when a dictation asks; `microphones`: the kept list of input
// devices, asked instead of the sound server.
DictationController::Services dictation(DictationData data, EngineReadiness *readiness, PulseContext &pulse,
                                        MicrophoneList *microphones, DictationOutputs outputs);

// The desktop the paster posts keys into (XTEST, or the Wayland session's typing
// route), the frontmost window's class,
// the modifiers the user holds.
PasteDesktop pasteDesktop();

// Where the RemoteDesktop portal's restore token is kept between runs: the
// program's settings, so that the user consents once.
PortalKeyboard::TokenStore portalToken();

// The call translator's: the cloud requests go through `access`, the translation
// follows its settings; the capture and its check go through `pulse`.
CallServices calls(OmbryAI::Access access, PulseContext &pulse);

// The meeting recorder's: the cloud requests go through `access`, the meetings
// go to its store, the microphone records through `pulse`; `microphones` as
// for a dictation.
MeetingServices meetings(OmbryAI::Access access, PulseContext &pulse, MicrophoneList *microphones = nullptr);

} // namespace Wiring
