// The process table and its refresh, against the scripted process operations
// and a real (hidden) list view.
#include "box_watcher.h"
#include "fake_process_ops.h"
#include "test_window.h"

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

    ProcessRecord Record(int i) {
        return Table.Records[i];
    }
    bool RecordIsZero(int i) {
        static const ProcessRecord zero = {};
        return memcmp(&Table.Records[i], &zero, sizeof zero) == 0;
    }

    HANDLE heap;
    HWND list;
    ListState state = {};
};

TEST_F(TableTest, GrowsByDoublingFromTwentyKeepingEarlierRecords) {
    ASSERT_TRUE(ResetProcessTable());
    EXPECT_EQ(20u, Table.Capacity);
    for (int i = 0; i < 20; ++i) {
        EXPECT_TRUE(RecordIsZero(i)) << "a fresh block is zero-filled, record " << i;
    }

    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    struct Step {
        DWORD filled, capacityAfter;
    } steps[] = {{19, 20}, {20, 40}, {39, 40}, {40, 80}, {79, 80}};
    DWORD filled = 0;
    for (const Step &step : steps) {
        SCOPED_TRACE(step.filled);
        for (; filled < step.filled; ++filled) {
            ASSERT_TRUE(MakeRoomForRecord(filled));
            entry.th32ProcessID = 1000 + filled;
            wsprintfA(entry.szExeFile, "p%d.exe", filled);
            FillProcessRecord(&Table.Records[filled], &entry);
            Table.Records[filled].WorkingSetSize = filled;
        }
        ASSERT_TRUE(MakeRoomForRecord(filled));
        EXPECT_EQ(step.capacityAfter, Table.Capacity);
        for (DWORD i = 0; i < filled; ++i) {
            char name[16];
            wsprintfA(name, "p%d.exe", i);
            EXPECT_EQ(1000 + i, Record(i).ProcessId);
            EXPECT_STREQ(name, Record(i).ImageName);
            EXPECT_EQ(i, Record(i).WorkingSetSize);
        }
        for (DWORD i = filled; i < Table.Capacity; ++i) {
            EXPECT_TRUE(RecordIsZero(i)) << "record " << i << " past the filled ones";
        }
    }
}

TEST_F(TableTest, RefreshOfFortyFiveProcessesGivesCapacityEightyAndOneRowEach) {
    AddFakeProcesses(45);
    RefreshProcessTable(list, &state);

    EXPECT_EQ(80u, Table.Capacity);
    ASSERT_EQ(45, RowCount(list));
    for (int i = 0; i < 45; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(Fake.processes[i].id, Record(i).ProcessId) << "rows keep snapshot order";
        EXPECT_EQ(std::to_string(Fake.processes[i].id), CellText(list, i, 0));
        EXPECT_EQ(Fake.processes[i].name, CellText(list, i, 1));
    }
    for (int i = 45; i < 80; ++i) {
        EXPECT_TRUE(RecordIsZero(i)) << "record " << i;
    }
    EXPECT_EQ(1, Fake.snapshots);
    EXPECT_EQ(45, Fake.opens);
    EXPECT_EQ(0, OpenFakeHandles()) << "every process handle and the snapshot are closed";
    for (DWORD access : Fake.openAccess) {
        EXPECT_EQ((DWORD)PROCESS_QUERY_INFORMATION, access);
    }
}

TEST_F(TableTest, SmallerSecondRefreshStartsAgainFromTwentyZeroedRecords) {
    AddFakeProcesses(45);
    RefreshProcessTable(list, &state);
    ASSERT_EQ(80u, Table.Capacity);

    Fake.processes.erase(Fake.processes.begin(), Fake.processes.begin() + 40);
    RefreshProcessTable(list, &state);

    EXPECT_EQ(20u, Table.Capacity);
    ASSERT_EQ(5, RowCount(list));
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(Fake.processes[i].id, Record(i).ProcessId);
        EXPECT_EQ(Fake.processes[i].name, CellText(list, i, 1));
    }
    for (int i = 5; i < 20; ++i) {
        EXPECT_TRUE(RecordIsZero(i)) << "record " << i << " kept something of the first refresh";
    }
}

TEST_F(TableTest, ListIsEmptiedWhileTheOldBlockIsStillCurrent) {
    AddFakeProcesses(3);
    RefreshProcessTable(list, &state);
    ProcessRecord *oldBlock = Table.Records;
    LastDeleteAll = DeleteAllSighting();

    RefreshProcessTable(list, &state);

    EXPECT_EQ(1, LastDeleteAll.count);
    EXPECT_EQ(oldBlock, LastDeleteAll.records)
        << "the rows must go before the block they read from is released";
    EXPECT_TRUE(LastDeleteAll.blockValid);
}

TEST_F(TableTest, ImageNamesAreCutAtNinetyEightCharacters) {
    struct {
        size_t length;
        size_t stored;
    } cases[] = {{0, 0}, {97, 97}, {98, 98}, {99, 98}, {259, 98}, {260, 98}};
    for (auto c : cases) {
        FakeProcess p = {};
        p.id = 8 + 4 * (DWORD)Fake.processes.size();
        p.name = std::string(c.length, (char)('a' + Fake.processes.size()));
        Fake.processes.push_back(p);
    }
    RefreshProcessTable(list, &state);

    ASSERT_EQ(6, RowCount(list));
    for (size_t i = 0; i < 6; ++i) {
        SCOPED_TRACE(cases[i].length);
        const ProcessRecord r = Record((int)i);
        EXPECT_EQ(Fake.processes[i].name.substr(0, cases[i].stored), std::string(r.ImageName));
        EXPECT_EQ(0, r.ImageName[98]);
        EXPECT_EQ(0, r.ImageName[99]);
        EXPECT_EQ(r.ImageName, CellText(list, (int)i, 1));
    }
}

TEST_F(TableTest, ByteCountsBecomeWholePagesRoundingDown) {
    struct {
        DWORD bytes, pages;
    } cases[] = {{0, 0},
                 {4095, 0},
                 {4096, 1},
                 {8191, 1},
                 {8192, 2},
                 {0x7FFFF000, 0x7FFFF},
                 {0xFFFFFFFE, 0xFFFFF}};
    for (auto c : cases) {
        FakeProcess p = {};
        p.id = 8 + 4 * (DWORD)Fake.processes.size();
        p.name = "x.exe";
        p.minimumBytes = c.bytes;
        p.maximumBytes = c.bytes;
        p.workingSetBytes = c.bytes;
        Fake.processes.push_back(p);
    }
    RefreshProcessTable(list, &state);

    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        SCOPED_TRACE(cases[i].bytes);
        EXPECT_EQ(cases[i].pages, Record((int)i).MinWorkingSetSize);
        EXPECT_EQ(cases[i].pages, Record((int)i).WorkingSetSize);
        EXPECT_EQ(cases[i].pages, Record((int)i).MaxWorkingSetSize);
        EXPECT_EQ(std::to_string(cases[i].pages), CellText(list, (int)i, 3));
    }
}

#ifdef _WIN64
// Only a 64-bit build sees a working set past 4 GB; the table still holds
// 32-bit page counts.
TEST_F(TableTest, WorkingSetsPastFourGigabytesAreShownWhole) {
    FakeProcess big = {};
    big.id = 8;
    big.name = "big.exe";
    big.minimumBytes = 5ull << 30;
    big.maximumBytes = (16ull << 30) + 4095;
    big.workingSetBytes = (6ull << 30) + 8192;
    Fake.processes.push_back(big);
    RefreshProcessTable(list, &state);
    EXPECT_EQ("1310720", CellText(list, 0, 2));
    EXPECT_EQ("1572866", CellText(list, 0, 3));
    EXPECT_EQ("4194304", CellText(list, 0, 4));
}
#endif

TEST_F(TableTest, EachFailureShowsItsOwnFigures) {
    AddFakeProcesses(5);
    FakeProcess idle = {};
    idle.id = 0;
    idle.name = "[System Process]";
    Fake.processes.insert(Fake.processes.begin(), idle);
    Fake.processes[1].openError = ERROR_ACCESS_DENIED;
    Fake.processes[2].limitsFail = TRUE;
    Fake.processes[3].sizeFails = TRUE;
    Fake.processes[4].workingSetBytes = 0xFFFFFFFF; // indistinguishable from a failure
    RefreshProcessTable(list, &state);

    struct {
        const char *why, *min, *current, *max;
    } expected[] = {
        {"identifier 0 cannot be opened", "-1", "-1", "-1"},
        {"access denied", "-1", "-1", "-1"},
        {"limits query fails", "0", "2", "0"},
        {"size query fails", "200", "-1", "1380"},
        {"size of 0xFFFFFFFF bytes", "200", "-1", "1380"},
        {"all well", "200", "5", "1380"},
    };
    ASSERT_EQ(6, RowCount(list));
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(expected[i].why);
        EXPECT_EQ(std::to_string(Fake.processes[i].id), CellText(list, i, 0));
        EXPECT_EQ(Fake.processes[i].name, CellText(list, i, 1));
        EXPECT_EQ(expected[i].min, CellText(list, i, 2));
        EXPECT_EQ(expected[i].current, CellText(list, i, 3));
        EXPECT_EQ(expected[i].max, CellText(list, i, 4));
    }
    EXPECT_EQ(0xFFFFFFFFu, Record(1).WorkingSetSize);
    EXPECT_EQ(0, OpenFakeHandles());
}

TEST_F(TableTest, UnreadableSnapshotGivesEmptyTableAndListUntilTheNextRefresh) {
    AddFakeProcesses(30);
    RefreshProcessTable(list, &state);
    ASSERT_EQ(30, RowCount(list));

    for (int failure = 0; failure < 2; ++failure) {
        SCOPED_TRACE(failure ? "first entry unreadable" : "no snapshot");
        Fake.snapshotFails = failure == 0;
        Fake.firstEntryFails = failure == 1;
        RefreshProcessTable(list, &state);
        EXPECT_EQ(0, RowCount(list));
        EXPECT_EQ(20u, Table.Capacity);
        EXPECT_TRUE(RecordIsZero(0));
        EXPECT_EQ(0, OpenFakeHandles());
    }

    Fake.firstEntryFails = FALSE;
    RefreshProcessTable(list, &state);
    EXPECT_EQ(30, RowCount(list));
}

TEST_F(TableTest, ProcessEndingBetweenSnapshotAndOpenStillGetsItsRow) {
    AddFakeProcesses(4);
    Fake.afterSnapshot = [] { Fake.processes[2].openError = ERROR_INVALID_PARAMETER; };
    RefreshProcessTable(list, &state);

    ASSERT_EQ(4, RowCount(list));
    EXPECT_EQ(Fake.processes[2].name, CellText(list, 2, 1));
    EXPECT_EQ("-1", CellText(list, 2, 3));
    EXPECT_EQ("4", CellText(list, 3, 3));
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
    EXPECT_EQ((DWORD)rows, Table.Capacity) << "the refresh stops where the block is full";
    for (int i = 0; i < rows; ++i) {
        EXPECT_EQ(Fake.processes[i].id, Record(i).ProcessId);
    }
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
    EXPECT_EQ(nullptr, Table.Records);
    EXPECT_EQ(0u, Table.Capacity);
    EXPECT_FALSE(MakeRoomForRecord(0));
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

int TopRow(HWND list) {
    return (int)SendMessageA(list, LVM_GETTOPINDEX, 0, 0);
}

void ScrollToRow(HWND list, int row) {
    RECT bounds = {};
    bounds.left = LVIR_BOUNDS;
    SendMessageA(list, LVM_GETITEMRECT, 0, (LPARAM)&bounds);
    SendMessageA(list, LVM_SCROLL, 0, (row - TopRow(list)) * (bounds.bottom - bounds.top));
}

TEST_F(TableTest, RebuildKeepsTheTopRowAsFarAsTheNewListAllows) {
    AddFakeProcesses(45);
    RefreshProcessTable(list, &state);
    ScrollToRow(list, 20);
    ASSERT_EQ(20, TopRow(list));

    RefreshProcessTable(list, &state);
    EXPECT_EQ(20, TopRow(list)) << "the rebuild threw the user back";
    RefreshProcessTable(list, &state);
    EXPECT_EQ(20, TopRow(list));

    // Fewer rows than the old position needs: the list ends at its last row.
    Fake.processes.resize(25);
    RefreshProcessTable(list, &state);
    int visible = (int)SendMessageA(list, LVM_GETCOUNTPERPAGE, 0, 0);
    EXPECT_EQ(25 - visible, TopRow(list));

    ScrollToRow(list, 0);
    RefreshProcessTable(list, &state);
    EXPECT_EQ(0, TopRow(list));
}

// The rebuild repaints only what changed on screen. These run on a shown
// list: what is left in its update region after a refresh is what the next
// paint redraws.
class RepaintTest : public TableTest {
  protected:
    void SetUp() override {
        TableTest::SetUp();
        AddFakeProcesses(40);
        ShowWindow(GetParent(list), SW_SHOWNA);
        RefreshProcessTable(list, &state);
        Settle();
    }
    void Settle() {
        UpdateWindow(GetParent(list));
        UpdateWindow(list);
        CellTextRequests = 0;
    }
    RECT RowBounds(int row) {
        RECT bounds = {};
        bounds.left = LVIR_BOUNDS;
        SendMessageA(list, LVM_GETITEMRECT, row, (LPARAM)&bounds);
        return bounds;
    }
    RECT Dirty() {
        RECT dirty = {};
        GetUpdateRect(list, &dirty, FALSE);
        return dirty;
    }
    bool Covers(RECT outer, RECT inner) {
        return outer.left <= inner.left && outer.top <= inner.top && outer.right >= inner.right &&
               outer.bottom >= inner.bottom;
    }
};

TEST_F(RepaintTest, UnchangedListIsNeitherMeasuredNorRepainted) {
    RefreshProcessTable(list, &state);
    RECT dirty = Dirty();
    EXPECT_TRUE(IsRectEmpty(&dirty));
    EXPECT_EQ(0, CellTextRequests) << "no text changed, so no column needs measuring";
    EXPECT_EQ(40, RowCount(list));
}

TEST_F(RepaintTest, RepaintDueBeforeTheRefreshIsKept) {
    RECT due = RowBounds(10); // as a message box closing over the list leaves it
    InvalidateRect(list, &due, TRUE);
    RefreshProcessTable(list, &state);
    EXPECT_TRUE(Covers(Dirty(), due));
}

TEST_F(RepaintTest, DraggedNameColumnIsFittedAgain) {
    for (int column : {0, 1}) {
        LRESULT fitted = SendMessageA(list, LVM_GETCOLUMNWIDTH, column, 0);
        SendMessageA(list, LVM_SETCOLUMNWIDTH, column, fitted + 40);
        RefreshProcessTable(list, &state);
        EXPECT_EQ(fitted, SendMessageA(list, LVM_GETCOLUMNWIDTH, column, 0)) << column;
    }
}

TEST_F(RepaintTest, OnlyTheRowsWhoseTextsChangedAreRepainted) {
    Fake.processes[3].workingSetBytes += 4096;
    RefreshProcessTable(list, &state);
    RECT dirty = Dirty(), row = RowBounds(3);
    EXPECT_TRUE(EqualRect(&dirty, &row)) << "only row 3 changed";
    EXPECT_EQ(0, CellTextRequests);

    Settle();
    Fake.processes[2].workingSetBytes += 4096;
    Fake.processes[5].maximumBytes += 4096;
    RefreshProcessTable(list, &state);
    dirty = Dirty();
    RECT rows;
    RECT first = RowBounds(2), last = RowBounds(5);
    UnionRect(&rows, &first, &last);
    EXPECT_TRUE(EqualRect(&dirty, &rows));
}

TEST_F(RepaintTest, DroppedSelectionIsRepainted) {
    LVITEMA selected = {};
    selected.stateMask = LVIS_SELECTED;
    selected.state = LVIS_SELECTED;
    SendMessageA(list, LVM_SETITEMSTATE, 7, (LPARAM)&selected);
    Settle();
    RefreshProcessTable(list, &state);
    RECT dirty = Dirty(), row = RowBounds(7);
    EXPECT_TRUE(EqualRect(&dirty, &row));
    EXPECT_EQ(0u, SendMessageA(list, LVM_GETSELECTEDCOUNT, 0, 0));
}

TEST_F(RepaintTest, ChangedNamesAreMeasuredAgain) {
    Fake.processes[4].name = "a-much-longer-image-name-than-before.exe";
    RefreshProcessTable(list, &state);
    EXPECT_GT(CellTextRequests, 0) << "the name column must be fitted again";
    EXPECT_GE(SendMessageA(list, LVM_GETCOLUMNWIDTH, 1, 0),
              SendMessageA(list, LVM_GETSTRINGWIDTHA, 0, (LPARAM)Fake.processes[4].name.c_str()));
    RECT dirty = Dirty(), client;
    GetClientRect(list, &client);
    EXPECT_TRUE(EqualRect(&client, &dirty)) << "a wider column moves every row";
}

TEST_F(RepaintTest, ScrollBarFollowsTheRowCount) {
    for (int processes : {60, 40, 10, 45}) {
        SCOPED_TRACE(processes);
        Fake.processes.clear();
        AddFakeProcesses(processes);
        RefreshProcessTable(list, &state);
        Settle();
        SCROLLINFO bar = {};
        bar.cbSize = sizeof bar;
        bar.fMask = SIF_RANGE | SIF_PAGE;
        BOOL shown = (GetWindowLongA(list, GWL_STYLE) & WS_VSCROLL) != 0;
        EXPECT_EQ(processes > (int)SendMessageA(list, LVM_GETCOUNTPERPAGE, 0, 0), shown);
        if (shown) {
            ASSERT_TRUE(GetScrollInfo(list, SB_VERT, &bar));
            EXPECT_EQ(processes - 1, bar.nMax);
        }
    }
}

TEST_F(RepaintTest, EndedProcessRepaintsTheRowsBelowIt) {
    Fake.processes.erase(Fake.processes.begin() + 6);
    RefreshProcessTable(list, &state);
    EXPECT_EQ(39, RowCount(list));
    RECT dirty = Dirty();
    EXPECT_TRUE(Covers(dirty, RowBounds(6)));
    EXPECT_FALSE(Covers(dirty, RowBounds(5))) << "rows above the ended one stay as they are";

    Settle();
    Fake.processes.resize(3);
    RefreshProcessTable(list, &state);
    RECT below;
    GetClientRect(list, &below);
    below.top = RowBounds(2).bottom;
    EXPECT_TRUE(Covers(Dirty(), below)) << "the ended rows' image stays below the last row";
}

ListState refusingState;

// A tick refreshes the list as the dialog's timer would.
LRESULT CALLBACK RefusingListProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER) {
        RefreshProcessTable(hwnd, &refusingState);
        return 0;
    }
    if (message == LVM_INSERTITEMA) {
        return -1;
    }
    if (message >= LVM_FIRST && message < LVM_FIRST + 0x100) {
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

// Presses OK on the "Failed inserting item" box; any other box ends the
// process with 77, and a tick that opens another box with 78, so the exit
// code tells.
HWND refusingList;

void ConfirmInsertFailure(int, const SeenBox &box) {
    if (box.text != "Failed inserting item") {
        ExitProcess(77);
    }
    if (!SendMessageTimeoutA(refusingList, WM_TIMER, 0, 0, SMTO_NORMAL, 2000, NULL)) {
        ExitProcess(78);
    }
}

void RefreshIntoRefusingList() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = RefusingListProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = "RefusingList";
    RegisterClassA(&wc);
    HWND refusing = CreateWindowA("RefusingList", "", WS_POPUP, 0, 0, 10, 10, NULL, NULL,
                                  GetModuleHandleA(NULL), NULL);
    refusingList = refusing;
    BoxWatcher watcher(NULL, ConfirmInsertFailure);
    RefreshProcessTable(refusing, &refusingState);
}

TEST_F(TableTest, ListRefusingARowEndsTheProgramWithTheBoxResult) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    AddFakeProcesses(3);
    EXPECT_EXIT(RefreshIntoRefusingList(), ::testing::ExitedWithCode(IDOK), "");
}

} // namespace
