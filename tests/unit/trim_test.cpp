// Trimming: the report and error texts, the walk over every table slot, and
// the single trim's paths through the real dialog against the stand-in.
#include "boxes.h"
#include "dialog_test.h"
#include "expected_texts.h"

#include "trim/trim.h"

#include <gtest/gtest.h>

namespace {

const std::string OPEN_FAILED = OPEN_FAILED_TEXT;
const std::string TRIM_FAILED = TRIM_FAILED_TEXT;
const ULONGLONG GB = 1ull << 30;

std::string SystemText(DWORD error) {
    char text[512] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, error, 0, text,
                   sizeof text, NULL);
    return text;
}

// The text ends by byte 254 and its zero: byte 255 of the buffer is never
// written. A prefix that leaves too little room has the system's text cut or
// left out. A system text with an insert is shown as it stands.
TEST(TrimTexts, ErrorTextIsThePrefixThenTheSystemTextWithinByte255) {
    std::string invalid = SystemText(ERROR_INVALID_PARAMETER);
    ASSERT_FALSE(invalid.empty());
    const size_t fits = 254 - invalid.size(); // a prefix after which the text just fits
    DWORD withInsert = 0;
    for (DWORD error = 1; error < 16000 && !withInsert; ++error) {
        if (SystemText(error).find("%1") != std::string::npos) {
            withInsert = error;
        }
    }
    struct {
        std::string prefix;
        DWORD error;
        bool whole;
    } cases[] = {{OPEN_FAILED, ERROR_INVALID_PARAMETER, true},
                 {TRIM_FAILED, ERROR_ACCESS_DENIED, true},
                 {OPEN_FAILED, withInsert, withInsert != 0},
                 {std::string(fits, 'p'), ERROR_INVALID_PARAMETER, true},
                 {std::string(fits + 1, 'p'), ERROR_INVALID_PARAMETER, false},
                 {std::string(240, 'p'), ERROR_INVALID_PARAMETER, false},
                 {std::string(254, 'p'), ERROR_INVALID_PARAMETER, false}};
    for (auto c : cases) {
        SCOPED_TRACE(c.prefix.substr(0, 20) + "... " + std::to_string(c.error));
        char text[512];
        FillMemory(text, sizeof text, '#');
        ComposeSystemErrorText(text, c.prefix.c_str(), c.error);
        EXPECT_EQ(std::string(257, '#'), std::string(text + 255, 257));
        EXPECT_EQ(0, std::string(text).compare(0, c.prefix.size(), c.prefix));
        if (c.whole) {
            EXPECT_EQ(c.prefix + SystemText(c.error), std::string(text));
        }
    }
    if (!withInsert) {
        GTEST_SKIP() << "this system has no error text with an insert";
    }
}

TEST(TrimTexts, MemoryReportGivesAfterBeforeAndSignedDifferencesInPages) {
    struct {
        const char *why;
        MemoryFigures before, after;
        int shown[6]; // after, before, difference: physical, then page file
    } cases[] = {
        {"free memory above 4 GB",
         {6 * GB, 20 * GB},
         {6 * GB + 3 * 4096, 20 * GB},
         {1572867, 1572864, 3, 5242880, 5242880, 0}},
        {"page file fell by exactly two pages",
         {GB, 9 * GB},
         {GB, 9 * GB - 8192},
         {262144, 262144, 0, 2359294, 2359296, -2}},
        {"a fall of one byte is a page of difference",
         {4096, 8192},
         {4095, 8192 + 4095},
         {0, 1, -1, 2, 2, 0}},
        {"more than 8 GB freed",
         {2 * GB, GB},
         {12 * GB, GB},
         {3145728, 524288, 2621440, 262144, 262144, 0}},
    };
    for (auto c : cases) {
        SCOPED_TRACE(c.why);
        char text[MESSAGE_TEXT_BYTES];
        ComposeMemoryReport(text, &c.before, &c.after);
        EXPECT_EQ(MemoryReport(c.shown), text);
    }
}

using TrimTest = DialogTest;

// With no row held, OK trims nothing and shows nothing. Trim all opens every
// table slot, the empty ones too, passes over failures in silence and
// reports free memory before and after, with no refresh.
TEST_F(TrimTest, NoHeldRowToTrimButTrimAllVisitsEveryTableSlotAndReports) {
    Fake.memory[0] = {5 * GB, 7 * GB};
    Fake.memory[1] = {5 * GB + 4096, 7 * GB - 8192};
    Fake.processes[3].openError = ERROR_ACCESS_DENIED;
    Fake.processes[4].trimError = ERROR_ACCESS_DENIED;
    BoxWatcher watcher(dialog);
    Press(IDOK);
    EXPECT_TRUE(Fake.openedIds.empty() && watcher.Boxes().empty()) << "a trim with no row held";
    Press(IDC_TRIM_ALL);

    ASSERT_EQ(80u, Fake.openedIds.size());
    for (size_t i = 0; i < 80; ++i) {
        EXPECT_EQ(i < 45 ? Fake.processes[i].id : 0, Fake.openedIds[i]) << "slot " << i;
        EXPECT_EQ((DWORD)PROCESS_SET_QUOTA, Fake.openAccess[i]);
    }
    EXPECT_EQ(43, Fake.trims) << "one cannot be opened, one cannot be trimmed";
    EXPECT_EQ(0, OpenFakeHandles());
    const int shown[6] = {1310721, 1310720, 1, 1835006, 1835008, -2};
    ASSERT_EQ(1u, watcher.Boxes().size());
    EXPECT_EQ(PROGRAM_CAPTION, watcher.Boxes()[0].caption);
    EXPECT_EQ(MemoryReport(shown), watcher.Boxes()[0].text);
    EXPECT_EQ(1, Fake.snapshots) << "trim all sends no refresh tick";
}

// The row clicked last is trimmed, opened for the trim and the size query,
// and a refresh tick follows unless the open failed; the report has room for
// the longest name, and errors keep the platform's default caption.
TEST_F(TrimTest, TrimShowsTheReportOrTheErrorsAndRefreshes) {
    Fake.processes[6].name = std::string(98, 'q');
    Tick();
    const std::string ended = OPEN_FAILED + SystemText(ERROR_INVALID_PARAMETER);
    const std::string refused = TRIM_FAILED + SystemText(ERROR_ACCESS_DENIED);
    const std::string report = TrimReport(std::string(98, 'q'), 7);
    const std::string errorCaption = DefaultErrorCaption();
    struct {
        const char *why;
        DWORD openError, trimError;
        BOOL sizeFails;
        std::vector<std::string> boxes;
        int refreshes;
    } cases[] = {
        {"trim done", 0, 0, FALSE, {report}, 1},
        {"process ended", ERROR_INVALID_PARAMETER, 0, FALSE, {ended}, 0},
        {"trim refused", 0, ERROR_ACCESS_DENIED, FALSE, {refused, report}, 1},
        {"size query fails", 0, 0, TRUE, {}, 1},
        {"trim refused and size query fails", 0, ERROR_ACCESS_DENIED, TRUE, {refused}, 1},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.why);
        int snapshotsBefore = Fake.snapshots, trimsBefore = Fake.trims;
        Fake.processes[6].openError = c.openError;
        Fake.processes[6].trimError = c.trimError;
        Fake.processes[6].sizeFails = c.sizeFails;
        ClickRow(list, 0);
        ClickRow(list, 6);
        LetHoldRunOut();
        Fake.openedIds.clear();
        Fake.openAccess.clear();
        std::vector<SeenBox> boxes;
        {
            BoxWatcher watcher(dialog);
            Press(IDOK);
            boxes = watcher.Boxes();
        }
        ASSERT_FALSE(Fake.openedIds.empty());
        EXPECT_EQ(Fake.processes[6].id, Fake.openedIds[0]);
        EXPECT_EQ((DWORD)(PROCESS_SET_QUOTA | PROCESS_QUERY_INFORMATION), Fake.openAccess[0]);
        EXPECT_EQ(c.openError || c.trimError ? 0 : 1, Fake.trims - trimsBefore);
        ASSERT_EQ(c.boxes.size(), boxes.size());
        for (size_t i = 0; i < boxes.size(); ++i) {
            EXPECT_EQ(c.boxes[i], boxes[i].text);
            bool error = i == 0 && (c.openError || c.trimError);
            EXPECT_EQ(error ? errorCaption : PROGRAM_CAPTION, boxes[i].caption);
        }
        EXPECT_EQ(c.refreshes, Fake.snapshots - snapshotsBefore);
        EXPECT_EQ(0, OpenFakeHandles());
    }
}

// A tick while the first box is open rebuilds the table under it; the report
// still names the process that was clicked.
TEST_F(TrimTest, ReportUsesTheClickedProcessEvenIfTheTableChangesUnderTheBox) {
    Fake.processes[5].trimError = ERROR_ACCESS_DENIED;
    ClickRow(list, 5);
    LetHoldRunOut();
    BoxWatcher watcher(dialog, [this](int box, const SeenBox &) {
        if (box == 0) {
            Fake.processes.erase(Fake.processes.begin(), Fake.processes.begin() + 5);
            Tick();
        }
    });
    Press(IDOK);

    ASSERT_EQ(2u, watcher.Boxes().size());
    EXPECT_EQ(TrimReport("proc5.exe", 6), watcher.Boxes()[1].text);
    EXPECT_EQ("proc10.exe", CellText(list, 5, 1)) << "the table was rebuilt under the box";
}

// Windows' list finds the row under a press, then runs a loop of its own,
// holding the mouse capture, until the button is released, and only then
// sends NM_CLICK for the row it found: a tick can come in between. This
// stand-in does the same, changing the snapshot inside the press. Wine's
// list sends NM_CLICK after the release, so it never shows this.
struct WindowsPress {
    static WNDPROC original;
    static int dropped;   // processes that end inside the press, from the first
    static bool captured; // whether the list holds the capture meanwhile
    static LRESULT CALLBACK Proc(HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_LBUTTONUP) {
            return 0;
        }
        if (message != WM_LBUTTONDOWN) {
            return CallWindowProcA(original, list, message, wParam, lParam);
        }
        LVHITTESTINFO hit = {};
        hit.pt.x = (short)LOWORD(lParam);
        hit.pt.y = (short)HIWORD(lParam);
        SendMessageA(list, LVM_SUBITEMHITTEST, 0, (LPARAM)&hit);
        if (captured) {
            SetCapture(list);
        }
        Fake.processes.erase(Fake.processes.begin(), Fake.processes.begin() + dropped);
        SendMessageA(GetParent(list), WM_TIMER, ID_REFRESH_TIMER, 0);
        ReleaseCapture();
        NMITEMACTIVATE click = {};
        click.hdr.hwndFrom = list;
        click.hdr.idFrom = IDC_PROCESS_LIST;
        click.hdr.code = NM_CLICK;
        click.iItem = hit.iItem;
        SendMessageA(GetParent(list), WM_NOTIFY, IDC_PROCESS_LIST, (LPARAM)&click);
        return 0;
    }
};
WNDPROC WindowsPress::original;
int WindowsPress::dropped;
bool WindowsPress::captured;

// A tick inside the press leaves the list as it was, so the click names the
// pressed process; where a list lets a rebuild through all the same, a row
// past the table's rows is no row, whatever the block behind it holds.
TEST_F(TrimTest, ATickInsideThePressNeitherMovesNorOutrunsTheClickedRow) {
    struct {
        const char *why;
        int processes, row, dropped;
        bool captured;
        std::string report; // empty: nothing happens
    } cases[] = {
        {"five processes end above the row", 45, 10, 5, true, TrimReport("proc10.exe", 11)},
        {"the list shrinks across a capacity step", 41, 40, 1, true, TrimReport("proc40.exe", 41)},
        {"a rebuild inside the press, past the rows", 41, 40, 1, false, ""},
    };
    WindowsPress::original =
        (WNDPROC)SetWindowLongPtrA(list, GWLP_WNDPROC, (LONG_PTR)WindowsPress::Proc);
    for (auto &c : cases) {
        SCOPED_TRACE(c.why);
        ResetFake();
        AddFakeProcesses(c.processes);
        Tick();
        LetHoldRunOut();
        WindowsPress::dropped = c.dropped;
        WindowsPress::captured = c.captured;
        ClickRow(list, c.row);
        Fake.openedIds.clear();
        BoxWatcher watcher(dialog);
        Press(IDOK);
        std::vector<std::string> boxes;
        for (const SeenBox &box : watcher.Boxes()) {
            boxes.push_back(box.text);
        }
        EXPECT_EQ(c.report.empty() ? std::vector<std::string>()
                                   : std::vector<std::string>{c.report},
                  boxes);
        EXPECT_EQ(c.report.empty(), Fake.openedIds.empty());
    }
}

} // namespace
