// The Windows program's entry: what the rest of the program takes from it.
#pragma once

#include <windows.h>

// The executable's instance handle, kept before anything else runs; resources are loaded through it.
extern HINSTANCE hinstanceApplication;

int WinMain_InitializeApplication(void);
int WinMain_FinalizeApplication(void);
