// Child processes of tests and benchmarks, all in one job that ends them when
// its last handle closes: when the program ends, crashes or is killed. Also
// the process snapshot they are looked for in.
#pragma once

#include <windows.h>
#include <tlhelp32.h>

#include <string>

HANDLE ChildJob(void);

// Starts the command line in the job, trying again a few times when the start
// fails, as it can on a loaded machine, and saying so. The thread handle is
// closed; the process handle is NULL when every attempt failed (GetLastError
// tells why).
PROCESS_INFORMATION StartChildProcess(const std::string &commandLine);

// Ends the process if it still runs, waits up to `ms` for it, and closes the
// handle.
void EndProcess(HANDLE process, DWORD ms);

std::string QuotedProgramPath(void);

// An idle copy of this program ("PROGRAM child PARENT-ID"): it touches some
// memory, then waits until it is ended, or until its parent is gone at the
// latest. RunIdleChild is that copy's whole work when the command line asks
// for it; it returns false otherwise.
struct Child {
    DWORD id;
    HANDLE process; // NULL when it did not start
};
Child StartIdleChild(void);
void EndChild(Child *child);
bool RunIdleChild(int argc, char **argv);

template <typename Visit> void WalkSnapshot(Visit visit) {
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    for (BOOL more = Process32First(snapshot, &entry); more;
         more = Process32Next(snapshot, &entry)) {
        visit(entry);
    }
    CloseHandle(snapshot);
}

// The modules of a process, the executable first; visit returns false to stop.
template <typename Visit> void WalkModules(DWORD processId, Visit visit) {
    MODULEENTRY32 module = {};
    module.dwSize = sizeof module;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId);
    for (BOOL more = Module32First(snapshot, &module); more && visit(module);
         more = Module32Next(snapshot, &module)) {
    }
    CloseHandle(snapshot);
}
