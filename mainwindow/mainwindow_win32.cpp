// The hidden main window: it owns the tray icon and its menu, runs the program's message loop and
// carries out the menu's commands.
#include "mainwindow/mainwindow_win32.h"

#include <windows.h>
#include <htmlhelp.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "config/config.h"
#include "config/config_sheet_win32.h"
#include "log/log.h"
#include "platform/platform.h"
#include "server/server.h"

HWND hwndMainWindow = nullptr;
long longServerRunning = 0;

// The message number of "TaskbarCreated", registered before WinMain runs.
const UINT D_CONSTUINT_MAINWINDOWPROC_TASKBARCREATED = RegisterWindowMessageA("TaskbarCreated");

namespace {

HINSTANCE hinstanceMainWindow = nullptr;

// The server's failure balloon (title, and text with the reason).
constexpr unsigned int D_UINT_MAINWINDOW_STRINGID_FAILED_TITLE = 130;
constexpr unsigned int D_UINT_MAINWINDOW_STRINGID_FAILED_TEXT = 131;

// Command filter: the last handled command message and the wall-clock second its handling ended.
UINT uintLastCommandMessage = 0;
long long longlongLastCommandSeconds = 0;
// Tick count of the last right double-click on the tray icon.
DWORD dwordLastRightDoubleClick = 0;

// Counts the server starts; a balloon carries the count of the start it belongs to, so that a failure
// report of an earlier server thread does not stop a later one.
std::atomic<long> atomiclongServerGeneration{0};

void MainWindow_TraceFailure(const char *pcharFunction, long longLine, const char *pcharFormat) {
    char charSystem[512];
    Platform_GetErrorText(GetLastError(), charSystem, sizeof(charSystem));
    Log_OutputTraceLogFormat(pcharFunction, longLine, pcharFormat, charSystem);
}

// Called on the server thread: hands a copy of the balloon to the main window's thread.
void MainWindow_BalloonSink(long longEvent, const char *pcharTitle, const char *pcharText) {
    MainWindow_Balloon *pstructBalloon = static_cast<MainWindow_Balloon *>(calloc(1, sizeof(MainWindow_Balloon)));
    if (pstructBalloon == nullptr) {
        LOG_TRACE("calloc 異常終了");
        return;
    }
    pstructBalloon->longEvent = longEvent;
    pstructBalloon->longGeneration = atomiclongServerGeneration.load();
    MainWindow_CopyText(pstructBalloon->charTitle, sizeof(pstructBalloon->charTitle), pcharTitle);
    MainWindow_CopyText(pstructBalloon->charText, sizeof(pstructBalloon->charText), pcharText);
    HWND hwndTarget = hwndMainWindow;
    if (hwndTarget == nullptr ||
        !PostMessageA(hwndTarget, D_UINT_MAINWINDOWPROC_SERVERBALLOON, 0, reinterpret_cast<LPARAM>(pstructBalloon))) {
        LOG_TRACE("PostMessage 異常終了");
        free(pstructBalloon);
    }
}

// 0 when the record's address and port can be listened on. After a failed reload the record may hold
// the number that the loader refused; a port of 70000 would otherwise listen on 4464.
int MainWindow_CheckServerSetting(void) {
    for (int intIndex = 0; intIndex < 4; ++intIndex) {
        long longOctet = Config_Setting.longIpAddress[intIndex];
        if (longOctet < 0 || longOctet > (intIndex == 3 ? 254 : 255)) return -1;
    }
    return (Config_Setting.longPortNumber < 0 || Config_Setting.longPortNumber > 65535) ? -1 : 0;
}

int MainWindow_StartServer(void) {
    if (MainWindow_CheckServerSetting() != 0) {
        LOG_TRACE("設定値が不正なためサーバを起動しません");
        char charTitle[64];
        char charFormat[256];
        char charText[256];
        Platform_LoadString(D_UINT_MAINWINDOW_STRINGID_FAILED_TITLE, charTitle, sizeof(charTitle));
        Platform_LoadString(D_UINT_MAINWINDOW_STRINGID_FAILED_TEXT, charFormat, sizeof(charFormat));
        snprintf(charText, sizeof(charText), charFormat, "設定値が不正です");
        MainWindow_ShowTaskTrayBalloon(charTitle, charText);
        return -1;
    }
    atomiclongServerGeneration.fetch_add(1);
    LOG_TRACE("Server_StartServer 呼び出し");
    if (Server_StartServer(Config_Setting.longIpAddress, MainWindow_BalloonSink, Config_Setting.longPortNumber) != 0) {
        LOG_TRACE("Server_StartServer 異常終了");
        return -1;
    }
    longServerRunning = 1;
    return 0;
}

// Brings the flag, the tooltip and the server thread in line with a server that no longer runs.
void MainWindow_ShowServerStopped(void) {
    Server_StopServer();
    longServerRunning = 0;
    MainWindow_ChangeTaskTrayIconTooltip(D_PCHAR_MAINWINDOW_TOOLTIP_STOPPED);
}

// Shows a balloon that the server thread handed over; a server that could not listen is shown stopped.
int MainWindow_FunctionD_UINT_MAINWINDOWPROC_SERVERBALLOON(MainWindow_Balloon *pstructBalloon) {
    LOG_ENTER();
    MainWindow_ShowTaskTrayBalloon(pstructBalloon->charTitle, pstructBalloon->charText);
    if (pstructBalloon->longEvent == D_LONG_SERVER_EVENT_FAILED &&
        pstructBalloon->longGeneration == atomiclongServerGeneration.load() && longServerRunning != 0) {
        LOG_TRACE("サーバ起動失敗のため停止状態へ戻します");
        MainWindow_ShowServerStopped();
    }
    free(pstructBalloon);
    LOG_LEAVE_OK();
    return 0;
}

}  // namespace

int MainWindow_FunctionD_CONSTUINT_MAINWINDOWPROC_TASKBARCREATED(void) {
    LOG_ENTER();
    LOG_TRACE("MainWindow_DeleteTaskTrayIcon 呼び出し");
    if (MainWindow_DeleteTaskTrayIcon() != 0) LOG_TRACE("MainWindow_DeleteTaskTrayIcon 異常終了");
    LOG_TRACE("MainWindow_AddTaskTrayIcon 呼び出し");
    if (MainWindow_AddTaskTrayIcon() != 0) {
        LOG_TRACE("MainWindow_AddTaskTrayIcon異常終了");
        LOG_LEAVE_NG();
        return -1;
    }
    LOG_LEAVE_OK();
    return 0;
}

int MainWindow_FunctionWM_CREATE(HWND hwnd) {
    LOG_ENTER();
    hwndMainWindow = hwnd;
    LOG_TRACE("MainWindow_AddTaskTrayIcon 呼び出し");
    if (MainWindow_AddTaskTrayIcon() != 0) {
        LOG_TRACE("MainWindow_AddTaskTrayIcon 異常終了");
        LOG_LEAVE_NG();
        return -1;
    }
    if (Config_Setting.longServerAutoStart != 0) {
        LOG_TRACE("D_LONG_MAINWINDOW_MENUID_TRAYICONMENU_MAIN_SERVER_START");
        if (MainWindow_StartServer() != 0) {
            LOG_LEAVE_NG();
            return -1;
        }
        // The shell learns of the tooltip with the next change of the icon: the server's start balloon.
        MainWindow_CopyText(structNotifyIconData.szTip, sizeof(structNotifyIconData.szTip),
                            D_PCHAR_MAINWINDOW_TOOLTIP_RUNNING);
    }
    LOG_LEAVE_OK();
    return 0;
}

int MainWindow_FunctionWM_COMMAND(HWND hwnd, WPARAM wparam) {
    LOG_ENTER();
    switch (static_cast<long>(LOWORD(wparam))) {
    case D_LONG_MAINWINDOW_MENUID_TRAYICONMENU_MAIN_QUITAPPLICATION:
        LOG_TRACE("D_LONG_MAINWINDOW_MENUID_TRAYICONMENU_MAIN_QUITAPPLICATION");
        if (longServerRunning != 0) {
            LOG_TRACE("Server_StopServer 呼び出し");
            if (Server_StopServer() != 0) {
                LOG_TRACE("Server_StopServer 異常終了");
                break;
            }
        }
        SendMessageA(hwnd, WM_CLOSE, 0, 0);
        break;
    case D_LONG_MAINWINDOW_MENUID_TRAYICONMENU_MAIN_HELP:
        LOG_TRACE("D_LONG_MAINWINDOW_MENUID_TRAYICONMENU_MAIN_HELP");
        LOG_TRACE("CALL( HtmlHelp() )");
        HtmlHelpA(GetDesktopWindow(), Config_Setting.charHelpFilePath, HH_DISPLAY_TOC, 0);
        break;
    case D_LONG_MAINWINDOW_MENUID_TRAYICONMENU_MAIN_CONFIGURATION:
        LOG_TRACE("D_LONG_MAINWINDOW_MENUID_TRAYICONMENU_MAIN_CONFIGURATION");
        LOG_TRACE("Config_CreateWindow 呼び出し");
        Config_CreateWindow();
        break;
    case D_LONG_MAINWINDOW_MENUID_TRAYICONMENU_MAIN_SERVER_START:
        LOG_TRACE("D_LONG_MAINWINDOW_MENUID_TRAYICONMENU_MAIN_SERVER_START");
        if (MainWindow_StartServer() == 0) MainWindow_ChangeTaskTrayIconTooltip(D_PCHAR_MAINWINDOW_TOOLTIP_RUNNING);
        break;
    case D_LONG_MAINWINDOW_MENUID_TRAYICONMENU_MAIN_SERVER_STOP:
        LOG_TRACE("D_LONG_MAINWINDOW_MENUID_TRAYICONMENU_MAIN_SERVER_STOP");
        LOG_TRACE("Server_StopServer 呼び出し");
        if (Server_StopServer() != 0) {
            LOG_TRACE("Server_StopServer 異常終了");
            break;
        }
        longServerRunning = 0;
        MainWindow_ChangeTaskTrayIconTooltip(D_PCHAR_MAINWINDOW_TOOLTIP_STOPPED);
        break;
    case D_LONG_MAINWINDOW_MENUID_TRAYICONMENU_MAIN_SERVER_RESTART:
        LOG_TRACE("D_LONG_MAINWINDOW_MENUID_TRAYICONMENU_MAIN_SERVER_RESTART");
        LOG_TRACE("Server_StopServer 呼び出し");
        if (Server_StopServer() != 0) {
            LOG_TRACE("Server_StopServer 異常終了");
            break;
        }
        LOG_TRACE("Config_LoadSetting 呼び出し");
        if (Config_LoadSetting() != 0) {
            LOG_TRACE("Config_LoadSetting 異常終了");
            // The server has stopped: the menu and the tooltip say so.
            MainWindow_ShowServerStopped();
            break;
        }
        if (MainWindow_StartServer() != 0) MainWindow_ShowServerStopped();
        break;
    default:
        break;
    }
    LOG_LEAVE_OK();
    return 0;
}

int MainWindow_FunctionWM_DESTROY(void) {
    LOG_ENTER();
    if (hmenuTrayIconMenu != nullptr) {
        DestroyMenu(hmenuTrayIconMenu);
        hmenuTrayIconMenu = nullptr;
    }
    LOG_TRACE("MainWindow_DeleteTaskTrayIcon 呼び出し");
    if (MainWindow_DeleteTaskTrayIcon() != 0) {
        LOG_TRACE("MainWindow_DeleteTaskTrayIcon 異常終了");
        LOG_LEAVE_NG();
        return -1;
    }
    LOG_LEAVE_OK();
    return 0;
}

int MainWindow_FunctionD_LONG_MAINWINDOW_CALLBACKMESSAGE_CLICKTRAYICON(LPARAM lparamMouseMessage) {
    switch (static_cast<UINT>(lparamMouseMessage)) {
    case WM_RBUTTONDOWN:
        LOG_TRACE("START(WM_RBUTTONDOWN)");
        // Unsigned difference: right across the wrap of the tick count.
        if (GetTickCount() - dwordLastRightDoubleClick > GetDoubleClickTime()) {
            LOG_TRACE("MainWindow_PopupMenu 呼び出し");
            MainWindow_PopupMenu();
        }
        break;
    case WM_RBUTTONDBLCLK:
        LOG_TRACE("START(WM_RBUTTONDBLCLK)");
        dwordLastRightDoubleClick = GetTickCount();
        break;
    default:
        break;
    }
    return 0;
}

LRESULT CALLBACK MainWindow_WindowProcedure(HWND hwnd, UINT uintMessage, WPARAM wparam, LPARAM lparam) {
    long long longlongNow = static_cast<long long>(time(nullptr));
    if (uintMessage == WM_COMMAND && uintLastCommandMessage == WM_COMMAND &&
        longlongNow - longlongLastCommandSeconds < 1) {
        LOG_TRACE("一定時間内の連続メッセージのため破棄します(暫定対処)");
        LOG_LEAVE_OK();
        return 0;
    }
    if (uintMessage == D_CONSTUINT_MAINWINDOWPROC_TASKBARCREATED) {
        LOG_TRACE("処理開始 D_CONSTUINT_MAINWINDOWPROC_TASKBARCREATED");
        if (MainWindow_FunctionD_CONSTUINT_MAINWINDOWPROC_TASKBARCREATED() != 0) {
            LOG_TRACE("MainWindow_FunctionD_CONSTUINT_MAINWINDOWPROC_TASKBARCREATED 異常終了");
            DestroyWindow(hwnd);
        }
        LOG_LEAVE_OK();
    }
    switch (uintMessage) {
    case WM_CREATE:
        LOG_TRACE("処理開始 WM_CREATE");
        if (MainWindow_FunctionWM_CREATE(hwnd) != 0) {
            LOG_TRACE("MainWindow_FunctionWM_CREATE 異常終了");
            LOG_LEAVE_NG();
            PostQuitMessage(0);
            DestroyWindow(hwnd);
            return 0;
        }
        LOG_LEAVE_OK();
        return 0;
    case WM_DESTROY:
        LOG_TRACE("処理開始 WM_DESTROY");
        if (MainWindow_FunctionWM_DESTROY() != 0) LOG_TRACE("MainWindow_FunctionWM_DESTROY 異常終了");
        PostQuitMessage(0);
        LOG_LEAVE_OK();
        return 0;
    case WM_COMMAND:
        LOG_TRACE("処理開始 WM_COMMAND");
        MainWindow_FunctionWM_COMMAND(hwnd, wparam);
        uintLastCommandMessage = WM_COMMAND;
        longlongLastCommandSeconds = static_cast<long long>(time(nullptr));
        LOG_LEAVE_OK();
        return 0;
    case D_LONG_MAINWINDOWPROC_CALLBACKMESSAGE_CLICKTRAYICON:
        LOG_TRACE("処理開始 D_LONG_MAINWINDOWPROC_CALLBACKMESSAGE_CLICKTRAYICON");
        MainWindow_FunctionD_LONG_MAINWINDOW_CALLBACKMESSAGE_CLICKTRAYICON(lparam);
        LOG_LEAVE_OK();
        return 0;
    case D_UINT_MAINWINDOWPROC_SERVERBALLOON:
        MainWindow_FunctionD_UINT_MAINWINDOWPROC_SERVERBALLOON(reinterpret_cast<MainWindow_Balloon *>(lparam));
        return 0;
    default:
        return DefWindowProcA(hwnd, uintMessage, wparam, lparam);
    }
}

int MainWindow_CreateMainWindow(HINSTANCE hinstance, int *pintExitCode) {
    LOG_ENTER();
    hinstanceMainWindow = hinstance;
    WNDCLASSEXA structClass;
    memset(&structClass, 0, sizeof(structClass));
    structClass.cbSize = sizeof(structClass);
    structClass.style = CS_HREDRAW | CS_VREDRAW;
    structClass.lpfnWndProc = MainWindow_WindowProcedure;
    structClass.hInstance = hinstance;
    structClass.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    structClass.hIconSm = LoadIconA(nullptr, IDI_APPLICATION);
    structClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    structClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    structClass.lpszClassName = D_PCHAR_MAINWINDOW_TITLE;
    if (RegisterClassExA(&structClass) == 0) {
        MainWindow_TraceFailure(__func__, __LINE__, "RegisterClassEx 異常終了( FormatMessage=%s )");
        LOG_LEAVE_NG();
        return -1;
    }
    HWND hwnd = CreateWindowExA(0, D_PCHAR_MAINWINDOW_TITLE, D_PCHAR_MAINWINDOW_TITLE, WS_OVERLAPPEDWINDOW,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                                hinstance, nullptr);
    if (hwnd == nullptr) {
        MainWindow_TraceFailure(__func__, __LINE__, "CreateWindow 異常終了( FormatMessage=%s )");
        UnregisterClassA(D_PCHAR_MAINWINDOW_TITLE, hinstance);
        LOG_LEAVE_NG();
        return -1;
    }
    hwndMainWindow = hwnd;
    UpdateWindow(hwnd);
    MSG structMessage;
    BOOL boolFetched;
    while ((boolFetched = GetMessageA(&structMessage, nullptr, 0, 0)) != 0) {
        TranslateMessage(&structMessage);
        DispatchMessageA(&structMessage);
    }
    *pintExitCode = static_cast<int>(structMessage.wParam);
    UnregisterClassA(D_PCHAR_MAINWINDOW_TITLE, hinstance);
    LOG_LEAVE_OK();
    return 0;
}
