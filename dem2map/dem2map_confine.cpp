#include "dem2map/dem2map_confine.h"
#include "dem2map/dem2map_lib.h"

#include <cpl_conv.h>
#include <cpl_string.h>
#include <gdal.h>
#include <ogr_srs_api.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/landlock.h>
#include <sched.h>
#include <seccomp.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// The ruleset of the newest kernels; an older kernel is given the part it
// knows.
struct RulesetAttr {
    uint64_t handledAccessFs;
    uint64_t handledAccessNet;
    uint64_t scoped;
};

// Rights that the header of an older system may not name.
constexpr uint64_t AccessFsTruncate = 1ULL << 14;       // version 3
constexpr uint64_t AccessFsIoctlDev = 1ULL << 15;       // version 5
constexpr uint64_t AccessNetBindTcp = 1ULL << 0;        // version 4
constexpr uint64_t AccessNetConnectTcp = 1ULL << 1;     // version 4
constexpr uint64_t ScopeAbstractUnixSocket = 1ULL << 0; // version 6
constexpr uint64_t ScopeSignal = 1ULL << 1;             // version 6

uint64_t FsRightsOf(int version) {
    uint64_t rights = (LANDLOCK_ACCESS_FS_MAKE_SYM << 1) - 1; // version 1
    if (version >= 2) {
        rights |= LANDLOCK_ACCESS_FS_REFER;
    }
    if (version >= 3) {
        rights |= AccessFsTruncate;
    }
    if (version >= 5) {
        rights |= AccessFsIoctlDev;
    }
    return rights;
}

int AddPathRule(int ruleset, const char *path, uint64_t access) {
    const int fd = open(path, O_PATH | O_CLOEXEC);
    if (fd < 0) {
        return 0; // gone since it was listed: nothing to allow
    }
    struct landlock_path_beneath_attr rule = {access, fd};
    const long rc = syscall(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH, &rule, 0);
    close(fd);
    return rc == 0 ? 0 : -1;
}

std::string StemOf(const std::string &name) {
    return name.substr(0, name.find('.'));
}

} // namespace

void ListFolderFiles(const char *input, std::vector<std::string> *files) {
    files->clear();
    char real[PATH_MAX];
    if (!realpath(input, real)) {
        return;
    }
    const std::string path = real;
    const size_t slash = path.rfind('/');
    const std::string folder = slash == 0 ? "/" : path.substr(0, slash);
    const std::string inside = slash == 0 ? "/" : folder + "/";
    const std::string stem = StemOf(path.substr(slash + 1));
    DIR *dir = opendir(folder.c_str());
    if (!dir) {
        files->push_back(path);
        return;
    }
    std::vector<std::string> all, alike;
    while (struct dirent *entry = readdir(dir)) {
        const std::string name = entry->d_name;
        char target[PATH_MAX];
        struct stat st;
        if (name == "." || name == ".." || !realpath((inside + name).c_str(), target) ||
            stat(target, &st) != 0 || !S_ISREG(st.st_mode)) {
            continue;
        }
        // A link may stand in the folder, but only for a file of the folder.
        const std::string resolved = target;
        if (resolved.compare(0, inside.size(), inside) != 0 ||
            resolved.find('/', inside.size()) != std::string::npos) {
            continue;
        }
        if (all.size() < DemMaxFolderFiles) {
            all.push_back(resolved);
        }
        if (StemOf(name) == stem) {
            alike.push_back(resolved);
        }
    }
    closedir(dir);
    *files = all.size() < DemMaxFolderFiles ? all : alike;
    files->push_back(path);
}

void ListLibraryData(std::vector<std::string> *folders) {
    folders->clear();
    const char *gdalData = CPLGetConfigOption("GDAL_DATA", nullptr);
    const char *found = gdalData ? nullptr : CPLFindFile("gdal", "gdalvrt.xsd");
    if (gdalData) {
        folders->emplace_back(gdalData);
    } else if (found) {
        folders->emplace_back(CPLGetPath(found));
    }
    char **proj = OSRGetPROJSearchPaths();
    for (char **p = proj; p && *p; ++p) {
        folders->emplace_back(*p);
    }
    CSLDestroy(proj);
    std::vector<std::string> existing;
    for (const std::string &f : *folders) {
        struct stat st;
        if (stat(f.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            existing.push_back(f);
        }
    }
    *folders = existing;
}

void KeepLocalRasterDrivers() {
    for (int i = GDALGetDriverCount() - 1; i >= 0; --i) {
        GDALDriverH driver = GDALGetDriver(i);
        if (!IsAllowedDemDriver(GDALGetDriverShortName(driver))) {
            GDALDeregisterDriver(driver);
            GDALDestroyDriver(driver);
        }
    }
}

int RestrictFileAccess(const std::vector<std::string> &files,
                       const std::vector<std::string> &folders) {
    const long version =
        syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    if (version <= 0) {
        return errno == ENOSYS || errno == EOPNOTSUPP ? 0 : -1;
    }
    RulesetAttr attr = {FsRightsOf(static_cast<int>(version)), 0, 0};
    size_t size = sizeof attr.handledAccessFs;
    if (version >= 4) {
        attr.handledAccessNet = AccessNetBindTcp | AccessNetConnectTcp;
        size += sizeof attr.handledAccessNet;
    }
    if (version >= 6) {
        attr.scoped = ScopeAbstractUnixSocket | ScopeSignal;
        size += sizeof attr.scoped;
    }
    const int ruleset = static_cast<int>(syscall(SYS_landlock_create_ruleset, &attr, size, 0));
    if (ruleset < 0) {
        return -1;
    }
    int rc = 0;
    for (const std::string &f : files) {
        rc |= AddPathRule(ruleset, f.c_str(), LANDLOCK_ACCESS_FS_READ_FILE);
    }
    for (const std::string &d : folders) {
        rc |= AddPathRule(ruleset, d.c_str(),
                          LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_READ_DIR);
    }
    if (rc == 0) {
        rc = prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
                     syscall(SYS_landlock_restrict_self, ruleset, 0) != 0
                 ? -1
                 : 0;
    }
    close(ruleset);
    return rc == 0 ? static_cast<int>(version) : -1;
}

int InstallConverterFilter() {
    scmp_filter_ctx filter = seccomp_init(SCMP_ACT_ALLOW);
    if (!filter) {
        return -1;
    }
    // Ends the process: the network, other programs, other processes.
    const int killed[] = {
        SCMP_SYS(socket),
        SCMP_SYS(socketpair),
        SCMP_SYS(connect),
        SCMP_SYS(bind),
        SCMP_SYS(listen),
        SCMP_SYS(accept),
        SCMP_SYS(accept4),
        SCMP_SYS(sendto),
        SCMP_SYS(sendmsg),
        SCMP_SYS(sendmmsg),
        SCMP_SYS(recvfrom),
        SCMP_SYS(recvmsg),
        SCMP_SYS(recvmmsg),
        SCMP_SYS(execve),
        SCMP_SYS(execveat),
        SCMP_SYS(fork),
        SCMP_SYS(vfork),
        SCMP_SYS(ptrace),
        SCMP_SYS(process_vm_readv),
        SCMP_SYS(process_vm_writev),
        SCMP_SYS(pidfd_getfd),
        SCMP_SYS(mount),
        SCMP_SYS(umount2),
        SCMP_SYS(pivot_root),
        SCMP_SYS(chroot),
        SCMP_SYS(unshare),
        SCMP_SYS(setns),
        SCMP_SYS(bpf),
        SCMP_SYS(perf_event_open),
        SCMP_SYS(kexec_load),
        SCMP_SYS(kexec_file_load),
        SCMP_SYS(init_module),
        SCMP_SYS(finit_module),
        SCMP_SYS(delete_module),
        SCMP_SYS(io_uring_setup),
        SCMP_SYS(io_uring_enter),
        SCMP_SYS(io_uring_register),
        SCMP_SYS(keyctl),
        SCMP_SYS(add_key),
        SCMP_SYS(request_key),
        SCMP_SYS(userfaultfd),
        SCMP_SYS(open_by_handle_at),
        SCMP_SYS(name_to_handle_at),
    };
    // Fails: changes to the file system.
    const int refused[] = {
        SCMP_SYS(unlink),
        SCMP_SYS(unlinkat),
        SCMP_SYS(rename),
        SCMP_SYS(renameat),
        SCMP_SYS(renameat2),
        SCMP_SYS(mkdir),
        SCMP_SYS(mkdirat),
        SCMP_SYS(rmdir),
        SCMP_SYS(symlink),
        SCMP_SYS(symlinkat),
        SCMP_SYS(link),
        SCMP_SYS(linkat),
        SCMP_SYS(chmod),
        SCMP_SYS(fchmod),
        SCMP_SYS(fchmodat),
        SCMP_SYS(chown),
        SCMP_SYS(fchown),
        SCMP_SYS(lchown),
        SCMP_SYS(fchownat),
        SCMP_SYS(truncate),
        SCMP_SYS(mknod),
        SCMP_SYS(mknodat),
        SCMP_SYS(creat),
        SCMP_SYS(setxattr),
        SCMP_SYS(lsetxattr),
        SCMP_SYS(removexattr),
        SCMP_SYS(lremovexattr),
        SCMP_SYS(utimensat),
        SCMP_SYS(pidfd_send_signal),
    };
    int result = 0;
    for (int call : killed) {
        result |= seccomp_rule_add(filter, SCMP_ACT_KILL_PROCESS, call, 0);
    }
    for (int call : refused) {
        result |= seccomp_rule_add(filter, SCMP_ACT_ERRNO(EPERM), call, 0);
    }
    // Threads, but no new process; without clone3 the C library falls back
    // on clone, whose flags the filter can see.
    result |= seccomp_rule_add(filter, SCMP_ACT_KILL_PROCESS, SCMP_SYS(clone), 1,
                               SCMP_A0(SCMP_CMP_MASKED_EQ, CLONE_THREAD, 0));
    result |= seccomp_rule_add(filter, SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(clone3), 0);
    // Files open for reading only.
    const unsigned writing[] = {O_WRONLY, O_RDWR, O_CREAT, O_TRUNC, O_APPEND};
    for (unsigned flag : writing) {
        result |= seccomp_rule_add(filter, SCMP_ACT_ERRNO(EACCES), SCMP_SYS(open), 1,
                                   SCMP_A1(SCMP_CMP_MASKED_EQ, flag, flag));
        result |= seccomp_rule_add(filter, SCMP_ACT_ERRNO(EACCES), SCMP_SYS(openat), 1,
                                   SCMP_A2(SCMP_CMP_MASKED_EQ, flag, flag));
    }
    result |= seccomp_rule_add(filter, SCMP_ACT_ERRNO(EACCES), SCMP_SYS(openat2), 0);
    // Signals only to itself.
    const pid_t self = getpid();
    result |= seccomp_rule_add(filter, SCMP_ACT_ERRNO(EPERM), SCMP_SYS(kill), 1,
                               SCMP_A0(SCMP_CMP_NE, static_cast<scmp_datum_t>(self)));
    result |= seccomp_rule_add(filter, SCMP_ACT_ERRNO(EPERM), SCMP_SYS(tgkill), 1,
                               SCMP_A0(SCMP_CMP_NE, static_cast<scmp_datum_t>(self)));
    if (result == 0) {
        result = seccomp_load(filter);
    }
    seccomp_release(filter);
    return result == 0 ? 0 : -1;
}
