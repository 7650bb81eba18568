#include "decoder/child_limits.h"

#include <cstdio>
#include <sys/resource.h>

#if defined(__SANITIZE_ADDRESS__)
#define VORN_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VORN_SANITIZED 1
#endif
#endif

#ifdef VORN_SANITIZED
// A failed allocation gives a null pointer, as it does in the normal build,
// so that a child out of memory reports it instead of dying. Every program
// that confines a child links this unit.
extern "C" const char *__asan_default_options() {
    return "allocator_may_return_null=1";
}

// Sanitized builds reserve terabytes of address space for their runtime, so
// the limit there is on data beyond what the process already holds.
static long DataBytesInUse() {
    FILE *status = fopen("/proc/self/status", "r");
    if (!status) {
        return -1;
    }
    char line[256];
    long kib = -1;
    while (fgets(line, sizeof line, status)) {
        if (sscanf(line, "VmData: %ld kB", &kib) == 1) {
            break;
        }
    }
    fclose(status);
    return kib < 0 ? -1 : kib * 1024;
}
#endif

int SetChildLimits(long cpuSeconds, long long memoryBytes) {
    const struct rlimit noCore = {0, 0};
    const struct rlimit cpu = {static_cast<rlim_t>(cpuSeconds),
                               static_cast<rlim_t>(cpuSeconds) + 1};
    const struct rlimit noFileWrites = {0, 0};
    if (setrlimit(RLIMIT_CORE, &noCore) != 0 || setrlimit(RLIMIT_CPU, &cpu) != 0 ||
        setrlimit(RLIMIT_FSIZE, &noFileWrites) != 0) {
        return -1;
    }
#ifdef VORN_SANITIZED
    const long inUse = DataBytesInUse();
    if (inUse < 0) {
        return -1;
    }
    const struct rlimit data = {static_cast<rlim_t>(inUse) + static_cast<rlim_t>(memoryBytes),
                                static_cast<rlim_t>(inUse) + static_cast<rlim_t>(memoryBytes)};
    return setrlimit(RLIMIT_DATA, &data);
#else
    const struct rlimit space = {static_cast<rlim_t>(memoryBytes),
                                 static_cast<rlim_t>(memoryBytes)};
    return setrlimit(RLIMIT_AS, &space);
#endif
}
