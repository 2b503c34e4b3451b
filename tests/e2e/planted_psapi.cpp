// A psapi.dll without GetProcessMemoryInfo, planted beside a copy of the
// program: the program must load the system's own.
#include <windows.h>

extern "C" __declspec(dllexport) void Planted(void) {}
