// Watches for message boxes of this process from a second thread, records
// their caption and text, and presses OK, so tests can run code that shows
// boxes on the main thread.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct SeenBox {
    std::string caption;
    std::string text;
};

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
