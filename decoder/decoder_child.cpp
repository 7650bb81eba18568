#include "decoder/decoder_child.h"

#include "decoder/image_reply.h"

#include <cerrno>
#include <cstdio>
#include <seccomp.h>
#include <sys/mman.h>
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
// so that a decoder out of memory reports it instead of dying. Every program
// that links the decoder links this unit.
extern "C" const char *__asan_default_options() {
    return "allocator_may_return_null=1";
}
#endif

// Address space of a decoder child in the normal build; in sanitized builds,
// whose runtime reserves terabytes of address space, the same amount of data
// beyond what the process held when it was forked.
static const rlim_t DecoderMemoryBytes = static_cast<rlim_t>(1) << 30;

#ifdef VORN_SANITIZED
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

int SetDecoderChildLimits() {
    const struct rlimit noCore = {0, 0};
    const struct rlimit cpu = {DecodeCpuSeconds, DecodeCpuSeconds + 1};
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
    const struct rlimit data = {rlim_t(inUse) + DecoderMemoryBytes,
                                rlim_t(inUse) + DecoderMemoryBytes};
    return setrlimit(RLIMIT_DATA, &data);
#else
    const struct rlimit space = {DecoderMemoryBytes, DecoderMemoryBytes};
    return setrlimit(RLIMIT_AS, &space);
#endif
}

// Decoding needs memory, reading the open file, writing the reply and
// exiting; anything else (opening files, sockets, exec, new processes) ends
// the child with SIGSYS.
int InstallDecoderChildFilter() {
    scmp_filter_ctx filter = seccomp_init(SCMP_ACT_KILL_PROCESS);
    if (!filter) {
        return -1;
    }
    const int allowed[] = {
        SCMP_SYS(read),          SCMP_SYS(readv),       SCMP_SYS(pread64),
        SCMP_SYS(write),         SCMP_SYS(writev),      SCMP_SYS(lseek),
        SCMP_SYS(fstat),         SCMP_SYS(newfstatat),  SCMP_SYS(brk),
        SCMP_SYS(munmap),        SCMP_SYS(mremap),      SCMP_SYS(madvise),
        SCMP_SYS(close),         SCMP_SYS(exit),        SCMP_SYS(exit_group),
        SCMP_SYS(rt_sigreturn),  SCMP_SYS(futex),       SCMP_SYS(getpid),
        SCMP_SYS(gettid),        SCMP_SYS(tgkill),      SCMP_SYS(rt_sigprocmask),
        SCMP_SYS(clock_gettime), SCMP_SYS(sched_yield), SCMP_SYS(sigaltstack),
        SCMP_SYS(sysinfo),
    };
    int result = 0;
    for (int call : allowed) {
        result |= seccomp_rule_add(filter, SCMP_ACT_ALLOW, call, 0);
    }
    // Memory, but never executable memory.
    result |= seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(mmap), 1,
                               SCMP_A2(SCMP_CMP_MASKED_EQ, PROT_EXEC, 0));
    result |= seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(mprotect), 1,
                               SCMP_A2(SCMP_CMP_MASKED_EQ, PROT_EXEC, 0));
    // The C library asks whether an output stream is a terminal: it is not.
    result |= seccomp_rule_add(filter, SCMP_ACT_ERRNO(ENOTTY), SCMP_SYS(ioctl), 0);
    if (result == 0) {
        result = seccomp_load(filter);
    }
    seccomp_release(filter);
    return result == 0 ? 0 : -1;
}
