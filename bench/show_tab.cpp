// Switches another program's tab control to a given page, as a click on the
// tab would: show_tab IMAGE.EXE INDEX. Exit code 0 when it was done.
#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <cstdlib>
#include <vector>

namespace {

std::vector<DWORD> ProcessesNamed(const char *name) {
    std::vector<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more;
         more = Process32Next(snapshot, &entry)) {
        if (lstrcmpiA(entry.szExeFile, name) == 0) {
            ids.push_back(entry.th32ProcessID);
        }
    }
    CloseHandle(snapshot);
    return ids;
}

struct Search {
    std::vector<DWORD> ids;
    HWND tabs;
};

BOOL CALLBACK FindTabs(HWND child, LPARAM lParam) {
    char name[64];
    GetClassNameA(child, name, sizeof name);
    if (lstrcmpiA(name, WC_TABCONTROLA) == 0) {
        ((Search *)lParam)->tabs = child;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK FindWindowOfProcess(HWND hwnd, LPARAM lParam) {
    Search *search = (Search *)lParam;
    DWORD id;
    GetWindowThreadProcessId(hwnd, &id);
    for (DWORD wanted : search->ids) {
        if (id == wanted && IsWindowVisible(hwnd)) {
            EnumChildWindows(hwnd, FindTabs, lParam);
        }
    }
    return search->tabs == NULL;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        return 2;
    }
    Search search = {ProcessesNamed(argv[1]), NULL};
    EnumWindows(FindWindowOfProcess, (LPARAM)&search);
    if (!search.tabs) {
        return 1;
    }
    // Unlike TCM_SETCURSEL, this tells the parent, which then shows the page.
    SendMessageA(search.tabs, TCM_SETCURFOCUS, atoi(argv[2]), 0);
    return SendMessageA(search.tabs, TCM_GETCURSEL, 0, 0) == atoi(argv[2]) ? 0 : 1;
}
