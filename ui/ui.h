// Main window: the dialog procedure, the list's columns and cell texts, the
// refresh policy and the About entry.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "table/refresh.h"
#include "table/table.h"
#include "trim/message_text.h"

enum {
    REFRESH_PERIOD_MS = 1000,
    SELECTION_HOLD_MS = 3000,
    INITIAL_COLUMN_WIDTH = 100,
    // Columns 0..3 are fitted to their headers at start; the last is not, as
    // that fit stretches the last column to the list's right edge.
    HEADER_FITTED_COLUMNS = 4,
};

extern HWND ProcessList;
extern ListState ProcessListState;
extern int SelectedRow;
extern DWORD LastRefreshTick;

struct ColumnTitles {
    int Count;
    const char *Title[5];
};
extern const ColumnTitles ColumnTable;

INT_PTR CALLBACK MainDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// 1 when every column went in, 0 at the first the list refused.
int InsertColumns(const ColumnTitles *columns, HWND list);

// Answers LVN_GETDISPINFOA from the process table, through MessageText.
void FillCellText(NMLVDISPINFOA *displayInfo);

// A tick refreshes unless a clicked row is being held, and the hold ends
// 3000 ms after the last refresh. The difference is unsigned so that the tick
// counter's wrap-around does no harm.
inline BOOL RefreshIsDue(int selectedRow, DWORD now, DWORD lastRefreshTick) {
    return selectedRow == NO_ROW || now - lastRefreshTick >= SELECTION_HOLD_MS;
}

extern const char AboutText[];

// Appends a separator and "&About" to the system menu.
void InstallAboutEntry(HWND hwnd);
void ShowAboutBox(HWND hwnd);
