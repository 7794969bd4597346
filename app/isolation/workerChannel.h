// WorkerChannel: one probe worker as the window process sees it: the child process of the
// inspector's executable, the overlapped pipe to it and the block of lines it shares, and the
// session of each file sent to it. Nothing the worker sends is trusted: any anomaly ends it.
// Used by one thread at a time.
// Ownership: owns the process, the pipe, its events, the shared block's mapping and its view; a
// worker still running at destruction is ended.
#ifndef INSPECTOR_WORKER_CHANNEL_H
#define INSPECTOR_WORKER_CHANNEL_H

#include "rpHandle.h"
#include "workerProtocol.h"

#include <windows.h>

#include <string>
#include <vector>

// How a file's session with its worker ended.
enum class SessionEnd {
    Answered,       // the worker sent the file's record (with what the plug-in left behind)
    Faulted,        // an exception the plug-in did not handle; code: the exception code
    Exited,         // the worker's process ended; code: its exit code
    Hung,           // no new line for the time limit, or the file's ceiling passed
    Stopped,        // the batch was stopped
    ProtocolError,  // the worker's answer was broken: a malformed or unexpected message, a
                    // record the probe cannot produce or that answers another request, a
                    // damaged block, or a pipe closed by a live process
    NotStarted,     // no worker could be started; code: the system error code
};

// What one file's session gave.
struct WorkerSession {
    SessionEnd end = SessionEnd::Answered;
    DWORD code = 0;                   // see SessionEnd
    // False when the worker ended or broke before it took the request, or answered an earlier
    // request once more: then its end is no doing of this file, which may be sent again.
    bool taken = true;
    std::vector<std::string> lines;   // the file's whole lines from the shared block
    bool hasRecord = false;           // record holds the worker's record of the file: the one it
                                      // sent, or the one it left at its last line
    ProbeResult record;
    uint32_t leftovers = 0;           // Answered: WorkerLeftover bits of what the plug-in left
    bool windowShown = false;         // Hung: a window of the worker was visible
    std::string windowTitle;          // its title, in the ANSI code page
};

// How long a file may take.
struct SessionLimits {
    DWORD quietMs = 10000;    // the longest time without a new whole line
    DWORD ceilingMs = 100000; // the longest time in all, whatever the worker produces
};

class WorkerChannel {
public:
    WorkerChannel();
    ~WorkerChannel();
    WorkerChannel(const WorkerChannel&) = delete;
    WorkerChannel& operator=(const WorkerChannel&) = delete;

    // Starts `executable` as a worker, in `job` when it is not null, and waits (up to timeoutMs,
    // or until stop is set) until it has connected. Returns 0, or the system error code of the
    // failed start (WAIT_TIMEOUT, ERROR_CANCELLED when stopped); a worker that could not be put
    // into the job or resumed is ended.
    DWORD start(const std::wstring& executable, HANDLE job, HANDLE stop, DWORD timeoutMs);
    // Whether the worker runs and can take a request: its pipe is open and nothing has come
    // from it since its last answer. Leaves a read pending on the pipe.
    bool ready();
    // Whether its last session kept the worker, without asking the system: what a batch asks
    // between two files of its own. A worker that ended since is found out by the next probe,
    // which reports it as not taken.
    bool kept() const { return process_ && pipeOpen_ && received_.empty(); }
    // Sends the file to the worker and follows it to its end; with validate, the worker probes
    // with the checks, and its record must hold their facts (only then). The worker is kept only
    // when it answered and the plug-in left nothing behind; otherwise it has
    // been ended when this returns, so that no process holds the plug-in any more.
    WorkerSession probe(const std::wstring& path, const std::string& dllName, const std::string& shown,
                        const SessionLimits& limits, HANDLE stop, bool validate = false);
    // Ends the worker, waits for its end and closes everything; nothing when none was started.
    void retire();

private:
    enum class Wait { Message, Broken, Closed, TimedOut, Stopped };
    // Makes the pipe and the block and starts the process; 0 or the system error code.
    DWORD create(const std::wstring& executable, HANDLE job);
    DWORD launch(const std::wstring& executable, const std::wstring& pipeName, HANDLE job);
    DWORD connect(HANDLE stop, DWORD timeoutMs);
    bool send(const std::string& message);
    // The next whole message, waiting up to timeoutMs. Closed: the pipe is closed and every
    // message sent before has been taken (the process may still run).
    Wait next(HANDLE stop, DWORD timeoutMs, WorkerMessage* kind, std::string* payload);
    // Starts one overlapped read into chunk_ unless one is pending; false when the pipe is closed.
    bool startRead();
    // Takes the result of the pending read once its event is set; false when the pipe closed.
    bool finishRead();
    // Ends a pending read, keeping what it had received.
    void cancelRead();
    // Waits for the worker's answer to request `sequence`, its end, stop, or the time limits.
    void follow(uint32_t sequence, const SessionLimits& limits, HANDLE stop, WorkerSession* session);
    // Completes the session from the block, and keeps the worker or ends it.
    void finish(uint32_t sequence, WorkerSession* session);
    // The session's end from a message of the worker.
    void takeReply(WorkerMessage kind, const std::string& payload, uint32_t sequence, WorkerSession* session);
    // Whether a record's facts are what the request asked for: measured exactly when validating.
    bool factsAsAsked(const ProbeResult& record) const { return (record.facts.measured != 0) == validating_; }
    // The session's end once the pipe is closed: the process's exit, or a broken answer.
    void takeClosedPipe(WorkerSession* session);
    bool requestTaken(uint32_t sequence) const;

    rpHandle process_;        // the worker; none before start and after retire
    DWORD processId_ = 0;
    rpHandle mapping_;        // the shared block
    SharedLines* shared_ = nullptr;  // owned view of mapping_
    rpHandle pipe_;           // the window's end of the pipe
    rpHandle readEvent_;      // the overlapped reads' and the connection's event
    rpHandle writeEvent_;     // the overlapped writes' event
    OVERLAPPED read_ = {};
    bool readPending_ = false;
    bool pipeOpen_ = false;
    char chunk_[8192] = {};   // target of the pending read
    std::string received_;    // bytes read and not yet taken as messages
    uint32_t sequence_ = 0;   // the last request's number
    bool validating_ = false; // the last request asked for the checks
};

#endif
