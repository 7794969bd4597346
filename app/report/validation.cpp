// The validation's checks, made from the records of a validated file's two loads.
#include "validation.h"

#include "callWatch.h"
#include "lineFormat.h"
#include "workerProtocol.h"


namespace {

constexpr uint32_t SlowLoadMs = 1000;  // a load or release longer than this is slow
constexpr uint32_t SlowCallMs = 200;   // one entry point's call longer than this is slow
constexpr uint32_t LeakedHandles = 16; // handles more after the release that count as leaked

// One call as a message names it: the entry point, or the load or release (DllMain).
std::string callName(uint32_t stored)
{
    switch (stored) {
    case CallLoad + 1: return "読み込み (DllMain)";
    case CallRelease + 1: return "解放 (DllMain)";
    default: return stored >= CallGetId + 1 && stored <= CallEnumFileExt + 1 ? pluginCallName(static_cast<PluginCall>(stored - 1)) : "";
    }
}

// The entry points of a mask, as "MQGetPlugInID, MQGetPlugInName".
std::string entryNames(uint32_t mask)
{
    std::string names;
    for (uint32_t entry = CallGetId; entry <= CallEnumFileExt; ++entry) {
        if (mask & (1u << entry))
            names += (names.empty() ? "" : ", ") + std::string(pluginCallName(static_cast<PluginCall>(entry)));
    }
    return names;
}

// What one load of the file showed: its record (with the facts) and what it left behind.
struct Load {
    const ProbeResult* result = nullptr;  // null: no record
    uint32_t leftovers = 0;
};

class Checks {
public:
    void add(const char* check, Severity severity, const std::string& message)
    {
        for (const Finding& finding : findings_) {
            if (finding.check == std::string(check))
                return;  // one finding per check: the first load's, else the second's
        }
        findings_.push_back({check, severity, message});
    }
    // The checks that one load's record and leftovers answer.
    void ofLoad(const Load& load);
    std::vector<Finding> take();

private:
    std::vector<Finding> findings_;
};

void Checks::ofLoad(const Load& load)
{
    const uint32_t left = load.leftovers;
    if (left & LeftoverThread)
        add("thread-left", Severity::Error,
            "解放した後もプラグインが始めたスレッドが動いています。ホストが後で落ちます。スレッドは始めた関数から戻る前に終わらせてください (DllMain の中で待つとデッドロックします)");
    if (left & LeftoverModule)
        add("unload-refused", Severity::Error,
            "解放した後も DLL が読み込まれたままです (自分を固定したか参照が残っています)。ファイルも使用中のままになります。"
            "自分への LoadLibrary や GET_MODULE_HANDLE_EX_FLAG_PIN をやめてください");
    if (!load.result)
        return;
    const ProbeResult& result = *load.result;
    const ProbeFacts& facts = result.facts;
    if (!facts.measured)
        return;

    if (facts.nearMissDecorated)
        add("exports-decorated", Severity::Error,
            boundedLine("%s は装飾された名前でしかエクスポートされていません。__cdecl で宣言し、.def ファイルで名前どおりにエクスポートしてください",
                 entryNames(facts.nearMissDecorated).c_str()));
    else if (facts.nearMissCpp)
        add("exports-decorated", Severity::Error,
            boundedLine("%s は C++ の名前でしかエクスポートされていません。extern \"C\" で宣言してください", entryNames(facts.nearMissCpp).c_str()));
    else if (facts.nearMissCase)
        add("exports-decorated", Severity::Error,
            boundedLine("%s は大文字と小文字の違う名前でしかエクスポートされていません。名前の綴りを合わせてください",
                 entryNames(facts.nearMissCase).c_str()));

    if (facts.enumUnterminated)
        add("enum-unterminated", Severity::Error,
            boundedLine("%s が 99 番目まで NULL を返しません。最後の項目の次の番号には NULL を返してください",
                 entryNames(facts.enumUnterminated).c_str()));
    if ((result.answers & ProbeAnsweredType) && (result.ptype < 1 || result.ptype > 7))
        add("type-unknown", Severity::Error,
            boundedLine("MQGetPlugInType が %d を返しました。1 から 7 のどれかを返してください", result.ptype));
    if (facts.fileExtCount > facts.fileTypeCount)
        add("filetypes-unpaired", Severity::Error,
            boundedLine("MQEnumFileExt が MQEnumFileType の %u 件より多く返します。同じ番号で NULL を返してください", facts.fileTypeCount));
    else if (facts.fileExtCount < facts.fileTypeCount)
        add("filetypes-unpaired", Severity::Error,
            boundedLine("MQEnumFileType は %u 件、MQEnumFileExt は %u 件で終わります。ファイルタイプごとに拡張子を返してください",
                 facts.fileTypeCount, facts.fileExtCount));
    if (facts.textInvalidCall) {
        const bool enumeration = facts.textInvalidCall >= CallEnumString + 1;
        const std::string where = callName(facts.textInvalidCall) + (enumeration ? boundedLine("(%u)", facts.textInvalidIndex) : "");
        add("text-invalid", Severity::Error,
            boundedLine("%s の文字列の %u バイト目の先行バイトに後続バイトがありません。文字列は Shift-JIS で返してください", where.c_str(),
                 facts.textInvalidOffset + 1));
    }
    if (facts.debugRuntime[0])
        add("debug-runtime", Severity::Error,
            boundedLine("デバッグ用の C ランタイム %s が必要です%s。利用者の PC にはありません。リリース構成でビルドしてください",
                 facts.debugRuntime, facts.debugRuntimeVia[0] ? boundedLine(" (%s が使います)", facts.debugRuntimeVia).c_str() : ""));
    if (facts.stackCall)
        add("stack-imbalance", Severity::Error,
            boundedLine("%s から戻るとスタックが %d バイトずれます (__stdcall の宣言)。ホストは cdecl で呼ぶので __cdecl で宣言してください",
                 callName(facts.stackCall).c_str(), static_cast<int>(facts.stackBytes)));

    if (facts.fpuCall) {
        std::string words;
        if (facts.x87Before != facts.x87After)
            words = boundedLine("x87 制御ワード %04x→%04x", facts.x87Before, facts.x87After);
        if (facts.mxcsrBefore != facts.mxcsrAfter)
            words += boundedLine("%sMXCSR %04x→%04x", words.empty() ? "" : "、", facts.mxcsrBefore, facts.mxcsrAfter);
        add("fpu-changed", Severity::Warning,
            boundedLine("%s が浮動小数点の設定を変えたままにします (%s)。変えたら戻る前に元に戻してください", callName(facts.fpuCall).c_str(),
                 words.c_str()));
    }
    uint32_t changed = facts.processChanged;
    std::string changer = callName(facts.processCall);
    if (!changed && (left & (LeftoverFilter | LeftoverDirectory))) {
        // Not in one of its calls, but before the worker looked after the release (a thread).
        changed = ((left & LeftoverFilter) ? uint32_t(ChangedFilter) : 0u) | ((left & LeftoverDirectory) ? uint32_t(ChangedDirectory) : 0u);
        changer = "解放の後にプラグイン";
    }
    if (changed) {
        std::string what;
        for (const auto& [bit, name] : {std::pair<uint32_t, const char*>{ChangedDirectory, "カレントディレクトリ"},
                                        {ChangedFilter, "未処理例外フィルタ"},
                                        {ChangedErrorMode, "エラーモード"}}) {
            if (changed & bit)
                what += (what.empty() ? "" : "、") + std::string(name);
        }
        add("process-changed", Severity::Warning,
            boundedLine("%s がプロセスの%sを変えたままにします。ホスト全体に効くので、変えたら元に戻してください", changer.c_str(), what.c_str()));
    }
    if (facts.loadMs > SlowLoadMs)
        add("slow", Severity::Warning,
            boundedLine("読み込みに %u ms かかります (1 秒を超えています)。重い初期化は必要になるまで遅らせてください", facts.loadMs));
    else if (facts.releaseMs > SlowLoadMs)
        add("slow", Severity::Warning,
            boundedLine("解放に %u ms かかります (1 秒を超えています)。DllMain での後始末を軽くしてください", facts.releaseMs));
    else if (facts.slowestMs > SlowCallMs)
        add("slow", Severity::Warning,
            boundedLine("%s の呼び出しに %u ms かかります (200 ms を超えています)。答えは前もって用意しておいてください",
                 callName(facts.slowestCall).c_str(), facts.slowestMs));
    if (facts.handlesBefore != HandlesUnknown && facts.handlesAfter != HandlesUnknown &&
        facts.handlesAfter >= facts.handlesBefore + LeakedHandles)
        add("handles-leaked", Severity::Warning,
            boundedLine("解放した後、プロセスのハンドルが %u 個増えています (読み込み前 %u、解放後 %u)。開いたハンドルは閉じてください",
                 facts.handlesAfter - facts.handlesBefore, facts.handlesBefore, facts.handlesAfter));
}

std::vector<Finding> Checks::take()
{
    // In the order of the checks' table, whichever load found them.
    static const char* const order[] = {
        "exports-decorated", "answers-unstable", "enum-unterminated", "type-unknown", "filetypes-unpaired",
        "text-invalid",      "thread-left",      "unload-refused",    "debug-runtime", "stack-imbalance",
        "fpu-changed",       "process-changed",  "slow",              "handles-leaked",
    };
    std::vector<Finding> sorted;
    for (const char* check : order) {
        for (const Finding& finding : findings_) {
            if (finding.check == std::string(check))
                sorted.push_back(finding);
        }
    }
    return sorted;
}

// What of the answers differs between two records: "ID", "名称", "タイプ", "文字列".
std::string differences(const ProbeResult& first, const ProbeResult& second)
{
    std::string what;
    auto note = [&what](bool differs, const char* name) {
        if (differs)
            what += (what.empty() ? "" : "、") + std::string(name);
    };
    note((first.answers & ProbeAnsweredIds) != (second.answers & ProbeAnsweredIds) || first.aid != second.aid || first.pid != second.pid,
         "ID");
    note((first.answers & ProbeAnsweredName) != (second.answers & ProbeAnsweredName) || first.pname != second.pname, "名称");
    note((first.answers & ProbeAnsweredType) != (second.answers & ProbeAnsweredType) || first.ptype != second.ptype, "タイプ");
    note(first.strings != second.strings || first.extensions != second.extensions, "文字列");
    return what;
}

// How the second load ended when it did not end as the first did; empty when it answered, or
// when its end says nothing about the plug-in (stopped, no worker).
std::string secondLoadEnding(const Reload& second)
{
    switch (second.outcome) {
    case ProbeOutcome::Probed:
        return second.hasResult && second.result.loadError != 0 ? boundedLine("読み込みエラー %d", second.result.loadError) : "";
    case ProbeOutcome::Faulted: return boundedLine("例外 %08lx", static_cast<unsigned long>(second.code));
    case ProbeOutcome::Exited: return boundedLine("プロセスの終了 %08lx", static_cast<unsigned long>(second.code));
    case ProbeOutcome::Hung: return "応答なし";
    case ProbeOutcome::ProtocolError: return "壊れた応答";
    default: return "";
    }
}

}  // namespace

std::vector<Finding> validationFindings(const BatchEvent& event)
{
    if (!event.validated)
        return {};
    Checks checks;
    checks.ofLoad({event.hasResult ? &event.result : nullptr, event.leftovers});
    const Reload& second = event.second;
    if (second.ran) {
        const std::string ending = secondLoadEnding(second);
        if (!ending.empty()) {
            checks.add("answers-unstable", Severity::Error,
                       boundedLine("2 回目の読み込みは最初と違って終わりました (%s)。毎回同じように動くようにしてください", ending.c_str()));
        } else if (second.outcome == ProbeOutcome::Probed && second.hasResult) {
            const std::string what = differences(event.result, second.result);
            if (!what.empty())
                checks.add("answers-unstable", Severity::Error,
                           boundedLine("2 回目の読み込みで答えが変わりました (%s)。乱数や時刻、プロセスの状態によらず同じ答えを返してください",
                                what.c_str()));
        }
        checks.ofLoad({second.hasResult ? &second.result : nullptr, second.leftovers});
    }
    return checks.take();
}

std::string findingLine(const Finding& finding)
{
    char line[ProbeTextSize];
    formatBounded(line, sizeof line, "  [%s] %s", finding.severity == Severity::Error ? "エラー" : "警告", finding.message.c_str());
    replaceControlCharacters(line);
    return line;
}

const char* severityName(Severity severity)
{
    return severity == Severity::Error ? "error" : "warning";
}
