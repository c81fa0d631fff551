// The hidden main window: message loop, command dispatch, tray icon and tray menu.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <cstddef>

// The message that the tray icon sends to the main window (WM_USER + 100).
constexpr UINT D_LONG_MAINWINDOWPROC_CALLBACKMESSAGE_CLICKTRAYICON = 1124;
// A balloon handed over by the server thread; the second parameter owns a MainWindow_Balloon.
constexpr UINT D_UINT_MAINWINDOWPROC_SERVERBALLOON = WM_APP + 1;

// The commands of the tray menu.
constexpr long D_LONG_MAINWINDOW_MENUID_TRAYICONMENU_MAIN_QUITAPPLICATION = 10;
constexpr long D_LONG_MAINWINDOW_MENUID_TRAYICONMENU_MAIN_HELP = 20;
constexpr long D_LONG_MAINWINDOW_MENUID_TRAYICONMENU_MAIN_CONFIGURATION = 30;
constexpr long D_LONG_MAINWINDOW_MENUID_TRAYICONMENU_MAIN_SERVER_START = 40;
constexpr long D_LONG_MAINWINDOW_MENUID_TRAYICONMENU_MAIN_SERVER_STOP = 50;
constexpr long D_LONG_MAINWINDOW_MENUID_TRAYICONMENU_MAIN_SERVER_RESTART = 60;

// Title and class of the main window; other processes find a running instance by it.
constexpr const char *D_PCHAR_MAINWINDOW_TITLE = "Sorvane - MainWindow";
constexpr const char *D_PCHAR_MAINWINDOW_TOOLTIP_RUNNING = "Sorvane -サーバ起動中-";
constexpr const char *D_PCHAR_MAINWINDOW_TOOLTIP_STOPPED = "Sorvane -サーバ停止中-";

// Size of the tray record as the shell knows it: the structure up to and including dwInfoFlags
// (488 bytes on 32-bit Windows; the 64-bit layout has wider handles).
constexpr DWORD D_DWORD_MAINWINDOW_NOTIFYICONDATA_SIZE = NOTIFYICONDATAA_V2_SIZE;
#if !defined(_WIN64)
static_assert(D_DWORD_MAINWINDOW_NOTIFYICONDATA_SIZE == 488, "tray record size");
#endif

// A balloon on its way from the server thread to the main window's thread.
struct MainWindow_Balloon {
    long longEvent;
    long longGeneration;
    char charTitle[64];
    char charText[256];
};

extern HWND hwndMainWindow;
extern long longServerRunning;
extern NOTIFYICONDATAA structNotifyIconData;
extern HMENU hmenuTrayIconMenu;

// Main window (creation, message loop, dispatch).
int MainWindow_CreateMainWindow(HINSTANCE hinstance, int *pintExitCode);
LRESULT CALLBACK MainWindow_WindowProcedure(HWND hwnd, UINT uintMessage, WPARAM wparam, LPARAM lparam);
int MainWindow_FunctionD_CONSTUINT_MAINWINDOWPROC_TASKBARCREATED(void);
int MainWindow_FunctionWM_CREATE(HWND hwnd);
int MainWindow_FunctionWM_COMMAND(HWND hwnd, WPARAM wparam);
int MainWindow_FunctionWM_DESTROY(void);
int MainWindow_FunctionD_LONG_MAINWINDOW_CALLBACKMESSAGE_CLICKTRAYICON(LPARAM lparamMouseMessage);

// Tray icon and tray menu.
int MainWindow_AddTaskTrayIcon(void);
int MainWindow_DeleteTaskTrayIcon(void);
int MainWindow_ChangeTaskTrayIconTooltip(const char *pcharText);
int MainWindow_ShowTaskTrayBalloon(const char *pcharTitle, const char *pcharText);
int MainWindow_CreateTrayIconMenu(void);
int MainWindow_UpdateTrayIconMenuToServerRunning(void);
int MainWindow_UpdateTrayIconMenuToServerNotRunning(void);
int MainWindow_PopupMenu(void);

// Copies text into a fixed field, cut at a whole CP932 character; always NUL-terminated.
void MainWindow_CopyText(char *pcharField, size_t sizeField, const char *pcharText);
