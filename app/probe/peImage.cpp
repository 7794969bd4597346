#include "peImage.h"

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

// What finding one piece of the image costs, counted as bytes examined.
constexpr ULONGLONG LookupCost = 16;
// Texts are scanned for their terminator at most this much at a time, each piece charged as it
// is scanned.
constexpr ULONGLONG ScanPiece = 64 * 1024;

template <typename T>
T readValue(const BYTE* at)
{
    T value;
    std::memcpy(&value, at, sizeof value);  // fields need not be aligned in a hostile file
    return value;
}

bool isPowerOfTwo(DWORD value)
{
    return value != 0 && (value & (value - 1)) == 0;
}

ULONGLONG roundUp(ULONGLONG value, DWORD alignment)
{
    return isPowerOfTwo(alignment) ? (value + alignment - 1) & ~static_cast<ULONGLONG>(alignment - 1) : value;
}

// The pointer size that the machine's images are built for: 32 or 64, or 0 when unknown.
int machineBits(WORD machine)
{
    switch (machine) {
    case IMAGE_FILE_MACHINE_I386:
    case IMAGE_FILE_MACHINE_ARM:
    case IMAGE_FILE_MACHINE_THUMB:
    case IMAGE_FILE_MACHINE_ARMNT:
        return 32;
    case IMAGE_FILE_MACHINE_AMD64:
    case IMAGE_FILE_MACHINE_IA64:
    case 0xAA64:  // ARM64
        return 64;
    default:
        return 0;
    }
}

}  // namespace

WORD peMachine(const std::wstring& path, bool* hasResources)
{
    if (hasResources)
        *hasResources = true;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    // The headers of an ordinary image lie in its first page: one read finds them, and only a
    // file whose header lies further is read again where it points.
    BYTE start[4096];
    DWORD got = 0;
    if (!ReadFile(file, start, sizeof start, &got, nullptr))
        got = 0;
    WORD machine = 0;
    IMAGE_DOS_HEADER dos = {};
    if (got >= sizeof dos) {
        std::memcpy(&dos, start, sizeof dos);
        struct {
            DWORD signature;
            IMAGE_FILE_HEADER header;
        } nt = {};
        const ULONGLONG at = static_cast<ULONGLONG>(static_cast<DWORD>(dos.e_lfanew));
        bool read = false;
        if (dos.e_magic == IMAGE_DOS_SIGNATURE && dos.e_lfanew > 0) {
            if (at + sizeof nt.signature + sizeof nt.header <= got) {
                std::memcpy(&nt.signature, start + at, sizeof nt.signature);
                std::memcpy(&nt.header, start + at + sizeof nt.signature, sizeof nt.header);
                read = true;
            } else {
                read = readAt(file, static_cast<DWORD>(at), &nt.signature, sizeof nt.signature) &&
                       readAt(file, static_cast<DWORD>(at) + sizeof nt.signature, &nt.header, sizeof nt.header);
            }
        }
        if (read && nt.signature == IMAGE_NT_SIGNATURE)
            machine = nt.header.Machine;
        // The resource directory's entry, where the optional header of either kind keeps it,
        // when the first page holds it.
        const ULONGLONG optional = at + sizeof nt.signature + sizeof nt.header;
        if (machine != 0 && hasResources && optional + sizeof(WORD) <= got) {
            WORD magic = 0;
            std::memcpy(&magic, start + optional, sizeof magic);
            const ULONGLONG counted = optional + (magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC
                                                      ? offsetof(IMAGE_OPTIONAL_HEADER64, NumberOfRvaAndSizes)
                                                      : offsetof(IMAGE_OPTIONAL_HEADER32, NumberOfRvaAndSizes));
            const ULONGLONG entry = optional + (magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC
                                                    ? offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory)
                                                    : offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory)) +
                                    IMAGE_DIRECTORY_ENTRY_RESOURCE * sizeof(IMAGE_DATA_DIRECTORY);
            const bool knownKind = magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC || magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC;
            if (knownKind && entry + sizeof(IMAGE_DATA_DIRECTORY) <= got &&
                nt.header.SizeOfOptionalHeader >= entry + sizeof(IMAGE_DATA_DIRECTORY) - optional) {
                DWORD count = 0;
                IMAGE_DATA_DIRECTORY resources = {};
                std::memcpy(&count, start + counted, sizeof count);
                std::memcpy(&resources, start + entry, sizeof resources);
                *hasResources = count > IMAGE_DIRECTORY_ENTRY_RESOURCE && resources.VirtualAddress != 0 && resources.Size != 0;
            }
        }
    }
    CloseHandle(file);
    return machine;
}

// ---- Budget

PeImage::Budget::Budget(ULONGLONG bytesToExamine, DWORD fileOperations, size_t bytesToKeep)
    : examineLeft_(bytesToExamine), filesLeft_(fileOperations), keepLeft_(bytesToKeep)
{
}

bool PeImage::Budget::refuse(Limit limit)
{
    if (exhaustedBy_ == Limit::None)
        exhaustedBy_ = limit;
    return false;
}

bool PeImage::Budget::examine(ULONGLONG bytes)
{
    if (exhausted() || bytes > examineLeft_)
        return refuse(Limit::Work);
    examineLeft_ -= bytes;
    return true;
}

bool PeImage::Budget::touchFile()
{
    if (exhausted() || filesLeft_ == 0)
        return refuse(Limit::Files);
    --filesLeft_;
    return true;
}

bool PeImage::Budget::keep(size_t bytes)
{
    if (exhausted() || bytes > keepLeft_)
        return refuse(Limit::Memory);
    keepLeft_ -= bytes;
    return true;
}

// ---- Opening

PeImage::PeImage(const std::wstring& path, Identity identity)
{
    file_ = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file_ == INVALID_HANDLE_VALUE) {
        error_ = GetLastError();
        return;
    }
    if (identity == Identity::Read)
        hasIdentity_ = fileIdentity(file_, &identity_);
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
    if (size_ <= MaxCopiedSize) {
        // One read of the whole file. A file that changes size meanwhile is read as far as it
        // was when its size was taken, or refused when it became shorter.
        copy_.resize(static_cast<size_t>(size_));
        DWORD got = 0;
        if (!ReadFile(file_, copy_.data(), static_cast<DWORD>(size_), &got, nullptr) || got != size_) {
            error_ = got != size_ ? ERROR_HANDLE_EOF : GetLastError();
            copy_.clear();
            return;
        }
        view_ = copy_.data();
    } else {
        mapping_ = CreateFileMappingW(file_, nullptr, PAGE_READONLY, 0, 0, nullptr);
        if (mapping_)
            view_ = static_cast<const BYTE*>(MapViewOfFile(mapping_, FILE_MAP_READ, 0, 0, 0));
        if (!view_) {
            error_ = GetLastError();
            return;
        }
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
    const BYTE* fileHeader = fileAt(fileHeaderOffset, sizeof(IMAGE_FILE_HEADER) + sizeof(WORD));
    if (!fileHeader) {
        status_ = Status::Truncated;
        return;
    }
    machine_ = readValue<WORD>(fileHeader + offsetof(IMAGE_FILE_HEADER, Machine));
    sectionCount_ = readValue<WORD>(fileHeader + offsetof(IMAGE_FILE_HEADER, NumberOfSections));
    optionalSize_ = readValue<WORD>(fileHeader + offsetof(IMAGE_FILE_HEADER, SizeOfOptionalHeader));
    const WORD magic = readValue<WORD>(view_ + optionalOffset);
    if (magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC && magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
        headerFault_ = {HeaderFault::OptionalHeaderKind, magic, 0};
        status_ = Status::BadHeaders;
        return;
    }
    is64_ = magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC;
    const size_t optionalMinimum =
        is64_ ? offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory) : offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory);
    if (optionalSize_ < optionalMinimum) {
        headerFault_ = {HeaderFault::OptionalHeaderSize, optionalSize_, optionalMinimum};
        status_ = Status::BadHeaders;
        return;
    }
    optional_ = fileAt(optionalOffset, optionalSize_);
    if (!optional_) {
        status_ = Status::Truncated;
        return;
    }
    // A section table that the file cannot hold was cut short, unless it claims more sections
    // than any loader takes: then the count is what is wrong, not the file.
    sectionTableOffset_ = optionalOffset + optionalSize_;
    const ULONGLONG sectionTableSize = static_cast<ULONGLONG>(sectionCount_) * sizeof(IMAGE_SECTION_HEADER);
    headerBytes_ = sectionTableOffset_ + sectionTableSize;
    if (!fileAt(sectionTableOffset_, sectionTableSize)) {
        if (sectionCount_ > MaxSections) {
            headerFault_ = {HeaderFault::SectionCount, sectionCount_, MaxSections};
            status_ = Status::BadHeaders;
        } else {
            status_ = Status::Truncated;
        }
        return;
    }
    if (is64_) {
        sizeOfHeaders_ = readValue<DWORD>(optional_ + offsetof(IMAGE_OPTIONAL_HEADER64, SizeOfHeaders));
        sizeOfImage_ = readValue<DWORD>(optional_ + offsetof(IMAGE_OPTIONAL_HEADER64, SizeOfImage));
        sectionAlignment_ = readValue<DWORD>(optional_ + offsetof(IMAGE_OPTIONAL_HEADER64, SectionAlignment));
        fileAlignment_ = readValue<DWORD>(optional_ + offsetof(IMAGE_OPTIONAL_HEADER64, FileAlignment));
    } else {
        sizeOfHeaders_ = readValue<DWORD>(optional_ + offsetof(IMAGE_OPTIONAL_HEADER32, SizeOfHeaders));
        sizeOfImage_ = readValue<DWORD>(optional_ + offsetof(IMAGE_OPTIONAL_HEADER32, SizeOfImage));
        sectionAlignment_ = readValue<DWORD>(optional_ + offsetof(IMAGE_OPTIONAL_HEADER32, SectionAlignment));
        fileAlignment_ = readValue<DWORD>(optional_ + offsetof(IMAGE_OPTIONAL_HEADER32, FileAlignment));
    }
    // The loader maps every section's raw data from the file: one that ends past it means the
    // file was cut short, unless it would end past any file read as an image: then its place is
    // what is wrong.
    bool truncated = false;
    for (WORD i = 0; i < sectionCount_; ++i) {
        const IMAGE_SECTION_HEADER section =
            readValue<IMAGE_SECTION_HEADER>(view_ + sectionTableOffset_ + i * sizeof(IMAGE_SECTION_HEADER));
        const ULONGLONG rawEnd = static_cast<ULONGLONG>(section.PointerToRawData) + section.SizeOfRawData;
        if (section.SizeOfRawData == 0 || fileAt(section.PointerToRawData, section.SizeOfRawData))
            continue;
        if (rawEnd > MaxFileSize) {
            headerFault_ = {HeaderFault::SectionData, i + 1u, rawEnd};
            status_ = Status::BadHeaders;
            return;
        }
        truncated = true;
    }
    if (truncated) {
        status_ = Status::Truncated;
        return;
    }
    mapSections();
    status_ = Status::Ok;
}

void PeImage::mapSections()
{
    sections_.reserve(sectionCount_);
    ULONGLONG previousEnd = 0;
    ULONGLONG imageEnd = sizeOfHeaders_;
    WORD misplaced = 0;
    for (WORD i = 0; i < sectionCount_; ++i) {
        const IMAGE_SECTION_HEADER header =
            readValue<IMAGE_SECTION_HEADER>(view_ + sectionTableOffset_ + i * sizeof(IMAGE_SECTION_HEADER));
        const DWORD virtualSize = header.Misc.VirtualSize ? header.Misc.VirtualSize : header.SizeOfRawData;
        Section section;
        section.start = header.VirtualAddress;
        section.end = header.VirtualAddress + roundUp(virtualSize, sectionAlignment_);
        section.fileEnd = header.VirtualAddress + std::min<ULONGLONG>(header.SizeOfRawData, section.end - section.start);
        section.rawOffset = header.PointerToRawData;
        if (section.end == section.start)
            continue;  // nothing of the image lies there
        // The loader places the sections one after another above the headers.
        if (!misplaced && (section.start < previousEnd || section.start < sizeOfHeaders_))
            misplaced = static_cast<WORD>(i + 1);
        previousEnd = std::max(previousEnd, section.end);
        imageEnd = std::max(imageEnd, section.end);
        sections_.push_back(section);
    }
    std::stable_sort(sections_.begin(), sections_.end(),
                     [](const Section& a, const Section& b) { return a.start < b.start; });
    for (size_t i = 0; i + 1 < sections_.size(); ++i) {
        Section& section = sections_[i];
        section.end = std::min<ULONGLONG>(section.end, sections_[i + 1].start);
        section.fileEnd = std::min(section.fileEnd, section.end);
    }

    // The first value that the loader refuses, in the order of the header.
    const int bits = machineBits(machine_);
    if (bits != 0 && (bits == 64) != is64_)
        headerFault_ = {HeaderFault::OptionalHeaderMachine, 0, 0};
    else if (sectionCount_ > MaxSections)
        headerFault_ = {HeaderFault::SectionCount, sectionCount_, MaxSections};
    else if (!isPowerOfTwo(fileAlignment_) || !isPowerOfTwo(sectionAlignment_) || fileAlignment_ > sectionAlignment_)
        headerFault_ = {HeaderFault::Alignment, fileAlignment_, sectionAlignment_};
    else if (sizeOfHeaders_ > sizeOfImage_)
        headerFault_ = {HeaderFault::HeadersSize, sizeOfHeaders_, sizeOfImage_};
    else if (misplaced)
        headerFault_ = {HeaderFault::SectionPlacement, misplaced, 0};
    else if (sizeOfImage_ == 0 || roundUp(sizeOfImage_, sectionAlignment_) < imageEnd)
        headerFault_ = {HeaderFault::ImageSize, sizeOfImage_, imageEnd};
}

PeImage::~PeImage()
{
    if (mapping_ && view_)
        UnmapViewOfFile(view_);
    if (mapping_)
        CloseHandle(mapping_);
    if (file_ != INVALID_HANDLE_VALUE)
        CloseHandle(file_);
}

bool PeImage::identity(FileIdentity* identity) const
{
    if (hasIdentity_)
        *identity = identity_;
    return hasIdentity_;
}

PeImage::HeaderFault PeImage::headerFault() const
{
    return status_ == Status::Ok || status_ == Status::BadHeaders ? headerFault_ : HeaderFault();
}

// ---- Reading the image as it is mapped

const BYTE* PeImage::fileAt(ULONGLONG offset, ULONGLONG size) const
{
    if (!view_ || offset > size_ || size > size_ - offset)
        return nullptr;
    return view_ + offset;
}

bool PeImage::pieceAt(ULONGLONG rva, const BYTE** data, ULONGLONG* length) const
{
    if (status_ != Status::Ok || rva > MAXDWORD)
        return false;
    // The last section that starts at or below rva covers it if it reaches that far.
    auto next = std::upper_bound(sections_.begin(), sections_.end(), rva,
                                 [](ULONGLONG at, const Section& section) { return at < section.start; });
    if (next != sections_.begin()) {
        const Section& section = *(next - 1);
        if (rva < section.end) {
            if (rva < section.fileEnd) {
                *data = view_ + section.rawOffset + (rva - section.start);  // checked at opening
                *length = section.fileEnd - rva;
            } else {
                *data = nullptr;
                *length = section.end - rva;
            }
            return true;
        }
    }
    // Below SizeOfHeaders, where no section lies, the headers as they are in the file.
    ULONGLONG headersEnd = std::min<ULONGLONG>(sizeOfHeaders_, size_);
    if (next != sections_.end())
        headersEnd = std::min<ULONGLONG>(headersEnd, next->start);
    if (rva >= headersEnd)
        return false;
    *data = view_ + rva;
    *length = headersEnd - rva;
    return true;
}

PeImage::Read PeImage::read(ULONGLONG rva, void* into, DWORD size, Budget& budget) const
{
    if (!budget.examine(LookupCost + size))
        return Read::OverBudget;
    BYTE* out = static_cast<BYTE*>(into);
    for (DWORD done = 0; done < size;) {
        const BYTE* data = nullptr;
        ULONGLONG length = 0;
        if (!pieceAt(rva + done, &data, &length))
            return Read::Outside;
        const DWORD part = static_cast<DWORD>(std::min<ULONGLONG>(length, size - done));
        if (data)
            std::memcpy(out + done, data, part);
        else
            std::memset(out + done, 0, part);
        done += part;
    }
    return Read::Ok;
}

PeImage::Read PeImage::readText(ULONGLONG rva, size_t keep, std::string* text, Budget& budget) const
{
    text->clear();
    for (ULONGLONG at = rva;;) {
        const BYTE* data = nullptr;
        ULONGLONG length = 0;
        if (!budget.examine(LookupCost))
            return Read::OverBudget;
        if (!pieceAt(at, &data, &length))
            return Read::Outside;
        if (!data)
            return Read::Ok;  // the zeros past a section's raw data end it
        length = std::min(length, ScanPiece);
        const BYTE* end = static_cast<const BYTE*>(std::memchr(data, 0, static_cast<size_t>(length)));
        const size_t scanned = end ? static_cast<size_t>(end - data) : static_cast<size_t>(length);
        if (!budget.examine(scanned + 1))
            return Read::OverBudget;
        if (text->size() < keep)
            text->append(reinterpret_cast<const char*>(data), std::min(scanned, keep - text->size()));
        if (end)
            return Read::Ok;
        at += length;
    }
}

bool PeImage::directory(int index, IMAGE_DATA_DIRECTORY* entry) const
{
    if (status_ != Status::Ok)
        return false;
    const size_t countAt = is64_ ? offsetof(IMAGE_OPTIONAL_HEADER64, NumberOfRvaAndSizes)
                                 : offsetof(IMAGE_OPTIONAL_HEADER32, NumberOfRvaAndSizes);
    const size_t tableAt = is64_ ? offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory) : offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory);
    const DWORD count = readValue<DWORD>(optional_ + countAt);
    const size_t at = tableAt + static_cast<size_t>(index) * sizeof(IMAGE_DATA_DIRECTORY);
    // The optional header lies inside the file; the entry must lie inside the header.
    if (static_cast<DWORD>(index) >= count || at + sizeof(IMAGE_DATA_DIRECTORY) > optionalSize_)
        return false;
    *entry = readValue<IMAGE_DATA_DIRECTORY>(optional_ + at);
    return entry->VirtualAddress != 0;
}

// ---- Tables

PeImage::ImportFault PeImage::importedLibraries(std::vector<ImportedLibrary>* libraries, Budget& budget) const
{
    libraries->clear();
    ImportFault fault;
    // The first fault is the one reported; reading on finds the libraries named after it.
    auto note = [&fault](ImportFault::Kind kind) {
        if (fault.kind == ImportFault::None)
            fault.kind = kind;
        return fault;
    };
    IMAGE_DATA_DIRECTORY table = {};
    if (!directory(IMAGE_DIRECTORY_ENTRY_IMPORT, &table))
        return fault;
    // The entries run until one without a name or an address table, as the loader reads them
    // (it does not look at the directory's size).
    for (ULONGLONG at = table.VirtualAddress;; at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        IMAGE_IMPORT_DESCRIPTOR descriptor = {};
        switch (read(at, &descriptor, sizeof descriptor, budget)) {
        case Read::OverBudget: return note(ImportFault::OverBudget);
        case Read::Outside: return note(at == table.VirtualAddress ? ImportFault::Outside : ImportFault::Unterminated);
        case Read::Ok: break;
        }
        if (descriptor.Name == 0 || descriptor.FirstThunk == 0)
            return fault;
        ImportedLibrary library;
        switch (readText(descriptor.Name, MaxLibraryName, &library.name, budget)) {
        case Read::OverBudget: return note(ImportFault::OverBudget);
        case Read::Outside: note(ImportFault::LibraryName); continue;
        case Read::Ok: break;
        }
        if (!budget.keep(sizeof library + library.name.size()))
            return note(ImportFault::OverBudget);
        library.list = descriptor.OriginalFirstThunk ? descriptor.OriginalFirstThunk : descriptor.FirstThunk;
        library.bound = descriptor.OriginalFirstThunk == 0 && descriptor.TimeDateStamp != 0;
        libraries->push_back(library);
    }
}

PeImage::ImportFault PeImage::importedFunctions(const ImportedLibrary& library, Budget& budget,
                                                const std::function<void(const ImportedFunction&)>& visit) const
{
    ImportFault fault;
    if (library.bound)
        return fault;
    auto broken = [&](ImportFault::Kind kind) {
        fault.kind = kind;
        if (kind != ImportFault::OverBudget)
            fault.library = library.name;
        return fault;
    };
    const DWORD entrySize = is64_ ? 8 : 4;
    const ULONGLONG ordinalFlag = is64_ ? IMAGE_ORDINAL_FLAG64 : IMAGE_ORDINAL_FLAG32;
    ImportedFunction function;
    for (ULONGLONG at = library.list;; at += entrySize) {
        ULONGLONG entry = 0;  // little-endian: a 4-byte entry fills its low half
        switch (read(at, &entry, entrySize, budget)) {
        case Read::OverBudget: return broken(ImportFault::OverBudget);
        case Read::Outside: return broken(ImportFault::FunctionList);
        case Read::Ok: break;
        }
        if (entry == 0)
            return fault;
        function.name.clear();
        function.ordinal = 0;
        function.hint = 0;
        if (entry & ordinalFlag) {
            function.ordinal = static_cast<DWORD>(entry & 0xFFFF);
        } else {
            // A hint, then the name; the loader takes the entry's low 32 bits as their RVA.
            const DWORD nameAt = static_cast<DWORD>(entry);
            Read result = read(nameAt, &function.hint, sizeof function.hint, budget);
            if (result == Read::Ok)
                result = readText(static_cast<ULONGLONG>(nameAt) + sizeof function.hint, MaxFunctionName, &function.name, budget);
            if (result == Read::OverBudget)
                return broken(ImportFault::OverBudget);
            if (result == Read::Outside)
                return broken(ImportFault::FunctionName);
        }
        visit(function);
    }
}

PeImage::Lookup PeImage::failedLookup(Read result)
{
    return result == Read::OverBudget ? Lookup::OverBudget : Lookup::Broken;
}

PeImage::Lookup PeImage::exportDirectory(IMAGE_EXPORT_DIRECTORY* exports, Budget& budget) const
{
    IMAGE_DATA_DIRECTORY entry = {};
    if (!directory(IMAGE_DIRECTORY_ENTRY_EXPORT, &entry))
        return Lookup::Missing;
    Read result = read(entry.VirtualAddress, exports, sizeof *exports, budget);
    return result == Read::Ok ? Lookup::Found : failedLookup(result);
}

PeImage::Lookup PeImage::findExport(const ImportedFunction& function, Budget& budget) const
{
    IMAGE_EXPORT_DIRECTORY exports = {};
    const Lookup table = exportDirectory(&exports, budget);
    if (table != Lookup::Found)
        return table;
    Read result = Read::Ok;

    DWORD index = 0;  // into the address table
    if (function.name.empty()) {
        if (function.ordinal < exports.Base)
            return Lookup::Missing;
        index = function.ordinal - exports.Base;
    } else {
        // How the name at `position` of the name table compares with the one looked for.
        int order = 0;
        auto compareAt = [&](DWORD position) {
            DWORD nameAt = 0;
            std::string name;
            Read got = read(exports.AddressOfNames + static_cast<ULONGLONG>(position) * sizeof(DWORD), &nameAt,
                            sizeof nameAt, budget);
            if (got == Read::Ok)
                got = readText(nameAt, MaxFunctionName, &name, budget);
            order = name.compare(function.name);
            return got;
        };
        bool found = false;
        DWORD position = function.hint;
        if (position < exports.NumberOfNames) {
            if ((result = compareAt(position)) != Read::Ok)
                return failedLookup(result);
            found = order == 0;
        }
        for (DWORD low = 0, high = exports.NumberOfNames; !found && low < high;) {
            position = low + (high - low) / 2;
            if ((result = compareAt(position)) != Read::Ok)
                return failedLookup(result);
            found = order == 0;
            if (order < 0)
                low = position + 1;
            else
                high = position;
        }
        if (!found)
            return Lookup::Missing;
        WORD ordinalIndex = 0;
        result = read(exports.AddressOfNameOrdinals + static_cast<ULONGLONG>(position) * sizeof(WORD), &ordinalIndex,
                      sizeof ordinalIndex, budget);
        if (result != Read::Ok)
            return failedLookup(result);
        index = ordinalIndex;
    }
    if (index >= exports.NumberOfFunctions)
        return Lookup::Missing;
    DWORD address = 0;
    result = read(exports.AddressOfFunctions + static_cast<ULONGLONG>(index) * sizeof(DWORD), &address, sizeof address, budget);
    if (result != Read::Ok)
        return failedLookup(result);
    return address != 0 ? Lookup::Found : Lookup::Missing;
}

PeImage::Lookup PeImage::exportedNames(Budget& budget, DWORD* functions, const std::function<void(const std::string&)>& visit) const
{
    *functions = 0;
    IMAGE_EXPORT_DIRECTORY exports = {};
    const Lookup table = exportDirectory(&exports, budget);
    if (table != Lookup::Found)
        return table;
    Read result = Read::Ok;
    for (DWORD i = 0; i < exports.NumberOfFunctions; ++i) {
        DWORD address = 0;
        result = read(exports.AddressOfFunctions + static_cast<ULONGLONG>(i) * sizeof(DWORD), &address, sizeof address, budget);
        if (result != Read::Ok)
            return failedLookup(result);
        *functions += address != 0;
    }
    std::string name;
    for (DWORD i = 0; i < exports.NumberOfNames; ++i) {
        DWORD nameAt = 0;
        result = read(exports.AddressOfNames + static_cast<ULONGLONG>(i) * sizeof(DWORD), &nameAt, sizeof nameAt, budget);
        if (result == Read::Ok)
            result = readText(nameAt, MaxFunctionName, &name, budget);
        if (result != Read::Ok)
            return failedLookup(result);
        visit(name);
    }
    return Lookup::Found;
}
