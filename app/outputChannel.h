// OutputChannel: where the modes without a window write: a file named on the command line, or
// a standard handle (a file or pipe it was redirected to, else the console of the program that
// started the inspector). The inspector is a GUI program and has no console of its own: when a
// standard handle is not redirected it attaches to its parent's console.
// Ownership: owns the handles it opens (the output file, the console's CONOUT$); a standard
// handle is borrowed and stays open.
#ifndef INSPECTOR_OUTPUT_CHANNEL_H
#define INSPECTOR_OUTPUT_CHANNEL_H

#include <windows.h>

#include <string>

class OutputChannel {
public:
    OutputChannel() = default;
    ~OutputChannel();
    OutputChannel(const OutputChannel&) = delete;
    OutputChannel& operator=(const OutputChannel&) = delete;

    // STD_OUTPUT_HANDLE or STD_ERROR_HANDLE as this process got it or, when it got none, the
    // parent's console. Returns false when there is nowhere to write (writes are then dropped).
    bool openStandard(DWORD which);
    // Creates or empties the file. Returns 0 or the system error code.
    DWORD openFile(const std::wstring& path);

    // Writes text given in `codePage` (932 for the list lines, CP_UTF8 for JSON): to a file or
    // pipe as the bytes it is, to a console as the characters it stands for, whatever the
    // console's own code page. False when the text could not be written whole.
    bool write(const std::string& text, UINT codePage);
    // Whether the channel writes characters to a console.
    bool isConsole() const { return console_; }

private:
    void close();

    HANDLE handle_ = nullptr;  // owned when owned_; null: nowhere to write
    bool owned_ = false;
    bool console_ = false;
};

#endif
