// The settings sheet: three pages that edit the settings record, then the record saved to config.ini.
#pragma once

#include <windows.h>

// Shows the sheet modally, owned by the main window; saves the record whatever was pressed. 0 when it
// was saved, -1 when the save failed.
int Config_CreateWindow(void);

INT_PTR CALLBACK Config_DialogProcConfigWindowPropertySheet1(HWND hwndPage, UINT uintMessage, WPARAM wparam,
                                                             LPARAM lparam);
INT_PTR CALLBACK Config_DialogProcConfigWindowPropertySheet2(HWND hwndPage, UINT uintMessage, WPARAM wparam,
                                                             LPARAM lparam);
INT_PTR CALLBACK Config_DialogProcConfigWindowPropertySheet3(HWND hwndPage, UINT uintMessage, WPARAM wparam,
                                                             LPARAM lparam);
