#include "font/bmf_parse.h"

#include <cstdlib>
#include <cstring>

// The run-length data is read through a buffer of this size (even, so that
// no pair is split between two reads) instead of all L bytes at once: a
// file that claims a huge L then fails at its real end, not in malloc.
static const size_t RunChunkSize = 4096;

int BmfGlyphCount(int version) {
    if (version == BmfVersion256) {
        return 96;
    }
    if (version == BmfVersion257) {
        return 224;
    }
    return 0;
}

int BmfSheetHeight(int version, int sheetWidth) {
    return version == BmfVersion256 ? sheetWidth / 2 : sheetWidth;
}

// Reads exactly size bytes. Returns 0, or -1 on a short read.
static int ReadExactly(BmfSource *source, void *out, size_t size) {
    if (source->file) {
        return fread(out, 1, size, source->file) == size ? 0 : -1;
    }
    if (source->size - source->position < size) {
        source->position = source->size;
        return -1;
    }
    memcpy(out, source->data + source->position, size);
    source->position += size;
    return 0;
}

static int ReadU16(BmfSource *source, unsigned *value) {
    unsigned char b[2];
    if (ReadExactly(source, b, sizeof b) != 0) {
        return -1;
    }
    *value = b[0] | (static_cast<unsigned>(b[1]) << 8);
    return 0;
}

static int ReadS32(BmfSource *source, long *value) {
    unsigned char b[4];
    if (ReadExactly(source, b, sizeof b) != 0) {
        return -1;
    }
    unsigned long u = b[0] | (static_cast<unsigned long>(b[1]) << 8) |
                      (static_cast<unsigned long>(b[2]) << 16) |
                      (static_cast<unsigned long>(b[3]) << 24);
    *value = u >= 0x80000000ul ? static_cast<long>(u) - 0x100000000l : static_cast<long>(u);
    return 0;
}

size_t ExpandBmfRuns(const unsigned char *runs, size_t length, unsigned char *sheet,
                     size_t sheetSize, size_t filled) {
    for (size_t i = 0; i + 1 < length && filled < sheetSize; i += 2) {
        size_t count = runs[i];
        if (count > sheetSize - filled) {
            count = sheetSize - filled;
        }
        memset(sheet + filled, runs[i + 1], count);
        filled += count;
    }
    return filled;
}

void FreeBmfData(BmfData *data) {
    free(data->sheet);
    data->sheet = nullptr;
}

int ParseBmf(BmfSource *source, BmfData *data) {
    memset(data, 0, sizeof *data);

    unsigned char magic[4];
    if (ReadExactly(source, magic, sizeof magic) != 0 || memcmp(magic, "BMF ", 4) != 0) {
        return -1;
    }
    unsigned version = 0;
    if (ReadU16(source, &version) != 0) {
        return -1;
    }
    int glyphs = BmfGlyphCount(static_cast<int>(version));
    if (glyphs == 0) {
        return -1;
    }
    data->version = static_cast<int>(version);
    data->glyphCount = glyphs;
    if (ReadExactly(source, data->header, BmfHeaderSize) != 0 ||
        ReadExactly(source, data->widths + 32, static_cast<size_t>(glyphs)) != 0) {
        return -1;
    }

    long width = 0;
    if (ReadS32(source, &width) != 0 || width <= 0 || width > BmfMaxSheetWidth) {
        return -1;
    }
    int height = BmfSheetHeight(data->version, static_cast<int>(width));
    if (height <= 0) {
        return -1;
    }
    long length = 0;
    if (ReadS32(source, &length) != 0 || length < 0) {
        return -1;
    }

    size_t sheetSize = static_cast<size_t>(width) * static_cast<size_t>(height);
    unsigned char *sheet = static_cast<unsigned char *>(calloc(sheetSize, 1));
    if (!sheet) {
        return -1;
    }
    unsigned char runs[RunChunkSize];
    size_t left = static_cast<size_t>(length);
    size_t filled = 0;
    while (left > 0) {
        size_t chunk = left < RunChunkSize ? left : RunChunkSize;
        if (ReadExactly(source, runs, chunk) != 0) {
            free(sheet);
            return -1;
        }
        filled = ExpandBmfRuns(runs, chunk, sheet, sheetSize, filled);
        left -= chunk;
    }

    data->sheetWidth = static_cast<int>(width);
    data->sheetHeight = height;
    data->sheet = sheet;
    return 0;
}

int ParseBmfFile(FILE *file, BmfData *data) {
    BmfSource source = {file, nullptr, 0, 0};
    return ParseBmf(&source, data);
}

int ParseBmfMemory(const unsigned char *bytes, size_t size, BmfData *data) {
    BmfSource source = {nullptr, bytes, bytes ? size : 0, 0};
    return ParseBmf(&source, data);
}

BmfGlyphPlace PlaceBmfGlyph(int i, int w, int h, int sheetWidth, int sheetHeight) {
    BmfGlyphPlace p;
    int col = i % BmfCellsPerRow;
    int row = i / BmfCellsPerRow;
    // Cells are W / 16 square in both directions, also on the half-height
    // sheet of version 256.
    p.centreX = (col * sheetWidth) / BmfCellsPerRow + sheetWidth / (2 * BmfCellsPerRow);
    p.centreY = (row * sheetWidth) / BmfCellsPerRow + sheetWidth / (2 * BmfCellsPerRow);
    p.x0 = p.centreX - w / 2;
    p.x1 = p.x0 + w;
    p.y0 = p.centreY - h / 2;
    p.y1 = p.y0 + h;
    float fw = sheetWidth > 0 ? static_cast<float>(sheetWidth) : 1.0f;
    float fh = sheetHeight > 0 ? static_cast<float>(sheetHeight) : 1.0f;
    p.s0 = static_cast<float>(p.x0) / fw;
    p.s1 = static_cast<float>(p.x1) / fw;
    p.t0 = static_cast<float>(p.y0) / fh;
    p.t1 = static_cast<float>(p.y1) / fh;
    return p;
}
