// The settings sheet: server settings, file-transfer settings and version information. The pages write
// into the settings record when the sheet applies; the record is saved when the sheet closes.
#include "config/config_sheet_win32.h"

#include <windows.h>
#include <commctrl.h>
#include <richedit.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>

#include "app/winmain_win32.h"
#include "config/config.h"
#include "log/log.h"
#include "mainwindow/mainwindow_win32.h"
#include "platform/platform.h"

namespace {

// Dialog templates and controls.
constexpr WORD D_WORD_CONFIG_DIALOGID_SERVER = 108;
constexpr WORD D_WORD_CONFIG_DIALOGID_TRANSFER = 107;
constexpr WORD D_WORD_CONFIG_DIALOGID_VERSION = 109;
constexpr WORD D_WORD_CONFIG_ICONID_APPLICATION = 101;
constexpr int D_INT_CONFIG_CONTROLID_PORT = 1002;
constexpr int D_INT_CONFIG_CONTROLID_AUTOSTART = 1021;
constexpr int D_INT_CONFIG_CONTROLID_ACCESSLOG = 1022;
constexpr int D_INT_CONFIG_CONTROLID_IPADDRESS = 1023;
constexpr int D_INT_CONFIG_CONTROLID_FOLDER_ADD = 1019;
constexpr int D_INT_CONFIG_CONTROLID_FOLDER_DELETE = 1020;
constexpr int D_INT_CONFIG_CONTROLID_FOLDER_LIST = 1025;
constexpr int D_INT_CONFIG_CONTROLID_PASSWORD = 1026;
constexpr int D_INT_CONFIG_CONTROLID_TERMS = 1016;
constexpr int D_INT_CONFIG_CONTROLID_SITE = 1027;
constexpr int D_INT_CONFIG_CONTROLID_MAIL = 1028;

// String-table texts of the sheet's message boxes.
constexpr UINT D_UINT_CONFIG_STRINGID_NOSELECTION_CAPTION = 114;
constexpr UINT D_UINT_CONFIG_STRINGID_NOSELECTION_TEXT = 115;
constexpr UINT D_UINT_CONFIG_STRINGID_DELETE_CAPTION = 116;
constexpr UINT D_UINT_CONFIG_STRINGID_DELETE_TEXT = 117;
constexpr UINT D_UINT_CONFIG_STRINGID_PASSWORDLENGTH_CAPTION = 118;
constexpr UINT D_UINT_CONFIG_STRINGID_PASSWORDLENGTH_TEXT = 119;
constexpr UINT D_UINT_CONFIG_STRINGID_PASSWORDCHAR_CAPTION = 120;
constexpr UINT D_UINT_CONFIG_STRINGID_PASSWORDCHAR_TEXT = 121;
constexpr UINT D_UINT_CONFIG_STRINGID_FOLDERLIST_CAPTION = 140;
constexpr UINT D_UINT_CONFIG_STRINGID_FOLDERLIST_TEXT = 141;

constexpr long D_LONG_CONFIG_PORT_DIGITS = 5;
constexpr long D_LONG_CONFIG_PORT_MAXIMUM = 65535;
constexpr long D_LONG_CONFIG_PASSWORD_MAXIMUM = 32;
// The loader refuses an address whose fourth byte is this.
constexpr long D_LONG_CONFIG_IPADDRESS_BROADCAST = 255;
constexpr UINT D_UINT_CONFIG_MESSAGEBOX_FLAGS = MB_TOPMOST | MB_SETFOREGROUND | MB_SYSTEMMODAL;
constexpr size_t D_SIZE_CONFIG_STRING = 256;

constexpr const char *D_PCHAR_CONFIG_SITE_ADDRESS = "https://www.example.com/";
constexpr const char *D_PCHAR_CONFIG_MAIL_ADDRESS = "mailto:support@example.com";

// The terms of use, appended in this order to the version page's text box.
const char *const pcharConfigTermsOfUse[] = {
    "・本アプリケーションの使用によって生じたいかなる損害についても、作者は一切の責任を負いません。"
    "ご利用は利用者ご自身の責任でお願いします。\n",
    "・本アプリケーションのリバースエンジニアリング（機械語コードの解析を含みます）を禁止します。\n",
    "・本アプリケーションを再配布される場合は、作者までご連絡ください。\n",
    "・作者は必要と判断した場合、予告なくいつでも本規約を変更し、または新たな条項を追加することがあります。\n",
    "\n",
};

void Config_TraceFailure(const char *pcharFunction, long longLine, const char *pcharFormat) {
    char charSystem[512];
    Platform_GetErrorText(GetLastError(), charSystem, sizeof(charSystem));
    Log_OutputTraceLogFormat(pcharFunction, longLine, pcharFormat, charSystem);
}

int Config_ShowMessage(HWND hwndOwner, UINT uintCaption, UINT uintText, UINT uintType) {
    char charCaption[D_SIZE_CONFIG_STRING];
    char charText[D_SIZE_CONFIG_STRING];
    LoadStringA(hinstanceApplication, uintCaption, charCaption, sizeof(charCaption));
    LoadStringA(hinstanceApplication, uintText, charText, sizeof(charText));
    return MessageBoxA(hwndOwner, charText, charCaption, uintType | D_UINT_CONFIG_MESSAGEBOX_FLAGS);
}

void Config_ReportChange(HWND hwndPage) {
    SendMessageA(GetParent(hwndPage), PSM_CHANGED, reinterpret_cast<WPARAM>(hwndPage), 0);
}

// Answers an apply notification: PSNRET_NOERROR accepts, PSNRET_INVALID_NOCHANGEPAGE refuses.
INT_PTR Config_AnswerApply(HWND hwndPage, LONG_PTR longptrAnswer) {
    SetWindowLongPtrA(hwndPage, DWLP_MSGRESULT, longptrAnswer);
    return TRUE;
}

// The port box as a number: at most five characters converted with "%d", 0 when nothing converts.
long Config_ReadPortBox(HWND hwndPage) {
    char charPort[D_LONG_CONFIG_PORT_DIGITS + 1];
    GetDlgItemTextA(hwndPage, D_INT_CONFIG_CONTROLID_PORT, charPort, sizeof(charPort));
    int intPort = 0;
    if (sscanf(charPort, "%d", &intPort) != 1) intPort = 0;
    return intPort;
}

long Config_ReadCheckBox(HWND hwndPage, int intControl) {
    return SendDlgItemMessageA(hwndPage, intControl, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
}

DWORD Config_ReadAddress(HWND hwndPage) {
    DWORD dwordAddress = 0;
    SendDlgItemMessageA(hwndPage, D_INT_CONFIG_CONTROLID_IPADDRESS, IPM_GETADDRESS, 0,
                        reinterpret_cast<LPARAM>(&dwordAddress));
    return dwordAddress;
}

long Config_AddressByte(DWORD dwordAddress, int intIndex) {
    switch (intIndex) {
    case 0: return FIRST_IPADDRESS(dwordAddress);
    case 1: return SECOND_IPADDRESS(dwordAddress);
    case 2: return THIRD_IPADDRESS(dwordAddress);
    default: return FOURTH_IPADDRESS(dwordAddress);
    }
}

INT_PTR Config_ApplyServerPage(HWND hwndPage) {
    DWORD dwordAddress = Config_ReadAddress(hwndPage);
    if (Config_AddressByte(dwordAddress, 3) == D_LONG_CONFIG_IPADDRESS_BROADCAST) {
        // The loader would refuse it at the next start: nothing of this page is stored.
        LOG_TRACE("設定値が不正です(IPアドレス)");
        return Config_AnswerApply(hwndPage, PSNRET_INVALID_NOCHANGEPAGE);
    }
    for (int intIndex = 0; intIndex < 4; ++intIndex) {
        Config_Setting.longIpAddress[intIndex] = Config_AddressByte(dwordAddress, intIndex);
    }
    long longPort = Config_ReadPortBox(hwndPage);
    if (GetWindowTextLengthA(GetDlgItem(hwndPage, D_INT_CONFIG_CONTROLID_PORT)) > D_LONG_CONFIG_PORT_DIGITS ||
        static_cast<unsigned long>(longPort) > static_cast<unsigned long>(D_LONG_CONFIG_PORT_MAXIMUM)) {
        LOG_TRACE("設定値が不正です(ポート番号)");
        return Config_AnswerApply(hwndPage, PSNRET_INVALID_NOCHANGEPAGE);
    }
    Config_Setting.longPortNumber = longPort;
    Config_Setting.longServerAutoStart = Config_ReadCheckBox(hwndPage, D_INT_CONFIG_CONTROLID_AUTOSTART);
    Config_Setting.longEnableAccessLog = Config_ReadCheckBox(hwndPage, D_INT_CONFIG_CONTROLID_ACCESSLOG);
    return Config_AnswerApply(hwndPage, PSNRET_NOERROR);
}

// Puts the stored password back into the password box.
void Config_RestorePassword(HWND hwndPage) {
    SetDlgItemTextA(hwndPage, D_INT_CONFIG_CONTROLID_PASSWORD, Config_Setting.charCryptPassword);
}

bool Config_IsPasswordCharacter(unsigned char ucharByte) {
    return (ucharByte >= '0' && ucharByte <= '9') || (ucharByte >= 'a' && ucharByte <= 'z') ||
           (ucharByte >= 'A' && ucharByte <= 'Z');
}

void Config_CheckPasswordBox(HWND hwndPage) {
    HWND hwndPassword = GetDlgItem(hwndPage, D_INT_CONFIG_CONTROLID_PASSWORD);
    if (GetWindowTextLengthA(hwndPassword) > D_LONG_CONFIG_PASSWORD_MAXIMUM) {
        char charCaption[D_SIZE_CONFIG_STRING];
        char charFormat[D_SIZE_CONFIG_STRING];
        char charText[D_SIZE_CONFIG_STRING];
        LoadStringA(hinstanceApplication, D_UINT_CONFIG_STRINGID_PASSWORDLENGTH_CAPTION, charCaption,
                    sizeof(charCaption));
        LoadStringA(hinstanceApplication, D_UINT_CONFIG_STRINGID_PASSWORDLENGTH_TEXT, charFormat, sizeof(charFormat));
        snprintf(charText, sizeof(charText), charFormat, static_cast<int>(D_LONG_CONFIG_PASSWORD_MAXIMUM));
        MessageBoxA(nullptr, charText, charCaption, MB_ICONERROR | MB_OK | D_UINT_CONFIG_MESSAGEBOX_FLAGS);
        Config_RestorePassword(hwndPage);
    }
    char charPassword[D_LONG_CONFIG_PASSWORD_MAXIMUM + 1];
    GetWindowTextA(hwndPassword, charPassword, sizeof(charPassword));
    for (size_t sizeIndex = 0; charPassword[sizeIndex] != '\0'; ++sizeIndex) {
        if (Config_IsPasswordCharacter(static_cast<unsigned char>(charPassword[sizeIndex]))) continue;
        Config_ShowMessage(nullptr, D_UINT_CONFIG_STRINGID_PASSWORDCHAR_CAPTION, D_UINT_CONFIG_STRINGID_PASSWORDCHAR_TEXT,
                           MB_ICONERROR | MB_OK);
        Config_RestorePassword(hwndPage);
    }
    Config_ReportChange(hwndPage);
}

void Config_AddFolder(HWND hwndPage) {
    IMalloc *pimalloc = nullptr;
    if (SHGetMalloc(&pimalloc) != S_OK || pimalloc == nullptr) {
        LOG_TRACE("SHGetMalloc 異常終了");
        return;
    }
    BROWSEINFOA structBrowse;
    memset(&structBrowse, 0, sizeof(structBrowse));
    structBrowse.hwndOwner = nullptr;
    structBrowse.pidlRoot = nullptr;
    structBrowse.lpszTitle = "フォルダを選択してください";
    structBrowse.ulFlags = BIF_RETURNONLYFSDIRS;
    LPITEMIDLIST pitemidlistChosen = SHBrowseForFolderA(&structBrowse);
    if (pitemidlistChosen != nullptr) {
        char charPath[MAX_PATH];
        charPath[0] = '\0';
        SHGetPathFromIDListA(pitemidlistChosen, charPath);
        pimalloc->Free(pitemidlistChosen);
        SendDlgItemMessageA(hwndPage, D_INT_CONFIG_CONTROLID_FOLDER_LIST, LB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(charPath));
        Config_ReportChange(hwndPage);
    }
    pimalloc->Release();
}

void Config_DeleteFolder(HWND hwndPage) {
    LRESULT lresultSelected = SendDlgItemMessageA(hwndPage, D_INT_CONFIG_CONTROLID_FOLDER_LIST, LB_GETCURSEL, 0, 0);
    if (lresultSelected == LB_ERR) {
        Config_ShowMessage(hwndPage, D_UINT_CONFIG_STRINGID_NOSELECTION_CAPTION, D_UINT_CONFIG_STRINGID_NOSELECTION_TEXT,
                           MB_ICONERROR | MB_OK);
        return;
    }
    if (Config_ShowMessage(hwndPage, D_UINT_CONFIG_STRINGID_DELETE_CAPTION, D_UINT_CONFIG_STRINGID_DELETE_TEXT,
                           MB_ICONQUESTION | MB_YESNO) != IDYES) {
        return;
    }
    SendDlgItemMessageA(hwndPage, D_INT_CONFIG_CONTROLID_FOLDER_LIST, LB_DELETESTRING,
                        static_cast<WPARAM>(lresultSelected), 0);
    Config_ReportChange(hwndPage);
}

// 0 when the list box's items, joined with TABs, are a SHARED_FOLDERS value that the loader takes back
// (every item shorter than a folder field, the whole shorter than a value buffer's 2047 characters).
int Config_CheckFolderList(HWND hwndList, LRESULT lresultCount) {
    size_t sizeJoined = 0;
    for (LRESULT lresultIndex = 0; lresultIndex < lresultCount; ++lresultIndex) {
        LRESULT lresultLength = SendMessageA(hwndList, LB_GETTEXTLEN, static_cast<WPARAM>(lresultIndex), 0);
        if (lresultLength == LB_ERR || lresultLength >= D_LONG_CONFIG_FOLDERPATH_SIZE) return -1;
        sizeJoined += static_cast<size_t>(lresultLength) + (lresultIndex > 0 ? 1 : 0);
    }
    return sizeJoined < static_cast<size_t>(D_LONG_CONFIG_VALUE_BUFFER - 1) ? 0 : -1;
}

INT_PTR Config_ApplyTransferPage(HWND hwndPage) {
    HWND hwndList = GetDlgItem(hwndPage, D_INT_CONFIG_CONTROLID_FOLDER_LIST);
    LRESULT lresultCount = SendMessageA(hwndList, LB_GETCOUNT, 0, 0);
    if (lresultCount == LB_ERR) lresultCount = 0;
    if (Config_CheckFolderList(hwndList, lresultCount) != 0) {
        LOG_TRACE("設定値が不正です(公開フォルダ)");
        Config_ShowMessage(hwndPage, D_UINT_CONFIG_STRINGID_FOLDERLIST_CAPTION, D_UINT_CONFIG_STRINGID_FOLDERLIST_TEXT,
                           MB_ICONERROR | MB_OK);
        return Config_AnswerApply(hwndPage, PSNRET_INVALID_NOCHANGEPAGE);
    }
    // The new list is built aside and then put in place under the record's lock, so that the server
    // thread never sees it half built; when memory runs out, the record keeps its list and password.
    Config_SharedFolder *pstructList = nullptr;
    for (LRESULT lresultIndex = 0; lresultIndex < lresultCount; ++lresultIndex) {
        char charPath[D_LONG_CONFIG_FOLDERPATH_SIZE];
        charPath[0] = '\0';
        SendMessageA(hwndList, LB_GETTEXT, static_cast<WPARAM>(lresultIndex), reinterpret_cast<LPARAM>(charPath));
        if (Config_AppendSharedFolder(&pstructList, charPath) != 0) {
            LOG_TRACE("calloc 異常終了");
            Config_ReleaseSharedFolderList(&pstructList);
            return Config_AnswerApply(hwndPage, PSNRET_NOERROR);
        }
    }
    Config_ReplaceSharedFolderList(pstructList);
    char charPassword[D_LONG_CONFIG_PASSWORD_MAXIMUM + 1];
    GetDlgItemTextA(hwndPage, D_INT_CONFIG_CONTROLID_PASSWORD, charPassword, sizeof(charPassword));
    Config_SetCryptPassword(charPassword);
    return Config_AnswerApply(hwndPage, PSNRET_NOERROR);
}

bool Config_IsApply(LPARAM lparam) { return reinterpret_cast<NMHDR *>(lparam)->code == static_cast<UINT>(PSN_APPLY); }

}  // namespace

INT_PTR CALLBACK Config_DialogProcConfigWindowPropertySheet1(HWND hwndPage, UINT uintMessage, WPARAM wparam,
                                                             LPARAM lparam) {
    switch (uintMessage) {
    case WM_INITDIALOG: {
        LOG_ENTER();
        LOG_TRACE("WM_INITDIALOG");
        const long *plongAddress = Config_Setting.longIpAddress;
        SendDlgItemMessageA(hwndPage, D_INT_CONFIG_CONTROLID_IPADDRESS, IPM_SETADDRESS, 0,
                            MAKEIPADDRESS(plongAddress[0] & 0xFF, plongAddress[1] & 0xFF, plongAddress[2] & 0xFF,
                                          plongAddress[3] & 0xFF));
        char charPort[16];
        snprintf(charPort, sizeof(charPort), "%d", static_cast<int>(Config_Setting.longPortNumber));
        SetDlgItemTextA(hwndPage, D_INT_CONFIG_CONTROLID_PORT, charPort);
        CheckDlgButton(hwndPage, D_INT_CONFIG_CONTROLID_AUTOSTART,
                       Config_Setting.longServerAutoStart != 0 ? BST_CHECKED : BST_UNCHECKED);
        CheckDlgButton(hwndPage, D_INT_CONFIG_CONTROLID_ACCESSLOG,
                       Config_Setting.longEnableAccessLog != 0 ? BST_CHECKED : BST_UNCHECKED);
        LOG_LEAVE_OK();
        return FALSE;
    }
    case WM_COMMAND: {
        LOG_ENTER();
        LOG_TRACE("WM_COMMAND");
        bool boolChanged = false;
        switch (LOWORD(wparam)) {
        case D_INT_CONFIG_CONTROLID_PORT:
            boolChanged = Config_ReadPortBox(hwndPage) != Config_Setting.longPortNumber;
            break;
        case D_INT_CONFIG_CONTROLID_AUTOSTART:
            boolChanged = Config_ReadCheckBox(hwndPage, D_INT_CONFIG_CONTROLID_AUTOSTART) != Config_Setting.longServerAutoStart;
            break;
        case D_INT_CONFIG_CONTROLID_ACCESSLOG:
            boolChanged = Config_ReadCheckBox(hwndPage, D_INT_CONFIG_CONTROLID_ACCESSLOG) != Config_Setting.longEnableAccessLog;
            break;
        case D_INT_CONFIG_CONTROLID_IPADDRESS: {
            DWORD dwordAddress = Config_ReadAddress(hwndPage);
            for (int intIndex = 0; intIndex < 4; ++intIndex) {
                if (Config_AddressByte(dwordAddress, intIndex) != Config_Setting.longIpAddress[intIndex]) boolChanged = true;
            }
            break;
        }
        default:
            break;
        }
        if (boolChanged) Config_ReportChange(hwndPage);
        LOG_LEAVE_OK();
        return FALSE;
    }
    case WM_NOTIFY:
        if (Config_IsApply(lparam)) {
            LOG_ENTER();
            LOG_TRACE("WM_NOTIFY( PSN_APPLY )");
            INT_PTR intptrResult = Config_ApplyServerPage(hwndPage);
            LOG_LEAVE_OK();
            return intptrResult;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK Config_DialogProcConfigWindowPropertySheet2(HWND hwndPage, UINT uintMessage, WPARAM wparam,
                                                             LPARAM lparam) {
    switch (uintMessage) {
    case WM_INITDIALOG:
        LOG_ENTER();
        LOG_TRACE("WM_INITDIALOG");
        for (const Config_SharedFolder *pstructFolder = Config_Setting.pstructSharedFolderList;
             pstructFolder != nullptr; pstructFolder = pstructFolder->pstructNext) {
            SendDlgItemMessageA(hwndPage, D_INT_CONFIG_CONTROLID_FOLDER_LIST, LB_ADDSTRING, 0,
                                reinterpret_cast<LPARAM>(pstructFolder->pcharFolderPath));
        }
        Config_RestorePassword(hwndPage);
        LOG_LEAVE_OK();
        return FALSE;
    case WM_COMMAND:
        LOG_ENTER();
        LOG_TRACE("WM_COMMAND");
        switch (LOWORD(wparam)) {
        case D_INT_CONFIG_CONTROLID_FOLDER_ADD:
            Config_AddFolder(hwndPage);
            break;
        case D_INT_CONFIG_CONTROLID_FOLDER_DELETE:
            Config_DeleteFolder(hwndPage);
            break;
        case D_INT_CONFIG_CONTROLID_PASSWORD:
            if (HIWORD(wparam) == EN_UPDATE) Config_CheckPasswordBox(hwndPage);
            break;
        default:
            break;
        }
        LOG_LEAVE_OK();
        return FALSE;
    case WM_NOTIFY:
        if (Config_IsApply(lparam)) {
            LOG_ENTER();
            LOG_TRACE("WM_NOTIFY( PSN_APPLY )");
            INT_PTR intptrResult = Config_ApplyTransferPage(hwndPage);
            LOG_LEAVE_OK();
            return intptrResult;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK Config_DialogProcConfigWindowPropertySheet3(HWND hwndPage, UINT uintMessage, WPARAM wparam,
                                                             LPARAM lparam) {
    (void)wparam;
    switch (uintMessage) {
    case WM_INITDIALOG: {
        LOG_ENTER();
        LOG_TRACE("WM_INITDIALOG");
        HWND hwndTerms = GetDlgItem(hwndPage, D_INT_CONFIG_CONTROLID_TERMS);
        for (const char *pcharLine : pcharConfigTermsOfUse) {
            int intLength = GetWindowTextLengthA(hwndTerms);
            SetFocus(hwndTerms);
            SendMessageA(hwndTerms, EM_SETSEL, static_cast<WPARAM>(intLength), intLength);
            SendMessageA(hwndTerms, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(pcharLine));
        }
        PostMessageA(hwndTerms, EM_SETSEL, 0, 0);
        LOG_LEAVE_OK();
        return FALSE;
    }
    case WM_COMMAND:
        LOG_ENTER();
        LOG_TRACE("WM_COMMAND");
        LOG_LEAVE_OK();
        return FALSE;
    case WM_NOTIFY: {
        const NMHDR *pstructHeader = reinterpret_cast<const NMHDR *>(lparam);
        if (pstructHeader->code == static_cast<UINT>(PSN_APPLY)) {
            LOG_ENTER();
            LOG_TRACE("WM_NOTIFY( PSN_APPLY )");
            LOG_LEAVE_OK();
            return Config_AnswerApply(hwndPage, PSNRET_NOERROR);
        }
        if ((pstructHeader->idFrom == D_INT_CONFIG_CONTROLID_SITE || pstructHeader->idFrom == D_INT_CONFIG_CONTROLID_MAIL) &&
            (pstructHeader->code == static_cast<UINT>(NM_CLICK) || pstructHeader->code == static_cast<UINT>(NM_RETURN))) {
            LOG_ENTER();
            LOG_TRACE("WM_NOTIFY( NM_CLICK )");
            const char *pcharTarget = pstructHeader->idFrom == D_INT_CONFIG_CONTROLID_SITE ? D_PCHAR_CONFIG_SITE_ADDRESS
                                                                                              : D_PCHAR_CONFIG_MAIL_ADDRESS;
            ShellExecuteA(nullptr, "open", pcharTarget, nullptr, nullptr, SW_SHOWNORMAL);
            LOG_LEAVE_OK();
        }
        return FALSE;
    }
    default:
        return FALSE;
    }
}

int Config_CreateWindow(void) {
    LOG_ENTER();
    struct {
        WORD wordTemplate;
        DLGPROC dlgprocPage;
    } const structPages[] = {
        {D_WORD_CONFIG_DIALOGID_SERVER, Config_DialogProcConfigWindowPropertySheet1},
        {D_WORD_CONFIG_DIALOGID_TRANSFER, Config_DialogProcConfigWindowPropertySheet2},
        {D_WORD_CONFIG_DIALOGID_VERSION, Config_DialogProcConfigWindowPropertySheet3},
    };
    HPROPSHEETPAGE hpropsheetpages[3] = {nullptr, nullptr, nullptr};
    UINT uintPages = 0;
    for (const auto &structPage : structPages) {
        PROPSHEETPAGEA structDescription;
        memset(&structDescription, 0, sizeof(structDescription));
        structDescription.dwSize = sizeof(structDescription);
        structDescription.dwFlags = PSP_DEFAULT;
        structDescription.hInstance = hinstanceApplication;
        structDescription.pszTemplate = MAKEINTRESOURCEA(structPage.wordTemplate);
        structDescription.pfnDlgProc = structPage.dlgprocPage;
        HPROPSHEETPAGE hpropsheetpage = CreatePropertySheetPageA(&structDescription);
        if (hpropsheetpage == nullptr) {
            Config_TraceFailure(__func__, __LINE__,
                                "外部処理が異常終了しました( CreatePropertySheetPage, FormatMessage=%s )");
            continue;
        }
        hpropsheetpages[uintPages++] = hpropsheetpage;
    }
    PROPSHEETHEADERA structSheet;
    memset(&structSheet, 0, sizeof(structSheet));
    structSheet.dwSize = sizeof(structSheet);
    structSheet.dwFlags = PSH_USEICONID;
    structSheet.hwndParent = hwndMainWindow;
    structSheet.hInstance = hinstanceApplication;
    structSheet.pszIcon = MAKEINTRESOURCEA(D_WORD_CONFIG_ICONID_APPLICATION);
    structSheet.pszCaption = "設定";
    structSheet.nPages = uintPages;
    structSheet.nStartPage = 0;
    structSheet.phpage = hpropsheetpages;
    if (PropertySheetA(&structSheet) == 0) {
        Config_TraceFailure(__func__, __LINE__, "外部処理が異常終了しました( PropertySheet, FormatMessage=%s )");
    }
    LOG_TRACE("Config_SaveSetting 呼び出し");
    if (Config_SaveSetting() != 0) {
        LOG_TRACE("ERROR（ Config_SaveSetting() ）");
        LOG_LEAVE_NG();
        return -1;
    }
    LOG_LEAVE_OK();
    return 0;
}
