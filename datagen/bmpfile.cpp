#include "datagen/bmpfile.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <vector>

static void Put16(std::vector<unsigned char> &out, uint16_t v) {
    out.push_back(static_cast<unsigned char>(v & 0xFF));
    out.push_back(static_cast<unsigned char>(v >> 8));
}

static void Put32(std::vector<unsigned char> &out, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<unsigned char>((v >> (8 * i)) & 0xFF));
    }
}

int WriteBmp(const char *path, int w, int h, int bytesPerPixel, const unsigned char *pixels) {
    if (!path || !pixels || w < 1 || h < 1 || w > MaxBmpSide || h > MaxBmpSide ||
        (bytesPerPixel != 1 && bytesPerPixel != 3 && bytesPerPixel != 4)) {
        errno = EINVAL;
        return -1;
    }
    const bool grey = bytesPerPixel == 1;
    const uint32_t rowBytes = static_cast<uint32_t>(w) * static_cast<uint32_t>(bytesPerPixel);
    const uint32_t stride = (rowBytes + 3u) & ~3u;
    const uint32_t dataSize = stride * static_cast<uint32_t>(h);
    const uint32_t paletteSize = grey ? 256u * 4u : 0u;
    const uint32_t headerSize = 14 + 40 + paletteSize;

    std::vector<unsigned char> file;
    file.reserve(headerSize + dataSize);
    file.push_back('B');
    file.push_back('M');
    Put32(file, headerSize + dataSize);
    Put32(file, 0);
    Put32(file, headerSize);
    Put32(file, 40); // BITMAPINFOHEADER
    Put32(file, static_cast<uint32_t>(w));
    Put32(file, static_cast<uint32_t>(h)); // positive: rows stored bottom-up
    Put16(file, 1);
    Put16(file, static_cast<uint16_t>(bytesPerPixel * 8));
    Put32(file, 0); // no compression
    Put32(file, dataSize);
    // Height maps have always carried no resolution and a full palette count;
    // textures 72 dots per inch and none.
    Put32(file, grey ? 0u : 2835u);
    Put32(file, grey ? 0u : 2835u);
    Put32(file, grey ? 256u : 0u);
    Put32(file, 0);
    if (grey) {
        for (uint32_t i = 0; i < 256; ++i) {
            const unsigned char level = static_cast<unsigned char>(i);
            file.insert(file.end(), {level, level, level, 0}); // B, G, R, unused
        }
    }

    // The decoder turns the bottom-up file upside down, so the last stored
    // row becomes the first decoded one; pixel bytes stay in file order.
    for (int fileRow = 0; fileRow < h; ++fileRow) {
        const unsigned char *src = pixels + static_cast<size_t>(h - 1 - fileRow) * rowBytes;
        file.insert(file.end(), src, src + rowBytes);
        file.insert(file.end(), stride - rowBytes, 0);
    }

    FILE *f = fopen(path, "wb");
    if (!f) {
        return -1;
    }
    errno = 0;
    const size_t written = fwrite(file.data(), 1, file.size(), f);
    const int writeErrno = errno;
    const int closed = fclose(f);
    if (written != file.size()) {
        errno = writeErrno != 0 ? writeErrno : EIO;
        return -1;
    }
    return closed == 0 ? 0 : -1;
}
