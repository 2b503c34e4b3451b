// Trimming: emptying the working set of the clicked process or of every
// process, with the reports and the system's error texts.
#pragma once

#include <windows.h>

#include "table/process_ops.h"
#include "table/table.h"

#define OPEN_FAILED_PREFIX "Opening process failed because of the following error: "
#define TRIM_FAILED_PREFIX "Trimming working set failed because of the following error: "

// Trims the process of the clicked row and reports its new size; does nothing
// for NO_ROW or a row the table no longer holds.
void TrimSelectedProcess(HWND hwnd, int selectedRow);

// Trims every slot of the table and reports free memory before and after.
void TrimAllProcesses(HWND hwnd);

// An error box with the prefix and the system's text for the last error.
void ShowSystemError(HWND hwnd, const char *prefix);

// The texts, composed into a 256-byte buffer.
void ComposeSystemErrorText(char *text, const char *prefix, DWORD error);
void ComposeTrimReport(char *text, const char *imageName, DWORD pages);
void ComposeMemoryReport(char *text, const MemoryFigures *before, const MemoryFigures *after);

// Opens and trims every table slot, filled or not; failures pass in silence.
void TrimEveryTableSlot(void);
