// The texts a user reads in the program's windows, written out as the user
// sees them, for the unit tests and the end-to-end driver alike.
#pragma once

#include <cstdio>
#include <string>

const char PROGRAM_CAPTION[] = "Ferrowin";

// Lines 3 and 4 in windows-1251, the program's 8-bit code page under test.
const char ABOUT_TEXT[] =
    "Ferrowin v1.0\n"
    "Ferrowin project, 2026\n"
    "\xcf\xf0\xee\xe3\xf0\xe0\xec\xec\xe0 \xe4\xe5\xec\xee\xed\xf1\xf2\xf0\xe8\xf0\xf3\xe5\xf2 "
    "\xf3\xf1\xe5\xf7\xe5\xed\xe8\xe5 \xf0\xe0\xe1\xee\xf7\xe8\xf5 "
    "\xed\xe0\xe1\xee\xf0\xee\xe2 \xe8\xe7 "
    "\xef\xee\xeb\xfc\xe7\xee\xe2\xe0\xf2\xe5\xeb\xfc\xf1\xea\xee\xe3\xee "
    "\xf0\xe5\xe6\xe8\xec\xe0. \n"
    "\xcf\xf0\xe8\xeb\xee\xe6\xe5\xed\xe8\xe5 \xea \xf1\xf2\xe0\xf2\xfc\xe5 \xee\xe1 "
    "\xf3\xef\xf0\xe0\xe2\xeb\xe5\xed\xe8\xe8 \xef\xe0\xec\xff\xf2\xfc\xfe.";

// Lines 3 and 4 as a user reads them where the 8-bit code page is 1251.
const wchar_t ABOUT_RUSSIAN_LINES[] =
    L"\n\u041f\u0440\u043e\u0433\u0440\u0430\u043c\u043c\u0430 "
    L"\u0434\u0435\u043c\u043e\u043d\u0441\u0442\u0440\u0438\u0440\u0443\u0435\u0442 "
    L"\u0443\u0441\u0435\u0447\u0435\u043d\u0438\u0435 \u0440\u0430\u0431\u043e\u0447\u0438\u0445 "
    L"\u043d\u0430\u0431\u043e\u0440\u043e\u0432 \u0438\u0437 "
    L"\u043f\u043e\u043b\u044c\u0437\u043e\u0432\u0430\u0442\u0435\u043b\u044c\u0441\u043a\u043e"
    L"\u0433\u043e "
    L"\u0440\u0435\u0436\u0438\u043c\u0430. \n"
    L"\u041f\u0440\u0438\u043b\u043e\u0436\u0435\u043d\u0438\u0435 \u043a "
    L"\u0441\u0442\u0430\u0442\u044c\u0435 \u043e\u0431 "
    L"\u0443\u043f\u0440\u0430\u0432\u043b\u0435\u043d\u0438\u0438 "
    L"\u043f\u0430\u043c\u044f\u0442\u044c\u044e.";

// The list's columns, left to right; the first two are aligned left, the
// figures right.
const char *const COLUMN_TITLES[] = {"PID", "ImageName", "MinWorkingSetSize", "WorkingSetSize",
                                     "MaxWorkingSetSize"};

// An error box's text is one of these, then the system's text for the error.
const char OPEN_FAILED_TEXT[] = "Opening process failed because of the following error: ";
const char TRIM_FAILED_TEXT[] = "Trimming working set failed because of the following error: ";

// The program's only texts when psapi.dll, or its function, is missing.
const char NO_PSAPI_TEXT[] = "Cannot load psapi.dll";
const char NO_MEMORY_INFO_TEXT[] = "Cannot find GetProcessMemoryInfo in psapi.dll";

// The report of one trim: the name, then the pages in the middle.
const char TRIM_REPORT_HEAD[] = "Working set size of process ";
const char TRIM_REPORT_MIDDLE[] = " was trimmed to ";
const char TRIM_REPORT_TAIL[] = " pages\n";
const char MEMORY_REPORT_FORMAT[] = "All working sets trimmed.\n\t\tAFTER\tBEFORE\tDIFFERENCE\n"
                                    "PhysPages :\t%d\t%d\t%d\nPageFilePages :\t%d\t%d\t%d\n";

inline std::string TrimReport(const std::string &name, long pages) {
    return TRIM_REPORT_HEAD + name + TRIM_REPORT_MIDDLE + std::to_string(pages) + TRIM_REPORT_TAIL;
}

// The figures in MEMORY_REPORT_FORMAT's order: after, before and difference,
// physical pages first, then page-file pages.
inline std::string MemoryReport(const int figures[6]) {
    char text[512];
    snprintf(text, sizeof text, MEMORY_REPORT_FORMAT, figures[0], figures[1], figures[2],
             figures[3], figures[4], figures[5]);
    return text;
}
