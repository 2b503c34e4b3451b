// Message boxes and other top-level windows, of this process or another:
// found, read and closed as a user would close them, from any thread.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

std::string ClassOf(HWND window);
std::string TextOf(HWND window);
std::vector<HWND> TopWindowsOf(DWORD processId);

// A visible dialog-class window of the process other than `except`, with the
// caption when one is given. Every message box is of that class too.
HWND FindDialogWindow(DWORD processId, HWND except, const char *caption = NULL);
HWND WaitForBox(DWORD processId, HWND except, DWORD ms);

struct SeenBox {
    std::string caption;
    std::string text;
    std::wstring shown; // the text as the box draws it, in UTF-16
};

// Closes the box as its OK button would, waiting up to `ms` for it to go.
SeenBox ReadAndCloseBox(HWND box, DWORD ms);

// The caption the platform gives an error box that names none, read from a
// box that a thread of this process's own shows.
std::string DefaultErrorCaption();

// Watches for message boxes of this process from a second thread, records
// their caption and text, and presses OK, so tests can run code that shows
// boxes on the main thread.
class BoxWatcher {
  public:
    // `beforeOk` runs on the watcher thread for each box, before OK is
    // pressed, with the box's index and texts; the main thread is then inside
    // the box. `dialog` is never taken for a box.
    explicit BoxWatcher(HWND dialog = NULL,
                        std::function<void(int, const SeenBox &)> beforeOk = nullptr);
    ~BoxWatcher();
    std::vector<SeenBox> Boxes();

  private:
    void Watch();
    HWND dialog_;
    std::function<void(int, const SeenBox &)> beforeOk_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<SeenBox> boxes_;
    std::thread thread_;
};
