// The real process operations and a refresh against the live process list.
#include "test_window.h"

#include "table/process_ops.h"

#include <gtest/gtest.h>

namespace {

TEST(ProcessOps, RefreshListsThisProcessWhichCanBeQueriedAndTrimmed) {
    ProcessMemoryInfoEntry = GetProcessMemoryInfo;
    TableHeap = GetProcessHeap();
    HWND list = CreateTestList();
    ASSERT_TRUE(list) << "the list window could not be made, so no row can show";
    ListState state = {};
    RefreshProcessTable(list, &state);

    int self = -1;
    for (int i = 0; i < RowCount(list); ++i) {
        if (CellText(list, i, 0) == std::to_string(GetCurrentProcessId())) {
            self = i;
        }
    }
    ASSERT_NE(-1, self) << "this process is missing from the list";
    EXPECT_EQ("process_ops_tests.exe", CellText(list, self, 1));
    long minimum = atol(CellText(list, self, 2).c_str());
    long current = atol(CellText(list, self, 3).c_str());
    EXPECT_GT(current, 0) << "its working set, in pages";
    EXPECT_GE(atol(CellText(list, self, 4).c_str()), minimum);
    DestroyTestList(list);

    HANDLE process =
        OpenProcessHandle(PROCESS_QUERY_INFORMATION | PROCESS_SET_QUOTA, GetCurrentProcessId());
    ASSERT_TRUE(process);
    EXPECT_NE(0xFFFFFFFFu, QueryWorkingSetBytes(process));
    EXPECT_TRUE(TrimWorkingSet(process));
    EXPECT_TRUE(CloseProcessHandle(process));

    EXPECT_EQ(0xFFFFFFFFu, QueryWorkingSetBytes(NULL)) << "a failed query reads as 0xFFFFFFFF";
    EXPECT_EQ(NULL, OpenProcessHandle(PROCESS_SET_QUOTA, 0)) << "identifier 0 never opens";
}

TEST(ProcessOps, MemoryFiguresAreReadInFull) {
    MemoryFigures figures = {};
    ReadMemoryFigures(&figures);
    MEMORYSTATUSEX status = {};
    status.dwLength = sizeof status;
    GlobalMemoryStatusEx(&status);
    EXPECT_GT(figures.AvailPhys, 0u);
    EXPECT_GT(figures.AvailPageFile, 0u);
    // Past 4 GB the 64-bit figure must come through whole, not capped.
    if (status.ullAvailPhys > 0xFFFFFFFFull) {
        EXPECT_GT(figures.AvailPhys, 0xFFFFFFFFull);
    }
}

} // namespace
