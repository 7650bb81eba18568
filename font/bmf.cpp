#include "font/bmf.h"

#include "app/log.h"

#include <GL/gl.h>
#include <cstdlib>
#include <cstring>

BmfFont *mainFont = nullptr;

// Whether GL takes an alpha texture of w x h, asked through the proxy
// target so that nothing is allocated.
static int TextureFits(int w, int h) {
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    if (w > maxSize || h > maxSize) {
        return 0;
    }
    glTexImage2D(GL_PROXY_TEXTURE_2D, 0, GL_ALPHA, w, h, 0, GL_ALPHA, GL_UNSIGNED_BYTE, nullptr);
    GLint proxyWidth = 0;
    glGetTexLevelParameteriv(GL_PROXY_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &proxyWidth);
    return proxyWidth == w;
}

void CompileBmfGlyph(unsigned int list, int i, int w, int h, int sheetWidth, int sheetHeight) {
    BmfGlyphPlace p = PlaceBmfGlyph(i, w, h, sheetWidth, sheetHeight);
    float fw = static_cast<float>(w);
    float fh = static_cast<float>(h);
    glNewList(list, GL_COMPILE);
    glBegin(GL_QUADS);
    glTexCoord2f(p.s0, p.t0);
    glVertex2f(0.0f, fh);
    glTexCoord2f(p.s0, p.t1);
    glVertex2f(0.0f, 0.0f);
    glTexCoord2f(p.s1, p.t1);
    glVertex2f(fw, 0.0f);
    glTexCoord2f(p.s1, p.t0);
    glVertex2f(fw, fh);
    glEnd();
    glTranslatef(fw, 0.0f, 0.0f);
    glEndList();
}

BmfFont *LoadBmfFont(const char *path) {
    FILE *file = path ? fopen(path, "rb") : nullptr;
    if (!file) {
        return nullptr;
    }
    BmfData data;
    int parsed = ParseBmfFile(file, &data);
    fclose(file);
    if (parsed != 0) {
        return nullptr;
    }
    if (!TextureFits(data.sheetWidth, data.sheetHeight)) {
        FreeBmfData(&data);
        return nullptr;
    }
    BmfFont *font = static_cast<BmfFont *>(calloc(1, sizeof(BmfFont)));
    if (!font) {
        FreeBmfData(&data);
        return nullptr;
    }
    memcpy(font->header, data.header, sizeof font->header);
    memcpy(font->widths, data.widths, sizeof font->widths);

    glPushAttrib(GL_TEXTURE_BIT);
    // Sheet rows are packed tightly: whatever unpack state the caller has,
    // a width that is no multiple of 4 must not make GL read past the sheet.
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_FALSE);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
    glGenTextures(1, &font->texture);
    glBindTexture(GL_TEXTURE_2D, font->texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_ALPHA, data.sheetWidth, data.sheetHeight, 0, GL_ALPHA,
                 GL_UNSIGNED_BYTE, data.sheet);
    glPopClientAttrib();
    FreeBmfData(&data);

    font->listBase = glGenLists(BmfListCount);
    if (font->listBase == 0) {
        glDeleteTextures(1, &font->texture);
        glPopAttrib();
        free(font);
        return nullptr;
    }
    int h = font->header[BmfHeightByte];
    for (int i = 0; i < data.glyphCount; ++i) {
        CompileBmfGlyph(font->listBase + 32 + i, i, font->widths[32 + i], h, data.sheetWidth,
                        data.sheetHeight);
    }
    glPopAttrib();
    return font;
}

int LoadFont() {
    mainFont = LoadBmfFont(MainFontPath);
    if (!mainFont) {
        fprintf(DebugLog, "ERROR: An error occured while loading the font.");
        return -1;
    }
    return 0;
}

void FreeBmfFont(BmfFont *font) {
    if (!font) {
        return;
    }
    glDeleteTextures(1, &font->texture);
    glDeleteLists(font->listBase, BmfListCount);
    free(font);
}
