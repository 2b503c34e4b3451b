// Watches for message boxes of this process and presses OK on each.
#include "box_watcher.h"

namespace {

struct Search {
    HWND dialog;
    HWND box;
};

BOOL CALLBACK FindBox(HWND window, LPARAM lParam) {
    Search *search = (Search *)lParam;
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char className[16] = "";
    GetClassNameA(window, className, sizeof className);
    if (process == GetCurrentProcessId() && window != search->dialog && IsWindowVisible(window) &&
        lstrcmpA(className, "#32770") == 0) {
        search->box = window;
        return FALSE;
    }
    return TRUE;
}

} // namespace

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
        Search search = {dialog_, NULL};
        EnumWindows(FindBox, (LPARAM)&search);
        if (!search.box) {
            Sleep(5);
            continue;
        }
        SeenBox seen;
        char text[512] = "";
        // A box can show before its text is set; an empty text is taken as
        // it stands after a while.
        for (int i = 0; i < 40 && !GetDlgItemTextA(search.box, 0xFFFF, text, sizeof text); ++i) {
            Sleep(5);
        }
        seen.text = text;
        GetWindowTextA(search.box, text, sizeof text);
        seen.caption = text;
        int index;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            boxes_.push_back(seen);
            index = (int)boxes_.size() - 1;
        }
        if (beforeOk_) {
            beforeOk_(index, seen);
        }
        PostMessageA(search.box, WM_COMMAND, IDOK, 0);
        for (int i = 0; i < 400 && IsWindow(search.box); ++i) {
            Sleep(5);
        }
    }
}
