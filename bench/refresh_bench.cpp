// Times RefreshProcessTable against the real process operations, beside the
// platform calls it cannot avoid, on one population of processes; then runs
// the stand-in benchmark and ends with the ratio of the two.
#include "bench_window.h"

#include "table/table.h"
#include "ui/ui.h"

#include <commctrl.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const int DEFAULT_RUNS = 200;
const int DEFAULT_CHILDREN = 30;
const int WARM_UP_RUNS = 10;
const DWORD CHILD_START_TIMEOUT_MS = 60000;

std::string ProgramFolder(void) {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(NULL, path, sizeof path);
    std::string folder(path, n);
    return folder.substr(0, folder.find_last_of("\\/") + 1);
}

bool SnapshotHolds(const std::vector<PROCESS_INFORMATION> &children) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    size_t seen = 0;
    for (BOOL more = Process32First(snapshot, &entry); more;
         more = Process32Next(snapshot, &entry)) {
        for (const PROCESS_INFORMATION &child : children) {
            seen += child.dwProcessId == entry.th32ProcessID;
        }
    }
    CloseHandle(snapshot);
    return seen == children.size();
}

std::vector<PROCESS_INFORMATION> StartIdleChildren(int count) {
    std::string exe = ProgramFolder() + "idle_child.exe";
    std::vector<PROCESS_INFORMATION> children;
    for (int i = 0; i < count; ++i) {
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION child;
        if (!CreateProcessA(exe.c_str(), NULL, NULL, NULL, FALSE, 0, NULL, NULL, &startup,
                            &child)) {
            fprintf(stderr, "cannot start %s: error %lu\n", exe.c_str(), GetLastError());
            break;
        }
        CloseHandle(child.hThread);
        children.push_back(child);
    }
    DWORD deadline = GetTickCount() + CHILD_START_TIMEOUT_MS;
    while (!SnapshotHolds(children) && GetTickCount() < deadline) {
        Sleep(100);
    }
    return children;
}

void EndChildren(std::vector<PROCESS_INFORMATION> &children) {
    for (PROCESS_INFORMATION &child : children) {
        TerminateProcess(child.hProcess, 0);
        WaitForSingleObject(child.hProcess, 5000);
        CloseHandle(child.hProcess);
    }
    children.clear();
}

struct BareTimes {
    double total, walk, perProcess;
};

// What any refresh has to do: walk one snapshot, and open, query twice and
// close each process, in the refresh's order. The walk's own share is timed
// apart on a second snapshot, as the refresh interleaves the two.
BareTimes TimeBareCalls(void) {
    BareTimes t;
    double start = NowMs();
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    for (BOOL more = Process32First(snapshot, &entry); more;
         more = Process32Next(snapshot, &entry)) {
        HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, entry.th32ProcessID);
        if (process) {
            SIZE_T minimum = 0, maximum = 0;
            GetProcessWorkingSetSize(process, &minimum, &maximum);
            PROCESS_MEMORY_COUNTERS counters = {};
            counters.cb = sizeof counters;
            GetProcessMemoryInfo(process, &counters, sizeof counters);
            CloseHandle(process);
        }
    }
    CloseHandle(snapshot);
    t.total = NowMs() - start;

    start = NowMs();
    snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    for (BOOL more = Process32First(snapshot, &entry); more;
         more = Process32Next(snapshot, &entry)) {
    }
    CloseHandle(snapshot);
    t.walk = NowMs() - start;
    t.perProcess = t.total - t.walk;
    return t;
}

struct Phase {
    std::vector<double> bare, walk, perProcess, refresh, paint, rebuild, autosize, toggle;
    long refreshTexts = 0, paintTexts = 0, autosizeTexts = 0;
    int processes = 0;
};

// Bare calls and refreshes alternate, so that both see the same population
// and the same background load. On a shown list each refresh is followed by
// its paint, timed apart.
Phase Measure(HWND dialog, int runs, bool shown) {
    HWND list = BenchList(dialog);
    Phase p;
    for (int i = 0; i < WARM_UP_RUNS; ++i) {
        TimeBareCalls();
        RefreshProcessTable(list, &ProcessListState);
        PumpMessages();
    }
    TakeCellTextRequests();
    for (int i = 0; i < runs; ++i) {
        BareTimes bare = TimeBareCalls();
        p.bare.push_back(bare.total);
        p.walk.push_back(bare.walk);
        p.perProcess.push_back(bare.perProcess);

        double start = NowMs();
        RefreshProcessTable(list, &ProcessListState);
        p.refresh.push_back(NowMs() - start);
        p.refreshTexts += TakeCellTextRequests();
        if (shown) {
            start = NowMs();
            UpdateWindow(list);
            p.paint.push_back(NowMs() - start);
            p.paintTexts += TakeCellTextRequests();
        }
        PumpMessages();
        TakeCellTextRequests();
    }
    p.processes = (int)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
    for (int i = 0; i < runs; ++i) {
        double start = NowMs();
        RebuildListOnly(list);
        p.rebuild.push_back(NowMs() - start);
        PumpMessages();
        TakeCellTextRequests();
        start = NowMs();
        AutosizeNameColumnsOnly(list);
        p.autosize.push_back(NowMs() - start);
        p.autosizeTexts += TakeCellTextRequests();
        PumpMessages();
        start = NowMs();
        ToggleRedrawOnly(list);
        p.toggle.push_back(NowMs() - start);
        PumpMessages();
        TakeCellTextRequests();
    }
    return p;
}

void PrintPhase(const Phase &p, int runs, bool shown) {
    const char *where = shown ? "shown" : "hidden";
    char what[64];
    snprintf(what, sizeof what, "bare platform calls (%s run)", where);
    PrintTableRow(what, p.processes, runs, Median(p.bare), -1);
    PrintTableRow("  of which the snapshot walk", p.processes, runs, Median(p.walk), -1);
    PrintTableRow("  of which open+2 queries+close", p.processes, runs, Median(p.perProcess), -1);
    snprintf(what, sizeof what, "RefreshProcessTable, list %s", where);
    PrintTableRow(what, p.processes, runs, Median(p.refresh), (double)p.refreshTexts / runs);
    if (shown) {
        PrintTableRow("  paint after it (UpdateWindow)", p.processes, runs, Median(p.paint),
                      (double)p.paintTexts / runs);
    }
    PrintTableRow("  list rebuild alone (no process calls)", p.processes, runs, Median(p.rebuild),
                  0);
    PrintTableRow("  autosize of columns 0 and 1 alone", p.processes, runs, Median(p.autosize),
                  (double)p.autosizeTexts / runs);
    PrintTableRow("  redraw off and on alone", p.processes, runs, Median(p.toggle), 0);
}

// The stand-in benchmark is a program of its own (it links other process
// operations); its rows join this table.
void RunScaledBench(void) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE readEnd, writeEnd;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
        return;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    std::string command = "\"" + ProgramFolder() + "refresh_bench_scaled.exe\" --no-header";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION child;
    BOOL started =
        CreateProcessA(NULL, &command[0], NULL, NULL, TRUE, 0, NULL, NULL, &startup, &child);
    CloseHandle(writeEnd);
    if (!started) {
        fprintf(stderr, "cannot start the stand-in benchmark: error %lu\n", GetLastError());
        CloseHandle(readEnd);
        return;
    }
    char buffer[4096];
    DWORD got;
    while (ReadFile(readEnd, buffer, sizeof buffer, &got, NULL) && got) {
        fwrite(buffer, 1, got, stdout);
        fflush(stdout);
    }
    CloseHandle(readEnd);
    WaitForSingleObject(child.hProcess, INFINITE);
    CloseHandle(child.hProcess);
    CloseHandle(child.hThread);
}

} // namespace

// refresh_bench [runs] [idle children] [--no-scaled]
int main(int argc, char **argv) {
    int runs = argc > 1 ? atoi(argv[1]) : DEFAULT_RUNS;
    int childCount = argc > 2 ? atoi(argv[2]) : DEFAULT_CHILDREN;
    bool scaled = !(argc > 3 && strcmp(argv[3], "--no-scaled") == 0);

    std::vector<PROCESS_INFORMATION> children = StartIdleChildren(childCount);
    ProcessMemoryInfoEntry = GetProcessMemoryInfo;
    TableHeap = GetProcessHeap();
    HWND dialog = CreateBenchDialog();
    TableHeap = GetProcessHeap();

    PrintTableHeader();
    Phase hidden = Measure(dialog, runs, false);
    PrintPhase(hidden, runs, false);
    ShowBenchDialog(dialog);
    Phase shown = Measure(dialog, runs, true);
    PrintPhase(shown, runs, true);
    DestroyWindow(dialog);
    EndChildren(children);

    if (scaled) {
        RunScaledBench();
    }

    printf("ratio refresh / bare calls, list hidden: %.2f\n",
           Median(hidden.refresh) / Median(hidden.bare));
    printf("ratio refresh / bare calls, list shown:  %.2f\n",
           Median(shown.refresh) / Median(shown.bare));
    return 0;
}
