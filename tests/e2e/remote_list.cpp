#include "remote_list.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>

enum {
    MESSAGE_TIMEOUT_MS = 3000,
    REMOTE_POSTED_OFFSET = 256,
    REMOTE_TEXT_OFFSET = 512,
    REMOTE_TEXT_BYTES = 1024,
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

LRESULT AskList(const Program &program, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR answer = 0;
    return SendMessageTimeoutA(program.list, message, wParam, lParam, SMTO_ABORTIFHUNG,
                               Scaled(MESSAGE_TIMEOUT_MS), &answer)
               ? (LRESULT)answer
               : -1;
}

// Sends the message with lParam pointing at a copy of *data in the program,
// and copies the structure back; -1 when any step failed.
template <typename T>
static LRESULT RemoteCall(const Program &program, UINT message, WPARAM wParam, T *data) {
    HANDLE process = program.info.hProcess;
    LRESULT result = WriteProcessMemory(process, program.remote, data, sizeof *data, NULL)
                         ? AskList(program, message, wParam, (LPARAM)program.remote)
                         : -1;
    return result != -1 && ReadProcessMemory(process, program.remote, data, sizeof *data, NULL)
               ? result
               : -1;
}

// As RemoteCall, for a structure whose text goes to the block's text part
// and comes back in `text`.
template <typename T>
static LRESULT RemoteTextCall(const Program &program, UINT message, WPARAM wParam, T *data,
                              std::string *text) {
    char *remoteText = program.remote + REMOTE_TEXT_OFFSET;
    char local[REMOTE_TEXT_BYTES + 1] = "";
    data->pszText = remoteText;
    data->cchTextMax = REMOTE_TEXT_BYTES;
    LRESULT result = WriteProcessMemory(program.info.hProcess, remoteText, "", 1, NULL)
                         ? RemoteCall(program, message, wParam, data)
                         : -1;
    bool read =
        ReadProcessMemory(program.info.hProcess, remoteText, local, REMOTE_TEXT_BYTES, NULL);
    *text = local;
    return read ? result : -1;
}

bool ReadColumn(const Program &program, int column, std::string *title, int *format) {
    LVCOLUMNA header;
    ZeroMemory(&header, sizeof header);
    header.mask = LVCF_FMT | LVCF_TEXT;
    if (RemoteTextCall(program, LVM_GETCOLUMNA, column, &header, title) <= 0) {
        return false;
    }
    *format = header.fmt & LVCFMT_JUSTIFYMASK;
    return true;
}

std::string CellText(const Program &program, int row, int column) {
    LVITEMA item;
    ZeroMemory(&item, sizeof item);
    item.iSubItem = column;
    std::string text;
    return RemoteTextCall(program, LVM_GETITEMTEXTA, (WPARAM)row, &item, &text) >= 0
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

bool MarkRow(const Program &program, int row, LPARAM mark) {
    LVITEMA item = ItemData(row, mark);
    return RemoteCall(program, LVM_SETITEMA, 0, &item) > 0;
}

bool RowMarked(const Program &program, int row, LPARAM mark) {
    LVITEMA item = ItemData(row, 0);
    return RemoteCall(program, LVM_GETITEMA, 0, &item) > 0 && item.lParam == mark;
}

bool HandledBeforeRebuild(const Program &program) {
    // Row 1's mark goes behind whatever the driver posted before, in the
    // block's second quarter, which no call reuses.
    static LPARAM mark = ROW_MARK;
    LVITEMA item = ItemData(1, ++mark);
    char *posted = program.remote + REMOTE_POSTED_OFFSET;
    if (!WriteProcessMemory(program.info.hProcess, posted, &item, sizeof item, NULL) ||
        !PostMessageA(program.list, LVM_SETITEMA, 0, (LPARAM)posted)) {
        return false;
    }
    DWORD start = GetTickCount();
    while (!RowMarked(program, 1, mark)) {
        if (Since(start) > Scaled(MESSAGE_TIMEOUT_MS)) {
            return false;
        }
        Sleep(POLL_MS);
    }
    return RowMarked(program);
}

DWORD WaitForRebuild(const Program &program, DWORD since, DWORD limit, DWORD *gap) {
    DWORD last = GetTickCount();
    while (RowMarked(program) && Since(since) < limit) {
        last = GetTickCount();
        Sleep(POLL_MS);
    }
    *gap = Since(last);
    return Since(since);
}

bool WaitForRefresh(const Program &program, DWORD *tick, DWORD *gap) {
    DWORD start = GetTickCount(), late = 0, limit = Scaled(REFRESH_TIMEOUT_MS);
    if (!MarkRow(program) || WaitForRebuild(program, start, limit, gap ? gap : &late) >= limit) {
        return false;
    }
    if (tick) {
        *tick = GetTickCount();
    }
    return true;
}

DWORD MeasureSlowness(const Program &program) {
    // The longest: how late a refresh is noticed depends on where in its
    // poll the driver was, and the checks need every one noticed in time.
    DWORD longest = 0, gap;
    for (int i = 0; i < 3; ++i) {
        if (WaitForRefresh(program, NULL, &gap) && gap > longest) {
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
        MarkRow(program);
        rows = ReadRows(program, columns);
        if (RowMarked(program)) {
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
    if (RemoteCall(program, LVM_GETITEMRECT, (WPARAM)row, &bounds) <= 0) {
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
