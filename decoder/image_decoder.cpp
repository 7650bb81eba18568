#include "decoder/image_decoder.h"

#include "decoder/decoder_child.h"
#include "decoder/image_reply.h"
#include "decoder/png16.h"

#include <SDL/SDL_image.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

// Exit status of a child that could not put its limits or filter in place.
static const int ChildSetupFailed = 70;
// The reply channel's descriptor inside a child, and that of the memory a
// map's 16-bit samples are written into.
static const int ChildReplyFd = 3;
static const int ChildSamplesFd = 4;
// Size of the memory a map's samples go into: the most a decode may hold
// and a byte a row (65535 rows at most) for a PNG's filter bytes, which a
// plain file is inflated with before its samples are laid out.
static const size_t SharedSamplesBytes = MaxImagePixelBytes + 0x10000;
static const size_t MaxPathBytes = 4096;
// How long the viewer waits beyond the wall-clock limit for the service to
// report a decode's end before it gives the service up.
static const int ServiceGraceSeconds = 10;

// What a request asks for: an image as a surface, or a height map, which
// keeps the 16 bits of a single-channel 16-bit PNG.
enum : uint32_t { DecodeAnImage = 0, DecodeAMap = 1 };

struct DecodeRequest {
    uint32_t sequence;
    uint32_t kind;
    uint32_t pathLength;
    char path[MaxPathBytes];
};

struct DecodeOutcome {
    uint32_t sequence;
    int32_t end;
    int32_t value;
};

// A request sent to the service and not yet collected.
struct PendingDecode {
    bool waiting = false;
    uint32_t sequence = 0;
    int replyFd = -1;       // the reply channel's reading end
    int samplesFd = -1;     // a map's samples' memory, shared with the child
    char failure[160] = ""; // why the request could not be sent
};

// The decoder service as the viewer sees it.
struct ImageDecoderService {
    pid_t pid = -1;
    int socket = -1;
    uint32_t sequence = 0;
    char startFailure[160] = "";
    PendingDecode pending;
};
static ImageDecoderService decoderService;

static int CountThreads() {
    DIR *tasks = opendir("/proc/self/task");
    if (!tasks) {
        return -1;
    }
    int count = 0;
    while (struct dirent *entry = readdir(tasks)) {
        if (entry->d_name[0] != '.') {
            ++count;
        }
    }
    closedir(tasks);
    return count;
}

static void CloseDescriptorsFrom(int first) {
    if (syscall(SYS_close_range, first, ~0u, 0) != 0) {
        for (int fd = first; fd < 1024; ++fd) {
            close(fd);
        }
    }
}

// Makes fd the descriptor `target` and closes every descriptor above it.
static void KeepOnlyDescriptor(int fd, int target) {
    if (fd != target) {
        dup2(fd, target);
    }
    CloseDescriptorsFrom(target + 1);
}

// Makes reply and samples (when not -1) a child's descriptors 3 and 4 and
// closes every other one above 2.
static void KeepChildDescriptors(int reply, int samples) {
    // Out of the way of 3 and 4 first, whatever they were.
    const int movedReply = fcntl(reply, F_DUPFD, 10);
    const int movedSamples = samples >= 0 ? fcntl(samples, F_DUPFD, 10) : -1;
    dup2(movedReply, ChildReplyFd);
    if (movedSamples >= 0) {
        dup2(movedSamples, ChildSamplesFd);
    }
    CloseDescriptorsFrom(movedSamples >= 0 ? ChildSamplesFd + 1 : ChildReplyFd + 1);
}

static int WriteAll(int fd, const void *data, size_t size) {
    const char *bytes = static_cast<const char *>(data);
    while (size > 0) {
        ssize_t n = write(fd, bytes, size);
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

// ---- the child: one image, then it ends ----

static void SendFailure(const char *text) {
    ImageReplyHeader header = {};
    header.magic = ImageReplyMagic;
    header.result = ImageReplyFailed;
    size_t length = strlen(text);
    if (length > MaxImageErrorText) {
        length = MaxImageErrorText;
    }
    header.textLength = static_cast<uint32_t>(length);
    if (WriteAll(ChildReplyFd, &header, sizeof header) == 0) {
        WriteAll(ChildReplyFd, text, length);
    }
}

static void SendSurface(const SDL_Surface *surface) {
    const SDL_PixelFormat *format = surface->format;
    ImageReplyHeader header = {};
    header.magic = ImageReplyMagic;
    header.result = ImageReplyDecoded;
    header.width = static_cast<uint32_t>(surface->w);
    header.height = static_cast<uint32_t>(surface->h);
    header.pitch = surface->pitch;
    header.bitsPerPixel = format->BitsPerPixel;
    header.bytesPerPixel = format->BytesPerPixel;
    header.rmask = format->Rmask;
    header.gmask = format->Gmask;
    header.bmask = format->Bmask;
    header.amask = format->Amask;
    header.flags = surface->flags & ImageReplySurfaceFlags;
    header.colourKey = format->colorkey;
    header.alpha = format->alpha;
    header.colourCount = format->palette ? static_cast<uint32_t>(format->palette->ncolors) : 0;
    if (WriteAll(ChildReplyFd, &header, sizeof header) != 0) {
        return;
    }
    if (header.colourCount > 0 && WriteAll(ChildReplyFd, format->palette->colors,
                                           static_cast<size_t>(header.colourCount) * 4) != 0) {
        return;
    }
    WriteAll(ChildReplyFd, surface->pixels,
             static_cast<size_t>(surface->pitch) * static_cast<size_t>(surface->h));
}

// Sends the header of width x height samples that are in the memory the
// viewer shares with this child.
static void SendSamplesHeader(uint32_t width, uint32_t height) {
    ImageReplyHeader header = {};
    header.magic = ImageReplyMagic;
    header.result = ImageReplySamples16;
    header.width = width;
    header.height = height;
    header.pitch = 2 * width;
    header.bitsPerPixel = 16;
    header.bytesPerPixel = 2;
    WriteAll(ChildReplyFd, &header, sizeof header);
}

// Maps bytes of the memory shared with the viewer. Returns it, or null.
static unsigned char *MapSharedSamples(size_t bytes) {
    void *shared =
        mmap(nullptr, bytes > 0 ? bytes : 1, PROT_READ | PROT_WRITE, MAP_SHARED, ChildSamplesFd, 0);
    return shared == MAP_FAILED ? nullptr : static_cast<unsigned char *>(shared);
}

// Inflates a plain 16-bit PNG straight into the shared memory. Returns 1
// when the reply is sent, 0 when libpng is to decode the file (source is at
// its start again).
static int DecodePlainMap(SDL_RWops *source) {
    unsigned char *file = nullptr;
    size_t n = 0;
    uint32_t width = 0, height = 0;
    char why[256];
    const int whole = ReadPlainGrey16PngFile(source, MaxImagePixelBytes, &file, &n, &width, &height,
                                             why, sizeof why);
    if (whole <= 0) {
        if (whole < 0) {
            SendFailure(why);
        }
        return whole < 0 ? 1 : 0;
    }
    const size_t work = PlainGrey16PngWorkBytes(width, height);
    unsigned char *shared = work <= SharedSamplesBytes ? MapSharedSamples(work) : nullptr;
    const int inflated =
        shared ? InflatePlainGrey16Png(file, n, MaxImagePixelBytes, shared, work) : -1;
    free(file);
    if (inflated == 0) {
        SendSamplesHeader(width, height);
        return 1;
    }
    if (SDL_RWseek(source, 0, RW_SEEK_SET) != 0) {
        SendFailure("the map file cannot be read from its start again");
        return 1;
    }
    return 0;
}

// A height map that is a single-channel 16-bit PNG is decoded to its
// samples, which go into the memory shared with the viewer; returns 0 when
// source is not one, and leaves it at its start.
static int DecodeMapSamples(SDL_RWops *source) {
    unsigned char head[PngHeadBytes];
    const int got = SDL_RWread(source, head, 1, sizeof head);
    if (SDL_RWseek(source, 0, RW_SEEK_SET) != 0) {
        SendFailure("the map file cannot be read from its start again");
        return 1;
    }
    if (got <= 0 || !IsGrey16PngHead(head, static_cast<size_t>(got))) {
        return 0;
    }
    if (DecodePlainMap(source) != 0) {
        return 1;
    }
    uint16_t *samples = nullptr;
    uint32_t width = 0, height = 0;
    char why[256];
    if (DecodeGrey16PngWithLibpng(source, MaxImagePixelBytes, &samples, &width, &height, why,
                                  sizeof why) != 0) {
        SendFailure(why);
        return 1;
    }
    const size_t bytes = static_cast<size_t>(2) * width * height;
    unsigned char *shared = MapSharedSamples(bytes);
    if (!shared) {
        SendFailure("the map's samples cannot be handed over");
        return 1;
    }
    memcpy(shared, samples, bytes);
    SendSamplesHeader(width, height);
    return 1;
}

[[noreturn]] static void DecodeInChild(const DecodeRequest &request, int replyFd, int directoryFd,
                                       int samplesFd) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    // Relative names mean what they mean to the viewer.
    if (fchdir(directoryFd) != 0) {
        _exit(ChildSetupFailed);
    }
    // The parent sees a crash as the signal it is, in every build.
    const int fatal[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGSYS, SIGXCPU, SIGPIPE};
    for (int sig : fatal) {
        signal(sig, SIG_DFL);
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    KeepChildDescriptors(replyFd, samplesFd);
    if (SetDecoderChildLimits() != 0) {
        _exit(ChildSetupFailed);
    }
    // Opening may block (a named pipe nobody writes): the service's wall
    // clock ends that.
    SDL_RWops *source = SDL_RWFromFile(request.path, "rb");
    if (!source) {
        SendFailure(SDL_GetError());
        _exit(0);
    }
    if (InstallDecoderChildFilter() != 0) {
        _exit(ChildSetupFailed);
    }
    if (request.kind == DecodeAMap && DecodeMapSamples(source) != 0) {
        _exit(0);
    }
    // The request is this child's own copy.
    char *extension = strrchr(const_cast<char *>(request.path), '.');
    if (extension) {
        ++extension;
    }
    SDL_Surface *surface = IMG_LoadTyped_RW(source, 1, extension);
    if (!surface) {
        SendFailure(SDL_GetError());
    } else {
        SendSurface(surface);
    }
    _exit(0);
}

// ---- the service: forks one child per request and waits for it ----

// Waits for the child until the deadline, killing it then. Returns its end.
static DecodeOutcome AwaitChild(pid_t child) {
    DecodeOutcome outcome = {0, static_cast<int32_t>(DecoderEnd::Exited), 0};
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(DecodeWallSeconds);
    const int watch = static_cast<int>(syscall(SYS_pidfd_open, child, 0));
    int status = 0;
    bool ended = false;
    while (!ended) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            break;
        }
        if (watch >= 0) {
            struct pollfd ready = {watch, POLLIN, 0};
            poll(&ready, 1, static_cast<int>(left));
        } else {
            usleep(2000);
        }
        ended = waitpid(child, &status, WNOHANG) == child;
    }
    if (watch >= 0) {
        close(watch);
    }
    if (!ended) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        outcome.end = static_cast<int32_t>(DecoderEnd::TimedOut);
        return outcome;
    }
    if (WIFSIGNALED(status)) {
        outcome.end = static_cast<int32_t>(DecoderEnd::Signalled);
        outcome.value = WTERMSIG(status);
    } else {
        outcome.value = WEXITSTATUS(status);
    }
    return outcome;
}

static DecodeOutcome RunOneDecode(const DecodeRequest &request, const int fds[3]) {
    const pid_t child = fork();
    if (child == 0) {
        DecodeInChild(request, fds[0], fds[1], fds[2]);
    }
    // The reply channel now belongs to the child alone: its end closes it.
    for (int i = 0; i < 3; ++i) {
        if (fds[i] >= 0) {
            close(fds[i]);
        }
    }
    if (child < 0) {
        return DecodeOutcome{0, static_cast<int32_t>(DecoderEnd::NotStarted), errno};
    }
    return AwaitChild(child);
}

// Receives one request, the descriptor of its reply channel, that of the
// viewer's working directory and, for a map, that of the memory its samples
// go into (else -1). Returns 1, 0 when the viewer has gone, or -1 for a
// malformed request (any descriptor received is then closed).
static int ReceiveRequest(int socket, DecodeRequest *request, int fds[3]) {
    fds[0] = fds[1] = fds[2] = -1;
    struct iovec data = {request, sizeof *request};
    alignas(struct cmsghdr) char control[CMSG_SPACE(3 * sizeof(int))];
    struct msghdr message = {};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t n;
    do {
        n = recvmsg(socket, &message, MSG_CMSG_CLOEXEC);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) {
        return 0;
    }
    struct cmsghdr *c = CMSG_FIRSTHDR(&message);
    size_t count = 0;
    if (c && c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS) {
        count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        memcpy(fds, CMSG_DATA(c), (count < 3 ? count : 3) * sizeof(int));
    }
    const size_t wanted =
        n == static_cast<ssize_t>(sizeof *request) && request->kind == DecodeAMap ? 3 : 2;
    if (n != static_cast<ssize_t>(sizeof *request) || count != wanted ||
        (message.msg_flags & MSG_CTRUNC) || request->pathLength >= MaxPathBytes ||
        request->path[request->pathLength] != '\0') {
        for (int i = 0; i < 3; ++i) {
            if (fds[i] >= 0) {
                close(fds[i]);
            }
        }
        return -1;
    }
    return 1;
}

[[noreturn]] static void ServeDecodes(int socket) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    int quiet = open("/dev/null", O_RDWR);
    if (quiet >= 0) {
        dup2(quiet, STDIN_FILENO);
        dup2(quiet, STDOUT_FILENO);
        dup2(quiet, STDERR_FILENO);
    }
    const int serviceSocket = 3;
    KeepOnlyDescriptor(socket, serviceSocket);
    signal(SIGPIPE, SIG_IGN);
    // Every format library is loaded here, once, so that no child needs to
    // open one.
    IMG_Init(IMG_INIT_JPG | IMG_INIT_PNG | IMG_INIT_TIF | IMG_INIT_WEBP);
    for (;;) {
        DecodeRequest request;
        int fds[3];
        int received = ReceiveRequest(serviceSocket, &request, fds);
        if (received == 0) {
            _exit(0);
        }
        DecodeOutcome outcome;
        if (received < 0) {
            outcome = DecodeOutcome{0, static_cast<int32_t>(DecoderEnd::NotStarted), EINVAL};
        } else {
            outcome = RunOneDecode(request, fds);
        }
        outcome.sequence = request.sequence;
        send(serviceSocket, &outcome, sizeof outcome, MSG_NOSIGNAL);
    }
}

int StartImageDecoder() {
    if (decoderService.pid > 0) {
        return 0;
    }
    if (CountThreads() != 1) {
        snprintf(decoderService.startFailure, sizeof decoderService.startFailure,
                 "the image decoder was not started while the process had one thread");
        return -1;
    }
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) {
        snprintf(decoderService.startFailure, sizeof decoderService.startFailure,
                 "the image decoder could not be started (%s)", strerror(errno));
        return -1;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        ServeDecodes(pair[1]);
    }
    close(pair[1]);
    if (pid < 0) {
        snprintf(decoderService.startFailure, sizeof decoderService.startFailure,
                 "the image decoder could not be started (%s)", strerror(errno));
        close(pair[0]);
        return -1;
    }
    decoderService.pid = pid;
    decoderService.socket = pair[0];
    decoderService.startFailure[0] = '\0';
    return 0;
}

void StopImageDecoder() {
    if (decoderService.pid <= 0) {
        return;
    }
    close(decoderService.socket);
    kill(decoderService.pid, SIGKILL);
    waitpid(decoderService.pid, nullptr, 0);
    decoderService.pid = -1;
    decoderService.socket = -1;
}

// ---- the viewer's side ----

using Clock = std::chrono::steady_clock;

// Waits until fd is readable or the deadline passes. Returns 0 when readable.
static int WaitReadable(int fd, Clock::time_point deadline) {
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            return -1;
        }
        struct pollfd ready = {fd, POLLIN, 0};
        int n = poll(&ready, 1, static_cast<int>(left));
        if (n > 0) {
            return 0;
        }
        if (n < 0 && errno != EINTR) {
            return -1;
        }
    }
}

// Reads up to size bytes, stopping early only at the channel's end. Returns
// the bytes read, or -1 when the deadline passed or reading failed.
static ssize_t ReadUpTo(int fd, void *data, size_t size, Clock::time_point deadline) {
    char *bytes = static_cast<char *>(data);
    size_t done = 0;
    while (done < size) {
        if (WaitReadable(fd, deadline) != 0) {
            return -1;
        }
        ssize_t n = read(fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return -1;
        }
        if (n == 0) {
            break;
        }
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

// Reads one part of the reply of exactly size bytes. Returns 0, or -1 with
// *why set.
static int ReadPart(int fd, void *data, size_t size, Clock::time_point deadline, const char **why) {
    ssize_t n = ReadUpTo(fd, data, size, deadline);
    if (n < 0) {
        *why = "the reply could not be read";
        return -1;
    }
    return CheckImageReplyLength(ImageReplyLayout{size, 0, 0}, static_cast<size_t>(n), why);
}

// Builds the surface a decoded reply describes, reading its palette and
// pixels into it. Returns it, or null with *why set.
static SDL_Surface *ReadDecodedSurface(int fd, const ImageReplyHeader &header,
                                       const ImageReplyLayout &layout, Clock::time_point deadline,
                                       const char **why) {
    SDL_Surface *surface =
        SDL_CreateRGBSurface(SDL_SWSURFACE, static_cast<int>(header.width),
                             static_cast<int>(header.height), static_cast<int>(header.bitsPerPixel),
                             header.rmask, header.gmask, header.bmask, header.amask);
    if (!surface) {
        *why = "Out of memory";
        return nullptr;
    }
    SDL_PixelFormat *format = surface->format;
    const bool palette = format->palette != nullptr;
    if (surface->pitch != header.pitch || format->BytesPerPixel != header.bytesPerPixel ||
        format->BitsPerPixel != header.bitsPerPixel || format->Rmask != header.rmask ||
        format->Gmask != header.gmask || format->Bmask != header.bmask ||
        format->Amask != header.amask ||
        (header.colourCount > 0 &&
         (!palette || header.colourCount > static_cast<uint32_t>(format->palette->ncolors)))) {
        *why = "the reply's pixel format is not one a surface can have";
        SDL_FreeSurface(surface);
        return nullptr;
    }
    if (palette) {
        format->palette->ncolors = static_cast<int>(header.colourCount);
    }
    if ((header.colourCount > 0 &&
         ReadPart(fd, format->palette->colors, layout.paletteBytes, deadline, why) != 0) ||
        (layout.pixelBytes > 0 &&
         ReadPart(fd, surface->pixels, layout.pixelBytes, deadline, why) != 0)) {
        SDL_FreeSurface(surface);
        return nullptr;
    }
    if (header.flags & SDL_SRCCOLORKEY) {
        SDL_SetColorKey(surface, SDL_SRCCOLORKEY | (header.flags & SDL_RLEACCELOK),
                        header.colourKey);
    }
    if ((surface->flags & SDL_SRCALPHA) != (header.flags & SDL_SRCALPHA) ||
        format->alpha != header.alpha) {
        SDL_SetAlpha(surface, header.flags & SDL_SRCALPHA, static_cast<Uint8>(header.alpha));
    }
    return surface;
}

// Bytes of the mapping that holds count samples (never empty).
static size_t SamplesMappingBytes(size_t count) {
    return count > 0 ? count * 2 : 1;
}

// Maps the 16-bit samples of a reply that passed the checks from the memory
// the child wrote them into, read-only. Returns them, or null with *why
// set.
static const uint16_t *MapSamples(int samplesFd, const ImageReplyLayout &layout, const char **why) {
    void *samples = mmap(nullptr, SamplesMappingBytes(layout.pixelBytes / 2), PROT_READ,
                         MAP_SHARED | MAP_POPULATE, samplesFd, 0);
    if (samples == MAP_FAILED) {
        *why = "Out of memory";
        return nullptr;
    }
    return static_cast<const uint16_t *>(samples);
}

// Reads a whole reply from the child into out: an image, or 16-bit samples
// where the request may take them (samplesFd, their memory, is not -1).
// Returns 0, or -1 with the reason in text and nothing in out.
static int ReadReply(int fd, int samplesFd, Clock::time_point deadline, DecodedMap *out, char *text,
                     size_t size) {
    *out = DecodedMap{};
    const char *why = nullptr;
    ImageReplyHeader header;
    ImageReplyLayout layout;
    if (ReadPart(fd, &header, sizeof header, deadline, &why) != 0 ||
        CheckImageReplyHeader(header, &layout, &why) != 0) {
        snprintf(text, size, "the image decoder's reply is malformed: %s", why);
        return -1;
    }
    if (header.result == ImageReplyFailed) {
        char reason[MaxImageErrorText + 1];
        if (ReadPart(fd, reason, layout.textBytes, deadline, &why) != 0) {
            snprintf(text, size, "the image decoder's reply is malformed: %s", why);
            return -1;
        }
        reason[layout.textBytes] = '\0';
        for (size_t i = 0; i < layout.textBytes; ++i) {
            if (reason[i] < 0x20 || reason[i] == 0x7f) {
                reason[i] = '?';
            }
        }
        snprintf(text, size, "%s", DecoderFailureReason(reason));
        return -1;
    }
    if (header.result == ImageReplySamples16) {
        if (samplesFd < 0) {
            snprintf(text, size, "the image decoder's reply is malformed: %s",
                     "it holds 16-bit samples where an image was asked for");
            return -1;
        }
        out->samples = MapSamples(samplesFd, layout, &why);
        if (!out->samples) {
            snprintf(text, size, "%s", DecoderFailureReason(why));
            return -1;
        }
    } else {
        out->image = ReadDecodedSurface(fd, header, layout, deadline, &why);
        if (!out->image) {
            snprintf(text, size, "%s", DecoderFailureReason(why));
            return -1;
        }
    }
    out->width = static_cast<int>(header.width);
    out->height = static_cast<int>(header.height);
    char extra;
    ssize_t more = ReadUpTo(fd, &extra, 1, deadline);
    if (more != 0) {
        snprintf(text, size, "the image decoder's reply is malformed: %s",
                 more < 0 ? "the reply could not be read" : "the reply goes on past its end");
        FreeDecodedMap(out);
        return -1;
    }
    return 0;
}

// Sends a request with its descriptors: the reply channel, the working
// directory and, for a map, the samples' memory (else -1, not sent).
static int SendRequest(const DecodeRequest &request, int replyFd, int directoryFd, int samplesFd) {
    struct iovec data = {const_cast<DecodeRequest *>(&request), sizeof request};
    const int fds[3] = {replyFd, directoryFd, samplesFd};
    const size_t count = samplesFd >= 0 ? 3 : 2;
    alignas(struct cmsghdr) char control[CMSG_SPACE(3 * sizeof(int))] = {};
    struct msghdr message = {};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = CMSG_SPACE(count * sizeof(int));
    struct cmsghdr *c = CMSG_FIRSTHDR(&message);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_RIGHTS;
    c->cmsg_len = CMSG_LEN(count * sizeof(int));
    memcpy(CMSG_DATA(c), fds, count * sizeof(int));
    ssize_t n;
    do {
        n = sendmsg(decoderService.socket, &message, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    return n == static_cast<ssize_t>(sizeof request) ? 0 : -1;
}

// Receives the service's report of how the request's child ended.
static int ReceiveOutcome(uint32_t sequence, Clock::time_point deadline, DecodeOutcome *outcome) {
    for (;;) {
        if (WaitReadable(decoderService.socket, deadline) != 0) {
            return -1;
        }
        ssize_t n = recv(decoderService.socket, outcome, sizeof *outcome, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n != static_cast<ssize_t>(sizeof *outcome)) {
            return -1;
        }
        // A report left over from a request given up earlier is skipped.
        if (outcome->sequence == sequence) {
            return 0;
        }
    }
}

static int CollectDecode(DecodedMap *out);

// Memory for a map's 16-bit samples, which the child writes and the viewer
// then maps, instead of sending them down the reply channel: as long as
// SharedSamplesBytes, taking room only as it is written, and sealed so
// that it can neither shrink under the viewer's mapping nor grow. Returns
// its descriptor, or -1.
static int CreateSamplesMemory() {
    const int fd =
        static_cast<int>(memfd_create("vorn map samples", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    if (fd < 0) {
        return -1;
    }
    if (ftruncate(fd, static_cast<off_t>(SharedSamplesBytes)) != 0 ||
        fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Sends a request for file as kind asks and returns without waiting for the
// child; CollectDecode takes its reply. A failure to send is kept for
// CollectDecode to report.
static void SendDecode(const char *file, uint32_t kind) {
    PendingDecode &pending = decoderService.pending;
    if (pending.waiting) {
        // Nobody collected the previous request: its reply goes unread.
        DecodedMap unread;
        CollectDecode(&unread);
        FreeDecodedMap(&unread);
    }
    pending = PendingDecode{};
    pending.waiting = true;
    if (StartImageDecoder() != 0) {
        snprintf(pending.failure, sizeof pending.failure, "%s", decoderService.startFailure);
        return;
    }
    DecodeRequest request = {};
    const size_t length = strlen(file);
    if (length >= MaxPathBytes) {
        snprintf(pending.failure, sizeof pending.failure, "the image file name is too long");
        return;
    }
    memcpy(request.path, file, length + 1);
    request.pathLength = static_cast<uint32_t>(length);
    request.kind = kind;
    request.sequence = ++decoderService.sequence;

    int channel[2];
    const int here = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int samples = kind == DecodeAMap ? CreateSamplesMemory() : -1;
    if (here < 0 || (kind == DecodeAMap && samples < 0) || pipe2(channel, O_CLOEXEC) != 0) {
        snprintf(pending.failure, sizeof pending.failure,
                 "the image decoder could not be reached (%s)", strerror(errno));
        if (here >= 0) {
            close(here);
        }
        if (samples >= 0) {
            close(samples);
        }
        return;
    }
    // A wider channel lets a large image through in fewer turns.
    fcntl(channel[1], F_SETPIPE_SZ, 1 << 20);
    const int sent = SendRequest(request, channel[1], here, samples);
    close(here);
    close(channel[1]);
    if (sent != 0) {
        close(channel[0]);
        if (samples >= 0) {
            close(samples);
        }
        StopImageDecoder();
        snprintf(pending.failure, sizeof pending.failure, "the image decoder service has stopped");
        return;
    }
    pending.replyFd = channel[0];
    pending.samplesFd = samples;
    pending.sequence = request.sequence;
}

// Waits for the reply to the request sent last and for the child's end.
// Returns 0, or -1 with SDL_GetError() giving the reason and nothing in out.
static int CollectDecode(DecodedMap *out) {
    *out = DecodedMap{};
    const PendingDecode pending = decoderService.pending;
    decoderService.pending = PendingDecode{};
    if (!pending.waiting) {
        SDL_SetError("nothing was asked of the image decoder");
        return -1;
    }
    if (pending.failure[0] != '\0') {
        SDL_SetError("%s", pending.failure);
        return -1;
    }
    const auto deadline =
        Clock::now() + std::chrono::seconds(DecodeWallSeconds + ServiceGraceSeconds);
    char replyText[MaxImageErrorText + 160];
    DecodedMap decoded;
    const int replied = ReadReply(pending.replyFd, pending.samplesFd, deadline, &decoded, replyText,
                                  sizeof replyText);
    close(pending.replyFd);
    if (pending.samplesFd >= 0) {
        close(pending.samplesFd);
    }

    DecodeOutcome outcome;
    char endText[160];
    const char *failure = nullptr;
    if (ReceiveOutcome(pending.sequence, deadline, &outcome) != 0) {
        StopImageDecoder();
        failure = "the image decoder service has stopped";
    } else if (DescribeDecoderEnd(static_cast<DecoderEnd>(outcome.end), outcome.value, endText,
                                  sizeof endText) != 0) {
        failure = endText;
    } else if (replied != 0) {
        failure = replyText;
    }
    if (failure) {
        FreeDecodedMap(&decoded);
        SDL_SetError("%s", failure);
        return -1;
    }
    *out = decoded;
    return 0;
}

SDL_Surface *LoadImageIsolated(const char *file) {
    SendDecode(file, DecodeAnImage);
    DecodedMap decoded;
    return CollectDecode(&decoded) == 0 ? decoded.image : nullptr;
}

void FreeMapSamples(const uint16_t *samples, size_t count) {
    if (samples) {
        munmap(const_cast<uint16_t *>(samples), SamplesMappingBytes(count));
    }
}

void FreeDecodedMap(DecodedMap *map) {
    SDL_FreeSurface(map->image);
    FreeMapSamples(map->samples,
                   static_cast<size_t>(map->width) * static_cast<size_t>(map->height));
    *map = DecodedMap{};
}

void RequestMapIsolated(const char *file) {
    SendDecode(file, DecodeAMap);
}

int ReceiveMapIsolated(DecodedMap *out) {
    return CollectDecode(out);
}

int LoadMapIsolated(const char *file, DecodedMap *out) {
    RequestMapIsolated(file);
    return ReceiveMapIsolated(out);
}
