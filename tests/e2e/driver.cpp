// End-to-end driver: starts ferrowin.exe, works its dialog from another
// process the way a user would, and checks what the user would see. Prints one
// line per check and exits with 1 when any failed. Usage:
//   e2e_driver <path of ferrowin.exe>
// It re-runs itself as "e2e_driver child <driver id>" for idle processes of
// its own to look at.
#include "remote_list.h"

#include "expected_texts.h"
#include "res/ids.h"
#include "window_pixels.h"

#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

enum {
    PAGE_SHIFT = 12,
    STATIC_TEXT_ID = 0xFFFF, // id -1 as a dialog item: the static texts
    BOX_TIMEOUT_MS = 5000,
    IMAGE_NAME_MAX_CHARS = 98,
    NO_BOX_WAIT_MS = 1500,
    ROW_TIMEOUT_MS = 3000,         // a new or ended process shows in the list by then
    DRIVER_TIME_LIMIT_MS = 240000, // below CTest's 300 s, so the clean-up still runs
    CLEAN_UP_MS = 60000,           // kept below CTest's limit when it names another
    MAX_SCROLL_CHILDREN = 60,
    ENDING_ROWS = 3,
    ATTEMPTS = 4,
    SEEN_LATE_MS = 200, // a rebuild noticed later than this gives no time to measure from
    PERIOD_REBUILDS = 5,
    SLOW_PERIOD_MS = 1300, // no two rebuilds closer than this: the period is too long
};

// ---------------------------------------------------------------------------
// Results

static int Failures;

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
        if (c == '\n' || c == '"' || c == '\\') {
            quoted += std::string("\\") + (c == '\n' ? 'n' : (char)c);
        } else {
            quoted += c < 0x20 || c >= 0x7F ? Format("\\x%02x", c) : std::string(1, (char)c);
        }
    }
    return quoted + "\"";
}

static bool IsDecimal(const std::string &text) {
    size_t start = !text.empty() && text[0] == '-' ? 1 : 0;
    return text.size() > start && text.find_first_not_of("0123456789", start) == std::string::npos;
}

static std::string Seen(const SeenBox &box) {
    return Format("caption %s, text %s", Quote(box.caption).c_str(), Quote(box.text).c_str());
}

static DWORD WINAPI Watchdog(LPVOID) {
    // An emulated run gets more time from CTest, which says how much.
    DWORD limit = DRIVER_TIME_LIMIT_MS;
    const char *ctestLimit = getenv("FERROWIN_TEST_TIMEOUT");
    if (ctestLimit && (DWORD)atoi(ctestLimit) * 1000 > limit + CLEAN_UP_MS) {
        limit = (DWORD)atoi(ctestLimit) * 1000 - CLEAN_UP_MS;
    }
    Sleep(limit);
    printf("FAIL driver: still running after %lu s; ending everything\n", limit / 1000);
    TerminateJobObject(ChildJob(), 0);
    ExitProcess(2);
}

static bool CloseToPages(long shown, long own) {
    // The child is idle, but its size is read at two different moments.
    long tolerance = own / 10 > 64 ? own / 10 : 64;
    return shown >= own - tolerance && shown <= own + tolerance;
}

static long OwnWorkingSetPages(const Child &child) {
    PROCESS_MEMORY_COUNTERS counters;
    ZeroMemory(&counters, sizeof counters);
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(child.process, &counters, sizeof counters)) {
        return -1;
    }
    return (long)(counters.WorkingSetSize >> PAGE_SHIFT);
}

static std::string RowIds(const std::vector<Row> &rows) {
    std::string ids;
    for (const Row &row : rows) {
        ids += " " + row.cell[0];
    }
    return ids;
}

// False when the program did not start, showed no dialog, or its list cannot
// be reached.
static bool Started(const std::string &path, Program *program) {
    ZeroMemory(program, sizeof *program);
    program->info = StartChildProcess("\"" + path + "\"");
    if (!program->info.hProcess) {
        Expect(false, "the program starts", Format("CreateProcess error %lu", GetLastError()));
        return false;
    }
    DWORD start = GetTickCount();
    while (!program->dialog && Since(start) < Scaled(START_TIMEOUT_MS) &&
           WaitForSingleObject(program->info.hProcess, POLL_MS) == WAIT_TIMEOUT) {
        program->dialog = FindDialogWindow(program->info.dwProcessId, NULL, "Ferrowin");
    }
    program->startMs = Since(start);
    Expect(program->dialog != NULL, "the program shows its dialog captioned \"Ferrowin\"",
           Format("none within %lu ms", Scaled(START_TIMEOUT_MS)));
    program->list = GetDlgItem(program->dialog, IDC_PROCESS_LIST);
    program->remote = (char *)VirtualAllocEx(program->info.hProcess, NULL, REMOTE_BLOCK_BYTES,
                                             MEM_COMMIT, PAGE_READWRITE);
    return program->dialog && program->list && program->remote;
}

static void ExpectEndsWithZero(const Program &program, const char *what, bool clicked) {
    DWORD exitCode = 0;
    bool ended =
        WaitForSingleObject(program.info.hProcess, Scaled(EXIT_TIMEOUT_MS)) == WAIT_OBJECT_0 &&
        GetExitCodeProcess(program.info.hProcess, &exitCode);
    Expect(clicked && ended && exitCode == 0, what,
           Format("clicked %d, ended %d, exit code %lu", clicked, ended, exitCode));
}

// Waits for the next rebuild; a failure of `what` when none comes.
static bool Refreshed(const Program &program, const char *what, DWORD *tick = NULL,
                      DWORD *gap = NULL) {
    bool refreshed = WaitForRefresh(program, tick, gap);
    if (!refreshed) {
        Expect(false, what, Format("no refresh within %lu ms", Scaled(REFRESH_TIMEOUT_MS)));
    }
    return refreshed;
}

// Clicks the process's row right after a refresh and waits until the program
// has handled the click, with `rows` the list's ids as clicked. Returns why
// the attempt must start again, or "" once clicked. With `fresh`, a refresh
// noticed too late to measure a hold from is such a reason.
static std::string ClickAfterRefresh(const Program &program, DWORD id, bool fresh, DWORD *refreshed,
                                     std::vector<Row> *rows) {
    DWORD gap;
    if (!WaitForRefresh(program, refreshed, &gap)) {
        return Format("no refresh within %lu ms", Scaled(REFRESH_TIMEOUT_MS));
    }
    if (fresh && gap > SEEN_LATE_MS) {
        return Format("the refresh was noticed up to %lu ms late", gap);
    }
    *rows = ReadRows(program, 1);
    MarkRow(program);
    if (!ClickRow(program, FindRow(*rows, id))) {
        return Format("cannot click the row of process %lu", id);
    }
    return HandledBeforeRebuild(program) ? "" : "the list was rebuilt before the click was handled";
}

// The box the program shows, read and closed; false and a failure of `what`
// when none comes.
static bool BoxShown(const Program &program, const char *what, SeenBox *box) {
    HWND window = WaitForBox(program.info.dwProcessId, program.dialog, Scaled(BOX_TIMEOUT_MS));
    if (!window) {
        Expect(false, what, Format("no box within %lu ms", Scaled(BOX_TIMEOUT_MS)));
        return false;
    }
    *box = ReadAndCloseBox(window, Scaled(BOX_TIMEOUT_MS));
    return true;
}

// Runs a check whose premise a busy machine can break (the list rebuilt
// before a posted click was handled, a rebuild noticed late) up to ATTEMPTS
// times: an attempt returns why its premise failed, or "" once it reported.
template <typename Attempt> static void Retried(const char *what, Attempt attempt) {
    for (int i = 1;; ++i) {
        std::string why = attempt(what);
        if (why.empty()) {
            return;
        }
        if (i == ATTEMPTS) {
            std::string detail = Format("%d attempts, the last: ", ATTEMPTS) + why;
            if (Slowness > 1) {
                Skip(what, Format("on a machine %lu times slower than usual, ", Slowness) + detail);
            } else {
                Expect(false, what, detail);
            }
            return;
        }
        printf("again %s: %s\n", what, why.c_str());
    }
}

// ---------------------------------------------------------------------------
// Checks

static void CheckOnlyWindow(const Program &program) {
    // What the user sees: the visible top-level windows. Every GUI thread also
    // has hidden system windows (IME, text services) whose classes differ
    // between Windows and Wine versions.
    std::string others;
    bool dialogShown = false;
    for (HWND window : TopWindowsOf(program.info.dwProcessId)) {
        if (window == program.dialog) {
            dialogShown = IsWindowVisible(window);
        } else if (IsWindowVisible(window)) {
            others += " " + ClassOf(window) + " " + Quote(TextOf(window));
        }
    }
    Expect(dialogShown && others.empty(), "the dialog is the program's only window at start",
           dialogShown ? "also shown:" + others : std::string("the dialog is not shown"));
}

// The list's columns, as " title/alignment" each.
static std::string ListColumns(const Program &program) {
    std::string columns, title;
    int format = 0;
    for (int i = 0; i < COLUMN_COUNT + 1 && ReadColumn(program, i, &title, &format); ++i) {
        columns += " " + title +
                   (format == LVCFMT_LEFT    ? "/left"
                    : format == LVCFMT_RIGHT ? "/right"
                                             : "/centre");
    }
    return columns;
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
    std::string want, got, columns;
    for (int i = 0; i < COLUMN_COUNT; ++i) {
        columns += Format(" %s/%s", COLUMN_TITLES[i], i < 2 ? "left" : "right");
    }
    for (const Control &control : expected) {
        want += Format(" %d %s", control.id, control.className) +
                (control.text ? " " + Quote(control.text) : columns);
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
        got += Format(" %d %s", GetDlgCtrlID(child), className.c_str()) +
               (className == "SysListView32" ? ListColumns(program) : " " + Quote(TextOf(child)));
    }
    Expect(want == got, "the dialog's controls in order, with their texts and the list's columns",
           "expected" + want + ", got" + got);

    LRESULT defaultId = SendMessageA(program.dialog, DM_GETDEFID, 0, 0);
    Expect(HIWORD(defaultId) == DC_HASDEFID && LOWORD(defaultId) == IDOK,
           "\"Trim working set\" is the default button",
           Format("DM_GETDEFID gave 0x%lx", (unsigned long)defaultId));
    LONG style = GetWindowLongA(program.list, GWL_STYLE);
    Expect((style & LVS_TYPEMASK) == LVS_REPORT, "the list is in report view",
           Format("style 0x%lx", (unsigned long)style));
}

// The debug privilege in the process's token: enabled (2), held but not
// enabled (1), or neither, nor readable (0).
static int DebugPrivilegeState(HANDLE process) {
    HANDLE token;
    LUID debug;
    if (!LookupPrivilegeValueA(NULL, "SeDebugPrivilege", &debug) ||
        !OpenProcessToken(process, TOKEN_QUERY, &token)) {
        return 0;
    }
    DWORD buffer[1024], size;
    TOKEN_PRIVILEGES *privileges = (TOKEN_PRIVILEGES *)buffer;
    bool read = GetTokenInformation(token, TokenPrivileges, privileges, sizeof buffer, &size);
    int state = 0;
    for (DWORD i = 0; read && i < privileges->PrivilegeCount; ++i) {
        const LUID_AND_ATTRIBUTES &entry = privileges->Privileges[i];
        if (entry.Luid.LowPart == debug.LowPart && entry.Luid.HighPart == debug.HighPart) {
            state = entry.Attributes & SE_PRIVILEGE_ENABLED ? 2 : 1;
        }
    }
    CloseHandle(token);
    return state;
}

// The program's token is a copy of the driver's, which holds the privilege
// without enabling it.
static void CheckDebugPrivilege(const Program &program) {
    const char *what = "the program enables the debug privilege in its token";
    if (DebugPrivilegeState(GetCurrentProcess()) != 1) {
        Skip(what, "the driver's token does not hold it, or has it enabled already");
        return;
    }
    // Only a privilege held and left disabled is a fault: a user who does not
    // hold it (on Windows, one who is not an administrator) cannot enable it.
    int state = DebugPrivilegeState(program.info.hProcess);
    if (state == 0) {
        Skip(what, "the program's token does not hold it");
    } else {
        Expect(state == 2, what, "held but not enabled");
    }
}

// SecurityCookie's offset in the load configuration's documented layout.
static const DWORD COOKIE_FIELD = sizeof(void *) == 8 ? 0x58 : 0x3C;
static const ULONG_PTR DEFAULT_COOKIE =
    sizeof(void *) == 8 ? (ULONG_PTR)0x00002B992DDFA232ull : (ULONG_PTR)0xBB40E64Eu;

// The stack protector's guard as the running program holds it: the variable
// the load configuration names, found through the image's headers in the
// program's memory (the loader may have placed the image anywhere).
static bool ReadSecurityCookie(const Program &program, ULONG_PTR *cookie) {
    const BYTE *base = NULL;
    WalkModules(program.info.dwProcessId, [&](const MODULEENTRY32 &module) {
        base = module.modBaseAddr; // the executable
        return false;
    });
    auto read = [&](const void *at, void *into, SIZE_T size) {
        SIZE_T done = 0;
        return ReadProcessMemory(program.info.hProcess, at, into, size, &done) && done == size;
    };
    IMAGE_DOS_HEADER dos;
    IMAGE_NT_HEADERS nt;
    if (!base || !read(base, &dos, sizeof dos) || !read(base + dos.e_lfanew, &nt, sizeof nt)) {
        return false;
    }
    DWORD config =
        nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG].VirtualAddress;
    if (config == 0) {
        SetLastError(ERROR_BAD_EXE_FORMAT);
        return false;
    }
    ULONG_PTR address;
    return read(base + config + COOKIE_FIELD, &address, sizeof address) &&
           read((const void *)address, cookie, sizeof *cookie);
}

// A copy of the program in the temporary folder whose load configuration
// directory ends just before SecurityCookie: no loader then touches the guard,
// which stays at the default as XP's loader leaves it. "" when not made.
static std::string DefaultCookieCopy(const std::string &programPath) {
    char folder[MAX_PATH];
    std::string copy = GetTempPathA(MAX_PATH, folder) ? folder : "";
    copy += "ferrowin-default-cookie.exe";
    HANDLE file = CopyFileA(programPath.c_str(), copy.c_str(), FALSE)
                      ? CreateFileA(copy.c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL,
                                    OPEN_EXISTING, 0, NULL)
                      : INVALID_HANDLE_VALUE;
    IMAGE_DOS_HEADER dos;
    DWORD done, size = COOKIE_FIELD;
    LONG at = offsetof(IMAGE_NT_HEADERS, OptionalHeader.DataDirectory) +
              IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG * sizeof(IMAGE_DATA_DIRECTORY) +
              offsetof(IMAGE_DATA_DIRECTORY, Size);
    bool made =
        file != INVALID_HANDLE_VALUE && ReadFile(file, &dos, sizeof dos, &done, NULL) &&
        done == sizeof dos &&
        SetFilePointer(file, dos.e_lfanew + at, NULL, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
        WriteFile(file, &size, sizeof size, &done, NULL) && done == sizeof size;
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    }
    return made ? copy : "";
}

static void CheckSecurityCookie(const Program &program, const std::string &programPath) {
    const char *what = "the running program's security cookie is random: neither the documented "
                       "default nor zero";
    ULONG_PTR cookie = 0;
    if (!ReadSecurityCookie(program, &cookie)) {
        Expect(false, what,
               Format("error %lu (193: no load configuration directory)", GetLastError()));
        return;
    }
    // A guard left zero (a loader leaves any value but the default alone) is
    // as good as none.
    Expect(cookie != DEFAULT_COOKIE && cookie != 0, what,
           Format("it holds 0x%llX", (unsigned long long)cookie));

    // Where the loader left the default, each start draws a guard of its own.
    what = "from the default, as XP leaves it, two starts draw two guards: neither the default "
           "nor zero";
    std::string copy = DefaultCookieCopy(programPath);
    ULONG_PTR drawn[2] = {0, 0};
    for (ULONG_PTR &guard : drawn) {
        Program run;
        if (!copy.empty() && Started(copy, &run)) {
            ReadSecurityCookie(run, &guard);
        }
        EndProcess(run.info.hProcess, Scaled(EXIT_TIMEOUT_MS));
    }
    DeleteFileA(copy.c_str());
    bool random = drawn[0] != drawn[1];
    for (ULONG_PTR guard : drawn) {
        random = random && guard != DEFAULT_COOKIE && guard != 0;
    }
    Expect(random, what,
           copy.empty() ? Format("no copy made, error %lu", GetLastError())
                        : Format("0x%llX, then 0x%llX", (unsigned long long)drawn[0],
                                 (unsigned long long)drawn[1]));
}

// One rebuild a second: of several in a row, some two came closer together
// than a longer period allows (a busy machine delays some ticks, not all), and
// some two further apart than a shorter one. Only rebuilds noticed promptly at
// both ends tell: each is known to lie within the poll's gap before it was seen.
static std::string TryRefreshPeriod(const Program &program, const char *what) {
    DWORD last, lastGap = 0, tick, gap;
    if (!Refreshed(program, what, &last, &lastGap)) {
        return "";
    }
    DWORD shortest = INFINITE, longest = 0;
    int measured = 0;
    std::string seen;
    for (int i = 0; i < PERIOD_REBUILDS; ++i) {
        if (!Refreshed(program, what, &tick, &gap)) {
            return "";
        }
        DWORD most = tick - last + lastGap, least = tick - gap - last;
        seen += Format(" %lu-%lu", least, most);
        if (gap <= SEEN_LATE_MS && lastGap <= SEEN_LATE_MS) {
            shortest = most < shortest ? most : shortest;
            longest = least > longest ? least : longest;
            ++measured;
        }
        last = tick, lastGap = gap;
    }
    if (measured < 2) {
        return "too few rebuilds noticed within " + Format("%d ms:", SEEN_LATE_MS) + seen +
               " ms apart";
    }
    if (shortest >= SLOW_PERIOD_MS && longest >= 2 * REFRESH_PERIOD_MS) {
        return "the machine was too busy for a tick a second:" + seen + " ms apart";
    }
    Expect(shortest < SLOW_PERIOD_MS && longest > REFRESH_PERIOD_MS - 300, what,
           "rebuilds" + seen + " ms apart");
    return "";
}

static std::vector<PROCESSENTRY32> TakeSnapshot(void) {
    std::vector<PROCESSENTRY32> entries;
    WalkSnapshot([&](const PROCESSENTRY32 &entry) { entries.push_back(entry); });
    return entries;
}

static const PROCESSENTRY32 *FindEntry(const std::vector<PROCESSENTRY32> &entries, DWORD id) {
    auto found = std::find_if(entries.begin(), entries.end(), [&](const PROCESSENTRY32 &entry) {
        return entry.th32ProcessID == id;
    });
    return found == entries.end() ? NULL : &*found;
}

// The list against two snapshots of the driver's own, one before the rebuild
// it reads and one after: a process in both was there at the rebuild, and
// every row must be in one of them.
static void CheckRowsMatchSnapshot(const Program &program) {
    std::vector<PROCESSENTRY32> before = TakeSnapshot();
    if (!Refreshed(program, "the list against a snapshot")) {
        return;
    }
    std::vector<Row> rows = ReadSteadyRows(program);
    std::vector<PROCESSENTRY32> after = TakeSnapshot();

    std::string missing, strange, badFigures, listOrder, snapshotOrder;
    for (const PROCESSENTRY32 &entry : before) {
        if (FindEntry(after, entry.th32ProcessID) && FindRow(rows, entry.th32ProcessID) < 0) {
            missing += Format(" %lu %s", entry.th32ProcessID, entry.szExeFile);
        }
    }
    for (const Row &row : rows) {
        DWORD id = strtoul(row.cell[0].c_str(), NULL, 10);
        const PROCESSENTRY32 *first = FindEntry(before, id), *last = FindEntry(after, id);
        // Wine lists a process that is still starting without its name: one
        // that starts (or starts and ends) between the snapshots may show so.
        auto namedIn = [&](const PROCESSENTRY32 *entry) {
            return entry &&
                   std::string(entry->szExeFile).substr(0, IMAGE_NAME_MAX_CHARS) == row.cell[1];
        };
        bool named = namedIn(first) || namedIn(last) || (!first && row.cell[1].empty());
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
    for (const PROCESSENTRY32 &entry : after) {
        if (FindRow(rows, entry.th32ProcessID) >= 0) {
            snapshotOrder += Format(" %lu", entry.th32ProcessID);
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

// A new child is still loading and touching its memory; on a slow machine
// that takes seconds. Its figures are compared once its own reading holds.
static void WaitForIdleChild(const Child &child) {
    DWORD start = GetTickCount();
    long before = OwnWorkingSetPages(child), now;
    while (Since(start) < Scaled(ROW_TIMEOUT_MS)) {
        Sleep(REFRESH_PERIOD_MS / 2);
        now = OwnWorkingSetPages(child);
        if (labs(now - before) <= 16) {
            return;
        }
        before = now;
    }
}

static void CheckChildFigures(const Program &program, const Child &child) {
    WaitForIdleChild(child);
    if (!Refreshed(program, "the child's figures")) {
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
    Child child = StartIdleChild();
    long appeared = WaitForRow(program, child.id, true, Scaled(ROW_TIMEOUT_MS));
    Expect(appeared >= 0, "a new process gets a row within a few seconds",
           Format("no row for %lu after %lu ms", child.id, Scaled(ROW_TIMEOUT_MS)));
    EndChild(&child);
    long gone = WaitForRow(program, child.id, false, Scaled(ROW_TIMEOUT_MS));
    Expect(gone >= 0, "an ended process loses its row within a few seconds",
           Format("row for %lu still there after %lu ms", child.id, Scaled(ROW_TIMEOUT_MS)));
}

// A click on a row holds the list until 3 s after the refresh before it,
// however often the row is clicked meanwhile. The program's ticks come on a
// fixed one-second grid: the hold ends with the third tick after the refresh,
// or the fourth when its tick counter read a little less than 3000 ms at the
// third; a hold counted from the last click would end with the sixth.
static std::string TryClickHoldsList(const Program &program, const Child &resident,
                                     const char *what) {
    DWORD refreshed, gap;
    std::vector<Row> before;
    std::string retry = ClickAfterRefresh(program, resident.id, true, &refreshed, &before);
    if (!retry.empty()) {
        return retry;
    }
    int row = FindRow(before, resident.id);
    Child newcomer = StartIdleChild();
    DWORD heldFor = WaitForRebuild(program, refreshed, SELECTION_HOLD_MS - 800, &gap);
    if (heldFor >= SELECTION_HOLD_MS - 800) {
        if (!ClickRow(program, row) || !HandledBeforeRebuild(program)) {
            EndChild(&newcomer);
            return "the list was rebuilt before the second click was handled";
        }
        // A tick of the driver's own halfway between the program's: a hold a
        // tick short ends here for sure, whichever way the program's tick
        // counter rounded at its own ticks.
        heldFor = WaitForRebuild(program, refreshed, SELECTION_HOLD_MS - 550, &gap);
        if (heldFor >= SELECTION_HOLD_MS - 550) {
            PostMessageA(program.dialog, WM_TIMER, ID_REFRESH_TIMER, 0);
            heldFor = WaitForRebuild(program, refreshed, SELECTION_HOLD_MS - 250, &gap);
        }
    }
    std::vector<Row> during = ReadRows(program, 1);
    DWORD rebuiltAt = WaitForRebuild(program, refreshed, 2 * SELECTION_HOLD_MS + 1000, &gap);
    if (gap > SEEN_LATE_MS) {
        EndChild(&newcomer);
        return Format("the end of the hold was noticed up to %lu ms late", gap);
    }
    long shown = WaitForRow(program, newcomer.id, true, 1000);
    EndChild(&newcomer);
    Expect(heldFor >= SELECTION_HOLD_MS - 250 && RowIds(during) == RowIds(before) &&
               FindRow(during, newcomer.id) < 0,
           what,
           Format("rebuilt %lu ms after the refresh, new child %s; rows before", heldFor,
                  FindRow(during, newcomer.id) < 0 ? "absent" : "shown") +
               RowIds(before) + ", now" + RowIds(during));
    Expect(rebuiltAt >= SELECTION_HOLD_MS - 500 && rebuiltAt - gap < SELECTION_HOLD_MS + 1700 &&
               shown >= 0,
           "the hold ends with the first tick 3 s after the refresh, not after the click",
           Format("rebuilt %lu ms after the refresh (noticed up to %lu ms late), new child %s",
                  rebuiltAt, gap, shown >= 0 ? "shown" : "absent"));
    return "";
}

// The tick after the clicks rebuilds the list, or the one after that on a
// busy machine; a hold left in place would last until the third.
static std::string TryEmptyClickReleasesHold(const Program &program, const Child &resident,
                                             const char *what) {
    DWORD refreshed, gap;
    std::vector<Row> rows;
    std::string retry = ClickAfterRefresh(program, resident.id, true, &refreshed, &rows);
    if (!retry.empty()) {
        return retry;
    }
    POINT below;
    if (!RowCentre(program, (int)rows.size() - 1, 1, &below)) {
        Skip(what, "no empty space below the rows");
        return "";
    }
    if (!PostClick(program, below) || !HandledBeforeRebuild(program)) {
        return "the list was rebuilt before the click below the rows was handled";
    }
    Child newcomer = StartIdleChild();
    DWORD rebuiltAt = WaitForRebuild(program, refreshed, SELECTION_HOLD_MS + 2000, &gap);
    long shown = WaitForRow(program, newcomer.id, true, 2 * REFRESH_PERIOD_MS);
    EndChild(&newcomer);
    Expect(rebuiltAt - gap < 2 * REFRESH_PERIOD_MS + 500 && shown >= 0, what,
           Format("rebuilt %lu ms after the refresh, new child %s", rebuiltAt,
                  shown >= 0 ? "shown" : "absent"));
    return "";
}

static std::string TryTrimSelected(const Program &program, const Child &resident,
                                   const char *what) {
    std::vector<Row> rows;
    std::string retry = ClickAfterRefresh(program, resident.id, false, NULL, &rows);
    if (!retry.empty()) {
        return retry;
    }
    std::string name = CellText(program, FindRow(rows, resident.id), 1);
    PostMessageA(GetDlgItem(program.dialog, IDOK), BM_CLICK, 0, 0);
    SeenBox box;
    if (!BoxShown(program, what, &box)) {
        return "";
    }
    long own = OwnWorkingSetPages(resident);
    // The pages read from where they stand, and the text compared again exactly.
    size_t at = strlen(TRIM_REPORT_HEAD) + name.size() + strlen(TRIM_REPORT_MIDDLE);
    long pages = atol(box.text.c_str() + std::min(at, box.text.size()));
    Expect(box.caption == PROGRAM_CAPTION && box.text == TrimReport(name, pages) &&
               CloseToPages(pages, own),
           what, Seen(box) + "; expected about " + Quote(TrimReport(name, own)));
    return "";
}

// The row is clicked, then its process ends before the button is pressed.
static std::string TryTrimEndedProcess(const Program &program, const std::string &errorCaption,
                                       const char *what) {
    if (!Refreshed(program, what)) {
        return "";
    }
    DWORD refreshed;
    Child child = StartIdleChild();
    WaitForRow(program, child.id, true, Scaled(ROW_TIMEOUT_MS));
    std::vector<Row> rows;
    std::string retry = ClickAfterRefresh(program, child.id, false, &refreshed, &rows);
    EndChild(&child);
    if (!retry.empty()) {
        return retry;
    }
    // An ended process can be opened while anyone still holds a handle to it
    // (Wine: for about half a second more): wait until this driver's own open
    // fails, within the hold.
    bool opens = true;
    while (opens && Since(refreshed) < SELECTION_HOLD_MS - 500) {
        HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, child.id);
        opens = process != NULL;
        if (process) {
            CloseHandle(process);
            Sleep(POLL_MS);
        }
    }
    if (opens) {
        return "the ended child could still be opened when the hold ran out";
    }
    PostMessageA(program.dialog, WM_COMMAND, IDOK, 0);
    HWND window = WaitForBox(program.info.dwProcessId, program.dialog, Scaled(BOX_TIMEOUT_MS));
    if (!window && !RowMarked(program)) {
        return "the hold ran out before the button was handled";
    }
    if (!window) {
        Expect(false, what, Format("no box within %lu ms", Scaled(BOX_TIMEOUT_MS)));
        return "";
    }
    SeenBox box = ReadAndCloseBox(window, Scaled(BOX_TIMEOUT_MS));
    Expect(box.text.size() > strlen(OPEN_FAILED_TEXT) && box.text.rfind(OPEN_FAILED_TEXT, 0) == 0 &&
               box.caption == errorCaption && box.caption != PROGRAM_CAPTION,
           what, Seen(box) + ", expected caption " + Quote(errorCaption));
    return "";
}

static void CheckTrimWithoutClick(const Program &program) {
    const char *what = "\"Trim working set\" with no row clicked does nothing";
    if (!Refreshed(program, what)) {
        return;
    }
    PostMessageA(program.dialog, WM_COMMAND, IDOK, 0);
    HWND window = WaitForBox(program.info.dwProcessId, program.dialog, Scaled(NO_BOX_WAIT_MS));
    std::string text = window ? ReadAndCloseBox(window, Scaled(BOX_TIMEOUT_MS)).text : "";
    Expect(!window, what, "a box came up: " + Quote(text));
}

static void CheckTrimAll(const Program &program) {
    const char *what = "\"Trim ALL\" reports free pages before and after";
    PostMessageA(program.dialog, WM_COMMAND, MAKEWPARAM(IDC_TRIM_ALL, BN_CLICKED),
                 (LPARAM)GetDlgItem(program.dialog, IDC_TRIM_ALL));
    SeenBox box;
    if (!BoxShown(program, what, &box)) {
        return;
    }
    MEMORYSTATUSEX status;
    status.dwLength = sizeof status;
    GlobalMemoryStatusEx(&status);

    int n[6] = {0, 0, 0, 0, 0, 0};
    sscanf(box.text.c_str(), MEMORY_REPORT_FORMAT, &n[0], &n[1], &n[2], &n[3], &n[4], &n[5]);
    // scanf takes any white space for a blank: the text is compared again exactly.
    Expect(box.caption == PROGRAM_CAPTION && box.text == MemoryReport(n), what, Seen(box));
    // The driver reads the system's figures after the trim, as AFTER was: on
    // Windows the trim changes them (Wine's frees nothing).
    long long freePages = (long long)(status.ullAvailPhys >> PAGE_SHIFT);
    Expect(n[0] > 0 && n[0] > freePages * 9 / 10 && n[0] < freePages * 11 / 10,
           "\"Trim ALL\"'s free physical pages are the system's",
           Format("AFTER %d, the driver reads %lld", n[0], freePages));
    // Free page-file space, not the page file's size: the figure is nearer
    // the one than the other.
    long long freeFile = (long long)(status.ullAvailPageFile >> PAGE_SHIFT);
    long long wholeFile = (long long)(status.ullTotalPageFile >> PAGE_SHIFT);
    Expect(llabs(n[3] - freeFile) < llabs(n[3] - wholeFile),
           "\"Trim ALL\"'s free page-file pages are the system's",
           Format("AFTER %d, the driver reads %lld free of %lld", n[3], freeFile, wholeFile));
}

static void CheckAbout(const Program &program) {
    const char *what = "the About command shows the program's box";
    PostMessageA(program.dialog, WM_SYSCOMMAND, IDM_ABOUT, 0);
    SeenBox box;
    if (BoxShown(program, what, &box)) {
        Expect(box.caption == PROGRAM_CAPTION && box.text == ABOUT_TEXT, what,
               Seen(box) + "; expected caption " + Quote(PROGRAM_CAPTION) + ", text " +
                   Quote(ABOUT_TEXT));
        // The 8-bit bytes read back the same in any code page; what the user
        // reads is the box's UTF-16 text, Russian only where the code page
        // is 1251, which the program's texts are written for.
        std::wstring lines = ABOUT_RUSSIAN_LINES;
        size_t at = box.shown.size() - std::min(box.shown.size(), lines.size());
        bool russian = box.shown.compare(at, std::wstring::npos, lines) == 0;
        what = "the About box's last two lines read in Russian";
        if (GetACP() == 1251) {
            Expect(russian, what,
                   Format("%u UTF-16 units, not the Russian lines", (unsigned)box.shown.size()));
        } else {
            Skip(what,
                 Format("the 8-bit code page is %u, not 1251: %s", GetACP(),
                        russian ? "they read in Russian all the same" : "other letters show"));
        }
    }
}

// The list's pixels once its and its header's repaints are done: no update
// region left, and two pictures alike.
static bool SettledPixels(const Program &program, WindowPixels *pixels) {
    HWND header = (HWND)AskList(program, LVM_GETHEADER);
    WindowPixels last = {};
    for (DWORD start = GetTickCount(); Since(start) < BOX_TIMEOUT_MS; Sleep(5 * POLL_MS)) {
        if (GetUpdateRect(program.list, NULL, FALSE) || GetUpdateRect(header, NULL, FALSE)) {
            continue;
        }
        AskList(program, WM_NULL); // a paint under way is over once this is answered
        *pixels = CaptureWindow(program.list);
        if (!pixels->bits.empty() && DifferingPixels(*pixels, last) == 0) {
            return true;
        }
        last = *pixels;
    }
    return false;
}

// After a refresh, what the list shows is what a full repaint of it shows.
// The pictures come from the screen: the dialog is brought above every other
// window first, and where a window kept above all still covers the list, the
// check cannot look.
static std::string TryScreenMatchesFullRepaint(const Program &program, const char *what) {
    SetWindowPos(program.dialog, HWND_TOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    HWND cover = CoveringWindow(program.list);
    if (cover) {
        Skip(what, "covered by " + ClassOf(cover) + " " + Quote(TextOf(cover)));
        return "";
    }
    WindowPixels shown, full;
    // Both pictures between two refreshes: the first right after one.
    if (!WaitForRefresh(program)) {
        return "no refresh came";
    }
    if (!MarkRow(program) || !SettledPixels(program, &shown)) {
        return "the list's pixels did not settle";
    }
    RedrawWindow(program.list, NULL, NULL,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
    if (!SettledPixels(program, &full) || !RowMarked(program)) {
        return "a refresh came between the two pictures";
    }
    long stale = DifferingPixels(shown, full);
    Expect(stale == 0, what, Format("%ld of %d pixels differ", stale, full.width * full.height));
    return "";
}

// An overflowing list scrolled to the bottom loses rows there: the list moves
// back to fit, and what it shows must move with it. Idle children make up
// the rows, and the last of them end.
static void CheckBottomRowsEnding(const Program &program) {
    const char *what = "rows ending at the bottom of a scrolled list leave no stale pixels";
    int perPage = (int)AskList(program, LVM_GETCOUNTPERPAGE);
    int needed = perPage + ENDING_ROWS + 2 - (int)AskList(program, LVM_GETITEMCOUNT);
    if (needed > MAX_SCROLL_CHILDREN) {
        Skip(what, Format("%d more processes needed", needed));
        return;
    }
    std::vector<Child> children;
    for (int i = 0; i < needed || (int)children.size() < ENDING_ROWS; ++i) {
        children.push_back(StartIdleChild());
    }
    bool allShown = true;
    for (const Child &child : children) {
        allShown = allShown && WaitForRow(program, child.id, true, Scaled(4 * ROW_TIMEOUT_MS)) >= 0;
    }
    AskList(program, LVM_ENSUREVISIBLE, AskList(program, LVM_GETITEMCOUNT) - 1);
    if (!allShown || !Refreshed(program, what)) {
        Expect(allShown, what, "the children did not all show");
    } else {
        size_t first = children.size() - ENDING_ROWS;
        for (size_t i = first; i < children.size(); ++i) {
            EndChild(&children[i]);
        }
        bool gone = true;
        for (size_t i = first; i < children.size(); ++i) {
            gone = gone && WaitForRow(program, children[i].id, false, ROW_TIMEOUT_MS) >= 0;
        }
        if (!gone) {
            Expect(false, what, "the ended children still have rows");
        } else {
            Retried(what,
                    [&](const char *what) { return TryScreenMatchesFullRepaint(program, what); });
        }
    }
    for (Child &child : children) {
        EndChild(&child);
    }
}

static void CheckEscapeWithRowClicked(const Program &program, const Child &resident) {
    const char *what = "Esc with a row clicked ends the program with 0";
    if (!Refreshed(program, what)) {
        return;
    }
    bool clicked = ClickRow(program, FindRow(ReadRows(program, 1), resident.id));
    PostMessageA(program.list, WM_KEYDOWN, VK_ESCAPE, 1);
    PostMessageA(program.list, WM_KEYUP, VK_ESCAPE, 0xC0000001);
    ExpectEndsWithZero(program, what, clicked);
}

// The modules of the program's process, besides the executable, that lie in
// the folder of PATH, the executable's full path.
static std::string DllsBeside(const Program &program, const std::string &path) {
    std::string folder = path.substr(0, path.find_last_of('\\') + 1), found;
    bool executable = true;
    WalkModules(program.info.dwProcessId, [&](const MODULEENTRY32 &module) {
        std::string dll = module.szExePath;
        if (!executable &&
            lstrcmpiA(dll.substr(0, dll.find_last_of('\\') + 1).c_str(), folder.c_str()) == 0) {
            found += " " + dll;
        }
        executable = false;
        return true;
    });
    return found;
}

// The program starts, shows its dialog, has taken no DLL from its own folder,
// where DLLs may be planted, and ends with "Close".
static void RunStartCheck(const std::string &programPath) {
    Program program;
    if (Started(programPath, &program)) {
        char full[MAX_PATH];
        std::string beside = DllsBeside(
            program, GetFullPathNameA(programPath.c_str(), MAX_PATH, full, NULL) ? full : "");
        Expect(beside.empty(), "the program loads no DLL from its own folder",
               "it loaded" + beside);
        bool clicked = PostMessageA(GetDlgItem(program.dialog, IDCANCEL), BM_CLICK, 0, 0);
        ExpectEndsWithZero(program, "\"Close\" ends the program with 0", clicked);
    }
    EndProcess(program.info.hProcess, Scaled(EXIT_TIMEOUT_MS));
}

// The runs where the program, or the stack check's stand-in, must end by
// itself; the box it shows first, when one is expected, is read and closed as
// a user would close it.
struct ExitRun {
    const char *mode; // FERROWIN_E2E_ONLY
    const char *what;
    const char *boxText; // NULL when no box may keep it waiting
    DWORD exitCode;
};

static const ExitRun EXIT_RUNS[] = {
    // No list view to make the dialog with, and another thread living on; or
    // no comctl32.dll to register one.
    {"no-dialog", "without its dialog the program ends with DialogBoxParamA's -1", NULL,
     0xFFFFFFFF},
    // At once and by itself: a message box or anything else waiting for the
    // user would keep it running past the wait.
    {"overrun", "a function that overruns its stack buffer ends the process with 0xC0000409", NULL,
     0xC0000409},
    {"no-psapi", "without psapi.dll: the error box, then exit code 0", NO_PSAPI_TEXT, 0},
    {"no-function", "without GetProcessMemoryInfo in psapi.dll: the error box, then exit code 0",
     NO_MEMORY_INFO_TEXT, 0},
};

static void RunExitCheck(const std::string &programPath, const ExitRun &run) {
    std::string caption = run.boxText ? DefaultErrorCaption() : "";
    PROCESS_INFORMATION info = StartChildProcess("\"" + programPath + "\"");
    HWND window =
        run.boxText && info.hProcess ? WaitForBox(info.dwProcessId, NULL, START_TIMEOUT_MS) : NULL;
    SeenBox box = window ? ReadAndCloseBox(window, Scaled(BOX_TIMEOUT_MS)) : SeenBox();
    DWORD exitCode = 0;
    bool ended = info.hProcess &&
                 WaitForSingleObject(info.hProcess, START_TIMEOUT_MS) == WAIT_OBJECT_0 &&
                 GetExitCodeProcess(info.hProcess, &exitCode);
    std::string detail =
        Format("started %d, ended %d, exit code 0x%08lX", info.hProcess != NULL, ended, exitCode);
    if (run.boxText) {
        detail += "; " + Seen(box) + ", expected caption " + Quote(caption);
    }
    Expect(ended && exitCode == run.exitCode &&
               (!run.boxText || (box.text == run.boxText && box.caption == caption)),
           run.what, detail);
    EndProcess(info.hProcess, Scaled(EXIT_TIMEOUT_MS));
}

static void RunChecks(const std::string &programPath) {
    Program program;
    if (Started(programPath, &program)) {
        DWORD wait = MeasureSlowness(program);
        printf("note the dialog showed after %lu ms, a refresh keeps the driver waiting %lu ms: "
               "bounds on waits x%lu\n",
               program.startMs, wait, Slowness);
        std::string errorCaption = DefaultErrorCaption();
        CheckOnlyWindow(program);
        CheckControls(program);
        CheckDebugPrivilege(program);
        CheckSecurityCookie(program, programPath);
        CheckRowsMatchSnapshot(program);
        Retried("the list is rebuilt every second",
                [&](const char *what) { return TryRefreshPeriod(program, what); });

        Child resident = StartIdleChild();
        WaitForRow(program, resident.id, true, Scaled(ROW_TIMEOUT_MS));
        CheckChildFigures(program, resident);
        CheckRefreshFollowsProcesses(program);
        Retried("a clicked row holds the list still",
                [&](const char *what) { return TryClickHoldsList(program, resident, what); });
        Retried("a click below the last row releases the hold", [&](const char *what) {
            return TryEmptyClickReleasesHold(program, resident, what);
        });
        Retried("\"Trim working set\" reports the clicked process's pages",
                [&](const char *what) { return TryTrimSelected(program, resident, what); });
        Retried("\"Trim working set\" on an ended process shows the system's error",
                [&](const char *what) { return TryTrimEndedProcess(program, errorCaption, what); });
        CheckTrimWithoutClick(program);
        CheckTrimAll(program);
        CheckAbout(program);
        CheckBottomRowsEnding(program);
        CheckEscapeWithRowClicked(program, resident);
        EndChild(&resident);
    }
    EndProcess(program.info.hProcess, Scaled(EXIT_TIMEOUT_MS));
    RunStartCheck(programPath);
}

int main(int argc, char **argv) {
    if (RunIdleChild(argc, argv)) {
        return 0;
    }
    if (argc != 2) {
        fprintf(stderr, "usage: e2e_driver <path of ferrowin.exe>\n");
        return 2;
    }
    setvbuf(stdout, NULL, _IONBF, 0);
    CloseHandle(CreateThread(NULL, 0, Watchdog, NULL, 0, NULL));

    DWORD start = GetTickCount();
    // The runs beside planted DLLs take only the start and exit checks.
    const char *only = getenv("FERROWIN_E2E_ONLY");
    if (!only) {
        RunChecks(argv[1]);
    } else if (strcmp(only, "start") == 0) {
        RunStartCheck(argv[1]);
    } else {
        auto named = [&](const ExitRun &run) { return strcmp(only, run.mode) == 0; };
        const ExitRun *run = std::find_if(std::begin(EXIT_RUNS), std::end(EXIT_RUNS), named);
        if (run == std::end(EXIT_RUNS)) {
            Expect(false, "FERROWIN_E2E_ONLY names a run", Quote(only));
        } else {
            RunExitCheck(argv[1], *run);
        }
    }
    TerminateJobObject(ChildJob(), 0);
    printf("%s: %d failed, %lu ms\n", Failures ? "FAILED" : "PASSED", Failures, Since(start));
    return Failures ? 1 : 0;
}