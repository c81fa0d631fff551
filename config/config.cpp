#include "config/config.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "log/log.h"
#include "platform/platform.h"
#include "text/text.h"

Config_SettingRecord Config_Setting;

namespace {

constexpr const char *D_PCHAR_CONFIG_SECTION_DOWNLOAD = "DOWNLOAD_SETTING";
constexpr const char *D_PCHAR_CONFIG_SECTION_SERVER = "SERVER_SETTING";
constexpr const char *D_PCHAR_CONFIG_KEY_SHARED_FOLDERS = "SHARED_FOLDERS";
constexpr const char *D_PCHAR_CONFIG_KEY_CRYPT_PASSWORD = "CRYPT_PASSWORD";
constexpr const char *D_PCHAR_CONFIG_KEY_IPADDRESS = "IPADDRESS_FOR_ACCEPT";
constexpr const char *D_PCHAR_CONFIG_KEY_PORT_NUMBER = "PORT_NUMBER_FOR_ACCEPT";
constexpr const char *D_PCHAR_CONFIG_KEY_SERVER_AUTO_START = "SERVER_AUTO_START";
constexpr const char *D_PCHAR_CONFIG_KEY_ENABLE_ACCESSLOG = "ENABLE_ACCESSLOG";
// What the reader gives back for a missing key (and, indistinguishably, for a key holding this text).
constexpr const char *D_PCHAR_CONFIG_MISSING_VALUE = "_DEFAULT_";

constexpr const char *D_PCHAR_CONFIG_FILE_NAME = "config.ini";
constexpr const char *D_PCHAR_CONFIG_HELP_FILE_NAME = "SorvaneHelp.chm";
// The executable's full path, and its folder (after the drive, with its trailing separator, NUL included).
constexpr long D_LONG_CONFIG_MODULEPATH_SIZE = 775;
constexpr long D_LONG_CONFIG_FOLDER_SIZE = 256;
// Message-box texts.
constexpr long D_LONG_CONFIG_MESSAGE_SIZE = 256;
// The longest password, and the largest octets and port.
constexpr size_t D_SIZE_CONFIG_PASSWORD_MAX = 32;
constexpr unsigned long D_ULONG_CONFIG_OCTET_MAX = 255;
constexpr unsigned long D_ULONG_CONFIG_LAST_OCTET_MAX = 254;
constexpr unsigned long D_ULONG_CONFIG_PORT_MAX = 65535;

constexpr char D_CHAR_CONFIG_FOLDER_SEPARATOR = '\t';

// The default config.ini, one line each, without line ends.
const char *const D_PCHAR_CONFIG_DEFAULT_LINES[] = {
    "; ----------",
    "; Config.ini",
    "; ----------",
    "",
    "; ファイル転送に関する設定",
    "[DOWNLOAD_SETTING]",
    "; 外部公開用フォルダ",
    "SHARED_FOLDERS=",
    "; 通信データ暗号化パスワード",
    "CRYPT_PASSWORD=tarimuso",
    "",
    "",
    "; サーバ機能に関する設定",
    "[SERVER_SETTING]",
    "; 外部公開用IPアドレス",
    "IPADDRESS_FOR_ACCEPT=127.0.0.1",
    "; 外部公開用ポート番号",
    "PORT_NUMBER_FOR_ACCEPT=8080",
    "; アプリ起動時に自動起動(0:OFF、1:ON)",
    "SERVER_AUTO_START=1",
    "; アクセスログを出力する(0:OFF、1:ON)",
    "ENABLE_ACCESSLOG=1",
    "",
};

// Guards the password and the shared-folder list against the server thread's copies.
std::mutex mutexConfigSetting;

// Shows a message box whose caption and text come from the string table.
void Config_ShowMessage(unsigned int uintCaptionId, unsigned int uintTextId, long longIcon) {
    char charCaption[D_LONG_CONFIG_MESSAGE_SIZE];
    char charText[D_LONG_CONFIG_MESSAGE_SIZE];
    if (Platform_LoadString(uintCaptionId, charCaption, sizeof(charCaption)) != 0) {
        LOG_TRACEF("LoadString 異常終了(ID=%u)", uintCaptionId);
    }
    if (Platform_LoadString(uintTextId, charText, sizeof(charText)) != 0) {
        LOG_TRACEF("LoadString 異常終了(ID=%u)", uintTextId);
    }
    LOG_TRACE("MessageBox 呼び出し");
    Platform_ShowMessage(charCaption, charText, longIcon);
}

// The full path of a file in the executable's folder. 0, or -1 (traced) when the executable's path
// cannot be had, its folder is longer than 255 characters, or the path does not fit sizePath bytes.
int Config_ComposeFilePath(const char *pcharFileName, char *pcharPath, size_t sizePath) {
    char charFolder[D_LONG_CONFIG_MODULEPATH_SIZE];
    if (Platform_GetExecutableFolder(charFolder, sizeof(charFolder)) != 0) {
        LOG_TRACE("外部処理異常終了( GetModuleFileName )");
        return -1;
    }
    // The folder after a drive ("C:"), with the separator that follows it, must fit its 256 bytes.
    size_t sizeDrive = (charFolder[0] != '\0' && charFolder[1] == ':') ? 2 : 0;
    size_t sizeFolder = strlen(charFolder + sizeDrive) + 1;
    if (sizeFolder + 1 > static_cast<size_t>(D_LONG_CONFIG_FOLDER_SIZE)) {
        LOG_TRACEF("実行ファイルのフォルダ名が長すぎます(%lu文字)", static_cast<unsigned long>(sizeFolder));
        return -1;
    }
    int intLength = snprintf(pcharPath, sizePath, "%s%c%s", charFolder, D_CHAR_PLATFORM_PATH_SEPARATOR, pcharFileName);
    if (intLength < 0 || static_cast<size_t>(intLength) >= sizePath) {
        if (sizePath > 0) pcharPath[0] = '\0';
        LOG_TRACEF("パスがバッファに収まりません(%s)", pcharFileName);
        return -1;
    }
    return 0;
}

// Reads one key of config.ini into a buffer of D_LONG_CONFIG_VALUE_BUFFER bytes. Returns the count of
// the reader, or -1 (traced) when the key is missing.
long Config_ReadValue(const char *pcharSection, const char *pcharKey, char *pcharValue) {
    LOG_TRACE("GetPrivateProfileString 呼び出し");
    long longCount = Platform_GetPrivateProfileString(pcharSection, pcharKey, D_PCHAR_CONFIG_MISSING_VALUE, pcharValue,
                                                      D_LONG_CONFIG_VALUE_BUFFER, Config_Setting.charConfigFilePath);
    if (strcmp(pcharValue, D_PCHAR_CONFIG_MISSING_VALUE) == 0) {
        LOG_TRACEF("設定が見つかりません(SECTION=%s, KEY=%s)", pcharSection, pcharKey);
        return -1;
    }
    return longCount;
}

// Converts like sscanf with intCount "%d" joined by charSeparator, storing each number at once into
// plongNumbers. Returns the count of numbers converted, or -1 (EOF) when the text ends before the
// first. A number beyond the signed 32-bit range is stored as the nearest limit, which no range test
// passes (sscanf's own result would be undefined there).
int Config_ScanNumbers(const char *pcharText, char charSeparator, long *plongNumbers, int intCount) {
    const char *pcharAt = pcharText;
    for (int intIndex = 0; intIndex < intCount; ++intIndex) {
        if (intIndex > 0) {
            if (*pcharAt != charSeparator) return intIndex;
            ++pcharAt;
        }
        while (*pcharAt == ' ' || (*pcharAt >= '\t' && *pcharAt <= '\r')) ++pcharAt;
        if (*pcharAt == '\0') return intIndex == 0 ? -1 : intIndex;
        bool boolNegative = *pcharAt == '-';
        if (*pcharAt == '-' || *pcharAt == '+') ++pcharAt;
        if (*pcharAt < '0' || *pcharAt > '9') return intIndex;
        int64_t int64Number = 0;
        while (*pcharAt >= '0' && *pcharAt <= '9') {
            if (int64Number <= INT32_MAX) int64Number = int64Number * 10 + (*pcharAt - '0');
            ++pcharAt;
        }
        if (boolNegative) int64Number = -int64Number;
        if (int64Number > INT32_MAX) int64Number = INT32_MAX;
        if (int64Number < INT32_MIN) int64Number = INT32_MIN;
        plongNumbers[intIndex] = static_cast<long>(int64Number);
    }
    return intCount;
}

bool Config_IsPasswordCharacter(char charByte) {
    return (charByte >= '0' && charByte <= '9') || (charByte >= 'a' && charByte <= 'z') ||
           (charByte >= 'A' && charByte <= 'Z');
}

// 0 for a password that the loader accepts; -1 (traced with the loader's reason) otherwise.
int Config_CheckPassword(const char *pcharPassword, size_t sizeLength) {
    if (sizeLength > D_SIZE_CONFIG_PASSWORD_MAX) {
        LOG_TRACEF("設定値が不正です(文字列長オーバ, SECTION=%s, KEY=%s)", D_PCHAR_CONFIG_SECTION_DOWNLOAD,
                   D_PCHAR_CONFIG_KEY_CRYPT_PASSWORD);
        return -1;
    }
    for (size_t sizeIndex = 0; sizeIndex < sizeLength; ++sizeIndex) {
        if (!Config_IsPasswordCharacter(pcharPassword[sizeIndex])) {
            LOG_TRACEF("設定値が不正です(文字種不正, SECTION=%s, KEY=%s)", D_PCHAR_CONFIG_SECTION_DOWNLOAD,
                       D_PCHAR_CONFIG_KEY_CRYPT_PASSWORD);
            return -1;
        }
    }
    return 0;
}

bool Config_AddressInRange(const long *plongAddress) {
    for (int intIndex = 0; intIndex < 4; ++intIndex) {
        unsigned long ulongLimit = intIndex == 3 ? D_ULONG_CONFIG_LAST_OCTET_MAX : D_ULONG_CONFIG_OCTET_MAX;
        if (static_cast<unsigned long>(plongAddress[intIndex]) > ulongLimit) return false;
    }
    return true;
}

bool Config_PortInRange(long longPort) { return static_cast<unsigned long>(longPort) <= D_ULONG_CONFIG_PORT_MAX; }

// Splits the value at TAB characters into a new list; runs of TABs and TABs at either end give no item.
// 0, or -1 (traced; nothing is left of the new list) when an item is longer than 259 characters or
// memory runs out.
int Config_SplitFolders(char *pcharValue, Config_SharedFolder **ppstructList) {
    *ppstructList = nullptr;
    char *pcharItem = pcharValue;
    while (*pcharItem != '\0') {
        char *pcharSeparator = const_cast<char *>(Text_FindCharacter(pcharItem, D_CHAR_CONFIG_FOLDER_SEPARATOR));
        if (pcharSeparator != nullptr) *pcharSeparator = '\0';
        size_t sizeItem = strlen(pcharItem);
        if (sizeItem >= static_cast<size_t>(D_LONG_CONFIG_FOLDERPATH_SIZE)) {
            LOG_TRACEF("設定値が不正です(フォルダパス長オーバ, SECTION=%s, KEY=%s)", D_PCHAR_CONFIG_SECTION_DOWNLOAD,
                       D_PCHAR_CONFIG_KEY_SHARED_FOLDERS);
            Config_ReleaseSharedFolderList(ppstructList);
            return -1;
        }
        if (sizeItem > 0 && Config_AppendSharedFolder(ppstructList, pcharItem) != 0) {
            Config_ReleaseSharedFolderList(ppstructList);
            return -1;
        }
        if (pcharSeparator == nullptr) break;
        pcharItem = pcharSeparator + 1;
    }
    return 0;
}

// The load, with the lock held.
int Config_LoadSettingLocked(void) {
    Config_ReleaseSharedFolderList(&Config_Setting.pstructSharedFolderList);
    char charValue[D_LONG_CONFIG_VALUE_BUFFER];

    // SHARED_FOLDERS: TAB-separated paths; empty is an empty list; a value that fills the buffer is cut.
    long longCount = Config_ReadValue(D_PCHAR_CONFIG_SECTION_DOWNLOAD, D_PCHAR_CONFIG_KEY_SHARED_FOLDERS, charValue);
    if (longCount < 0) return -1;
    if (longCount >= D_LONG_CONFIG_VALUE_BUFFER - 1) {
        LOG_TRACEF("バッファ不足で読み込めません(SECTION=%s, KEY=%s)", D_PCHAR_CONFIG_SECTION_DOWNLOAD,
                   D_PCHAR_CONFIG_KEY_SHARED_FOLDERS);
        return -1;
    }
    if (longCount == 0) {
        LOG_TRACEF("設定値無し(SECTION=%s, KEY=%s)", D_PCHAR_CONFIG_SECTION_DOWNLOAD, D_PCHAR_CONFIG_KEY_SHARED_FOLDERS);
    } else if (Config_SplitFolders(charValue, &Config_Setting.pstructSharedFolderList) != 0) {
        return -1;
    }

    // CRYPT_PASSWORD: up to 32 ASCII letters and digits; empty keeps the password.
    longCount = Config_ReadValue(D_PCHAR_CONFIG_SECTION_DOWNLOAD, D_PCHAR_CONFIG_KEY_CRYPT_PASSWORD, charValue);
    if (longCount < 0) return -1;
    if (longCount == 0) {
        LOG_TRACEF("設定値無し(SECTION=%s, KEY=%s)", D_PCHAR_CONFIG_SECTION_DOWNLOAD, D_PCHAR_CONFIG_KEY_CRYPT_PASSWORD);
    } else {
        size_t sizeLength = strlen(charValue);
        if (Config_CheckPassword(charValue, sizeLength) != 0) return -1;
        memcpy(Config_Setting.charCryptPassword, charValue, sizeLength + 1);
        LOG_TRACEF("パスワード設定(%lu文字)", static_cast<unsigned long>(sizeLength));
    }

    // IPADDRESS_FOR_ACCEPT: "%d.%d.%d.%d" straight into the octets; empty keeps the address.
    longCount = Config_ReadValue(D_PCHAR_CONFIG_SECTION_SERVER, D_PCHAR_CONFIG_KEY_IPADDRESS, charValue);
    if (longCount < 0) return -1;
    if (longCount == 0) {
        LOG_TRACEF("設定値無し(SECTION=%s, KEY=%s)", D_PCHAR_CONFIG_SECTION_SERVER, D_PCHAR_CONFIG_KEY_IPADDRESS);
    } else {
        int intConverted = Config_ScanNumbers(charValue, '.', Config_Setting.longIpAddress, 4);
        if (intConverted <= 0 || !Config_AddressInRange(Config_Setting.longIpAddress)) {
            LOG_TRACEF("設定値が不正です(SECTION=%s, KEY=%s)", D_PCHAR_CONFIG_SECTION_SERVER, D_PCHAR_CONFIG_KEY_IPADDRESS);
            return -1;
        }
    }

    // PORT_NUMBER_FOR_ACCEPT: "%d", 0 to 65535; empty keeps the port.
    longCount = Config_ReadValue(D_PCHAR_CONFIG_SECTION_SERVER, D_PCHAR_CONFIG_KEY_PORT_NUMBER, charValue);
    if (longCount < 0) return -1;
    if (longCount == 0) {
        LOG_TRACEF("設定値無し(SECTION=%s, KEY=%s)", D_PCHAR_CONFIG_SECTION_SERVER, D_PCHAR_CONFIG_KEY_PORT_NUMBER);
    } else {
        int intConverted = Config_ScanNumbers(charValue, '.', &Config_Setting.longPortNumber, 1);
        if (intConverted <= 0 || !Config_PortInRange(Config_Setting.longPortNumber)) {
            LOG_TRACEF("設定値が不正です(SECTION=%s, KEY=%s)", D_PCHAR_CONFIG_SECTION_SERVER,
                       D_PCHAR_CONFIG_KEY_PORT_NUMBER);
            return -1;
        }
    }

    // SERVER_AUTO_START and ENABLE_ACCESSLOG: "%d", 0 or 1; empty fails.
    const struct {
        const char *pcharKey;
        long *plongField;
    } structSwitches[] = {{D_PCHAR_CONFIG_KEY_SERVER_AUTO_START, &Config_Setting.longServerAutoStart},
                          {D_PCHAR_CONFIG_KEY_ENABLE_ACCESSLOG, &Config_Setting.longEnableAccessLog}};
    for (const auto &structSwitch : structSwitches) {
        longCount = Config_ReadValue(D_PCHAR_CONFIG_SECTION_SERVER, structSwitch.pcharKey, charValue);
        if (longCount < 0) return -1;
        if (longCount == 0) {
            LOG_TRACE("GetPrivateProfileString 異常終了");
            return -1;
        }
        int intConverted = Config_ScanNumbers(charValue, '.', structSwitch.plongField, 1);
        if (intConverted <= 0 || (*structSwitch.plongField != 0 && *structSwitch.plongField != 1)) {
            LOG_TRACEF("設定値が不正です(SECTION=%s, KEY=%s)", D_PCHAR_CONFIG_SECTION_SERVER, structSwitch.pcharKey);
            return -1;
        }
    }
    return 0;
}

// Results of the save's preparation.
constexpr long D_LONG_CONFIG_SAVE_READY = 0;
constexpr long D_LONG_CONFIG_SAVE_INVALID = 1;
constexpr long D_LONG_CONFIG_SAVE_UNWRITABLE = 2;

// Checks the record against the loader's rules and writes it, with the lock held.
long Config_SaveSettingLocked(void) {
    // The folder list joined with TABs; the loader refuses 2047 characters or more, an item of more than
    // 259, and an item with a TAB or a line break would come back as other items.
    char charFolders[D_LONG_CONFIG_VALUE_BUFFER];
    size_t sizeJoined = 0;
    charFolders[0] = '\0';
    for (const Config_SharedFolder *pstructEntry = Config_Setting.pstructSharedFolderList; pstructEntry != nullptr;
         pstructEntry = pstructEntry->pstructNext) {
        const char *pcharPath = pstructEntry->pcharFolderPath != nullptr ? pstructEntry->pcharFolderPath : "";
        size_t sizePath = strlen(pcharPath);
        if (sizePath == 0 || sizePath >= static_cast<size_t>(D_LONG_CONFIG_FOLDERPATH_SIZE) ||
            strpbrk(pcharPath, "\t\r\n") != nullptr) {
            LOG_TRACEF("保存できない共有フォルダです(%lu文字)", static_cast<unsigned long>(sizePath));
            return D_LONG_CONFIG_SAVE_INVALID;
        }
        size_t sizeNeeded = sizeJoined + (sizeJoined > 0 ? 1 : 0) + sizePath;
        if (sizeNeeded >= static_cast<size_t>(D_LONG_CONFIG_VALUE_BUFFER - 1)) {
            LOG_TRACEF("共有フォルダの合計長オーバ(SECTION=%s, KEY=%s)", D_PCHAR_CONFIG_SECTION_DOWNLOAD,
                       D_PCHAR_CONFIG_KEY_SHARED_FOLDERS);
            return D_LONG_CONFIG_SAVE_INVALID;
        }
        if (sizeJoined > 0) charFolders[sizeJoined++] = D_CHAR_CONFIG_FOLDER_SEPARATOR;
        memcpy(charFolders + sizeJoined, pcharPath, sizePath);
        sizeJoined += sizePath;
        charFolders[sizeJoined] = '\0';
    }
    if (Config_CheckPassword(Config_Setting.charCryptPassword,
                             strnlen(Config_Setting.charCryptPassword, D_LONG_CONFIG_CRYPTPASSWORD_SIZE)) != 0) {
        return D_LONG_CONFIG_SAVE_INVALID;
    }
    if (!Config_AddressInRange(Config_Setting.longIpAddress) || !Config_PortInRange(Config_Setting.longPortNumber) ||
        (Config_Setting.longServerAutoStart != 0 && Config_Setting.longServerAutoStart != 1) ||
        (Config_Setting.longEnableAccessLog != 0 && Config_Setting.longEnableAccessLog != 1)) {
        LOG_TRACE("設定値が範囲外です(IPアドレス, ポート番号, スイッチ)");
        return D_LONG_CONFIG_SAVE_INVALID;
    }

    // Proves that the file can be written (and creates it when missing).
    FILE *pfileConfig = Platform_OpenFile(Config_Setting.charConfigFilePath, "a+");
    if (pfileConfig == nullptr) {
        LOG_TRACE("外部処理が異常終了しました( fopen )");
        return D_LONG_CONFIG_SAVE_UNWRITABLE;
    }
    fclose(pfileConfig);

    char charAddress[64];
    snprintf(charAddress, sizeof(charAddress), "%ld.%ld.%ld.%ld", Config_Setting.longIpAddress[0],
             Config_Setting.longIpAddress[1], Config_Setting.longIpAddress[2], Config_Setting.longIpAddress[3]);
    char charPort[16];
    snprintf(charPort, sizeof(charPort), "%ld", Config_Setting.longPortNumber);
    char charAutoStart[16];
    snprintf(charAutoStart, sizeof(charAutoStart), "%ld", Config_Setting.longServerAutoStart);
    char charAccessLog[16];
    snprintf(charAccessLog, sizeof(charAccessLog), "%ld", Config_Setting.longEnableAccessLog);
    const struct {
        const char *pcharSection;
        const char *pcharKey;
        const char *pcharValue;
    } structKeys[] = {
        {D_PCHAR_CONFIG_SECTION_DOWNLOAD, D_PCHAR_CONFIG_KEY_SHARED_FOLDERS, charFolders},
        {D_PCHAR_CONFIG_SECTION_DOWNLOAD, D_PCHAR_CONFIG_KEY_CRYPT_PASSWORD, Config_Setting.charCryptPassword},
        {D_PCHAR_CONFIG_SECTION_SERVER, D_PCHAR_CONFIG_KEY_IPADDRESS, charAddress},
        {D_PCHAR_CONFIG_SECTION_SERVER, D_PCHAR_CONFIG_KEY_PORT_NUMBER, charPort},
        {D_PCHAR_CONFIG_SECTION_SERVER, D_PCHAR_CONFIG_KEY_SERVER_AUTO_START, charAutoStart},
        {D_PCHAR_CONFIG_SECTION_SERVER, D_PCHAR_CONFIG_KEY_ENABLE_ACCESSLOG, charAccessLog},
    };
    long longResult = D_LONG_CONFIG_SAVE_READY;
    for (const auto &structKey : structKeys) {
        LOG_TRACE("WritePrivateProfileString 呼び出し");
        if (Platform_WritePrivateProfileString(structKey.pcharSection, structKey.pcharKey, structKey.pcharValue,
                                               Config_Setting.charConfigFilePath) != 0) {
            LOG_TRACEF("WritePrivateProfileString 異常終了(SECTION=%s, KEY=%s)", structKey.pcharSection,
                       structKey.pcharKey);
            longResult = D_LONG_CONFIG_SAVE_UNWRITABLE;
        }
    }
    return longResult;
}

}  // namespace

int Config_Initialize(void) {
    LOG_ENTER();
    if (Config_ComposeFilePath(D_PCHAR_CONFIG_FILE_NAME, Config_Setting.charConfigFilePath,
                               sizeof(Config_Setting.charConfigFilePath)) != 0 ||
        Config_ComposeFilePath(D_PCHAR_CONFIG_HELP_FILE_NAME, Config_Setting.charHelpFilePath,
                               sizeof(Config_Setting.charHelpFilePath)) != 0) {
        LOG_LEAVE_NG();
        return -1;
    }
    LOG_TRACEF("設定ファイル: %s", Config_Setting.charConfigFilePath);

    if (Platform_FindFile(Config_Setting.charConfigFilePath) != 0) {
        LOG_TRACE("設定ファイル無し");
        Config_ShowMessage(D_UINT_CONFIG_STRINGID_NOTFOUND_CAPTION, D_UINT_CONFIG_STRINGID_NOTFOUND_TEXT,
                           D_LONG_PLATFORM_NOTICE_INFORMATION);
        LOG_TRACE("Config_Create_DefaultIniFile 呼び出し");
        if (Config_Create_DefaultIniFile() != 0) {
            LOG_TRACE("Config_Create_DefaultIniFile 異常終了");
            LOG_LEAVE_NG();
            return -1;
        }
    }

    LOG_TRACE("Config_LoadSetting 呼び出し");
    if (Config_LoadSetting() != 0) {
        LOG_TRACE("Config_LoadSetting 異常終了");
        Config_ShowMessage(D_UINT_CONFIG_STRINGID_LOADERROR_CAPTION, D_UINT_CONFIG_STRINGID_LOADERROR_TEXT,
                           D_LONG_PLATFORM_NOTICE_INFORMATION);
        LOG_LEAVE_NG();
        return -1;
    }
    LOG_LEAVE_OK();
    return 0;
}

int Config_Finalize(void) {
    LOG_ENTER();
    Config_SharedFolder *pstructList = nullptr;
    {
        std::lock_guard<std::mutex> lockSetting(mutexConfigSetting);
        pstructList = Config_Setting.pstructSharedFolderList;
        Config_Setting.pstructSharedFolderList = nullptr;
    }
    Config_ReleaseSharedFolderList(&pstructList);
    LOG_LEAVE_OK();
    return 0;
}

int Config_Create_DefaultIniFile(void) {
    LOG_ENTER();
    // Binary mode with CR LF written out, so that the file is the same on every platform.
    FILE *pfileConfig = Platform_OpenFile(Config_Setting.charConfigFilePath, "wb");
    if (pfileConfig == nullptr) {
        char charError[D_LONG_CONFIG_MESSAGE_SIZE];
        Platform_GetErrorText(Platform_GetLastError(), charError, sizeof(charError));
        LOG_TRACEF("fopen 異常終了(FormatMessage=%s)", charError);
        LOG_LEAVE_NG();
        return -1;
    }
    bool boolFailed = false;
    for (const char *pcharLine : D_PCHAR_CONFIG_DEFAULT_LINES) {
        if (fputs(pcharLine, pfileConfig) < 0 || fputs("\r\n", pfileConfig) < 0) boolFailed = true;
    }
    if (fflush(pfileConfig) != 0) boolFailed = true;
    if (fclose(pfileConfig) != 0) boolFailed = true;
    if (boolFailed) {
        LOG_TRACE("デフォルト設定ファイルの書き込み異常");
        LOG_LEAVE_NG();
        return -1;
    }
    LOG_LEAVE_OK();
    return 0;
}

int Config_LoadSetting(void) {
    LOG_ENTER();
    int intResult;
    {
        std::lock_guard<std::mutex> lockSetting(mutexConfigSetting);
        intResult = Config_LoadSettingLocked();
    }
    if (intResult != 0) {
        LOG_LEAVE_NG();
        return -1;
    }
    LOG_TRACE("Log_SetAccessLogEnabled 呼び出し");
    Log_SetAccessLogEnabled(Config_Setting.longEnableAccessLog);
    LOG_LEAVE_OK();
    return 0;
}

int Config_SaveSetting(void) {
    LOG_ENTER();
    long longResult;
    {
        std::lock_guard<std::mutex> lockSetting(mutexConfigSetting);
        longResult = Config_SaveSettingLocked();
    }
    // The box is shown without the lock, so that the server thread is not held up while it is open.
    if (longResult != D_LONG_CONFIG_SAVE_READY) {
        Config_ShowMessage(D_UINT_CONFIG_STRINGID_SAVEERROR_CAPTION,
                           longResult == D_LONG_CONFIG_SAVE_INVALID ? D_UINT_CONFIG_STRINGID_SAVEINVALID_TEXT
                                                                     : D_UINT_CONFIG_STRINGID_SAVEERROR_TEXT,
                           D_LONG_PLATFORM_NOTICE_ERROR);
        LOG_LEAVE_NG();
        return -1;
    }
    LOG_LEAVE_OK();
    return 0;
}

int Config_DeleteSettingFiles(void) {
    LOG_ENTER();
    char charConfigFilePath[D_LONG_CONFIG_CONFIGFILEPATH_SIZE];
    if (Config_ComposeFilePath(D_PCHAR_CONFIG_FILE_NAME, charConfigFilePath, sizeof(charConfigFilePath)) != 0) {
        LOG_LEAVE_NG();
        return -1;
    }
    LOG_TRACE("DeleteFile 呼び出し");
    Platform_DeleteFile(charConfigFilePath);
    Config_ShowMessage(D_UINT_CONFIG_STRINGID_DELETED_CAPTION, D_UINT_CONFIG_STRINGID_DELETED_TEXT,
                       D_LONG_PLATFORM_NOTICE_INFORMATION);
    LOG_LEAVE_OK();
    return 0;
}

void Config_LockSetting(void) { mutexConfigSetting.lock(); }

void Config_UnlockSetting(void) { mutexConfigSetting.unlock(); }

int Config_CopyCryptPassword(char *pcharPassword, size_t sizePassword) {
    if (pcharPassword == nullptr || sizePassword == 0) return -1;
    std::lock_guard<std::mutex> lockSetting(mutexConfigSetting);
    size_t sizeLength = strnlen(Config_Setting.charCryptPassword, D_LONG_CONFIG_CRYPTPASSWORD_SIZE - 1);
    if (sizeLength + 1 > sizePassword) {
        pcharPassword[0] = '\0';
        return -1;
    }
    memcpy(pcharPassword, Config_Setting.charCryptPassword, sizeLength);
    pcharPassword[sizeLength] = '\0';
    return 0;
}

int Config_SetCryptPassword(const char *pcharPassword) {
    if (pcharPassword == nullptr) return -1;
    size_t sizeLength = strlen(pcharPassword);
    if (sizeLength > D_SIZE_CONFIG_PASSWORD_MAX) return -1;
    std::lock_guard<std::mutex> lockSetting(mutexConfigSetting);
    memcpy(Config_Setting.charCryptPassword, pcharPassword, sizeLength + 1);
    return 0;
}

int Config_CopySharedFolderList(Config_SharedFolder **ppstructList) {
    *ppstructList = nullptr;
    std::lock_guard<std::mutex> lockSetting(mutexConfigSetting);
    for (const Config_SharedFolder *pstructEntry = Config_Setting.pstructSharedFolderList; pstructEntry != nullptr;
         pstructEntry = pstructEntry->pstructNext) {
        if (Config_AppendSharedFolder(ppstructList, pstructEntry->pcharFolderPath) != 0) {
            Config_ReleaseSharedFolderList(ppstructList);
            return -1;
        }
    }
    return 0;
}

int Config_ReleaseSharedFolderList(Config_SharedFolder **ppstructList) {
    Config_SharedFolder *pstructEntry = *ppstructList;
    while (pstructEntry != nullptr) {
        Config_SharedFolder *pstructNext = pstructEntry->pstructNext;
        free(pstructEntry->pcharFolderPath);
        free(pstructEntry);
        pstructEntry = pstructNext;
    }
    *ppstructList = nullptr;
    return 0;
}

int Config_AppendSharedFolder(Config_SharedFolder **ppstructList, const char *pcharFolderPath) {
    const char *pcharPath = pcharFolderPath != nullptr ? pcharFolderPath : "";
    size_t sizeLength = strlen(pcharPath);
    Config_SharedFolder *pstructEntry = static_cast<Config_SharedFolder *>(calloc(1, sizeof(Config_SharedFolder)));
    if (pstructEntry == nullptr) {
        LOG_TRACE("calloc 異常終了");
        return -1;
    }
    pstructEntry->pcharFolderPath = static_cast<char *>(calloc(sizeLength + 1, 1));
    if (pstructEntry->pcharFolderPath == nullptr) {
        LOG_TRACE("calloc 異常終了");
        free(pstructEntry);
        return -1;
    }
    memcpy(pstructEntry->pcharFolderPath, pcharPath, sizeLength);
    Config_SharedFolder **ppstructTail = ppstructList;
    while (*ppstructTail != nullptr) ppstructTail = &(*ppstructTail)->pstructNext;
    *ppstructTail = pstructEntry;
    return 0;
}

int Config_ReplaceSharedFolderList(Config_SharedFolder *pstructList) {
    Config_SharedFolder *pstructOld = nullptr;
    {
        std::lock_guard<std::mutex> lockSetting(mutexConfigSetting);
        pstructOld = Config_Setting.pstructSharedFolderList;
        Config_Setting.pstructSharedFolderList = pstructList;
    }
    Config_ReleaseSharedFolderList(&pstructOld);
    return 0;
}
