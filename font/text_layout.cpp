#include "font/text_layout.h"

float MeasureTextWidth(const unsigned char widths[256], const char *text, float scaleX) {
    if (!text) {
        return 0.0f;
    }
    float sum = 0.0f;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p; ++p) {
        sum += static_cast<float>(widths[*p]);
    }
    return sum * scaleX;
}

float HorizontalAlignOffset(int align, float width) {
    if (align == AlignRight) {
        return -width;
    }
    if (align == AlignCenter) {
        return -0.5f * width;
    }
    return 0.0f;
}

float VerticalAlignOffset(int align, float height) {
    if (align == AlignTop) {
        return -height;
    }
    if (align == AlignCenter) {
        return -0.5f * height;
    }
    return 0.0f;
}

size_t CopyPreformattedText(const char *text, char *out, size_t size) {
    size_t n = 0;
    if (!text || size == 0) {
        if (size > 0) {
            out[0] = '\0';
        }
        return 0;
    }
    for (const char *p = text; *p && n + 1 < size; ++p) {
        out[n++] = *p;
        if (p[0] == '%' && p[1] == '%') {
            ++p;
        }
    }
    out[n] = '\0';
    return n;
}
