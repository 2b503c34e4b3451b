// Child processes of tests and benchmarks, all in one job that ends them when
// its last handle closes: when the program ends, crashes or is killed.
#pragma once

#include <windows.h>

#include <string>

HANDLE ChildJob(void);

// Starts the command line in the job. The thread handle is closed; the
// process handle is NULL when the start failed (GetLastError tells why).
PROCESS_INFORMATION StartChildProcess(const std::string &commandLine);

// This program's own path, quoted for a command line.
std::string QuotedProgramPath(void);
