// Single-channel 16-bit PNGs, which the media layer cuts to 8 bits: told
// apart by their header, and decoded with libpng into 16-bit samples. The
// decoding runs only in a confined decoder child.
#pragma once

#include <cstddef>
#include <cstdint>

struct SDL_RWops;

// Bytes of a PNG's start that say its depth and colour type: the signature,
// then the IHDR chunk's length, type, width, height, depth and colour type.
constexpr size_t PngHeadBytes = 26;

// 1 when the first n bytes of a file are those of a PNG whose samples are
// single-channel (grey) with 16 bits, else 0.
int IsGrey16PngHead(const unsigned char *head, size_t n);

// Decodes a single-channel 16-bit PNG read from source into width x height
// samples in the machine's byte order (from malloc, row by row, interlaced
// files included). Refuses more than maxBytes of samples before any is
// read. Returns 0, or -1 with the reason in why.
int DecodeGrey16Png(SDL_RWops *source, uint64_t maxBytes, uint16_t **samples, uint32_t *width,
                    uint32_t *height, char *why, size_t whySize);
