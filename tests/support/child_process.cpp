// Child processes of tests and benchmarks, in a job of their own.
#include "child_process.h"

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
    std::string line = commandLine;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    // Suspended until it is in the job, so nothing it starts escapes.
    if (CreateProcessA(NULL, &line[0], NULL, NULL, FALSE, CREATE_SUSPENDED, NULL, NULL, &startup,
                       &info)) {
        AssignProcessToJobObject(ChildJob(), info.hProcess);
        ResumeThread(info.hThread);
        CloseHandle(info.hThread);
    }
    return info;
}

std::string QuotedProgramPath(void) {
    char path[MAX_PATH];
    return "\"" + std::string(path, GetModuleFileNameA(NULL, path, sizeof path)) + "\"";
}
