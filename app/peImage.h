// Reading Windows image files (DLL, EXE) without loading them. The window reads the machine
// from a file's header to choose the worker; the worker reads the import and export tables of a
// plug-in and its dependencies to explain a failed load.
// PeImage maps the file read-only and takes the headers with the system's image helpers
// (ImageNtHeader, ImageRvaToVa), but only after checking that what they will read lies inside
// the file, and checks every pointer they return the same way: a truncated, corrupt or hostile
// file gives a status or a false return, never a read outside the file, and every table is
// read in time bounded by the file's size.
// Ownership: a PeImage owns its file handle, mapping and view until it is destroyed.
#ifndef INSPECTOR_PE_IMAGE_H
#define INSPECTOR_PE_IMAGE_H

#include <windows.h>

#include <string>
#include <vector>

// The machine that the file's image header names (IMAGE_FILE_MACHINE_I386, _AMD64, ...), or 0
// when the file is not a Windows image or cannot be read. Offsets are checked against the file.
WORD peMachine(const std::wstring& path);

class PeImage {
public:
    enum class Status {
        Ok,
        CannotOpen,  // the file cannot be opened or mapped; error() has the system code
        NotImage,    // no MZ and PE signatures: not a Windows image at all
        Truncated,   // the headers, the section table or a section's data end past the file
        BadHeaders,  // headers that no loader accepts (optional header of unknown kind or size)
    };

    struct ImportedFunction {
        std::string name;   // empty when imported by ordinal
        DWORD ordinal = 0;  // the ordinal, when imported by ordinal
    };
    struct ImportedLibrary {
        std::string name;                          // as the table spells it
        std::vector<ImportedFunction> functions;   // in table order
    };
    struct ExportTable {
        DWORD base = 0;                  // the first ordinal
        std::vector<bool> present;       // present[i]: ordinal base + i has code (or a forwarder)
        std::vector<std::string> names;  // exported names, sorted
        bool hasName(const std::string& name) const;
        bool hasOrdinal(DWORD ordinal) const;
    };

    explicit PeImage(const std::wstring& path);
    ~PeImage();
    PeImage(const PeImage&) = delete;
    PeImage& operator=(const PeImage&) = delete;

    Status status() const { return status_; }
    DWORD error() const { return error_; }
    // Valid unless the status is CannotOpen or NotImage (a truncated file may still have them).
    WORD machine() const { return machine_; }
    bool is64() const { return is64_; }  // a PE32+ optional header

    // The import table, one entry per library in table order (none when the image has no
    // table). False when the table is broken: outside the file, without its closing entry, or
    // with a name that has no terminator; the libraries read before the fault are kept.
    bool imports(std::vector<ImportedLibrary>* libraries) const;
    // The export table (empty when the image has none). False when it is broken.
    bool exports(ExportTable* table) const;

    // Images are read at most this large; a bigger file is refused as CannotOpen.
    static constexpr ULONGLONG MaxFileSize = 512ull * 1024 * 1024;

private:
    // The bytes [offset, offset + size) of the file, or null when they are not all inside it.
    const BYTE* fileAt(ULONGLONG offset, ULONGLONG size) const;
    // The file bytes that hold [rva, rva + size) of the loaded image, or null.
    const BYTE* rvaAt(DWORD rva, DWORD size) const;
    // The NUL-terminated text at rva (at most maxLength bytes before the terminator), or false.
    bool textAt(DWORD rva, size_t maxLength, std::string* text) const;
    // The data directory entry `index`; false when the image has none of that kind.
    bool directory(int index, IMAGE_DATA_DIRECTORY* entry) const;

    HANDLE file_ = INVALID_HANDLE_VALUE;  // owned
    HANDLE mapping_ = nullptr;            // owned
    const BYTE* view_ = nullptr;          // owned: the whole file, read-only
    ULONGLONG size_ = 0;
    Status status_ = Status::CannotOpen;
    DWORD error_ = 0;
    WORD machine_ = 0;
    bool is64_ = false;
    PIMAGE_NT_HEADERS nt_ = nullptr;      // inside view_
    DWORD sizeOfHeaders_ = 0;
    // ImageRvaToVa walks the section table on each call that misses its hint: the calls left
    // before a table is given up as too costly to read (a hostile table of 65,535 sections).
    mutable ULONGLONG lookupBudget_ = 0;
    mutable PIMAGE_SECTION_HEADER lastSection_ = nullptr;  // ImageRvaToVa's hint
};

#endif
