// A program built like Ferrowin (no C runtime, the same stack protector and
// failure routine) whose one function writes past the end of a local buffer:
// it must end with STATUS_STACK_BUFFER_OVERRUN before that function returns.
// The driver starts it and reads its exit code.
#include <windows.h>

#include "app/stack_check.h"

static const char TOO_LONG[] = "far longer than the buffer: over the guard, the frame and beyond";

// Not inlined: the buffer needs a guarded frame of its own. lstrcpyA is
// opaque to the compiler, which therefore cannot see the overrun and warn.
__attribute__((noinline)) static int Overrun(void) {
    char buffer[8];
    lstrcpyA(buffer, TOO_LONG);
    return lstrlenA(buffer);
}

// Reached only when the overrun went unnoticed. The guard is drawn as the
// program draws it, this file having no load configuration.
extern "C" __attribute__((no_stack_protector)) void ProgramEntry(void) {
    InitSecurityCookie();
    ExitProcess((UINT)Overrun());
}
