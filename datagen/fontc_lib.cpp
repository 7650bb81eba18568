#include "datagen/fontc_lib.h"

#include "font/bmf_parse.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cerrno>
#include <cstring>

namespace {

// One rasterised glyph: its advance and its coverage bitmap, placed relative
// to the pen (left: columns right of the pen, top: rows above the base line).
struct GlyphRaster {
    int advance;
    int left, top;
    int rows, cols;
    std::vector<unsigned char> coverage; // rows x cols
};

std::string FreeTypeMessage(const char *what, FT_Error code) {
    const char *text = FT_Error_String(code);
    return std::string(what) + " (FreeType error " + std::to_string(code) +
           (text ? std::string(": ") + text : std::string()) + ")";
}

// Rasterises characters 32 .. 31 + count at pixelSize. Returns 0, or -1 with
// a message in error.
int RasteriseSet(FT_Face face, int pixelSize, int count, std::vector<GlyphRaster> *glyphs,
                 std::string *error) {
    FT_Error code = FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixelSize));
    if (code) {
        *error = FreeTypeMessage("cannot set the pixel size", code);
        return -1;
    }
    glyphs->assign(static_cast<size_t>(count), GlyphRaster());
    for (int i = 0; i < count; ++i) {
        GlyphRaster &g = (*glyphs)[static_cast<size_t>(i)];
        FT_UInt index = FT_Get_Char_Index(face, static_cast<FT_ULong>(i) + 32);
        if (index == 0) {
            continue; // no glyph for this character: width 0, empty cell
        }
        code = FT_Load_Glyph(face, index, FT_LOAD_RENDER | FT_LOAD_TARGET_NORMAL);
        if (code) {
            *error = FreeTypeMessage("cannot render a glyph", code);
            return -1;
        }
        FT_GlyphSlot slot = face->glyph;
        g.advance = static_cast<int>((slot->advance.x + 32) >> 6);
        const FT_Bitmap &bm = slot->bitmap;
        if (bm.rows == 0 || bm.width == 0) {
            continue;
        }
        if (bm.pixel_mode != FT_PIXEL_MODE_GRAY || bm.pitch <= 0) {
            *error = "the font's glyphs do not render as 8-bit coverage";
            return -1;
        }
        g.left = slot->bitmap_left;
        g.top = slot->bitmap_top;
        g.rows = static_cast<int>(bm.rows);
        g.cols = static_cast<int>(bm.width);
        g.coverage.resize(static_cast<size_t>(g.rows) * static_cast<size_t>(g.cols));
        for (int r = 0; r < g.rows; ++r) {
            const unsigned char *src = bm.buffer + static_cast<ptrdiff_t>(r) * bm.pitch;
            unsigned maxLevel = bm.num_grays > 1 ? bm.num_grays - 1 : 255;
            for (int c = 0; c < g.cols; ++c) {
                g.coverage[static_cast<size_t>(r) * static_cast<size_t>(g.cols) +
                           static_cast<size_t>(c)] =
                    static_cast<unsigned char>(src[c] * 255u / maxLevel);
            }
        }
    }
    return 0;
}

// Rows the set needs above and below its base line.
void InkExtent(const std::vector<GlyphRaster> &glyphs, int *above, int *below) {
    *above = 0;
    *below = 0;
    for (const GlyphRaster &g : glyphs) {
        if (g.rows == 0) {
            continue;
        }
        if (g.top > *above) {
            *above = g.top;
        }
        if (g.rows - g.top > *below) {
            *below = g.rows - g.top;
        }
    }
}

int TextAdvance(const std::vector<GlyphRaster> &glyphs, const char *text) {
    int sum = 0;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p; ++p) {
        size_t i = static_cast<size_t>(*p) - 32;
        if (*p >= 32 && i < glyphs.size()) {
            sum += glyphs[i].advance;
        }
    }
    return sum;
}

// Why the set does not fit the options, or an empty text when it does.
std::string Misfit(const std::vector<GlyphRaster> &glyphs, const FontcOptions *o, int cell) {
    int above = 0;
    int below = 0;
    InkExtent(glyphs, &above, &below);
    if (above + below > o->height) {
        return "the glyphs need " + std::to_string(above + below) + " rows, the height is " +
               std::to_string(o->height);
    }
    for (size_t i = 0; i < glyphs.size(); ++i) {
        if (glyphs[i].advance > cell) {
            return "character " + std::to_string(32 + i) + " is " +
                   std::to_string(glyphs[i].advance) + " texels wide, the cells " +
                   std::to_string(cell);
        }
    }
    if (o->fitText && TextAdvance(glyphs, o->fitText) > o->fitWidth) {
        return "the text to fit is " + std::to_string(TextAdvance(glyphs, o->fitText)) +
               " texels wide, more than " + std::to_string(o->fitWidth);
    }
    return std::string();
}

// Draws the set onto the sheet, each glyph into its loader rectangle.
void PlaceSet(const std::vector<GlyphRaster> &glyphs, int height, BmfImage *image) {
    int above = 0;
    int below = 0;
    InkExtent(glyphs, &above, &below);
    // The ink block is centred in the h rows; an odd spare row goes below.
    int baseline = above + (height - (above + below)) / 2;
    int w = image->sheetWidth;
    int h = BmfSheetHeight(image->version, w);
    image->header[FontcHeaderBaseline] = static_cast<unsigned char>(baseline);
    for (size_t i = 0; i < glyphs.size(); ++i) {
        const GlyphRaster &g = glyphs[i];
        image->widths[32 + i] = static_cast<unsigned char>(g.advance);
        BmfGlyphPlace p = PlaceBmfGlyph(static_cast<int>(i), g.advance, height, w, h);
        for (int r = 0; r < g.rows; ++r) {
            int y = p.y0 + baseline - g.top + r;
            if (y < p.y0 || y >= p.y1) {
                continue;
            }
            for (int c = 0; c < g.cols; ++c) {
                int x = p.x0 + g.left + c;
                if (x < p.x0 || x >= p.x1) {
                    continue;
                }
                image->sheet[static_cast<size_t>(y) * static_cast<size_t>(w) +
                             static_cast<size_t>(x)] =
                    g.coverage[static_cast<size_t>(r) * static_cast<size_t>(g.cols) +
                               static_cast<size_t>(c)];
            }
        }
    }
}

// Below half the height glyphs are too small to read: no size is chosen
// smaller than that.
int MinPixelSize(const FontcOptions *o) {
    return o->height / 2 > 1 ? o->height / 2 : 1;
}

int CheckOptions(const FontcOptions *o, std::string *error) {
    if (!o->fontPath) {
        *error = "no font file given";
        return -1;
    }
    if (BmfGlyphCount(o->version) == 0) {
        *error = "the version must be 256 or 257";
        return -1;
    }
    if (o->sheetWidth < 32 || o->sheetWidth > BmfMaxSheetWidth || o->sheetWidth % 16 != 0) {
        *error = "the sheet width must be a multiple of 16 from 32 to 4096";
        return -1;
    }
    int cell = o->sheetWidth / 16;
    if (o->height < 1 || o->height > cell || o->height > 255) {
        *error = "the height must be 1 to the cell side (" + std::to_string(cell) + ")";
        return -1;
    }
    if (o->pixelSize < 0 || o->pixelSize > 1024) {
        *error = "the pixel size must be 1 to 1024, or 0 to choose it";
        return -1;
    }
    return 0;
}

} // namespace

int CompileBmfFont(const FontcOptions *options, BmfImage *image, std::string *error) {
    error->clear();
    if (CheckOptions(options, error) != 0) {
        return -1;
    }
    FT_Library library = nullptr;
    FT_Error code = FT_Init_FreeType(&library);
    if (code) {
        *error = FreeTypeMessage("cannot start FreeType", code);
        return -1;
    }
    FT_Face face = nullptr;
    code = FT_New_Face(library, options->fontPath, 0, &face);
    if (code) {
        *error = FreeTypeMessage((std::string("cannot open the font ") + options->fontPath).c_str(),
                                 code);
        FT_Done_FreeType(library);
        return -1;
    }

    int count = BmfGlyphCount(options->version);
    int cell = options->sheetWidth / 16;
    std::vector<GlyphRaster> glyphs;
    int result = -1;
    int size = options->pixelSize;
    if (size > 0) {
        if (RasteriseSet(face, size, count, &glyphs, error) == 0) {
            *error = Misfit(glyphs, options, cell);
            result = error->empty() ? 0 : -1;
        }
    } else {
        // The largest size whose glyphs all fit their rectangles.
        std::string firstMisfit;
        for (size = 4 * options->height; size >= MinPixelSize(options); --size) {
            if (RasteriseSet(face, size, count, &glyphs, error) != 0) {
                break;
            }
            std::string why = Misfit(glyphs, options, cell);
            if (why.empty()) {
                result = 0;
                break;
            }
            if (firstMisfit.empty()) {
                firstMisfit = why;
            }
        }
        if (result != 0 && error->empty()) {
            *error = "no pixel size fits: " + firstMisfit;
        }
    }

    if (result == 0) {
        image->version = options->version;
        image->sheetWidth = options->sheetWidth;
        memset(image->header, 0, sizeof image->header);
        memset(image->widths, 0, sizeof image->widths);
        image->header[FontcHeaderCell] = static_cast<unsigned char>(cell <= 255 ? cell : 0);
        image->header[FontcHeaderPixels] = static_cast<unsigned char>(size <= 255 ? size : 0);
        image->header[FontcHeaderHeight] = static_cast<unsigned char>(options->height);
        int sheetHeight = BmfSheetHeight(options->version, options->sheetWidth);
        image->sheet.assign(static_cast<size_t>(options->sheetWidth) * sheetHeight, 0);
        PlaceSet(glyphs, options->height, image);
    }
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    return result;
}

void EncodeBmfRuns(const unsigned char *texels, size_t count, std::vector<unsigned char> *runs) {
    size_t i = 0;
    while (i < count) {
        unsigned char alpha = texels[i];
        size_t n = 1;
        while (i + n < count && n < 255 && texels[i + n] == alpha) {
            ++n;
        }
        runs->push_back(static_cast<unsigned char>(n));
        runs->push_back(alpha);
        i += n;
    }
}

static void AppendLittleEndian(std::vector<unsigned char> *bytes, unsigned long value, int size) {
    for (int i = 0; i < size; ++i) {
        bytes->push_back(static_cast<unsigned char>((value >> (8 * i)) & 0xFF));
    }
}

int SerializeBmf(const BmfImage *image, std::vector<unsigned char> *bytes) {
    int count = BmfGlyphCount(image->version);
    if (count == 0 || image->sheetWidth <= 0) {
        return -1;
    }
    size_t sheetSize = static_cast<size_t>(image->sheetWidth) *
                       static_cast<size_t>(BmfSheetHeight(image->version, image->sheetWidth));
    if (image->sheet.size() != sheetSize) {
        return -1;
    }
    std::vector<unsigned char> runs;
    EncodeBmfRuns(image->sheet.data(), image->sheet.size(), &runs);
    if (runs.size() > 0x7FFFFFFFu) {
        return -1;
    }
    bytes->clear();
    bytes->insert(bytes->end(), {'B', 'M', 'F', ' '});
    AppendLittleEndian(bytes, static_cast<unsigned long>(image->version), 2);
    bytes->insert(bytes->end(), image->header, image->header + 6);
    bytes->insert(bytes->end(), image->widths + 32, image->widths + 32 + count);
    AppendLittleEndian(bytes, static_cast<unsigned long>(image->sheetWidth), 4);
    AppendLittleEndian(bytes, static_cast<unsigned long>(runs.size()), 4);
    bytes->insert(bytes->end(), runs.begin(), runs.end());
    return 0;
}

int WriteBytesFile(const char *path, const std::vector<unsigned char> &bytes, std::string *error) {
    FILE *file = fopen(path, "wb");
    if (!file) {
        *error = std::string("cannot create ") + path + ": " + strerror(errno);
        return -1;
    }
    bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (fclose(file) != 0 || !written) {
        *error = std::string("cannot write ") + path;
        return -1;
    }
    return 0;
}
