// The plug-in probe: one file in, list lines and the probe record out.
#include "probe.h"

#include "entryCall.h"
#include "exportSurvey.h"
#include "loadFailure.h"
#include "pluginapi.h"
#include "rpModule.h"
#include "rpStrings.h"
#include "textCodec.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <type_traits>

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

// The questions the probe asks of one loaded library, in the host's order, and what it tells
// about the entry points it lacks. Every call of an entry point goes through the call gate
// (entryCall.h) and is watched (measured when validating).
class PluginQuestions {
public:
    PluginQuestions(ProbeSink& list, HMODULE library, const std::wstring& path, CallWatch& watch)
        : list_(list), library_(library), path_(path), watch_(watch)
    {
    }
    PluginQuestions(const PluginQuestions&) = delete;
    PluginQuestions& operator=(const PluginQuestions&) = delete;

    // Everything the probe asks of the library.
    void ask();
    // Validation: notes in the facts each entry point the probe needs that is exported only
    // under a close name.
    void noteNearMisses();

private:
    // The entry point by its plain name, else by the name with a leading underscore; null when
    // neither exists.
    template <typename Proc>
    Proc find(PluginCall entry)
    {
        const char* name = pluginCallName(entry);
        FARPROC found = GetProcAddress(library_, name);
        if (!found) {
            char underscored[64] = "_";
            rpStrncpy(underscored + 1, name, sizeof underscored - 1);
            found = GetProcAddress(library_, underscored);
        }
        if (!found)
            missing_ |= 1u << entry;
        // GetProcAddress returns a generic entry; the plug-in interface fixes its real type.
        return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(found));
    }

    // Calls the entry point as the host does, watched.
    template <typename Result, typename... Args>
    Result call(PluginCall entry, Result(__cdecl* function)(Args...), Args... args)
    {
        int moved = 0;
        watch_.before(entry);
        if constexpr (std::is_void_v<Result>) {
            callEntryPoint(function, &moved, args...);
            watch_.after(entry, moved);
        } else {
            Result result = callEntryPoint(function, &moved, args...);
            watch_.after(entry, moved);
            return result;
        }
    }

    const ExportSurvey& survey()
    {
        if (!survey_)
            survey_.reset(new ExportSurvey(path_));
        return *survey_;
    }
    // Whether the library exports something close to the entry point it lacks.
    bool hasClose(PluginCall entry) { return survey().closeCount(entry) > 0; }
    // The lines under a line that reports the entry point missing, indented by `indent` blanks:
    // each export that comes close, as exported, and what made it so.
    void explainMissing(PluginCall entry, int indent);
    // Validation: notes the first text that is not Shift-JIS.
    void checkText(PluginCall entry, int index, const char* text);
    // Asks the plug-in for its strings: menu strings (types 3..7) or file types with their
    // extensions (types 1 and 2).
    void enumerate();

    ProbeSink& list_;
    HMODULE library_;     // not owned: the probe releases it
    std::wstring path_;   // the library's file, for its export table
    CallWatch& watch_;
    std::unique_ptr<ExportSurvey> survey_;  // read when an entry point is first found missing
    uint32_t asked_ = (1u << CallGetId) | (1u << CallGetName) | (1u << CallGetType);  // entry-point bits needed
    uint32_t missing_ = 0;  // entry-point bits looked up and not found
};

void PluginQuestions::explainMissing(PluginCall entry, int indent)
{
    const ExportSurvey& exports = survey();
    for (const ExportSurvey::Close& close : exports.closeTo(entry)) {
        const char* why = close.kind == NearMissKind::Decorated ? "__stdcall の宣言か .def のないエクスポートで付いた装飾"
                          : close.kind == NearMissKind::Cpp     ? "extern \"C\" のない C++ の名前"
                                                                : "大文字と小文字の違い";
        addLine(list_, "%*s%s ではなく %s をエクスポートしています (%s)", indent, "", pluginCallName(entry), close.name.c_str(),
                why);
    }
    if (exports.closeCount(entry) > exports.closeTo(entry).size())
        addLine(list_, "%*sほかにも近い名前が %u 個あります", indent, "",
                static_cast<unsigned>(exports.closeCount(entry) - exports.closeTo(entry).size()));
}

void PluginQuestions::checkText(PluginCall entry, int index, const char* text)
{
    if (!watch_.measuring() || !text || probeFacts.textInvalidCall != 0)
        return;
    const long at = invalidShiftJisAt(text);
    if (at < 0)
        return;
    probeFacts.textInvalidCall = static_cast<uint32_t>(entry) + 1;
    probeFacts.textInvalidIndex = static_cast<uint32_t>(index);
    probeFacts.textInvalidOffset = static_cast<uint32_t>(at);
}

void PluginQuestions::enumerate()
{
    if (ptype >= PLUGIN_TYPE_CREATE) {
        asked_ |= 1u << CallEnumString;
        MQEnumProc enumString = find<MQEnumProc>(CallEnumString);
        if (!enumString) {
            if (hasClose(CallEnumString)) {
                addLine(list_, "  メニュー文字列が取得できません");
                explainMissing(CallEnumString, 4);
            }
            return;
        }
        int i = 0;
        for (; i < EnumMax; ++i) {
            const char* text = call(CallEnumString, enumString, i);
            if (!text)
                break;
            checkText(CallEnumString, i, text);
            // Recorded before its line, so that the record holds what every line shows.
            addMenu(text);
            addLine(list_, "  メニュー[%d]= [%s]", i, text);
        }
        if (watch_.measuring() && i == EnumMax)
            probeFacts.enumUnterminated |= 1u << CallEnumString;
        return;
    }
    asked_ |= (1u << CallEnumFileType) | (1u << CallEnumFileExt);
    MQEnumProc enumFileType = find<MQEnumProc>(CallEnumFileType);
    MQEnumProc enumFileExt = find<MQEnumProc>(CallEnumFileExt);
    if (!enumFileType || !enumFileExt) {
        if ((!enumFileType && hasClose(CallEnumFileType)) || (!enumFileExt && hasClose(CallEnumFileExt))) {
            addLine(list_, "  ファイルタイプが取得できません");
            if (!enumFileType)
                explainMissing(CallEnumFileType, 4);
            if (!enumFileExt)
                explainMissing(CallEnumFileExt, 4);
        }
        return;
    }
    int i = 0;
    uint32_t extensionsInRow = 0;  // extensions answered from index 0 on, up to the first null
    bool extensionsEnded = false;
    for (; i < EnumMax; ++i) {
        const char* fileType = call(CallEnumFileType, enumFileType, i);
        if (!fileType)
            break;
        const char* ext = call(CallEnumFileExt, enumFileExt, i);
        if (!ext)
            extensionsEnded = true;
        else if (!extensionsEnded)
            ++extensionsInRow;
        checkText(CallEnumFileType, i, fileType);
        checkText(CallEnumFileExt, i, ext);
        if (addMenu(fileType))
            addMenuExtension(ext);
        addLine(list_, "  ファイルタイプ[%d]= [%s] [%s]", i, fileType, ext ? ext : "");
    }
    if (!watch_.measuring())
        return;
    probeFacts.fileTypeCount = static_cast<uint32_t>(i);
    if (i == EnumMax) {
        probeFacts.enumUnterminated |= 1u << CallEnumFileType;
    } else if (!extensionsEnded && call(CallEnumFileExt, enumFileExt, i) != nullptr) {
        // The extensions go on where the file types ended. Only whether there is one counts:
        // the text is never read.
        extensionsInRow = static_cast<uint32_t>(i) + 1;
    }
    probeFacts.fileExtCount = extensionsInRow;
}

void PluginQuestions::ask()
{
    MQGetPlugInIDProc getId = find<MQGetPlugInIDProc>(CallGetId);
    if (!getId) {
        addLine(list_, "プラグインIDが取得できません");
        explainMissing(CallGetId, 2);
        const ExportSurvey& exports = survey();
        if (exports.complete() && !exports.anyEntryPoint())
            addLine(list_, "  プラグインの関数を一つもエクスポートしていません (エクスポート数 %lu)",
                    static_cast<unsigned long>(exports.exportCount()));
        return;
    }
    call(CallGetId, getId, &aid, &pid);
    probeAnswers |= ProbeAnsweredIds;
    addLine(list_, "  プラグインID  %08x  %08x", static_cast<unsigned>(aid), static_cast<unsigned>(pid));

    MQGetPlugInNameProc getName = find<MQGetPlugInNameProc>(CallGetName);
    if (!getName) {
        addLine(list_, "  プラグイン名称が取得できません");
        explainMissing(CallGetName, 4);
        return;
    }
    const char* name = call(CallGetName, getName);
    checkText(CallGetName, 0, name);
    rpStrncpy(pname, name ? name : "", sizeof pname);
    probeAnswers |= ProbeAnsweredName;
    addLine(list_, "  名称= [%s]", pname);

    MQGetPlugInTypeProc getType = find<MQGetPlugInTypeProc>(CallGetType);
    if (!getType) {
        if (hasClose(CallGetType)) {
            addLine(list_, "  タイプが取得できません");
            explainMissing(CallGetType, 4);
        }
        return;
    }
    ptype = call(CallGetType, getType);
    probeAnswers |= ProbeAnsweredType;
    if (ptype < PLUGIN_TYPE_IMPORT || ptype > PLUGIN_TYPE_COMMAND) {
        addLine(list_, "  不明なタイプ %d", ptype);
        return;
    }
    addLine(list_, "  タイプ=  %s", typeName[ptype]);
    enumerate();
}

void PluginQuestions::noteNearMisses()
{
    if (missing_ == 0)
        return;
    const ExportSurvey& exports = survey();
    for (uint32_t entry = CallGetId; entry <= CallEnumFileExt; ++entry) {
        const PluginCall which = static_cast<PluginCall>(entry);
        if (!(asked_ & (1u << entry)) || exports.exports(which) || exports.closeTo(which).empty())
            continue;
        switch (exports.closeTo(which).front().kind) {
        case NearMissKind::Decorated: probeFacts.nearMissDecorated |= 1u << entry; break;
        case NearMissKind::Cpp: probeFacts.nearMissCpp |= 1u << entry; break;
        case NearMissKind::OtherCase: probeFacts.nearMissCase |= 1u << entry; break;
        case NearMissKind::None: break;
        }
    }
}

// Validation: notes the first debug C runtime that the file or a dependency imports.
void noteDebugRuntime(const std::wstring& path)
{
    std::string runtime, via;
    if (!findDebugRuntime(path, LibrarySearch::ofThisProcess(), &runtime, &via))
        return;
    rpStrncpy(probeFacts.debugRuntime, runtime.c_str(), sizeof probeFacts.debugRuntime);
    rpStrncpy(probeFacts.debugRuntimeVia, via.c_str(), sizeof probeFacts.debugRuntimeVia);
}

}  // namespace

void probeHeader(ProbeSink& list, const char* shown)
{
    addLine(list, "%s", "");
    addLine(list, "プラグイン  %s", shown);
}

void probeDll(ProbeSink& list, const wchar_t* widePath, int loadError, bool validate)
{
    rpModule library;
    clearMenu();
    probeAnswers = 0;
    probeLoadError = 0;
    std::memset(&probeFacts, 0, sizeof probeFacts);
    CallWatch watch(validate ? &probeFacts : nullptr);

    probeHeader(list, fn);
    const std::wstring path = widePath ? std::wstring(widePath) : toWide(dllName);
    int error = loadError;
    // An image whose import table the loader would read outside it is refused, not loaded.
    if (error == 0)
        error = static_cast<int>(checkBeforeLoad(path));
    // Read from the files before the load: once the plug-in is released, a thread it left may
    // fault at any moment, and what the probe still does before the worker reports is kept short.
    if (validate && loadError == 0)
        noteDebugRuntime(path);
    watch.countHandlesBefore();
    if (error == 0) {
        watch.before(CallLoad);
        error = widePath ? library.loadWide(widePath) : library.load(dllName);
        watch.after(CallLoad);
    }
    if (error != 0) {
        watch.countHandlesAfter();
        probeLoadError = error;
        addLine(list, "load error %d", error);
        // Why, found in this process right after the load, so that the search for missing
        // libraries is the one the load made.
        for (const std::string& reason : explainLoadError(path, static_cast<DWORD>(error)))
            addLine(list, "%s", reason.c_str());  // library names read from the file
        return;
    }
    // The plug-in's own code runs from here on; a fault in it is the hosting process's to
    // handle (the inspector probes in worker processes).
    list.libraryLoaded(library.handle);
    PluginQuestions questions(list, library.handle, path, watch);
    questions.ask();
    if (validate)
        questions.noteNearMisses();
    watch.before(CallRelease);
    library.unload();
    watch.after(CallRelease);
    watch.countHandlesAfter();
}
