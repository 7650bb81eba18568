// Single-channel 16-bit PNGs, which the media layer cuts to 8 bits: told
// apart by their header, and decoded into 16-bit samples. The decoding runs
// only in a confined decoder child.
//
// A plain file (not interlaced, every chunk's checksum right, its image data
// in one run of IDAT chunks that inflates to exactly the rows it needs, no
// critical chunk but IHDR and IDAT before them) is inflated in one pass with
// libdeflate, four times as fast as libpng's zlib; a 4096 x 4096 map takes
// about a third of the time. Any other file, and any file that pass does not
// take, is decoded by libpng, which also gives the reason for a refusal.
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

// Decodes a plain single-channel 16-bit PNG held whole in file (n bytes;
// its image data is gathered in place, so the bytes are changed) into
// width x height samples in the machine's byte order, from malloc, with at
// most maxBytes of samples. Returns 0, or -1 when the file is not one this
// pass takes: nothing is allocated then, and libpng is to decide.
int InflatePlainGrey16Png(unsigned char *file, size_t n, uint64_t maxBytes, uint16_t **samples,
                          uint32_t *width, uint32_t *height);

// Decodes a single-channel 16-bit PNG read from source into width x height
// samples in the machine's byte order (from malloc, row by row, interlaced
// files included): a plain file in one pass, any other with libpng.
// Refuses more than maxBytes of samples before any is read. Returns 0, or
// -1 with the reason in why.
int DecodeGrey16Png(SDL_RWops *source, uint64_t maxBytes, uint16_t **samples, uint32_t *width,
                    uint32_t *height, char *why, size_t whySize);

// The same with libpng alone, whatever the file.
int DecodeGrey16PngWithLibpng(SDL_RWops *source, uint64_t maxBytes, uint16_t **samples,
                              uint32_t *width, uint32_t *height, char *why, size_t whySize);
