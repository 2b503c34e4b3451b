// End-to-end driver: starts ferrowin.exe, works its dialog from another
// process the way a user would, and checks what the user would see. Prints one
// line per check and exits with 1 when any failed. Usage:
//   e2e_driver <path of ferrowin.exe>
// It re-runs itself as "e2e_driver child <driver id>" for idle processes of
// its own to look at.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "res/ids.h"

enum {
    PAGE_SHIFT = 12,
    STATIC_TEXT_ID = 0xFFFF, // id -1 as a dialog item: the static texts
    COLUMN_COUNT = 5,
    IMAGE_NAME_MAX_CHARS = 98,
    REFRESH_PERIOD_MS = 1000,
    SELECTION_HOLD_MS = 3000,
    POLL_MS = 10,
    START_TIMEOUT_MS = 20000, // a first start in a fresh prefix is slow
    BOX_TIMEOUT_MS = 5000,
    NO_BOX_WAIT_MS = 1500,
    EXIT_TIMEOUT_MS = 5000,
    MESSAGE_TIMEOUT_MS = 3000,
    ROW_TIMEOUT_MS = 3000, // a new or ended process shows in the list by then
    REFRESH_TIMEOUT_MS = SELECTION_HOLD_MS + 2 * REFRESH_PERIOD_MS, // even through a hold
    DRIVER_TIME_LIMIT_MS = 240000, // below CTest's 300 s, so the clean-up still runs
    CHILD_TOUCHED_BYTES = 4 << 20,
    CHILD_LIFETIME_MS = 300000,
    MAX_SCROLL_CHILDREN = 60,
    SCROLL_ROWS = 2,
    REMOTE_BLOCK_BYTES = 4096,
    REMOTE_TEXT_OFFSET = 512,
    REMOTE_TEXT_BYTES = 1024,
    ROW_MARK = 0x5EED,
};

// ---------------------------------------------------------------------------
// Results

static int Failures;

static std::string Format(const char *format, ...) {
    char text[4096];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

static void Expect(bool ok, const std::string &what, const std::string &detail) {
    if (ok) {
        printf("ok   %s\n", what.c_str());
    } else {
        ++Failures;
        printf("FAIL %s: %s\n", what.c_str(), detail.c_str());
    }
}

static void Skip(const std::string &what, const std::string &why) {
    printf("skip %s: %s\n", what.c_str(), why.c_str());
}

// A text as a C literal, with the bytes of other code pages as escapes.
static std::string Quote(const std::string &text) {
    std::string quoted = "\"";
    for (unsigned char c : text) {
        if (c == '\n') {
            quoted += "\\n";
        } else if (c == '\t') {
            quoted += "\\t";
        } else if (c == '\r') {
            quoted += "\\r";
        } else if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += (char)c;
        } else if (c < 0x20 || c >= 0x7F) {
            quoted += Format("\\x%02x", c);
        } else {
            quoted += (char)c;
        }
    }
    return quoted + "\"";
}

static bool IsDecimal(const std::string &text) {
    size_t start = !text.empty() && text[0] == '-' ? 1 : 0;
    if (start == text.size()) {
        return false;
    }
    for (size_t i = start; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
    }
    return true;
}

static DWORD Since(DWORD tick) {
    return GetTickCount() - tick;
}

// ---------------------------------------------------------------------------
// Processes this driver starts: all of them go in a job, which ends them at
// the end, on the watchdog, or when the driver itself ends.

static HANDLE Job;

static bool StartProcess(const std::string &application, const std::string &arguments,
                         PROCESS_INFORMATION *info) {
    std::string line = "\"" + application + "\"" + arguments;
    std::vector<char> commandLine(line.begin(), line.end());
    commandLine.push_back(0);
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    if (!CreateProcessA(application.c_str(), commandLine.data(), NULL, NULL, FALSE, 0, NULL, NULL,
                        &startup, info)) {
        return false;
    }
    AssignProcessToJobObject(Job, info->hProcess);
    CloseHandle(info->hThread);
    return true;
}

// Ends the process if it still runs, and closes the driver's handle to it.
static void EndProcess(HANDLE process) {
    TerminateProcess(process, 0);
    WaitForSingleObject(process, EXIT_TIMEOUT_MS);
    CloseHandle(process);
}

static DWORD WINAPI Watchdog(LPVOID) {
    Sleep(DRIVER_TIME_LIMIT_MS);
    printf("FAIL driver: still running after %d s; ending everything\n",
           DRIVER_TIME_LIMIT_MS / 1000);
    TerminateJobObject(Job, 0);
    ExitProcess(2);
}

// An idle process of the driver's own: it touches some memory, then waits
// until it is ended, or until the driver is gone at the latest.
static int RunChild(DWORD driverId) {
    char *block = (char *)VirtualAlloc(NULL, CHILD_TOUCHED_BYTES, MEM_COMMIT, PAGE_READWRITE);
    for (int i = 0; block && i < CHILD_TOUCHED_BYTES; i += 1 << PAGE_SHIFT) {
        block[i] = 1;
    }
    HANDLE driver = OpenProcess(SYNCHRONIZE, FALSE, driverId);
    WaitForSingleObject(driver ? driver : GetCurrentProcess(), CHILD_LIFETIME_MS);
    return 0;
}

struct Child {
    DWORD id;
    HANDLE process;
};

static std::string SelfPath;

static Child StartChild(void) {
    Child child = {0, NULL};
    PROCESS_INFORMATION info;
    if (StartProcess(SelfPath, Format(" child %lu", GetCurrentProcessId()), &info)) {
        child.id = info.dwProcessId;
        child.process = info.hProcess;
    }
    return child;
}

static void EndChild(Child *child) {
    if (child->process) {
        EndProcess(child->process);
        child->process = NULL;
    }
}

// The child's working set in pages, as the driver itself reads it.
static long OwnWorkingSetPages(const Child &child) {
    PROCESS_MEMORY_COUNTERS counters;
    ZeroMemory(&counters, sizeof counters);
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(child.process, &counters, sizeof counters)) {
        return -1;
    }
    return (long)(counters.WorkingSetSize >> PAGE_SHIFT);
}

static bool CloseToPages(long shown, long own) {
    // The child is idle, but its size is read at two different moments.
    long tolerance = own / 10 > 64 ? own / 10 : 64;
    return shown >= own - tolerance && shown <= own + tolerance;
}

// ---------------------------------------------------------------------------
// Windows of other processes

static std::string ClassOf(HWND window) {
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

static std::string TextOf(HWND window) {
    char text[1024] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

struct WindowSearch {
    DWORD processId;
    std::vector<HWND> windows;
};

static BOOL CALLBACK CollectTopWindow(HWND window, LPARAM param) {
    WindowSearch *search = (WindowSearch *)param;
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId == search->processId) {
        search->windows.push_back(window);
    }
    return TRUE;
}

static std::vector<HWND> TopWindowsOf(DWORD processId) {
    WindowSearch search;
    search.processId = processId;
    EnumWindows(CollectTopWindow, (LPARAM)&search);
    return search.windows;
}

// A visible dialog-class window of the process other than `except`: the main
// dialog when `except` is NULL and the caption fits, otherwise a message box.
static HWND FindDialogWindow(DWORD processId, HWND except, const char *caption) {
    for (HWND window : TopWindowsOf(processId)) {
        if (window != except && IsWindowVisible(window) && ClassOf(window) == "#32770" &&
            (!caption || TextOf(window) == caption)) {
            return window;
        }
    }
    return NULL;
}

static HWND WaitForBox(DWORD processId, HWND dialog, DWORD ms) {
    DWORD start = GetTickCount();
    do {
        HWND box = FindDialogWindow(processId, dialog, NULL);
        if (box) {
            return box;
        }
        Sleep(POLL_MS);
    } while (Since(start) < ms);
    return NULL;
}

struct Box {
    std::string caption;
    std::string text;
};

// Reads the box, then closes it as its OK button would.
static Box ReadAndCloseBox(HWND window) {
    Box box;
    box.caption = TextOf(window);
    char text[1024] = "";
    GetDlgItemTextA(window, STATIC_TEXT_ID, text, sizeof text);
    box.text = text;
    PostMessageA(window, WM_COMMAND, IDOK, 0);
    DWORD start = GetTickCount();
    while (IsWindow(window) && IsWindowVisible(window) && Since(start) < BOX_TIMEOUT_MS) {
        Sleep(POLL_MS);
    }
    return box;
}

static DWORD WINAPI ShowProbeErrorBox(LPVOID) {
    MessageBoxA(NULL, "probe", NULL, MB_ICONERROR);
    return 0;
}

// The caption the platform gives an error box that names none, read from a
// box of the driver's own.
static std::string DefaultErrorCaption(void) {
    HANDLE thread = CreateThread(NULL, 0, ShowProbeErrorBox, NULL, 0, NULL);
    HWND box = WaitForBox(GetCurrentProcessId(), NULL, BOX_TIMEOUT_MS);
    std::string caption = box ? ReadAndCloseBox(box).caption : "";
    WaitForSingleObject(thread, BOX_TIMEOUT_MS);
    CloseHandle(thread);
    return caption;
}

// ---------------------------------------------------------------------------
// The program under test and its list. List-view messages carry no marshalled
// pointers: their structures and texts live in a block allocated in the
// program's own address space.

struct Program {
    PROCESS_INFORMATION info;
    HWND dialog;
    HWND list;
    char *remote;
};

static bool StartProgram(const std::string &path, Program *program) {
    ZeroMemory(program, sizeof *program);
    if (!StartProcess(path, "", &program->info)) {
        Expect(false, "the program starts", Format("CreateProcess error %lu", GetLastError()));
        return false;
    }
    DWORD start = GetTickCount();
    while (!program->dialog && Since(start) < START_TIMEOUT_MS &&
           WaitForSingleObject(program->info.hProcess, POLL_MS) == WAIT_TIMEOUT) {
        program->dialog = FindDialogWindow(program->info.dwProcessId, NULL, "Ferrowin");
    }
    Expect(program->dialog != NULL, "the program shows its dialog captioned \"Ferrowin\"",
           Format("none within %d ms", START_TIMEOUT_MS));
    if (!program->dialog) {
        return false;
    }
    program->list = GetDlgItem(program->dialog, IDC_PROCESS_LIST);
    program->remote = (char *)VirtualAllocEx(program->info.hProcess, NULL, REMOTE_BLOCK_BYTES,
                                             MEM_COMMIT, PAGE_READWRITE);
    return program->list && program->remote;
}

static bool WaitForExit(const Program &program, DWORD *exitCode) {
    if (WaitForSingleObject(program.info.hProcess, EXIT_TIMEOUT_MS) != WAIT_OBJECT_0) {
        return false;
    }
    GetExitCodeProcess(program.info.hProcess, exitCode);
    return true;
}

static bool SendToList(const Program &program, UINT message, WPARAM wParam, LPARAM lParam,
                       LRESULT *result) {
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutA(program.list, message, wParam, lParam, SMTO_ABORTIFHUNG,
                             MESSAGE_TIMEOUT_MS, &answer)) {
        return false;
    }
    *result = (LRESULT)answer;
    return true;
}

static LRESULT AskList(const Program &program, UINT message, WPARAM wParam = 0) {
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

static std::string ReadRemoteText(const Program &program) {
    char text[REMOTE_TEXT_BYTES + 1] = "";
    ReadProcessMemory(program.info.hProcess, program.remote + REMOTE_TEXT_OFFSET, text,
                      REMOTE_TEXT_BYTES, NULL);
    return text;
}

static bool ClearRemoteText(const Program &program) {
    return WriteProcessMemory(program.info.hProcess, program.remote + REMOTE_TEXT_OFFSET, "", 1,
                              NULL);
}

static bool ReadColumn(const Program &program, int column, std::string *title, int *format) {
    LVCOLUMNA header;
    ZeroMemory(&header, sizeof header);
    header.mask = LVCF_FMT | LVCF_TEXT;
    header.pszText = program.remote + REMOTE_TEXT_OFFSET;
    header.cchTextMax = REMOTE_TEXT_BYTES;
    LRESULT ok = FALSE;
    if (!ClearRemoteText(program) || !RemoteCall(program, LVM_GETCOLUMNA, column, &header, &ok) ||
        !ok) {
        return false;
    }
    *title = ReadRemoteText(program);
    *format = header.fmt & LVCFMT_JUSTIFYMASK;
    return true;
}

static std::string CellText(const Program &program, int row, int column) {
    LVITEMA item;
    ZeroMemory(&item, sizeof item);
    item.iSubItem = column;
    item.pszText = program.remote + REMOTE_TEXT_OFFSET;
    item.cchTextMax = REMOTE_TEXT_BYTES;
    LRESULT length = 0;
    if (!ClearRemoteText(program) ||
        !RemoteCall(program, LVM_GETITEMTEXTA, (WPARAM)row, &item, &length)) {
        return "<no answer>";
    }
    return ReadRemoteText(program);
}

struct Row {
    std::string cell[COLUMN_COUNT];
};

static std::vector<Row> ReadRows(const Program &program, int columns = COLUMN_COUNT) {
    LRESULT count = AskList(program, LVM_GETITEMCOUNT);
    std::vector<Row> rows(count > 0 ? count : 0);
    for (size_t i = 0; i < rows.size(); ++i) {
        for (int column = 0; column < columns; ++column) {
            rows[i].cell[column] = CellText(program, (int)i, column);
        }
    }
    return rows;
}

static int FindRow(const std::vector<Row> &rows, DWORD processId) {
    std::string id = Format("%lu", processId);
    for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].cell[0] == id) {
            return (int)i;
        }
    }
    return -1;
}

// Every rebuild inserts fresh rows with item data 0, so a mark in row 0's item
// data survives exactly until the next rebuild.
static bool MarkRowZero(const Program &program) {
    LVITEMA item;
    ZeroMemory(&item, sizeof item);
    item.mask = LVIF_PARAM;
    item.lParam = ROW_MARK;
    LRESULT ok = FALSE;
    return RemoteCall(program, LVM_SETITEMA, 0, &item, &ok) && ok;
}

static bool RowZeroMarked(const Program &program) {
    LVITEMA item;
    ZeroMemory(&item, sizeof item);
    item.mask = LVIF_PARAM;
    LRESULT ok = FALSE;
    return RemoteCall(program, LVM_GETITEMA, 0, &item, &ok) && ok && item.lParam == ROW_MARK;
}

// Waits for the next rebuild, which also ends any hold a click left; `tick`
// is taken just after it. Reports a failure of `what` when none comes.
static bool WaitForRefresh(const Program &program, const char *what, DWORD *tick) {
    DWORD start = GetTickCount();
    if (MarkRowZero(program)) {
        while (Since(start) < REFRESH_TIMEOUT_MS) {
            if (!RowZeroMarked(program)) {
                *tick = GetTickCount();
                return true;
            }
            Sleep(POLL_MS);
        }
    }
    Expect(false, what, Format("no refresh within %d ms", REFRESH_TIMEOUT_MS));
    return false;
}

// The rows of one rebuild: read again when a rebuild came in between.
static std::vector<Row> ReadSteadyRows(const Program &program, int columns = COLUMN_COUNT) {
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

// Polls until the process has a row (or none); the time it took, or -1.
static long WaitForRow(const Program &program, DWORD processId, bool present, DWORD ms) {
    DWORD start = GetTickCount();
    do {
        if ((FindRow(ReadSteadyRows(program, 1), processId) >= 0) == present) {
            return (long)Since(start);
        }
        Sleep(50);
    } while (Since(start) < ms);
    return -1;
}

static bool PostClick(const Program &program, POINT at) {
    LPARAM where = MAKELPARAM(at.x, at.y);
    return PostMessageA(program.list, WM_LBUTTONDOWN, MK_LBUTTON, where) &&
           PostMessageA(program.list, WM_LBUTTONUP, 0, where);
}

// The middle of the row's visible part, or of the space `down` rows' height
// below it, in the list's client coordinates; false when not in view.
static bool RowCentre(const Program &program, int row, int down, POINT *centre) {
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

// Scrolls the row into view first: other processes may have pushed it down.
static bool ClickRow(const Program &program, int row) {
    POINT centre;
    return row >= 0 && AskList(program, LVM_ENSUREVISIBLE, row) &&
           RowCentre(program, row, 0, &centre) && PostClick(program, centre);
}

static bool ClickRowOf(const Program &program, DWORD processId) {
    return ClickRow(program, FindRow(ReadRows(program, 1), processId));
}

// ---------------------------------------------------------------------------
// Checks

static void CheckOnlyWindow(const Program &program) {
    std::string others;
    for (HWND window : TopWindowsOf(program.info.dwProcessId)) {
        // The system gives every GUI thread a hidden "Default IME" window.
        if (window != program.dialog && ClassOf(window) != "IME") {
            others += " " + ClassOf(window) + " " + Quote(TextOf(window));
        }
    }
    Expect(others.empty(), "the dialog is the program's only window at start",
           "also found:" + others);
}

static void CheckControls(const Program &program) {
    struct Control {
        int id;
        const char *className;
        const char *text;
    };
    static const Control expected[] = {
        {IDOK, "Button", "Trim working set"},      {IDCANCEL, "Button", "Close"},
        {IDC_PROCESS_LIST, "SysListView32", NULL}, {STATIC_TEXT_ID, "Static", "Active Processes:"},
        {IDC_TRIM_ALL, "Button", "Trim ALL"},
    };
    std::string want, got;
    for (const Control &control : expected) {
        want += Format(" %d %s", control.id, control.className);
        if (control.text) {
            want += " " + Quote(control.text);
        }
    }
    for (HWND child = GetWindow(program.dialog, GW_CHILD); child;
         child = GetWindow(child, GW_HWNDNEXT)) {
        // Class names are compared without case, as the system compares them.
        std::string className = ClassOf(child);
        for (const Control &control : expected) {
            if (_stricmp(className.c_str(), control.className) == 0) {
                className = control.className;
            }
        }
        got += Format(" %d %s", GetDlgCtrlID(child), className.c_str());
        if (className != "SysListView32") {
            got += " " + Quote(TextOf(child));
        }
    }
    Expect(want == got, "the dialog's controls, in order", "expected" + want + ", got" + got);

    LRESULT defaultId = SendMessageA(program.dialog, DM_GETDEFID, 0, 0);
    Expect(HIWORD(defaultId) == DC_HASDEFID && LOWORD(defaultId) == IDOK,
           "\"Trim working set\" is the default button",
           Format("DM_GETDEFID gave 0x%lx", (unsigned long)defaultId));
    LONG style = GetWindowLongA(program.list, GWL_STYLE);
    Expect((style & LVS_TYPEMASK) == LVS_REPORT, "the list is in report view",
           Format("style 0x%lx", (unsigned long)style));
}

static void CheckColumns(const Program &program) {
    static const char *const titles[COLUMN_COUNT] = {"PID", "ImageName", "MinWorkingSetSize",
                                                     "WorkingSetSize", "MaxWorkingSetSize"};
    std::string want, got;
    for (int i = 0; i < COLUMN_COUNT; ++i) {
        want += Format(" %s/%s", titles[i], i < 2 ? "left" : "right");
    }
    for (int i = 0; i < COLUMN_COUNT + 1; ++i) {
        std::string title;
        int format = 0;
        if (!ReadColumn(program, i, &title, &format)) {
            break;
        }
        got += " " + title + "/" +
               (format == LVCFMT_LEFT    ? "left"
                : format == LVCFMT_RIGHT ? "right"
                                         : "centre");
    }
    Expect(want == got, "the list's columns, titles and alignment",
           "expected" + want + ", got" + got);
}

struct SnapshotEntry {
    DWORD id;
    std::string name;
};

static std::vector<SnapshotEntry> TakeSnapshot(void) {
    std::vector<SnapshotEntry> entries;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more;
         more = Process32Next(snapshot, &entry)) {
        SnapshotEntry copy = {entry.th32ProcessID, entry.szExeFile};
        entries.push_back(copy);
    }
    CloseHandle(snapshot);
    return entries;
}

static const SnapshotEntry *FindEntry(const std::vector<SnapshotEntry> &entries, DWORD id) {
    for (const SnapshotEntry &entry : entries) {
        if (entry.id == id) {
            return &entry;
        }
    }
    return NULL;
}

// The list against two snapshots of the driver's own, one before the rebuild
// it reads and one after: a process in both was there at the rebuild, and
// every row must be in one of them.
static void CheckRowsMatchSnapshot(const Program &program) {
    std::vector<SnapshotEntry> before = TakeSnapshot();
    DWORD tick;
    if (!WaitForRefresh(program, "the list against a snapshot", &tick)) {
        return;
    }
    std::vector<Row> rows = ReadSteadyRows(program);
    std::vector<SnapshotEntry> after = TakeSnapshot();

    std::string missing, strange, badFigures, listOrder, snapshotOrder;
    for (const SnapshotEntry &entry : before) {
        if (FindEntry(after, entry.id) && FindRow(rows, entry.id) < 0) {
            missing += Format(" %lu %s", entry.id, entry.name.c_str());
        }
    }
    for (const Row &row : rows) {
        DWORD id = strtoul(row.cell[0].c_str(), NULL, 10);
        const SnapshotEntry *first = FindEntry(before, id), *last = FindEntry(after, id);
        // Wine lists a process that is still starting without its name: one
        // that starts (or starts and ends) between the snapshots may show so.
        bool named = (first && first->name.substr(0, IMAGE_NAME_MAX_CHARS) == row.cell[1]) ||
                     (last && last->name.substr(0, IMAGE_NAME_MAX_CHARS) == row.cell[1]) ||
                     (!first && row.cell[1].empty());
        if (!named || Format("%lu", id) != row.cell[0]) {
            strange += " " + Quote(row.cell[0]) + " " + Quote(row.cell[1]);
        }
        for (int column = 2; column < COLUMN_COUNT; ++column) {
            if (!IsDecimal(row.cell[column]) || atol(row.cell[column].c_str()) < -1) {
                badFigures += " " + row.cell[0] + ":" + Quote(row.cell[column]);
            }
        }
        if (FindEntry(after, id)) {
            listOrder += " " + row.cell[0];
        }
    }
    for (const SnapshotEntry &entry : after) {
        if (FindRow(rows, entry.id) >= 0) {
            snapshotOrder += Format(" %lu", entry.id);
        }
    }
    Expect(!rows.empty() && missing.empty(), "every running process has a row",
           Format("%d rows; missing:", (int)rows.size()) + missing);
    Expect(strange.empty(), "every row is a process with its snapshot name",
           "rows not in any snapshot or misnamed:" + strange);
    Expect(listOrder == snapshotOrder, "rows are in snapshot order",
           "list order" + listOrder + ", snapshot order" + snapshotOrder);
    Expect(badFigures.empty(), "every figure is a page count or -1", "got" + badFigures);
}

static void CheckChildFigures(const Program &program, const Child &child) {
    DWORD tick;
    if (!WaitForRefresh(program, "the child's figures", &tick)) {
        return;
    }
    std::vector<Row> rows = ReadSteadyRows(program);
    long own = OwnWorkingSetPages(child);
    SIZE_T minimum = 0, maximum = 0;
    GetProcessWorkingSetSize(child.process, &minimum, &maximum);
    int row = FindRow(rows, child.id);
    if (row < 0) {
        Expect(false, "the child's figures", Format("no row for child %lu", child.id));
        return;
    }
    const Row &cells = rows[row];
    long shown = atol(cells.cell[3].c_str());
    Expect(IsDecimal(cells.cell[3]) && CloseToPages(shown, own),
           "the child's WorkingSetSize is its working set in pages",
           Format("shown %s, the driver reads %ld pages", Quote(cells.cell[3]).c_str(), own));
    std::string want = Format("%d %d", (int)(minimum >> PAGE_SHIFT), (int)(maximum >> PAGE_SHIFT));
    std::string got = cells.cell[2] + " " + cells.cell[4];
    Expect(want == got, "the child's Min/MaxWorkingSetSize are its limits in pages",
           "expected " + want + ", got " + got);
}

static void CheckRefreshFollowsProcesses(const Program &program) {
    Child child = StartChild();
    long appeared = WaitForRow(program, child.id, true, ROW_TIMEOUT_MS);
    Expect(appeared >= 0, "a new process gets a row within a few seconds",
           Format("no row for %lu after %d ms", child.id, ROW_TIMEOUT_MS));
    EndChild(&child);
    long gone = WaitForRow(program, child.id, false, ROW_TIMEOUT_MS);
    Expect(gone >= 0, "an ended process loses its row within a few seconds",
           Format("row for %lu still there after %d ms", child.id, ROW_TIMEOUT_MS));
}

static std::string RowIds(const std::vector<Row> &rows) {
    std::string ids;
    for (const Row &row : rows) {
        ids += " " + row.cell[0];
    }
    return ids;
}

// A click on a row holds the list until 3 s after the refresh before it.
static void CheckClickHoldsList(const Program &program, const Child &resident) {
    const char *what = "a clicked row holds the list still";
    DWORD refreshed;
    if (!WaitForRefresh(program, what, &refreshed)) {
        return;
    }
    std::vector<Row> before = ReadRows(program, 1);
    bool clicked = ClickRow(program, FindRow(before, resident.id));
    Child newcomer = StartChild();
    MarkRowZero(program);
    while (RowZeroMarked(program) && Since(refreshed) < SELECTION_HOLD_MS - 300) {
        Sleep(POLL_MS);
    }
    DWORD heldFor = Since(refreshed);
    std::vector<Row> during = ReadRows(program, 1);
    Expect(clicked && heldFor >= SELECTION_HOLD_MS - 300 && RowIds(during) == RowIds(before) &&
               FindRow(during, newcomer.id) < 0,
           what,
           Format("clicked %d, rebuilt %lu ms after the refresh, new child %s; rows before",
                  clicked, heldFor, FindRow(during, newcomer.id) < 0 ? "absent" : "shown") +
               RowIds(before) + ", now" + RowIds(during));

    while (RowZeroMarked(program) && Since(refreshed) < SELECTION_HOLD_MS + 2000) {
        Sleep(POLL_MS);
    }
    DWORD rebuiltAt = Since(refreshed);
    long shown = WaitForRow(program, newcomer.id, true, 1000);
    Expect(rebuiltAt >= SELECTION_HOLD_MS - 200 && rebuiltAt < SELECTION_HOLD_MS + 1600 &&
               shown >= 0,
           "the hold ends with the first tick 3 s after the refresh",
           Format("rebuilt %lu ms after the refresh, new child %s", rebuiltAt,
                  shown >= 0 ? "shown" : "absent"));
    EndChild(&newcomer);
}

static void CheckEmptyClickReleasesHold(const Program &program, const Child &resident) {
    const char *what = "a click below the last row releases the hold";
    DWORD refreshed;
    if (!WaitForRefresh(program, what, &refreshed)) {
        return;
    }
    std::vector<Row> rows = ReadRows(program, 1);
    POINT below;
    if (!RowCentre(program, (int)rows.size() - 1, 1, &below)) {
        Skip(what, "no empty space below the rows");
        return;
    }
    bool clicked = ClickRow(program, FindRow(rows, resident.id)) && PostClick(program, below);
    Child newcomer = StartChild();
    MarkRowZero(program);
    while (RowZeroMarked(program) && Since(refreshed) < SELECTION_HOLD_MS + 2000) {
        Sleep(POLL_MS);
    }
    DWORD rebuiltAt = Since(refreshed);
    long shown = WaitForRow(program, newcomer.id, true, 2 * REFRESH_PERIOD_MS);
    Expect(clicked && rebuiltAt < REFRESH_PERIOD_MS + 700 && shown >= 0, what,
           Format("clicked %d, rebuilt %lu ms after the refresh, new child %s", clicked, rebuiltAt,
                  shown >= 0 ? "shown" : "absent"));
    EndChild(&newcomer);
}

static void CheckTrimSelected(const Program &program, const Child &resident) {
    const char *what = "\"Trim working set\" reports the clicked process's pages";
    DWORD refreshed;
    if (!WaitForRefresh(program, what, &refreshed)) {
        return;
    }
    std::vector<Row> rows = ReadRows(program, 2);
    int row = FindRow(rows, resident.id);
    if (!ClickRow(program, row)) {
        Expect(false, what, Format("cannot click the row of child %lu", resident.id));
        return;
    }
    PostMessageA(GetDlgItem(program.dialog, IDOK), BM_CLICK, 0, 0);
    HWND window = WaitForBox(program.info.dwProcessId, program.dialog, BOX_TIMEOUT_MS);
    if (!window) {
        Expect(false, what, Format("no box within %d ms", BOX_TIMEOUT_MS));
        return;
    }
    long own = OwnWorkingSetPages(resident);
    Box box = ReadAndCloseBox(window);
    std::string head = "Working set size of process " + rows[row].cell[1] + " was trimmed to ";
    std::string tail = " pages\n";
    std::string pages;
    if (box.text.size() > head.size() + tail.size() &&
        box.text.compare(0, head.size(), head) == 0 &&
        box.text.compare(box.text.size() - tail.size(), tail.size(), tail) == 0) {
        pages = box.text.substr(head.size(), box.text.size() - head.size() - tail.size());
    }
    Expect(box.caption == "Ferrowin" && IsDecimal(pages) && CloseToPages(atol(pages.c_str()), own),
           what,
           Format("caption %s, text %s; expected %s<about %ld>%s", Quote(box.caption).c_str(),
                  Quote(box.text).c_str(), Quote(head).c_str(), own, Quote(tail).c_str()));
}

// The row is clicked, then its process ends before the button is pressed.
static void CheckTrimEndedProcess(const Program &program, const std::string &errorCaption) {
    const char *what = "\"Trim working set\" on an ended process shows the system's error";
    DWORD refreshed;
    if (!WaitForRefresh(program, what, &refreshed)) {
        return;
    }
    Child child = StartChild();
    if (WaitForRow(program, child.id, true, ROW_TIMEOUT_MS) < 0 ||
        !WaitForRefresh(program, what, &refreshed) || !ClickRowOf(program, child.id)) {
        Expect(false, what, Format("cannot click the row of child %lu", child.id));
        EndChild(&child);
        return;
    }
    DWORD id = child.id;
    EndChild(&child);
    // Wine lets an ended process be opened for about half a second more.
    bool opens = true;
    while (opens && Since(refreshed) < SELECTION_HOLD_MS - 500) {
        HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, id);
        opens = process != NULL;
        if (process) {
            CloseHandle(process);
            Sleep(POLL_MS);
        }
    }
    if (opens) {
        Expect(false, what, "the ended child could still be opened when the hold ran out");
        return;
    }
    PostMessageA(program.dialog, WM_COMMAND, IDOK, 0);
    HWND window = WaitForBox(program.info.dwProcessId, program.dialog, BOX_TIMEOUT_MS);
    if (!window) {
        Expect(false, what, Format("no box within %d ms", BOX_TIMEOUT_MS));
        return;
    }
    Box box = ReadAndCloseBox(window);
    std::string prefix = "Opening process failed because of the following error: ";
    Expect(box.text.size() > prefix.size() && box.text.compare(0, prefix.size(), prefix) == 0 &&
               box.caption == errorCaption && box.caption != "Ferrowin",
           what,
           Format("caption %s (expected %s), text %s", Quote(box.caption).c_str(),
                  Quote(errorCaption).c_str(), Quote(box.text).c_str()));
}

static void CheckTrimWithoutClick(const Program &program) {
    const char *what = "\"Trim working set\" with no row clicked does nothing";
    DWORD refreshed;
    if (!WaitForRefresh(program, what, &refreshed)) {
        return;
    }
    PostMessageA(program.dialog, WM_COMMAND, IDOK, 0);
    HWND window = WaitForBox(program.info.dwProcessId, program.dialog, NO_BOX_WAIT_MS);
    std::string text = window ? ReadAndCloseBox(window).text : "";
    Expect(!window, what, "a box came up: " + Quote(text));
}

static void CheckTrimAll(const Program &program) {
    const char *what = "\"Trim ALL\" reports free pages before and after";
    PostMessageA(program.dialog, WM_COMMAND, MAKEWPARAM(IDC_TRIM_ALL, BN_CLICKED),
                 (LPARAM)GetDlgItem(program.dialog, IDC_TRIM_ALL));
    HWND window = WaitForBox(program.info.dwProcessId, program.dialog, BOX_TIMEOUT_MS);
    if (!window) {
        Expect(false, what, Format("no box within %d ms", BOX_TIMEOUT_MS));
        return;
    }
    MEMORYSTATUSEX status;
    status.dwLength = sizeof status;
    GlobalMemoryStatusEx(&status);
    Box box = ReadAndCloseBox(window);

    static const char format[] = "All working sets trimmed.\n\t\tAFTER\tBEFORE\tDIFFERENCE\n"
                                 "PhysPages :\t%d\t%d\t%d\nPageFilePages :\t%d\t%d\t%d\n";
    int n[6] = {0, 0, 0, 0, 0, 0};
    sscanf(box.text.c_str(), format, &n[0], &n[1], &n[2], &n[3], &n[4], &n[5]);
    // scanf takes any white space for a blank: the text is compared again exactly.
    std::string again = Format(format, n[0], n[1], n[2], n[3], n[4], n[5]);
    Expect(box.caption == "Ferrowin" && box.text == again, what,
           Format("caption %s, text %s", Quote(box.caption).c_str(), Quote(box.text).c_str()));

    // Each difference is the byte difference in pages, rounded down.
    std::string wrong;
    for (int i = 0; i < 6; i += 3) {
        long long rough = (long long)n[i] - n[i + 1];
        if (n[i + 2] != rough && n[i + 2] != rough - 1) {
            wrong += Format(" %d-%d gave %d", n[i], n[i + 1], n[i + 2]);
        }
    }
    Expect(wrong.empty(), "\"Trim ALL\"'s differences agree with its figures", "got" + wrong);
    long long freePages = (long long)(status.ullAvailPhys >> PAGE_SHIFT);
    Expect(n[1] > 0 && n[1] > freePages * 9 / 10 && n[1] < freePages * 11 / 10,
           "\"Trim ALL\"'s free physical pages are the system's",
           Format("BEFORE %d, the driver reads %lld", n[1], freePages));
}

static void CheckAbout(const Program &program) {
    const char *what = "the About command shows the program's box";
    PostMessageA(program.dialog, WM_SYSCOMMAND, IDM_ABOUT, 0);
    HWND window = WaitForBox(program.info.dwProcessId, program.dialog, BOX_TIMEOUT_MS);
    if (!window) {
        Expect(false, what, Format("no box within %d ms", BOX_TIMEOUT_MS));
        return;
    }
    Box box = ReadAndCloseBox(window);
    // Lines 3 and 4 in windows-1251, the program's 8-bit code page under test.
    static const char text[] =
        "Ferrowin v1.0\n"
        "Ferrowin project, 2026\n"
        "\xcf\xf0\xee\xe3\xf0\xe0\xec\xec\xe0 \xe4\xe5\xec\xee\xed\xf1\xf2\xf0\xe8\xf0\xf3\xe5\xf2 "
        "\xf3\xf1\xe5\xf7\xe5\xed\xe8\xe5 \xf0\xe0\xe1\xee\xf7\xe8\xf5 "
        "\xed\xe0\xe1\xee\xf0\xee\xe2 \xe8\xe7 "
        "\xef\xee\xeb\xfc\xe7\xee\xe2\xe0\xf2\xe5\xeb\xfc\xf1\xea\xee\xe3\xee "
        "\xf0\xe5\xe6\xe8\xec\xe0. \n"
        "\xcf\xf0\xe8\xeb\xee\xe6\xe5\xed\xe8\xe5 \xea \xf1\xf2\xe0\xf2\xfc\xe5 \xee\xe1 "
        "\xf3\xef\xf0\xe0\xe2\xeb\xe5\xed\xe8\xe8 \xef\xe0\xec\xff\xf2\xfc\xfe.";
    Expect(box.caption == "Ferrowin" && box.text == text, what,
           Format("caption %s, text %s; expected %s", Quote(box.caption).c_str(),
                  Quote(box.text).c_str(), Quote(text).c_str()));
}

// The rebuild keeps the scroll position. Needs more rows than fit in the
// list, so idle children make up the difference.
static void CheckScrollKept(const Program &program) {
    const char *what = "the list keeps its scroll position through a refresh";
    int perPage = (int)AskList(program, LVM_GETCOUNTPERPAGE);
    int needed = perPage + SCROLL_ROWS + 2 - (int)AskList(program, LVM_GETITEMCOUNT);
    if (needed > MAX_SCROLL_CHILDREN) {
        Skip(what, Format("%d more processes needed", needed));
        return;
    }
    std::vector<Child> children;
    for (int i = 0; i < needed; ++i) {
        children.push_back(StartChild());
    }
    bool allShown = true;
    for (const Child &child : children) {
        allShown = allShown && WaitForRow(program, child.id, true, 4 * ROW_TIMEOUT_MS) >= 0;
    }
    AskList(program, WM_VSCROLL, SB_TOP);
    for (int i = 0; i < SCROLL_ROWS; ++i) {
        AskList(program, WM_VSCROLL, SB_LINEDOWN);
    }
    int scrolled = (int)AskList(program, LVM_GETTOPINDEX);
    DWORD tick;
    if (!WaitForRefresh(program, what, &tick) || !WaitForRefresh(program, what, &tick)) {
        return;
    }
    // Processes of others may have ended meanwhile, leaving less to scroll.
    int most = (int)AskList(program, LVM_GETITEMCOUNT) - perPage;
    int want = most < 0 ? 0 : most < SCROLL_ROWS ? most : SCROLL_ROWS;
    int kept = (int)AskList(program, LVM_GETTOPINDEX);
    Expect(allShown && scrolled == SCROLL_ROWS && kept == want, what,
           Format("%d children shown %d, top row %d after scrolling, %d after two refreshes "
                  "(expected %d)",
                  needed, allShown, scrolled, kept, want));

    for (Child &child : children) {
        EndChild(&child);
    }
}

static void CheckEscapeWithRowClicked(const Program &program, const Child &resident) {
    const char *what = "Esc with a row clicked ends the program with 0";
    DWORD refreshed;
    if (!WaitForRefresh(program, what, &refreshed)) {
        return;
    }
    bool clicked = ClickRowOf(program, resident.id);
    PostMessageA(program.list, WM_KEYDOWN, VK_ESCAPE, 1);
    PostMessageA(program.list, WM_KEYUP, VK_ESCAPE, 0xC0000001);
    DWORD exitCode = 0;
    bool ended = WaitForExit(program, &exitCode);
    Expect(clicked && ended && exitCode == 0, what,
           Format("clicked %d, ended %d, exit code %lu", clicked, ended, exitCode));
}

static void CheckCloseButton(const Program &program) {
    PostMessageA(GetDlgItem(program.dialog, IDCANCEL), BM_CLICK, 0, 0);
    DWORD exitCode = 0;
    bool ended = WaitForExit(program, &exitCode);
    Expect(ended && exitCode == 0, "\"Close\" ends the program with 0",
           Format("ended %d, exit code %lu", ended, exitCode));
}

// The program starts, shows its dialog and ends with "Close".
static void RunStartCheck(const std::string &programPath) {
    Program program;
    if (StartProgram(programPath, &program)) {
        CheckCloseButton(program);
    }
    EndProcess(program.info.hProcess);
}

static void RunChecks(const std::string &programPath) {
    std::string errorCaption = DefaultErrorCaption();
    Program program;
    if (StartProgram(programPath, &program)) {
        CheckOnlyWindow(program);
        CheckControls(program);
        CheckColumns(program);
        CheckRowsMatchSnapshot(program);

        Child resident = StartChild();
        WaitForRow(program, resident.id, true, ROW_TIMEOUT_MS);
        CheckChildFigures(program, resident);
        CheckRefreshFollowsProcesses(program);
        CheckClickHoldsList(program, resident);
        CheckEmptyClickReleasesHold(program, resident);
        CheckTrimSelected(program, resident);
        CheckTrimEndedProcess(program, errorCaption);
        CheckTrimWithoutClick(program);
        CheckTrimAll(program);
        CheckAbout(program);
        CheckScrollKept(program);
        CheckEscapeWithRowClicked(program, resident);
        EndChild(&resident);
    }
    EndProcess(program.info.hProcess);
    RunStartCheck(programPath);
}

int main(int argc, char **argv) {
    if (argc == 3 && strcmp(argv[1], "child") == 0) {
        return RunChild(strtoul(argv[2], NULL, 10));
    }
    if (argc != 2) {
        fprintf(stderr, "usage: e2e_driver <path of ferrowin.exe>\n");
        return 2;
    }
    setvbuf(stdout, NULL, _IONBF, 0);
    char self[MAX_PATH];
    GetModuleFileNameA(NULL, self, sizeof self);
    SelfPath = self;
    Job = CreateJobObjectA(NULL, NULL);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
    ZeroMemory(&limits, sizeof limits);
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(Job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    CloseHandle(CreateThread(NULL, 0, Watchdog, NULL, 0, NULL));

    DWORD start = GetTickCount();
    if (getenv("FERROWIN_E2E_START_ONLY")) {
        RunStartCheck(argv[1]);
    } else {
        RunChecks(argv[1]);
    }
    TerminateJobObject(Job, 0);
    printf("%s: %d failed, %lu ms\n", Failures ? "FAILED" : "PASSED", Failures, Since(start));
    return Failures ? 1 : 0;
}
