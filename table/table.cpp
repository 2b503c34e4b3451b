// The process table, its refresh, and the one wrapper around
// GetProcessMemoryInfo.
#include "table.h"

#include <commctrl.h>

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
    return Table.Records + row;
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

static void ReadProcessFigures(ProcessRecord *record) {
    HANDLE process = OpenProcessHandle(PROCESS_QUERY_INFORMATION, record->ProcessId);
    if (!process) {
        record->MinWorkingSetSize = NOT_AVAILABLE;
        record->WorkingSetSize = NOT_AVAILABLE;
        record->MaxWorkingSetSize = NOT_AVAILABLE;
        return;
    }
    // A failed limits query leaves both at 0, which is what the row then shows.
    SIZE_T minimum = 0, maximum = 0;
    ReadWorkingSetLimits(process, &minimum, &maximum);
    record->MaxWorkingSetSize = BytesToPages(maximum);
    record->MinWorkingSetSize = BytesToPages(minimum);
    SIZE_T bytes = QueryWorkingSetBytes(process);
    record->WorkingSetSize = bytes == WORKING_SET_UNKNOWN ? NOT_AVAILABLE : BytesToPages(bytes);
    CloseProcessHandle(process);
}

// Scrolls the rebuilt list back to the row that was at the top before, as far
// as the new rows allow. In report view the scroll is in pixels, one row's
// height per row, and relative: with redraw off some list versions keep the
// old position through the emptying, others go back to the top.
static void RestoreTopRow(HWND list, int topRow) {
    int rows = topRow - (int)SendMessageA(list, LVM_GETTOPINDEX, 0, 0);
    RECT bounds;
    bounds.left = LVIR_BOUNDS;
    if (rows != 0 && SendMessageA(list, LVM_GETITEMRECT, 0, (LPARAM)&bounds)) {
        SendMessageA(list, LVM_SCROLL, 0, rows * (bounds.bottom - bounds.top));
    }
}

static void AutosizeNameColumns(HWND list) {
    SendMessageA(list, LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(LVSCW_AUTOSIZE, 0));
    SendMessageA(list, LVM_SETCOLUMNWIDTH, 1, MAKELPARAM(LVSCW_AUTOSIZE, 0));
}

void RefreshProcessTable(HWND list) {
    PROCESSENTRY32 entry;
    ZeroMemory(&entry, sizeof entry);
    entry.dwSize = sizeof entry;
    HANDLE snapshot = TakeProcessSnapshot();
    BOOL more = snapshot != INVALID_HANDLE_VALUE && ReadFirstProcess(snapshot, &entry);

    // The rebuild is painted once, at the end, and keeps the user's scroll
    // position; emptying the list would otherwise throw it back to the top.
    int topRow = (int)SendMessageA(list, LVM_GETTOPINDEX, 0, 0);
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);

    // The rows go before the old block does: a row left standing would ask
    // for its text from released memory.
    SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    if (!ResetProcessTable()) {
        more = FALSE;
    }

    LVITEMA row;
    ZeroMemory(&row, sizeof row);
    row.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM | LVIF_STATE;
    row.pszText = LPSTR_TEXTCALLBACKA;

    // When the heap refuses to grow the table, the refresh stops with the
    // processes that fit; the next tick tries again from 20 records.
    for (DWORD j = 0; more && MakeRoomForRecord(j); ++j) {
        ProcessRecord *record = Table.Records + j;
        FillProcessRecord(record, &entry);
        ReadProcessFigures(record);
        row.iItem = (int)j;
        if (SendMessageA(list, LVM_INSERTITEMA, 0, (LPARAM)&row) == -1) {
            ExitProcess((UINT)MessageBoxA(NULL, "Failed inserting item", NULL, MB_ICONERROR));
        }
        more = ReadNextProcess(snapshot, &entry);
    }

    if (snapshot != INVALID_HANDLE_VALUE) {
        CloseProcessHandle(snapshot);
    }
    RestoreTopRow(list, topRow);
    AutosizeNameColumns(list);
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, NULL, TRUE);
}
