// Facts the window process reads from a file's Windows image header without loading it.
#ifndef INSPECTOR_PE_IMAGE_H
#define INSPECTOR_PE_IMAGE_H

#include <windows.h>

#include <string>

// The machine that the file's image header names (IMAGE_FILE_MACHINE_I386, _AMD64, ...), or 0
// when the file is not a Windows image or cannot be read. Offsets are checked against the file.
WORD peMachine(const std::wstring& path);

#endif
