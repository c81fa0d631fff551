// The settings: one process-wide record with the values of config.ini beside the executable, and the
// operations that create, load, save and delete that file.
//
// Threads: the main thread writes the record (load, save, the settings dialog); the server thread reads
// only the password and the shared-folder list, and only through Config_CopyCryptPassword and
// Config_CopySharedFolderList, which copy under the record's lock. Whoever replaces the password or the
// list while the server may run does it under the same lock (Config_SetCryptPassword,
// Config_ReplaceSharedFolderList, or Config_LockSetting / Config_UnlockSetting around its own change).
#pragma once

#include <cstddef>

// Buffer sizes of the record's texts, terminating NUL included.
constexpr long D_LONG_CONFIG_HELPFILEPATH_SIZE = 775;
constexpr long D_LONG_CONFIG_CONFIGFILEPATH_SIZE = 516;
constexpr long D_LONG_CONFIG_CRYPTPASSWORD_SIZE = 33;
// One shared folder's path, terminating NUL included: an item of at most 259 characters.
constexpr long D_LONG_CONFIG_FOLDERPATH_SIZE = 260;
// The buffer of one key's value; a value that fills it (2047 characters) did not fit.
constexpr long D_LONG_CONFIG_VALUE_BUFFER = 2048;

// String-table texts of the settings' message boxes.
constexpr unsigned int D_UINT_CONFIG_STRINGID_NOTFOUND_CAPTION = 104;
constexpr unsigned int D_UINT_CONFIG_STRINGID_NOTFOUND_TEXT = 105;
constexpr unsigned int D_UINT_CONFIG_STRINGID_LOADERROR_CAPTION = 106;
constexpr unsigned int D_UINT_CONFIG_STRINGID_LOADERROR_TEXT = 107;
constexpr unsigned int D_UINT_CONFIG_STRINGID_DELETED_CAPTION = 108;
constexpr unsigned int D_UINT_CONFIG_STRINGID_DELETED_TEXT = 109;
constexpr unsigned int D_UINT_CONFIG_STRINGID_SAVEERROR_CAPTION = 132;
constexpr unsigned int D_UINT_CONFIG_STRINGID_SAVEERROR_TEXT = 133;
constexpr unsigned int D_UINT_CONFIG_STRINGID_SAVEINVALID_TEXT = 134;

// One published folder: an entry of a singly linked list.
struct Config_SharedFolder {
    char *pcharFolderPath;            // heap text of exactly its length + 1 bytes
    Config_SharedFolder *pstructNext; // nullptr at the end
};

struct Config_SettingRecord {
    char charHelpFilePath[D_LONG_CONFIG_HELPFILEPATH_SIZE];
    char charConfigFilePath[D_LONG_CONFIG_CONFIGFILEPATH_SIZE];
    char charCryptPassword[D_LONG_CONFIG_CRYPTPASSWORD_SIZE];
    long longIpAddress[4];  // octets in dotted order
    long longPortNumber;
    long longServerAutoStart;
    long longEnableAccessLog;
    Config_SharedFolder *pstructSharedFolderList;  // nullptr for an empty list
};

// The one settings record; all zero until Config_Initialize fills it.
extern Config_SettingRecord Config_Setting;

// Finds or creates config.ini beside the executable and loads it; tells the user when it creates the
// file or cannot load it. 0, or -1 (the program does not start).
int Config_Initialize(void);
// Releases the shared-folder list. Always 0.
int Config_Finalize(void);
// Writes the commented default config.ini (23 lines, CR LF). 0 or -1.
int Config_Create_DefaultIniFile(void);
// Reads config.ini into the record, key by key; stops at the first key that fails. 0 or -1.
int Config_LoadSetting(void);
// Writes the record's values into config.ini. Refuses (error box, nothing written) values that the
// loader would refuse. 0 or -1.
int Config_SaveSetting(void);
// Deletes config.ini beside the executable and tells the user; works without Config_Initialize. 0 or -1.
int Config_DeleteSettingFiles(void);

// The record's lock, for a change of the password or the list made outside this module.
void Config_LockSetting(void);
void Config_UnlockSetting(void);

// Copies the password under the lock. 0, or -1 when it does not fit sizePassword (then "" is given).
int Config_CopyCryptPassword(char *pcharPassword, size_t sizePassword);
// Sets the password under the lock. 0, or -1 (unchanged) when it is longer than 32 characters.
int Config_SetCryptPassword(const char *pcharPassword);

// Copies the shared-folder list under the lock; the caller owns the copy and releases it with
// Config_ReleaseSharedFolderList. 0, or -1 (with *ppstructList nullptr) when memory runs out.
int Config_CopySharedFolderList(Config_SharedFolder **ppstructList);
// Releases a list (paths, then entries) and sets *ppstructList to nullptr. Always 0.
int Config_ReleaseSharedFolderList(Config_SharedFolder **ppstructList);
// Appends a copy of the path as a new entry at the tail of *ppstructList (a list of the caller's).
// 0, or -1 when memory runs out (the list is unchanged).
int Config_AppendSharedFolder(Config_SharedFolder **ppstructList, const char *pcharFolderPath);
// Replaces the record's list by the given one under the lock, taking its ownership, and releases the
// old one. Always 0.
int Config_ReplaceSharedFolderList(Config_SharedFolder *pstructList);
