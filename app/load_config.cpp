// The load configuration directory: the loader reads it before the program's
// first instruction. It does two jobs here. DependentLoadFlags makes Windows
// 10 1607 and later take the static imports (comctl32 among them, the one that
// is not a known DLL) from the system folder only, never from the program's
// own folder; older Windows ignore the field. SecurityCookie names the stack
// protector's guard, which Vista and later fill with a random value before
// the entry point runs. The linker does not point data directory 10 at this
// structure: the build does that after linking (scripts/set-load-config.sh).
#include <windows.h>

#include <stddef.h>

#include "app/stack_check.h"

// The layout the platform documents, as far as VolatileMetadataPointer,
// declared here in full: MinGW-w64's header has only the fields up to
// SEHandlerCount, and newer ones have all of them, so this file depends on
// neither. The 32-bit layout puts ProcessHeapFlags before the affinity mask,
// the 64-bit one after it. Every field after SecurityCookie stays zero (no
// SEH table: the image has no handlers; no control-flow guard, no hot
// patching, no enclave).
struct LoadConfigDirectory {
    DWORD Size;
    DWORD TimeDateStamp;
    WORD MajorVersion;
    WORD MinorVersion;
    DWORD GlobalFlagsClear;
    DWORD GlobalFlagsSet;
    DWORD CriticalSectionDefaultTimeout;
    ULONG_PTR DeCommitFreeBlockThreshold;
    ULONG_PTR DeCommitTotalFreeThreshold;
    ULONG_PTR LockPrefixTable;
    ULONG_PTR MaximumAllocationSize;
    ULONG_PTR VirtualMemoryThreshold;
#ifdef _WIN64
    ULONG_PTR ProcessAffinityMask;
    DWORD ProcessHeapFlags;
#else
    DWORD ProcessHeapFlags;
    ULONG_PTR ProcessAffinityMask;
#endif
    WORD CSDVersion;
    WORD DependentLoadFlags;
    ULONG_PTR EditList;
    ULONG_PTR SecurityCookie;
    ULONG_PTR SEHandlerTable;
    ULONG_PTR SEHandlerCount;
    ULONG_PTR GuardCFCheckFunctionPointer;
    ULONG_PTR GuardCFDispatchFunctionPointer;
    ULONG_PTR GuardCFFunctionTable;
    ULONG_PTR GuardCFFunctionCount;
    DWORD GuardFlags;
    WORD CodeIntegrityFlags;
    WORD CodeIntegrityCatalog;
    DWORD CodeIntegrityCatalogOffset;
    DWORD CodeIntegrityReserved;
    ULONG_PTR GuardAddressTakenIatEntryTable;
    ULONG_PTR GuardAddressTakenIatEntryCount;
    ULONG_PTR GuardLongJumpTargetTable;
    ULONG_PTR GuardLongJumpTargetCount;
    ULONG_PTR DynamicValueRelocTable;
    ULONG_PTR CHPEMetadataPointer;
    ULONG_PTR GuardRFFailureRoutine;
    ULONG_PTR GuardRFFailureRoutineFunctionPointer;
    DWORD DynamicValueRelocTableOffset;
    WORD DynamicValueRelocTableSection;
    WORD Reserved2;
    ULONG_PTR GuardRFVerifyStackPointerFunctionPointer;
    DWORD HotPatchTableOffset;
    DWORD Reserved3;
    ULONG_PTR EnclaveConfigurationPointer;
    ULONG_PTR VolatileMetadataPointer;
};
#ifdef _WIN64
static_assert(sizeof(LoadConfigDirectory) == 0x108, "documented 64-bit size");
static_assert(offsetof(LoadConfigDirectory, DependentLoadFlags) == 0x4E, "DependentLoadFlags");
static_assert(offsetof(LoadConfigDirectory, SecurityCookie) == 0x58, "SecurityCookie");
#else
static_assert(sizeof(LoadConfigDirectory) == 0xA4, "documented 32-bit size");
static_assert(offsetof(LoadConfigDirectory, DependentLoadFlags) == 0x36, "DependentLoadFlags");
static_assert(offsetof(LoadConfigDirectory, SecurityCookie) == 0x3C, "SecurityCookie");
#endif

// The name the platform's loader and tools look for; on 32 bits the compiler
// adds the leading underscore of __load_config_used. The Size field holds the
// whole structure; the directory entry's own size is set after linking. Every
// field not named is zero, which is what the platform expects of them.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
extern "C" const LoadConfigDirectory _load_config_used = {
    .Size = sizeof(LoadConfigDirectory),
    .DependentLoadFlags = LOAD_LIBRARY_SEARCH_SYSTEM32,
    .SecurityCookie = (ULONG_PTR)&__stack_chk_guard,
};
