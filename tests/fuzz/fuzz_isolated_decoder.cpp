// libFuzzer target over the whole isolated image path: each input is written
// to a file and decoded afresh in a decoder child, as an image or, for
// inputs of an even length, as a height map (which takes 16-bit grey PNGs
// in one pass or through libpng). Whatever the bytes, the fuzzing process
// must survive and get either a well-formed surface or samples, every byte
// of which it can read, or a failure with a reason. Each input also goes
// through the one-pass inflation in this process, which must agree with
// libpng on every file it takes.
#include "decoder/image_decoder.h"
#include "decoder/png16.h"

#include <SDL/SDL.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

static std::string inputPath;

static void Check(bool condition, const char *what) {
    if (!condition) {
        fprintf(stderr, "fuzz_isolated_decoder: %s\n", what);
        abort();
    }
}

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    // Before libFuzzer starts any thread of its own.
    Check(StartImageDecoder() == 0, "the decoder service did not start");
    char dir[] = "/tmp/vorn-fuzz-decoder-XXXXXX";
    Check(mkdtemp(dir) != nullptr, "no scratch directory");
    // The extension lets the library try every format, TGA too.
    inputPath = std::string(dir) + "/input.tga";
    return 0;
}

// The one-pass inflation of plain 16-bit PNGs, in this process: a file it
// takes, libpng takes too, with the same samples.
static void CompareWithLibpng(const uint8_t *bytes, size_t size) {
    const uint64_t maxBytes = 1 << 26;
    std::vector<unsigned char> copy(bytes, bytes + size);
    uint32_t w = 0, h = 0;
    if (ReadPlainGrey16PngHead(copy.data(), size, maxBytes, &w, &h) != 0) {
        return;
    }
    std::vector<unsigned char> work(PlainGrey16PngWorkBytes(w, h));
    if (InflatePlainGrey16Png(copy.data(), size, maxBytes, work.data(), work.size()) != 0) {
        return;
    }
    SDL_RWops *source = SDL_RWFromConstMem(bytes, static_cast<int>(size));
    Check(source != nullptr, "no memory source");
    uint16_t *slow = nullptr;
    uint32_t sw = 0, sh = 0;
    char why[256];
    Check(DecodeGrey16PngWithLibpng(source, maxBytes, &slow, &sw, &sh, why, sizeof why) == 0,
          "the one-pass inflation took a file that libpng refuses");
    SDL_RWclose(source);
    Check(sw == w && sh == h && memcmp(work.data(), slow, static_cast<size_t>(w) * h * 2) == 0,
          "the one-pass inflation and libpng give different samples");
    free(slow);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
    CompareWithLibpng(bytes, size);
    FILE *file = fopen(inputPath.c_str(), "wb");
    Check(file != nullptr, "cannot write the input file");
    Check(fwrite(bytes, 1, size, file) == size, "cannot write the input");
    fclose(file);
    SDL_Surface *surface = nullptr;
    if (size % 2 == 0) {
        DecodedMap map;
        if (LoadMapIsolated(inputPath.c_str(), &map) != 0) {
            Check(SDL_GetError()[0] != '\0', "a failed decode without a reason");
            return 0;
        }
        Check((map.image != nullptr) != (map.samples != nullptr), "neither an image nor samples");
        Check(map.width >= 0 && map.height >= 0, "a negative size");
        unsigned sum = 0;
        for (size_t i = 0; map.samples && i < size_t(map.width) * size_t(map.height); ++i) {
            sum += map.samples[i];
        }
        volatile unsigned keep = sum;
        (void)keep;
        surface = map.image;
        map.image = nullptr;
        FreeDecodedMap(&map);
    } else {
        surface = LoadImageIsolated(inputPath.c_str());
    }
    if (!surface) {
        Check(SDL_GetError()[0] != '\0', "a failed decode without a reason");
        return 0;
    }
    Check(surface->format && surface->w >= 0 && surface->h >= 0, "a malformed surface");
    Check(surface->pitch >= surface->w * surface->format->BytesPerPixel, "rows too short");
    const uint8_t *pixels = static_cast<const uint8_t *>(surface->pixels);
    unsigned sum = 0;
    for (size_t i = 0; i < size_t(surface->pitch) * size_t(surface->h); ++i) {
        sum += pixels[i];
    }
    if (surface->format->palette) {
        const SDL_Palette *palette = surface->format->palette;
        Check(palette->ncolors >= 0 && palette->ncolors <= 256, "a malformed palette");
        for (int i = 0; i < palette->ncolors; ++i) {
            sum += palette->colors[i].r;
        }
    }
    volatile unsigned keep = sum;
    (void)keep;
    SDL_FreeSurface(surface);
    return 0;
}
