// Start-up: the entry point and the debug privilege.
#pragma once

#include <windows.h>

// The executable's entry point; no runtime start-up runs before it. It ends
// the process itself: with no runtime, returning would end only this thread.
extern "C" void ProgramEntry(void);

// Enables SeDebugPrivilege in the process's token where the user holds it;
// reports nothing.
void EnableDebugPrivilege(void);
