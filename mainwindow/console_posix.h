// The console stand-in for the tray: the terminal and the signals take the place of the tray menu, and
// balloons are printed on standard error.
#pragma once

// 1 while the server is started, as the tray menu would show it.
extern long longServerRunning;

// Runs the console until the program is to end; the exit code is stored. 0, or -1 when the console
// cannot be set up.
int MainWindow_CreateMainWindow(long *plongExitCode);
