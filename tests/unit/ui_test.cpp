// The main dialog: refresh policy, cell texts, and the dialog's wiring, built
// from the real template against the scripted process operations.
#include "box_watcher.h"
#include "fake_process_ops.h"
#include "test_window.h"

#include "res/ids.h"
#include "ui/ui.h"

#include <gtest/gtest.h>

namespace {

// The About box's four lines, as the user reads them.
const std::wstring ABOUT_LINES =
    L"Ferrowin v1.0\n"
    L"Ferrowin project, 2026\n"
    L"\u041f\u0440\u043e\u0433\u0440\u0430\u043c\u043c\u0430 "
    L"\u0434\u0435\u043c\u043e\u043d\u0441\u0442\u0440\u0438\u0440\u0443\u0435\u0442 "
    L"\u0443\u0441\u0435\u0447\u0435\u043d\u0438\u0435 "
    L"\u0440\u0430\u0431\u043e\u0447\u0438\u0445 "
    L"\u043d\u0430\u0431\u043e\u0440\u043e\u0432 \u0438\u0437 "
    L"\u043f\u043e\u043b\u044c\u0437\u043e\u0432\u0430\u0442\u0435\u043b\u044c"
    L"\u0441\u043a\u043e\u0433\u043e \u0440\u0435\u0436\u0438\u043c\u0430. \n"
    L"\u041f\u0440\u0438\u043b\u043e\u0436\u0435\u043d\u0438\u0435 \u043a "
    L"\u0441\u0442\u0430\u0442\u044c\u0435 \u043e\u0431 "
    L"\u0443\u043f\u0440\u0430\u0432\u043b\u0435\u043d\u0438\u0438 "
    L"\u043f\u0430\u043c\u044f\u0442\u044c\u044e.";

// The program's 8-bit texts are windows-1251; empty when a byte is not.
std::wstring Decode1251(const std::string &text) {
    wchar_t wide[512] = L"";
    MultiByteToWideChar(1251, MB_ERR_INVALID_CHARS, text.c_str(), -1, wide, 512);
    return wide;
}

TEST(RefreshPolicy, HoldsAClickedRowForTheRestOfThreeSecondsSinceTheLastRefresh) {
    struct {
        const char *why;
        int row;
        DWORD last, now;
        BOOL due;
    } cases[] = {
        {"nothing selected", NO_ROW, 5000, 5000, TRUE},
        {"nothing selected, even at once", NO_ROW, 5000, 5001, TRUE},
        {"click 0.9 s after the refresh, tick at 1 s", 2, 5000, 6000, FALSE},
        {"tick at 2 s", 2, 5000, 7000, FALSE},
        {"last moment of the hold", 2, 5000, 7999, FALSE},
        {"hold over: 3000 ms since the refresh, not the click", 2, 5000, 8000, TRUE},
        {"row 0 is a row, not none", 0, 5000, 6000, FALSE},
        {"counter wrapped, 1536 ms since the refresh", 4, 0xFFFFFF00, 0x00000500, FALSE},
        {"counter wrapped, 4352 ms since the refresh", 4, 0xFFFFF000, 0x00000100, TRUE},
    };
    for (auto c : cases) {
        EXPECT_EQ(c.due, RefreshIsDue(c.row, c.now, c.last)) << c.why;
    }
}

class CellTextTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ZeroMemory(records, sizeof records);
        Table.Records = records;
        Table.Capacity = 2;
        records[0] = {4, "", 200, 1234, 1380};
        lstrcpyA(records[0].ImageName, "svchost.exe");
        records[1] = {0, "", NOT_AVAILABLE, NOT_AVAILABLE, NOT_AVAILABLE};
        FillMemory(records[1].ImageName, 98, 'n');
    }
    void TearDown() override {
        Table = ProcessTable();
    }
    std::string Cell(int row, int column) {
        NMLVDISPINFOA info = {};
        info.item.iItem = row;
        info.item.iSubItem = column;
        info.item.mask = 0; // the text is given whatever the list asks for
        FillCellText(&info);
        EXPECT_EQ(MessageText, info.item.pszText);
        return info.item.pszText;
    }
    ProcessRecord records[2];
};

TEST_F(CellTextTest, EveryColumnComesFromTheRecord) {
    EXPECT_EQ("4", Cell(0, 0));
    EXPECT_EQ("svchost.exe", Cell(0, 1));
    EXPECT_EQ("200", Cell(0, 2));
    EXPECT_EQ("1234", Cell(0, 3));
    EXPECT_EQ("1380", Cell(0, 4));

    EXPECT_EQ("0", Cell(1, 0));
    EXPECT_EQ(std::string(98, 'n'), Cell(1, 1));
    for (int column = 2; column <= 4; ++column) {
        EXPECT_EQ("-1", Cell(1, column)) << "a figure the platform did not give, column " << column;
    }
}

TEST_F(CellTextTest, ColumnsPastTheFifthAreEmpty) {
    for (int column : {5, 6, 100}) {
        lstrcpyA(MessageText, "stale");
        EXPECT_EQ("", Cell(0, column)) << "column " << column;
    }
}

// The real dialog template driven by messages, as the dialog manager would.
class MainDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetFake();
        AddFakeProcesses(25);
        dialog = CreateMainDialog();
        ASSERT_TRUE(dialog);
    }
    void TearDown() override {
        DestroyWindow(dialog);
    }
    void Click(int row) {
        NMITEMACTIVATE click = {};
        click.hdr.hwndFrom = ProcessList;
        click.hdr.idFrom = IDC_PROCESS_LIST;
        click.hdr.code = NM_CLICK;
        click.iItem = row;
        SendMessageA(dialog, WM_NOTIFY, IDC_PROCESS_LIST, (LPARAM)&click);
    }
    void Tick() {
        SendMessageA(dialog, WM_TIMER, ID_REFRESH_TIMER, 0);
    }
    HWND dialog;
};

TEST_F(MainDialogTest, InitialisationSetsUpColumnsAndRefreshesAtOnce) {
    EXPECT_EQ(GetDlgItem(dialog, IDC_PROCESS_LIST), ProcessList);
    EXPECT_EQ(1, Fake.snapshots) << "the first refresh runs before the dialog shows";
    EXPECT_EQ(25, (int)SendMessageA(ProcessList, LVM_GETITEMCOUNT, 0, 0));

    const char *titles[] = {"PID", "ImageName", "MinWorkingSetSize", "WorkingSetSize",
                            "MaxWorkingSetSize"};
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        char title[64] = "";
        LVCOLUMNA column = {};
        column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH;
        column.pszText = title;
        column.cchTextMax = sizeof title;
        ASSERT_TRUE(SendMessageA(ProcessList, LVM_GETCOLUMNA, i, (LPARAM)&column));
        EXPECT_STREQ(titles[i], title);
        EXPECT_EQ(i < 2 ? LVCFMT_LEFT : LVCFMT_RIGHT, column.fmt & LVCFMT_JUSTIFYMASK);
        if (i == 4) {
            EXPECT_EQ(100, column.cx) << "MaxWorkingSetSize keeps its width";
        } else if (i >= 2) {
            // The refresh fits the name columns again; these keep the start's fit.
            SendMessageA(ProcessList, LVM_SETCOLUMNWIDTH, i,
                         MAKELPARAM(LVSCW_AUTOSIZE_USEHEADER, 0));
            EXPECT_EQ(column.cx, SendMessageA(ProcessList, LVM_GETCOLUMNWIDTH, i, 0))
                << "fitted to its title at start, so the title shows whole";
        }
    }
    DWORD extended = (DWORD)SendMessageA(ProcessList, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
    EXPECT_TRUE(extended & LVS_EX_FULLROWSELECT);
}

// After each refresh "PID" and "ImageName" are as wide as the list makes a
// column for their texts, texts narrower than the titles too: asked to fit
// them again, the list changes nothing.
TEST_F(MainDialogTest, NameColumnsFitTheirTextsNotTheirTitles) {
    struct {
        DWORD firstId;
        const char *name;
    } cases[] = {{4, "a.exe"}, {1000000, "an-image-name-much-wider-than-its-title.exe"}};
    for (auto c : cases) {
        SCOPED_TRACE(c.name);
        Fake.processes.resize(2);
        for (DWORD i = 0; i < 2; ++i) {
            Fake.processes[i].id = c.firstId + 4 * i;
            Fake.processes[i].name = c.name;
        }
        Tick();
        for (int column = 0; column < 2; ++column) {
            LRESULT shown = SendMessageA(ProcessList, LVM_GETCOLUMNWIDTH, column, 0);
            SendMessageA(ProcessList, LVM_SETCOLUMNWIDTH, column, MAKELPARAM(LVSCW_AUTOSIZE, 0));
            EXPECT_EQ(SendMessageA(ProcessList, LVM_GETCOLUMNWIDTH, column, 0), shown) << column;
        }
    }
}

TEST_F(MainDialogTest, ClickHoldsTheListUntilThreeSecondsAfterTheLastRefresh) {
    Tick();
    ASSERT_EQ(2, Fake.snapshots);
    Click(3);
    EXPECT_EQ(3, SelectedRow);
    Fake.processes.pop_back();
    Tick();
    Tick();
    EXPECT_EQ(2, Fake.snapshots) << "a held list must not be rebuilt";
    EXPECT_EQ(3, SelectedRow);

    Click(7);
    EXPECT_EQ(7, SelectedRow) << "another row changes the row";
    LastRefreshTick = GetTickCount() - 3000;
    Tick();
    EXPECT_EQ(3, Fake.snapshots) << "the hold ends 3000 ms after the last refresh";
    EXPECT_EQ(NO_ROW, SelectedRow);
    EXPECT_EQ(24, (int)SendMessageA(ProcessList, LVM_GETITEMCOUNT, 0, 0));
}

TEST_F(MainDialogTest, ClickOnEmptySpaceReleasesTheHold) {
    Click(3);
    Click(-1);
    Tick();
    EXPECT_EQ(2, Fake.snapshots);
}

TEST_F(MainDialogTest, KeyboardSelectionDoesNotHoldTheList) {
    LVITEMA selected = {};
    selected.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    selected.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(ProcessList, LVM_SETITEMSTATE, 5, (LPARAM)&selected);
    SendMessageA(ProcessList, WM_KEYDOWN, VK_DOWN, 0);
    EXPECT_EQ(NO_ROW, SelectedRow);
    Tick();
    EXPECT_EQ(2, Fake.snapshots);
}

TEST_F(MainDialogTest, AboutEntryEndsTheSystemMenuAndShowsTheAboutBox) {
    HMENU menu = GetSystemMenu(dialog, FALSE);
    int count = GetMenuItemCount(menu);
    ASSERT_GE(count, 3) << "the platform's own items come first";
    EXPECT_EQ((UINT)IDM_ABOUT, GetMenuItemID(menu, count - 1));
    char text[32] = "";
    GetMenuStringA(menu, count - 1, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ("&About", text);
    MENUITEMINFOA separator = {};
    separator.cbSize = sizeof separator;
    separator.fMask = MIIM_FTYPE;
    GetMenuItemInfoA(menu, count - 2, TRUE, &separator);
    EXPECT_TRUE(separator.fType & MFT_SEPARATOR);

    BoxWatcher watcher(dialog);
    SendMessageA(dialog, WM_SYSCOMMAND, IDM_ABOUT, 0);
    ASSERT_EQ(1u, watcher.Boxes().size());
    EXPECT_EQ("Ferrowin", watcher.Boxes()[0].caption);
    EXPECT_EQ(ABOUT_LINES, Decode1251(watcher.Boxes()[0].text));
}

// Decoded as windows-1251, the About text reads as its four lines.
TEST(AboutText, IsFourLinesWithTheRussianOnesInWindows1251) {
    EXPECT_EQ(ABOUT_LINES, Decode1251(AboutText));
}

} // namespace
