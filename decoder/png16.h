// Single-channel 16-bit PNGs, which the media layer cuts to 8 bits: told
// apart by their header, and decoded into 16-bit samples. The decoding runs
// only in a confined decoder child.
//
// A plain file (not interlaced, every chunk's checksum right, its image data
// in one run of IDAT chunks that inflates to exactly the rows it needs, no
// critical chunk but IHDR and IDAT before them) is inflated in one pass with
// libdeflate, four times as fast as libpng's zlib: a 4096 x 4096 map takes
// a quarter of libpng's time. Any other file, and any file that pass does not
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

// The sides of a plain file (its signature and header, the first 33 bytes
// of file, say so, and it holds at most maxBytes of samples), or -1.
int ReadPlainGrey16PngHead(const unsigned char *file, size_t n, uint64_t maxBytes, uint32_t *width,
                           uint32_t *height);

// Bytes that inflating a plain file of these sides takes: its rows, each
// with its filter's byte.
size_t PlainGrey16PngWorkBytes(uint32_t width, uint32_t height);

// Inflates a plain single-channel 16-bit PNG held whole in file (n bytes;
// its image data is gathered in place, so the bytes are changed) into work
// (at least PlainGrey16PngWorkBytes of its sides), and leaves its width x
// height samples, row by row in the machine's byte order, at work's start.
// Returns 0, or -1 when the file is not one this pass takes (work's bytes
// are then undefined, and libpng is to decide).
int InflatePlainGrey16Png(unsigned char *file, size_t n, uint64_t maxBytes, unsigned char *work,
                          size_t workBytes);

// Reads source whole when its header is that of a plain file and it is no
// larger than its image data needs. Returns 1 with the bytes (from malloc)
// and the sides, 0 when not (source is at its start again), or -1 with the
// reason in why when source cannot be read from its start again.
int ReadPlainGrey16PngFile(SDL_RWops *source, uint64_t maxBytes, unsigned char **file, size_t *n,
                           uint32_t *width, uint32_t *height, char *why, size_t whySize);

// Decodes a single-channel 16-bit PNG read from source with libpng into
// width x height samples in the machine's byte order (from malloc, row by
// row, interlaced files included). Refuses more than maxBytes of samples
// before any is read. Returns 0, or -1 with the reason in why.
int DecodeGrey16PngWithLibpng(SDL_RWops *source, uint64_t maxBytes, uint16_t **samples,
                              uint32_t *width, uint32_t *height, char *why, size_t whySize);
