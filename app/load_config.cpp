// The load configuration directory: the loader reads it before the program's
// first instruction. Its one job here is DependentLoadFlags, which makes
// Windows 10 1607 and later take the static imports (comctl32 among them, the
// one that is not a known DLL) from the system folder only, never from the
// program's own folder; older Windows ignore the field. The linker does not
// point data directory 10 at this structure: the build does that after linking
// (scripts/set-load-config.sh).
#include <windows.h>

#include <stddef.h>

// The layout the platform documents, as far as VolatileMetadataPointer. The
// header at hand stops at SEHandlerCount and calls DependentLoadFlags
// Reserved1; every field after that stays zero (no control-flow guard, no hot
// patching, no enclave).
struct LoadConfiguration {
    IMAGE_LOAD_CONFIG_DIRECTORY Base;
    struct {
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
    } Later;
};
#ifdef _WIN64
static_assert(sizeof(LoadConfiguration) == 0x108, "documented 64-bit size");
static_assert(offsetof(IMAGE_LOAD_CONFIG_DIRECTORY, Reserved1) == 0x4E, "DependentLoadFlags");
// The value the platform documents as the default cookie: a loader that
// finds it there replaces it with a random one.
#define DEFAULT_SECURITY_COOKIE 0x00002B992DDFA232ull
#else
static_assert(sizeof(LoadConfiguration) == 0xA4, "documented 32-bit size");
static_assert(offsetof(IMAGE_LOAD_CONFIG_DIRECTORY, Reserved1) == 0x36, "DependentLoadFlags");
#define DEFAULT_SECURITY_COOKIE 0xBB40E64Eu
#endif

// Nothing in the program reads the cookie (it is built without a stack
// protector); it is here because loaders and scanners expect a load
// configuration to name one, and it must be writable.
static ULONG_PTR SecurityCookie = DEFAULT_SECURITY_COOKIE;

// The name the platform's loader and tools look for; on 32 bits the compiler
// adds the leading underscore of __load_config_used. The Size field holds the
// whole structure; the directory entry's own size is set after linking. Every
// field not named is zero, which is what the platform expects of them.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
extern "C" const LoadConfiguration _load_config_used = {
    .Base = {.Size = sizeof(LoadConfiguration),
             .Reserved1 = LOAD_LIBRARY_SEARCH_SYSTEM32,
             .SecurityCookie = (ULONG_PTR)&SecurityCookie},
};
