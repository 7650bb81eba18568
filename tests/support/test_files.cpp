#include "tests/support/test_files.h"

#include "app/log.h"
#include "terrain/heightmap.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

std::string MakeScratchDir() {
    const char *base = getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/vorn-test-XXXXXX";
    char *made = mkdtemp(&pattern[0]);
    return made ? std::string(made) : std::string();
}

int EnterViewerScratchDir(std::string *buildDir) {
    char here[4096];
    if (!getcwd(here, sizeof here)) {
        return -1;
    }
    *buildDir = here;
    const std::string scratch = MakeScratchDir();
    if (scratch.empty() || chdir(scratch.c_str()) != 0 || mkdir("maps", 0755) != 0 ||
        symlink((*buildDir + "/textures").c_str(), "textures") != 0 ||
        symlink((*buildDir + "/fonts").c_str(), "fonts") != 0) {
        return -1;
    }
    return 0;
}

int WriteGreyBmp(const std::string &path, int w, int h,
                 const std::function<unsigned char(int, int)> &value, bool greyPalette) {
    SDL_Surface *s = SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, 8, 0, 0, 0, 0);
    if (!s) {
        return -1;
    }
    SDL_Color colours[256];
    for (int i = 0; i < 256; ++i) {
        if (greyPalette) {
            colours[i].r = colours[i].g = colours[i].b = static_cast<Uint8>(i);
        } else {
            colours[i].r = static_cast<Uint8>(255 - i);
            colours[i].g = static_cast<Uint8>(i / 2);
            colours[i].b = 7;
        }
    }
    SDL_SetColors(s, colours, 0, 256);
    for (int r = 0; r < h; ++r) {
        Uint8 *row = static_cast<Uint8 *>(s->pixels) + static_cast<ptrdiff_t>(r) * s->pitch;
        for (int c = 0; c < w; ++c) {
            row[c] = value(c, r);
        }
    }
    int result = SDL_SaveBMP(s, path.c_str());
    SDL_FreeSurface(s);
    return result;
}

int WriteColourBmp(const std::string &path, int w, int h, int bitsPerPixel,
                   const std::function<unsigned int(int, int)> &rgb) {
    Uint32 amask = bitsPerPixel == 32 ? 0xFF000000u : 0;
    SDL_Surface *s = SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, bitsPerPixel, 0x00FF0000u,
                                          0x0000FF00u, 0x000000FFu, amask);
    if (!s) {
        return -1;
    }
    for (int r = 0; r < h; ++r) {
        for (int c = 0; c < w; ++c) {
            unsigned int v = rgb(c, r);
            Uint32 pixel = SDL_MapRGBA(s->format, (v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF, 255);
            Uint8 *p = static_cast<Uint8 *>(s->pixels) + static_cast<ptrdiff_t>(r) * s->pitch +
                       static_cast<ptrdiff_t>(c) * s->format->BytesPerPixel;
            memcpy(p, &pixel, s->format->BytesPerPixel);
        }
    }
    int result = SDL_SaveBMP(s, path.c_str());
    SDL_FreeSurface(s);
    return result;
}

static FILE *capturedLog = nullptr;

void CaptureLog() {
    if (capturedLog) {
        fclose(capturedLog);
    }
    capturedLog = tmpfile();
    DebugLog = capturedLog;
}

std::string CapturedLog() {
    fflush(capturedLog);
    std::string text;
    rewind(capturedLog);
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, capturedLog)) > 0) {
        text.append(buffer, n);
    }
    return text;
}

std::string ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

int UseTestMap(int size, const std::function<unsigned char(int, int)> &value) {
    ReleaseTestMap();
    SDL_Surface *s = SDL_CreateRGBSurface(SDL_SWSURFACE, size, size, 8, 0, 0, 0, 0);
    if (!s) {
        return -1;
    }
    for (int r = 0; r < size; ++r) {
        Uint8 *row = static_cast<Uint8 *>(s->pixels) + static_cast<ptrdiff_t>(r) * s->pitch;
        for (int c = 0; c < size; ++c) {
            row[c] = value(c, r);
        }
    }
    return UseHeightMapImage(s, "test map");
}

int UseTestMap16(int size, const std::function<uint16_t(int, int)> &value) {
    ReleaseTestMap();
    // Mapped, as the decoder hands samples out.
    void *mapped = mmap(nullptr, sizeof(uint16_t) * static_cast<size_t>(size) * size,
                        PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) {
        return -1;
    }
    uint16_t *samples = static_cast<uint16_t *>(mapped);
    for (int r = 0; r < size; ++r) {
        for (int c = 0; c < size; ++c) {
            samples[static_cast<size_t>(r) * size + c] = value(c, r);
        }
    }
    return UseHeightMapSamples(samples, size, size, "test map");
}

int WriteGrey16Png(const std::string &path, int w, int h,
                   const std::function<uint16_t(int, int)> &value, int channels,
                   const PngLayout &layout) {
    FILE *out = fopen(path.c_str(), "wb");
    if (!out) {
        return -1;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    std::vector<unsigned char> row(static_cast<size_t>(w) * 2 * channels);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        fclose(out);
        return -1;
    }
    png_init_io(png, out);
    png_set_IHDR(png, info, static_cast<png_uint_32>(w), static_cast<png_uint_32>(h), 16,
                 channels == 3 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY,
                 layout.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (layout.filters != 0) {
        png_set_filter(png, PNG_FILTER_TYPE_BASE, layout.filters);
    }
    if (layout.chunkBytes != 0) {
        png_set_compression_buffer_size(png, layout.chunkBytes);
    }
    png_text text = {};
    if (layout.comment) {
        text.compression = PNG_TEXT_COMPRESSION_NONE;
        text.key = const_cast<char *>("Comment");
        text.text = const_cast<char *>(layout.comment);
        png_set_text(png, info, &text, 1);
    }
    png_write_info(png, info);
    const int passes = png_set_interlace_handling(png);
    for (int pass = 0; pass < passes; ++pass) {
        for (int r = 0; r < h; ++r) {
            for (int c = 0; c < w; ++c) {
                const uint16_t v = value(c, r);
                for (int k = 0; k < channels; ++k) {
                    row[(static_cast<size_t>(c) * channels + k) * 2] =
                        static_cast<unsigned char>(v >> 8);
                    row[(static_cast<size_t>(c) * channels + k) * 2 + 1] =
                        static_cast<unsigned char>(v & 0xFF);
                }
            }
            png_write_row(png, row.data());
        }
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return fclose(out) == 0 ? 0 : -1;
}

void ReleaseTestMap() {
    FreeHeightMap();
}
