// Shared by the refresh benchmarks: the program's own dialog as the list's
// parent, the clock, the list-only parts of a refresh, and the printed table.
#pragma once

#include <windows.h>

#include <vector>

// The program's dialog from its template and MainDlgProc, created hidden and
// with its refresh timer stopped, so that only the benchmark refreshes it.
// The process operations must be ready: WM_INITDIALOG refreshes once.
HWND CreateBenchDialog(void);
HWND BenchList(HWND dialog);
void ShowBenchDialog(HWND dialog);

// Handles whatever is queued (paints included) without waiting.
void PumpMessages(void);

double NowMs(void);
double Median(std::vector<double> samples);

// Cell texts the list asked the dialog for since the last call.
long TakeCellTextRequests(void);

// The list's share of a refresh, with the table as the last refresh left it:
// the same emptying, rows and scroll restore, but no process calls and no
// autosize.
void RebuildListOnly(HWND list);
// The two autosizes that end a refresh, with redraw off as there.
void AutosizeNameColumnsOnly(HWND list);
// Redraw off and on again, nothing between: the fixed cost the two above
// each include once.
void ToggleRedrawOnly(HWND list);

void PrintTableHeader(void);
// One measurement: median time over `runs`, per process, and the cell texts
// asked for per run (negative: not counted).
void PrintTableRow(const char *what, int processes, int runs, double medianMs, double textsPerRun);
