#include "decoder/png16.h"

#include <SDL/SDL.h>
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int IsGrey16PngHead(const unsigned char *head, size_t n) {
    static const unsigned char Signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (n < PngHeadBytes || memcmp(head, Signature, sizeof Signature) != 0 ||
        memcmp(head + 12, "IHDR", 4) != 0) {
        return 0;
    }
    const unsigned char depth = head[24];
    const unsigned char colourType = head[25];
    return depth == 16 && colourType == PNG_COLOR_TYPE_GRAY ? 1 : 0;
}

namespace {

struct PngRead {
    SDL_RWops *source;
    char *why;
    size_t whySize;
};

void ReadBytes(png_structp png, png_bytep data, png_size_t length) {
    const PngRead *read = static_cast<const PngRead *>(png_get_io_ptr(png));
    if (SDL_RWread(read->source, data, 1, static_cast<int>(length)) != static_cast<int>(length)) {
        png_error(png, "the file ends early");
    }
}

[[noreturn]] void OnError(png_structp png, png_const_charp message) {
    const PngRead *read = static_cast<const PngRead *>(png_get_error_ptr(png));
    snprintf(read->why, read->whySize, "%s", message);
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

} // namespace

int DecodeGrey16Png(SDL_RWops *source, uint64_t maxBytes, uint16_t **samples, uint32_t *width,
                    uint32_t *height, char *why, size_t whySize) {
    *samples = nullptr;
    PngRead read = {source, why, whySize};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &read, OnError, OnWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        snprintf(why, whySize, "Out of memory");
        return -1;
    }
    // Written between setjmp and a longjmp back to it.
    uint16_t *volatile pixels = nullptr;
    png_bytep *volatile rows = nullptr;
    if (setjmp(png_jmpbuf(png))) {
        free(pixels);
        free(rows);
        png_destroy_read_struct(&png, &info, nullptr);
        return -1;
    }
    png_set_read_fn(png, &read, ReadBytes);
    png_set_user_limits(png, 0xFFFF, 0xFFFF);
    png_read_info(png, info);
    png_uint_32 w = 0, h = 0;
    int depth = 0, colourType = 0;
    png_get_IHDR(png, info, &w, &h, &depth, &colourType, nullptr, nullptr, nullptr);
    if (depth != 16 || colourType != PNG_COLOR_TYPE_GRAY) {
        png_error(png, "not a single-channel 16-bit PNG");
    }
    const uint64_t bytes = static_cast<uint64_t>(w) * h * 2;
    if (bytes > maxBytes) {
        png_error(png, "the image holds more pixel bytes than a decode may");
    }
    // PNG keeps samples big-endian.
    const uint16_t probe = 1;
    unsigned char first;
    memcpy(&first, &probe, 1);
    if (first == 1) {
        png_set_swap(png);
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != static_cast<png_size_t>(w) * 2) {
        png_error(png, "the decoded rows are not 16-bit single samples");
    }
    pixels = static_cast<uint16_t *>(malloc(bytes > 0 ? bytes : 1));
    rows = static_cast<png_bytep *>(malloc(sizeof(png_bytep) * (h > 0 ? h : 1)));
    if (!pixels || !rows) {
        png_error(png, "Out of memory");
    }
    for (png_uint_32 r = 0; r < h; ++r) {
        rows[r] = reinterpret_cast<png_bytep>(pixels + static_cast<size_t>(r) * w);
    }
    png_read_image(png, rows);
    free(rows);
    png_destroy_read_struct(&png, &info, nullptr);
    *samples = pixels;
    *width = w;
    *height = h;
    return 0;
}
