// mapprobe: tells whether the viewer shows a file as a height map as it is.
//
//   mapprobe FILE
//
// Exit status 0, with the map's side on standard output, when FILE is a
// square image of 1 to 4096 pixels that the viewer's decoder reads: 8-bit,
// or a single-channel 16-bit PNG; 1 when it is any other file (one line on
// stderr says why); 2 when it cannot be read or is not a regular file (a
// named pipe, a device, a socket), which it never reads. Only a header that
// passes is handed to the decoder, so a large or unknown file is never
// decoded, and the decoding runs in the viewer's own isolated decoder, as
// the viewer asks for a map.
#include <SDL.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <vector>

#include "decoder/image_decoder.h"
#include "launcher/mapprobe_lib.h"

namespace {

// Enough for every header the probe reads, a GIF's extensions included.
constexpr size_t HeaderBytes = size_t{64} * 1024;

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: mapprobe FILE\n");
        return 2;
    }
    const char *path = argv[1];
    // Only a regular file is opened, and without waiting: a named pipe
    // swapped in after the check would otherwise block the open for ever.
    struct stat st;
    if (stat(path, &st) != 0) {
        fprintf(stderr, "mapprobe: cannot open %s: %s\n", path, strerror(errno));
        return 2;
    }
    if (const char *kind = RefusedFileKind(st.st_mode)) {
        fprintf(stderr, "mapprobe: %s: is %s, not a regular file\n", path, kind);
        return 2;
    }
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        fprintf(stderr, "mapprobe: cannot open %s: %s\n", path, strerror(errno));
        return 2;
    }
    if (fstat(fd, &st) != 0) {
        fprintf(stderr, "mapprobe: cannot read %s: %s\n", path, strerror(errno));
        close(fd);
        return 2;
    }
    if (const char *kind = RefusedFileKind(st.st_mode)) {
        fprintf(stderr, "mapprobe: %s: is %s, not a regular file\n", path, kind);
        close(fd);
        return 2;
    }
    std::vector<unsigned char> head(HeaderBytes);
    size_t got = 0;
    int readError = 0;
    while (got < head.size()) {
        const ssize_t n = read(fd, head.data() + got, head.size() - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            readError = n < 0;
            break;
        }
        got += static_cast<size_t>(n);
    }
    close(fd);
    if (readError) {
        fprintf(stderr, "mapprobe: cannot read %s\n", path);
        return 2;
    }

    ImageHeader header;
    if (!ProbeHeightMapHeader(head.data(), got, path, &header)) {
        if (header.format) {
            fprintf(stderr,
                    "mapprobe: %s: a %s image of %ld x %ld, neither an 8-bit square one nor a "
                    "square 16-bit grey PNG\n",
                    path, header.format, header.width, header.height);
        } else {
            fprintf(stderr, "mapprobe: %s: not an image the viewer reads\n", path);
        }
        return 1;
    }

    // The header says yes: the decoder has the last word, as in the viewer,
    // and decodes the file as the viewer does, a 16-bit grey PNG to its
    // samples.
    DecodedMap map;
    if (LoadMapIsolated(path, &map) != 0) {
        fprintf(stderr, "mapprobe: %s: %s\n", path, SDL_GetError());
        StopImageDecoder();
        return 1;
    }
    const int eightBit = map.image && map.image->format->BitsPerPixel == 8;
    const int side = map.width;
    const int ok = (eightBit || (map.samples && header.grey16)) && map.width == map.height &&
                   side >= 1 && side <= MaxProbeSide && side == header.width;
    FreeDecodedMap(&map);
    StopImageDecoder();
    if (!ok) {
        fprintf(stderr,
                "mapprobe: %s: decodes neither to an 8-bit square image nor to square 16-bit "
                "samples\n",
                path);
        return 1;
    }
    printf("%d\n", side);
    return 0;
}
