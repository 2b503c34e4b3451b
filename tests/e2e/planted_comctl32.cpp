// A comctl32.dll that registers no list view, so the dialog cannot be made,
// and keeps a thread of its own alive, as the platform's loader keeps worker
// threads. Beside a copy of the program it must not be loaded: the program
// takes comctl32 from the system folder. In the system folder, the program
// must end anyway.
#include <windows.h>

static DWORD WINAPI Linger(LPVOID) {
    Sleep(INFINITE);
    return 0;
}

// Exported as ordinal 17, the only entry the program asks comctl32 for.
extern "C" void InitCommonControls(void) {}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        CloseHandle(CreateThread(NULL, 0, Linger, NULL, 0, NULL));
    }
    return TRUE;
}
