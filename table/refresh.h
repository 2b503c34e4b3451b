// The refresh: rebuilds the process table from a fresh snapshot and the list's
// rows to match, repainting only what changed on screen.
#pragma once

#include <windows.h>

enum {
    MAX_SHOWN_ROWS = 128,
    NAME_COLUMNS = 2, // PID and ImageName, the columns the refresh fits to their texts
};

// What the user saw of the list before a rebuild, so that afterwards only what
// changed is measured and repainted.
struct ListPicture {
    int topRow;
    int rows;
    int shown;                   // rows on screen from topRow, the last perhaps in part
    BYTE marked[MAX_SHOWN_ROWS]; // selected or focused: the rebuild drops that
    RECT pending;                // bounds of the repaint already due, or empty
};

// What the refresh keeps of one list from tick to tick. Its owner starts it
// zeroed and hands the same one to every refresh of that list.
struct ListState {
    ListPicture before;
    int fittedWidth[NAME_COLUMNS]; // as the last autosize left each name column
    BOOL ending;                   // the insert-failure box is up; the process ends with it
};

void RefreshProcessTable(HWND list, ListState *state);
