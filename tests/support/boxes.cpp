// Message boxes and other top-level windows, found, read and closed.
#include "boxes.h"

namespace {

const DWORD POLL_MS = 5;

struct WindowSearch {
    DWORD processId;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectTopWindow(HWND window, LPARAM param) {
    WindowSearch *search = (WindowSearch *)param;
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId == search->processId) {
        search->windows.push_back(window);
    }
    return TRUE;
}

DWORD WINAPI ShowProbeErrorBox(LPVOID) {
    MessageBoxA(NULL, "probe", NULL, MB_ICONERROR);
    return 0;
}

} // namespace

std::string ClassOf(HWND window) {
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string TextOf(HWND window) {
    char text[1024] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::vector<HWND> TopWindowsOf(DWORD processId) {
    WindowSearch search;
    search.processId = processId;
    EnumWindows(CollectTopWindow, (LPARAM)&search);
    return search.windows;
}

// Dialogs and message boxes alike.
static bool IsShownDialog(HWND window) {
    return IsWindowVisible(window) && ClassOf(window) == "#32770";
}

HWND FindDialogWindow(DWORD processId, HWND except, const char *caption) {
    for (HWND window : TopWindowsOf(processId)) {
        if (window != except && IsShownDialog(window) && (!caption || TextOf(window) == caption)) {
            return window;
        }
    }
    return NULL;
}

HWND WaitForBox(DWORD processId, HWND except, DWORD ms) {
    DWORD start = GetTickCount();
    do {
        HWND box = FindDialogWindow(processId, except);
        if (box) {
            return box;
        }
        Sleep(POLL_MS);
    } while (GetTickCount() - start < ms);
    return NULL;
}

static SeenBox ReadBox(HWND box) {
    SeenBox seen;
    char text[1024] = "";
    // A box can show before its text is set; an empty text is taken as it
    // stands after a while.
    for (int i = 0; i < 40 && !GetDlgItemTextA(box, 0xFFFF, text, sizeof text); ++i) {
        Sleep(POLL_MS);
    }
    seen.text = text;
    wchar_t shown[1024] = L"";
    GetDlgItemTextW(box, 0xFFFF, shown, sizeof shown / sizeof *shown);
    seen.shown = shown;
    seen.caption = TextOf(box);
    return seen;
}

static void CloseBox(HWND box, DWORD ms) {
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    DWORD start = GetTickCount();
    while (IsWindow(box) && IsWindowVisible(box) && GetTickCount() - start < ms) {
        Sleep(POLL_MS);
    }
}

SeenBox ReadAndCloseBox(HWND box, DWORD ms) {
    SeenBox seen = ReadBox(box);
    CloseBox(box, ms);
    return seen;
}

std::string DefaultErrorCaption() {
    DWORD threadId;
    HANDLE thread = CreateThread(NULL, 0, ShowProbeErrorBox, NULL, 0, &threadId);
    // However long the system takes to show the box: the thread ends only
    // once the box is gone, or could not be made.
    HWND box = NULL;
    while (!box && WaitForSingleObject(thread, POLL_MS) == WAIT_TIMEOUT) {
        for (HWND window : TopWindowsOf(GetCurrentProcessId())) {
            if (GetWindowThreadProcessId(window, NULL) == threadId && IsShownDialog(window)) {
                box = window;
            }
        }
    }
    std::string caption = box ? ReadAndCloseBox(box, INFINITE).caption : "<no box>";
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return caption;
}

BoxWatcher::BoxWatcher(HWND dialog, std::function<void(int, const SeenBox &)> beforeOk)
    : dialog_(dialog), beforeOk_(beforeOk), thread_(&BoxWatcher::Watch, this) {}

BoxWatcher::~BoxWatcher() {
    stop_ = true;
    thread_.join();
}

std::vector<SeenBox> BoxWatcher::Boxes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return boxes_;
}

void BoxWatcher::Watch() {
    while (!stop_) {
        HWND box = FindDialogWindow(GetCurrentProcessId(), dialog_);
        if (!box) {
            Sleep(POLL_MS);
            continue;
        }
        SeenBox seen = ReadBox(box);
        int index;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            boxes_.push_back(seen);
            index = (int)boxes_.size() - 1;
        }
        if (beforeOk_) {
            beforeOk_(index, seen);
        }
        // Until it is gone: a box still shown at the next search would count twice.
        CloseBox(box, INFINITE);
    }
}
