#include "dem2map/dem2map_run.h"
#include "decoder/child_limits.h"
#include "dem2map/dem2map_confine.h"
#include "dem2map/dem2map_convert.h"
#include "dem2map/dem2map_vrt.h"

#include <cpl_conv.h>
#include <gdal.h>
#include <ogr_srs_api.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr uint32_t ReplyMagic = 0x524d4544; // "DEMR"
// A reply's text: a summary, a reason or a list of sources.
constexpr uint32_t MaxReplyText = 1u << 20;

struct ReplyHeader {
    uint32_t magic;
    int32_t status; // 0 done, -1 refused or failed
    int32_t side;   // the map's side; for the check, 1 when the input is a VRT
    uint32_t textSize;
};

// What the program must undo when a signal ends it.
struct DemCleanup {
    volatile pid_t worker = 0;
    char tempPath[PATH_MAX] = "";
};
DemCleanup demCleanup;

void StopAndRemove(int sig) {
    const pid_t worker = demCleanup.worker;
    if (worker > 0) {
        kill(worker, SIGKILL);
    }
    if (demCleanup.tempPath[0]) {
        unlink(demCleanup.tempPath);
    }
    signal(sig, SIG_DFL);
    raise(sig);
}

int WriteAll(int fd, const void *data, size_t size) {
    const char *bytes = static_cast<const char *>(data);
    while (size > 0) {
        const ssize_t n = write(fd, bytes, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return -1;
        }
        bytes += n;
        size -= static_cast<size_t>(n);
    }
    return 0;
}

// The map's levels follow the text, two bytes each in the machine's order.
[[noreturn]] void Reply(int fd, int status, int side, const std::string &text,
                        const uint16_t *levels) {
    const ReplyHeader header = {ReplyMagic, status, side,
                                static_cast<uint32_t>(std::min<size_t>(text.size(), MaxReplyText))};
    int rc = WriteAll(fd, &header, sizeof header);
    rc |= WriteAll(fd, text.data(), header.textSize);
    if (levels && status == 0) {
        rc |= WriteAll(fd, levels, static_cast<size_t>(side) * side * sizeof *levels);
    }
    _exit(rc == 0 ? 0 : 1);
}

// The start of every worker: its signals as the program's were before, no
// terminal, and an end with the program.
void BeginWorker(int replyFd) {
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    signal(SIGHUP, SIG_DFL);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    const int quiet = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (quiet >= 0) {
        dup2(quiet, STDIN_FILENO);
        dup2(quiet, STDOUT_FILENO);
        close(quiet);
    }
    // Only the reply pipe and the standard streams stay open.
    for (int fd = 3; fd < 1024; ++fd) {
        if (fd != replyFd) {
            close(fd);
        }
    }
}

// The first worker: reads the head of the input and, for a VRT, its whole
// text, and checks its sources against the rules. It may read the input
// and nothing else.
[[noreturn]] void CheckWorker(const DemOptions *opts, int replyFd) {
    BeginWorker(replyFd);
    const int input = open(opts->input, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (SetChildLimits(DemCheckCpuSeconds, DemCheckMemoryBytes) != 0 ||
        RestrictFileAccess({}, {}) < 0 || InstallConverterFilter() != 0) {
        Reply(replyFd, -1, 0, "the converter cannot confine itself", nullptr);
    }
    if (input < 0) {
        Reply(replyFd, -1, 0, std::string("cannot read it: ") + strerror(errno), nullptr);
    }
    // A VRT as GDAL tells one: by its first kilobyte.
    char head[1024];
    const ssize_t n = pread(input, head, sizeof head, 0);
    if (n <= 0 || !LooksLikeVrt(head, static_cast<size_t>(n))) {
        Reply(replyFd, 0, 0, "", nullptr);
    }
    // A VRT is a small text; a huge one is no mosaic of tiles.
    constexpr size_t MaxVrtBytes = 16u << 20;
    std::string text;
    char block[65536];
    ssize_t got;
    while ((got = read(input, block, sizeof block)) > 0 && text.size() <= MaxVrtBytes) {
        text.append(block, static_cast<size_t>(got));
    }
    if (text.size() > MaxVrtBytes) {
        Reply(replyFd, -1, 0, "its VRT is larger than 16 MB, more than a VRT of tiles needs",
              nullptr);
    }
    std::vector<std::string> sources;
    std::string why;
    if (CheckVrtText(text.c_str(), opts->input, &sources, &why) != 0) {
        Reply(replyFd, -1, 0, why, nullptr);
    }
    std::string list;
    for (const std::string &s : sources) {
        list += s;
        list += '\0';
    }
    Reply(replyFd, 0, 1, list, nullptr);
}

#ifdef VORN_DEM2MAP_TEST_STEP
// Steps that only a test build takes inside the confined worker, to show
// that the confinement holds: "socket" opens one, "open:PATH" reads a file,
// "stall" waits for ever (for a signal to the program to end it).
void TestStep(int replyFd) {
    const char *step = getenv("DEM2MAP_TEST_STEP");
    if (!step) {
        return;
    }
    if (strcmp(step, "stall") == 0) {
        for (;;) {
            pause();
        }
    }
    if (strcmp(step, "socket") == 0) {
        const int s = socket(AF_INET, SOCK_STREAM, 0);
        Reply(replyFd, -1, 0, s >= 0 ? "test step: a socket was opened" : "test step: no socket",
              nullptr);
    }
    if (strncmp(step, "open:", 5) == 0) {
        const int fd = open(step + 5, O_RDONLY);
        char byte;
        if (fd >= 0 && read(fd, &byte, 1) >= 0) {
            Reply(replyFd, -1, 0, std::string("test step: opened ") + (step + 5), nullptr);
        }
    }
}
#endif

// A source that is itself a VRT would bring sources of its own, unchecked.
bool AnySourceIsVrt(const std::vector<std::string> &sources, std::string *which) {
    for (const std::string &s : sources) {
        const int fd = open(s.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        char head[1024];
        const ssize_t n = fd >= 0 ? pread(fd, head, sizeof head, 0) : -1;
        if (fd >= 0) {
            close(fd);
        }
        if (n > 0 && LooksLikeVrt(head, static_cast<size_t>(n))) {
            *which = s;
            return true;
        }
    }
    return false;
}

// The second worker: GDAL, confined, converts; the map goes back through
// the pipe.
[[noreturn]] void ConvertWorker(const DemOptions *opts, bool isVrt,
                                const std::vector<std::string> &sources, int replyFd) {
    BeginWorker(replyFd);
    char err[1024];
    std::vector<std::string> files, data;
    ListFolderFiles(opts->input, &files);
    files.insert(files.end(), sources.begin(), sources.end());
    ListLibraryData(&data);
    if (SetChildLimits(DemCpuSeconds, DemMemoryBytes) != 0) {
        Reply(replyFd, -1, 0, "the converter cannot set its limits", nullptr);
    }
    GDALAllRegister();
    KeepLocalRasterDrivers();
    // No side files, no directory listings, no network for PROJ, a bounded
    // block cache.
    CPLSetConfigOption("GDAL_PAM_ENABLED", "NO");
    CPLSetConfigOption("GDAL_DISABLE_READDIR_ON_OPEN", "YES");
    CPLSetConfigOption("GDAL_CACHEMAX", "256");
    OSRSetPROJEnableNetwork(FALSE);
    const int landlock = RestrictFileAccess(files, data);
    if (landlock < 0 || InstallConverterFilter() != 0) {
        Reply(replyFd, -1, 0, "the converter cannot confine itself", nullptr);
    }
#ifdef VORN_DEM2MAP_TEST_STEP
    TestStep(replyFd);
#endif
    std::string nested;
    if (isVrt && AnySourceIsVrt(sources, &nested)) {
        Reply(replyFd, -1, 0,
              "its VRT names the source \"" + nested +
                  "\", itself a VRT: build one VRT over the files themselves",
              nullptr);
    }
    DemOptions confined = *opts;
    confined.allowVrt = isVrt;
    DemResult result;
    if (ConvertDem(&confined, &result, err, sizeof err) != 0) {
        Reply(replyFd, -1, 0, err, nullptr);
    }
    char *text = nullptr;
    size_t size = 0;
    FILE *summary = open_memstream(&text, &size);
    if (!summary) {
        Reply(replyFd, -1, 0, "no memory for the summary", nullptr);
    }
    PrintDemSummary(summary, opts, &result);
    if (landlock == 0) {
        fprintf(summary, "confinement: this kernel has no Landlock, so reads are not limited to "
                         "the input's folder\n");
    }
    fclose(summary);
    const std::string lines(text, size);
    free(text);
    Reply(replyFd, 0, result.side, lines, result.levels.data());
}

// How one worker ended, and what it sent.
struct WorkerEnd {
    bool timedOut = false;
    int status = 0; // waitpid's
    std::string reply;
};

// Reads the worker's reply until it closes the pipe or the deadline
// passes, then collects the worker (killed at the deadline).
void AwaitWorker(pid_t worker, int fd, int wallSeconds, size_t most, WorkerEnd *end) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(wallSeconds);
    char block[65536];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            end->timedOut = true;
            break;
        }
        struct pollfd ready = {fd, POLLIN, 0};
        const int n = poll(&ready, 1, static_cast<int>(left));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            continue;
        }
        const ssize_t got = read(fd, block, sizeof block);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        if (end->reply.size() + static_cast<size_t>(got) > most) {
            break; // more than any reply: the worker is not to be believed
        }
        end->reply.append(block, static_cast<size_t>(got));
    }
    close(fd);
    if (end->timedOut) {
        kill(worker, SIGKILL);
    }
    while (waitpid(worker, &end->status, 0) < 0 && errno == EINTR) {
    }
    demCleanup.worker = 0;
}

// One worker: 0 for a reply that it sent and ended after, with its header
// and text; -1 with err telling how it ended.
int RunWorker(const DemOptions *opts, bool check, bool isVrt,
              const std::vector<std::string> &sources, ReplyHeader *header, std::string *text,
              std::vector<uint16_t> *levels, char *err, size_t errSize) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        snprintf(err, errSize, "dem2map: cannot start a worker: %s", strerror(errno));
        return -1;
    }
    const pid_t worker = fork();
    if (worker < 0) {
        close(fds[0]);
        close(fds[1]);
        snprintf(err, errSize, "dem2map: cannot start a worker: %s", strerror(errno));
        return -1;
    }
    if (worker == 0) {
        close(fds[0]);
        if (check) {
            CheckWorker(opts, fds[1]);
        }
        ConvertWorker(opts, isVrt, sources, fds[1]);
    }
    demCleanup.worker = worker;
    close(fds[1]);
    const int wall = check ? DemCheckWallSeconds : DemWallSeconds;
    const long cpu = check ? DemCheckCpuSeconds : DemCpuSeconds;
    const size_t most = sizeof(ReplyHeader) + MaxReplyText +
                        static_cast<size_t>(DemMaxSide) * DemMaxSide * sizeof(uint16_t);
    WorkerEnd end;
    AwaitWorker(worker, fds[0], wall, most, &end);
    const std::string file = EscapeForTerminal(opts->input);
    if (end.timedOut) {
        snprintf(err, errSize, "dem2map: %s: the conversion was stopped after %d s", file.c_str(),
                 wall);
        return -1;
    }
    if (WIFSIGNALED(end.status)) {
        const int sig = WTERMSIG(end.status);
        if (sig == SIGXCPU || sig == SIGKILL) {
            snprintf(err, errSize,
                     "dem2map: %s: the conversion was stopped after %ld s of processor time",
                     file.c_str(), cpu);
        } else if (sig == SIGSYS) {
            snprintf(err, errSize,
                     "dem2map: %s: the conversion was stopped by its system-call filter (it "
                     "tried the network, another program or a new process)",
                     file.c_str());
        } else {
            snprintf(err, errSize, "dem2map: %s: the conversion failed (%s)", file.c_str(),
                     strsignal(sig));
        }
        return -1;
    }
    const std::string &r = end.reply;
    if (r.size() >= sizeof *header) {
        memcpy(header, r.data(), sizeof *header);
    }
    const size_t textEnd = sizeof *header + (r.size() >= sizeof *header ? header->textSize : 0);
    const bool whole = r.size() >= sizeof *header && header->magic == ReplyMagic &&
                       header->textSize <= MaxReplyText && r.size() >= textEnd;
    if (!whole || WEXITSTATUS(end.status) != 0) {
        snprintf(err, errSize, "dem2map: %s: the conversion failed (%s)", file.c_str(),
                 WEXITSTATUS(end.status) != 0 ? "its worker ended with an error" : "no reply");
        return -1;
    }
    text->assign(r, sizeof *header, header->textSize);
    if (header->status != 0) {
        // The converting worker's text is already a whole message; the
        // checker's is a reason.
        if (check) {
            snprintf(err, errSize, "dem2map: %s: %s", file.c_str(),
                     EscapeForTerminal(text->c_str()).c_str());
        } else {
            snprintf(err, errSize, "%s", text->c_str());
        }
        return -1;
    }
    if (!check) {
        const long long side = header->side;
        if (side < 1 || side > DemMaxSide ||
            r.size() != textEnd + static_cast<size_t>(side * side) * sizeof(uint16_t)) {
            snprintf(err, errSize, "dem2map: %s: the conversion failed (a map of the wrong size)",
                     file.c_str());
            return -1;
        }
        levels->resize(static_cast<size_t>(side * side));
        memcpy(levels->data(), r.data() + textEnd, levels->size() * sizeof(uint16_t));
        const uint16_t top = opts->depth == 16 ? MaxLevel16 : MaxHeightStep;
        if (std::any_of(levels->begin(), levels->end(), [top](uint16_t v) { return v > top; })) {
            snprintf(err, errSize,
                     "dem2map: %s: the conversion failed (a level beyond the map's depth)",
                     file.c_str());
            return -1;
        }
    }
    return 0;
}

} // namespace

int RunConfinedConversion(const DemOptions *opts, DemRun *run, char *err, size_t errSize) {
    *run = DemRun();
    ReplyHeader header = {};
    std::string text;
    std::vector<uint16_t> none;
    if (RunWorker(opts, true, false, {}, &header, &text, &none, err, errSize) != 0) {
        return -1;
    }
    const bool isVrt = header.side == 1;
    std::vector<std::string> sources;
    for (size_t at = 0; isVrt && at < text.size();) {
        const size_t end = text.find('\0', at);
        sources.push_back(text.substr(at, end - at));
        at = end == std::string::npos ? text.size() : end + 1;
    }
    if (RunWorker(opts, false, isVrt, sources, &header, &run->summary, &run->levels, err,
                  errSize) != 0) {
        return -1;
    }
    run->side = header.side;
    return 0;
}

void RemoveOnSignal(const std::string &tempPath) {
    sigset_t all, old;
    sigemptyset(&all);
    sigaddset(&all, SIGINT);
    sigaddset(&all, SIGTERM);
    sigaddset(&all, SIGHUP);
    sigprocmask(SIG_BLOCK, &all, &old);
    snprintf(demCleanup.tempPath, sizeof demCleanup.tempPath, "%s", tempPath.c_str());
    struct sigaction action = {};
    action.sa_handler = StopAndRemove;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(sig, &action, nullptr);
    }
    sigprocmask(SIG_SETMASK, &old, nullptr);
}
