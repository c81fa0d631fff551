// The Windows program's entry: command-line options, the single-instance guard, start-up, the main
// window's message loop and shut-down.
#include "app/winmain_win32.h"

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <clocale>
#include <cstdio>
#include <cstring>

#include "config/config.h"
#include "log/log.h"
#include "mainwindow/mainwindow_win32.h"
#include "platform/platform.h"

HINSTANCE hinstanceApplication = nullptr;

namespace {

constexpr const char *D_PCHAR_WINMAIN_MUTEX_NAME = "Mutex For Sorvane";
constexpr const char *D_PCHAR_WINMAIN_OPTION_DEBUG = "DEBUG";
constexpr const char *D_PCHAR_WINMAIN_OPTION_QUIT = "QuitApplication";
constexpr const char *D_PCHAR_WINMAIN_OPTION_DELETE = "DeleteSettingFiles";
constexpr DWORD D_DWORD_WINMAIN_ICC_ALL_CLASSES = 0xFFFF;
constexpr size_t D_SIZE_WINMAIN_SYSTEM_FOLDER = 516;

void WinMain_TraceFailure(const char *pcharFunction, long longLine, const char *pcharFormat, DWORD dwordError) {
    char charSystem[512];
    Platform_GetErrorText(dwordError, charSystem, sizeof(charSystem));
    Log_OutputTraceLogFormat(pcharFunction, longLine, pcharFormat, charSystem);
}

}  // namespace

int WinMain_InitializeApplication(void) {
    LOG_ENTER();
    // Another instance holds the mutex when its name already existed. The handle stays open, unused,
    // until the process ends.
    HANDLE handleMutex = CreateMutexA(nullptr, TRUE, D_PCHAR_WINMAIN_MUTEX_NAME);
    DWORD dwordError = GetLastError();
    if (handleMutex == nullptr || dwordError == ERROR_ALREADY_EXISTS) {
        WinMain_TraceFailure(__func__, __LINE__, "CreateMutex 異常終了( FormatMessage=%s )", dwordError);
        LOG_LEAVE_NG();
        return -1;
    }

    InitCommonControls();
    INITCOMMONCONTROLSEX structControls;
    structControls.dwSize = sizeof(structControls);
    structControls.dwICC = D_DWORD_WINMAIN_ICC_ALL_CLASSES;
    if (InitCommonControlsEx(&structControls) != TRUE) {
        WinMain_TraceFailure(__func__, __LINE__, "InitCommonControlsEx 異常終了( FormatMessage=%s )", GetLastError());
        LOG_LEAVE_NG();
        return -1;
    }

    CoInitialize(nullptr);

    char charLibrary[D_SIZE_WINMAIN_SYSTEM_FOLDER + 16];
    UINT uintLength = GetSystemDirectoryA(charLibrary, D_SIZE_WINMAIN_SYSTEM_FOLDER);
    if (uintLength == 0 || uintLength >= D_SIZE_WINMAIN_SYSTEM_FOLDER) {
        WinMain_TraceFailure(__func__, __LINE__, "LoadLibrary 異常終了( FormatMessage=%s )", GetLastError());
        LOG_LEAVE_NG();
        return -1;
    }
    snprintf(charLibrary + uintLength, sizeof(charLibrary) - uintLength, "%s", "\\riched20.dll");
    if (LoadLibraryA(charLibrary) == nullptr) {
        WinMain_TraceFailure(__func__, __LINE__, "LoadLibrary 異常終了( FormatMessage=%s )", GetLastError());
        LOG_LEAVE_NG();
        return -1;
    }

    LOG_TRACE("Config_Initialize 呼び出し");
    if (Config_Initialize() != 0) {
        LOG_TRACE("Config_Initialize 異常終了");
        LOG_LEAVE_NG();
        return -1;
    }
    LOG_LEAVE_OK();
    return 0;
}

int WinMain_FinalizeApplication(void) {
    LOG_ENTER();
    LOG_TRACE("Config_Finalize 呼び出し");
    if (Config_Finalize() != 0) LOG_TRACE("Config_Finalize 異常終了");
    CoUninitialize();
    LOG_LEAVE_OK();
    return 0;
}

int WINAPI WinMain(HINSTANCE hinstance, HINSTANCE hinstancePrevious, LPSTR pcharCommandLine, int intShowCommand) {
    (void)hinstancePrevious;
    (void)intShowCommand;
    setlocale(LC_ALL, ".ACP");
    LOG_ENTER();
    hinstanceApplication = hinstance;
    const char *pcharArguments = pcharCommandLine != nullptr ? pcharCommandLine : "";
    LOG_TRACEF("CmdArg = %s", pcharArguments);

    if (strstr(pcharArguments, D_PCHAR_WINMAIN_OPTION_DEBUG) != nullptr) {
        longForceTraceFlag = 1;
        LOG_TRACE("強制トレースフラグ設定");
    }
    if (strncmp(pcharArguments, D_PCHAR_WINMAIN_OPTION_QUIT, strlen(D_PCHAR_WINMAIN_OPTION_QUIT)) == 0) {
        HWND hwndRunning = FindWindowA(nullptr, D_PCHAR_MAINWINDOW_TITLE);
        if (hwndRunning != nullptr) {
            LOG_TRACEF("PostMessage WM_CLOSE to %llx",
                       static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(hwndRunning)));
            PostMessageA(hwndRunning, WM_CLOSE, 0, 0);
        }
        LOG_LEAVE_OK();
        return 0;
    }
    if (strncmp(pcharArguments, D_PCHAR_WINMAIN_OPTION_DELETE, strlen(D_PCHAR_WINMAIN_OPTION_DELETE)) == 0) {
        LOG_TRACE("Config_DeleteSettingFiles 呼び出し");
        Config_DeleteSettingFiles();
        LOG_LEAVE_OK();
        return 0;
    }

    LOG_TRACE("WinMain_InitializeApplication 呼び出し");
    if (WinMain_InitializeApplication() != 0) {
        LOG_TRACE("WinMain_InitializeApplication 異常終了");
        LOG_LEAVE_NG();
        return 0;
    }
    int intExitCode = 0;
    LOG_TRACE("MainWindow_CreateMainWindow 呼び出し");
    if (MainWindow_CreateMainWindow(hinstance, &intExitCode) != 0) {
        LOG_TRACE("MainWindow_CreateMainWindow 異常終了");
        LOG_TRACE("メインウィンドウ作成処理中に異常が発生しました。\nアプリケーションの再起動を行って下さい。");
        LOG_LEAVE_NG();
        return intExitCode;
    }
    LOG_TRACE("WinMain_FinalizeApplication 呼び出し");
    if (WinMain_FinalizeApplication() != 0) LOG_TRACE("WinMain_FinalizeApplication 異常終了");
    LOG_TRACE("処理終了");
    // A server thread that still runs (the window was closed from outside) ends with the process, here,
    // before the library's exit handlers would find it still running.
    ExitProcess(static_cast<UINT>(intExitCode));
}
