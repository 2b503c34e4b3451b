// The benchmarks' window, clock, list-only timings and output table.
#include "bench_window.h"

#include "res/ids.h"
#include "table/table.h"
#include "ui/ui.h"

#include <algorithm>
#include <commctrl.h>
#include <cstdio>

namespace {

WNDPROC dialogProc;
long cellTextRequests;

// Wraps the dialog's window procedure to count the texts the list asks for;
// MainDlgProc still answers them.
LRESULT CALLBACK CountingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NOTIFY && ((NMHDR *)lParam)->code == LVN_GETDISPINFOA) {
        ++cellTextRequests;
    }
    return CallWindowProcA(dialogProc, hwnd, message, wParam, lParam);
}

} // namespace

HWND CreateBenchDialog(void) {
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_LISTVIEW_CLASSES;
    InitCommonControlsEx(&controls);
    HWND dialog = CreateDialogParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_MAIN), NULL,
                                     MainDlgProc, 0);
    if (!dialog) {
        fprintf(stderr, "cannot create the dialog: error %lu\n", GetLastError());
        ExitProcess(1);
    }
    KillTimer(dialog, ID_REFRESH_TIMER);
    dialogProc = (WNDPROC)SetWindowLongPtrA(dialog, GWLP_WNDPROC, (LONG_PTR)CountingProc);
    return dialog;
}

HWND BenchList(HWND dialog) {
    return GetDlgItem(dialog, IDC_PROCESS_LIST);
}

void ShowBenchDialog(HWND dialog) {
    ShowWindow(dialog, SW_SHOW);
    UpdateWindow(dialog);
    PumpMessages();
}

void PumpMessages(void) {
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

double NowMs(void) {
    static LARGE_INTEGER frequency;
    if (!frequency.QuadPart) {
        QueryPerformanceFrequency(&frequency);
    }
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return (double)now.QuadPart * 1000.0 / (double)frequency.QuadPart;
}

double Median(std::vector<double> samples) {
    if (samples.empty()) {
        return 0;
    }
    std::sort(samples.begin(), samples.end());
    size_t n = samples.size();
    return n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
}

long TakeCellTextRequests(void) {
    long n = cellTextRequests;
    cellTextRequests = 0;
    return n;
}

void RebuildListOnly(HWND list) {
    int rows = (int)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
    int topRow = (int)SendMessageA(list, LVM_GETTOPINDEX, 0, 0);
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    LVITEMA row = {};
    row.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM | LVIF_STATE;
    row.pszText = LPSTR_TEXTCALLBACKA;
    for (int j = 0; j < rows; ++j) {
        row.iItem = j;
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

void AutosizeNameColumnsOnly(HWND list) {
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    SendMessageA(list, LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(LVSCW_AUTOSIZE, 0));
    SendMessageA(list, LVM_SETCOLUMNWIDTH, 1, MAKELPARAM(LVSCW_AUTOSIZE, 0));
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
}

void ToggleRedrawOnly(HWND list) {
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
}

void PrintTableHeader(void) {
    printf("%-44s %6s %5s %10s %9s %10s\n", "measurement", "procs", "runs", "median ms", "us/proc",
           "texts/run");
    fflush(stdout);
}

void PrintTableRow(const char *what, int processes, int runs, double medianMs, double textsPerRun) {
    char texts[32] = "-";
    if (textsPerRun >= 0) {
        snprintf(texts, sizeof texts, "%.0f", textsPerRun);
    }
    printf("%-44s %6d %5d %10.3f %9.2f %10s\n", what, processes, runs, medianMs,
           processes ? medianMs * 1000.0 / processes : 0.0, texts);
    fflush(stdout);
}
