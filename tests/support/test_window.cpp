// The program's windows for tests and benchmarks.
#include "test_window.h"

#include <commctrl.h>

#include "res/ids.h"
#include "ui/ui.h"

int CellTextRequests;

namespace {

WNDPROC dialogProc;

void InitListControls(void) {
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_LISTVIEW_CLASSES;
    InitCommonControlsEx(&controls);
}

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
    InitListControls();
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ParentProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = "FerrowinTestParent";
    RegisterClassA(&wc); // from the second list on, the class is there already
    HWND parent = CreateWindowA("FerrowinTestParent", "test", WS_POPUP, 0, 0, 600, 400, NULL, NULL,
                                GetModuleHandleA(NULL), NULL);
    HWND list = CreateWindowA(WC_LISTVIEWA, "", WS_CHILD | WS_VISIBLE | LVS_REPORT, 0, 0, 580, 300,
                              parent, (HMENU)1000, GetModuleHandleA(NULL), NULL);
    InsertColumns(&ColumnTable, list);
    return list;
}

HWND CreateMainDialog(void) {
    Table = ProcessTable();
    ProcessListState = ListState();
    SelectedRow = NO_ROW;
    InitListControls();
    HWND dialog = CreateDialogParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_MAIN), NULL,
                                     MainDlgProc, 0);
    // Tests send their own ticks: the dialog's one-second timer would add
    // refreshes whenever a message box happens to stay open long enough.
    KillTimer(dialog, ID_REFRESH_TIMER);
    dialogProc = (WNDPROC)SetWindowLongPtrA(dialog, GWLP_WNDPROC, (LONG_PTR)CountingDialogProc);
    return dialog;
}

void DestroyTestList(HWND list) {
    DestroyWindow(GetParent(list));
}

int RowCount(HWND list) {
    return (int)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
}

std::string CellText(HWND list, int row, int column) {
    char text[256] = "";
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(list, LVM_GETITEMTEXTA, row, (LPARAM)&item);
    return text;
}

bool ClickRow(HWND list, int row, int down) {
    RECT bounds = {}, client;
    bounds.left = LVIR_BOUNDS;
    SendMessageA(list, LVM_ENSUREVISIBLE, row, FALSE);
    if (!SendMessageA(list, LVM_GETITEMRECT, row, (LPARAM)&bounds)) {
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
