// The object base: names, error codes and their texts, report thresholds.
#include "rpObject.h"

#include <cstdio>
#include <cstring>

int rpObject::DisplayErrorLevel = 3;

const rpObject::ErrorText rpObject::ErrorTable[] = {
    {-1, "エラーが発生しました"},
    {0, "正常終了"},
    {1, "無効な機能"},
    {2, "ファイルが見つからない"},
    {3, "パスが見つからない"},
    {4, "これ以上ファイルを開けない"},
    {5, "アクセスが拒否された"},
    {6, "無効なハンドル"},
    {7, "不安定な状態です"},
    {8, "メモリー不足"},
    {9, "不正なブロック"},
    {10, "不正な環境変数"},
    {11, "不正な形式"},
    {12, "不正なアクセス"},
    {13, "不正なデータ"},
    {15, "不正なドライブ"},
    {16, "カレントディレクトリのエラー"},
    {17, "同じデバイスでない"},
    {18, "これ以上ファイルはありません"},
    {19, "書き込み禁止です"},
    {20, "不正なユニットです"},
    {21, "装置が準備中"},
    {22, "不正なコマンド"},
    {23, "CRC エラー"},
    {24, "不正な長さ指定"},
    {25, "シークエラー"},
    {26, "DOS のディスクでない"},
    {27, "セクターが見つからない"},
    {28, "紙切れです"},
    {29, "書込失敗"},
    {30, "読込失敗"},
    {31, "生成失敗"},
    {32, "共有エラー"},
    {33, "ロックのエラー"},
    {34, "壊れたディスク名"},
    {67, "不正なネット名"},
    {85, "既に割付済み"},
    {87, "無効なパラメータ"},
    {123, "無効な名前"},
    {128, "待機プロセスがない"},
    {183, "既に存在する"},
    {288, "所有していない"},
    {1200, "不正なデバイス"},
    {2250, "接続していない"},
    {-9999, nullptr},
};

namespace {
// Receives the text of codes that are not in the table; each such lookup overwrites it.
char unknownCodeText[32];
}

rpObject::rpObject(const char* className)
    : viewLevel(-1), objectName(), owner(false), lastError(0)
{
    this->className(className);
}

rpObject::~rpObject() = default;

const char* rpObject::name()
{
    return objectName;
}

void rpObject::name(const char* text)
{
    className(text);
}

void rpObject::className(const char* text)
{
    std::memset(objectName, 0, sizeof objectName);
    if (text)
        std::strncpy(objectName, text, NameLength);
    objectName[NameLength] = '\0';
}

const char* rpObject::errorString(char* dst)
{
    return ErrorString(lastError, dst);
}

const char* rpObject::ErrorString(int code, char* dst)
{
    const char* text = nullptr;
    for (const ErrorText* entry = ErrorTable; entry->text; ++entry) {
        if (entry->code == code)
            text = entry->text;
    }
    if (!text) {
        std::snprintf(unknownCodeText, sizeof unknownCodeText, "<<error: %d>>", code);
        text = unknownCodeText;
    }
    if (dst)
        std::strcpy(dst, text);  // the caller provides room for the longest text (29 bytes)
    return text;
}

int rpObject::ResetViewError()
{
    DisplayErrorLevel = 3;
    return 3;
}

int rpObject::ViewErrorLevel()
{
    return DisplayErrorLevel;
}

int rpObject::ViewErrorLevel(int level)
{
    DisplayErrorLevel = level;
    return level;
}

int rpObject::resetViewError()
{
    viewLevel = -1;
    return -1;
}

int rpObject::viewErrorLevel()
{
    return viewLevel >= 0 ? viewLevel : DisplayErrorLevel;
}

int rpObject::viewError(int code, const char* where, int level)
{
    if (!where)
        where = "error";
    lastError = code;
    if (code == 0)
        return 0;
    if (level > viewErrorLevel())
        dbout("<<%s::%s %s>>\n", objectName, where, errorString(nullptr));
    return code;
}

int rpObject::ViewError(int code, const char* where, int level)
{
    if (code == 0)
        return 0;
    if (!where)
        where = "error";
    if (level > DisplayErrorLevel)
        dbout("<<::%s %s>>\n", where, ErrorString(code, nullptr));
    return code;
}
