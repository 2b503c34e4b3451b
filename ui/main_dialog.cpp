// The main dialog: every event of the program enters through MainDlgProc.
#include "ui.h"

#include "res/ids.h"
#include "table/table.h"
#include "trim/trim.h"

HWND ProcessList;
ListState ProcessListState;
int SelectedRow = NO_ROW;
DWORD LastRefreshTick;

const ColumnTitles ColumnTable = {
    5, {"PID", "ImageName", "MinWorkingSetSize", "WorkingSetSize", "MaxWorkingSetSize"}};

int InsertColumns(const ColumnTitles *columns, HWND list) {
    char title[256];
    LVCOLUMNA column;
    ZeroMemory(&column, sizeof column);
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.cx = INITIAL_COLUMN_WIDTH;
    column.pszText = title;
    for (int i = 0; i < columns->Count; ++i) {
        lstrcpynA(title, columns->Title[i], sizeof title);
        column.fmt = i < 2 ? LVCFMT_LEFT : LVCFMT_RIGHT;
        column.iSubItem = i;
        if (SendMessageA(list, LVM_INSERTCOLUMNA, i, (LPARAM)&column) == -1) {
            return 0;
        }
    }
    return 1;
}

void FillCellText(NMLVDISPINFOA *displayInfo) {
    const ProcessRecord *record = LookUpRecord(displayInfo->item.iItem);
    MessageText[0] = 0;
    switch (record ? displayInfo->item.iSubItem : -1) {
    case 0:
        wsprintfA(MessageText, "%d", record->ProcessId);
        break;
    case 1:
        CopyMemory(MessageText, record->ImageName, sizeof record->ImageName);
        break;
    case 2:
        wsprintfA(MessageText, "%d", record->MinWorkingSetSize);
        break;
    case 3:
        wsprintfA(MessageText, "%d", record->WorkingSetSize);
        break;
    case 4:
        wsprintfA(MessageText, "%d", record->MaxWorkingSetSize);
        break;
    }
    displayInfo->item.pszText = MessageText;
}

static void SetUpColumns(HWND list) {
    InsertColumns(&ColumnTable, list);
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
    for (int i = 0; i < HEADER_FITTED_COLUMNS; ++i) {
        SendMessageA(list, LVM_SETCOLUMNWIDTH, i, MAKELPARAM(LVSCW_AUTOSIZE_USEHEADER, 0));
    }
}

static void InitMainDialog(HWND hwnd) {
    ProcessList = GetDlgItem(hwnd, IDC_PROCESS_LIST);
    TableHeap = GetProcessHeap();
    SetUpColumns(ProcessList);
    SetTimer(hwnd, ID_REFRESH_TIMER, REFRESH_PERIOD_MS, NULL);
    SendMessageA(hwnd, WM_TIMER, 0, 0);
    InstallAboutEntry(hwnd);
}

// While the list holds the mouse capture, a press is under way: the list
// runs its own loop until the release and then names the row it found at the
// press, which a rebuild in between would give to another process.
static void RefreshOnTick(void) {
    if (GetCapture() == ProcessList) {
        return;
    }
    DWORD now = GetTickCount();
    if (!RefreshIsDue(SelectedRow, now, LastRefreshTick)) {
        return;
    }
    SelectedRow = NO_ROW;
    LastRefreshTick = now;
    RefreshProcessTable(ProcessList, &ProcessListState);
}

static void HandleListNotification(NMHDR *header) {
    if (header->code == NM_CLICK) {
        SelectedRow = ((NMITEMACTIVATE *)header)->iItem;
    } else if (header->code == LVN_GETDISPINFOA) {
        FillCellText((NMLVDISPINFOA *)header);
    }
}

static void HandleCommand(HWND hwnd, WORD id) {
    switch (id) {
    case IDOK:
        TrimSelectedProcess(hwnd, SelectedRow);
        break;
    case IDCANCEL:
        ExitProcess(0);
    case IDC_TRIM_ALL:
        TrimAllProcesses(hwnd);
        break;
    }
}

// Always FALSE, so the dialog manager goes on with its own handling of every
// message, and sets no initial focus.
INT_PTR CALLBACK MainDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        InitMainDialog(hwnd);
        break;
    case WM_NOTIFY:
        HandleListNotification((NMHDR *)lParam);
        break;
    case WM_SYSCOMMAND:
        if (LOWORD(wParam) == IDM_ABOUT) {
            ShowAboutBox(hwnd);
        }
        break;
    case WM_COMMAND:
        HandleCommand(hwnd, LOWORD(wParam));
        break;
    case WM_TIMER:
        RefreshOnTick();
        break;
    }
    return FALSE;
}
