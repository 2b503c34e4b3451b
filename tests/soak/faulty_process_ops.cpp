// The real process operations with faults a test can switch on: a process
// ended right after the snapshot was taken, and a process whose queries fail.
#include "faulty_process_ops.h"

FaultPlan Faults;

HANDLE TakeProcessSnapshot(void) {
    return CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
}

BOOL ReadFirstProcess(HANDLE snapshot, PROCESSENTRY32 *entry) {
    BOOL read = Process32First(snapshot, entry);
    // The snapshot still lists the process; its open comes too late.
    if (Faults.endAfterSnapshot) {
        TerminateProcess(Faults.endAfterSnapshot, 1);
        WaitForSingleObject(Faults.endAfterSnapshot, 5000);
        Faults.endAfterSnapshot = NULL;
    }
    return read;
}

BOOL ReadNextProcess(HANDLE snapshot, PROCESSENTRY32 *entry) {
    return Process32Next(snapshot, entry);
}

HANDLE OpenProcessHandle(DWORD access, DWORD processId) {
    return OpenProcess(access, FALSE, processId);
}

static BOOL QueriesFail(HANDLE process) {
    if (Faults.failingQueries && GetProcessId(process) == Faults.failingQueries) {
        SetLastError(ERROR_ACCESS_DENIED);
        return TRUE;
    }
    return FALSE;
}

BOOL ReadWorkingSetLimits(HANDLE process, SIZE_T *minimum, SIZE_T *maximum) {
    return !QueriesFail(process) && GetProcessWorkingSetSize(process, minimum, maximum);
}

BOOL WINAPI FaultyProcessMemoryInfo(HANDLE process, PPROCESS_MEMORY_COUNTERS counters, DWORD cb) {
    return !QueriesFail(process) && GetProcessMemoryInfo(process, counters, cb);
}

BOOL TrimWorkingSet(HANDLE process) {
    return SetProcessWorkingSetSize(process, (SIZE_T)-1, (SIZE_T)-1);
}

BOOL CloseProcessHandle(HANDLE handle) {
    return CloseHandle(handle);
}

void ReadMemoryFigures(MemoryFigures *figures) {
    MEMORYSTATUSEX status = {};
    status.dwLength = sizeof status;
    GlobalMemoryStatusEx(&status);
    figures->AvailPhys = status.ullAvailPhys;
    figures->AvailPageFile = status.ullAvailPageFile;
}
