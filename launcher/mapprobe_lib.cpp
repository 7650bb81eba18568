#include "launcher/mapprobe_lib.h"

#include <sys/stat.h>

#include <cstdint>
#include <cstring>
#include <strings.h>

namespace {

uint32_t Le16(const unsigned char *p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8);
}

uint32_t Le32(const unsigned char *p) {
    return Le16(p) | (Le16(p + 2) << 16);
}

uint32_t Be32(const unsigned char *p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

int ReadPng(const unsigned char *d, size_t n, ImageHeader *h) {
    static const unsigned char Signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (n < 8 || memcmp(d, Signature, 8) != 0) {
        return 0;
    }
    if (n < 26 || memcmp(d + 12, "IHDR", 4) != 0) {
        return -1;
    }
    uint32_t w = Be32(d + 16), hgt = Be32(d + 20);
    unsigned depth = d[24], colour = d[25];
    h->format = "png";
    h->width = w > 0x7fffffffu ? -1 : static_cast<long>(w);
    h->height = hgt > 0x7fffffffu ? -1 : static_cast<long>(hgt);
    // Grey and palettised images of up to 8 bits decode to one byte a pixel.
    // 16-bit grey is a map of 65536 levels; with alpha or colour it is
    // elevation data or a picture, for the converter.
    h->eightBit = (colour == 0 && depth <= 8) || (colour == 3 && depth <= 8);
    h->grey16 = colour == 0 && depth == 16;
    return 1;
}

int ReadBmp(const unsigned char *d, size_t n, ImageHeader *h) {
    if (n < 2 || d[0] != 'B' || d[1] != 'M') {
        return 0;
    }
    if (n < 18) {
        return -1;
    }
    uint32_t infoSize = Le32(d + 14);
    long w, hgt;
    unsigned bits;
    if (infoSize == 12) {
        if (n < 26) {
            return -1;
        }
        w = static_cast<long>(Le16(d + 18));
        hgt = static_cast<long>(Le16(d + 20));
        bits = Le16(d + 24);
    } else if (infoSize >= 40) {
        if (n < 34) {
            return -1;
        }
        int32_t sw = static_cast<int32_t>(Le32(d + 18)), sh = static_cast<int32_t>(Le32(d + 22));
        w = sw;
        // A negative height stores the rows top-down.
        hgt = sh == INT32_MIN ? -1 : (sh < 0 ? -static_cast<long>(sh) : static_cast<long>(sh));
        bits = Le16(d + 28);
    } else {
        return -1;
    }
    h->format = "bmp";
    h->width = w;
    h->height = hgt;
    h->eightBit = bits == 1 || bits == 4 || bits == 8;
    return 1;
}

// The first image's own size: a GIF decodes to its first frame.
int ReadGif(const unsigned char *d, size_t n, ImageHeader *h) {
    if (n < 6 || (memcmp(d, "GIF87a", 6) != 0 && memcmp(d, "GIF89a", 6) != 0)) {
        return 0;
    }
    if (n < 13) {
        return -1;
    }
    size_t at = 13;
    if (d[10] & 0x80) {
        at += static_cast<size_t>(3) << ((d[10] & 7) + 1);
    }
    while (at < n) {
        if (d[at] == 0x2c) {
            if (n - at < 10) {
                return -1;
            }
            h->format = "gif";
            h->width = static_cast<long>(Le16(d + at + 5));
            h->height = static_cast<long>(Le16(d + at + 7));
            h->eightBit = 1;
            return 1;
        }
        if (d[at] != 0x21 || n - at < 2) {
            return -1;
        }
        // An extension: its label, then sub-blocks up to an empty one.
        at += 2;
        while (at < n && d[at] != 0) {
            at += static_cast<size_t>(d[at]) + 1;
        }
        ++at;
    }
    return -1;
}

int ReadPcx(const unsigned char *d, size_t n, ImageHeader *h) {
    if (n < 3 || d[0] != 0x0a || d[2] != 1 || (d[1] != 0 && d[1] != 2 && d[1] != 3 && d[1] != 5)) {
        return 0;
    }
    if (n < 66) {
        return -1;
    }
    long xmin = static_cast<long>(Le16(d + 4)), ymin = static_cast<long>(Le16(d + 6));
    long xmax = static_cast<long>(Le16(d + 8)), ymax = static_cast<long>(Le16(d + 10));
    unsigned bits = d[3], planes = d[65];
    h->format = "pcx";
    h->width = xmax - xmin + 1;
    h->height = ymax - ymin + 1;
    h->eightBit = (bits == 1 && planes >= 1 && planes <= 4) || (bits == 8 && planes == 1);
    return 1;
}

int ReadTga(const unsigned char *d, size_t n, const char *name, ImageHeader *h) {
    const char *dot = name ? strrchr(name, '.') : nullptr;
    if (!dot || strcasecmp(dot, ".tga") != 0) {
        return 0;
    }
    if (n < 18) {
        return -1;
    }
    unsigned mapType = d[1], type = d[2], depth = d[16];
    h->format = "tga";
    h->width = static_cast<long>(Le16(d + 12));
    h->height = static_cast<long>(Le16(d + 14));
    h->eightBit =
        depth == 8 && (((type == 1 || type == 9) && mapType == 1) || type == 3 || type == 11);
    return 1;
}

// One decimal field of a PNM (or XPM) header, after blanks and comments. Returns the
// number, or -1.
long PnmNumber(const unsigned char *d, size_t n, size_t *at) {
    while (*at < n) {
        unsigned char c = d[*at];
        if (c == '#') {
            while (*at < n && d[*at] != '\n') {
                ++*at;
            }
        } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            ++*at;
        } else {
            break;
        }
    }
    long value = 0;
    size_t start = *at;
    while (*at < n && d[*at] >= '0' && d[*at] <= '9') {
        if (value > 100000000) {
            return -1;
        }
        value = value * 10 + (d[*at] - '0');
        ++*at;
    }
    return *at == start ? -1 : value;
}

int ReadPnm(const unsigned char *d, size_t n, ImageHeader *h) {
    if (n < 2 || d[0] != 'P' || d[1] < '1' || d[1] > '6') {
        return 0;
    }
    char kind = static_cast<char>(d[1]);
    size_t at = 2;
    long w = PnmNumber(d, n, &at);
    long hgt = PnmNumber(d, n, &at);
    long maxval = kind == '1' || kind == '4' ? 1 : PnmNumber(d, n, &at);
    if (w < 0 || hgt < 0 || maxval < 0) {
        return -1;
    }
    h->format = "pnm";
    h->width = w;
    h->height = hgt;
    // Bitmaps and greymaps of up to 255 levels decode to one byte a pixel.
    h->eightBit = kind == '1' || kind == '4' || ((kind == '2' || kind == '5') && maxval <= 255);
    return 1;
}

// An XPM picture: C source whose first string holds "width height colours
// chars-per-pixel". Up to 256 colours decode to one byte a pixel.
int ReadXpm(const unsigned char *d, size_t n, ImageHeader *h) {
    static const char Marker[] = "/* XPM */";
    const size_t markerSize = sizeof Marker - 1;
    if (n < markerSize || memcmp(d, Marker, markerSize) != 0) {
        return 0;
    }
    size_t at = markerSize;
    while (at < n && d[at] != '"') {
        ++at;
    }
    if (at >= n) {
        return -1;
    }
    ++at;
    long w = PnmNumber(d, n, &at);
    long hgt = PnmNumber(d, n, &at);
    long colours = PnmNumber(d, n, &at);
    if (w < 0 || hgt < 0 || colours < 0) {
        return -1;
    }
    h->format = "xpm";
    h->width = w;
    h->height = hgt;
    h->eightBit = colours <= 256;
    return 1;
}

} // namespace

int ProbeHeightMapHeader(const unsigned char *data, size_t size, const char *name,
                         ImageHeader *header) {
    header->format = nullptr;
    header->width = 0;
    header->height = 0;
    header->eightBit = 0;
    header->grey16 = 0;
    if (!data) {
        return 0;
    }
    // The image library takes a ".tga" name for TGA before any signature.
    int found = ReadTga(data, size, name, header);
    if (found == 0) {
        found = ReadPng(data, size, header);
    }
    if (found == 0) {
        found = ReadBmp(data, size, header);
    }
    if (found == 0) {
        found = ReadGif(data, size, header);
    }
    if (found == 0) {
        found = ReadPcx(data, size, header);
    }
    if (found == 0) {
        found = ReadPnm(data, size, header);
    }
    if (found == 0) {
        found = ReadXpm(data, size, header);
    }
    if (found != 1) {
        header->format = nullptr;
        return 0;
    }
    return (header->eightBit || header->grey16) && header->width >= 1 &&
           header->width <= MaxProbeSide && header->width == header->height;
}

const char *RefusedFileKind(mode_t mode) {
    if (S_ISREG(mode)) {
        return nullptr;
    }
    if (S_ISFIFO(mode)) {
        return "a named pipe";
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return "a device";
    }
    if (S_ISSOCK(mode)) {
        return "a socket";
    }
    if (S_ISDIR(mode)) {
        return "a folder";
    }
    return "a special file";
}
