// Resource, control, command and timer ids, shared by the program, the
// resource script and the end-to-end driver.
#pragma once

// Dialogs
#define IDD_MAIN 101

// Controls (IDOK 1 "Trim working set" and IDCANCEL 2 "Close" are the platform's)
#define IDC_PROCESS_LIST 1000
#define IDC_TRIM_ALL 1001

// System-menu commands. Only the system's own commands (SC_*, 0xF000 and up)
// carry flags in the low four bits of WM_SYSCOMMAND's wParam and are compared
// after masking with 0xFFF0. An item the program adds comes back with the id it
// was inserted with: IDM_ABOUT, 4 in its low bits, is compared whole, and lies
// below 0xF000, clear of the system's commands.
#define IDM_ABOUT 0x1234

// Timers
#define ID_REFRESH_TIMER 123
