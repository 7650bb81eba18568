#include "decoder/image_reply.h"

#include <csignal>
#include <cstdio>
#include <cstring>

uint32_t SurfacePitchFor(uint32_t width, uint32_t bitsPerPixel) {
    uint64_t bytes = static_cast<uint64_t>(width) * ((bitsPerPixel + 7) / 8);
    if (bitsPerPixel == 1) {
        bytes = (bytes + 7) / 8;
    } else if (bitsPerPixel == 4) {
        bytes = (bytes + 1) / 2;
    }
    bytes = (bytes + 3) & ~static_cast<uint64_t>(3);
    return bytes > 0xFFFF ? 0 : static_cast<uint32_t>(bytes);
}

static int Refuse(const char **why, const char *what) {
    *why = what;
    return -1;
}

int CheckImageReplyHeader(const ImageReplyHeader &header, ImageReplyLayout *layout,
                          const char **why) {
    *layout = ImageReplyLayout{};
    if (header.magic != ImageReplyMagic) {
        return Refuse(why, "the reply does not start like one");
    }
    if (header.result == ImageReplyFailed) {
        if (header.textLength > MaxImageErrorText) {
            return Refuse(why, "the reason is too long");
        }
        layout->textBytes = header.textLength;
        return 0;
    }
    const bool samples = header.result == ImageReplySamples16;
    if (samples) {
        if (header.bitsPerPixel != 16 || header.bytesPerPixel != 2 || header.rmask != 0 ||
            header.gmask != 0 || header.bmask != 0 || header.amask != 0 || header.flags != 0 ||
            header.colourKey != 0 || header.alpha != 0 || header.colourCount != 0) {
            return Refuse(why, "16-bit samples come with a format of their own");
        }
    } else if (header.result != ImageReplyDecoded) {
        return Refuse(why, "the reply's result is unknown");
    }
    const uint32_t bits = header.bitsPerPixel;
    if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 15 && bits != 16 &&
        bits != 24 && bits != 32) {
        return Refuse(why, "the bits per pixel are not a surface's");
    }
    if (header.bytesPerPixel != (bits + 7) / 8) {
        return Refuse(why, "the bytes per pixel do not match the bits per pixel");
    }
    if (header.width > 0xFFFF || header.height > 0xFFFF) {
        return Refuse(why, "the image is too large for a surface");
    }
    // Samples come in rows of two bytes a sample, without a surface's padding.
    const uint32_t pitch = samples ? 2 * header.width : SurfacePitchFor(header.width, bits);
    if (pitch == 0 && header.width > 0) {
        return Refuse(why, "the image's rows are too long for a surface");
    }
    if (header.pitch != pitch) {
        return Refuse(why, "the pitch does not match the width");
    }
    const uint64_t pixelBytes = static_cast<uint64_t>(pitch) * header.height;
    if (pixelBytes > MaxImagePixelBytes) {
        return Refuse(why, "the image holds more pixel bytes than a decode may");
    }
    const uint32_t maxColours = bits <= 8 ? 1u << bits : 0;
    if (header.colourCount > maxColours) {
        return Refuse(why, "the palette is longer than the depth allows");
    }
    if (header.textLength != 0) {
        return Refuse(why, "a decoded image carries a reason");
    }
    layout->paletteBytes = static_cast<size_t>(header.colourCount) * 4;
    layout->pixelBytes = static_cast<size_t>(pixelBytes);
    return 0;
}

int CheckImageReplyLength(const ImageReplyLayout &layout, size_t bytesAfterHeader,
                          const char **why) {
    const size_t expected = layout.paletteBytes + layout.pixelBytes + layout.textBytes;
    if (bytesAfterHeader < expected) {
        return Refuse(why, "the reply ends early");
    }
    if (bytesAfterHeader > expected) {
        return Refuse(why, "the reply goes on past its end");
    }
    return 0;
}

int DescribeDecoderEnd(DecoderEnd end, int value, char *text, size_t size) {
    switch (end) {
    case DecoderEnd::Exited:
        if (value == 0) {
            return 0;
        }
        snprintf(text, size, "the image decoder failed (status %d)", value);
        return -1;
    case DecoderEnd::Signalled:
        if (value == SIGXCPU) {
            snprintf(text, size, "the image decoder took longer than %d s", DecodeCpuSeconds);
        } else if (value == SIGSYS) {
            snprintf(text, size, "the image decoder made a forbidden system call (signal %d)",
                     value);
        } else {
            snprintf(text, size, "the image decoder crashed (signal %d)", value);
        }
        return -1;
    case DecoderEnd::TimedOut:
        snprintf(text, size, "the image decoder did not finish within %d s and was stopped",
                 DecodeWallSeconds);
        return -1;
    case DecoderEnd::NotStarted:
        snprintf(text, size, "the image decoder could not be started (%s)", strerror(value));
        return -1;
    }
    snprintf(text, size, "the image decoder ended in an unknown way");
    return -1;
}

const char *DecoderFailureReason(const char *decoderText) {
    if (strcmp(decoderText, "Out of memory") == 0) {
        return "the image decoder ran out of memory";
    }
    return decoderText;
}
