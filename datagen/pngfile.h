// The one 16-bit PNG writer, of the converter and the benchmarks: a square
// map of 16-bit levels as a PNG of colour type 0 (grey) and bit depth 16,
// samples big-endian as PNG stores them, each row filtered against the one
// above (quick to decode), no interlacing, no other chunks.
// It writes only data its caller made, so the converter runs it in the
// program, not in a worker. It refuses a side outside 1..MaxPngSide. A
// write that fails (a full disk, at the close too) or a libpng error is a
// return value of -1 with errno telling why; the caller removes the partial
// file.
#pragma once

#include <cstdint>

// Largest side written.
constexpr int MaxPngSide = 16384;

// Writes side x side levels, row 0 first, to path. Returns 0, or -1 with
// errno set (EINVAL for bad arguments).
int WriteGreyPng16(const char *path, int side, const uint16_t *levels);
