// A comctl32.dll planted beside a copy of the program: it registers no list
// view, so the dialog cannot be made, and it keeps a thread of its own alive,
// as the platform's loader keeps worker threads. The program must end anyway.
// Wine 8 loads it because it ignores the program's DependentLoadFlags; on
// Windows 10 1607 and later that flag (LOAD_LIBRARY_SEARCH_SYSTEM32) keeps
// this DLL out and the program takes the system's comctl32.dll.
#include <windows.h>

static DWORD WINAPI Linger(LPVOID) {
    Sleep(INFINITE);
    return 0;
}

// Exported as ordinal 17, the only import the program takes from comctl32.
extern "C" void InitCommonControls(void) {}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        CloseHandle(CreateThread(NULL, 0, Linger, NULL, 0, NULL));
    }
    return TRUE;
}
