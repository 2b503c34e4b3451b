// Switches another program's tab control to a given page, as a click on the
// tab would: show_tab IMAGE.EXE INDEX. Exit code 0 when it was done.
#include "children.h"

#include <commctrl.h>

#include <cstdlib>

namespace {

const char *imageName;
HWND tabs;

bool IsProcessNamed(DWORD id, const char *name) {
    bool named = false;
    WalkSnapshot([&](const PROCESSENTRY32 &entry) {
        named = named || (entry.th32ProcessID == id && lstrcmpiA(entry.szExeFile, name) == 0);
    });
    return named;
}

BOOL CALLBACK FindTabs(HWND child, LPARAM) {
    char name[64];
    GetClassNameA(child, name, sizeof name);
    if (lstrcmpiA(name, WC_TABCONTROLA) == 0) {
        tabs = child;
    }
    return !tabs;
}

BOOL CALLBACK FindWindowOfProcess(HWND hwnd, LPARAM) {
    DWORD id;
    GetWindowThreadProcessId(hwnd, &id);
    if (IsWindowVisible(hwnd) && IsProcessNamed(id, imageName)) {
        EnumChildWindows(hwnd, FindTabs, 0);
    }
    return !tabs;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        return 2;
    }
    imageName = argv[1];
    EnumWindows(FindWindowOfProcess, 0);
    int page = atoi(argv[2]);
    if (!tabs) {
        return 1;
    }
    // Unlike TCM_SETCURSEL, this tells the parent, which then shows the page.
    SendMessageA(tabs, TCM_SETCURFOCUS, page, 0);
    return SendMessageA(tabs, TCM_GETCURSEL, 0, 0) == page ? 0 : 1;
}
