#include "datagen/pngfile.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <vector>

namespace {

// libpng's errors end in a jump back to WritePngRows; the errno of a failed
// write is kept for the caller.
[[noreturn]] void OnPngError(png_structp png, png_const_charp) {
    int *saved = static_cast<int *>(png_get_error_ptr(png));
    *saved = errno != 0 ? errno : EIO;
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

// The header and the rows, row being one row's bytes. Holds no object with
// a destructor, so that libpng's jump leaves nothing behind. Returns 0 or
// -1.
int WritePngRows(png_structp png, png_infop info, FILE *file, int side, const uint16_t *levels,
                 unsigned char *row) {
    if (setjmp(png_jmpbuf(png))) {
        return -1;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(side), static_cast<png_uint_32>(side), 16,
                 PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    // Each row as the difference from the row above: as small as the
    // adaptive choice for height maps, and half the time to decode, as
    // undoing it is one addition a byte.
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    png_write_info(png, info);
    for (int r = 0; r < side; ++r) {
        const uint16_t *from = levels + static_cast<size_t>(r) * side;
        for (size_t c = 0; c < static_cast<size_t>(side); ++c) {
            row[2 * c] = static_cast<unsigned char>(from[c] >> 8);
            row[2 * c + 1] = static_cast<unsigned char>(from[c] & 0xff);
        }
        png_write_row(png, row);
    }
    png_write_end(png, nullptr);
    return 0;
}

} // namespace

int WriteGreyPng16(const char *path, int side, const uint16_t *levels) {
    if (!path || !levels || side < 1 || side > MaxPngSide) {
        errno = EINVAL;
        return -1;
    }
    FILE *file = fopen(path, "wb");
    if (!file) {
        return -1;
    }
    int saved = 0;
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, &saved, OnPngError, OnPngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    std::vector<unsigned char> row(static_cast<size_t>(side) * 2);
    errno = 0;
    int rc = png && info ? WritePngRows(png, info, file, side, levels, row.data()) : -1;
    if (!png || !info) {
        saved = ENOMEM;
    }
    png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
    // What is still buffered meets a full disk here.
    if (fflush(file) != 0 || ferror(file)) {
        saved = saved != 0 ? saved : (errno != 0 ? errno : EIO);
        rc = -1;
    }
    if (fclose(file) != 0 && rc == 0) {
        saved = errno != 0 ? errno : EIO;
        rc = -1;
    }
    if (rc != 0) {
        errno = saved != 0 ? saved : EIO;
    }
    return rc;
}
