// A window class whose procedure records every message it is given: the "old" procedure of a
// bound window, so tests can see which messages the framework let through.
#ifndef RP_RECORDING_CLASS_H
#define RP_RECORDING_CLASS_H

#include <windows.h>

#include <vector>

namespace testsupport {

constexpr const char* RecClass = "rpTestRecording";

// Registers RecClass once (a second registration fails harmlessly).
void registerRecordingClass();
// The class procedure: records msg, then DefWindowProcA.
LRESULT CALLBACK recordingClassProc(HWND h, UINT msg, WPARAM w, LPARAM l);
// Messages that reached the class procedure, in order; tests clear it.
std::vector<UINT>& classSeen();
bool seenByClass(UINT msg);

}  // namespace testsupport

#endif
