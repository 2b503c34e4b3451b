// The stack protector's guard and failure routine, which GCC's
// -fstack-protector code calls by these names.
#pragma once

#include <windows.h>

// What protected frames copy on entry and compare before returning. It starts
// as the value the platform documents as the default security cookie: the
// load configuration names this variable, and a loader that finds the
// default there replaces it with a random value before the entry point runs.
extern "C" ULONG_PTR __stack_chk_guard;

// Called when a protected frame finds its copy of the guard overwritten: ends
// the process at once with STATUS_STACK_BUFFER_OVERRUN.
extern "C" __attribute__((noreturn)) void __stack_chk_fail(void);
