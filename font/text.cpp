#include "font/text.h"

#include <GL/gl.h>
#include <cstdarg>
#include <cstdio>
#include <cstring>

TextStyle defaultTextStyle = {1.0f, 1.0f, 1.0f, 1.0f,      0.0f,        0.0f,
                              1.0f, 1.0f, 0.0f, AlignLeft, AlignBottom, nullptr};
TextStyle workingTextStyle = defaultTextStyle;
TextStyle *currentTextStyle = &defaultTextStyle;

static bool BlockOpen() {
    return currentTextStyle == &workingTextStyle;
}

void BeginText(BmfFont *font) {
    if (BlockOpen()) {
        return;
    }
    workingTextStyle = defaultTextStyle;
    workingTextStyle.font = font;
    currentTextStyle = &workingTextStyle;

    glPushAttrib(GL_CURRENT_BIT | GL_DEPTH_BUFFER_BIT | GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT |
                 GL_LIST_BIT | GL_TEXTURE_BIT);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0.0f);
    if (font) {
        glBindTexture(GL_TEXTURE_2D, font->texture);
        glListBase(font->listBase);
    }
}

void EndText() {
    if (!BlockOpen()) {
        return;
    }
    currentTextStyle = &defaultTextStyle;
    glPopAttrib();
}

// Draws length bytes of text with the current style and advances its x.
static void DrawStyledText(const char *text, size_t length) {
    TextStyle *s = currentTextStyle;
    float width = TextWidth(s->font, text);
    float alignedX = s->x + HorizontalAlignOffset(s->hAlign, width);
    float alignedY = s->y + VerticalAlignOffset(s->vAlign, TextHeight(s->font));

    glPushMatrix();
    glColor4f(s->red, s->green, s->blue, s->alpha);
    glLoadIdentity();
    glTranslatef(s->x, s->y, 0.0f);
    // The alignment offset is applied in the rotated frame, so an aligned
    // text turns about its anchor.
    glRotatef(s->angle, 0.0f, 0.0f, 1.0f);
    glTranslatef(alignedX - s->x, alignedY - s->y, 0.0f);
    glScalef(s->scaleX, s->scaleY, 1.0f);
    glCallLists(static_cast<GLsizei>(length), GL_UNSIGNED_BYTE, text);
    glPopMatrix();

    s->x += width;
}

void PrintText(const char *format, ...) {
    if (!format || !currentTextStyle->font) {
        return;
    }
    char text[MaxTextLength + 1];
    va_list args;
    va_start(args, format);
    int written = vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (written < 0) {
        return;
    }
    DrawStyledText(text, strlen(text));
}

void PrintAt(float x, float y, BmfFont *font, const char *text) {
    BeginText(font);
    SetTextColor(0.0f, 0.0f, 0.0f, 0.75f);
    SetTextPosition(x, y);
    // The text is already formatted and carries no arguments: it is drawn as
    // printf would print it as a format, without reading any argument.
    if (text && currentTextStyle->font) {
        char copy[MaxTextLength + 1];
        size_t length = CopyPreformattedText(text, copy, sizeof copy);
        DrawStyledText(copy, length);
    }
    EndText();
}

float TextWidth(const BmfFont *font, const char *text) {
    if (!font) {
        return 0.0f;
    }
    return MeasureTextWidth(font->widths, text, currentTextStyle->scaleX);
}

float TextHeight(const BmfFont *font) {
    if (!font) {
        return 0.0f;
    }
    return static_cast<float>(font->header[BmfHeightByte]) * currentTextStyle->scaleY;
}

void SetTextColor(float red, float green, float blue, float alpha) {
    currentTextStyle->red = red;
    currentTextStyle->green = green;
    currentTextStyle->blue = blue;
    currentTextStyle->alpha = alpha;
}

void SetTextPosition(float x, float y) {
    currentTextStyle->x = x;
    currentTextStyle->y = y;
}

void SetTextScale(float scaleX, float scaleY) {
    currentTextStyle->scaleX = scaleX;
    currentTextStyle->scaleY = scaleY;
}

void SetTextRotation(float angle) {
    currentTextStyle->angle = angle;
}

void SetTextHAlign(int align) {
    currentTextStyle->hAlign = align;
}

void SetTextVAlign(int align) {
    currentTextStyle->vAlign = align;
}
