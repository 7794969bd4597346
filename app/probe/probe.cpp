// The plug-in probe: one file in, list lines and the probe record out.
#include "probe.h"

#include "loadFailure.h"
#include "pluginapi.h"
#include "rpModule.h"
#include "rpStrings.h"
#include "textCodec.h"

#include <cstdarg>
#include <cstdio>

char dllName[ProbeTextSize];
char fn[ProbeTextSize];
DWORD aid;
DWORD pid;
char pname[ProbeTextSize];
int ptype;
char menuBuf[MenuPoolSize];
char* menu[MenuMax];
int nmenu;
char* pm = menuBuf;
char extBuf[MenuPoolSize];
const char* menuExt[MenuMax];
int probeAnswers;
int probeLoadError;

const char* const typeName[8] = {
    "不明", "Import", "Export", "Create", "Object", "Select", "Station", "Command",
};

bool addMenu(const char* text)
{
    if (nmenu < 0 || nmenu >= MenuMax || pm < menuBuf || pm >= menuBuf + MenuPoolSize)
        return false;
    if (!text)
        text = "";
    int room = static_cast<int>(menuBuf + MenuPoolSize - pm);
    int copied = rpStrncpy(pm, text, room);
    if (copied < 0 || (copied == 0 && text[0] != 0))
        return false;
    menu[nmenu++] = pm;
    pm += copied + 1;
    return true;
}

namespace {

char* extNext = extBuf;  // next free byte of extBuf

}  // namespace

void addMenuExtension(const char* ext)
{
    if (nmenu <= 0 || nmenu > MenuMax || menuExt[nmenu - 1] || extNext < extBuf || extNext >= extBuf + MenuPoolSize)
        return;
    int copied = rpStrncpy(extNext, ext ? ext : "", static_cast<int>(extBuf + MenuPoolSize - extNext));
    if (copied < 0)
        return;
    menuExt[nmenu - 1] = extNext;
    extNext += copied + 1;
}

void clearMenu()
{
    nmenu = 0;
    pm = menuBuf;
    for (const char*& ext : menuExt)
        ext = nullptr;
    extNext = extBuf;
}

namespace {

// Hands one formatted line (at most 299 bytes) to the sink. The plug-in's texts and the file
// names in it may hold anything: a control character becomes '?', so that it stays one line.
#ifdef __GNUC__
__attribute__((format(gnu_printf, 2, 3)))
#endif
void addLine(ProbeSink& list, const char* format, ...)
{
    char line[ProbeTextSize];
    va_list args;
    va_start(args, format);
    vformatBounded(line, sizeof line, format, args);
    va_end(args);
    replaceControlCharacters(line);
    list.addLine(line);
}

// The entry point by its plain name, else by the name with a leading underscore; null when
// neither exists.
template <typename Proc>
Proc entryPoint(HMODULE library, const char* name)
{
    FARPROC found = GetProcAddress(library, name);
    if (!found) {
        char underscored[64] = "_";
        rpStrncpy(underscored + 1, name, sizeof underscored - 1);
        found = GetProcAddress(library, underscored);
    }
    // GetProcAddress returns a generic entry; the plug-in interface fixes its real type.
    return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(found));
}

// Asks the plug-in for its strings: menu strings (types 3..7) or file types with their
// extensions (types 1 and 2). A missing enumeration entry point ends the probe without a line.
void enumerate(ProbeSink& list, HMODULE library)
{
    if (ptype >= PLUGIN_TYPE_CREATE) {
        MQEnumProc enumString = entryPoint<MQEnumProc>(library, "MQEnumString");
        if (!enumString)
            return;
        for (int i = 0; i < EnumMax; ++i) {
            const char* text = enumString(i);
            if (!text)
                break;
            // Recorded before its line, so that the record holds what every line shows.
            addMenu(text);
            addLine(list, "  メニュー[%d]= [%s]", i, text);
        }
        return;
    }
    MQEnumProc enumFileType = entryPoint<MQEnumProc>(library, "MQEnumFileType");
    MQEnumProc enumFileExt = entryPoint<MQEnumProc>(library, "MQEnumFileExt");
    if (!enumFileType || !enumFileExt)
        return;
    for (int i = 0; i < EnumMax; ++i) {
        const char* fileType = enumFileType(i);
        if (!fileType)
            break;
        const char* ext = enumFileExt(i);
        if (addMenu(fileType))
            addMenuExtension(ext);
        addLine(list, "  ファイルタイプ[%d]= [%s] [%s]", i, fileType, ext ? ext : "");
    }
}

// Everything the probe asks of a loaded library.
void askPlugin(ProbeSink& list, HMODULE library)
{
    MQGetPlugInIDProc getId = entryPoint<MQGetPlugInIDProc>(library, "MQGetPlugInID");
    if (!getId) {
        addLine(list, "プラグインIDが取得できません");
        return;
    }
    getId(&aid, &pid);
    probeAnswers |= ProbeAnsweredIds;
    addLine(list, "  プラグインID  %08x  %08x", static_cast<unsigned>(aid), static_cast<unsigned>(pid));

    MQGetPlugInNameProc getName = entryPoint<MQGetPlugInNameProc>(library, "MQGetPlugInName");
    if (!getName) {
        addLine(list, "  プラグイン名称が取得できません");
        return;
    }
    const char* name = getName();
    rpStrncpy(pname, name ? name : "", sizeof pname);
    probeAnswers |= ProbeAnsweredName;
    addLine(list, "  名称= [%s]", pname);

    MQGetPlugInTypeProc getType = entryPoint<MQGetPlugInTypeProc>(library, "MQGetPlugInType");
    if (!getType)
        return;
    ptype = getType();
    probeAnswers |= ProbeAnsweredType;
    if (ptype < PLUGIN_TYPE_IMPORT || ptype > PLUGIN_TYPE_COMMAND) {
        addLine(list, "  不明なタイプ %d", ptype);
        return;
    }
    addLine(list, "  タイプ=  %s", typeName[ptype]);
    enumerate(list, library);
}

}  // namespace

void probeHeader(ProbeSink& list, const char* shown)
{
    addLine(list, "%s", "");
    addLine(list, "プラグイン  %s", shown);
}

void probeDll(ProbeSink& list, const wchar_t* widePath, int loadError)
{
    rpModule library;
    clearMenu();
    probeAnswers = 0;
    probeLoadError = 0;

    probeHeader(list, fn);
    int error = loadError;
    // An image whose import table the loader would read outside it is refused, not loaded.
    if (error == 0)
        error = static_cast<int>(checkBeforeLoad(widePath ? std::wstring(widePath) : toWide(dllName)));
    if (error == 0)
        error = widePath ? library.loadWide(widePath) : library.load(dllName);
    if (error != 0) {
        probeLoadError = error;
        addLine(list, "load error %d", error);
        // Why, found in this process right after the load, so that the search for missing
        // libraries is the one the load made.
        std::wstring path;
        if (widePath) {
            path = widePath;
        } else {
            wchar_t wide[ProbeTextSize];
            if (MultiByteToWideChar(CP_ACP, 0, dllName, -1, wide, ProbeTextSize) > 0)
                path = wide;
        }
        for (const std::string& reason : explainLoadError(path, static_cast<DWORD>(error)))
            addLine(list, "%s", reason.c_str());  // library names read from the file
        return;
    }
    // The plug-in's own code runs from here on; a fault in it is the hosting process's to
    // handle (the inspector probes in worker processes).
    list.libraryLoaded(library.handle);
    askPlugin(list, library.handle);
    library.unload();
}
