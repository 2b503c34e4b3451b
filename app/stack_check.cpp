// The stack protector's guard and what happens when a frame finds it broken.
#include "app/stack_check.h"

#ifdef _WIN64
#define DEFAULT_SECURITY_COOKIE 0x00002B992DDFA232ull
#else
#define DEFAULT_SECURITY_COOKIE 0xBB40E64Eu
#endif

ULONG_PTR __stack_chk_guard = DEFAULT_SECURITY_COOKIE;

extern "C" __attribute__((no_stack_protector)) void InitSecurityCookie(void) {
    if (__stack_chk_guard != DEFAULT_SECURITY_COOKIE) {
        return;
    }
    FILETIME time;
    GetSystemTimeAsFileTime(&time);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    ULONG_PTR cookie = (ULONG_PTR)counter.QuadPart ^ GetCurrentProcessId() ^ (ULONG_PTR)&time;
#ifdef _WIN64
    cookie ^= (ULONG_PTR)time.dwHighDateTime << 32 | time.dwLowDateTime;
    cookie ^= (ULONG_PTR)counter.LowPart << 32;
#else
    cookie ^= time.dwHighDateTime ^ time.dwLowDateTime ^ counter.HighPart;
#endif
    // Neither the default again nor zero, which zero bytes written over it match.
    __stack_chk_guard =
        cookie && cookie != DEFAULT_SECURITY_COOKIE ? cookie : ~DEFAULT_SECURITY_COOKIE;
}

// The stack is not to be trusted here: nothing more of the program may run,
// no message box, no exit routine. On x86-64 the fast-fail interrupt (Windows
// 8 and later) ends the process in the kernel without running any exception
// handler; where the platform lacks it, the interrupt would be an access
// violation that handlers see, so the older systems get TerminateProcess. The
// 32-bit build always does: Wine's 32-bit side reports the interrupt as
// present, then faults on it and leaves the process waiting in its debugger.
// Not protected itself: a broken guard would bring it back here.
extern "C" __attribute__((noreturn, no_stack_protector)) void __stack_chk_fail(void) {
#ifdef _WIN64
    if (IsProcessorFeaturePresent(PF_FASTFAIL_AVAILABLE)) {
        __asm__ volatile("int $0x29" : : "c"(FAST_FAIL_STACK_COOKIE_CHECK_FAILURE) : "memory");
    }
#endif
    for (;;) {
        TerminateProcess(GetCurrentProcess(), STATUS_STACK_BUFFER_OVERRUN);
    }
}
