// The program's own process operations, built here with the two calls that
// faults break renamed, so that the faulty ones below can stand in their
// place and still call them: a process ended right after the snapshot was
// taken, and a process whose queries fail. Everything else, the memory
// figures' fallback included, is the program's code.
#include "faulty_process_ops.h"

#define ReadFirstProcess ProgramReadFirstProcess
#define ReadWorkingSetLimits ProgramReadWorkingSetLimits
#include "table/process_ops.cpp"
#undef ReadFirstProcess
#undef ReadWorkingSetLimits

FaultPlan Faults;

BOOL ReadFirstProcess(HANDLE snapshot, PROCESSENTRY32 *entry) {
    BOOL read = ProgramReadFirstProcess(snapshot, entry);
    // The snapshot still lists the process; its open comes too late.
    if (Faults.endAfterSnapshot) {
        TerminateProcess(Faults.endAfterSnapshot, 1);
        WaitForSingleObject(Faults.endAfterSnapshot, 5000);
        Faults.endAfterSnapshot = NULL;
    }
    return read;
}

static BOOL QueriesFail(HANDLE process) {
    if (Faults.failingQueries && GetProcessId(process) == Faults.failingQueries) {
        SetLastError(ERROR_ACCESS_DENIED);
        return TRUE;
    }
    return FALSE;
}

BOOL ReadWorkingSetLimits(HANDLE process, SIZE_T *minimum, SIZE_T *maximum) {
    return !QueriesFail(process) && ProgramReadWorkingSetLimits(process, minimum, maximum);
}

BOOL WINAPI FaultyProcessMemoryInfo(HANDLE process, PPROCESS_MEMORY_COUNTERS counters, DWORD cb) {
    return !QueriesFail(process) && GetProcessMemoryInfo(process, counters, cb);
}
