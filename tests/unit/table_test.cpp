// The process table and its refresh, against the scripted process operations
// and a real (hidden) list view.
#include "boxes.h"
#include "fake_process_ops.h"
#include "test_window.h"
#include "window_pixels.h"

#include "trim/trim.h"
#include "ui/ui.h"

#include <gtest/gtest.h>

#include <commctrl.h>

namespace {

class TableTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetFake();
        heap = HeapCreate(0, 0, 0);
        TableHeap = heap;
        Table = ProcessTable();
        list = CreateTestList();
    }
    void TearDown() override {
        DestroyTestList(list);
        Table = ProcessTable();
        HeapDestroy(heap);
    }

    // "Trim ALL" opens one identifier for each table slot: the rows'
    // processes, then 0 for each empty slot.
    void ExpectTrimAllOpensRowsThenEmptySlots(size_t rows, size_t slots) {
        std::vector<DWORD> ids(slots, 0);
        for (size_t i = 0; i < rows; ++i) {
            ids[i] = Fake.processes[i].id;
        }
        Fake.openedIds.clear();
        TrimEveryTableSlot();
        EXPECT_EQ(ids, Fake.openedIds);
    }

    HANDLE heap;
    HWND list;
    ListState state = {};
};

// The list's own procedure, where a test puts one of its own in front.
WNDPROC listProc;
ProcessRecord *oldBlock; // the table's block before the refresh
int emptied;

// The rows must go before the block they read from is released.
LRESULT CALLBACK CheckBlockAtDeleteAllProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == LVM_DELETEALLITEMS) {
        ++emptied;
        EXPECT_EQ(oldBlock, Table.Records) << "the list was emptied after the block changed";
        EXPECT_TRUE(!oldBlock || HeapValidate(TableHeap, 0, oldBlock));
    }
    return CallWindowProcA(listProc, hwnd, message, wParam, lParam);
}

// The table starts at 20 slots for each refresh and doubles whenever it is
// full, keeping the rows read before; every slot past the rows is empty. A
// snapshot that cannot be taken, or whose first entry cannot be read, leaves
// the list and the table empty until the next refresh. Each refresh empties
// the list while the old block is still current.
TEST_F(TableTest, TableStartsAtTwentySlotsEachRefreshAndDoublesWhenFull) {
    enum Snapshot { READABLE, NO_SNAPSHOT, NO_FIRST_ENTRY };
    struct {
        int processes;
        size_t slots;
        Snapshot snapshot;
    } steps[] = {{19, 20, READABLE}, {20, 20, READABLE},    {21, 40, READABLE},
                 {40, 40, READABLE}, {41, 80, READABLE},    {45, 80, READABLE},
                 {5, 20, READABLE},  {30, 20, NO_SNAPSHOT}, {30, 20, NO_FIRST_ENTRY},
                 {30, 40, READABLE}};
    listProc = (WNDPROC)SetWindowLongPtrA(list, GWLP_WNDPROC, (LONG_PTR)CheckBlockAtDeleteAllProc);
    for (auto step : steps) {
        SCOPED_TRACE(testing::Message()
                     << step.processes << " processes, snapshot " << step.snapshot);
        Fake.processes.clear();
        AddFakeProcesses(step.processes);
        Fake.snapshotFails = step.snapshot == NO_SNAPSHOT;
        Fake.firstEntryFails = step.snapshot == NO_FIRST_ENTRY;
        Fake.openAccess.clear();
        oldBlock = Table.Records;
        emptied = 0;
        RefreshProcessTable(list, &state);
        EXPECT_EQ(1, emptied);
        int rows = step.snapshot == READABLE ? step.processes : 0;
        ASSERT_EQ(rows, RowCount(list));
        for (int i = 0; i < rows; ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(std::to_string(Fake.processes[i].id), CellText(list, i, 0));
            EXPECT_EQ(Fake.processes[i].name, CellText(list, i, 1));
            EXPECT_EQ(std::to_string(i + 1), CellText(list, i, 3));
            EXPECT_EQ((DWORD)PROCESS_QUERY_INFORMATION, Fake.openAccess[i]);
        }
        EXPECT_EQ(0, OpenFakeHandles()) << "every process handle and the snapshot are closed";
        ExpectTrimAllOpensRowsThenEmptySlots(rows, step.slots);
    }
}

// What each row shows: the process's identifier, its name cut at 98
// characters, and its figures in whole pages rounding down, or -1 where they
// cannot be read. A process that cannot be opened still gets its row, as do
// the System Idle Process's identifier 0 and a process that ended after the
// snapshot. Only a 64-bit build sees a working set past 4 GB; the table still
// holds 32-bit page counts.
TEST_F(TableTest, EachRowShowsItsProcessAsFarAsItCanBeRead) {
    const SIZE_T MIN = 200 * 4096, MAX = 1380 * 4096;
    const DWORD DENIED = ERROR_ACCESS_DENIED, ENDED = ERROR_INVALID_PARAMETER;
    struct {
        const char *why;
        size_t name;                      // characters
        SIZE_T minimum, current, maximum; // bytes
        DWORD openError;
        BOOL limitsFail, sizeFails;
        const char *figures; // the last three columns
    } cases[] = {
        {"identifier 0", 5, MIN, 8192, MAX, 0, FALSE, FALSE, "-1 -1 -1"},
        {"access denied", 5, MIN, 8192, MAX, DENIED, FALSE, FALSE, "-1 -1 -1"},
        {"ended after the snapshot", 5, MIN, 8192, MAX, ENDED, FALSE, FALSE, "-1 -1 -1"},
        {"limits query fails", 5, MIN, 8192, MAX, 0, TRUE, FALSE, "0 2 0"},
        {"size query fails", 5, MIN, 8192, MAX, 0, FALSE, TRUE, "200 -1 1380"},
        {"0xFFFFFFFF bytes, as a failed query", 5, MIN, 0xFFFFFFFF, MAX, 0, FALSE, FALSE,
         "200 -1 1380"},
        {"all well", 5, MIN, 8192, MAX, 0, FALSE, FALSE, "200 2 1380"},
        {"no name, no bytes", 0, 0, 0, 0, 0, FALSE, FALSE, "0 0 0"},
        {"97 characters", 97, 4095, 4095, 4095, 0, FALSE, FALSE, "0 0 0"},
        {"98 characters", 98, 4096, 4096, 4096, 0, FALSE, FALSE, "1 1 1"},
        {"99 characters", 99, 8191, 8191, 8191, 0, FALSE, FALSE, "1 1 1"},
        {"259 characters", 259, 8192, 8192, 8192, 0, FALSE, FALSE, "2 2 2"},
        {"260 characters", 260, 0x7FFFF000, 0x7FFFF000, 0x7FFFF000, 0, FALSE, FALSE,
         "524287 524287 524287"},
        {"4 GB less 2 bytes", 5, 0xFFFFFFFE, 0xFFFFFFFE, 0xFFFFFFFE, 0, FALSE, FALSE,
         "1048575 1048575 1048575"},
#ifdef _WIN64
        {"past 4 GB", 5, 5ull << 30, (6ull << 30) + 8192, (16ull << 30) + 4095, 0, FALSE, FALSE,
         "1310720 1572866 4194304"},
#endif
    };
    const int n = sizeof cases / sizeof cases[0];
    AddFakeProcesses(n);
    Fake.processes[0].id = 0;
    for (int i = 0; i < n; ++i) {
        FakeProcess &p = Fake.processes[i];
        p.name = std::string(cases[i].name, (char)('a' + i));
        p.minimumBytes = cases[i].minimum;
        p.workingSetBytes = cases[i].current;
        p.maximumBytes = cases[i].maximum;
        p.openError = cases[i].openError;
        p.limitsFail = cases[i].limitsFail;
        p.sizeFails = cases[i].sizeFails;
    }
    RefreshProcessTable(list, &state);

    ASSERT_EQ(n, RowCount(list));
    for (int i = 0; i < n; ++i) {
        SCOPED_TRACE(cases[i].why);
        EXPECT_EQ(std::to_string(Fake.processes[i].id), CellText(list, i, 0));
        EXPECT_EQ(Fake.processes[i].name.substr(0, 98), CellText(list, i, 1));
        EXPECT_EQ(cases[i].figures,
                  CellText(list, i, 2) + " " + CellText(list, i, 3) + " " + CellText(list, i, 4));
        // Asked for a column past the last, straight after the last one's
        // text, the answer is empty, not what the buffer still holds.
        NMLVDISPINFOA info = {};
        info.item.iItem = i;
        info.item.iSubItem = 4;
        FillCellText(&info);
        info.item.iSubItem = 5;
        FillCellText(&info);
        EXPECT_STREQ("", info.item.pszText) << "column 5";
    }
    EXPECT_EQ(0, OpenFakeHandles());
}

// A heap that refuses: the refresh keeps the processes that fit and stays
// consistent (rows = filled records), never touching a null block.
TEST_F(TableTest, HeapRefusingABlockStopsTheRefreshInOrder) {
    AddFakeProcesses(300);
    HANDLE small = HeapCreate(0, 0, 32 * 1024); // fixed size: 300 records never fit
    ASSERT_TRUE(small);
    TableHeap = small;

    RefreshProcessTable(list, &state);
    int rows = RowCount(list);
    EXPECT_GE(rows, 20);
    EXPECT_LT(rows, 300);
    ExpectTrimAllOpensRowsThenEmptySlots(rows, rows); // the refresh stops where the block is full
    EXPECT_EQ(Fake.processes[rows - 1].name, CellText(list, rows - 1, 1));
    EXPECT_EQ(0, OpenFakeHandles());

    // Now not even the first block: the table is empty and nothing breaks.
    HeapFree(small, 0, Table.Records);
    Table = ProcessTable();
    std::vector<void *> hog;
    while (void *block = HeapAlloc(small, 0, 512)) {
        hog.push_back(block);
    }
    RefreshProcessTable(list, &state);
    EXPECT_EQ(0, RowCount(list));
    ExpectTrimAllOpensRowsThenEmptySlots(0, 0);
    EXPECT_EQ(0, OpenFakeHandles());

    // Memory back: the next refresh is whole again.
    for (void *block : hog) {
        HeapFree(small, 0, block);
    }
    RefreshProcessTable(list, &state);
    EXPECT_EQ(rows, RowCount(list));
    Table = ProcessTable();
    HeapDestroy(small);
}

RECT RowBounds(HWND list, int row) {
    RECT bounds = {};
    ListView_GetItemRect(list, row, &bounds, LVIR_BOUNDS);
    return bounds;
}

void ScrollToRow(HWND list, int row) {
    RECT bounds = RowBounds(list, 0);
    SendMessageA(list, LVM_SCROLL, 0,
                 (row - ListView_GetTopIndex(list)) * (bounds.bottom - bounds.top));
}

// Blackens part of a window and leaves it due for a repaint, as a message box
// closing over it would: the window itself, not its children, which the
// system leaves alone where they are hidden.
void LeaveDamage(HWND window, RECT area) {
    HDC dc = GetDC(window);
    FillRect(dc, &area, (HBRUSH)GetStockObject(BLACK_BRUSH));
    ReleaseDC(window, dc);
    RedrawWindow(window, &area, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_NOCHILDREN);
}

// A name that makes the list wider than its window, scroll bar and all.
const char WIDE_NAME[] =
    "a-rather-long-image-name-wider-than-the-list-window-of-this-test-by-far.exe";

// The refresh repaints only what changed on screen. These run on a shown
// list: what is left in its update region after a refresh is what the next
// paint redraws.
class RepaintTest : public TableTest {
  protected:
    void SetUp() override {
        TableTest::SetUp();
        AddFakeProcesses(40);
        Fake.processes[5].name = WIDE_NAME;
        ShowWindow(GetParent(list), SW_SHOWNA);
        RefreshProcessTable(list, &state);
        // Half of the last row on screen shows, text and all.
        RECT window, client, row = RowBounds(list, 0);
        GetWindowRect(list, &window);
        GetClientRect(list, &client);
        int height = row.bottom - row.top;
        int shown = row.top + ListView_GetCountPerPage(list) * height;
        SetWindowPos(list, NULL, 0, 0, window.right - window.left,
                     window.bottom - window.top + shown + height / 2 - client.bottom,
                     SWP_NOMOVE | SWP_NOZORDER);
        Settle();
    }
    void Settle() {
        RedrawWindow(GetParent(list), NULL, NULL, RDW_UPDATENOW | RDW_ALLCHILDREN);
        CellTextRequests = 0;
    }
    // Pixels that the list's own update leaves different from a full repaint.
    long StalePixels() {
        Settle();
        WindowPixels shown = CaptureWindow(list);
        RedrawWindow(list, NULL, NULL,
                     RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        return DifferingPixels(shown, CaptureWindow(list));
    }
};

TEST_F(RepaintTest, UnchangedListIsNeitherMeasuredNorRepainted) {
    RefreshProcessTable(list, &state);
    EXPECT_FALSE(GetUpdateRect(list, NULL, FALSE));
    EXPECT_EQ(0, CellTextRequests) << "no text changed, so no column needs measuring";

    // One figure changed: that row alone.
    Fake.processes[3].workingSetBytes += 4096;
    RefreshProcessTable(list, &state);
    // The row is wider than the list's window: what shows of it.
    RECT dirty = {}, row = RowBounds(list, 3), client;
    GetClientRect(list, &client);
    IntersectRect(&row, &row, &client);
    GetUpdateRect(list, &dirty, FALSE);
    EXPECT_TRUE(EqualRect(&dirty, &row)) << "only row 3 changed";
    EXPECT_EQ(0, CellTextRequests);
}

// Row counts in the scenarios, in pages of the rows the list shows at once:
// k * PAGE + n is k pages and n rows.
enum { PAGE = 1000, FITS = PAGE - 4, OVERFLOWS = 3 * PAGE };
enum Scroll { TOP, MIDDLE, BOTTOM };
enum Where { ABOVE, INSIDE, BELOW }; // the rows on screen
enum Extra {
    NONE,
    SELECTED,
    FIGURES,
    LONGER_NAME,
    SHORTER_NAME,
    DRAGGED,
    LIST_DUE,
    HEADER_DUE,
    LIST_DAMAGED, // while the refresh runs
    DIALOG_DAMAGED,
};

const struct {
    const char *name;
    int processes;
    Scroll scroll;
    int ending, appearing;
    Where where;
    Extra extra;
} scenarios[] = {
    {"fits, one ends inside", FITS, TOP, 1, 0, INSIDE, NONE},
    {"fits, three appear", FITS, TOP, 0, 3, INSIDE, NONE},
    {"top, three end inside", OVERFLOWS, TOP, 3, 0, INSIDE, NONE},
    {"top, a page appears below", OVERFLOWS, TOP, 0, PAGE, BELOW, NONE},
    {"middle, one ends above", OVERFLOWS, MIDDLE, 1, 0, ABOVE, NONE},
    {"middle, three appear above", OVERFLOWS, MIDDLE, 0, 3, ABOVE, NONE},
    {"middle, a page ends inside", OVERFLOWS, MIDDLE, PAGE, 0, INSIDE, NONE},
    {"middle, three end below", OVERFLOWS, MIDDLE, 3, 0, BELOW, NONE},
    {"bottom, one ends above", OVERFLOWS, BOTTOM, 1, 0, ABOVE, NONE},
    {"bottom, three end inside", OVERFLOWS, BOTTOM, 3, 0, INSIDE, NONE},
    {"bottom, a page ends above", OVERFLOWS, BOTTOM, PAGE, 0, ABOVE, NONE},
    {"bottom, three appear inside", OVERFLOWS, BOTTOM, 0, 3, INSIDE, NONE},
    {"bottom, three appear below", OVERFLOWS, BOTTOM, 0, 3, BELOW, NONE},
    {"scroll bar goes", PAGE + 2, TOP, 3, 0, INSIDE, NONE},
    {"scroll bar comes", FITS, TOP, 0, PAGE, INSIDE, NONE},
    {"selection dropped", OVERFLOWS, MIDDLE, 0, 0, INSIDE, SELECTED},
    {"top, only figures change", OVERFLOWS, TOP, 0, 0, INSIDE, FIGURES},
    {"middle, only figures change", OVERFLOWS, MIDDLE, 0, 0, INSIDE, FIGURES},
    {"a name gets longer", OVERFLOWS, MIDDLE, 0, 0, INSIDE, LONGER_NAME},
    {"the longest name gets shorter", OVERFLOWS, MIDDLE, 0, 0, INSIDE, SHORTER_NAME},
    {"a name column dragged", OVERFLOWS, MIDDLE, 0, 0, INSIDE, DRAGGED},
    {"a repaint due in the list", OVERFLOWS, BOTTOM, 0, 0, INSIDE, LIST_DUE},
    {"a repaint due in the header", OVERFLOWS, MIDDLE, 0, 0, INSIDE, HEADER_DUE},
    {"a window uncovers the list mid-refresh", OVERFLOWS, MIDDLE, 0, 0, INSIDE, LIST_DAMAGED},
    {"the dialog is uncovered over the list mid-refresh", OVERFLOWS, MIDDLE, 0, 0, INSIDE,
     DIALOG_DAMAGED},
};

// Damage done at the first open of a refresh, with the list's redraw off. As
// on a desktop without composition, either the list is due where it was
// uncovered or, where turning redraw off hid it, the dialog over it is.
HWND damaged;
RECT damagedArea; // in that window's client coordinates

// Some list versions go back to the top and the left edge when emptied,
// scrolling the bits on screen even with redraw off; the refresh must bring
// the rows back and repaint what the scrolling left.
LRESULT CALLBACK TopWhenEmptiedProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == LVM_DELETEALLITEMS) {
        ScrollToRow(hwnd, 0);
        SendMessageA(hwnd, LVM_SCROLL, -GetScrollPos(hwnd, SB_HORZ), 0);
    }
    return CallWindowProcA(listProc, hwnd, message, wParam, lParam);
}

// Whatever changed between two ticks, what the list shows afterwards is what
// a full repaint of it shows, and it stays scrolled, down and sideways, as far
// as the new rows allow.
TEST_F(RepaintTest, ScreenAfterARefreshEqualsAFullRepaint) {
    int page = ListView_GetCountPerPage(list);
    auto count = [page](int n) {
        int pages = (n + PAGE / 2) / PAGE;
        return pages * page + n - pages * PAGE;
    };
    DWORD newId = 90000;
    Fake.onOpen = [](DWORD) {
        if (damaged) {
            LeaveDamage(damaged, damagedArea);
            damaged = NULL;
        }
    };
    // Each scenario on a list that keeps its place when emptied, then again on
    // a list that goes back to the top left, scrolled sideways each time.
    const int n = sizeof scenarios / sizeof scenarios[0];
    for (int run = 0; run < 2 * n; ++run) {
        const auto &s = scenarios[run % n];
        bool toTop = run >= n;
        if (run == n) {
            listProc = (WNDPROC)SetWindowLongPtrA(list, GWLP_WNDPROC, (LONG_PTR)TopWhenEmptiedProc);
        }
        SCOPED_TRACE(std::string(s.name) + (toTop ? ", on a list that goes to the top when emptied"
                                                  : ", on a list that keeps its place"));
        Fake.processes.clear();
        AddFakeProcesses(count(s.processes));
        Fake.processes[5].name = WIDE_NAME;
        RefreshProcessTable(list, &state);
        int rows = RowCount(list);
        ScrollToRow(list, s.scroll == TOP ? 0 : s.scroll == MIDDLE ? rows / 3 : rows - page);
        SendMessageA(list, LVM_SCROLL, 60, 0);
        int top = ListView_GetTopIndex(list), across = GetScrollPos(list, SB_HORZ);
        ASSERT_GT(across, 0) << "the list is no wider than its window";
        Settle();

        int ending = count(s.ending), appearing = count(s.appearing);
        int at = s.where == ABOVE    ? top - ending - appearing - 1
                 : s.where == INSIDE ? top + 2
                                     : top + page + 1;
        at = at < 0 ? 0 : at > rows - ending ? rows - ending : at;
        Fake.processes.erase(Fake.processes.begin() + at, Fake.processes.begin() + at + ending);
        for (int i = 0; i < appearing; ++i) {
            FakeProcess p = Fake.processes[0];
            p.id = newId += 4;
            Fake.processes.insert(Fake.processes.begin() + at, p);
        }
        int fitted = ListView_GetColumnWidth(list, 1);
        if (s.extra == SELECTED) {
            ListView_SetItemState(list, top + 1, LVIS_SELECTED, LVIS_SELECTED);
        } else if (s.extra == FIGURES) {
            // A row on screen, and the last one, which shows only in part.
            RECT client;
            GetClientRect(list, &client);
            ASSERT_LT(RowBounds(list, top + page).top, client.bottom) << "no row shows in part";
            Fake.processes[top + 2].workingSetBytes += 4096;
            Fake.processes[top + page].workingSetBytes += 4096;
        } else if (s.extra == LONGER_NAME) {
            // Alike in its first characters, so only a whole comparison tells.
            Fake.processes[top + 1].name += "-a-much-longer-name-than-any-before.exe";
        } else if (s.extra == SHORTER_NAME) {
            Fake.processes[5].name = "p.exe";
        } else if (s.extra == DRAGGED) {
            ListView_SetColumnWidth(list, 1, fitted + 40);
        } else if (s.extra == LIST_DUE) {
            LeaveDamage(list, RowBounds(list, top + 3));
        } else if (s.extra == HEADER_DUE) {
            LeaveDamage(ListView_GetHeader(list), RECT{0, 0, 2000, 2000});
        } else if (s.extra == LIST_DAMAGED || s.extra == DIALOG_DAMAGED) {
            damaged = s.extra == DIALOG_DAMAGED ? GetParent(list) : list;
            damagedArea = RowBounds(list, top + 3);
            MapWindowPoints(list, damaged, (POINT *)&damagedArea, 2);
        }

        RefreshProcessTable(list, &state);
        rows = RowCount(list);
        int most = rows > page ? rows - page : 0;
        EXPECT_EQ(top < most ? top : most, ListView_GetTopIndex(list))
            << "the rows on screen moved";
        SCROLLINFO bar = {sizeof bar, SIF_RANGE | SIF_PAGE, 0, 0, 0, 0, 0};
        most = GetScrollInfo(list, SB_HORZ, &bar) ? bar.nMax - (int)bar.nPage + 1 : 0;
        most = most > 0 ? most : 0;
        EXPECT_EQ(across < most ? across : most, GetScrollPos(list, SB_HORZ))
            << "the list moved sideways";
        EXPECT_EQ(0, StalePixels()) << "pixels left stale on screen";
        int width = ListView_GetColumnWidth(list, 1);
        if (s.extra == DRAGGED) {
            EXPECT_EQ(fitted, width) << "the dragged name column is fitted again";
        }
        if (s.extra == LONGER_NAME) {
            std::string longer = CellText(list, top + 1, 1);
            EXPECT_LE(ListView_GetStringWidth(list, longer.c_str()), width)
                << "the name column is fitted to the longer name";
        }
    }
    SetWindowLongPtrA(list, GWLP_WNDPROC, (LONG_PTR)listProc);
}

// A list that refuses every row; a tick refreshes it as the dialog's timer
// would.
ListState refusingState;

LRESULT CALLBACK RefusingListProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER) {
        RefreshProcessTable(hwnd, &refusingState);
        return 0;
    }
    if (message == LVM_INSERTITEMA) {
        return -1;
    }
    return CallWindowProcA(listProc, hwnd, message, wParam, lParam);
}

// The watcher presses OK on the "Failed inserting item" box; any other box
// ends the process with 77, and a tick that opens another box with 78, so the
// exit code tells.
TEST_F(TableTest, ListRefusingARowEndsTheProgramWithTheBoxResult) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    AddFakeProcesses(3);
    listProc = (WNDPROC)SetWindowLongPtrA(list, GWLP_WNDPROC, (LONG_PTR)RefusingListProc);
    BoxWatcher watcher(NULL, [this](int, const SeenBox &box) {
        if (box.text != "Failed inserting item") {
            ExitProcess(77);
        }
        if (!SendMessageTimeoutA(list, WM_TIMER, 0, 0, SMTO_NORMAL, 2000, NULL)) {
            ExitProcess(78);
        }
    });
    EXPECT_EXIT(RefreshProcessTable(list, &refusingState), ::testing::ExitedWithCode(IDOK), "");
}

} // namespace
