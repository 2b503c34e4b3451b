// Trimming one process or all of them, and the texts that report it.
#include "trim.h"

#include "message_text.h"
#include "res/program.h"

char MessageText[MESSAGE_TEXT_BYTES];

void ComposeSystemErrorText(char *text, const char *prefix, DWORD error) {
    lstrcpyA(text, prefix);
    int n = lstrlenA(text);
    // The system text goes straight after the prefix, with room for 255 - n
    // characters including its zero, so the text ends by byte 255. Inserts
    // are left as they stand: there are no arguments to put in them.
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, error, 0,
                   text + n, MESSAGE_TEXT_BYTES - 1 - n, NULL);
}

void ShowSystemError(HWND hwnd, const char *prefix) {
    ComposeSystemErrorText(MessageText, prefix, GetLastError());
    MessageBoxA(hwnd, MessageText, NULL, MB_ICONERROR);
}

void ComposeTrimReport(char *text, const char *imageName, DWORD pages) {
    wsprintfA(text, "Working set size of process %s was trimmed to %d pages\n", imageName, pages);
}

// Free amounts are 64-bit byte counts: a 32-bit view caps them at 4 GB and
// the differences would read 0. A fall is a negative difference.
static int PagesOf(ULONGLONG bytes) {
    return (int)(bytes >> PAGE_SHIFT);
}

static int PagesBetween(ULONGLONG after, ULONGLONG before) {
    return (int)((LONGLONG)(after - before) >> PAGE_SHIFT);
}

void ComposeMemoryReport(char *text, const MemoryFigures *before, const MemoryFigures *after) {
    wsprintfA(text,
              "All working sets trimmed.\n\t\tAFTER\tBEFORE\tDIFFERENCE\n"
              "PhysPages :\t%d\t%d\t%d\nPageFilePages :\t%d\t%d\t%d\n",
              PagesOf(after->AvailPhys), PagesOf(before->AvailPhys),
              PagesBetween(after->AvailPhys, before->AvailPhys), PagesOf(after->AvailPageFile),
              PagesOf(before->AvailPageFile),
              PagesBetween(after->AvailPageFile, before->AvailPageFile));
}

void TrimSelectedProcess(HWND hwnd, int selectedRow) {
    // Copies: ticks during the boxes below may rebuild the table and drop the
    // selection.
    const ProcessRecord *record = LookUpRecord(selectedRow);
    if (!record) {
        return;
    }
    DWORD processId = record->ProcessId;
    char imageName[IMAGE_NAME_BYTES];
    CopyMemory(imageName, record->ImageName, sizeof imageName);

    HANDLE process = OpenProcessHandle(PROCESS_SET_QUOTA | PROCESS_QUERY_INFORMATION, processId);
    if (!process) {
        ShowSystemError(hwnd, OPEN_FAILED_PREFIX);
        return;
    }
    if (!TrimWorkingSet(process)) {
        ShowSystemError(hwnd, TRIM_FAILED_PREFIX);
    }
    SIZE_T bytes = QueryWorkingSetBytes(process);
    if (bytes != WORKING_SET_UNKNOWN) {
        ComposeTrimReport(MessageText, imageName, BytesToPages(bytes));
        MessageBoxA(hwnd, MessageText, PROGRAM_NAME, MB_ICONINFORMATION);
    }
    CloseProcessHandle(process);
    SendMessageA(hwnd, WM_TIMER, 0, 0);
}

void TrimEveryTableSlot(void) {
    // Empty slots hold identifier 0, which never opens: one failed open each.
    for (DWORD i = 0; i < Table.Capacity; ++i) {
        HANDLE process = OpenProcessHandle(PROCESS_SET_QUOTA, Table.Records[i].ProcessId);
        if (process) {
            TrimWorkingSet(process);
            CloseProcessHandle(process);
        }
    }
}

void TrimAllProcesses(HWND hwnd) {
    MemoryFigures before, after;
    ReadMemoryFigures(&before);
    TrimEveryTableSlot();
    ReadMemoryFigures(&after);
    ComposeMemoryReport(MessageText, &before, &after);
    MessageBoxA(hwnd, MessageText, PROGRAM_NAME, MB_ICONINFORMATION);
}
