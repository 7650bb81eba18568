// libFuzzer target for the BMF parser: any bytes either parse into a sheet of
// exactly W x H texels or are refused, with nothing read or written outside
// the buffers and nothing leaked. The same bytes go through the stream
// reader (as LoadBmfFont reads a file) and the memory reader, which must
// agree; the glyph placement and text measuring run on every parsed font.
#include "font/bmf_parse.h"
#include "font/text_layout.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

static void Check(bool condition, const char *what) {
    if (!condition) {
        fprintf(stderr, "fuzz_bmf: %s\n", what);
        abort();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
    BmfData fromMemory;
    int memoryResult = ParseBmfMemory(bytes, size, &fromMemory);

    int fileResult = -1;
    BmfData fromFile = {};
    // fmemopen refuses an empty buffer; an empty file is refused anyway.
    FILE *file = size > 0 ? fmemopen(const_cast<uint8_t *>(bytes), size, "rb") : nullptr;
    if (file) {
        fileResult = ParseBmfFile(file, &fromFile);
        fclose(file);
    }
    if (size > 0 && file) {
        Check(fileResult == memoryResult, "file and memory readers disagree");
    }
    if (memoryResult != 0) {
        Check(fromMemory.sheet == nullptr, "a refused file left a sheet");
        return 0;
    }

    const BmfData &d = fromMemory;
    Check(d.version == 256 || d.version == 257, "version");
    Check(d.sheetWidth > 0 && d.sheetWidth <= BmfMaxSheetWidth, "sheet width");
    Check(d.sheetHeight == (d.version == 256 ? d.sheetWidth / 2 : d.sheetWidth), "height");
    size_t sheetSize = static_cast<size_t>(d.sheetWidth) * d.sheetHeight;
    // Touch the first and last texel: ASan checks the buffer's extent.
    volatile unsigned char edge = d.sheet[0];
    edge = d.sheet[sheetSize - 1];
    (void)edge;
    if (fileResult == 0) {
        Check(memcmp(fromFile.sheet, d.sheet, sheetSize) == 0, "sheets differ");
        Check(memcmp(fromFile.widths, d.widths, sizeof d.widths) == 0, "widths differ");
        FreeBmfData(&fromFile);
    }
    for (int c = 0; c < 32; ++c) {
        Check(d.widths[c] == 0, "a width below 32");
    }
    for (int i = 0; i < d.glyphCount; ++i) {
        BmfGlyphPlace p =
            PlaceBmfGlyph(i, d.widths[32 + i], d.header[2], d.sheetWidth, d.sheetHeight);
        Check(p.x1 - p.x0 == d.widths[32 + i] && p.y1 - p.y0 == d.header[2], "glyph size");
    }
    char text[257];
    for (int c = 1; c < 256; ++c) {
        text[c - 1] = static_cast<char>(c);
    }
    text[255] = '\0';
    Check(MeasureTextWidth(d.widths, text, 1.0f) >= 0.0f, "width");
    FreeBmfData(&fromMemory);
    return 0;
}
