// The tray icon, its record shared with the shell, and the tray menu.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstring>

#include "app/winmain_win32.h"
#include "log/log.h"
#include "mainwindow/mainwindow_win32.h"
#include "platform/platform.h"
#include "text/text.h"

NOTIFYICONDATAA structNotifyIconData;
HMENU hmenuTrayIconMenu = nullptr;

namespace {

constexpr WORD D_WORD_MAINWINDOW_ICONID_APPLICATION = 101;
constexpr UINT D_UINT_MAINWINDOW_BALLOON_TIMEOUT = 10000;

struct MainWindow_TrayIconMenuItem {
    UINT uintType;
    long longIdentifier;
    const char *pcharText;
};

// Stored order; each entry goes to the top of the menu, so the menu shows them reversed.
const MainWindow_TrayIconMenuItem structTrayIconMenuItems[] = {
    {MFT_STRING, D_LONG_MAINWINDOW_MENUID_TRAYICONMENU_MAIN_QUITAPPLICATION, "アプリケーション終了"},
    {MFT_STRING, D_LONG_MAINWINDOW_MENUID_TRAYICONMENU_MAIN_HELP, "ヘルプ"},
    {MFT_STRING, D_LONG_MAINWINDOW_MENUID_TRAYICONMENU_MAIN_CONFIGURATION, "設定"},
    {MFT_SEPARATOR, 0, nullptr},
    {MFT_STRING, D_LONG_MAINWINDOW_MENUID_TRAYICONMENU_MAIN_SERVER_RESTART, "サーバ再起動"},
    {MFT_STRING, D_LONG_MAINWINDOW_MENUID_TRAYICONMENU_MAIN_SERVER_STOP, "サーバ停止"},
    {MFT_STRING, D_LONG_MAINWINDOW_MENUID_TRAYICONMENU_MAIN_SERVER_START, "サーバ起動"},
};

void MainWindow_TraceFailure(const char *pcharFunction, long longLine, const char *pcharFormat) {
    char charSystem[512];
    Platform_GetErrorText(GetLastError(), charSystem, sizeof(charSystem));
    Log_OutputTraceLogFormat(pcharFunction, longLine, pcharFormat, charSystem);
}

// Sets the states of the server items: the first for start, the second for stop and restart.
int MainWindow_UpdateTrayIconMenu(UINT uintStartState, UINT uintStopState) {
    LOG_ENTER();
    for (const MainWindow_TrayIconMenuItem &structItem : structTrayIconMenuItems) {
        UINT uintState;
        if (structItem.longIdentifier == D_LONG_MAINWINDOW_MENUID_TRAYICONMENU_MAIN_SERVER_START) {
            uintState = uintStartState;
        } else if (structItem.longIdentifier == D_LONG_MAINWINDOW_MENUID_TRAYICONMENU_MAIN_SERVER_STOP ||
                   structItem.longIdentifier == D_LONG_MAINWINDOW_MENUID_TRAYICONMENU_MAIN_SERVER_RESTART) {
            uintState = uintStopState;
        } else {
            continue;
        }
        MENUITEMINFOA structInfo;
        memset(&structInfo, 0, sizeof(structInfo));
        structInfo.cbSize = sizeof(structInfo);
        structInfo.fMask = MIIM_STATE;
        structInfo.fState = uintState;
        LOG_TRACEF("SetMenuItemInfo 呼び出し(ID=%ld, State=%u)", structItem.longIdentifier, uintState);
        if (!SetMenuItemInfoA(hmenuTrayIconMenu, static_cast<UINT>(structItem.longIdentifier), FALSE, &structInfo)) {
            MainWindow_TraceFailure(__func__, __LINE__, "SetMenuItemInfo 異常終了 (FormatMessage=%s)");
            DestroyMenu(hmenuTrayIconMenu);
            hmenuTrayIconMenu = nullptr;
            LOG_LEAVE_NG();
            return -1;
        }
        DrawMenuBar(hwndMainWindow);
    }
    LOG_LEAVE_OK();
    return 0;
}

}  // namespace

void MainWindow_CopyText(char *pcharField, size_t sizeField, const char *pcharText) {
    if (sizeField == 0) return;
    size_t sizeCopy = Text_WholeCharacters(pcharText, strnlen(pcharText, sizeField - 1));
    memcpy(pcharField, pcharText, sizeCopy);
    pcharField[sizeCopy] = '\0';
}

int MainWindow_AddTaskTrayIcon(void) {
    LOG_ENTER();
    structNotifyIconData.cbSize = D_DWORD_MAINWINDOW_NOTIFYICONDATA_SIZE;
    structNotifyIconData.hWnd = hwndMainWindow;
    structNotifyIconData.uID = 0;
    structNotifyIconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_INFO;
    structNotifyIconData.uCallbackMessage = D_LONG_MAINWINDOWPROC_CALLBACKMESSAGE_CLICKTRAYICON;
    structNotifyIconData.hIcon = static_cast<HICON>(LoadImageA(hinstanceApplication,
                                                               MAKEINTRESOURCEA(D_WORD_MAINWINDOW_ICONID_APPLICATION),
                                                               IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
    MainWindow_CopyText(structNotifyIconData.szTip, sizeof(structNotifyIconData.szTip),
                        D_PCHAR_MAINWINDOW_TOOLTIP_STOPPED);
    MainWindow_CopyText(structNotifyIconData.szInfo, sizeof(structNotifyIconData.szInfo), "準備完了");
    structNotifyIconData.uTimeout = D_UINT_MAINWINDOW_BALLOON_TIMEOUT;
    MainWindow_CopyText(structNotifyIconData.szInfoTitle, sizeof(structNotifyIconData.szInfoTitle), "Sorvane");
    structNotifyIconData.dwInfoFlags = NIIF_INFO;
    if (!Shell_NotifyIconA(NIM_ADD, &structNotifyIconData)) {
        memset(&structNotifyIconData, 0, sizeof(structNotifyIconData));
        LOG_TRACE("Shell_NotifyIcon 異常終了");
        LOG_LEAVE_NG();
        return -1;
    }
    structNotifyIconData.uFlags &= ~static_cast<UINT>(NIF_INFO);
    if (!Shell_NotifyIconA(NIM_MODIFY, &structNotifyIconData)) {
        memset(&structNotifyIconData, 0, sizeof(structNotifyIconData));
        LOG_TRACE("Shell_NotifyIcon 異常終了");
        LOG_LEAVE_NG();
        return -1;
    }
    LOG_LEAVE_OK();
    return 0;
}

int MainWindow_DeleteTaskTrayIcon(void) {
    LOG_ENTER();
    if (structNotifyIconData.cbSize == 0) {
        LOG_TRACE("タスクトレイアイコンは未設定です");
        LOG_LEAVE_OK();
        return 0;
    }
    if (!Shell_NotifyIconA(NIM_DELETE, &structNotifyIconData)) {
        LOG_TRACE("Shell_NotifyIcon 異常終了");
        LOG_LEAVE_NG();
        return -1;
    }
    memset(&structNotifyIconData, 0, sizeof(structNotifyIconData));
    LOG_LEAVE_OK();
    return 0;
}

int MainWindow_ChangeTaskTrayIconTooltip(const char *pcharText) {
    LOG_ENTER();
    MainWindow_CopyText(structNotifyIconData.szTip, sizeof(structNotifyIconData.szTip), pcharText);
    if (structNotifyIconData.cbSize == 0 || !Shell_NotifyIconA(NIM_MODIFY, &structNotifyIconData)) {
        LOG_TRACE("Shell_NotifyIcon 異常終了");
        LOG_LEAVE_NG();
        return -1;
    }
    LOG_LEAVE_OK();
    return 0;
}

// Shows a balloon with the whole record, which also makes a tooltip written meanwhile visible. The
// information flag is taken back afterwards, so that a later tooltip change does not repeat the balloon.
int MainWindow_ShowTaskTrayBalloon(const char *pcharTitle, const char *pcharText) {
    LOG_ENTER();
    if (structNotifyIconData.cbSize == 0) {
        LOG_TRACE("タスクトレイアイコンは未設定です");
        LOG_LEAVE_NG();
        return -1;
    }
    MainWindow_CopyText(structNotifyIconData.szInfoTitle, sizeof(structNotifyIconData.szInfoTitle), pcharTitle);
    MainWindow_CopyText(structNotifyIconData.szInfo, sizeof(structNotifyIconData.szInfo), pcharText);
    structNotifyIconData.uFlags |= NIF_INFO;
    structNotifyIconData.dwInfoFlags = NIIF_INFO;
    BOOL boolShown = Shell_NotifyIconA(NIM_MODIFY, &structNotifyIconData);
    structNotifyIconData.uFlags &= ~static_cast<UINT>(NIF_INFO);
    if (!boolShown) {
        LOG_TRACE("Shell_NotifyIcon 異常終了");
        LOG_LEAVE_NG();
        return -1;
    }
    LOG_LEAVE_OK();
    return 0;
}

int MainWindow_CreateTrayIconMenu(void) {
    LOG_ENTER();
    if (hmenuTrayIconMenu != nullptr) {
        LOG_LEAVE_OK();
        return 0;
    }
    LOG_TRACE("CreatePopupMenu 呼び出し");
    hmenuTrayIconMenu = CreatePopupMenu();
    if (hmenuTrayIconMenu == nullptr) {
        MainWindow_TraceFailure(__func__, __LINE__, "CreatePopupMenu 異常終了 (FormatMessage=%s)");
        LOG_LEAVE_NG();
        return -1;
    }
    for (const MainWindow_TrayIconMenuItem &structItem : structTrayIconMenuItems) {
        MENUITEMINFOA structInfo;
        memset(&structInfo, 0, sizeof(structInfo));
        structInfo.cbSize = sizeof(structInfo);
        if (structItem.uintType == MFT_SEPARATOR) {
            structInfo.fMask = MIIM_FTYPE;
            structInfo.fType = MFT_SEPARATOR;
        } else {
            structInfo.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING;
            structInfo.fType = MFT_STRING;
            structInfo.fState = MFS_ENABLED;
            structInfo.wID = static_cast<UINT>(structItem.longIdentifier);
            structInfo.dwTypeData = const_cast<char *>(structItem.pcharText);
        }
        LOG_TRACE("InsertMenuItem 呼び出し");
        if (!InsertMenuItemA(hmenuTrayIconMenu, 0, TRUE, &structInfo)) {
            MainWindow_TraceFailure(__func__, __LINE__, "InsertMenuItem 異常終了 (FormatMessage=%s)");
            DestroyMenu(hmenuTrayIconMenu);
            hmenuTrayIconMenu = nullptr;
            LOG_LEAVE_NG();
            return -1;
        }
    }
    LOG_LEAVE_OK();
    return 0;
}

int MainWindow_UpdateTrayIconMenuToServerRunning(void) {
    return MainWindow_UpdateTrayIconMenu(MFS_GRAYED | MFS_DISABLED, MFS_ENABLED);
}

int MainWindow_UpdateTrayIconMenuToServerNotRunning(void) {
    return MainWindow_UpdateTrayIconMenu(MFS_ENABLED, MFS_GRAYED | MFS_DISABLED);
}

int MainWindow_PopupMenu(void) {
    LOG_ENTER();
    if (MainWindow_CreateTrayIconMenu() != 0) {
        LOG_TRACE("MainWindow_CreateMenu 異常終了");
        LOG_LEAVE_NG();
        return -1;
    }
    if (longServerRunning != 0) {
        MainWindow_UpdateTrayIconMenuToServerRunning();
    } else {
        MainWindow_UpdateTrayIconMenuToServerNotRunning();
    }
    if (hmenuTrayIconMenu == nullptr) {
        // A failed update has destroyed the menu; it is built again on the next showing.
        LOG_LEAVE_NG();
        return -1;
    }
    POINT structCursor;
    GetCursorPos(&structCursor);
    SetForegroundWindow(hwndMainWindow);
    if (TrackPopupMenu(hmenuTrayIconMenu, TPM_RIGHTALIGN, structCursor.x, structCursor.y, 0, hwndMainWindow,
                       nullptr)) {
        PostMessageA(hwndMainWindow, WM_NULL, 0, 0);
        LOG_LEAVE_OK();
        return 0;
    }
    if (GetLastError() == ERROR_POPUP_ALREADY_ACTIVE) {
        LOG_LEAVE_OK();
        return 0;
    }
    MainWindow_TraceFailure(__func__, __LINE__, "TrackPopupMenu異常終了( FormatMessage=%s )");
    LOG_LEAVE_NG();
    return -1;
}
