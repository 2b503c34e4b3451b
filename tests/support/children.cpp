// Child processes of tests and benchmarks, in a job of their own.
#include "children.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const int START_ATTEMPTS = 5;
const DWORD END_WAIT_MS = 5000;
const int CHILD_TOUCHED_BYTES = 4 << 20;
const DWORD CHILD_LIFETIME_MS = 300000;

} // namespace

HANDLE ChildJob(void) {
    static HANDLE job;
    if (!job) {
        job = CreateJobObjectA(NULL, NULL);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    }
    return job;
}

PROCESS_INFORMATION StartChildProcess(const std::string &commandLine) {
    for (int attempt = 1;; ++attempt) {
        std::string line = commandLine;
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        // Suspended until it is in the job, so nothing it starts escapes.
        if (CreateProcessA(NULL, &line[0], NULL, NULL, FALSE, CREATE_SUSPENDED, NULL, NULL,
                           &startup, &info)) {
            AssignProcessToJobObject(ChildJob(), info.hProcess);
            ResumeThread(info.hThread);
            CloseHandle(info.hThread);
            return info;
        }
        // Wine has answered 1359 (ERROR_INTERNAL_ERROR) on a loaded machine.
        if (attempt == START_ATTEMPTS) {
            return info;
        }
        printf("a child start failed (error %lu); trying again\n", GetLastError());
        fflush(stdout);
        Sleep(200 * attempt);
    }
}

void EndProcess(HANDLE process, DWORD ms) {
    TerminateProcess(process, 0);
    WaitForSingleObject(process, ms);
    CloseHandle(process);
}

std::string QuotedProgramPath(void) {
    char path[MAX_PATH];
    return "\"" + std::string(path, GetModuleFileNameA(NULL, path, sizeof path)) + "\"";
}

Child StartIdleChild(void) {
    char arguments[32];
    snprintf(arguments, sizeof arguments, " child %lu", GetCurrentProcessId());
    PROCESS_INFORMATION info = StartChildProcess(QuotedProgramPath() + arguments);
    return {info.hProcess ? info.dwProcessId : 0, info.hProcess};
}

void EndChild(Child *child) {
    if (child->process) {
        EndProcess(child->process, END_WAIT_MS);
        child->process = NULL;
    }
}

bool RunIdleChild(int argc, char **argv) {
    if (argc != 3 || strcmp(argv[1], "child") != 0) {
        return false;
    }
    char *block = (char *)VirtualAlloc(NULL, CHILD_TOUCHED_BYTES, MEM_COMMIT, PAGE_READWRITE);
    for (int i = 0; block && i < CHILD_TOUCHED_BYTES; i += 4096) {
        block[i] = 1;
    }
    HANDLE parent = OpenProcess(SYNCHRONIZE, FALSE, strtoul(argv[2], NULL, 10));
    WaitForSingleObject(parent ? parent : GetCurrentProcess(), CHILD_LIFETIME_MS);
    return true;
}
