#include "decoder/png16.h"

#include <SDL/SDL.h>
#include <libdeflate.h>
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// The largest side libpng is told to take.
constexpr uint32_t MaxPngSide = 0xFFFF;

// Signature and IHDR chunk: 8 + 4 + 4 + 13 + 4 bytes.
constexpr size_t PlainHeadBytes = 33;

uint32_t BigEndian32(const unsigned char *p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | p[3];
}

bool IsChunkLetter(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// True when the chunk at p (length, type, data, checksum, all within the
// file) has the checksum of its type and data.
bool ChunkChecksumHolds(const unsigned char *p, uint32_t length) {
    return libdeflate_crc32(0, p + 4, static_cast<size_t>(length) + 4) ==
           BigEndian32(p + 8 + length);
}

// Reads the signature and header of a plain file: single-channel 16-bit,
// not interlaced, sides libpng takes, at most maxBytes of samples. Returns
// 0 with the sides, or -1.
int ReadPlainHead(const unsigned char *file, size_t n, uint64_t maxBytes, uint32_t *width,
                  uint32_t *height) {
    if (n < PlainHeadBytes || !IsGrey16PngHead(file, n) || BigEndian32(file + 8) != 13 ||
        !ChunkChecksumHolds(file + 8, 13)) {
        return -1;
    }
    const unsigned char *fields = file + 16;
    const uint32_t w = BigEndian32(fields);
    const uint32_t h = BigEndian32(fields + 4);
    // Compression, filter method and interlacing: 0 each.
    if (w < 1 || h < 1 || w > MaxPngSide || h > MaxPngSide || fields[10] != 0 || fields[11] != 0 ||
        fields[12] != 0 || static_cast<uint64_t>(w) * h * 2 > maxBytes) {
        return -1;
    }
    *width = w;
    *height = h;
    return 0;
}

// Walks the chunks after the header up to the end of the first run of IDAT
// chunks, and gathers the run's data in place where the first one's data
// began. Ancillary chunks before the run are skipped, as libpng skips or
// only notes them; what follows the run is never read, as libpng reads no
// further either. Returns 0 with the data, or -1.
int GatherImageData(unsigned char *file, size_t n, unsigned char **data, size_t *length) {
    size_t at = PlainHeadBytes;
    unsigned char *gathered = nullptr;
    size_t gatheredBytes = 0;
    for (;;) {
        const bool inRun = gathered != nullptr;
        if (n - at < 12) {
            break;
        }
        const unsigned char *chunk = file + at;
        const uint32_t chunkLength = BigEndian32(chunk);
        const bool idat = memcmp(chunk + 4, "IDAT", 4) == 0;
        if (inRun && !idat) {
            break;
        }
        if (chunkLength > 0x7FFFFFFFu || n - at - 12 < chunkLength || !IsChunkLetter(chunk[4]) ||
            !IsChunkLetter(chunk[5]) || !IsChunkLetter(chunk[6]) || !IsChunkLetter(chunk[7])) {
            return -1;
        }
        if (idat) {
            if (!ChunkChecksumHolds(chunk, chunkLength)) {
                return -1;
            }
            if (!gathered) {
                gathered = file + at + 8;
            }
            memmove(gathered + gatheredBytes, chunk + 8, chunkLength);
            gatheredBytes += chunkLength;
        } else if ((chunk[4] & 0x20) == 0) {
            // A critical chunk before the image data: PLTE, IEND, or one
            // this pass does not know.
            return -1;
        }
        at += 12 + static_cast<size_t>(chunkLength);
    }
    if (!gathered) {
        return -1;
    }
    *data = gathered;
    *length = gatheredBytes;
    return 0;
}

// PNG's Paeth predictor of a byte from its left, upper and upper-left ones.
unsigned char Paeth(int left, int up, int upLeft) {
    const int guess = left + up - upLeft;
    const int toLeft = abs(guess - left);
    const int toUp = abs(guess - up);
    const int toUpLeft = abs(guess - upLeft);
    if (toLeft <= toUp && toLeft <= toUpLeft) {
        return static_cast<unsigned char>(left);
    }
    return static_cast<unsigned char>(toUp <= toUpLeft ? up : upLeft);
}

// Undoes the filter of one row of bytes, two to a sample, from its stored
// bytes and the row above. Returns 0, or -1 for an unknown filter.
int UnfilterRow(unsigned filter, const unsigned char *__restrict stored,
                const unsigned char *__restrict above, unsigned char *__restrict row,
                size_t bytes) {
    switch (filter) {
    case 0:
        memcpy(row, stored, bytes);
        return 0;
    case 1:
        for (size_t i = 0; i < bytes; ++i) {
            row[i] = static_cast<unsigned char>(stored[i] + (i >= 2 ? row[i - 2] : 0));
        }
        return 0;
    case 2: {
        size_t i = 0;
#if defined(__SSE2__)
        for (; i + 16 <= bytes; i += 16) {
            const __m128i sum =
                _mm_add_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(stored + i)),
                             _mm_loadu_si128(reinterpret_cast<const __m128i *>(above + i)));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(row + i), sum);
        }
#endif
        for (; i < bytes; ++i) {
            row[i] = static_cast<unsigned char>(stored[i] + above[i]);
        }
        return 0;
    }
    case 3:
        for (size_t i = 0; i < bytes; ++i) {
            const int left = i >= 2 ? row[i - 2] : 0;
            row[i] = static_cast<unsigned char>(stored[i] + ((left + above[i]) >> 1));
        }
        return 0;
    case 4:
        for (size_t i = 0; i < bytes; ++i) {
            const unsigned char predicted =
                i >= 2 ? Paeth(row[i - 2], above[i], above[i - 2]) : above[i];
            row[i] = static_cast<unsigned char>(stored[i] + predicted);
        }
        return 0;
    default:
        return -1;
    }
}

// Writes a row of big-endian bytes as samples in the machine's order.
void StoreSamples(const unsigned char *__restrict row, unsigned char *__restrict out,
                  size_t samples) {
    size_t i = 0;
#if defined(__SSE2__)
    // x86 is little-endian: each sample's two bytes change places.
    for (; i + 8 <= samples; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(row + 2 * i));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 2 * i),
                         _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8)));
    }
#endif
    for (; i < samples; ++i) {
        const uint16_t v = static_cast<uint16_t>(row[2 * i] << 8 | row[2 * i + 1]);
        memcpy(out + 2 * i, &v, 2);
    }
}

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

int ReadPlainGrey16PngHead(const unsigned char *file, size_t n, uint64_t maxBytes, uint32_t *width,
                           uint32_t *height) {
    return ReadPlainHead(file, n, maxBytes, width, height);
}

size_t PlainGrey16PngWorkBytes(uint32_t width, uint32_t height) {
    return (static_cast<size_t>(width) * 2 + 1) * height;
}

int InflatePlainGrey16Png(unsigned char *file, size_t n, uint64_t maxBytes, unsigned char *work,
                          size_t workBytes) {
    uint32_t w = 0, h = 0;
    unsigned char *data = nullptr;
    size_t dataBytes = 0;
    if (ReadPlainHead(file, n, maxBytes, &w, &h) != 0 ||
        workBytes < PlainGrey16PngWorkBytes(w, h) ||
        GatherImageData(file, n, &data, &dataBytes) != 0) {
        return -1;
    }
    // Each row is stored as its filter's byte and then its samples; the
    // samples are written over the stored rows, each row ahead of the
    // next stored one.
    const size_t rowBytes = static_cast<size_t>(w) * 2;
    const size_t storedBytes = PlainGrey16PngWorkBytes(w, h);
    unsigned char *rows = static_cast<unsigned char *>(calloc(2, rowBytes));
    libdeflate_decompressor *inflater = libdeflate_alloc_decompressor();
    size_t inflated = 0;
    int result = rows && inflater &&
                         libdeflate_zlib_decompress(inflater, data, dataBytes, work, storedBytes,
                                                    &inflated) == LIBDEFLATE_SUCCESS &&
                         inflated == storedBytes
                     ? 0
                     : -1;
    libdeflate_free_decompressor(inflater);
    unsigned char *above = rows;
    unsigned char *row = rows + rowBytes;
    for (size_t r = 0; result == 0 && r < h; ++r) {
        const unsigned char *in = work + r * (rowBytes + 1);
        result = UnfilterRow(in[0], in + 1, above, row, rowBytes);
        StoreSamples(row, work + r * rowBytes, w);
        std::swap(above, row);
    }
    free(rows);
    return result;
}

int ReadPlainGrey16PngFile(SDL_RWops *source, uint64_t maxBytes, unsigned char **file, size_t *n,
                           uint32_t *width, uint32_t *height, char *why, size_t whySize) {
    *file = nullptr;
    unsigned char head[PlainHeadBytes];
    if (SDL_RWread(source, head, 1, sizeof head) == static_cast<int>(sizeof head) &&
        ReadPlainHead(head, sizeof head, maxBytes, width, height) == 0) {
        // Room for deflate's stored blocks and a few small chunks.
        const uint64_t storedBytes = PlainGrey16PngWorkBytes(*width, *height);
        const uint64_t cap = storedBytes + storedBytes / 8 + (1u << 20);
        const int size = SDL_RWseek(source, 0, RW_SEEK_END);
        unsigned char *whole = size > 0 && static_cast<uint64_t>(size) <= cap
                                   ? static_cast<unsigned char *>(malloc(static_cast<size_t>(size)))
                                   : nullptr;
        if (whole && SDL_RWseek(source, 0, RW_SEEK_SET) == 0 &&
            SDL_RWread(source, whole, 1, size) == size) {
            *file = whole;
            *n = static_cast<size_t>(size);
            return 1;
        }
        free(whole);
    }
    if (SDL_RWseek(source, 0, RW_SEEK_SET) != 0) {
        snprintf(why, whySize, "the map file cannot be read from its start again");
        return -1;
    }
    return 0;
}

int DecodeGrey16PngWithLibpng(SDL_RWops *source, uint64_t maxBytes, uint16_t **samples,
                              uint32_t *width, uint32_t *height, char *why, size_t whySize) {
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
