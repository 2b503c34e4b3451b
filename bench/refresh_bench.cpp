// Times RefreshProcessTable and the list-only parts of it. Built twice:
// refresh_bench runs against the real process operations beside the bare
// platform calls a refresh cannot avoid, on one population of processes,
// then runs refresh_bench_scaled (FERROWIN_STAND_IN: the scripted stand-in
// at growing process counts) and ends with the ratio of the two.
#include "children.h"
#include "test_window.h"
#include "ui/ui.h"
#ifdef FERROWIN_STAND_IN
#include "fake_process_ops.h"
#endif

#include <algorithm>
#include <chrono>
#include <commctrl.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <process.h>
#include <string>
#include <vector>

namespace {

struct Timing {
    std::vector<double> ms;
    long texts = 0; // cell texts the list asked for
};

struct Phase {
    Timing bare, walk, perProcess, refresh, paint, rebuild, autosize, toggle;
};

double NowMs(void) {
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration<double, std::milli>(now).count();
}

double Median(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    size_t n = samples.size();
    return n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
}

// Handles whatever is queued (paints included) without waiting.
void PumpMessages(void) {
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
        DispatchMessageA(&message);
    }
}

template <typename Step> void TimeOnly(Timing &timing, Step step) {
    CellTextRequests = 0;
    double start = NowMs();
    step();
    timing.ms.push_back(NowMs() - start);
    timing.texts += CellTextRequests;
}

// The queue is handled afterwards, and the texts it asks for are not the step's.
template <typename Step> void Time(Timing &timing, Step step) {
    TimeOnly(timing, step);
    PumpMessages();
}

// The list's share of a refresh, with the table as the last refresh left it:
// the same emptying, rows and scroll restore, but no process calls and no
// autosize.
void RebuildListOnly(HWND list) {
    int rows = RowCount(list);
    int topRow = (int)SendMessageA(list, LVM_GETTOPINDEX, 0, 0);
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    LVITEMA row = {};
    row.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM | LVIF_STATE;
    row.pszText = LPSTR_TEXTCALLBACKA;
    for (row.iItem = 0; row.iItem < rows; ++row.iItem) {
        SendMessageA(list, LVM_INSERTITEMA, 0, (LPARAM)&row);
    }
    int scroll = topRow - (int)SendMessageA(list, LVM_GETTOPINDEX, 0, 0);
    RECT bounds;
    bounds.left = LVIR_BOUNDS;
    if (scroll != 0 && SendMessageA(list, LVM_GETITEMRECT, 0, (LPARAM)&bounds)) {
        SendMessageA(list, LVM_SCROLL, 0, scroll * (bounds.bottom - bounds.top));
    }
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, NULL, TRUE);
}

#ifndef FERROWIN_STAND_IN
// What any refresh has to do: walk one snapshot, and open, query twice and
// close each process, in the refresh's order. The walk's own share is timed
// apart on a second snapshot, as the refresh interleaves the two.
void TimeBareCalls(Phase &p) {
    TimeOnly(p.bare, [] {
        WalkSnapshot([](const PROCESSENTRY32 &entry) {
            HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, entry.th32ProcessID);
            if (process) {
                SIZE_T minimum = 0, maximum = 0;
                GetProcessWorkingSetSize(process, &minimum, &maximum);
                PROCESS_MEMORY_COUNTERS counters = {};
                counters.cb = sizeof counters;
                GetProcessMemoryInfo(process, &counters, sizeof counters);
                CloseHandle(process);
            }
        });
    });
    TimeOnly(p.walk, [] { WalkSnapshot([](const PROCESSENTRY32 &) {}); });
    p.perProcess.ms.push_back(p.bare.ms.back() - p.walk.ms.back());
}

// Idle processes, listed by the snapshot when this returns.
void StartIdleChildren(const std::string &folder, int count) {
    std::vector<DWORD> ids;
    for (int i = 0; i < count; ++i) {
        PROCESS_INFORMATION child = StartChildProcess("\"" + folder + "idle_child.exe\"");
        if (!child.hProcess) {
            fprintf(stderr, "cannot start idle_child.exe: error %lu\n", GetLastError());
            break;
        }
        CloseHandle(child.hProcess);
        ids.push_back(child.dwProcessId);
    }
    size_t seen = 0;
    for (DWORD start = GetTickCount(); seen < ids.size() && GetTickCount() - start < 60000;) {
        Sleep(100);
        seen = 0;
        WalkSnapshot([&](const PROCESSENTRY32 &entry) {
            seen += std::count(ids.begin(), ids.end(), entry.th32ProcessID);
        });
    }
}
#endif

// One run of every step; on a shown list the refresh's paint is timed apart.
// The bare calls and the refresh alternate, so that both see the same
// population and the same background load.
void RunOnce(HWND list, bool shown, Phase &p) {
#ifndef FERROWIN_STAND_IN
    TimeBareCalls(p);
#endif
    TimeOnly(p.refresh, [&] { RefreshProcessTable(list, &ProcessListState); });
    if (shown) {
        TimeOnly(p.paint, [&] { UpdateWindow(list); });
    }
    PumpMessages();
#ifdef FERROWIN_STAND_IN
    // The stand-in logs every open: emptied so its growth stays out of the timings.
    Fake.openedIds.clear();
    Fake.openAccess.clear();
#endif
    Time(p.rebuild, [&] { RebuildListOnly(list); });
    Time(p.autosize, [&] {
        // The two autosizes that end a refresh, with redraw off as there.
        SendMessageA(list, WM_SETREDRAW, FALSE, 0);
        SendMessageA(list, LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(LVSCW_AUTOSIZE, 0));
        SendMessageA(list, LVM_SETCOLUMNWIDTH, 1, MAKELPARAM(LVSCW_AUTOSIZE, 0));
        SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    });
    // The fixed cost the two above each include once.
    Time(p.toggle, [&] {
        SendMessageA(list, WM_SETREDRAW, FALSE, 0);
        SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    });
}

Phase Measure(HWND list, int warmUps, int runs, bool shown) {
    Phase p;
    for (int i = -warmUps; i < runs; ++i) {
        if (i == 0) {
            p = Phase();
        }
        RunOnce(list, shown, p);
    }
    return p;
}

// One measurement: median time over the runs, per process, and the cell
// texts asked for per run (not counted for the bare calls).
void PrintRow(const std::string &what, int processes, const Timing &t, bool texts = true) {
    int runs = (int)t.ms.size();
    double ms = Median(t.ms);
    char count[32] = "-";
    if (texts) {
        snprintf(count, sizeof count, "%.0f", (double)t.texts / runs);
    }
    printf("%-44s %6d %5d %10.3f %9.2f %10s\n", what.c_str(), processes, runs, ms,
           processes ? ms * 1000.0 / processes : 0.0, count);
    fflush(stdout);
}

void PrintPhase(const Phase &p, HWND list, bool shown) {
    std::string where = shown ? "shown" : "hidden";
    int n = RowCount(list);
#ifdef FERROWIN_STAND_IN
    PrintRow("stand-in refresh, list " + where, n, p.refresh);
#else
    PrintRow("bare platform calls (" + where + " run)", n, p.bare, false);
    PrintRow("  of which the snapshot walk", n, p.walk, false);
    PrintRow("  of which open+2 queries+close", n, p.perProcess, false);
    PrintRow("RefreshProcessTable, list " + where, n, p.refresh);
#endif
    if (shown) {
        PrintRow("  paint after it (UpdateWindow)", n, p.paint);
    }
    PrintRow("  list rebuild alone (no process calls)", n, p.rebuild);
    PrintRow("  autosize of columns 0 and 1 alone", n, p.autosize);
    PrintRow("  redraw off and on alone", n, p.toggle);
}

} // namespace

// refresh_bench [runs] [idle children] [--no-scaled]
// refresh_bench_scaled [runs] [--no-header]
int main(int argc, char **argv) {
    int runs = argc > 1 && atoi(argv[1]) > 0 ? atoi(argv[1]) : 200;
    std::string folder = QuotedProgramPath();
    folder = folder.substr(1, folder.find_last_of("\\/"));
#ifdef FERROWIN_STAND_IN
    // Fewer runs at the top, where one run is long.
    const int sizes[][2] = {{50, runs}, {500, runs}, {5000, runs / 4 > 0 ? runs / 4 : 1}};
    const int warmUps = 3;
    ResetFake();
#else
    const int sizes[][2] = {{0, runs}};
    const int warmUps = 10;
    StartIdleChildren(folder, argc > 2 ? atoi(argv[2]) : 30);
    ProcessMemoryInfoEntry = GetProcessMemoryInfo;
#endif
    HWND dialog = CreateMainDialog();
    if (!dialog) {
        fprintf(stderr, "cannot create the dialog: error %lu\n", GetLastError());
        return 1;
    }
    TableHeap = GetProcessHeap();
    if (strcmp(argv[argc - 1], "--no-header") != 0) {
        printf("%-44s %6s %5s %10s %9s %10s\n", "measurement", "procs", "runs", "median ms",
               "us/proc", "texts/run");
    }
    std::vector<Phase> phases;
    for (bool shown : {false, true}) {
        if (shown) {
            ShowWindow(dialog, SW_SHOW);
            UpdateWindow(dialog);
            PumpMessages();
        }
        for (const auto &size : sizes) {
#ifdef FERROWIN_STAND_IN
            ResetFake();
            AddFakeProcesses(size[0]);
#endif
            phases.push_back(Measure(ProcessList, warmUps, size[1], shown));
            PrintPhase(phases.back(), ProcessList, shown);
        }
    }
    DestroyWindow(dialog);
#ifndef FERROWIN_STAND_IN
    TerminateJobObject(ChildJob(), 0);
    // The stand-in benchmark links other process operations: its rows join
    // this table from a program of its own.
    if (!(argc > 3 && strcmp(argv[3], "--no-scaled") == 0)) {
        std::string exe = folder + "refresh_bench_scaled.exe";
        fflush(stdout);
        _spawnl(_P_WAIT, exe.c_str(), ("\"" + exe + "\"").c_str(), "--no-header", NULL);
    }
    printf("ratio refresh / bare calls, list hidden: %.2f\n",
           Median(phases[0].refresh.ms) / Median(phases[0].bare.ms));
    printf("ratio refresh / bare calls, list shown:  %.2f\n",
           Median(phases[1].refresh.ms) / Median(phases[1].bare.ms));
#endif
    return 0;
}
