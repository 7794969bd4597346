// Reading Windows image files (DLL, EXE) without loading them. The window reads the machine
// from a file's header to choose the worker; the worker reads the import and export tables of a
// plug-in and its dependencies to check a plug-in before it is loaded and to explain a failed
// load.
// PeImage reads a small file into memory (a larger one is mapped read-only: a plug-in of a few
// hundred KB costs one read, where a mapping costs several more calls to the system) and reads
// its tables as the loader maps the image: an address
// in the image (an RVA) lies in the section that covers it, where the bytes past the section's
// raw data read as zeros, or else below SizeOfHeaders in the headers. Every read is checked
// against the file: a truncated, corrupt or hostile file gives a status or a fault, never a read
// outside the file. What reading may cost is bounded by a Budget that the caller shares across
// every image it reads, so that no shape of the tables makes the work or memory grow past it.
// Ownership: a PeImage owns its file handle, and its copy or mapping and view of the file, until
// it is destroyed.
#ifndef INSPECTOR_PE_IMAGE_H
#define INSPECTOR_PE_IMAGE_H

#include "fileSystem.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// The machine that the file's image header names (IMAGE_FILE_MACHINE_I386, _AMD64, ...), or 0
// when the file is not a Windows image or cannot be read. Offsets are checked against the file.
// hasResources, when given, is set false only when the headers show that the image has no
// resource directory (so no version resource either); true when it may have one.
WORD peMachine(const std::wstring& path, bool* hasResources = nullptr);

class PeImage {
public:
    enum class Status {
        Ok,
        CannotOpen,  // the file cannot be opened or mapped; error() has the system code
        NotImage,    // no MZ and PE signatures: not a Windows image at all
        Truncated,   // the file ends before what its headers say it holds: the headers, the
                     // section table or a section's raw data
        BadHeaders,  // headers that cannot be read as an image (headerFault() says why)
    };

    // What reading tables may cost, shared by every image that one piece of work reads: bytes
    // examined in the images, files opened or looked for, and bytes kept in memory. Once a limit
    // is reached every further request is refused, and the reads report OverBudget.
    class Budget {
    public:
        enum class Limit { None, Work, Files, Memory };
        Budget(ULONGLONG bytesToExamine, DWORD fileOperations, size_t bytesToKeep);
        // Each returns false, and the budget stays exhausted, when the request does not fit.
        bool examine(ULONGLONG bytes);
        bool touchFile();
        bool keep(size_t bytes);
        bool exhausted() const { return exhaustedBy_ != Limit::None; }
        Limit exhaustedBy() const { return exhaustedBy_; }

    private:
        bool refuse(Limit limit);
        ULONGLONG examineLeft_;
        DWORD filesLeft_;
        size_t keepLeft_;
        Limit exhaustedBy_ = Limit::None;
    };

    // A header value that the loader refuses.
    struct HeaderFault {
        enum Kind {
            None,
            OptionalHeaderKind,     // value: the optional header's magic, of no known kind
            OptionalHeaderSize,     // value: SizeOfOptionalHeader, limit: the least it can be
            OptionalHeaderMachine,  // a 32-bit optional header for a 64-bit machine or the reverse
            SectionCount,           // value: NumberOfSections, limit: the most the loader takes
            Alignment,              // value: FileAlignment, limit: SectionAlignment
            HeadersSize,            // value: SizeOfHeaders, limit: SizeOfImage
            ImageSize,              // value: SizeOfImage, limit: where the last section ends
            SectionPlacement,       // value: the section's number (from 1), overlapping another
            SectionData,            // value: the section's number, limit: where its raw data
                                    // would end, past any file that is read as an image
        } kind = None;
        ULONGLONG value = 0;
        ULONGLONG limit = 0;
    };

    // What is wrong with an import table as the loader reads it.
    struct ImportFault {
        enum Kind {
            None,
            OverBudget,    // reading stopped at the budget: nothing is known of the rest
            Outside,       // the table starts outside the image
            Unterminated,  // it runs out of the image before its closing entry
            LibraryName,   // a library's name lies outside the image or does not end inside it
            FunctionList,  // a library's function list does the same (`library` names it)
            FunctionName,  // an imported function's name does the same (`library` names it)
        } kind = None;
        std::string library;  // as the table spells it, cut at MaxLibraryName bytes
    };

    struct ImportedLibrary {
        std::string name;  // as the table spells it, cut at MaxLibraryName bytes
        DWORD list = 0;    // RVA of its function list (the lookup table, else the address table)
        bool bound = false;  // a bound entry without lookup table: its list holds addresses
    };
    struct ImportedFunction {
        std::string name;   // empty when imported by ordinal; cut at MaxFunctionName bytes
        DWORD ordinal = 0;  // the ordinal, when imported by ordinal
        WORD hint = 0;      // where the loader looks for the name first
    };

    enum class Lookup { Found, Missing, Broken, OverBudget };

    // What opening the file reads besides the image.
    enum class Identity { Read, Skip };
    // Opens the file; with Identity::Skip its identity is not asked (identity() says false),
    // which saves the file system's volume query when no other file is compared with it.
    explicit PeImage(const std::wstring& path, Identity identity = Identity::Read);
    ~PeImage();
    PeImage(const PeImage&) = delete;
    PeImage& operator=(const PeImage&) = delete;

    Status status() const { return status_; }
    DWORD error() const { return error_; }
    // Valid unless the status is CannotOpen or NotImage (a truncated file may still have them).
    WORD machine() const { return machine_; }
    bool is64() const { return is64_; }  // a PE32+ optional header
    // Valid with an open file; false when the file system cannot tell.
    bool identity(FileIdentity* identity) const;
    // Bytes of headers and section table that opening the image examined (for a Budget).
    ULONGLONG headerBytes() const { return headerBytes_; }
    // Why the status is BadHeaders; with status Ok, the first header value that the loader
    // would refuse (None when there is none).
    HeaderFault headerFault() const;

    // The import table's libraries in table order, as the loader reads them: the entries up to
    // the first without a name or an address table. The names are kept in memory (charged to
    // the budget). A library whose name cannot be read is left out; the first fault met is
    // returned, and the libraries read before and after a broken name are kept.
    ImportFault importedLibraries(std::vector<ImportedLibrary>* libraries, Budget& budget) const;
    // Calls visit for each function of the library's list in order, up to its closing entry or
    // the first fault, which is returned. Nothing is called for a bound entry (see above).
    ImportFault importedFunctions(const ImportedLibrary& library, Budget& budget,
                                  const std::function<void(const ImportedFunction&)>& visit) const;
    // Whether the export table has the function, found as the loader finds it when it binds an
    // import: an ordinal by its place in the address table, a name at its hint or by a binary
    // search of the sorted name table; either way the address must not be zero. Broken when the
    // export table or an entry it needs lies outside the image.
    Lookup findExport(const ImportedFunction& function, Budget& budget) const;

    // The export table as GetProcAddress reads it: calls visit with each name of its name
    // table in order, and sets *functions to the number of its address table's entries that
    // are not zero (what it exports, with a name or by ordinal only). Missing when the image
    // has no export table, Broken when the table or a name lies outside the image, OverBudget
    // when reading stopped at the budget (the names visited so far stand).
    Lookup exportedNames(Budget& budget, DWORD* functions, const std::function<void(const std::string&)>& visit) const;

    // Images are read at most this large; a bigger file is refused as CannotOpen.
    static constexpr ULONGLONG MaxFileSize = 512ull * 1024 * 1024;
    // Files up to this size are read into memory whole; larger ones are mapped.
    static constexpr ULONGLONG MaxCopiedSize = 1024 * 1024;
    // The loader takes no image with more sections.
    static constexpr WORD MaxSections = 96;
    // Longest names kept from a table: a library's file name, an imported function's name.
    static constexpr size_t MaxLibraryName = MAX_PATH;
    static constexpr size_t MaxFunctionName = 4096;

private:
    // Where one section lies in the image and in the file.
    struct Section {
        DWORD start = 0;         // RVA
        ULONGLONG end = 0;       // RVA past its virtual size, rounded up to the alignment
        ULONGLONG fileEnd = 0;   // RVA past the part that comes from the file; zeros up to end
        DWORD rawOffset = 0;     // file offset of its raw data
    };
    enum class Read { Ok, Outside, OverBudget };
    // The lookup that a failed read makes: over the budget, or broken.
    static Lookup failedLookup(Read result);

    // The bytes [offset, offset + size) of the file, or null when they are not all inside it.
    const BYTE* fileAt(ULONGLONG offset, ULONGLONG size) const;
    // The longest piece of the image from rva on that lies in one place: *data points into the
    // file, or is null where the image reads zeros. False when rva is outside the image.
    bool pieceAt(ULONGLONG rva, const BYTE** data, ULONGLONG* length) const;
    // Copies [rva, rva + size) of the image.
    Read read(ULONGLONG rva, void* into, DWORD size, Budget& budget) const;
    // The NUL-terminated text at rva, of which at most `keep` bytes are stored; Outside when it
    // has no terminator inside the image.
    Read readText(ULONGLONG rva, size_t keep, std::string* text, Budget& budget) const;
    // The data directory entry `index`; false when the image has none of that kind.
    bool directory(int index, IMAGE_DATA_DIRECTORY* entry) const;
    // The export directory: Found, Missing when the image has none, or why it cannot be read.
    Lookup exportDirectory(IMAGE_EXPORT_DIRECTORY* exports, Budget& budget) const;
    // Builds sections_ from the section table and finds the first header fault.
    void mapSections();

    HANDLE file_ = INVALID_HANDLE_VALUE;  // owned
    HANDLE mapping_ = nullptr;            // owned; null when the file is copied
    const BYTE* view_ = nullptr;          // the whole file, read-only: copy_'s bytes, or an
                                          // owned view of mapping_
    std::vector<BYTE> copy_;              // the file's bytes when it is small
    ULONGLONG size_ = 0;
    Status status_ = Status::CannotOpen;
    DWORD error_ = 0;
    WORD machine_ = 0;
    bool is64_ = false;
    const BYTE* optional_ = nullptr;      // the optional header, inside view_
    WORD optionalSize_ = 0;
    WORD sectionCount_ = 0;
    ULONGLONG sectionTableOffset_ = 0;
    DWORD sizeOfHeaders_ = 0;
    DWORD sizeOfImage_ = 0;
    DWORD sectionAlignment_ = 0;
    DWORD fileAlignment_ = 0;
    ULONGLONG headerBytes_ = 0;
    bool hasIdentity_ = false;
    FileIdentity identity_;
    HeaderFault headerFault_;             // see headerFault()
    std::vector<Section> sections_;       // by start; an overlap goes to the later section
};

#endif
