// The end-to-end driver's reading and working of the program from outside.
#include "remote_list.h"

#include "res/ids.h"

#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>

enum {
    MESSAGE_TIMEOUT_MS = 3000,
    REMOTE_BLOCK_BYTES = 4096,
    REMOTE_POSTED_OFFSET = 256,
    REMOTE_TEXT_OFFSET = 512,
    REMOTE_TEXT_BYTES = 1024,
    ROW_MARK = 0x5EED,
    // At most these on a usual machine.
    USUAL_REFRESH_WAIT_MS = 100,
    USUAL_START_MS = 2000,
    MAX_SLOWNESS = 8,
};

std::string Format(const char *format, ...) {
    char text[4096];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

DWORD Since(DWORD tick) {
    return GetTickCount() - tick;
}

DWORD Slowness = 1;

DWORD Scaled(DWORD ms) {
    return ms * Slowness;
}

long OwnWorkingSetPages(const Child &child) {
    PROCESS_MEMORY_COUNTERS counters;
    ZeroMemory(&counters, sizeof counters);
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(child.process, &counters, sizeof counters)) {
        return -1;
    }
    return (long)(counters.WorkingSetSize >> PAGE_SHIFT);
}

bool StartProgram(const std::string &path, Program *program) {
    ZeroMemory(program, sizeof *program);
    program->info = StartChildProcess("\"" + path + "\"");
    if (!program->info.hProcess) {
        return false;
    }
    DWORD start = GetTickCount();
    while (!program->dialog && Since(start) < Scaled(START_TIMEOUT_MS) &&
           WaitForSingleObject(program->info.hProcess, POLL_MS) == WAIT_TIMEOUT) {
        program->dialog = FindDialogWindow(program->info.dwProcessId, NULL, "Ferrowin");
    }
    if (!program->dialog) {
        return false;
    }
    program->startMs = Since(start);
    program->list = GetDlgItem(program->dialog, IDC_PROCESS_LIST);
    program->remote = (char *)VirtualAllocEx(program->info.hProcess, NULL, REMOTE_BLOCK_BYTES,
                                             MEM_COMMIT, PAGE_READWRITE);
    return program->list && program->remote;
}

bool WaitForExit(const Program &program, DWORD *exitCode) {
    if (WaitForSingleObject(program.info.hProcess, Scaled(EXIT_TIMEOUT_MS)) != WAIT_OBJECT_0) {
        return false;
    }
    GetExitCodeProcess(program.info.hProcess, exitCode);
    return true;
}

static bool SendToList(const Program &program, UINT message, WPARAM wParam, LPARAM lParam,
                       LRESULT *result) {
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutA(program.list, message, wParam, lParam, SMTO_ABORTIFHUNG,
                             Scaled(MESSAGE_TIMEOUT_MS), &answer)) {
        return false;
    }
    *result = (LRESULT)answer;
    return true;
}

LRESULT AskList(const Program &program, UINT message, WPARAM wParam) {
    LRESULT result = -1;
    SendToList(program, message, wParam, 0, &result);
    return result;
}

// Sends the message with lParam pointing at a copy of *data in the program,
// and copies the structure back.
template <typename T>
static bool RemoteCall(const Program &program, UINT message, WPARAM wParam, T *data,
                       LRESULT *result) {
    HANDLE process = program.info.hProcess;
    return WriteProcessMemory(process, program.remote, data, sizeof *data, NULL) &&
           SendToList(program, message, wParam, (LPARAM)program.remote, result) &&
           ReadProcessMemory(process, program.remote, data, sizeof *data, NULL);
}

// As RemoteCall, for a structure whose text goes to the block's text part
// and comes back in `text`.
template <typename T>
static bool RemoteTextCall(const Program &program, UINT message, WPARAM wParam, T *data,
                           LRESULT *result, std::string *text) {
    char *remoteText = program.remote + REMOTE_TEXT_OFFSET;
    char local[REMOTE_TEXT_BYTES + 1] = "";
    data->pszText = remoteText;
    data->cchTextMax = REMOTE_TEXT_BYTES;
    bool ok = WriteProcessMemory(program.info.hProcess, remoteText, "", 1, NULL) &&
              RemoteCall(program, message, wParam, data, result) &&
              ReadProcessMemory(program.info.hProcess, remoteText, local, REMOTE_TEXT_BYTES, NULL);
    *text = local;
    return ok;
}

bool ReadColumn(const Program &program, int column, std::string *title, int *format) {
    LVCOLUMNA header;
    ZeroMemory(&header, sizeof header);
    header.mask = LVCF_FMT | LVCF_TEXT;
    LRESULT ok = FALSE;
    if (!RemoteTextCall(program, LVM_GETCOLUMNA, column, &header, &ok, title) || !ok) {
        return false;
    }
    *format = header.fmt & LVCFMT_JUSTIFYMASK;
    return true;
}

std::string CellText(const Program &program, int row, int column) {
    LVITEMA item;
    ZeroMemory(&item, sizeof item);
    item.iSubItem = column;
    LRESULT length = 0;
    std::string text;
    return RemoteTextCall(program, LVM_GETITEMTEXTA, (WPARAM)row, &item, &length, &text)
               ? text
               : "<no answer>";
}

std::vector<Row> ReadRows(const Program &program, int columns) {
    LRESULT count = AskList(program, LVM_GETITEMCOUNT);
    std::vector<Row> rows(count > 0 ? count : 0);
    for (size_t i = 0; i < rows.size(); ++i) {
        for (int column = 0; column < columns; ++column) {
            rows[i].cell[column] = CellText(program, (int)i, column);
        }
    }
    return rows;
}

int FindRow(const std::vector<Row> &rows, DWORD processId) {
    std::string id = Format("%lu", processId);
    for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].cell[0] == id) {
            return (int)i;
        }
    }
    return -1;
}

static LVITEMA ItemData(int row, LPARAM mark) {
    LVITEMA item;
    ZeroMemory(&item, sizeof item);
    item.mask = LVIF_PARAM;
    item.iItem = row;
    item.lParam = mark;
    return item;
}

// Row `row`'s item data: set at once, or posted behind whatever the driver
// posted before, in the block's second quarter, which no call reuses.
static bool SetRowMark(const Program &program, int row, LPARAM mark, bool post) {
    LVITEMA item = ItemData(row, mark);
    if (post) {
        char *posted = program.remote + REMOTE_POSTED_OFFSET;
        return WriteProcessMemory(program.info.hProcess, posted, &item, sizeof item, NULL) &&
               PostMessageA(program.list, LVM_SETITEMA, 0, (LPARAM)posted);
    }
    LRESULT ok = FALSE;
    return RemoteCall(program, LVM_SETITEMA, 0, &item, &ok) && ok;
}

static bool RowMarked(const Program &program, int row, LPARAM mark) {
    LVITEMA item = ItemData(row, 0);
    LRESULT ok = FALSE;
    return RemoteCall(program, LVM_GETITEMA, 0, &item, &ok) && ok && item.lParam == mark;
}

bool MarkRowZero(const Program &program) {
    return SetRowMark(program, 0, ROW_MARK, false);
}

bool RowZeroMarked(const Program &program) {
    return RowMarked(program, 0, ROW_MARK);
}

bool HandledBeforeRebuild(const Program &program) {
    static LPARAM mark = ROW_MARK;
    ++mark;
    if (!SetRowMark(program, 1, mark, true)) {
        return false;
    }
    DWORD start = GetTickCount();
    while (!RowMarked(program, 1, mark)) {
        if (Since(start) > Scaled(MESSAGE_TIMEOUT_MS)) {
            return false;
        }
        Sleep(POLL_MS);
    }
    return RowZeroMarked(program);
}

DWORD WaitForRebuild(const Program &program, DWORD since, DWORD limit, DWORD *gap) {
    DWORD last = GetTickCount();
    while (RowZeroMarked(program) && Since(since) < limit) {
        last = GetTickCount();
        Sleep(POLL_MS);
    }
    *gap = Since(last);
    return Since(since);
}

bool WaitForRefresh(const Program &program, DWORD *tick, DWORD *gap) {
    DWORD start = GetTickCount(), late = 0;
    if (!MarkRowZero(program) || WaitForRebuild(program, start, Scaled(REFRESH_TIMEOUT_MS),
                                                &late) >= Scaled(REFRESH_TIMEOUT_MS)) {
        return false;
    }
    *tick = GetTickCount();
    if (gap) {
        *gap = late;
    }
    return true;
}

DWORD MeasureSlowness(const Program &program) {
    // The longest: how late a refresh is noticed depends on where in its
    // poll the driver was, and the checks need every one noticed in time.
    DWORD longest = 0, tick, gap;
    for (int i = 0; i < 3; ++i) {
        if (WaitForRefresh(program, &tick, &gap) && gap > longest) {
            longest = gap;
        }
    }
    DWORD slowness = (longest + USUAL_REFRESH_WAIT_MS - 1) / USUAL_REFRESH_WAIT_MS;
    slowness = std::max(slowness, (program.startMs + USUAL_START_MS - 1) / USUAL_START_MS);
    Slowness = std::min(std::max(slowness, (DWORD)1), (DWORD)MAX_SLOWNESS);
    return longest;
}

std::vector<Row> ReadSteadyRows(const Program &program, int columns) {
    std::vector<Row> rows;
    for (int attempt = 0; attempt < 3; ++attempt) {
        MarkRowZero(program);
        rows = ReadRows(program, columns);
        if (RowZeroMarked(program)) {
            break;
        }
    }
    return rows;
}

long WaitForRow(const Program &program, DWORD processId, bool present, DWORD ms) {
    DWORD start = GetTickCount();
    do {
        if ((FindRow(ReadSteadyRows(program, 1), processId) >= 0) == present) {
            return (long)Since(start);
        }
        Sleep(50);
    } while (Since(start) < ms);
    return -1;
}

bool PostClick(const Program &program, POINT at) {
    LPARAM where = MAKELPARAM(at.x, at.y);
    return PostMessageA(program.list, WM_LBUTTONDOWN, MK_LBUTTON, where) &&
           PostMessageA(program.list, WM_LBUTTONUP, 0, where);
}

bool RowCentre(const Program &program, int row, int down, POINT *centre) {
    RECT bounds;
    bounds.left = LVIR_BOUNDS;
    LRESULT ok = FALSE;
    if (!RemoteCall(program, LVM_GETITEMRECT, (WPARAM)row, &bounds, &ok) || !ok) {
        return false;
    }
    RECT client;
    GetClientRect(program.list, &client);
    LONG left = bounds.left > client.left ? bounds.left : client.left;
    LONG right = bounds.right < client.right ? bounds.right : client.right;
    centre->x = (left + right) / 2;
    centre->y = (bounds.top + bounds.bottom) / 2 + down * (bounds.bottom - bounds.top);
    return centre->y > client.top && centre->y < client.bottom;
}

bool ClickRow(const Program &program, int row) {
    POINT centre;
    return row >= 0 && AskList(program, LVM_ENSUREVISIBLE, row) &&
           RowCentre(program, row, 0, &centre) && PostClick(program, centre);
}

std::string RowIds(const std::vector<Row> &rows) {
    std::string ids;
    for (const Row &row : rows) {
        ids += " " + row.cell[0];
    }
    return ids;
}
