// Scripted stand-in for the process operations: a snapshot built from data,
// chosen failures, and counters that show every handle opened was closed.
#pragma once

#include "table/process_ops.h"
#include "table/table.h"

#include <string>
#include <vector>

struct FakeProcess {
    DWORD id;
    std::string name;
    SIZE_T minimumBytes, maximumBytes, workingSetBytes;
    DWORD openError; // nonzero: opening fails with this error
    BOOL limitsFail; // GetProcessWorkingSetSize fails, outputs untouched
    BOOL sizeFails;  // GetProcessMemoryInfo fails
    DWORD trimError; // nonzero: the trim fails with this error
};

struct FakeSystem {
    std::vector<FakeProcess> processes;
    BOOL snapshotFails, firstEntryFails;
    // Called at each open, before it is answered, so a test can act while the
    // refresh rebuilds the list with its redraw off (the list is damaged).
    void (*onOpen)(DWORD processId);
    MemoryFigures memory[2]; // successive reads: before, after
    int memoryReads;

    int snapshots, opens, closes, trims;
    std::vector<DWORD> openedIds, openAccess; // at each open, in order
};

extern FakeSystem Fake;

// Clears the script and the counters and points ProcessMemoryInfoEntry at the
// stand-in.
void ResetFake(void);

// n processes with identifiers 100, 104, ... and names "proc0.exe", ...
void AddFakeProcesses(int n);

// Handles opened and not yet closed, snapshots included.
int OpenFakeHandles(void);
