// Help panel typesetting: FreeType glyphs blended into an RGBA canvas.
#include "datagen/helpgen_lib.h"

#include <cmath>
#include <cstddef>
#include "datagen/synth.h"

const HelpEntry HelpEntries[] = {
    {"mouse", "look around (turn and tilt the view)"},
    {"W / S", "move forward / backward"},
    {"A / D", "step left / right"},
    {"Z / C", "turn left / right"},
    {"F", "toggle full screen"},
    {"H", "show / hide this help"},
    {"P", "save a screenshot (screenN.bmp)"},
    {"Q", "wire frame on / off"},
    {"M", "fog on / off"},
    {"L", "lighting on / off"},
    {"T", "texturing on / off"},
    {"Esc", "quit"},
};
const int HelpEntryCount = static_cast<int>(sizeof(HelpEntries) / sizeof(HelpEntries[0]));

namespace {

// Panel colours (R, G, B) and the background's opacity.
const unsigned char Fill[3] = {22, 30, 44};
const int FillAlpha = 204; // 80 %
const unsigned char Border[3] = {178, 196, 222};
const unsigned char Rule[3] = {104, 126, 160};
const unsigned char TitleColour[3] = {255, 255, 255};
const unsigned char KeyColour[3] = {255, 214, 128};
const unsigned char ActionColour[3] = {236, 241, 248};

// Layout at the viewer's panel height; everything scales with the height.
const float LayoutHeight = 500.0f;
const float CornerRadius = 14.0f;
const float BorderWidth = 2.0f;
const float MarginX = 40.0f;
const float TitleBaseline = 52.0f;
const float TitleSize = 25.0f;
const float RuleY = 70.0f;
const float FirstRowBaseline = 110.0f;
const float RowPitch = 32.0f;
const float BottomMargin = 36.0f;
const float RowSize = 19.0f;
const float KeyIndent = 8.0f;
const float ColumnGap = 26.0f;

// Light text on a dark ground looks thin when coverage is blended linearly
// in these (gamma-encoded) colour values; lifting the coverage with this
// exponent gives the strokes their proper weight.
const float CoverageGamma = 1.0f / 1.5f;

// Next code point of a UTF-8 string, advancing *p; malformed bytes give
// U+FFFD and are skipped one at a time.
unsigned long NextCodePoint(const char **p) {
    const unsigned char *s = reinterpret_cast<const unsigned char *>(*p);
    unsigned long c = s[0];
    int extra = 0;
    if (c < 0x80) {
        extra = 0;
    } else if ((c & 0xE0) == 0xC0) {
        c &= 0x1F;
        extra = 1;
    } else if ((c & 0xF0) == 0xE0) {
        c &= 0x0F;
        extra = 2;
    } else if ((c & 0xF8) == 0xF0) {
        c &= 0x07;
        extra = 3;
    } else {
        *p += 1;
        return 0xFFFD;
    }
    for (int i = 1; i <= extra; ++i) {
        if ((s[i] & 0xC0) != 0x80) {
            *p += 1;
            return 0xFFFD;
        }
        c = (c << 6) | (s[i] & 0x3F);
    }
    *p += 1 + extra;
    return c;
}

const FT_Int32 LoadFlags = FT_LOAD_TARGET_LIGHT;

// Walks the text's glyphs with the pen starting at x on baseline y and, when
// canvas is not null, blends each rendered glyph into it in colour rgb.
// Returns the total advance in pixels.
int LayOut(const HelpFace *face, const char *text, HelpCanvas *canvas, int x, int y,
           const unsigned char rgb[3]) {
    FT_Face f = face->face;
    FT_Pos pen = 0; // 26.6 fixed point
    FT_UInt previous = 0;
    const char *p = text;
    while (*p != '\0') {
        unsigned long c = NextCodePoint(&p);
        FT_UInt glyph = FT_Get_Char_Index(f, c);
        if (previous != 0 && glyph != 0 && FT_HAS_KERNING(f)) {
            FT_Vector kern;
            if (FT_Get_Kerning(f, previous, glyph, FT_KERNING_DEFAULT, &kern) == 0) {
                pen += kern.x;
            }
        }
        if (FT_Load_Glyph(f, glyph,
                          static_cast<FT_Int32>(LoadFlags | (canvas ? FT_LOAD_RENDER : 0))) != 0) {
            previous = 0;
            continue;
        }
        FT_GlyphSlot slot = f->glyph;
        if (canvas != nullptr) {
            const FT_Bitmap &bm = slot->bitmap;
            int left = x + static_cast<int>((pen + 32) >> 6) + slot->bitmap_left;
            int top = y - slot->bitmap_top;
            for (unsigned int r = 0; r < bm.rows; ++r) {
                const unsigned char *src = bm.buffer + static_cast<ptrdiff_t>(r) * bm.pitch;
                for (unsigned int col = 0; col < bm.width; ++col) {
                    if (src[col] != 0) {
                        BlendHelpPixel(canvas, left + static_cast<int>(col),
                                       top + static_cast<int>(r), rgb, src[col]);
                    }
                }
            }
        }
        pen += slot->advance.x;
        previous = glyph;
    }
    return static_cast<int>((pen + 32) >> 6);
}

// Signed distance from (px, py) to the edge of the rounded rectangle that
// fills w x h with corner radius r: negative inside.
float RoundedRectDistance(float px, float py, float w, float h, float r) {
    float qx = fabsf(px - w * 0.5f) - (w * 0.5f - r);
    float qy = fabsf(py - h * 0.5f) - (h * 0.5f - r);
    float ox = qx > 0.0f ? qx : 0.0f;
    float oy = qy > 0.0f ? qy : 0.0f;
    float inside = qx > qy ? qx : qy;
    return sqrtf(ox * ox + oy * oy) + (inside < 0.0f ? inside : 0.0f) - r;
}

int Round(float x) {
    return static_cast<int>(floorf(x + 0.5f));
}

} // namespace

int OpenHelpFace(const char *path, int pixelSize, HelpFace *out) {
    if (out == nullptr) {
        return -1;
    }
    out->library = nullptr;
    out->face = nullptr;
    if (path == nullptr || pixelSize < 1 || pixelSize > 200) {
        return -1;
    }
    if (FT_Init_FreeType(&out->library) != 0) {
        out->library = nullptr;
        return -1;
    }
    if (FT_New_Face(out->library, path, 0, &out->face) != 0 ||
        FT_Set_Pixel_Sizes(out->face, 0, static_cast<FT_UInt>(pixelSize)) != 0) {
        CloseHelpFace(out);
        return -1;
    }
    return 0;
}

void CloseHelpFace(HelpFace *face) {
    if (face == nullptr) {
        return;
    }
    if (face->face != nullptr) {
        FT_Done_Face(face->face);
    }
    if (face->library != nullptr) {
        FT_Done_FreeType(face->library);
    }
    face->face = nullptr;
    face->library = nullptr;
}

int MeasureHelpText(const HelpFace *face, const char *text) {
    if (face == nullptr || face->face == nullptr || text == nullptr) {
        return -1;
    }
    return LayOut(face, text, nullptr, 0, 0, nullptr);
}

int HelpCapHeight(const HelpFace *face) {
    if (face == nullptr || face->face == nullptr) {
        return 0;
    }
    FT_Face f = face->face;
    if (FT_Load_Char(f, 'H', LoadFlags) != 0) {
        return 0;
    }
    return static_cast<int>((f->glyph->metrics.horiBearingY + 32) >> 6);
}

void BlendHelpPixel(HelpCanvas *canvas, int x, int y, const unsigned char rgb[3], int coverage) {
    if (canvas == nullptr || canvas->rgba == nullptr || rgb == nullptr) {
        return;
    }
    if (x < 0 || y < 0 || x >= canvas->w || y >= canvas->h || coverage <= 0) {
        return;
    }
    if (coverage > 255) {
        coverage = 255;
    }
    float a = powf(static_cast<float>(coverage) / 255.0f, CoverageGamma);
    unsigned char *px =
        canvas->rgba +
        (static_cast<size_t>(y) * static_cast<size_t>(canvas->w) + static_cast<size_t>(x)) * 4;
    float under = static_cast<float>(px[3]) / 255.0f;
    float outA = a + under * (1.0f - a);
    for (int c = 0; c < 3; ++c) {
        float v =
            (static_cast<float>(rgb[c]) * a + static_cast<float>(px[c]) * under * (1.0f - a)) /
            outA;
        px[c] = static_cast<unsigned char>(v + 0.5f > 255.0f ? 255.0f : v + 0.5f);
    }
    px[3] = static_cast<unsigned char>(std::lround(outA * 255.0f));
}

int DrawHelpText(HelpCanvas *canvas, const HelpFace *face, int x, int y, const char *text,
                 const unsigned char rgb[3]) {
    if (canvas == nullptr || canvas->rgba == nullptr || face == nullptr || face->face == nullptr ||
        text == nullptr || rgb == nullptr) {
        return -1;
    }
    return LayOut(face, text, canvas, x, y, rgb);
}

void DrawHelpBackground(HelpCanvas *canvas) {
    const float scale = static_cast<float>(canvas->h) / LayoutHeight;
    const float radius = CornerRadius * scale;
    const float border = BorderWidth * scale < 1.0f ? 1.0f : BorderWidth * scale;
    const float w = static_cast<float>(canvas->w);
    const float h = static_cast<float>(canvas->h);
    for (int y = 0; y < canvas->h; ++y) {
        for (int x = 0; x < canvas->w; ++x) {
            float d = RoundedRectDistance(static_cast<float>(x) + 0.5f,
                                          static_cast<float>(y) + 0.5f, w, h, radius);
            float shape = Clamp01(0.5f - d);          // 1 inside the panel's outline
            float fill = Clamp01(-d - border + 0.5f); // 1 inside the border
            unsigned char *px =
                canvas->rgba +
                (static_cast<size_t>(y) * static_cast<size_t>(canvas->w) + static_cast<size_t>(x)) *
                    4;
            for (int c = 0; c < 3; ++c) {
                float v = static_cast<float>(Border[c]) +
                          (static_cast<float>(Fill[c]) - static_cast<float>(Border[c])) * fill;
                px[c] = static_cast<unsigned char>(std::lround(v));
            }
            float alpha = (255.0f + (static_cast<float>(FillAlpha) - 255.0f) * fill) * shape;
            px[3] = static_cast<unsigned char>(std::lround(alpha));
        }
    }
}

int RenderHelpPanel(const char *regularFont, const char *boldFont, const char *title,
                    HelpCanvas *canvas) {
    if (regularFont == nullptr || boldFont == nullptr || title == nullptr || canvas == nullptr ||
        canvas->rgba == nullptr || canvas->w < 1 || canvas->h < 1) {
        return -1;
    }
    const float scale = static_cast<float>(canvas->h) / LayoutHeight;
    const int marginX = Round(MarginX * scale);
    const int keyX = marginX + Round(KeyIndent * scale);
    const int gap = Round(ColumnGap * scale);

    // The rows' size: as large as the design asks, smaller when the widest
    // row would not fit between the margins.
    int rowSize = Round(RowSize * scale);
    if (rowSize < 1) {
        rowSize = 1;
    }
    HelpFace keys = {};
    HelpFace actions = {};
    int keyWidth = 0;
    for (;;) {
        if (OpenHelpFace(boldFont, rowSize, &keys) != 0 ||
            OpenHelpFace(regularFont, rowSize, &actions) != 0) {
            CloseHelpFace(&keys);
            return -1;
        }
        keyWidth = 0;
        int actionWidth = 0;
        for (int i = 0; i < HelpEntryCount; ++i) {
            int k = MeasureHelpText(&keys, HelpEntries[i].key);
            int a = MeasureHelpText(&actions, HelpEntries[i].action);
            if (k > keyWidth) {
                keyWidth = k;
            }
            if (a > actionWidth) {
                actionWidth = a;
            }
        }
        if (keyX + keyWidth + gap + actionWidth <= canvas->w - marginX || rowSize <= 6) {
            break;
        }
        CloseHelpFace(&keys);
        CloseHelpFace(&actions);
        --rowSize;
    }

    int titleSize = Round(TitleSize * scale);
    HelpFace heading = {};
    if (OpenHelpFace(boldFont, titleSize < 1 ? 1 : titleSize, &heading) != 0) {
        CloseHelpFace(&keys);
        CloseHelpFace(&actions);
        return -1;
    }

    DrawHelpBackground(canvas);

    int titleWidth = MeasureHelpText(&heading, title);
    DrawHelpText(canvas, &heading, (canvas->w - titleWidth) / 2, Round(TitleBaseline * scale),
                 title, TitleColour);

    int ruleY = Round(RuleY * scale);
    int ruleThickness = scale < 1.0f ? 1 : Round(scale);
    for (int y = ruleY; y < ruleY + ruleThickness; ++y) {
        for (int x = marginX; x < canvas->w - marginX; ++x) {
            BlendHelpPixel(canvas, x, y, Rule, 255);
        }
    }

    // Rows spread evenly down to the bottom margin, but no further apart than
    // the design's pitch.
    float first = FirstRowBaseline * scale;
    float pitch = RowPitch * scale;
    float room = static_cast<float>(canvas->h) - BottomMargin * scale - first;
    if (HelpEntryCount > 1 && room / static_cast<float>(HelpEntryCount - 1) < pitch) {
        pitch = room / static_cast<float>(HelpEntryCount - 1);
    }
    int actionX = keyX + keyWidth + gap;
    for (int i = 0; i < HelpEntryCount; ++i) {
        int baseline = Round(first + pitch * static_cast<float>(i));
        DrawHelpText(canvas, &keys, keyX, baseline, HelpEntries[i].key, KeyColour);
        DrawHelpText(canvas, &actions, actionX, baseline, HelpEntries[i].action, ActionColour);
    }

    CloseHelpFace(&heading);
    CloseHelpFace(&keys);
    CloseHelpFace(&actions);
    return 0;
}
