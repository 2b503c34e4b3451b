// Start-up: the entry point and the debug privilege.
#pragma once

#include <windows.h>

// The executable's entry point; no runtime start-up runs before it. Returns
// the process's exit code.
extern "C" int ProgramEntry(void);

// Enables SeDebugPrivilege in the process's token where the user holds it;
// reports nothing.
void EnableDebugPrivilege(void);
