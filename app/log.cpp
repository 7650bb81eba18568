#include "app/log.h"

#include <cerrno>
#include <cstring>
#include <sys/types.h>

FILE *DebugLog = nullptr;

static ssize_t DiscardWrite(void *, const char *, size_t size) {
    return static_cast<ssize_t>(size);
}

static FILE *OpenDiscardStream() {
    cookie_io_functions_t io = {};
    io.write = DiscardWrite;
    return fopencookie(nullptr, "w", io);
}

int OpenDebugLog(const char *path) {
    DebugLog = fopen(path, "w");
    if (DebugLog) {
        // Whole lines reach the file at once, so the log survives a crash.
        setvbuf(DebugLog, nullptr, _IOLBF, 0);
        return 0;
    }
    fprintf(stderr, "vorn: cannot create the log file %s (%s); running without a log\n", path,
            strerror(errno));
    DebugLog = OpenDiscardStream();
    if (!DebugLog) {
        // Nothing else can be done; stderr still takes the lines.
        DebugLog = stderr;
    }
    return -1;
}
