// Program start: common controls, debug privilege, the late-bound
// GetProcessMemoryInfo, then the modal dialog for the rest of the run.
#include "app.h"

#include <commctrl.h>

#include "res/ids.h"
#include "table/table.h"
#include "ui/ui.h"

void EnableDebugPrivilege(void) {
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        return;
    }
    TOKEN_PRIVILEGES privileges;
    if (LookupPrivilegeValueA(NULL, "SeDebugPrivilege", &privileges.Privileges[0].Luid)) {
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        // A user without the privilege gets ERROR_NOT_ALL_ASSIGNED; the
        // program runs all the same with the user's own rights.
        AdjustTokenPrivileges(token, FALSE, &privileges, sizeof privileges, NULL, NULL);
    }
    CloseHandle(token);
}

// By its bare name psapi.dll would be looked for in the program's own folder
// first, where anyone could have put one; the system folder's is the real one.
static HMODULE LoadSystemPsapi(void) {
    static const char NAME[] = "\\psapi.dll";
    char path[MAX_PATH + sizeof NAME];
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return NULL;
    }
    lstrcpyA(path + length, NAME);
    return LoadLibraryA(path);
}

extern "C" void ProgramEntry(void) {
    InitCommonControls();
    EnableDebugPrivilege();
    // psapi.dll is bound late so that the program still says what is wrong on
    // a system without it, instead of failing to load.
    HMODULE psapi = LoadSystemPsapi();
    if (!psapi) {
        MessageBoxA(NULL, "Cannot load psapi.dll", NULL, MB_ICONERROR);
        ExitProcess(0);
    }
    ProcessMemoryInfoEntry =
        (ProcessMemoryInfoFunction)(void *)GetProcAddress(psapi, "GetProcessMemoryInfo");
    if (!ProcessMemoryInfoEntry) {
        MessageBoxA(NULL, "Cannot find GetProcessMemoryInfo in psapi.dll", NULL, MB_ICONERROR);
        ExitProcess(0);
    }
    // Nothing calls EndDialog: the dialog ends the process itself, so this
    // returns only when the dialog could not be made.
    ExitProcess((UINT)DialogBoxParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_MAIN), NULL,
                                      MainDlgProc, 0));
}
