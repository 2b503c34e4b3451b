// The main dialog: refresh policy and the dialog's wiring, built
// from the real template against the scripted process operations.
#include "boxes.h"
#include "dialog_test.h"
#include "expected_texts.h"

#include <gtest/gtest.h>

namespace {

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

using MainDialogTest = DialogTest;

TEST_F(MainDialogTest, InitialisationSetsUpColumnsAndRefreshesAtOnce) {
    EXPECT_EQ(1, Fake.snapshots) << "the first refresh runs before the dialog shows";
    EXPECT_EQ(45, RowCount(list));

    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        char title[64] = "";
        LVCOLUMNA column = {};
        column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH;
        column.pszText = title;
        column.cchTextMax = sizeof title;
        ASSERT_TRUE(SendMessageA(list, LVM_GETCOLUMNA, i, (LPARAM)&column));
        EXPECT_STREQ(COLUMN_TITLES[i], title);
        EXPECT_EQ(i < 2 ? LVCFMT_LEFT : LVCFMT_RIGHT, column.fmt & LVCFMT_JUSTIFYMASK);
        if (i == 4) {
            EXPECT_EQ(100, column.cx) << "MaxWorkingSetSize keeps its width";
        } else if (i >= 2) {
            // The refresh fits the name columns again; these keep the start's fit.
            SendMessageA(list, LVM_SETCOLUMNWIDTH, i, MAKELPARAM(LVSCW_AUTOSIZE_USEHEADER, 0));
            EXPECT_EQ(column.cx, SendMessageA(list, LVM_GETCOLUMNWIDTH, i, 0))
                << "fitted to its title at start, so the title shows whole";
        }
    }
    EXPECT_TRUE(SendMessageA(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_FULLROWSELECT);
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
            LRESULT shown = SendMessageA(list, LVM_GETCOLUMNWIDTH, column, 0);
            SendMessageA(list, LVM_SETCOLUMNWIDTH, column, MAKELPARAM(LVSCW_AUTOSIZE, 0));
            EXPECT_EQ(SendMessageA(list, LVM_GETCOLUMNWIDTH, column, 0), shown) << column;
        }
    }
}

// A click on a row holds the list, and its rows while processes end, until
// 3 s after the last refresh; a click below the rows releases the hold, and a
// selection by keyboard holds nothing.
TEST_F(MainDialogTest, OnlyAClickOnARowHoldsTheList) {
    Tick();
    ASSERT_TRUE(ClickRow(list, 3));
    Fake.processes.pop_back();
    Tick();
    Tick();
    EXPECT_EQ(45, RowCount(list)) << "a held list must not be rebuilt";

    ASSERT_TRUE(ClickRow(list, 7));
    LetHoldRunOut();
    Tick();
    EXPECT_EQ(44, RowCount(list)) << "the hold ends 3000 ms after the last refresh";
    Fake.processes.pop_back();
    Tick();
    EXPECT_EQ(43, RowCount(list)) << "the refresh ended the hold";

    Fake.processes.resize(5);
    Tick();
    ASSERT_TRUE(ClickRow(list, 3));
    ASSERT_TRUE(ClickRow(list, 4, 1)) << "below the last row";
    Fake.processes.pop_back();
    Tick();
    EXPECT_EQ(4, RowCount(list)) << "the click below the rows released the hold";

    ListView_SetItemState(list, 1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    SendMessageA(list, WM_KEYDOWN, VK_DOWN, 0);
    Fake.processes.pop_back();
    Tick();
    EXPECT_EQ(3, RowCount(list)) << "a selection by keyboard holds nothing";
}

TEST_F(MainDialogTest, AboutEntryEndsTheSystemMenuAndShowsTheAboutBox) {
    HMENU menu = GetSystemMenu(dialog, FALSE);
    int count = GetMenuItemCount(menu);
    ASSERT_GE(count, 3) << "the platform's own items come first";
    EXPECT_EQ((UINT)IDM_ABOUT, GetMenuItemID(menu, count - 1));
    char text[32] = "";
    GetMenuStringA(menu, count - 1, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ("&About", text);
    EXPECT_TRUE(GetMenuState(menu, count - 2, MF_BYPOSITION) & MF_SEPARATOR);

    BoxWatcher watcher(dialog);
    SendMessageA(dialog, WM_SYSCOMMAND, IDM_ABOUT, 0);
    ASSERT_EQ(1u, watcher.Boxes().size());
    EXPECT_EQ(PROGRAM_CAPTION, watcher.Boxes()[0].caption);
    EXPECT_EQ(ABOUT_TEXT, watcher.Boxes()[0].text) << "lines 3 and 4 in windows-1251";
}

} // namespace
