// The program's own process operations with faults a test can switch on.
#pragma once

#include "table/process_ops.h"
#include "table/table.h"

struct FaultPlan {
    HANDLE endAfterSnapshot; // ended once the next snapshot has been taken
    DWORD failingQueries;    // process whose limits and size queries fail
};

extern FaultPlan Faults;

// GetProcessMemoryInfo, failing for Faults.failingQueries.
BOOL WINAPI FaultyProcessMemoryInfo(HANDLE process, PPROCESS_MEMORY_COUNTERS counters, DWORD cb);
