// The real process operations: thin calls into the platform. Tests link a
// scripted stand-in in place of this file.
#include "process_ops.h"

HANDLE TakeProcessSnapshot(void) {
    return CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
}

BOOL ReadFirstProcess(HANDLE snapshot, PROCESSENTRY32 *entry) {
    return Process32First(snapshot, entry);
}

BOOL ReadNextProcess(HANDLE snapshot, PROCESSENTRY32 *entry) {
    return Process32Next(snapshot, entry);
}

HANDLE OpenProcessHandle(DWORD access, DWORD processId) {
    return OpenProcess(access, FALSE, processId);
}

BOOL ReadWorkingSetLimits(HANDLE process, SIZE_T *minimum, SIZE_T *maximum) {
    return GetProcessWorkingSetSize(process, minimum, maximum);
}

BOOL TrimWorkingSet(HANDLE process) {
    return SetProcessWorkingSetSize(process, (SIZE_T)-1, (SIZE_T)-1);
}

BOOL CloseProcessHandle(HANDLE handle) {
    return CloseHandle(handle);
}

#ifndef _WIN64
static_assert(sizeof(MEMORYSTATUS) == 32, "32-bit memory status");
#endif

typedef BOOL(WINAPI *MemoryStatusExFunction)(LPMEMORYSTATUSEX);

// GlobalMemoryStatus saturates at 2 GB (4 GB at most) in a 32-bit process, so
// the 64-bit figures are taken where the platform has them. It is resolved at
// run time because the oldest systems lack it.
void ReadMemoryFigures(MemoryFigures *figures) {
    MemoryStatusExFunction statusEx = (MemoryStatusExFunction)(void *)GetProcAddress(
        GetModuleHandleA("kernel32.dll"), "GlobalMemoryStatusEx");
    if (statusEx) {
        MEMORYSTATUSEX status;
        ZeroMemory(&status, sizeof status);
        status.dwLength = sizeof status;
        if (statusEx(&status)) {
            figures->AvailPhys = status.ullAvailPhys;
            figures->AvailPageFile = status.ullAvailPageFile;
            return;
        }
    }
    MEMORYSTATUS status;
    ZeroMemory(&status, sizeof status);
    status.dwLength = sizeof status;
    GlobalMemoryStatus(&status);
    figures->AvailPhys = status.dwAvailPhys;
    figures->AvailPageFile = status.dwAvailPageFile;
}
