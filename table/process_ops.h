// Process operations. Every call the program makes on other processes and on
// system memory goes through these, so that tests can link a scripted stand-in
// in place of the real module.
#pragma once

#include <windows.h>
#include <tlhelp32.h>

HANDLE TakeProcessSnapshot(void);
BOOL ReadFirstProcess(HANDLE snapshot, PROCESSENTRY32 *entry);
BOOL ReadNextProcess(HANDLE snapshot, PROCESSENTRY32 *entry);
HANDLE OpenProcessHandle(DWORD access, DWORD processId);
BOOL ReadWorkingSetLimits(HANDLE process, SIZE_T *minimum, SIZE_T *maximum);
BOOL TrimWorkingSet(HANDLE process);
BOOL CloseProcessHandle(HANDLE handle);

// Free physical memory and free page-file commit, in bytes.
struct MemoryFigures {
    ULONGLONG AvailPhys;
    ULONGLONG AvailPageFile;
};
void ReadMemoryFigures(MemoryFigures *figures);
