// The refresh: the table from a fresh snapshot, the list's rows from the
// table, and as little measuring and repainting as the change allows.
#include "refresh.h"

#include <commctrl.h>

#include "process_ops.h"
#include "table.h"

static HWND ListHeader(HWND list) {
    return (HWND)SendMessageA(list, LVM_GETHEADER, 0, 0);
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

static void TakeListView(HWND list, ListView *view) {
    view->rows = (int)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
    view->topRow = (int)SendMessageA(list, LVM_GETTOPINDEX, 0, 0);
    view->shown = (int)SendMessageA(list, LVM_GETCOUNTPERPAGE, 0, 0) + 1;
    view->scrolledAcross = GetScrollPos(list, SB_HORZ);
    view->selected = (int)SendMessageA(list, LVM_GETSELECTEDCOUNT, 0, 0);
    view->focused = (int)SendMessageA(list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_FOCUSED);
    GetClientRect(list, &view->client);
    for (int i = 0; i < LIST_COLUMNS; ++i) {
        view->widths[i] = (int)SendMessageA(list, LVM_GETCOLUMNWIDTH, i, 0);
    }
}

// Bounds of the repaint due in a window; empty when none is, or when there is
// no such window (a list without a header): a rectangle left unset here
// would be invalidated later, and InvalidateRect(NULL, ...) invalidates every
// window on the desktop.
static RECT RepaintDue(HWND window) {
    RECT due = {0, 0, 0, 0};
    if (window) {
        GetUpdateRect(window, &due, FALSE);
    }
    return due;
}

// What is due in the list and its header just before redraw comes back on:
// what was due before the rebuild, and what was damaged while redraw was off,
// such as by a window uncovering the list on a desktop without composition or
// by another program's RedrawWindow. Nothing paints the list in between but a
// restoring scroll, after which the list is repainted whole anyway. The bounds
// stand in for the update regions themselves, which would take gdi32 regions
// to hold. Where turning redraw off hid the list, such damage lands in the
// dialog's update region instead: TRUE when the dialog is due at all, and
// then the list is repainted whole (between ticks the dialog has painted
// itself, so that is rare).
static BOOL TakeRepaintDue(HWND list, ListPicture *picture) {
    picture->pending = RepaintDue(list);
    picture->headerPending = RepaintDue(ListHeader(list));
    return GetUpdateRect(GetParent(list), NULL, FALSE);
}

static BOOL SameBytes(const void *a, const void *b, DWORD size) {
    const BYTE *x = (const BYTE *)a, *y = (const BYTE *)b;
    while (size && *x == *y) {
        ++x, ++y, --size;
    }
    return size == 0;
}

// Scrolls the rebuilt list back to where the user had it: the row that was at
// the top before and the same distance across, as far as the new rows and
// widths allow. In report view the scroll is in pixels, one row's height per
// row, and relative: with redraw off some list versions keep the old position
// through the emptying, others go back to the top left. TRUE when it had to
// scroll: some lists move the bits on screen then, redraw off or not, so what
// the screen shows no longer follows from what it showed before.
static BOOL RestoreScroll(HWND list, const ListView *view) {
    int across = view->scrolledAcross - GetScrollPos(list, SB_HORZ);
    int rows = view->topRow - (int)SendMessageA(list, LVM_GETTOPINDEX, 0, 0);
    RECT bounds = {LVIR_BOUNDS, 0, 0, 0};
    if (rows && !SendMessageA(list, LVM_GETITEMRECT, 0, (LPARAM)&bounds)) {
        rows = 0;
    }
    if (rows == 0 && across == 0) {
        return FALSE;
    }
    SendMessageA(list, LVM_SCROLL, across, rows * (bounds.bottom - bounds.top));
    return TRUE;
}

// Autosizes a name column when one of its texts changed or the user has
// dragged it away from its fitted width: autosizing asks for every cell's text.
static void FitNameColumn(HWND list, int column, BOOL textsChanged, int *fitted) {
    if (!textsChanged && (int)SendMessageA(list, LVM_GETCOLUMNWIDTH, column, 0) == *fitted) {
        return;
    }
    SendMessageA(list, LVM_SETCOLUMNWIDTH, column, MAKELPARAM(LVSCW_AUTOSIZE, 0));
    *fitted = (int)SendMessageA(list, LVM_GETCOLUMNWIDTH, column, 0);
}

static void InvalidateRow(HWND list, int row) {
    RECT bounds;
    bounds.left = LVIR_BOUNDS;
    if (SendMessageA(list, LVM_GETITEMRECT, row, (LPARAM)&bounds)) {
        InvalidateRect(list, &bounds, TRUE);
    }
}

// With the view unchanged, leaves only the rows on screen whose texts changed
// to be repainted, and what was due before, in the list and in its header.
// Redraw coming back on has left both due whole; the list has no
// WS_CLIPCHILDREN, so validating it validates the header too.
static void RepaintChangedRows(HWND list, const ListPicture *before,
                               const ProcessRecord *previous) {
    RedrawWindow(list, NULL, NULL, RDW_VALIDATE | RDW_ALLCHILDREN);
    InvalidateRect(list, &before->pending, TRUE);
    HWND header = ListHeader(list);
    if (header) {
        InvalidateRect(header, &before->headerPending, TRUE);
    }
    for (int i = 0; i < before->view.shown; ++i) {
        int row = before->view.topRow + i;
        if (row < before->view.rows &&
            !SameBytes(previous + row, Table.Records + row, sizeof(ProcessRecord))) {
            InvalidateRow(list, row);
        }
    }
}

void RefreshProcessTable(HWND list, ListState *state) {
    // Ticks still arrive while the insert-failure box is open; a refresh then
    // would fail again and open another box.
    if (state->ending) {
        return;
    }
    ListPicture before;
    PROCESSENTRY32 entry;
    ZeroMemory(&entry, sizeof entry);
    entry.dwSize = sizeof entry;
    HANDLE snapshot = TakeProcessSnapshot();
    BOOL more = snapshot != INVALID_HANDLE_VALUE && ReadFirstProcess(snapshot, &entry);

    // The rebuild is painted once, at the end, and keeps the user's scroll
    // position; emptying the list would otherwise throw it back to the top.
    TakeListView(list, &before.view);
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);

    // The rows go before the old block does: a row left standing would ask
    // for its text from released memory. The block itself stays until the
    // end of the refresh, to tell which texts changed, unless the heap needs
    // its room.
    SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    ProcessRecord *previous = Table.Records;
    Table.Records = NULL;
    if (!ResetProcessTable() && previous) {
        HeapFree(TableHeap, 0, previous);
        previous = NULL;
        ResetProcessTable();
    }
    more = more && Table.Records;

    LVITEMA row;
    ZeroMemory(&row, sizeof row);
    row.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM | LVIF_STATE;
    row.pszText = LPSTR_TEXTCALLBACKA;

    // When the heap refuses to grow the table, the refresh stops with the
    // processes that fit; the next tick tries again from 20 records.
    int rows = 0;
    for (; more && MakeRoomForRecord((DWORD)rows); ++rows) {
        ProcessRecord *record = Table.Records + rows;
        FillProcessRecord(record, &entry);
        ReadProcessFigures(record);
        // Counted before the insert: the list may ask for the row's texts.
        Table.Rows = (DWORD)rows + 1;
        row.iItem = rows;
        if (SendMessageA(list, LVM_INSERTITEMA, 0, (LPARAM)&row) == -1) {
            state->ending = TRUE;
            ExitProcess((UINT)MessageBoxA(NULL, "Failed inserting item", NULL, MB_ICONERROR));
        }
        more = ReadNextProcess(snapshot, &entry);
    }
    if (snapshot != INVALID_HANDLE_VALUE) {
        CloseProcessHandle(snapshot);
    }

    BOOL idsChanged = !previous || rows != before.view.rows;
    BOOL namesChanged = idsChanged;
    for (int i = 0; i < rows && !(idsChanged && namesChanged); ++i) {
        idsChanged = idsChanged || previous[i].ProcessId != Table.Records[i].ProcessId;
        namesChanged = namesChanged || !SameBytes(previous[i].ImageName, Table.Records[i].ImageName,
                                                  IMAGE_NAME_BYTES);
    }
    FitNameColumn(list, 0, idsChanged, &state->fittedWidth[0]);
    FitNameColumn(list, 1, namesChanged, &state->fittedWidth[1]);
    BOOL scrolled = RestoreScroll(list, &before.view);
    BOOL dialogDue = TakeRepaintDue(list, &before);

    // What moved is known only once redraw is back on: the list then fits its
    // scroll position and bars to the new rows.
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    ListView after;
    TakeListView(list, &after);
    if (previous && !scrolled && !dialogDue && SameBytes(&before.view, &after, sizeof after)) {
        RepaintChangedRows(list, &before, previous);
    } else {
        RedrawWindow(list, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
    }
    if (previous) {
        HeapFree(TableHeap, 0, previous);
    }
}
