// Resource, control, command and timer ids, shared by the program, the
// resource script and the end-to-end driver.
#pragma once

// Dialogs
#define IDD_MAIN 101

// Controls (IDOK 1 "Trim working set" and IDCANCEL 2 "Close" are the platform's)
#define IDC_PROCESS_LIST 1000
#define IDC_TRIM_ALL 1001

// System-menu commands. The system uses the low four bits of WM_SYSCOMMAND's
// wParam itself, so an application's command ids must have them clear.
#define IDM_ABOUT 0x1234

// Timers
#define ID_REFRESH_TIMER 123
