// The About entry at the end of the system menu, and its box.
#include "ui.h"

#include "res/ids.h"
#include "res/program.h"

// Lines 3 and 4 are windows-1251 bytes, handed as they are to the 8-bit
// message box.
const char AboutText[] = PROGRAM_NAME
    " v" PROGRAM_VERSION "\n"
    "Ferrowin project, 2026\n"
    "\xcf\xf0\xee\xe3\xf0\xe0\xec\xec\xe0 \xe4\xe5\xec\xee\xed\xf1\xf2\xf0\xe8\xf0\xf3\xe5\xf2 "
    "\xf3\xf1\xe5\xf7\xe5\xed\xe8\xe5 \xf0\xe0\xe1\xee\xf7\xe8\xf5 \xed\xe0\xe1\xee\xf0\xee\xe2 "
    "\xe8\xe7 \xef\xee\xeb\xfc\xe7\xee\xe2\xe0\xf2\xe5\xeb\xfc\xf1\xea\xee\xe3\xee "
    "\xf0\xe5\xe6\xe8\xec\xe0. \n"
    "\xcf\xf0\xe8\xeb\xee\xe6\xe5\xed\xe8\xe5 \xea \xf1\xf2\xe0\xf2\xfc\xe5 \xee\xe1 "
    "\xf3\xef\xf0\xe0\xe2\xeb\xe5\xed\xe8\xe8 \xef\xe0\xec\xff\xf2\xfc\xfe.";

void InstallAboutEntry(HWND hwnd) {
    HMENU menu = GetSystemMenu(hwnd, FALSE);
    InsertMenuA(menu, (UINT)-1, MF_SEPARATOR | MF_BYPOSITION, 0, NULL);
    InsertMenuA(menu, (UINT)-1, MF_BYPOSITION | MF_STRING, IDM_ABOUT, "&About");
}

void ShowAboutBox(HWND hwnd) {
    MessageBoxA(hwnd, AboutText, PROGRAM_NAME, MB_ICONINFORMATION);
}
