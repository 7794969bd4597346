#include "peImage.h"

#include <dbghelp.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace {

// Reads size bytes at offset; false when the file is shorter or cannot be read.
bool readAt(HANDLE file, DWORD offset, void* into, DWORD size)
{
    OVERLAPPED at = {};
    at.Offset = offset;
    DWORD got = 0;
    return ReadFile(file, into, size, &got, &at) && got == size;
}

// Ordinals are 16-bit: a table that claims more entries than that is not one a loader reads.
constexpr DWORD MaxExportEntries = 0x10000;
// Longest names taken from a table: a library's file name, an imported function's name.
constexpr size_t MaxLibraryName = MAX_PATH;
constexpr size_t MaxFunctionName = 4096;
// ImageRvaToVa calls allowed per image times the sections each may walk.
constexpr ULONGLONG LookupWork = 1ull << 26;

template <typename T>
T readValue(const BYTE* at)
{
    T value;
    std::memcpy(&value, at, sizeof value);  // table entries need not be aligned in a hostile file
    return value;
}

}  // namespace

WORD peMachine(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    WORD machine = 0;
    IMAGE_DOS_HEADER dos = {};
    DWORD signature = 0;
    IMAGE_FILE_HEADER header = {};
    if (readAt(file, 0, &dos, sizeof dos) && dos.e_magic == IMAGE_DOS_SIGNATURE && dos.e_lfanew > 0 &&
        readAt(file, static_cast<DWORD>(dos.e_lfanew), &signature, sizeof signature) && signature == IMAGE_NT_SIGNATURE &&
        readAt(file, static_cast<DWORD>(dos.e_lfanew) + sizeof signature, &header, sizeof header))
        machine = header.Machine;
    CloseHandle(file);
    return machine;
}

bool PeImage::ExportTable::hasName(const std::string& name) const
{
    return std::binary_search(names.begin(), names.end(), name);
}

bool PeImage::ExportTable::hasOrdinal(DWORD ordinal) const
{
    return ordinal >= base && ordinal - base < present.size() && present[ordinal - base];
}

PeImage::PeImage(const std::wstring& path)
{
    file_ = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file_ == INVALID_HANDLE_VALUE) {
        error_ = GetLastError();
        return;
    }
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file_, &size)) {
        error_ = GetLastError();
        return;
    }
    if (size.QuadPart == 0) {
        status_ = Status::NotImage;  // nothing to map
        return;
    }
    if (static_cast<ULONGLONG>(size.QuadPart) > MaxFileSize) {
        error_ = ERROR_FILE_TOO_LARGE;
        return;
    }
    size_ = static_cast<ULONGLONG>(size.QuadPart);
    mapping_ = CreateFileMappingW(file_, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapping_)
        view_ = static_cast<const BYTE*>(MapViewOfFile(mapping_, FILE_MAP_READ, 0, 0, 0));
    if (!view_) {
        error_ = GetLastError();
        return;
    }

    // The DOS header, then the PE signature where it points: only a file that has both is an
    // image; one that has the first and ends before the second was cut short.
    if (size_ < 2 || view_[0] != 'M' || view_[1] != 'Z') {
        status_ = Status::NotImage;
        return;
    }
    const BYTE* dosBytes = fileAt(0, sizeof(IMAGE_DOS_HEADER));
    if (!dosBytes) {
        status_ = Status::Truncated;
        return;
    }
    LONG lfanew = readValue<LONG>(dosBytes + offsetof(IMAGE_DOS_HEADER, e_lfanew));
    if (lfanew <= 0) {
        status_ = Status::NotImage;
        return;
    }
    const ULONGLONG ntOffset = static_cast<ULONGLONG>(lfanew);
    const BYTE* signature = fileAt(ntOffset, sizeof(DWORD));
    if (!signature) {
        status_ = Status::Truncated;
        return;
    }
    if (readValue<DWORD>(signature) != IMAGE_NT_SIGNATURE) {
        status_ = Status::NotImage;
        return;
    }
    const ULONGLONG fileHeaderOffset = ntOffset + sizeof(DWORD);
    const ULONGLONG optionalOffset = fileHeaderOffset + sizeof(IMAGE_FILE_HEADER);
    if (!fileAt(fileHeaderOffset, sizeof(IMAGE_FILE_HEADER) + sizeof(WORD))) {
        status_ = Status::Truncated;
        return;
    }
    // The signature and the file header are inside the file: the helper reads only those.
    nt_ = ImageNtHeader(const_cast<BYTE*>(view_));
    if (!nt_ || reinterpret_cast<const BYTE*>(nt_) != view_ + ntOffset) {
        nt_ = nullptr;
        status_ = Status::NotImage;
        return;
    }
    machine_ = nt_->FileHeader.Machine;
    const WORD magic = readValue<WORD>(view_ + optionalOffset);
    if (magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC && magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
        status_ = Status::BadHeaders;
        return;
    }
    is64_ = magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC;
    const WORD optionalSize = nt_->FileHeader.SizeOfOptionalHeader;
    const size_t optionalMinimum =
        is64_ ? offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory) : offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory);
    if (optionalSize < optionalMinimum) {
        status_ = Status::BadHeaders;
        return;
    }
    const ULONGLONG sectionsOffset = optionalOffset + optionalSize;
    const WORD sectionCount = nt_->FileHeader.NumberOfSections;
    if (!fileAt(optionalOffset, optionalSize) ||
        !fileAt(sectionsOffset, static_cast<ULONGLONG>(sectionCount) * sizeof(IMAGE_SECTION_HEADER))) {
        status_ = Status::Truncated;
        return;
    }
    sizeOfHeaders_ = is64_ ? readValue<DWORD>(view_ + optionalOffset + offsetof(IMAGE_OPTIONAL_HEADER64, SizeOfHeaders))
                           : readValue<DWORD>(view_ + optionalOffset + offsetof(IMAGE_OPTIONAL_HEADER32, SizeOfHeaders));
    // The loader maps every section's data from the file: a section that ends past it means the
    // file was cut short.
    for (WORD i = 0; i < sectionCount; ++i) {
        IMAGE_SECTION_HEADER section = readValue<IMAGE_SECTION_HEADER>(view_ + sectionsOffset + i * sizeof(IMAGE_SECTION_HEADER));
        if (section.SizeOfRawData != 0 && !fileAt(section.PointerToRawData, section.SizeOfRawData)) {
            status_ = Status::Truncated;
            return;
        }
    }
    lookupBudget_ = LookupWork / (static_cast<ULONGLONG>(sectionCount) + 1);
    status_ = Status::Ok;
}

PeImage::~PeImage()
{
    if (view_)
        UnmapViewOfFile(view_);
    if (mapping_)
        CloseHandle(mapping_);
    if (file_ != INVALID_HANDLE_VALUE)
        CloseHandle(file_);
}

const BYTE* PeImage::fileAt(ULONGLONG offset, ULONGLONG size) const
{
    if (!view_ || offset > size_ || size > size_ - offset)
        return nullptr;
    return view_ + offset;
}

const BYTE* PeImage::rvaAt(DWORD rva, DWORD size) const
{
    if (!nt_ || status_ != Status::Ok)
        return nullptr;
    // The headers are loaded as they lie in the file; no section holds them.
    if (rva < sizeOfHeaders_)
        return fileAt(rva, size);
    if (lookupBudget_ == 0)
        return nullptr;
    --lookupBudget_;
    // The section table is inside the file (checked when the image was opened).
    const BYTE* va = static_cast<const BYTE*>(ImageRvaToVa(nt_, const_cast<BYTE*>(view_), rva, &lastSection_));
    if (!va)
        return nullptr;
    // The helper adds the section's file offset without looking at the file's size.
    const UINT_PTR address = reinterpret_cast<UINT_PTR>(va);
    const UINT_PTR start = reinterpret_cast<UINT_PTR>(view_);
    if (address < start)
        return nullptr;
    return fileAt(address - start, size);
}

bool PeImage::textAt(DWORD rva, size_t maxLength, std::string* text) const
{
    const BYTE* start = rvaAt(rva, 1);
    if (!start)
        return false;
    const size_t room = static_cast<size_t>(view_ + size_ - start);
    const BYTE* end = static_cast<const BYTE*>(std::memchr(start, 0, std::min(room, maxLength + 1)));
    if (!end)
        return false;
    text->assign(reinterpret_cast<const char*>(start), static_cast<size_t>(end - start));
    return true;
}

bool PeImage::directory(int index, IMAGE_DATA_DIRECTORY* entry) const
{
    if (!nt_ || status_ != Status::Ok)
        return false;
    const BYTE* optional = reinterpret_cast<const BYTE*>(&nt_->OptionalHeader);
    const size_t countAt = is64_ ? offsetof(IMAGE_OPTIONAL_HEADER64, NumberOfRvaAndSizes)
                                 : offsetof(IMAGE_OPTIONAL_HEADER32, NumberOfRvaAndSizes);
    const size_t tableAt = is64_ ? offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory) : offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory);
    const DWORD count = readValue<DWORD>(optional + countAt);
    const size_t at = tableAt + static_cast<size_t>(index) * sizeof(IMAGE_DATA_DIRECTORY);
    // The optional header lies inside the file; the entry must lie inside the header.
    if (static_cast<DWORD>(index) >= count || at + sizeof(IMAGE_DATA_DIRECTORY) > nt_->FileHeader.SizeOfOptionalHeader)
        return false;
    *entry = readValue<IMAGE_DATA_DIRECTORY>(optional + at);
    return entry->VirtualAddress != 0;
}

bool PeImage::imports(std::vector<ImportedLibrary>* libraries) const
{
    libraries->clear();
    if (status_ != Status::Ok)
        return false;
    IMAGE_DATA_DIRECTORY table = {};
    if (!directory(IMAGE_DIRECTORY_ENTRY_IMPORT, &table))
        return true;
    const DWORD thunkSize = is64_ ? 8 : 4;
    // The descriptors run until one without a name or thunks, as the loader reads them; a table
    // that runs off the file before that is broken.
    for (ULONGLONG at = table.VirtualAddress;; at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        const BYTE* bytes = at <= MAXDWORD ? rvaAt(static_cast<DWORD>(at), sizeof(IMAGE_IMPORT_DESCRIPTOR)) : nullptr;
        if (!bytes)
            return false;
        const IMAGE_IMPORT_DESCRIPTOR descriptor = readValue<IMAGE_IMPORT_DESCRIPTOR>(bytes);
        if (descriptor.Name == 0 || descriptor.FirstThunk == 0)
            return true;
        ImportedLibrary library;
        if (!textAt(descriptor.Name, MaxLibraryName, &library.name))
            return false;
        // The lookup table when there is one, else the address table before binding.
        const DWORD lookup = descriptor.OriginalFirstThunk ? descriptor.OriginalFirstThunk : descriptor.FirstThunk;
        for (ULONGLONG thunkAt = lookup;; thunkAt += thunkSize) {
            const BYTE* thunk = thunkAt <= MAXDWORD ? rvaAt(static_cast<DWORD>(thunkAt), thunkSize) : nullptr;
            if (!thunk)
                return false;
            const ULONGLONG value = is64_ ? readValue<ULONGLONG>(thunk) : readValue<DWORD>(thunk);
            if (value == 0)
                break;
            ImportedFunction function;
            const bool byOrdinal = is64_ ? (value & IMAGE_ORDINAL_FLAG64) != 0 : (value & IMAGE_ORDINAL_FLAG32) != 0;
            if (byOrdinal) {
                function.ordinal = static_cast<DWORD>(value & 0xFFFF);
            } else {
                // A hint (2 bytes), then the name.
                const ULONGLONG nameAt = (value & 0x7FFFFFFF) + 2;
                if (nameAt > MAXDWORD || !textAt(static_cast<DWORD>(nameAt), MaxFunctionName, &function.name))
                    return false;
            }
            library.functions.push_back(function);
        }
        libraries->push_back(library);
    }
}

bool PeImage::exports(ExportTable* table) const
{
    *table = ExportTable();
    if (status_ != Status::Ok)
        return false;
    IMAGE_DATA_DIRECTORY entry = {};
    if (!directory(IMAGE_DIRECTORY_ENTRY_EXPORT, &entry))
        return true;
    const BYTE* bytes = rvaAt(entry.VirtualAddress, sizeof(IMAGE_EXPORT_DIRECTORY));
    if (!bytes)
        return false;
    const IMAGE_EXPORT_DIRECTORY directory = readValue<IMAGE_EXPORT_DIRECTORY>(bytes);
    if (directory.NumberOfFunctions > MaxExportEntries || directory.NumberOfNames > MaxExportEntries)
        return false;
    table->base = directory.Base;
    if (directory.NumberOfFunctions > 0) {
        const BYTE* functions = rvaAt(directory.AddressOfFunctions, directory.NumberOfFunctions * sizeof(DWORD));
        if (!functions)
            return false;
        table->present.resize(directory.NumberOfFunctions);
        for (DWORD i = 0; i < directory.NumberOfFunctions; ++i)
            table->present[i] = readValue<DWORD>(functions + i * sizeof(DWORD)) != 0;
    }
    if (directory.NumberOfNames > 0) {
        const BYTE* names = rvaAt(directory.AddressOfNames, directory.NumberOfNames * sizeof(DWORD));
        if (!names)
            return false;
        table->names.reserve(directory.NumberOfNames);
        for (DWORD i = 0; i < directory.NumberOfNames; ++i) {
            std::string name;
            if (!textAt(readValue<DWORD>(names + i * sizeof(DWORD)), MaxFunctionName, &name))
                return false;
            table->names.push_back(name);
        }
        std::sort(table->names.begin(), table->names.end());
    }
    return true;
}
