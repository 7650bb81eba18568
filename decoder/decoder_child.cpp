#include "decoder/decoder_child.h"

#include "decoder/child_limits.h"
#include "decoder/image_reply.h"

#include <cerrno>
#include <seccomp.h>
#include <sys/mman.h>

// Address space of a decoder child.
static const long long DecoderMemoryBytes = 1LL << 30;

int SetDecoderChildLimits() {
    return SetChildLimits(DecodeCpuSeconds, DecoderMemoryBytes);
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
