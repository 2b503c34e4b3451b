// Holds Wine's desktop open while tests run. Wine starts its desktop process
// with the first window of a prefix's session and waits 10 s for it; a
// process whose wait ran out has no display driver for the rest of its life,
// so every window it makes fails. Under emulation that start can take longer.
// Exits with 1 when no window could be made (the next start finds the
// desktop further on); otherwise writes "ready" and stays, which keeps the
// desktop up between the tests until the prefix's Wine processes are ended.
#include <windows.h>

int main(void) {
    HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, NULL, NULL,
                                  GetModuleHandleA(NULL), NULL);
    if (!window) {
        return 1;
    }
    DWORD written;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "ready\n", 6, &written, NULL);
    // Pumped, so that nothing sent to every window waits on this one.
    MSG message;
    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        DispatchMessageA(&message);
    }
    return 0;
}
