// OutputChannel: where the modes without a window write: a file named on the command line, or
// a standard handle (a file or pipe it was redirected to, else the console of the program that
// started the inspector). The inspector is a GUI program and has no console of its own: when a
// standard handle is not redirected it attaches to its parent's console.
// A file is never left half-written: the text goes to a temporary file beside it, which
// replaces it only when commit() is called; otherwise the temporary file is deleted.
// Ownership: owns the handles it opens (the temporary file, a device, the console's CONOUT$)
// and the temporary file until it is committed; a standard handle is borrowed and stays open.
#ifndef INSPECTOR_OUTPUT_CHANNEL_H
#define INSPECTOR_OUTPUT_CHANNEL_H

#include <windows.h>

#include <string>

class OutputChannel {
public:
    OutputChannel() = default;
    // Deletes a temporary file that was not committed.
    ~OutputChannel();
    OutputChannel(const OutputChannel&) = delete;
    OutputChannel& operator=(const OutputChannel&) = delete;

    // STD_OUTPUT_HANDLE or STD_ERROR_HANDLE as this process got it or, when it got none, the
    // parent's console. Returns false when there is nowhere to write (writes are then dropped).
    bool openStandard(DWORD which);
    // Prepares to replace the file at path (or create it): writes go to a new temporary file in
    // its folder. A device that exists under that name (NUL, a pipe, a console) cannot be
    // replaced and is written to directly. Returns 0 or the system error code.
    DWORD openFile(const std::wstring& path);

    // Writes text given in `codePage` (932 for the list lines, CP_UTF8 for JSON): to a file or
    // pipe as the bytes it is, to a console as the characters it stands for, whatever the
    // console's own code page. False when the text could not be written whole; error() then
    // tells why.
    bool write(const std::string& text, UINT codePage);
    // Puts what was written in place of the file of openFile, flushed to the disk, in one
    // step; nothing to do for other channels. Returns 0 or the system error code, after which
    // the file is as it was and the temporary file is gone.
    DWORD commit();
    // Whether the channel writes characters to a console.
    bool isConsole() const { return console_; }
    // The system code of the last write that failed.
    DWORD error() const { return error_; }

private:
    void close();

    HANDLE handle_ = nullptr;  // owned when owned_; null: nowhere to write
    bool owned_ = false;
    bool console_ = false;
    DWORD error_ = 0;
    std::wstring target_;      // the file that commit() replaces; empty for other channels
    std::wstring temporary_;   // the temporary file written instead, until committed (owned)
};

#endif
