// Process table: the processes the last refresh saw, one record each.
#pragma once

#include <windows.h>
#include <tlhelp32.h>
#include <psapi.h>

enum {
    PAGE_SHIFT = 12,
    IMAGE_NAME_BYTES = 100,
    IMAGE_NAME_MAX_CHARS = IMAGE_NAME_BYTES - 2, // 98 characters, then at least two zeros
    INITIAL_TABLE_CAPACITY = 20,
    NO_ROW = -1, // no row clicked, or the click missed every row
};

const DWORD NOT_AVAILABLE = 0xFFFFFFFF;

// What QueryWorkingSetBytes answers when the query failed. A real working set
// of exactly this many bytes reads the same and is taken as a failure.
const SIZE_T WORKING_SET_UNKNOWN = 0xFFFFFFFF;

// Figures are in 4096-byte pages, or NOT_AVAILABLE. The field names follow the
// column titles, although they hold pages rather than bytes.
struct ProcessRecord {
    DWORD ProcessId;
    char ImageName[IMAGE_NAME_BYTES];
    DWORD MinWorkingSetSize;
    DWORD WorkingSetSize;
    DWORD MaxWorkingSetSize;
};

// Records 0..Rows-1 are filled, Rows being the list's row count after the
// last refresh; records Rows..Capacity-1 are all zero.
struct ProcessTable {
    ProcessRecord *Records;
    DWORD Capacity;
    DWORD Rows;
};

extern ProcessTable Table;

// The heap the table's blocks come from; the dialog sets it at start.
extern HANDLE TableHeap;

// Releases the block and takes a fresh zero-filled one of 20 records.
// FALSE when the heap refused: the table is then empty (no block, capacity 0).
BOOL ResetProcessTable(void);

// Called before record `filled` is written. Doubles the block when it is full.
// FALSE when the heap refused: the old block and its records stay as they were.
BOOL MakeRoomForRecord(DWORD filled);

// Identifier and name of a record from a snapshot entry; the name is cut to 98
// characters and byte 99 is always 0.
void FillProcessRecord(ProcessRecord *record, const PROCESSENTRY32 *entry);

// The record of a row, or NULL for a row the table does not hold (NO_ROW, or
// a row number from before a rebuild that shrank the list).
ProcessRecord *LookUpRecord(int row);

// GetProcessMemoryInfo, resolved from psapi.dll at start; reached only from
// QueryWorkingSetBytes.
typedef BOOL(WINAPI *ProcessMemoryInfoFunction)(HANDLE, PPROCESS_MEMORY_COUNTERS, DWORD);
extern ProcessMemoryInfoFunction ProcessMemoryInfoEntry;

// Current working-set size in bytes, or WORKING_SET_UNKNOWN. A 64-bit build
// sees the whole size; a 32-bit one only what fits in 32 bits.
SIZE_T QueryWorkingSetBytes(HANDLE process);

// Byte count to whole pages, rounding down.
inline DWORD BytesToPages(SIZE_T bytes) {
    return (DWORD)(bytes >> PAGE_SHIFT);
}
