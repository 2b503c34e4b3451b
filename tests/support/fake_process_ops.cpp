// Scripted stand-in linked in place of the real process operations.
#include "fake_process_ops.h"

#include <unordered_map>

FakeSystem Fake;

namespace {

// Handles are small tagged numbers, never real handles, so a stray
// CloseHandle on one would fail loudly rather than close something real.
const UINT_PTR SNAPSHOT_HANDLE = 0x5000;
const UINT_PTR PROCESS_HANDLE_BASE = 0x10000;

size_t cursor;

// Identifier to position, as the list stood at the last snapshot, so that a
// refresh of thousands of processes is not quadratic. A test may change the
// list at any time, so a position is only a hint: it is checked against the
// list on every use, and a miss falls back to the scan for the first match.
std::unordered_map<DWORD, size_t> indexOfId;

FakeProcess *FindProcess(DWORD id) {
    auto hint = indexOfId.find(id);
    if (hint != indexOfId.end() && hint->second < Fake.processes.size() &&
        Fake.processes[hint->second].id == id) {
        return &Fake.processes[hint->second];
    }
    for (FakeProcess &p : Fake.processes) {
        if (p.id == id) {
            return &p;
        }
    }
    return nullptr;
}

// A process handle carries the identifier, so it still names its process
// when a test changes the process list while the handle is open.
FakeProcess *ProcessOfHandle(HANDLE handle) {
    UINT_PTR value = (UINT_PTR)handle;
    return value < PROCESS_HANDLE_BASE ? nullptr : FindProcess((value - PROCESS_HANDLE_BASE) / 4);
}

BOOL WINAPI FakeProcessMemoryInfo(HANDLE process, PPROCESS_MEMORY_COUNTERS counters, DWORD cb) {
    FakeProcess *p = ProcessOfHandle(process);
    if (!p || cb != sizeof *counters || counters->cb != cb || p->sizeFails) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    counters->WorkingSetSize = p->workingSetBytes;
    return TRUE;
}

} // namespace

void ResetFake(void) {
    Fake = FakeSystem();
    indexOfId.clear();
    ProcessMemoryInfoEntry = FakeProcessMemoryInfo;
}

void AddFakeProcesses(int n) {
    for (int i = 0; i < n; ++i) {
        FakeProcess p = {};
        p.id = 100 + 4 * (DWORD)Fake.processes.size();
        p.name = "proc" + std::to_string(Fake.processes.size()) + ".exe";
        p.minimumBytes = 200 * 4096;
        p.maximumBytes = 1380 * 4096;
        p.workingSetBytes = (Fake.processes.size() + 1) * 4096;
        Fake.processes.push_back(p);
    }
}

int OpenFakeHandles(void) {
    return Fake.snapshots + Fake.opens - Fake.closes;
}

HANDLE TakeProcessSnapshot(void) {
    if (Fake.snapshotFails) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    ++Fake.snapshots;
    indexOfId.clear();
    for (size_t i = Fake.processes.size(); i-- > 0;) {
        indexOfId[Fake.processes[i].id] = i; // the first of equal identifiers wins
    }
    return (HANDLE)SNAPSHOT_HANDLE;
}

BOOL ReadFirstProcess(HANDLE snapshot, PROCESSENTRY32 *entry) {
    cursor = Fake.firstEntryFails ? Fake.processes.size() : 0;
    return ReadNextProcess(snapshot, entry);
}

BOOL ReadNextProcess(HANDLE snapshot, PROCESSENTRY32 *entry) {
    if (snapshot != (HANDLE)SNAPSHOT_HANDLE || entry->dwSize != sizeof *entry ||
        cursor >= Fake.processes.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    const FakeProcess &p = Fake.processes[cursor++];
    entry->th32ProcessID = p.id;
    // A name of 260 characters fills the field with no terminator.
    size_t n = p.name.copy(entry->szExeFile, MAX_PATH);
    if (n < MAX_PATH) {
        entry->szExeFile[n] = 0;
    }
    return TRUE;
}

HANDLE OpenProcessHandle(DWORD access, DWORD processId) {
    if (Fake.onOpen) {
        Fake.onOpen(processId);
    }
    Fake.openedIds.push_back(processId);
    Fake.openAccess.push_back(access);
    const FakeProcess *p = processId != 0 ? FindProcess(processId) : nullptr;
    DWORD error = p ? p->openError : ERROR_INVALID_PARAMETER;
    if (error) {
        SetLastError(error);
        return NULL;
    }
    ++Fake.opens;
    return (HANDLE)(PROCESS_HANDLE_BASE + 4 * (UINT_PTR)processId);
}

BOOL ReadWorkingSetLimits(HANDLE process, SIZE_T *minimum, SIZE_T *maximum) {
    FakeProcess *p = ProcessOfHandle(process);
    if (!p || p->limitsFail) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    *minimum = p->minimumBytes;
    *maximum = p->maximumBytes;
    return TRUE;
}

BOOL TrimWorkingSet(HANDLE process) {
    FakeProcess *p = ProcessOfHandle(process);
    if (!p || p->trimError) {
        SetLastError(p ? p->trimError : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    ++Fake.trims;
    return TRUE;
}

BOOL CloseProcessHandle(HANDLE handle) {
    if (handle != (HANDLE)SNAPSHOT_HANDLE && !ProcessOfHandle(handle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    ++Fake.closes;
    return TRUE;
}

void ReadMemoryFigures(MemoryFigures *figures) {
    *figures = Fake.memory[Fake.memoryReads++ % 2];
}
