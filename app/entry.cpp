// Program start: the stack protector's guard, common controls, debug
// privilege, the late-bound GetProcessMemoryInfo, then the modal dialog for
// the rest of the run.
#include "app.h"

#include "app/stack_check.h"
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

// By its bare name a DLL that is not one of the system's known DLLs is looked
// for in the program's own folder first, where anyone could have put one: each
// is loaded from the system folder by its full path. NAME starts with '\\'.
static HMODULE LoadSystemLibrary(const char *name) {
    char path[MAX_PATH + 16];
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return NULL;
    }
    lstrcpyA(path + length, name);
    return LoadLibraryA(path);
}

// The start once the guard is settled: its frame may be protected.
static __attribute__((noinline, noreturn)) void StartProgram(void) {
    // InitCommonControls, ordinal 17, registers the list view class. Without
    // the system's comctl32 the dialog could not be made, and the program
    // ends as it does then.
    HMODULE comctl32 = LoadSystemLibrary("\\comctl32.dll");
    FARPROC initCommonControls = comctl32 ? GetProcAddress(comctl32, MAKEINTRESOURCEA(17)) : NULL;
    if (!initCommonControls) {
        ExitProcess((UINT)-1);
    }
    ((void(WINAPI *)(void))(void *)initCommonControls)();
    EnableDebugPrivilege();
    // psapi.dll is bound late so that the program still says what is wrong on
    // a system without it, instead of failing to load.
    HMODULE psapi = LoadSystemLibrary("\\psapi.dll");
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

// Unprotected, and StartProgram is never inlined into it: a frame set up
// before InitSecurityCookie changed the guard would fail its check.
extern "C" __attribute__((no_stack_protector)) void ProgramEntry(void) {
    InitSecurityCookie();
    StartProgram();
}
