// The end-to-end driver's hands and eyes: reads and works the program's list
// from outside its process.
#pragma once

#include "boxes.h"
#include "children.h"

#include <windows.h>

#include <string>
#include <vector>

enum {
    COLUMN_COUNT = 5,
    REFRESH_PERIOD_MS = 1000,
    SELECTION_HOLD_MS = 3000,
    POLL_MS = 10,
    START_TIMEOUT_MS = 20000, // a first start in a fresh prefix is slow
    EXIT_TIMEOUT_MS = 5000,
    REFRESH_TIMEOUT_MS = SELECTION_HOLD_MS + 2 * REFRESH_PERIOD_MS, // even through a hold
    REMOTE_BLOCK_BYTES = 4096,
    ROW_MARK = 0x5EED,
};

std::string Format(const char *format, ...);
DWORD Since(DWORD tick);

// How many times slower than a usual machine this one runs the program (1 to
// 8; 1 until measured). The waits that only bound how long an event may take
// are Scaled; the checks of the program's own timing are not.
extern DWORD Slowness;
DWORD Scaled(DWORD ms);

// The program under test and its list. List-view messages carry no marshalled
// pointers: their structures and texts live in a block allocated in the
// program's own address space.
struct Program {
    PROCESS_INFORMATION info;
    HWND dialog, list;
    char *remote;
    DWORD startMs; // until the dialog showed
};

// The list's answer; -1 when none came.
LRESULT AskList(const Program &program, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
bool ReadColumn(const Program &program, int column, std::string *title, int *format);
std::string CellText(const Program &program, int row, int column);

struct Row {
    std::string cell[COLUMN_COUNT];
};

std::vector<Row> ReadRows(const Program &program, int columns = COLUMN_COUNT);
// The rows of one rebuild: read again when a rebuild came in between.
std::vector<Row> ReadSteadyRows(const Program &program, int columns = COLUMN_COUNT);
int FindRow(const std::vector<Row> &rows, DWORD processId);

// Every rebuild inserts fresh rows with item data 0, so a mark in row 0's item
// data survives exactly until the next rebuild.
bool MarkRow(const Program &program, int row = 0, LPARAM mark = ROW_MARK);
bool RowMarked(const Program &program, int row = 0, LPARAM mark = ROW_MARK);

// Waits until the program has handled what the driver posted to it so far;
// false when the list was rebuilt since row 0 was marked, or no answer came.
bool HandledBeforeRebuild(const Program &program);

// Polls until row 0 loses its mark or `limit` ms from `since` have passed,
// and returns the ms from `since`. `gap` is how long before that the mark
// was last seen: how late a rebuild may have been noticed.
DWORD WaitForRebuild(const Program &program, DWORD since, DWORD limit, DWORD *gap);

// Waits for the next rebuild, which also ends any hold a click left; `tick`
// is taken just after it, and `gap` is as above (each when asked for). False
// when none comes.
bool WaitForRefresh(const Program &program, DWORD *tick = NULL, DWORD *gap = NULL);
// Sets Slowness from how long the program took to show its dialog and how
// long its refreshes keep the driver waiting, the longest of which it returns.
DWORD MeasureSlowness(const Program &program);
// Polls until the process has a row (or none); the time it took, or -1.
long WaitForRow(const Program &program, DWORD processId, bool present, DWORD ms);

bool PostClick(const Program &program, POINT at);
// The middle of the row's visible part, or of the space `down` rows' height
// below it, in the list's client coordinates; false when not in view.
bool RowCentre(const Program &program, int row, int down, POINT *centre);
// Scrolls the row into view first: other processes may have pushed it down.
bool ClickRow(const Program &program, int row);
