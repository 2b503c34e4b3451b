// A hidden report list like the dialog's, for tests that refresh into a real
// list view.
#include "test_window.h"

#include <commctrl.h>

#include "res/ids.h"
#include "ui/ui.h"

DeleteAllSighting LastDeleteAll;
int CellTextRequests;

namespace {

char cellText[256];

void AnswerCellText(NMLVDISPINFOA *info) {
    ++CellTextRequests;
    const ProcessRecord &r = Table.Records[info->item.iItem];
    switch (info->item.iSubItem) {
    case 0:
        wsprintfA(cellText, "%d", r.ProcessId);
        break;
    case 1:
        lstrcpynA(cellText, r.ImageName, sizeof cellText);
        break;
    case 2:
        wsprintfA(cellText, "%d", r.MinWorkingSetSize);
        break;
    case 3:
        wsprintfA(cellText, "%d", r.WorkingSetSize);
        break;
    case 4:
        wsprintfA(cellText, "%d", r.MaxWorkingSetSize);
        break;
    default:
        cellText[0] = 0;
    }
    info->item.pszText = cellText;
}

LRESULT CALLBACK ParentProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NOTIFY) {
        NMHDR *header = (NMHDR *)lParam;
        if (header->code == LVN_GETDISPINFOA) {
            AnswerCellText((NMLVDISPINFOA *)lParam);
        } else if (header->code == LVN_DELETEALLITEMS) {
            ++LastDeleteAll.count;
            LastDeleteAll.records = Table.Records;
            LastDeleteAll.blockValid = Table.Records && HeapValidate(TableHeap, 0, Table.Records);
        }
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

} // namespace

HWND CreateTestList(void) {
    static bool registered;
    if (!registered) {
        INITCOMMONCONTROLSEX controls = {};
        controls.dwSize = sizeof controls;
        controls.dwICC = ICC_LISTVIEW_CLASSES;
        InitCommonControlsEx(&controls);
        WNDCLASSA wc = {};
        wc.lpfnWndProc = ParentProc;
        wc.hInstance = GetModuleHandleA(NULL);
        wc.lpszClassName = "FerrowinTestParent";
        RegisterClassA(&wc);
        registered = true;
    }
    HWND parent = CreateWindowA("FerrowinTestParent", "test", WS_POPUP, 0, 0, 600, 400, NULL, NULL,
                                GetModuleHandleA(NULL), NULL);
    HWND list = CreateWindowA(WC_LISTVIEWA, "", WS_CHILD | WS_VISIBLE | LVS_REPORT, 0, 0, 580, 300,
                              parent, (HMENU)1000, GetModuleHandleA(NULL), NULL);
    static const char *titles[] = {"PID", "ImageName", "MinWorkingSetSize", "WorkingSetSize",
                                   "MaxWorkingSetSize"};
    for (int i = 0; i < 5; ++i) {
        LVCOLUMNA column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.cx = 100;
        column.pszText = (char *)titles[i];
        column.iSubItem = i;
        SendMessageA(list, LVM_INSERTCOLUMNA, i, (LPARAM)&column);
    }
    LastDeleteAll = DeleteAllSighting();
    return list;
}

HWND CreateMainDialog(void) {
    Table = ProcessTable();
    SelectedRow = NO_ROW;
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_LISTVIEW_CLASSES;
    InitCommonControlsEx(&controls);
    HWND dialog = CreateDialogParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_MAIN), NULL,
                                     MainDlgProc, 0);
    // Tests send their own ticks: the dialog's one-second timer would add
    // refreshes whenever a message box happens to stay open long enough.
    KillTimer(dialog, ID_REFRESH_TIMER);
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
