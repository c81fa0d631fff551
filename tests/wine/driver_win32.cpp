// Test driver for the Windows program under Wine: finds the program's windows from outside, posts
// commands and tray notifications to the main window, reads what another process can read (windows,
// the settings sheet's tabs and controls) and presses buttons of its dialogs and boxes.
// One action per run: `driver ACTION ARGUMENTS...`; results go to standard output, one a line; the exit
// code is 0 on success, 1 when the action failed or timed out.
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr const char *D_PCHAR_DRIVER_MAINWINDOW = "Sorvane - MainWindow";
constexpr const char *D_PCHAR_DRIVER_SHEET = "設定";
constexpr UINT D_UINT_DRIVER_TRAYMESSAGE = 1124;
constexpr DWORD D_DWORD_DRIVER_POLL_MS = 100;

// Waits until fnFind gives a window, up to longSeconds.
template <typename Find>
HWND Driver_WaitFor(long longSeconds, Find fnFind) {
    DWORD dwordStart = GetTickCount();
    for (;;) {
        HWND hwnd = fnFind();
        if (hwnd != nullptr) return hwnd;
        if (GetTickCount() - dwordStart > static_cast<DWORD>(longSeconds) * 1000) return nullptr;
        Sleep(D_DWORD_DRIVER_POLL_MS);
    }
}

HWND Driver_FindTitle(const char *pcharTitle) { return FindWindowA(nullptr, pcharTitle); }

struct Driver_Search {
    const char *pcharClass;
    const char *pcharTitle;  // nullptr: any
    HWND hwndExcept;
    HWND hwndFound;
};

BOOL CALLBACK Driver_EnumVisible(HWND hwnd, LPARAM lparam) {
    Driver_Search *pstructSearch = reinterpret_cast<Driver_Search *>(lparam);
    char charClass[64];
    char charTitle[256];
    GetClassNameA(hwnd, charClass, sizeof(charClass));
    GetWindowTextA(hwnd, charTitle, sizeof(charTitle));
    if (hwnd != pstructSearch->hwndExcept && IsWindowVisible(hwnd) && strcmp(charClass, pstructSearch->pcharClass) == 0 &&
        (pstructSearch->pcharTitle == nullptr || strcmp(charTitle, pstructSearch->pcharTitle) == 0)) {
        pstructSearch->hwndFound = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND Driver_FindVisible(const char *pcharClass, const char *pcharTitle, HWND hwndExcept = nullptr) {
    Driver_Search structSearch = {pcharClass, pcharTitle, hwndExcept, nullptr};
    EnumWindows(Driver_EnumVisible, reinterpret_cast<LPARAM>(&structSearch));
    return structSearch.hwndFound;
}

HWND Driver_FindDialog(const char *pcharTitle) { return Driver_FindVisible("#32770", pcharTitle); }

// Memory in the process that owns a window, for messages that carry pointers.
struct Driver_Remote {
    HANDLE handleProcess;
    char *pcharBase;
};

bool Driver_RemoteOpen(HWND hwnd, size_t sizeBytes, Driver_Remote *pstructRemote) {
    DWORD dwordProcess = 0;
    GetWindowThreadProcessId(hwnd, &dwordProcess);
    pstructRemote->handleProcess =
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, dwordProcess);
    if (pstructRemote->handleProcess == nullptr) return false;
    pstructRemote->pcharBase = static_cast<char *>(
        VirtualAllocEx(pstructRemote->handleProcess, nullptr, sizeBytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    return pstructRemote->pcharBase != nullptr;
}

void Driver_RemoteClose(Driver_Remote *pstructRemote) {
    if (pstructRemote->pcharBase != nullptr) {
        VirtualFreeEx(pstructRemote->handleProcess, pstructRemote->pcharBase, 0, MEM_RELEASE);
    }
    if (pstructRemote->handleProcess != nullptr) CloseHandle(pstructRemote->handleProcess);
}

bool Driver_RemoteWrite(Driver_Remote *pstructRemote, size_t sizeOffset, const void *pvoidData, size_t sizeData) {
    SIZE_T sizeWritten = 0;
    return WriteProcessMemory(pstructRemote->handleProcess, pstructRemote->pcharBase + sizeOffset, pvoidData, sizeData,
                              &sizeWritten) &&
           sizeWritten == sizeData;
}

bool Driver_RemoteRead(Driver_Remote *pstructRemote, size_t sizeOffset, void *pvoidData, size_t sizeData) {
    SIZE_T sizeRead = 0;
    return ReadProcessMemory(pstructRemote->handleProcess, pstructRemote->pcharBase + sizeOffset, pvoidData, sizeData,
                             &sizeRead) &&
           sizeRead == sizeData;
}

HWND Driver_MainWindow(void) { return Driver_FindTitle(D_PCHAR_DRIVER_MAINWINDOW); }

HWND Driver_Sheet(long longSeconds) {
    return Driver_WaitFor(longSeconds, [] { return Driver_FindDialog(D_PCHAR_DRIVER_SHEET); });
}

HWND Driver_CurrentPageControl(HWND hwndSheet, int intControl) {
    HWND hwndPage = reinterpret_cast<HWND>(SendMessageA(hwndSheet, PSM_GETCURRENTPAGEHWND, 0, 0));
    return hwndPage != nullptr ? GetDlgItem(hwndPage, intControl) : nullptr;
}

// Presses a button of a dialog as a click would, without waiting for what it starts.
bool Driver_PressButton(HWND hwndDialog, int intButton) {
    HWND hwndButton = GetDlgItem(hwndDialog, intButton);
    return PostMessageA(hwndDialog, WM_COMMAND, MAKEWPARAM(intButton, BN_CLICKED), reinterpret_cast<LPARAM>(hwndButton));
}

int Driver_Fail(const char *pcharWhat) {
    printf("FAILED: %s\n", pcharWhat);
    return 1;
}

// Waits until a pop-up menu shows. Another process cannot read a menu's items under Wine, so the
// tests take the item states from the program's trace and the look of the menu from a screenshot.
int Driver_MenuWait(long longSeconds) {
    HWND hwndMenu = Driver_WaitFor(longSeconds, [] { return Driver_FindVisible("#32768", nullptr); });
    return hwndMenu != nullptr ? 0 : Driver_Fail("no menu");
}

int Driver_SheetTabs(void) {
    HWND hwndSheet = Driver_Sheet(30);
    if (hwndSheet == nullptr) return Driver_Fail("no sheet");
    HWND hwndTab = reinterpret_cast<HWND>(SendMessageA(hwndSheet, PSM_GETTABCONTROL, 0, 0));
    LRESULT lresultCount = SendMessageA(hwndTab, TCM_GETITEMCOUNT, 0, 0);
    Driver_Remote structRemote = {nullptr, nullptr};
    if (!Driver_RemoteOpen(hwndTab, 4096, &structRemote)) return Driver_Fail("remote memory");
    for (LRESULT lresultIndex = 0; lresultIndex < lresultCount; ++lresultIndex) {
        TCITEMA structItem;
        memset(&structItem, 0, sizeof(structItem));
        structItem.mask = TCIF_TEXT;
        structItem.pszText = structRemote.pcharBase + 1024;
        structItem.cchTextMax = 256;
        char charText[256] = "";
        Driver_RemoteWrite(&structRemote, 0, &structItem, sizeof(structItem));
        Driver_RemoteWrite(&structRemote, 1024, charText, sizeof(charText));
        SendMessageA(hwndTab, TCM_GETITEMA, static_cast<WPARAM>(lresultIndex), reinterpret_cast<LPARAM>(structRemote.pcharBase));
        Driver_RemoteRead(&structRemote, 1024, charText, sizeof(charText));
        charText[sizeof(charText) - 1] = '\0';
        printf("%s\n", charText);
    }
    Driver_RemoteClose(&structRemote);
    return 0;
}

// Adds a folder through the page's add button and the folder browser, which is told the path.
int Driver_SheetAddFolder(const char *pcharPath) {
    HWND hwndSheet = Driver_Sheet(30);
    if (hwndSheet == nullptr) return Driver_Fail("no sheet");
    HWND hwndPage = reinterpret_cast<HWND>(SendMessageA(hwndSheet, PSM_GETCURRENTPAGEHWND, 0, 0));
    if (!Driver_PressButton(hwndPage, 1019)) return Driver_Fail("add button");
    HWND hwndBrowser = Driver_WaitFor(30, [hwndSheet] { return Driver_FindVisible("#32770", nullptr, hwndSheet); });
    if (hwndBrowser == nullptr) return Driver_Fail("no folder browser");
    // The browser is told the path until its tree shows the folder selected (it fills the tree in its
    // own time).
    const char *pcharName = pcharPath;
    for (const char *pcharByte = pcharPath; *pcharByte != '\0'; ++pcharByte) {
        if (IsDBCSLeadByte(static_cast<BYTE>(*pcharByte)) && pcharByte[1] != '\0') {
            ++pcharByte;  // a double-byte character, whose second byte may be '\\'
        } else if (*pcharByte == '\\') {
            pcharName = pcharByte + 1;
        }
    }
    HWND hwndTree = FindWindowExA(hwndBrowser, nullptr, "SysTreeView32", nullptr);
    Driver_Remote structRemote = {nullptr, nullptr};
    if (hwndTree == nullptr || !Driver_RemoteOpen(hwndBrowser, 4096, &structRemote)) return Driver_Fail("remote memory");
    Driver_RemoteWrite(&structRemote, 0, pcharPath, strlen(pcharPath) + 1);
    bool boolSelected = false;
    for (int intTry = 0; intTry < 100 && !boolSelected; ++intTry) {
        Sleep(200);
        SendMessageA(hwndBrowser, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(structRemote.pcharBase));
        TVITEMA structItem;
        memset(&structItem, 0, sizeof(structItem));
        structItem.mask = TVIF_TEXT;
        structItem.hItem = reinterpret_cast<HTREEITEM>(SendMessageA(hwndTree, TVM_GETNEXTITEM, TVGN_CARET, 0));
        structItem.pszText = structRemote.pcharBase + 2048;
        structItem.cchTextMax = 1024;
        char charText[1024] = "";
        Driver_RemoteWrite(&structRemote, 1024, &structItem, sizeof(structItem));
        Driver_RemoteWrite(&structRemote, 2048, charText, sizeof(charText));
        SendMessageA(hwndTree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(structRemote.pcharBase + 1024));
        Driver_RemoteRead(&structRemote, 2048, charText, sizeof(charText));
        charText[sizeof(charText) - 1] = '\0';
        boolSelected = strcmp(charText, pcharName) == 0;
    }
    Driver_RemoteClose(&structRemote);
    if (!boolSelected) return Driver_Fail("the folder browser does not select the path");
    if (!Driver_PressButton(hwndBrowser, IDOK)) return Driver_Fail("OK of the folder browser");
    return 0;
}

// The items of a list box (the system carries the text back across the processes).
int Driver_SheetListBox(int intControl) {
    HWND hwndSheet = Driver_Sheet(30);
    if (hwndSheet == nullptr) return Driver_Fail("no sheet");
    HWND hwndList = Driver_CurrentPageControl(hwndSheet, intControl);
    LRESULT lresultCount = SendMessageA(hwndList, LB_GETCOUNT, 0, 0);
    for (LRESULT lresultIndex = 0; lresultIndex < lresultCount; ++lresultIndex) {
        WCHAR wcharText[1024] = L"";
        LRESULT lresultLength = SendMessageW(hwndList, LB_GETTEXTLEN, static_cast<WPARAM>(lresultIndex), 0);
        if (lresultLength < 0 || lresultLength >= 1024) return Driver_Fail("length");
        SendMessageW(hwndList, LB_GETTEXT, static_cast<WPARAM>(lresultIndex), reinterpret_cast<LPARAM>(wcharText));
        char charText[2048] = "";
        WideCharToMultiByte(CP_ACP, 0, wcharText, -1, charText, sizeof(charText), nullptr, nullptr);
        printf("%s\n", charText);
    }
    return 0;
}

int Driver_Run(int argc, char **argv) {
    if (argc < 2) return Driver_Fail("usage: driver ACTION ARGUMENTS...");
    std::string stringAction = argv[1];
    auto Argument = [argc, argv](int intIndex, const char *pcharDefault) {
        return intIndex < argc ? argv[intIndex] : pcharDefault;
    };
    long longSeconds = strtol(Argument(3, "60"), nullptr, 10);

    if (stringAction == "wait-window") {  // wait-window TITLE [SECONDS]
        const char *pcharTitle = Argument(2, D_PCHAR_DRIVER_MAINWINDOW);
        HWND hwnd = Driver_WaitFor(longSeconds, [pcharTitle] { return Driver_FindTitle(pcharTitle); });
        return hwnd != nullptr ? 0 : Driver_Fail("no window");
    }
    if (stringAction == "wait-gone") {  // wait-gone TITLE [SECONDS]
        const char *pcharTitle = Argument(2, D_PCHAR_DRIVER_MAINWINDOW);
        HWND hwnd = Driver_WaitFor(longSeconds, [pcharTitle] {
            return Driver_FindTitle(pcharTitle) == nullptr ? GetDesktopWindow() : nullptr;
        });
        return hwnd != nullptr ? 0 : Driver_Fail("window still there");
    }
    if (stringAction == "place") {  // place TITLE X Y: moves a top-level window; prints "W H X Y" of it
        HWND hwnd = Driver_WaitFor(30, [&argv] { return Driver_FindTitle(argv[2]); });
        if (argc < 5 || hwnd == nullptr) return Driver_Fail("no window");
        SetWindowPos(hwnd, HWND_TOP, atoi(argv[3]), atoi(argv[4]), 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        Sleep(300);
        RECT structRect;
        GetWindowRect(hwnd, &structRect);
        printf("%ld %ld %ld %ld\n", structRect.right - structRect.left, structRect.bottom - structRect.top,
               structRect.left, structRect.top);
        return 0;
    }
    if (stringAction == "exists") {  // exists TITLE: prints 1 or 0
        printf("%d\n", Driver_FindTitle(Argument(2, D_PCHAR_DRIVER_MAINWINDOW)) != nullptr ? 1 : 0);
        return 0;
    }
    if (stringAction == "command" || stringAction == "tray") {  // command ID... / tray MOUSEMESSAGE...
        HWND hwndMain = Driver_MainWindow();
        if (hwndMain == nullptr) return Driver_Fail("no main window");
        for (int intIndex = 2; intIndex < argc; ++intIndex) {
            WPARAM wparamValue = static_cast<WPARAM>(strtoul(argv[intIndex], nullptr, 0));
            BOOL boolPosted = stringAction == "command"
                                  ? PostMessageA(hwndMain, WM_COMMAND, wparamValue, 0)
                                  : PostMessageA(hwndMain, D_UINT_DRIVER_TRAYMESSAGE, 0, static_cast<LPARAM>(wparamValue));
            if (!boolPosted) return Driver_Fail("PostMessage");
        }
        return 0;
    }
    if (stringAction == "taskbar-created") {  // taskbar-created: as the shell tells when its taskbar is new
        HWND hwndMain = Driver_MainWindow();
        if (hwndMain == nullptr) return Driver_Fail("no main window");
        return PostMessageA(hwndMain, RegisterWindowMessageA("TaskbarCreated"), 0, 0) ? 0 : Driver_Fail("PostMessage");
    }
    if (stringAction == "commands-in-one-second") {  // commands-in-one-second ID ID: early in a second
        HWND hwndMain = Driver_MainWindow();
        if (hwndMain == nullptr || argc < 4) return Driver_Fail("no main window");
        SYSTEMTIME structNow;
        do {
            Sleep(10);
            GetSystemTime(&structNow);
        } while (structNow.wMilliseconds > 200);
        PostMessageA(hwndMain, WM_COMMAND, strtoul(argv[2], nullptr, 0), 0);
        PostMessageA(hwndMain, WM_COMMAND, strtoul(argv[3], nullptr, 0), 0);
        return 0;
    }
    if (stringAction == "menu-wait") return Driver_MenuWait(longSeconds);  // menu-wait [_ SECONDS]
    if (stringAction == "menu-open") {  // menu-open: prints 1 while a pop-up menu shows, else 0
        printf("%d\n", Driver_FindVisible("#32768", nullptr) != nullptr ? 1 : 0);
        return 0;
    }
    if (stringAction == "menu-close") {  // menu-close: ends the pop-up menu without a choice
        HWND hwndMenu = Driver_FindVisible("#32768", nullptr);
        if (hwndMenu == nullptr) return Driver_Fail("no menu");
        PostMessageA(hwndMenu, WM_KEYDOWN, VK_ESCAPE, 0);
        PostMessageA(hwndMenu, WM_KEYDOWN, VK_ESCAPE, 0);
        HWND hwndGone = Driver_WaitFor(30, [] {
            return Driver_FindVisible("#32768", nullptr) == nullptr ? GetDesktopWindow() : nullptr;
        });
        return hwndGone != nullptr ? 0 : Driver_Fail("menu still open");
    }
    if (stringAction == "dismiss") {  // dismiss TITLE [SECONDS [BUTTON]]: presses a box's button (OK)
        const char *pcharTitle = Argument(2, "");
        HWND hwndBox = Driver_WaitFor(longSeconds, [pcharTitle] { return Driver_FindDialog(pcharTitle); });
        if (hwndBox == nullptr) return Driver_Fail("no box");
        char charText[1024] = "";
        HWND hwndStatic = GetDlgItem(hwndBox, 0xFFFF);
        if (hwndStatic != nullptr) GetWindowTextA(hwndStatic, charText, sizeof(charText));
        printf("%s\n", charText);
        return Driver_PressButton(hwndBox, static_cast<int>(strtol(Argument(4, "1"), nullptr, 10))) ? 0
                                                                                                  : Driver_Fail("button");
    }
    if (stringAction == "sheet-tabs") return Driver_SheetTabs();
    if (stringAction == "sheet-page") {  // sheet-page INDEX: selects a page; prints the current index
        HWND hwndSheet = Driver_Sheet(30);
        if (hwndSheet == nullptr) return Driver_Fail("no sheet");
        if (argc > 2) SendMessageA(hwndSheet, PSM_SETCURSEL, strtoul(argv[2], nullptr, 10), 0);
        LRESULT lresultPage = SendMessageA(hwndSheet, PSM_GETCURRENTPAGEHWND, 0, 0);
        printf("%ld\n", static_cast<long>(SendMessageA(hwndSheet, PSM_HWNDTOINDEX, static_cast<WPARAM>(lresultPage), 0)));
        return 0;
    }
    if (stringAction == "sheet-get" || stringAction == "sheet-set") {  // sheet-get ID / sheet-set ID TEXT
        HWND hwndSheet = Driver_Sheet(30);
        if (hwndSheet == nullptr) return Driver_Fail("no sheet");
        HWND hwndControl = Driver_CurrentPageControl(hwndSheet, static_cast<int>(strtol(Argument(2, "0"), nullptr, 10)));
        if (hwndControl == nullptr) return Driver_Fail("no control");
        if (stringAction == "sheet-set") {
            SendMessageA(hwndControl, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Argument(3, "")));
        }
        char charText[1024] = "";
        SendMessageA(hwndControl, WM_GETTEXT, sizeof(charText), reinterpret_cast<LPARAM>(charText));
        printf("%s\n", charText);
        return 0;
    }
    if (stringAction == "sheet-address") {  // sheet-address [A B C D]: sets and prints the address control
        HWND hwndSheet = Driver_Sheet(30);
        if (hwndSheet == nullptr) return Driver_Fail("no sheet");
        HWND hwndAddress = Driver_CurrentPageControl(hwndSheet, 1023);
        if (hwndAddress == nullptr) return Driver_Fail("no address control");
        if (argc >= 6) {
            SendMessageA(hwndAddress, IPM_SETADDRESS, 0,
                         MAKEIPADDRESS(atoi(argv[2]), atoi(argv[3]), atoi(argv[4]), atoi(argv[5])));
        }
        char charText[64] = "";
        SendMessageA(hwndAddress, WM_GETTEXT, sizeof(charText), reinterpret_cast<LPARAM>(charText));
        printf("%s\n", charText);
        return 0;
    }
    if (stringAction == "sheet-add-folder") return Driver_SheetAddFolder(Argument(2, ""));
    if (stringAction == "sheet-list") return Driver_SheetListBox(static_cast<int>(strtol(Argument(2, "1025"), nullptr, 10)));
    if (stringAction == "sheet-apply-enabled") {  // sheet-apply-enabled: prints 1 when Apply can be pressed
        HWND hwndSheet = Driver_Sheet(30);
        if (hwndSheet == nullptr) return Driver_Fail("no sheet");
        constexpr int D_INT_DRIVER_APPLY_BUTTON = 0x3021;
        printf("%d\n", IsWindowEnabled(GetDlgItem(hwndSheet, D_INT_DRIVER_APPLY_BUTTON)) ? 1 : 0);
        return 0;
    }
    if (stringAction == "sheet-click") {  // sheet-click ID: clicks a button of the current page
        HWND hwndSheet = Driver_Sheet(30);
        if (hwndSheet == nullptr) return Driver_Fail("no sheet");
        HWND hwndPage = reinterpret_cast<HWND>(SendMessageA(hwndSheet, PSM_GETCURRENTPAGEHWND, 0, 0));
        return Driver_PressButton(hwndPage, static_cast<int>(strtol(Argument(2, "0"), nullptr, 10))) ? 0
                                                                                                   : Driver_Fail("button");
    }
    if (stringAction == "sheet-press") {  // sheet-press ok|cancel|apply
        HWND hwndSheet = Driver_Sheet(30);
        if (hwndSheet == nullptr) return Driver_Fail("no sheet");
        std::string stringButton = Argument(2, "ok");
        WPARAM wparamButton = stringButton == "cancel" ? PSBTN_CANCEL : stringButton == "apply" ? PSBTN_APPLYNOW : PSBTN_OK;
        return PostMessageA(hwndSheet, PSM_PRESSBUTTON, wparamButton, 0) ? 0 : Driver_Fail("PostMessage");
    }
    return Driver_Fail("unknown action");
}

}  // namespace

int main(int argc, char **argv) {
    int intResult = Driver_Run(argc, argv);
    fflush(stdout);
    return intResult;
}
