// The inspector's UTF-16 command line: the same splitting as the application's argument vector,
// and the options that tune batches, with everything else taken as files.
#include "commandLine.h"

#include <gtest/gtest.h>

namespace {

using Args = std::vector<std::wstring>;

TEST(CommandLine, SplitsLikeTheArgumentVectorAndKeepsCharactersOutsideTheCodePage)
{
    EXPECT_EQ(splitArguments(L"\"C:\\Program Files\\x.exe\" a \"b c\" \"say \"\"hi\"\"\"  d\"e\" \"\""),
              (Args{L"a", L"b c", L"say \"hi\"", L"de", std::wstring()}));
    EXPECT_EQ(splitArguments(L"x.exe\tplug_\uD55C.dll"), (Args{L"plug_\uD55C.dll"}));
    EXPECT_EQ(splitArguments(L"x.exe"), Args{});
}

TEST(CommandLine, OptionsTuneBatchesAndEverythingElseIsAFile)
{
    InspectorOptions options = parseCommandLine(L"x.exe --probe-timeout=1500 a.dll \"\" --workers=3 --bogus b.dll");
    EXPECT_EQ(options.probeTimeoutMs, 1500u);
    EXPECT_EQ(options.workers, 3);
    EXPECT_EQ(options.files, (Args{L"a.dll", L"--bogus", L"b.dll"}));
    EXPECT_TRUE(options.workerPipe.empty());

    // Values that make no sense are files as well, and the defaults stay.
    options = parseCommandLine(L"x.exe --probe-timeout=0 --workers=many");
    EXPECT_EQ(options.probeTimeoutMs, 10000u);
    EXPECT_EQ(options.workers, 0);
    EXPECT_EQ(options.files, (Args{L"--probe-timeout=0", L"--workers=many"}));

    EXPECT_EQ(parseCommandLine(L"x.exe --probe-worker \\\\.\\pipe\\p").workerPipe, L"\\\\.\\pipe\\p");
}

TEST(CommandLine, ListTakesItsOwnOptionsAndRefusesUnknownOnes)
{
    InspectorOptions options = parseCommandLine(L"x.exe a.dll --json --list --output out.json --workers=2 -- --b.dll");
    EXPECT_TRUE(options.list);
    EXPECT_TRUE(options.json);
    EXPECT_EQ(options.output, L"out.json");
    EXPECT_EQ(options.workers, 2);
    EXPECT_EQ(options.files, (Args{L"a.dll", L"--b.dll"}));
    EXPECT_EQ(options.usageError, L"");
    EXPECT_EQ(parseCommandLine(L"x.exe --list --output=o.txt a.dll").output, L"o.txt");

    EXPECT_EQ(parseCommandLine(L"x.exe --list --bogus a.dll").usageError, L"unknown or invalid option --bogus");
    EXPECT_EQ(parseCommandLine(L"x.exe --list --workers=0 a.dll").usageError, L"unknown or invalid option --workers=0");
    EXPECT_EQ(parseCommandLine(L"x.exe --list a.dll --output").usageError, L"--output needs a file name");
    EXPECT_EQ(parseCommandLine(L"x.exe --list """).usageError, L"no path given");

    // Without --list (the output's value, or after "--", is none) the window gets the files.
    options = parseCommandLine(L"x.exe --json a.dll --output --list -- --list");
    EXPECT_FALSE(options.list);
    EXPECT_EQ(options.files, (Args{L"--json", L"a.dll", L"--output", L"--list", L"--", L"--list"}));
    EXPECT_TRUE(parseCommandLine(L"x.exe a.dll --help").help);
    EXPECT_TRUE(parseCommandLine(L"x.exe --version").version);
}

}  // namespace
