// The probe worker: the inspector's executable started by its window process with an internal
// switch. It connects to the pipe the window named and to the shared block that goes with it,
// probes the files the window sends one at a time with the ordinary probe, puts each list line
// into the shared block as it is produced, and answers each request with the file's record and
// what the plug-in left behind in the process. A plug-in's exception that the plug-in does not
// handle itself ends the worker after a Fault message; nothing is shown on screen for it. A
// worker that a plug-in left something in takes no further file, nor does one that validated.
#ifndef INSPECTOR_PROBE_WORKER_H
#define INSPECTOR_PROBE_WORKER_H

#include <string>

// The switch that makes the executable a worker; the pipe's name follows it.
constexpr const wchar_t* ProbeWorkerSwitch = L"--probe-worker";

// Serves the window at the pipe named pipeName until the window closes the pipe. Returns the
// process's exit code: 0 after a clean end, otherwise the system error that ended the service.
int runProbeWorker(const std::wstring& pipeName);

#endif
