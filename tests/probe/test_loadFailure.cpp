// Explaining failed loads from the image tables: missing functions (which Wine never reports as
// a load error), the search order, tables read as the loader maps the image, and damaged or
// hostile files, which must give a line and never a fault or a hang, and whose explanation stays
// within its bounds whatever the tables' shape; and the check that keeps an image with a broken
// import table from the loader. The images are real fixture DLLs of this build, the system's
// libraries, copies cut short, and small images written here byte by byte.
#include "loadFailure.h"
#include "probe.h"
#include "rpStrings.h"
#include "testsupport.h"
#include "textCodec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <random>
#include <string>
#include <vector>

namespace {

using testsupport::wide;
using testsupport::readFile;
using Lines = std::vector<std::string>;

// The search of this process with `first` searched before anything else.
LibrarySearch searchWith(const std::string& first)
{
    LibrarySearch search = LibrarySearch::ofThisProcess();
    search.folders.insert(search.folders.begin(), wide(first));
    return search;
}

// ---- A small image writer: a DLL whose only data section holds its tables.

const WORD OwnMachine = sizeof(void*) == 8 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386;

struct Import {
    std::string library;
    std::vector<std::string> functions;
};

struct Image {
    std::string bytes;
    size_t optionalAt = 0;     // file offset of the optional header (its fields from ImageBase to
                               // SizeOfHeaders lie at the same offsets in both layouts)
    size_t importEntry = 0;    // file offset of the import entry of the data directory
    size_t sectionHeader = 0;  // file offset of the data section's header
    size_t descriptors = 0;    // file offset of the first import descriptor
    DWORD sectionRva = 0;
    size_t sectionOffset = 0;  // file offset of the section's data
};

template <typename T>
void put(std::string& bytes, size_t at, T value)
{
    std::memcpy(&bytes[at], &value, sizeof value);
}

template <typename T>
std::string bytesOf(const std::vector<T>& values)
{
    return std::string(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(T));
}

// Writes an image of `machine` (with the optional header of its pointer size unless `bits`
// says otherwise) whose data section is filled piece by piece. `emptySections` section headers
// without data come before the data section, so every address lookup passes them.
class ImageWriter {
public:
    explicit ImageWriter(WORD machine = OwnMachine, int bits = 0, DWORD emptySections = 0)
        : machine_(machine), emptySections_(emptySections)
    {
        pe32Plus_ = bits ? bits == 64 : machine != IMAGE_FILE_MACHINE_I386 && machine != IMAGE_FILE_MACHINE_ARMNT;
        const size_t sectionsAt = OptionalAt + (pe32Plus_ ? sizeof(IMAGE_OPTIONAL_HEADER64) : sizeof(IMAGE_OPTIONAL_HEADER32));
        headersSize_ = static_cast<DWORD>((sectionsAt + (emptySections + 1) * sizeof(IMAGE_SECTION_HEADER) + 0x1FF) & ~0x1FF);
        sectionRva_ = (headersSize_ + 0xFFF) & ~0xFFFu;
    }
    size_t entrySize() const { return pe32Plus_ ? 8 : 4; }

    // Places bytes at the next offset of the section that is a multiple of alignment; their RVA.
    DWORD place(const std::string& bytes, size_t alignment = 1)
    {
        while (data_.size() % alignment)
            data_ += '\0';
        const DWORD rva = sectionRva_ + static_cast<DWORD>(data_.size());
        data_ += bytes;
        return rva;
    }
    // Pads the section so that `size` bytes placed next end it at a page boundary: nothing past
    // them reads as zeros in the mapped image.
    void fillToPageEnd(size_t size)
    {
        while ((data_.size() + size) % 0x1000)
            data_ += 'x';
    }
    // A function's hint (0) and name.
    DWORD placeName(const std::string& function) { return place(std::string(2, '\0') + function + '\0', 2); }
    // Function list entries (RVAs of names, or ordinal entries) in the layout's size.
    DWORD placeEntries(const std::vector<ULONGLONG>& entries)
    {
        if (pe32Plus_)
            return place(bytesOf(entries), 8);
        return place(bytesOf(std::vector<DWORD>(entries.begin(), entries.end())), 4);
    }
    // A function list: these entries and its closing entry.
    DWORD placeList(std::vector<ULONGLONG> entries)
    {
        entries.push_back(0);
        return placeEntries(entries);
    }
    // Overwrites what was placed at rva.
    template <typename T>
    void patch(DWORD rva, T value)
    {
        put(data_, rva - sectionRva_, value);
    }
    // Import descriptors, their closing entry included; the RVA of the first.
    DWORD placeDescriptors(std::vector<IMAGE_IMPORT_DESCRIPTOR> descriptors)
    {
        descriptors.push_back(IMAGE_IMPORT_DESCRIPTOR{});
        const DWORD rva = place(bytesOf(descriptors), 4);
        descriptorsOffset_ = headersSize_ + (rva - sectionRva_);
        return rva;
    }
    // The names, lists and descriptors of these imports; the RVA of the descriptors.
    DWORD placeImports(const std::vector<Import>& imports)
    {
        std::vector<IMAGE_IMPORT_DESCRIPTOR> descriptors;
        for (const Import& import : imports) {
            IMAGE_IMPORT_DESCRIPTOR descriptor = {};
            descriptor.Name = place(import.library + '\0');
            std::vector<ULONGLONG> entries;
            for (const std::string& function : import.functions)
                entries.push_back(placeName(function));
            descriptor.OriginalFirstThunk = placeList(entries);
            descriptor.FirstThunk = descriptor.OriginalFirstThunk;
            descriptors.push_back(descriptor);
        }
        return placeDescriptors(descriptors);
    }

    // The whole file: headers, then the section with what was placed.
    Image finish(DWORD importRva, DWORD exportRva = 0, DWORD exportSize = 0) const
    {
        Image image;
        image.optionalAt = OptionalAt;
        image.sectionRva = sectionRva_;
        image.sectionOffset = headersSize_;
        image.descriptors = descriptorsOffset_;
        std::string& bytes = image.bytes;
        bytes.assign(headersSize_, '\0');
        bytes += data_;
        put<WORD>(bytes, 0, IMAGE_DOS_SIGNATURE);
        put<LONG>(bytes, offsetof(IMAGE_DOS_HEADER, e_lfanew), NtAt);
        put<DWORD>(bytes, NtAt, IMAGE_NT_SIGNATURE);
        IMAGE_FILE_HEADER file = {};
        file.Machine = machine_;
        file.NumberOfSections = static_cast<WORD>(emptySections_ + 1);
        file.SizeOfOptionalHeader = pe32Plus_ ? sizeof(IMAGE_OPTIONAL_HEADER64) : sizeof(IMAGE_OPTIONAL_HEADER32);
        file.Characteristics = IMAGE_FILE_EXECUTABLE_IMAGE | IMAGE_FILE_DLL | (pe32Plus_ ? IMAGE_FILE_LARGE_ADDRESS_AWARE : IMAGE_FILE_32BIT_MACHINE);
        put(bytes, NtAt + 4, file);
        const DWORD imageSize = sectionRva_ + ((static_cast<DWORD>(data_.size()) + 0xFFF) & ~0xFFFu);
        const size_t directoryAt = OptionalAt + (pe32Plus_ ? offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory)
                                                           : offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory));
        if (pe32Plus_) {
            IMAGE_OPTIONAL_HEADER64 optional = {};
            optional.Magic = IMAGE_NT_OPTIONAL_HDR64_MAGIC;
            optional.ImageBase = 0x180000000ull;
            fillOptional(optional, imageSize);
            put(bytes, OptionalAt, optional);
        } else {
            IMAGE_OPTIONAL_HEADER32 optional = {};
            optional.Magic = IMAGE_NT_OPTIONAL_HDR32_MAGIC;
            optional.ImageBase = 0x10000000;
            fillOptional(optional, imageSize);
            put(bytes, OptionalAt, optional);
        }
        image.importEntry = directoryAt + IMAGE_DIRECTORY_ENTRY_IMPORT * sizeof(IMAGE_DATA_DIRECTORY);
        put(bytes, image.importEntry, IMAGE_DATA_DIRECTORY{importRva, importRva ? DWORD(sizeof(IMAGE_IMPORT_DESCRIPTOR)) : 0});
        put(bytes, directoryAt + IMAGE_DIRECTORY_ENTRY_EXPORT * sizeof(IMAGE_DATA_DIRECTORY), IMAGE_DATA_DIRECTORY{exportRva, exportSize});
        IMAGE_SECTION_HEADER section = {};
        std::memcpy(section.Name, ".data", 5);
        section.Misc.VirtualSize = static_cast<DWORD>(data_.size());
        section.VirtualAddress = sectionRva_;
        section.SizeOfRawData = static_cast<DWORD>(data_.size());
        section.PointerToRawData = headersSize_;
        section.Characteristics = IMAGE_SCN_CNT_INITIALIZED_DATA | IMAGE_SCN_MEM_READ | IMAGE_SCN_MEM_WRITE;
        image.sectionHeader = OptionalAt + file.SizeOfOptionalHeader + emptySections_ * sizeof(IMAGE_SECTION_HEADER);
        put(bytes, image.sectionHeader, section);
        return image;
    }

private:
    static constexpr LONG NtAt = 0x40;
    static constexpr size_t OptionalAt = NtAt + 4 + sizeof(IMAGE_FILE_HEADER);

    template <typename Optional>
    void fillOptional(Optional& optional, DWORD imageSize) const
    {
        optional.SectionAlignment = 0x1000;
        optional.FileAlignment = 0x200;
        optional.MajorOperatingSystemVersion = 6;
        optional.MajorSubsystemVersion = 6;
        optional.SizeOfHeaders = headersSize_;
        optional.SizeOfImage = imageSize;
        optional.Subsystem = IMAGE_SUBSYSTEM_WINDOWS_GUI;
        optional.NumberOfRvaAndSizes = IMAGE_NUMBEROF_DIRECTORY_ENTRIES;
    }

    WORD machine_;
    DWORD emptySections_;
    bool pe32Plus_ = true;
    DWORD headersSize_ = 0;
    DWORD sectionRva_ = 0;
    size_t descriptorsOffset_ = 0;
    std::string data_;
};

// An image whose section holds these imports, the descriptors last: their closing entry is the
// file's last 20 bytes.
Image writeImage(const std::vector<Import>& imports, WORD machine = OwnMachine, DWORD emptySections = 0)
{
    ImageWriter writer(machine, 0, emptySections);
    return writer.finish(writer.placeImports(imports));
}

class LoadFailureTest : public testing::Test {
protected:
    std::string write(const std::string& name, const std::string& bytes) { return temp.writeFile(name, bytes); }
    Lines explain(const std::string& path, DWORD error) { return explainLoadError(wide(path), error, search); }

    testsupport::TempDir temp;
    // The folder of the written images first, so that they find each other.
    LibrarySearch search = searchWith(temp.path());
};

// Collects a probe's lines in order.
class LineCollector : public ProbeSink {
public:
    void addLine(const char* line) override { lines.push_back(line); }
    Lines lines;
};

// The lines of a probe of the file at path, after its file line, as a worker lists them.
Lines probeLines(const std::string& path)
{
    rpStrncpy(fn, "x.dll", sizeof fn);
    LineCollector list;
    probeDll(list, wide(path).c_str());
    return Lines(list.lines.begin() + std::min<size_t>(2, list.lines.size()), list.lines.end());
}

}  // namespace

// Every allocation of this program is counted, so that a test can see the most memory the code
// under test held at once. (Wine's process counters do not follow the heap: its peak pagefile
// usage does not move for a 50 MB string.)
namespace {
std::atomic<size_t> heldBytes{0};
std::atomic<size_t> peakHeldBytes{0};
constexpr size_t AllocationHeader = 16;  // keeps the block aligned as malloc's
}  // namespace

void* operator new(std::size_t size)
{
    void* block = std::malloc(size + AllocationHeader);
    if (!block)
        throw std::bad_alloc();
    *static_cast<size_t*>(block) = size;
    const size_t held = heldBytes += size;
    size_t peak = peakHeldBytes;
    while (held > peak && !peakHeldBytes.compare_exchange_weak(peak, held)) {
    }
    return static_cast<char*>(block) + AllocationHeader;
}

void operator delete(void* block) noexcept
{
    if (!block)
        return;
    void* start = static_cast<char*>(block) - AllocationHeader;
    heldBytes -= *static_cast<size_t*>(start);
    std::free(start);
}

void operator delete(void* block, std::size_t) noexcept
{
    ::operator delete(block);
}

namespace {

// The most memory that work held at once beyond what was held before it, in bytes.
size_t peakGrowth(const std::function<void()>& work)
{
    const size_t start = heldBytes;
    peakHeldBytes = start;
    work();
    return peakHeldBytes - start;
}

constexpr size_t FewMegabytes = 16 * 1024 * 1024;
const char* const StoppedLine = "  説明を打ち切りました: 表が大きすぎます";

// 10,000 function entries that all name the same 4,000-byte function, shared by the lists of
// 40 libraries (the first a system library, the others nowhere): an 85 KB file whose tables,
// read naively, hold 1.6 GB of names.
Image sharedNames()
{
    ImageWriter writer;
    const DWORD list = writer.placeList(std::vector<ULONGLONG>(10000, writer.placeName(std::string(4000, 'f'))));
    std::vector<IMAGE_IMPORT_DESCRIPTOR> descriptors;
    for (int i = 0; i < 40; ++i) {
        IMAGE_IMPORT_DESCRIPTOR descriptor = {};
        descriptor.Name = writer.place((i == 0 ? std::string("kernel32.dll") : "gone" + std::to_string(i) + ".dll") + '\0');
        descriptor.OriginalFirstThunk = list;
        descriptor.FirstThunk = list;
        descriptors.push_back(descriptor);
    }
    return writer.finish(writer.placeDescriptors(descriptors));
}

// The first test of the program, so that the peak memory it measures is its own.
TEST_F(LoadFailureTest, HostileTableShapesAreExplainedWithinBoundsAndSaySoWhenCut)
{
    // Shared names: the libraries are all named; the function lists, read for 127, are cut.
    // (The count sees what the code holds.)
    ASSERT_GE(peakGrowth([] { std::string held(FewMegabytes, 'x'); }), FewMegabytes);
    const std::string shared = write("shared.dll", sharedNames().bytes);
    ASSERT_LT(readFile(shared).size(), 90000u);
    Lines lines;
    EXPECT_LT(peakGrowth([&] { lines = explain(shared, ERROR_MOD_NOT_FOUND); }), FewMegabytes);
    Lines expected;
    for (int i = 1; i <= 30; ++i)
        expected.push_back("  見つからないDLL: gone" + std::to_string(i) + ".dll");
    expected.push_back("  ほか 9 件");
    EXPECT_EQ(lines, expected);
    EXPECT_LT(peakGrowth([&] { lines = explain(shared, ERROR_PROC_NOT_FOUND); }), FewMegabytes);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "  見つからない関数: kernel32.dll!" + std::string(120, 'f'));
    EXPECT_EQ(lines[1], StoppedLine);

    // The same with headers that claim the whole file, through a real load: the load error comes
    // first, and the image, refused or not, is explained within the bounds.
    Image claiming = sharedNames();
    put<DWORD>(claiming.bytes, claiming.optionalAt + offsetof(IMAGE_OPTIONAL_HEADER64, SizeOfHeaders), 0xFFFFFFFF);
    const std::string claimingPath = write("claiming.dll", claiming.bytes);
    EXPECT_LT(peakGrowth([&] { lines = probeLines(claimingPath); }), FewMegabytes);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind("load error ", 0), 0u) << lines[0];
    EXPECT_LT(peakGrowth([&] { lines = explain(claimingPath, ERROR_PROC_NOT_FOUND); }), FewMegabytes);
    EXPECT_EQ(lines.back(), StoppedLine);

    // A library of 65,536 exports whose names are one 4,000-byte text, imported under three
    // spellings of its path: looked up as the loader does, it is read once per import, not
    // copied per spelling. It imports that name 6,000 times itself: its function list is read
    // once for all three spellings (three times would pass the bound).
    ImageWriter exporter;
    const std::string wideName(4000, 'w');
    const DWORD hintAndName = exporter.placeName(wideName);
    IMAGE_IMPORT_DESCRIPTOR gone = {};
    gone.Name = exporter.place(std::string("gone.dll") + '\0');
    gone.OriginalFirstThunk = exporter.placeList(std::vector<ULONGLONG>(6000, hintAndName));
    gone.FirstThunk = gone.OriginalFirstThunk;
    const DWORD exporterImports = exporter.placeDescriptors({gone});
    const DWORD functions = exporter.place(bytesOf(std::vector<DWORD>(0x10000, hintAndName)), 4);
    const DWORD names = exporter.place(bytesOf(std::vector<DWORD>(0x10000, hintAndName + 2)), 4);
    std::vector<WORD> ordinals(0x10000);
    for (size_t i = 0; i < ordinals.size(); ++i)
        ordinals[i] = static_cast<WORD>(i);
    IMAGE_EXPORT_DIRECTORY directory = {};
    directory.AddressOfNameOrdinals = exporter.place(bytesOf(ordinals), 2);
    directory.Name = exporter.place(std::string("wide.dll") + '\0');
    directory.Base = 1;
    directory.NumberOfFunctions = 0x10000;
    directory.NumberOfNames = 0x10000;
    directory.AddressOfFunctions = functions;
    directory.AddressOfNames = names;
    const DWORD exportRva = exporter.place(std::string(reinterpret_cast<const char*>(&directory), sizeof directory), 4);
    write("wide.dll", exporter.finish(exporterImports, exportRva, sizeof directory).bytes);
    std::vector<Import> spellings;
    for (const std::string& spelling : {temp.file("wide.dll"), temp.path() + "\\.\\wide.dll", temp.path() + "/WIDE.DLL"})
        spellings.push_back({spelling, {wideName, "absent" + std::to_string(spellings.size())}});
    const std::string importer = write("importer.dll", writeImage(spellings).bytes);
    EXPECT_LT(peakGrowth([&] { lines = explain(importer, ERROR_PROC_NOT_FOUND); }), FewMegabytes);
    EXPECT_EQ(lines, (Lines{"  見つからない関数: " + spellings[0].library + "!absent0",
                            "  見つからない関数: " + spellings[1].library + "!absent1",
                            "  見つからない関数: " + spellings[2].library + "!absent2"}));
}

// Windows refuses such a plug-in with 127; Wine loads it with stubs. Either way the tables name
// what is missing, and what counts as missing depends on which library the search finds first.
TEST_F(LoadFailureTest, NamesTheFunctionsThatTheLibraryFoundDoesNotExport)
{
    const std::string plugin = testsupport::fixturePath("plug_missingfn.dll");
    EXPECT_EQ(explainLoadError(wide(plugin), ERROR_PROC_NOT_FOUND),
              (Lines{"  見つからない関数: partdep.dll!partdepAbsent", "  見つからない関数: partdep.dll!#40"}));

    // The newer partdep.dll (the one the plug-in was linked against) searched first: nothing lacks.
    std::string standins = testsupport::binDir() + "..\\standins";
    EXPECT_EQ(explainLoadError(wide(plugin), ERROR_PROC_NOT_FOUND, searchWith(standins)),
              (Lines{"  見つからない関数は特定できません"}));
    // There the library that plug_missingdll.dll misses is found too.
    EXPECT_EQ(explainLoadError(wide(testsupport::fixturePath("plug_missingdll.dll")), ERROR_MOD_NOT_FOUND, searchWith(standins)),
              (Lines{"  見つからないDLLは特定できません"}));
}

TEST_F(LoadFailureTest, SaysWhatAFileIsAndGivesOtherCodesAsTheSystemsMessage)
{
    // (32-bit, text and 1114 are checked through the probe.)
    EXPECT_EQ(explain(write("arm.dll", writeImage({}, 0xAA64).bytes), ERROR_BAD_EXE_FORMAT), (Lines{"  64ビットのDLLです (ARM64)"}));
    EXPECT_EQ(explain(write("empty.dll", ""), ERROR_BAD_EXE_FORMAT), (Lines{"  WindowsのDLLではありません"}));

    // Any other code: the system's text in one line, as FormatMessage gives it.
    char message[1000] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_ACCESS_DENIED, 0, message,
                   sizeof message, nullptr);
    std::string expected = message;
    while (!expected.empty() && (expected.back() == '\n' || expected.back() == '\r' || expected.back() == ' '))
        expected.pop_back();
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(explain(testsupport::fixturePath("plug_command.dll"), ERROR_ACCESS_DENIED), (Lines{"  " + expected}));
    EXPECT_EQ(systemMessageLine(0x2000FFFF), "  エラー 536936447 の説明はありません");
}

// A load error that has no Win32 code reaches us as 317, whose text is a template with inserts;
// no message is shown with its inserts' placeholders.
TEST_F(LoadFailureTest, SystemMessagesNeverShowPlaceholders)
{
    const std::string statusLine = "  システムの状態コードに対応するエラー番号がありません";
    EXPECT_EQ(systemMessageLine(ERROR_MR_MID_NOT_FOUND), statusLine);
    EXPECT_EQ(explain(testsupport::fixturePath("plug_command.dll"), ERROR_MR_MID_NOT_FOUND), (Lines{statusLine}));

    int withInserts = 0;
    for (DWORD code = 0; code < 16000; ++code) {
        char raw[2000] = "";
        if (!FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, raw, sizeof raw, nullptr))
            continue;
        if (code == ERROR_MR_MID_NOT_FOUND || !std::strstr(raw, "%1"))
            continue;
        ++withInserts;
        const std::string shown = systemMessageLine(code);
        for (size_t at = shown.find('%'); at != std::string::npos; at = shown.find('%', at + 1))
            EXPECT_FALSE(at + 1 < shown.size() && shown[at + 1] >= '0' && shown[at + 1] <= '9') << code << ": " << shown;
        EXPECT_NE(shown.find("…"), std::string::npos) << code << ": " << shown;
    }
    EXPECT_GT(withInserts, 1) << "messages with inserts to check";
}

TEST_F(LoadFailureTest, FindsMissingLibrariesThroughCyclesAndNamesWhoNeedsThem)
{
    // a.dll and b.dll import each other; b.dll also imports a library that is nowhere, and one
    // whose name has bytes that cannot be shown; a.dll imports itself and two API sets.
    write("b.dll", writeImage({{"a.dll", {"fromA"}}, {"nowhere.dll", {"x"}}, {std::string("bad\x01name\x81.dll"), {"y"}}}).bytes);
    std::string a = write("a.dll", writeImage({{"b.dll", {"fromB"}},
                                               {"a.dll", {"self"}},
                                               {"api-ms-win-core-rptest-l1-1-0.dll", {"z"}},
                                               {"EXT-MS-WIN-rptest-l1-1-0.dll", {"z"}}}).bytes);
    EXPECT_EQ(explain(a, ERROR_MOD_NOT_FOUND),
              (Lines{"  見つからないDLL: nowhere.dll (b.dll が必要とする)", "  見つからないDLL: bad?name?.dll (b.dll が必要とする)"}));
}

// The loader maps the image: sections at their addresses, zeros past their raw data, the headers
// only where no section lies. The tables are read the same way.
TEST_F(LoadFailureTest, TablesAreReadAsTheLoaderMapsTheImage)
{
    const Image good = writeImage({{"nowhere.dll", {"f"}}});
    const Lines nowhere = {"  見つからないDLL: nowhere.dll"};

    // Headers that claim the whole file: the imports still come from the section, as the load
    // that fails with 126 reads them.
    std::string bytes = good.bytes;
    put<DWORD>(bytes, good.optionalAt + offsetof(IMAGE_OPTIONAL_HEADER64, SizeOfHeaders), 0xFFFFFFFF);
    const std::string claiming = write("claiming.dll", bytes);
    EXPECT_EQ(explain(claiming, ERROR_MOD_NOT_FOUND), nowhere);
    EXPECT_EQ(probeLines(claiming), (Lines{"load error 126", "  見つからないDLL: nowhere.dll"}));

    // The closing entry of the descriptors lies past the section's raw data, where the image
    // reads zeros.
    bytes = good.bytes.substr(0, good.bytes.size() - sizeof(IMAGE_IMPORT_DESCRIPTOR));
    put<DWORD>(bytes, good.sectionHeader + offsetof(IMAGE_SECTION_HEADER, SizeOfRawData),
               static_cast<DWORD>(bytes.size() - good.sectionOffset));
    EXPECT_EQ(explain(write("zerotail.dll", bytes), ERROR_MOD_NOT_FOUND), nowhere);

    // A library whose function list cannot be read is still named; the list's fault is said for
    // the codes that read the lists.
    bytes = good.bytes;
    put<DWORD>(bytes, good.descriptors + offsetof(IMAGE_IMPORT_DESCRIPTOR, OriginalFirstThunk), 0x7FFFFF00);
    const std::string noList = write("nolist.dll", bytes);
    EXPECT_EQ(explain(noList, ERROR_MOD_NOT_FOUND), nowhere);
    EXPECT_EQ(explain(noList, ERROR_PROC_NOT_FOUND), (Lines{"  インポート表が壊れています: nolist.dll (nowhere.dll の関数表を読めません)"}));
}

// Images of this process's own machine whose import table the loader would read outside the
// image: one each of the ways it can be broken.
std::vector<std::pair<std::string, Image>> brokenImportTables()
{
    std::vector<std::pair<std::string, Image>> images;
    const Import import = {"nowhere.dll", {"f"}};
    auto descriptorOf = [](ImageWriter& writer, DWORD list) {
        IMAGE_IMPORT_DESCRIPTOR descriptor = {};
        descriptor.Name = writer.place(std::string("nowhere.dll") + '\0');
        descriptor.OriginalFirstThunk = list;
        descriptor.FirstThunk = list;
        return descriptor;
    };

    Image image = writeImage({import});
    put<DWORD>(image.bytes, image.importEntry, 0x7FFFFF00);
    images.push_back({"表が画像の外にあります", image});

    ImageWriter unterminated;
    const IMAGE_IMPORT_DESCRIPTOR descriptor = descriptorOf(unterminated, unterminated.placeList({unterminated.placeName("f")}));
    unterminated.fillToPageEnd(sizeof descriptor);
    images.push_back({"表の終わりがありません", unterminated.finish(unterminated.place(bytesOf(std::vector<IMAGE_IMPORT_DESCRIPTOR>{descriptor})))});

    image = writeImage({import});
    put<DWORD>(image.bytes, image.descriptors + offsetof(IMAGE_IMPORT_DESCRIPTOR, Name), 0x7FFFFF00);
    images.push_back({"DLL名を読めません", image});

    // A function list that runs on to the end of the image.
    ImageWriter endless;
    const DWORD name = endless.placeName("f");
    const DWORD descriptors = endless.placeDescriptors({descriptorOf(endless, 0)});
    const std::vector<ULONGLONG> entries(0x100, name);
    endless.fillToPageEnd(entries.size() * endless.entrySize());
    const DWORD list = endless.placeEntries(entries);
    endless.patch(descriptors + offsetof(IMAGE_IMPORT_DESCRIPTOR, OriginalFirstThunk), list);
    endless.patch(descriptors + offsetof(IMAGE_IMPORT_DESCRIPTOR, FirstThunk), list);
    images.push_back({"nowhere.dll の関数表を読めません", endless.finish(descriptors)});

    ImageWriter nameOutside;
    images.push_back({"nowhere.dll の関数名を読めません",
                      nameOutside.finish(nameOutside.placeDescriptors({descriptorOf(nameOutside, nameOutside.placeList({0x7FFFFF00}))}))});
    return images;
}

// Such an image makes Wine's loader fault inside LoadLibrary; Windows refuses it. The probe
// refuses it before the load, as Windows does, and says what is broken.
TEST_F(LoadFailureTest, ImagesWithBrokenImportTablesAreRefusedBeforeTheLoad)
{
    for (const auto& broken : brokenImportTables()) {
        const std::string path = write("x.dll", broken.second.bytes);
        EXPECT_EQ(checkBeforeLoad(wide(path)), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT)) << broken.first;
        EXPECT_EQ(probeLines(path), (Lines{"load error 193", "  インポート表が壊れています: x.dll (" + broken.first + ")"}));
    }
    EXPECT_EQ(checkBeforeLoad(wide(write("good.dll", writeImage({{"nowhere.dll", {"f"}}}).bytes))), 0u);
}

// The check is no stricter than the loader: every library that loads still does. The fixtures
// and every library of the system folder (the 32-bit one for the 32-bit build).
TEST_F(LoadFailureTest, TheCheckBeforeLoadingAcceptsEveryLibraryTheLoaderAccepts)
{
    wchar_t systemFolder[MAX_PATH] = L"";
    ASSERT_GT(GetSystemDirectoryW(systemFolder, MAX_PATH), 0u);
    int checked = 0;
    for (const std::wstring& folder : {std::wstring(systemFolder), wide(testsupport::binDir())}) {
        WIN32_FIND_DATAW found = {};
        HANDLE search = FindFirstFileW((folder + L"\\*.dll").c_str(), &found);
        ASSERT_NE(search, INVALID_HANDLE_VALUE);
        do {
            const std::wstring path = folder + L"\\" + found.cFileName;
            ++checked;
            if (checkBeforeLoad(path) == 0)
                continue;
            HMODULE loaded = LoadLibraryExW(path.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
            EXPECT_EQ(loaded, nullptr) << "refused, but the loader takes it: " << fromWide(path);
            if (loaded)
                FreeLibrary(loaded);
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    EXPECT_GT(checked, 200);
}

// The machine field alone says which library a file is; for one of this process's own machine
// the line says what the loader refuses in it.
TEST_F(LoadFailureTest, RefusedImagesSayWhatIsDamaged)
{
    auto refused = [&](const std::string& name, const std::string& bytes) { return explain(write(name, bytes), ERROR_BAD_EXE_FORMAT); };
    const Image good = writeImage({{"kernel32.dll", {"GetTickCount"}}});
    const std::string own = sizeof(void*) == 8 ? "64ビットのDLL (x64)" : "32ビットのDLL (x86)";
    EXPECT_EQ(refused("fine.dll", good.bytes), (Lines{"  " + own + " ですが、読み込めない理由は見つかりません"}));

    std::string bytes = good.bytes;
    put<DWORD>(bytes, good.optionalAt + offsetof(IMAGE_OPTIONAL_HEADER64, SizeOfImage), 0x1000);
    EXPECT_EQ(refused("small.dll", bytes), (Lines{"  ヘッダが壊れています: small.dll (SizeOfImage 1000、セクションは 2000 まで)"}));
    bytes = good.bytes;
    put<DWORD>(bytes, good.optionalAt + offsetof(IMAGE_OPTIONAL_HEADER64, FileAlignment), 0x300);
    EXPECT_EQ(refused("align.dll", bytes), (Lines{"  ヘッダが壊れています: align.dll (FileAlignment 300、SectionAlignment 1000)"}));
    // A whole file that claims 65,535 sections is not cut short: its count is impossible.
    bytes = good.bytes;
    put<WORD>(bytes, 0x40 + 4 + offsetof(IMAGE_FILE_HEADER, NumberOfSections), 0xFFFF);
    EXPECT_EQ(refused("count.dll", bytes), (Lines{"  ヘッダが壊れています: count.dll (セクション数 65535、最大 96)"}));

    // An optional header of the other pointer size: damage for this process's own machine, else
    // the machine's library.
    for (WORD machine : {WORD(IMAGE_FILE_MACHINE_AMD64), WORD(IMAGE_FILE_MACHINE_I386)}) {
        ImageWriter writer(machine, machine == IMAGE_FILE_MACHINE_AMD64 ? 32 : 64);
        Lines expected = {machine == IMAGE_FILE_MACHINE_AMD64 ? "  64ビットのDLLです (x64)" : "  32ビットのDLLです (x86)"};
        if (machine == OwnMachine)
            expected = {"  ヘッダが壊れています: other.dll (オプションヘッダが機種と合いません)"};
        EXPECT_EQ(refused("other.dll", writer.finish(writer.placeImports({})).bytes), expected) << machine;
    }
    ImageWriter arm(IMAGE_FILE_MACHINE_ARMNT, 64);
    EXPECT_EQ(refused("arm.dll", arm.finish(0).bytes), (Lines{"  32ビットのDLLです (ARM)"}));
    EXPECT_EQ(refused("odd.dll", writeImage({}, 0x1234).bytes), (Lines{"  未知の機種のDLLです (機種 1234)"}));
}

// Truncated, corrupt and hostile files: each gets its line, nothing reads outside the file,
// and the table walks end. A fault here would end the test program.
TEST_F(LoadFailureTest, DamagedFilesGetALineNeverAFaultOrAHang)
{
    const std::string real = readFile(testsupport::fixturePath("plug_command.dll"));
    ASSERT_GT(real.size(), 4096u);
    for (size_t cut : {size_t(1), size_t(40), size_t(200), size_t(1024), real.size() / 2, real.size() - 1}) {
        std::string path = write("cut.dll", real.substr(0, cut));
        const char* expected = cut < 2 ? "  WindowsのDLLではありません" : "  ファイルが途中で切れています: cut.dll";
        EXPECT_EQ(explain(path, ERROR_BAD_EXE_FORMAT), (Lines{expected})) << cut;
        EXPECT_EQ(explain(path, ERROR_MOD_NOT_FOUND).back(), cut < 2 ? "  WindowsのDLLではありません: cut.dll" : expected) << cut;
    }

    const Image good = writeImage({{"nowhere.dll", {"f"}}});
    auto damaged = [&](const char* name, std::string bytes) {
        return explain(write(name, bytes), ERROR_MOD_NOT_FOUND);
    };
    EXPECT_EQ(damaged("good.dll", good.bytes), (Lines{"  見つからないDLL: nowhere.dll"}));
    // Each broken import table gets its line.
    for (const auto& broken : brokenImportTables()) {
        Lines lines = damaged("broken.dll", broken.second.bytes);
        const std::string line = "  インポート表が壊れています: broken.dll (" + broken.first + ")";
        // The lists are read for 127 only; the library is named either way.
        if (broken.first.find("関数") != std::string::npos)
            EXPECT_EQ(lines, (Lines{"  見つからないDLL: nowhere.dll"}));
        else if (broken.first == "表の終わりがありません")
            EXPECT_EQ(lines, (Lines{"  見つからないDLL: nowhere.dll", line}));
        else
            EXPECT_EQ(lines, (Lines{line}));
    }
    // A section whose data lies past the end of any image file: not a file cut short.
    std::string bytes = good.bytes;
    put<DWORD>(bytes, good.sectionHeader + offsetof(IMAGE_SECTION_HEADER, PointerToRawData), 0xFFFFF000);
    EXPECT_EQ(damaged("past.dll", bytes), (Lines{"  ヘッダが壊れています: past.dll (セクション 1 のデータの位置)"}));
    // An optional header of unknown kind.
    bytes = good.bytes;
    put<WORD>(bytes, good.optionalAt, 0x1234);
    EXPECT_EQ(damaged("magic.dll", bytes), (Lines{"  ヘッダが壊れています: magic.dll (オプションヘッダの種類 1234)"}));
    // 65,535 sections really there: the tables are read all the same.
    EXPECT_EQ(damaged("manyreal.dll", writeImage({{"nowhere.dll", {"f"}}}, OwnMachine, 0xFFFE).bytes),
              (Lines{"  見つからないDLL: nowhere.dll"}));

    // Random damage anywhere in a real plug-in: every explanation has lines of at most 299 bytes.
    std::mt19937 random(1234);
    for (int round = 0; round < 150; ++round) {
        std::string noisy = real;
        for (int i = 0; i < 16; ++i)
            noisy[random() % noisy.size()] = static_cast<char>(random());
        // Half of the rounds hit the headers, where every field is an offset or a count.
        for (int i = 0; i < 8 && round % 2; ++i)
            noisy[random() % 0x400] = static_cast<char>(random());
        const DWORD codes[] = {ERROR_PROC_NOT_FOUND, ERROR_MOD_NOT_FOUND, ERROR_BAD_EXE_FORMAT};
        Lines lines = explain(write("noisy.dll", noisy), codes[round % 3]);
        ASSERT_FALSE(lines.empty()) << round;
        for (const std::string& line : lines)
            ASSERT_LE(line.size(), 299u) << round;
    }
}

}  // namespace
