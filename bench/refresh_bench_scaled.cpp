// Times RefreshProcessTable against the scripted stand-in at growing process
// counts, to show how the refresh's own cost grows with the number of rows.
#include "bench_window.h"

#include "tests/support/fake_process_ops.h"

#include <commctrl.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

const int DEFAULT_RUNS = 200;
const int WARM_UP_RUNS = 3;

struct Size {
    int processes;
    int runs; // fewer at the top, where one run is long
};

// The stand-in logs every open; emptied between runs so that the log's
// growth stays out of the timings.
void ForgetOpens(void) {
    Fake.openedIds.clear();
    Fake.openAccess.clear();
}

void MeasureSize(HWND dialog, Size size, bool shown) {
    HWND list = BenchList(dialog);
    ResetFake();
    AddFakeProcesses(size.processes);
    for (int i = 0; i < WARM_UP_RUNS; ++i) {
        RefreshProcessTable(list);
        PumpMessages();
        ForgetOpens();
    }
    TakeCellTextRequests();
    std::vector<double> refresh, paint, rebuild, autosize, toggle;
    long refreshTexts = 0, paintTexts = 0, autosizeTexts = 0;
    for (int i = 0; i < size.runs; ++i) {
        double start = NowMs();
        RefreshProcessTable(list);
        refresh.push_back(NowMs() - start);
        refreshTexts += TakeCellTextRequests();
        if (shown) {
            start = NowMs();
            UpdateWindow(list);
            paint.push_back(NowMs() - start);
            paintTexts += TakeCellTextRequests();
        }
        PumpMessages();
        TakeCellTextRequests();
        ForgetOpens();

        start = NowMs();
        RebuildListOnly(list);
        rebuild.push_back(NowMs() - start);
        PumpMessages();
        TakeCellTextRequests();
        start = NowMs();
        AutosizeNameColumnsOnly(list);
        autosize.push_back(NowMs() - start);
        autosizeTexts += TakeCellTextRequests();
        PumpMessages();
        start = NowMs();
        ToggleRedrawOnly(list);
        toggle.push_back(NowMs() - start);
        PumpMessages();
        TakeCellTextRequests();
    }
    int rows = (int)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
    char what[64];
    snprintf(what, sizeof what, "stand-in refresh, list %s", shown ? "shown" : "hidden");
    PrintTableRow(what, rows, size.runs, Median(refresh), (double)refreshTexts / size.runs);
    if (shown) {
        PrintTableRow("  paint after it (UpdateWindow)", rows, size.runs, Median(paint),
                      (double)paintTexts / size.runs);
    }
    PrintTableRow("  list rebuild alone", rows, size.runs, Median(rebuild), 0);
    PrintTableRow("  autosize of columns 0 and 1 alone", rows, size.runs, Median(autosize),
                  (double)autosizeTexts / size.runs);
    PrintTableRow("  redraw off and on alone", rows, size.runs, Median(toggle), 0);
}

} // namespace

// refresh_bench_scaled [runs] [--no-header]
int main(int argc, char **argv) {
    int runs = DEFAULT_RUNS;
    bool header = true;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--no-header") == 0) {
            header = false;
        } else {
            runs = atoi(argv[i]);
        }
    }
    const Size sizes[] = {{50, runs}, {500, runs}, {5000, runs / 4 > 0 ? runs / 4 : 1}};

    ResetFake();
    TableHeap = GetProcessHeap();
    HWND dialog = CreateBenchDialog();
    TableHeap = GetProcessHeap();
    if (header) {
        PrintTableHeader();
    }
    for (const Size &size : sizes) {
        MeasureSize(dialog, size, false);
    }
    ShowBenchDialog(dialog);
    for (const Size &size : sizes) {
        MeasureSize(dialog, size, true);
    }
    DestroyWindow(dialog);
    return 0;
}
