// The stack protector's guard and failure routine, which GCC's
// -fstack-protector code calls by these names.
#pragma once

#include <windows.h>

// What protected frames copy on entry and compare before returning. It starts
// as the value the platform documents as the default security cookie: the
// load configuration names this variable, and Vista's loader and later ones
// replace the default with a random value before the entry point runs.
extern "C" ULONG_PTR __stack_chk_guard;

// Replaces a guard still at the default (XP's loader leaves it so) with one
// drawn from the clock, the performance counter, the process identifier and
// the stack's address; a guard the loader made random stays. Must run before
// any protected frame is set up, as that frame would then fail its check.
extern "C" __attribute__((no_stack_protector)) void InitSecurityCookie(void);

// Called when a protected frame finds its copy of the guard overwritten: ends
// the process at once with STATUS_STACK_BUFFER_OVERRUN.
extern "C" __attribute__((noreturn)) void __stack_chk_fail(void);
