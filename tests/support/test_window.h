// The program's windows for tests and benchmarks: a hidden report list like
// the dialog's, and the dialog itself.
#pragma once

#include "table/refresh.h"
#include "table/table.h"

#include <string>

// A hidden top-level window holding the program's five-column report list.
// The parent answers cell texts through the program's FillCellText.
HWND CreateTestList(void);
void DestroyTestList(HWND list);

// The program's own dialog from its template, with an empty table and no
// row held; the first refresh has run when it returns. Its timer is stopped,
// or it would add refreshes whenever a message box stays open long enough:
// refreshes come only from the ticks a test sends.
HWND CreateMainDialog(void);

int RowCount(HWND list);
std::string CellText(HWND list, int row, int column);

// A real click, as the mouse gives one, at the middle of the row or of the
// space `down` rows' height below it; the row is scrolled into view first.
// The list has handled it when this returns.
bool ClickRow(HWND list, int row, int down = 0);

// Moves the dialog's last refresh 3 s into the past, as if the hold a click
// begins had run out: the next tick refreshes.
void LetHoldRunOut(void);

// How many cell texts the test list or the dialog has been asked for.
extern int CellTextRequests;
