// Soak: thousands of refreshes and trims in one process against real child
// processes that start and end meanwhile, with faults switched on now and
// then; the handle count and the table's heap must stay flat.
#include "faulty_process_ops.h"

#include "boxes.h"
#include "children.h"
#include "test_window.h"
#include "res/ids.h"
#include "trim/trim.h"
#include "ui/ui.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <iostream>

namespace {

const int REFRESHES = 2000;
const int WARM_UP = 100;
// On a slow machine (emulated, several times slower) the pace of the hundred
// refreshes after the warm-up decides how many fit in this time; never fewer
// than the minimum, which still runs every fault at least twice after the
// warm-up. A usual machine runs all of them in well under half this time.
const DWORD REFRESHES_TIME_MS = 150000;
const int MIN_REFRESHES = 600;
const int CHILDREN = 16; // with Wine's own processes, more than 20: the table must grow

Child StartChild() {
    Child child = StartIdleChild();
    EXPECT_TRUE(child.process) << "cannot start a child: error " << GetLastError();
    return child;
}

// The open handles: as Windows counts them, or, where the answer is 0 (Wine),
// by asking after every handle value in turn; Wine gives a new handle the
// lowest free value, so the count ends after a long run of free ones.
long HandleCount() {
    DWORD handles = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &handles) && handles > 0) {
        return (long)handles;
    }
    long count = 0;
    DWORD flags;
    for (UINT_PTR value = 4, unused = 0; unused < 1024; value += 4) {
        bool open = GetHandleInformation((HANDLE)value, &flags) != 0;
        count += open;
        unused = open ? 0 : unused + 1;
    }
    return count;
}

// What the test's own work with its children opens and closes, counted apart
// from the program's: a start that fails can leave the platform's handles.
long ChildHandles;

template <typename Work> void CountApart(Work work) {
    long before = HandleCount();
    work();
    ChildHandles += HandleCount() - before;
}

int RowOf(HWND list, DWORD id) {
    for (int row = 0; row < RowCount(list); ++row) {
        if (CellText(list, row, 0) == std::to_string(id)) {
            return row;
        }
    }
    return NO_ROW;
}

TEST(Soak, HandlesAndHeapStayFlatThroughThousandsOfRefreshesAndTrims) {
    ProcessMemoryInfoEntry = FaultyProcessMemoryInfo;
    HWND dialog = CreateMainDialog();
    ASSERT_TRUE(dialog);
    HWND list = GetDlgItem(dialog, IDC_PROCESS_LIST);

    // The table gets a fixed-size heap of its own: nothing else allocates
    // there, and the test can fill it to make it refuse.
    HANDLE heap = HeapCreate(0, 0, 256 * 1024);
    HeapFree(TableHeap, 0, Table.Records);
    Table = ProcessTable();
    TableHeap = heap;

    std::deque<Child> children;
    for (int i = 0; i < CHILDREN; ++i) {
        children.push_back(StartChild());
    }
    BoxWatcher watcher(dialog);
    auto tick = [&] {
        LetHoldRunOut();
        SendMessageA(dialog, WM_TIMER, ID_REFRESH_TIMER, 0);
    };
    long handlesBefore = 0;
    int singleTrims = 0, refusedRefreshes = 0;
    std::vector<void *> hog;
    int refreshes = REFRESHES;
    DWORD start = GetTickCount(), warmedUp = 0, paceMs = 0;
    for (int i = 0; i < refreshes; ++i) {
        // Measured once every path has run: the first message boxes make
        // the platform keep a handle of its own for good.
        if (i == WARM_UP) {
            handlesBefore = HandleCount();
            ChildHandles = 0;
            warmedUp = GetTickCount();
        }
        if (i == 2 * WARM_UP) {
            paceMs = (GetTickCount() - warmedUp) / WARM_UP + 1;
            DWORD spent = GetTickCount() - start;
            int fit =
                i + (spent < REFRESHES_TIME_MS ? (int)((REFRESHES_TIME_MS - spent) / paceMs) : 0);
            refreshes = std::max(MIN_REFRESHES, std::min(REFRESHES, fit));
        }
        if (i % 40 == 0) { // processes come and go
            CountApart([&] {
                EndChild(&children.front());
                children.pop_front();
                children.push_back(StartChild());
            });
        }
        Child ended = {};
        if (i % 100 == 50) { // listed by the snapshot, gone by the open
            ended = children.front();
            children.pop_front();
            Faults.endAfterSnapshot = ended.process;
        }
        Faults.failingQueries = i % 10 == 3 ? children.back().id : 0;
        if (i % 250 == 0) { // the heap refuses to grow the table
            tick();
            while (void *block = HeapAlloc(heap, 0, 64)) {
                hog.push_back(block);
            }
        }

        tick();
        if (!hog.empty()) {
            refusedRefreshes += RowCount(list) == 20;
            if (i % 250 == 19 || i == refreshes - 1) { // a run cut short by the pace too
                for (void *block : hog) {
                    HeapFree(heap, 0, block);
                }
                hog.clear();
            }
        }
        int failing = Faults.failingQueries ? RowOf(list, Faults.failingQueries) : NO_ROW;
        if (failing != NO_ROW) {
            EXPECT_EQ("-1", CellText(list, failing, 3));
        }

        // Every so often through the dialog, memory figures and box included.
        if (i % 25 == 0) {
            SendMessageA(dialog, WM_COMMAND, IDC_TRIM_ALL, 0);
        } else {
            TrimEveryTableSlot();
        }
        if (i % 25 == 0 || ended.id) { // one process, through the dialog
            int row = RowOf(list, ended.id ? ended.id : children.back().id);
            if (row != NO_ROW && ClickRow(list, row)) {
                SendMessageA(dialog, WM_COMMAND, IDOK, 0);
                ++singleTrims;
            }
        }
        if (ended.process) {
            CountApart([&] {
                CloseHandle(ended.process);
                children.push_back(StartChild());
            });
        }
    }
    tick();
    long handlesAfter = HandleCount() - ChildHandles;
    int heapBlocks = 0;
    PROCESS_HEAP_ENTRY entry = {};
    while (HeapWalk(heap, &entry)) {
        heapBlocks += (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0;
    }

    std::cout << "refreshes and trim-all walks " << refreshes << " of " << REFRESHES << " ("
              << paceMs << " ms each after the warm-up), single trims " << singleTrims << " (boxes "
              << watcher.Boxes().size() << "), refreshes cut short " << refusedRefreshes
              << "\nhandles before " << handlesBefore << ", after " << handlesAfter
              << " (the children's own " << ChildHandles << " apart)\n";
    EXPECT_EQ(handlesBefore, handlesAfter) << "the program leaked handles";
    EXPECT_EQ(1, heapBlocks) << "only the table's block may stay on its heap";
    EXPECT_GT(refusedRefreshes, 0) << "the heap never refused";
    EXPECT_GT(singleTrims, 0);
    EXPECT_GT(handlesBefore, 0);

    for (Child &child : children) {
        EndChild(&child);
    }
    DestroyWindow(dialog);
}

} // namespace

int main(int argc, char **argv) {
    if (RunIdleChild(argc, argv)) {
        return 0;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
