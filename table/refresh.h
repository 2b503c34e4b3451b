// The refresh: rebuilds the process table from a fresh snapshot and the list's
// rows to match, repainting only what changed on screen.
#pragma once

#include <windows.h>

enum {
    LIST_COLUMNS = 5,
    NAME_COLUMNS = 2, // PID and ImageName, the columns the refresh fits to their texts
};

// Where the rows stand on screen. While it stays the same, a row whose record
// did not change shows the same pixels as before. The client rectangle tells
// when a scroll bar came or went; a selection or focus the rebuild dropped
// counts as a change too.
struct ListView {
    int rows;
    int topRow;
    int shown; // rows on screen from topRow, the last perhaps in part
    int scrolledAcross;
    int selected; // rows selected
    int focused;  // the focused row, or -1
    RECT client;
    int widths[LIST_COLUMNS];
};

// What the user saw of the list before a rebuild, and what is due in it when
// the rebuild ends, so that afterwards only what changed is measured and
// repainted.
struct ListPicture {
    ListView view;
    RECT pending;       // bounds of the repaint due, or empty
    RECT headerPending; // the same for the column header
};

// What the refresh keeps of one list from tick to tick. Its owner starts it
// zeroed and hands the same one to every refresh of that list.
struct ListState {
    int fittedWidth[NAME_COLUMNS]; // as the last autosize left each name column
    BOOL ending;                   // the insert-failure box is up; the process ends with it
};

void RefreshProcessTable(HWND list, ListState *state);
