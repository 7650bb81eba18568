// fontc: compiles a TrueType or OpenType font into a BMF bitmap font.
//
//   fontc FONT.ttf OUT.bmf [--version 256|257] [--sheet W] [--height H]
//         [--size PIXELS] [--fit TEXT WIDTH]
//
// Defaults: version 256, sheet width 256 (16 x 16-texel cells), height 14,
// the largest pixel size whose glyphs fit their cells and the height. With
// --fit the chosen size also keeps TEXT (Latin-1 bytes) within WIDTH
// texels. --size rasterises at exactly PIXELS and fails if that does not fit.
// On success prints one line describing the font; on failure one line to
// stderr and exits with status 1.
#include "datagen/fontc_lib.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include "datagen/cli.h"

namespace {

void Usage() {
    fprintf(stderr, "usage: fontc FONT.ttf OUT.bmf [--version 256|257] [--sheet W] [--height H] "
                    "[--size PIXELS] [--fit TEXT WIDTH]\n");
}

// A whole number from 0 to max into an int.
int ParseInt(const char *text, unsigned long long max, int *value) {
    unsigned long long v = 0;
    if (ParseWholeNumber(text, max, &v) != 0) {
        return -1;
    }
    *value = static_cast<int>(v);
    return 0;
}

int TextWidthIn(const BmfImage &image, const char *text) {
    int sum = 0;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p; ++p) {
        sum += image.widths[*p];
    }
    return sum;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 3) {
        Usage();
        return 1;
    }
    FontcOptions options = {argv[1], 256, 256, 14, 0, nullptr, 0};
    const char *outPath = argv[2];
    for (int i = 3; i < argc; ++i) {
        const char *flag = argv[i];
        const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
        int ok = -1;
        if (strcmp(flag, "--version") == 0) {
            ok = ParseInt(value, 65535, &options.version);
        } else if (strcmp(flag, "--sheet") == 0) {
            ok = ParseInt(value, 1000000, &options.sheetWidth);
        } else if (strcmp(flag, "--height") == 0) {
            ok = ParseInt(value, 1000000, &options.height);
        } else if (strcmp(flag, "--size") == 0) {
            ok = ParseInt(value, 1000000, &options.pixelSize);
        } else if (strcmp(flag, "--fit") == 0 && i + 2 < argc) {
            options.fitText = value;
            ok = ParseInt(argv[i + 2], 1000000, &options.fitWidth);
            ++i;
        }
        if (ok != 0) {
            Usage();
            return 1;
        }
        ++i;
    }

    BmfImage image;
    std::string error;
    if (CompileBmfFont(&options, &image, &error) != 0) {
        fprintf(stderr, "fontc: %s: %s\n", options.fontPath, error.c_str());
        return 1;
    }
    std::vector<unsigned char> bytes;
    if (SerializeBmf(&image, &bytes) != 0) {
        fprintf(stderr, "fontc: the compiled font does not make a BMF file\n");
        return 1;
    }
    if (WriteBytesFile(outPath, bytes, &error) != 0) {
        fprintf(stderr, "fontc: %s\n", error.c_str());
        return 1;
    }
    printf("fontc: %s: version %d, sheet %d x %d, height %d, %d px", outPath, image.version,
           image.sheetWidth, static_cast<int>(image.sheet.size()) / image.sheetWidth,
           image.header[FontcHeaderHeight], image.header[FontcHeaderPixels]);
    if (options.fitText) {
        printf(", \"%s\" %d texels wide", options.fitText, TextWidthIn(image, options.fitText));
    }
    printf(", %zu bytes\n", bytes.size());
    return 0;
}
