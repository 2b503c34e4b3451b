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

std::string SystemText(DWORD error) {
    char text[512] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, error, 0, text,
                   sizeof text, NULL);
    return text;
}

TEST(TrimTexts, ReportFitsANinetyEightCharacterName) {
    std::string name(98, 'q');
    char text[MESSAGE_TEXT_BYTES];
    ComposeTrimReport(text, name.c_str(), 2047);
    EXPECT_EQ(TrimReport(name, 2047), text);
}

// The text ends by byte 254 and its zero: byte 255 of the buffer is never
// written.
TEST(TrimTexts, ErrorTextIsThePrefixThenTheSystemTextWithinByte255) {
    std::string invalid = SystemText(ERROR_INVALID_PARAMETER);
    ASSERT_FALSE(invalid.empty());
    const int fits = 254 - (int)invalid.size(); // a prefix after which the text just fits
    struct {
        std::string prefix;
        DWORD error;
    } cases[] = {{OPEN_FAILED, ERROR_INVALID_PARAMETER}, {TRIM_FAILED, ERROR_ACCESS_DENIED}};
    for (auto c : cases) {
        SCOPED_TRACE(c.prefix);
        char text[512];
        FillMemory(text, sizeof text, '#');
        ComposeSystemErrorText(text, c.prefix.c_str(), c.error);
        EXPECT_EQ(c.prefix + SystemText(c.error), std::string(text));
        EXPECT_EQ(std::string(257, '#'), std::string(text + 255, 257));
    }

    // The text just fits, then needs one byte more than there is: cut or left
    // out, as with any prefix that leaves too little room.
    for (int length : {fits, fits + 1, 200, 240, 254}) {
        SCOPED_TRACE(length);
        std::string prefix(length, 'p');
        char text[512];
        FillMemory(text, sizeof text, '#');
        ComposeSystemErrorText(text, prefix.c_str(), ERROR_INVALID_PARAMETER);
        EXPECT_EQ(std::string(257, '#'), std::string(text + 255, 257));
        EXPECT_EQ(0, std::string(text).compare(0, length, prefix));
        if (length == fits) {
            EXPECT_EQ(prefix + invalid, std::string(text));
        }
    }
}

TEST(TrimTexts, SystemTextWithAnInsertIsShownAsItStands) {
    DWORD withInsert = 0;
    for (DWORD error = 1; error < 16000 && !withInsert; ++error) {
        if (SystemText(error).find("%1") != std::string::npos) {
            withInsert = error;
        }
    }
    if (!withInsert) {
        GTEST_SKIP() << "this system has no error text with an insert";
    }
    char text[MESSAGE_TEXT_BYTES] = "";
    ComposeSystemErrorText(text, OPEN_FAILED.c_str(), withInsert);
    EXPECT_EQ(OPEN_FAILED + SystemText(withInsert), std::string(text)) << withInsert;
    EXPECT_NE(std::string::npos, std::string(text).find("%1"));
}

TEST(TrimTexts, MemoryReportGivesAfterBeforeAndSignedDifferencesInPages) {
    const ULONGLONG GB = 1ull << 30;
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

TEST_F(TrimTest, TrimAllVisitsEveryTableSlot) {
    Fake.processes[3].openError = ERROR_ACCESS_DENIED;
    Fake.processes[4].trimError = ERROR_ACCESS_DENIED;
    TrimEveryTableSlot();

    ASSERT_EQ(80u, Fake.openedIds.size());
    int zero = 0;
    for (size_t i = 0; i < 80; ++i) {
        EXPECT_EQ(i < 45 ? Fake.processes[i].id : 0, Fake.openedIds[i]) << "slot " << i;
        EXPECT_EQ((DWORD)PROCESS_SET_QUOTA, Fake.openAccess[i]);
        zero += Fake.openedIds[i] == 0;
    }
    EXPECT_EQ(35, zero);
    EXPECT_EQ(43, Fake.trims) << "one cannot be opened, one cannot be trimmed";
    EXPECT_EQ(0, OpenFakeHandles());
}

TEST_F(TrimTest, TrimAllReportsWhateverTheTrimsDid) {
    const ULONGLONG GB = 1ull << 30;
    Fake.memory[0] = {5 * GB, 7 * GB};
    Fake.memory[1] = {5 * GB + 4096, 7 * GB - 8192};
    for (FakeProcess &p : Fake.processes) {
        p.trimError = ERROR_ACCESS_DENIED;
    }
    BoxWatcher watcher(dialog);
    Press(IDC_TRIM_ALL);

    const int shown[6] = {1310721, 1310720, 1, 1835006, 1835008, -2};
    ASSERT_EQ(1u, watcher.Boxes().size());
    EXPECT_EQ(PROGRAM_CAPTION, watcher.Boxes()[0].caption);
    EXPECT_EQ(MemoryReport(shown), watcher.Boxes()[0].text);
    EXPECT_EQ(1, Fake.snapshots) << "trim all sends no refresh tick";
}

TEST_F(TrimTest, NoHeldRowMeansNoTrimAndNoBox) {
    BoxWatcher watcher(dialog);
    Press(IDOK);
    EXPECT_TRUE(Fake.openedIds.empty());
    EXPECT_TRUE(watcher.Boxes().empty());
}

TEST_F(TrimTest, TrimReportsTheNewSizeAndSendsARefreshTick) {
    ClickRow(list, 0);
    ClickRow(list, 2);
    LetHoldRunOut();
    BoxWatcher watcher(dialog);
    Press(IDOK);

    ASSERT_FALSE(Fake.openedIds.empty());
    EXPECT_EQ(Fake.processes[2].id, Fake.openedIds[0]);
    EXPECT_EQ((DWORD)(PROCESS_SET_QUOTA | PROCESS_QUERY_INFORMATION), Fake.openAccess[0]);
    EXPECT_EQ(1, Fake.trims);
    ASSERT_EQ(1u, watcher.Boxes().size());
    EXPECT_EQ(PROGRAM_CAPTION, watcher.Boxes()[0].caption);
    EXPECT_EQ(TrimReport("proc2.exe", 3), watcher.Boxes()[0].text) << "the row clicked last";
    EXPECT_EQ(2, Fake.snapshots) << "the trim is followed by a refresh tick";
    EXPECT_EQ(0, OpenFakeHandles());
}

TEST_F(TrimTest, EachFailureShowsWhatTheUserShouldSee) {
    struct {
        const char *why;
        DWORD openError, trimError;
        BOOL sizeFails;
        std::vector<std::string> boxes;
        int refreshes;
    } cases[] = {
        {"process ended",
         ERROR_INVALID_PARAMETER,
         0,
         FALSE,
         {OPEN_FAILED + SystemText(ERROR_INVALID_PARAMETER)},
         0},
        {"trim refused",
         0,
         ERROR_ACCESS_DENIED,
         FALSE,
         {TRIM_FAILED + SystemText(ERROR_ACCESS_DENIED), TrimReport("proc6.exe", 7)},
         1},
        {"size query fails", 0, 0, TRUE, {}, 1},
        {"trim refused and size query fails",
         0,
         ERROR_ACCESS_DENIED,
         TRUE,
         {TRIM_FAILED + SystemText(ERROR_ACCESS_DENIED)},
         1},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.why);
        int snapshotsBefore = Fake.snapshots;
        Fake.processes[6].openError = c.openError;
        Fake.processes[6].trimError = c.trimError;
        Fake.processes[6].sizeFails = c.sizeFails;
        ClickRow(list, 6);
        LetHoldRunOut();
        std::vector<SeenBox> boxes;
        {
            BoxWatcher watcher(dialog);
            Press(IDOK);
            boxes = watcher.Boxes();
        }
        ASSERT_EQ(c.boxes.size(), boxes.size());
        for (size_t i = 0; i < boxes.size(); ++i) {
            EXPECT_EQ(c.boxes[i], boxes[i].text);
            bool error = i == 0 && (c.openError || c.trimError);
            EXPECT_EQ(error ? DefaultErrorCaption(2000) : PROGRAM_CAPTION, boxes[i].caption)
                << "errors keep the platform's default caption";
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
    HWND target = dialog;
    BoxWatcher watcher(dialog, [target](int box, const SeenBox &) {
        if (box == 0) {
            Fake.processes.erase(Fake.processes.begin(), Fake.processes.begin() + 5);
            SendMessageA(target, WM_TIMER, ID_REFRESH_TIMER, 0);
        }
    });
    Press(IDOK);

    ASSERT_EQ(2u, watcher.Boxes().size());
    EXPECT_EQ(TrimReport("proc5.exe", 6), watcher.Boxes()[1].text);
    EXPECT_EQ("proc10.exe", CellText(list, 5, 1)) << "the table was rebuilt under the box";
}

} // namespace
