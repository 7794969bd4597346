// Explaining failed loads from the image tables: missing functions (which Wine never reports as
// a load error), the search order, and damaged or hostile files, which must give a line and
// never a fault or a hang. The images are real fixture DLLs of this build, copies of them cut
// short, and small images written here byte by byte.
#include "loadFailure.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
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

// ---- A small image writer: a 64-bit DLL whose only data section holds its import table.

struct Import {
    std::string library;
    std::vector<std::string> functions;
};

struct Image {
    std::string bytes;
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

// `emptySections` section headers without data come before the data section, so every
// address lookup walks past them. The descriptors come last in the section, their closing
// entry in the file's last 20 bytes.
Image writeImage(const std::vector<Import>& imports, WORD machine = IMAGE_FILE_MACHINE_AMD64, DWORD emptySections = 0)
{
    Image image;
    const size_t ntAt = 0x40;
    const size_t optionalAt = ntAt + 4 + sizeof(IMAGE_FILE_HEADER);
    const size_t sectionsAt = optionalAt + sizeof(IMAGE_OPTIONAL_HEADER64);
    const DWORD sectionCount = emptySections + 1;
    const DWORD headersSize = static_cast<DWORD>((sectionsAt + sectionCount * sizeof(IMAGE_SECTION_HEADER) + 0x1FF) & ~0x1FF);
    image.sectionRva = (headersSize + 0xFFF) & ~0xFFFu;
    image.sectionOffset = headersSize;

    // The section: names and thunks first, then the descriptors.
    std::string data;
    std::vector<IMAGE_IMPORT_DESCRIPTOR> descriptors;
    for (const Import& import : imports) {
        IMAGE_IMPORT_DESCRIPTOR descriptor = {};
        descriptor.Name = image.sectionRva + static_cast<DWORD>(data.size());
        data += import.library + '\0';
        std::vector<ULONGLONG> thunks;
        for (const std::string& function : import.functions) {
            if (data.size() % 2)
                data += '\0';
            thunks.push_back(image.sectionRva + data.size());
            data += std::string(2, '\0') + function + '\0';
        }
        thunks.push_back(0);
        while (data.size() % 8)
            data += '\0';
        descriptor.OriginalFirstThunk = image.sectionRva + static_cast<DWORD>(data.size());
        descriptor.FirstThunk = descriptor.OriginalFirstThunk;
        for (ULONGLONG thunk : thunks)
            data.append(reinterpret_cast<const char*>(&thunk), sizeof thunk);
        descriptors.push_back(descriptor);
    }
    descriptors.push_back(IMAGE_IMPORT_DESCRIPTOR{});
    while (data.size() % 4)
        data += '\0';
    const DWORD descriptorsRva = image.sectionRva + static_cast<DWORD>(data.size());
    image.descriptors = image.sectionOffset + data.size();
    data.append(reinterpret_cast<const char*>(descriptors.data()), descriptors.size() * sizeof(IMAGE_IMPORT_DESCRIPTOR));

    std::string& bytes = image.bytes;
    bytes.assign(headersSize, '\0');
    bytes += data;
    put<WORD>(bytes, 0, IMAGE_DOS_SIGNATURE);
    put<LONG>(bytes, offsetof(IMAGE_DOS_HEADER, e_lfanew), static_cast<LONG>(ntAt));
    put<DWORD>(bytes, ntAt, IMAGE_NT_SIGNATURE);
    IMAGE_FILE_HEADER file = {};
    file.Machine = machine;
    file.NumberOfSections = static_cast<WORD>(sectionCount);
    file.SizeOfOptionalHeader = sizeof(IMAGE_OPTIONAL_HEADER64);
    file.Characteristics = IMAGE_FILE_EXECUTABLE_IMAGE | IMAGE_FILE_DLL | IMAGE_FILE_LARGE_ADDRESS_AWARE;
    put(bytes, ntAt + 4, file);
    IMAGE_OPTIONAL_HEADER64 optional = {};
    optional.Magic = IMAGE_NT_OPTIONAL_HDR64_MAGIC;
    optional.ImageBase = 0x180000000ull;
    optional.SectionAlignment = 0x1000;
    optional.FileAlignment = 0x200;
    optional.MajorSubsystemVersion = 6;
    optional.SizeOfHeaders = headersSize;
    optional.SizeOfImage = image.sectionRva + ((static_cast<DWORD>(data.size()) + 0xFFF) & ~0xFFFu);
    optional.Subsystem = IMAGE_SUBSYSTEM_WINDOWS_GUI;
    optional.NumberOfRvaAndSizes = IMAGE_NUMBEROF_DIRECTORY_ENTRIES;
    optional.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress = descriptorsRva;
    optional.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].Size = static_cast<DWORD>(descriptors.size() * sizeof(IMAGE_IMPORT_DESCRIPTOR));
    put(bytes, optionalAt, optional);
    image.importEntry = optionalAt + offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory) + IMAGE_DIRECTORY_ENTRY_IMPORT * sizeof(IMAGE_DATA_DIRECTORY);
    IMAGE_SECTION_HEADER section = {};
    std::memcpy(section.Name, ".idata", 6);
    section.Misc.VirtualSize = static_cast<DWORD>(data.size());
    section.VirtualAddress = image.sectionRva;
    section.SizeOfRawData = static_cast<DWORD>(data.size());
    section.PointerToRawData = static_cast<DWORD>(image.sectionOffset);
    section.Characteristics = IMAGE_SCN_CNT_INITIALIZED_DATA | IMAGE_SCN_MEM_READ;
    image.sectionHeader = sectionsAt + emptySections * sizeof(IMAGE_SECTION_HEADER);
    put(bytes, image.sectionHeader, section);
    return image;
}

class LoadFailureTest : public testing::Test {
protected:
    std::string write(const std::string& name, const std::string& bytes) { return temp.writeFile(name, bytes); }
    Lines explain(const std::string& path, DWORD error) { return explainLoadError(wide(path), error, search); }

    testsupport::TempDir temp;
    // The folder of the written images first, so that they find each other.
    LibrarySearch search = searchWith(temp.path());
};

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
    // The import table outside the file.
    std::string bytes = good.bytes;
    put<DWORD>(bytes, good.importEntry, 0x7FFFFF00);
    EXPECT_EQ(damaged("outside.dll", bytes), (Lines{"  インポート表が壊れています: outside.dll"}));
    // A library name that runs to the end of the file without a terminator.
    bytes = good.bytes;
    bytes.back() = 'A';
    put<DWORD>(bytes, good.descriptors + offsetof(IMAGE_IMPORT_DESCRIPTOR, Name),
               good.sectionRva + static_cast<DWORD>(bytes.size() - 1 - good.sectionOffset));
    EXPECT_EQ(damaged("noend.dll", bytes), (Lines{"  インポート表が壊れています: noend.dll"}));
    // Descriptors without their closing entry: the table runs off the file (its one descriptor
    // is still read).
    bytes = good.bytes.substr(0, good.bytes.size() - sizeof(IMAGE_IMPORT_DESCRIPTOR));
    put<DWORD>(bytes, good.sectionHeader + offsetof(IMAGE_SECTION_HEADER, SizeOfRawData),
               static_cast<DWORD>(bytes.size() - good.sectionOffset));
    EXPECT_EQ(damaged("open.dll", bytes), (Lines{"  見つからないDLL: nowhere.dll", "  インポート表が壊れています: open.dll"}));
    // A section whose data lies past the end of the file.
    bytes = good.bytes;
    put<DWORD>(bytes, good.sectionHeader + offsetof(IMAGE_SECTION_HEADER, PointerToRawData), 0xFFFFF000);
    EXPECT_EQ(damaged("past.dll", bytes), (Lines{"  ファイルが途中で切れています: past.dll"}));
    // An optional header of unknown kind.
    bytes = good.bytes;
    put<WORD>(bytes, 0x40 + 4 + sizeof(IMAGE_FILE_HEADER), 0x1234);
    EXPECT_EQ(damaged("magic.dll", bytes), (Lines{"  ヘッダが壊れています: magic.dll"}));
    // 65,535 sections claimed by a small file, then really there: the second is read whole.
    bytes = good.bytes;
    put<WORD>(bytes, 0x40 + 4 + offsetof(IMAGE_FILE_HEADER, NumberOfSections), 0xFFFF);
    EXPECT_EQ(damaged("many.dll", bytes), (Lines{"  ファイルが途中で切れています: many.dll"}));
    EXPECT_EQ(damaged("manyreal.dll", writeImage({{"nowhere.dll", {"f"}}}, IMAGE_FILE_MACHINE_AMD64, 0xFFFE).bytes),
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
        Lines lines = explain(write("noisy.dll", noisy), round % 3 == 0 ? ERROR_PROC_NOT_FOUND : ERROR_MOD_NOT_FOUND);
        ASSERT_FALSE(lines.empty()) << round;
        for (const std::string& line : lines)
            ASSERT_LE(line.size(), 299u) << round;
    }
}

}  // namespace
