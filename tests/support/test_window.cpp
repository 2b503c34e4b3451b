// The program's windows for tests and benchmarks.
#include "test_window.h"

#include <commctrl.h>

#include "res/ids.h"
#include "ui/ui.h"

int CellTextRequests;

namespace {

WNDPROC dialogProc;

bool IsCellTextRequest(UINT message, LPARAM lParam) {
    return message == WM_NOTIFY && ((NMHDR *)lParam)->code == LVN_GETDISPINFOA;
}

LRESULT CALLBACK ParentProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (IsCellTextRequest(message, lParam)) {
        ++CellTextRequests;
        FillCellText((NMLVDISPINFOA *)lParam);
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

// Counts the texts the list asks the dialog for; MainDlgProc still answers.
LRESULT CALLBACK CountingDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CellTextRequests += IsCellTextRequest(message, lParam);
    return CallWindowProcA(dialogProc, hwnd, message, wParam, lParam);
}

} // namespace

HWND CreateTestList(void) {
    InitCommonControls();
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ParentProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = "FerrowinTestParent";
    RegisterClassA(&wc); // from the second list on, the class is there already
    // Kept above other windows: its pixels are read from the screen, where on
    // a Windows desktop a console may lie over it.
    HWND parent = CreateWindowExA(WS_EX_TOPMOST, "FerrowinTestParent", "test", WS_POPUP, 0, 0, 600,
                                  400, NULL, NULL, GetModuleHandleA(NULL), NULL);
    HWND list = CreateWindowA(WC_LISTVIEWA, "", WS_CHILD | WS_VISIBLE | LVS_REPORT, 0, 0, 580, 300,
                              parent, (HMENU)1000, GetModuleHandleA(NULL), NULL);
    InsertColumns(&ColumnTable, list);
    return list;
}

HWND CreateMainDialog(void) {
    Table = ProcessTable();
    ProcessListState = ListState();
    SelectedRow = NO_ROW;
    InitCommonControls(); // as the program's entry does
    HWND dialog = CreateDialogParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_MAIN), NULL,
                                     MainDlgProc, 0);
    KillTimer(dialog, ID_REFRESH_TIMER);
    dialogProc = (WNDPROC)SetWindowLongPtrA(dialog, GWLP_WNDPROC, (LONG_PTR)CountingDialogProc);
    return dialog;
}

void DestroyTestList(HWND list) {
    DestroyWindow(GetParent(list));
}

int RowCount(HWND list) {
    return ListView_GetItemCount(list);
}

std::string CellText(HWND list, int row, int column) {
    char text[256] = "";
    ListView_GetItemText(list, row, column, text, sizeof text);
    return text;
}

bool ClickRow(HWND list, int row, int down) {
    RECT bounds = {}, client;
    ListView_EnsureVisible(list, row, FALSE);
    if (!ListView_GetItemRect(list, row, &bounds, LVIR_BOUNDS)) {
        return false;
    }
    GetClientRect(list, &client);
    LONG left = bounds.left > client.left ? bounds.left : client.left;
    LONG right = bounds.right < client.right ? bounds.right : client.right;
    int x = (left + right) / 2;
    int y = (bounds.top + bounds.bottom) / 2 + down * (bounds.bottom - bounds.top);
    PostMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    PostMessageA(list, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
        DispatchMessageA(&message);
    }
    return y > client.top && y < client.bottom;
}

void LetHoldRunOut(void) {
    LastRefreshTick = GetTickCount() - 3000;
}
