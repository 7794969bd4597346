#include "commandLine.h"

#include <cwchar>

std::vector<std::wstring> splitArguments(const wchar_t* commandLine)
{
    std::vector<std::wstring> arguments;
    const wchar_t* p = commandLine ? commandLine : L"";
    // The program's name: quoted, or up to the first blank.
    if (*p == L'"') {
        ++p;
        while (*p && *p != L'"')
            ++p;
        if (*p)
            ++p;
    } else {
        while (*p > L' ')
            ++p;
    }
    while (*p) {
        while (*p >= 1 && *p <= L' ')
            ++p;
        if (!*p)
            break;
        std::wstring token;
        if (*p == L'"') {
            ++p;
            while (*p) {
                if (*p == L'"') {
                    if (p[1] == L'"') {
                        token += L'"';
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                token += *p++;
            }
        } else {
            for (; *p > L' '; ++p) {
                if (*p != L'"')
                    token += *p;
            }
        }
        arguments.push_back(token);
    }
    return arguments;
}

namespace {

// The number after "NAME=" when argument is that option; false otherwise.
bool numberOption(const std::wstring& argument, const wchar_t* name, unsigned long* value)
{
    size_t length = std::wcslen(name);
    if (argument.compare(0, length, name) != 0 || argument.size() <= length || argument[length] != L'=')
        return false;
    wchar_t* end = nullptr;
    *value = std::wcstoul(argument.c_str() + length + 1, &end, 10);
    return end && *end == 0;
}

// Whether the arguments ask for the list mode: a "--list" or "--validate" that is neither the
// value of an option nor after the "--" that ends the options.
bool hasListSwitch(const std::vector<std::wstring>& arguments)
{
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == L"--list" || arguments[i] == L"--validate")
            return true;
        if (arguments[i] == L"--")
            return false;
        if (arguments[i] == L"--probe-worker" || arguments[i] == L"--output")
            ++i;
    }
    return false;
}

}  // namespace

InspectorOptions parseCommandLine(const wchar_t* commandLine)
{
    InspectorOptions options;
    std::vector<std::wstring> arguments = splitArguments(commandLine);
    options.list = hasListSwitch(arguments);
    bool pathsOnly = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::wstring& argument = arguments[i];
        unsigned long number = 0;
        if (argument.empty())
            continue;
        if (pathsOnly || argument.compare(0, 2, L"--") != 0)
            options.files.push_back(argument);
        else if (argument == L"--probe-worker" && i + 1 < arguments.size())
            options.workerPipe = arguments[++i];
        else if (numberOption(argument, L"--probe-timeout", &number) && number > 0)
            options.probeTimeoutMs = static_cast<DWORD>(number);
        else if (numberOption(argument, L"--workers", &number) && number > 0 && number <= 64)
            options.workers = static_cast<int>(number);
        else if (argument == L"--help")
            options.help = true;
        else if (argument == L"--version")
            options.version = true;
        else if (!options.list)
            options.files.push_back(argument);  // not an option of the window's: a file, as always
        else if (argument == L"--list")
            continue;
        else if (argument == L"--validate")
            options.validate = true;
        else if (argument == L"--strict")
            options.strict = true;
        else if (argument == L"--json")
            options.json = true;
        else if (argument == L"--")
            pathsOnly = true;
        else if (argument == L"--output" && i + 1 < arguments.size() && !arguments[i + 1].empty())
            options.output = arguments[++i];
        else if (argument.compare(0, 9, L"--output=") == 0 && argument.size() > 9)
            options.output = argument.substr(9);
        else if (options.usageError.empty())
            options.usageError = argument.compare(0, 8, L"--output") == 0 ? L"--output needs a file name"
                                                                        : L"unknown or invalid option " + argument;
    }
    if (options.list && options.files.empty() && options.usageError.empty())
        options.usageError = L"no path given";
    if (options.strict && !options.validate && options.usageError.empty())
        options.usageError = L"--strict needs --validate";
    return options;
}
