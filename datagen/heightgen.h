// Deterministic height-map generator.
//
// The map always covers the same stretch of ground (WorldExtent units
// square) whatever its side in pixels, so the same seed gives the
// same landscape at every resolution; a larger side only adds detail.
#pragma once

#include "app/world.h"

// Largest side accepted by GenerateHeightMap.
constexpr int HeightMapMaxSide = MaxMapSize;

// Fills out[side * side] with pixel heights 0..255, row-major, row 0 being
// the top row of the image. The result depends only on (side, seed,
// shapeStartView). With shapeStartView != 0 the terrain is shaped for the
// viewer's opening camera: a moderate shelf at the top-left corner (where
// the eye height is taken from, column 0 row 20), a low valley under the
// map centre running down the rows, and mountains ahead of it and to both
// sides.
// Returns 0, or -1 when side is outside 1..HeightMapMaxSide or out is null.
int GenerateHeightMap(int side, unsigned seed, int shapeStartView, unsigned char *out);

// Eye height, in pixel-height units, that the viewer uses for the opening
// camera over a map whose height at column 0, row 20 is h0: the camera
// sits at h0 * HeightStep + 10 world units and ground at pixel height h is
// drawn at h * HeightStep - HalfHeight, so ground reaches the eye at this height.
float HeightMapStartEyeLevel(int h0);
