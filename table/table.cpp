// The process table and the one wrapper around GetProcessMemoryInfo.
#include "table.h"

ProcessTable Table;
HANDLE TableHeap;
ProcessMemoryInfoFunction ProcessMemoryInfoEntry;

BOOL ResetProcessTable(void) {
    if (Table.Records) {
        HeapFree(TableHeap, 0, Table.Records);
    }
    Table.Records = (ProcessRecord *)HeapAlloc(TableHeap, HEAP_ZERO_MEMORY,
                                               INITIAL_TABLE_CAPACITY * sizeof(ProcessRecord));
    Table.Capacity = Table.Records ? INITIAL_TABLE_CAPACITY : 0;
    Table.Rows = 0;
    return Table.Records != NULL;
}

BOOL MakeRoomForRecord(DWORD filled) {
    if (filled != Table.Capacity) {
        return TRUE;
    }
    // A heap that cannot even give the first block leaves the table empty, and
    // an empty table has no room to double.
    if (Table.Capacity == 0) {
        return FALSE;
    }
    DWORD capacity = Table.Capacity * 2;
    ProcessRecord *records =
        (ProcessRecord *)HeapAlloc(TableHeap, HEAP_ZERO_MEMORY, capacity * sizeof(ProcessRecord));
    if (!records) {
        return FALSE;
    }
    CopyMemory(records, Table.Records, filled * sizeof(ProcessRecord));
    HeapFree(TableHeap, 0, Table.Records);
    Table.Records = records;
    Table.Capacity = capacity;
    return TRUE;
}

void FillProcessRecord(ProcessRecord *record, const PROCESSENTRY32 *entry) {
    record->ProcessId = entry->th32ProcessID;
    // The snapshot's name need not be terminated within its 260 bytes, so the
    // copy reads at most 98 characters of it.
    lstrcpynA(record->ImageName, entry->szExeFile, IMAGE_NAME_MAX_CHARS + 1);
    record->ImageName[IMAGE_NAME_BYTES - 1] = 0;
}

ProcessRecord *LookUpRecord(int row) {
    return (DWORD)row < Table.Rows ? Table.Records + row : NULL;
}

#ifndef _WIN64
static_assert(sizeof(PROCESSENTRY32) == 296, "32-bit snapshot entry");
static_assert(sizeof(PROCESS_MEMORY_COUNTERS) == 40, "32-bit memory counters");
#endif
static_assert(sizeof(ProcessRecord) == 116, "records are the same on every build");

SIZE_T QueryWorkingSetBytes(HANDLE process) {
    PROCESS_MEMORY_COUNTERS counters;
    ZeroMemory(&counters, sizeof counters);
    counters.cb = sizeof counters;
    if (!ProcessMemoryInfoEntry(process, &counters, sizeof counters)) {
        return WORKING_SET_UNKNOWN;
    }
    return counters.WorkingSetSize;
}
