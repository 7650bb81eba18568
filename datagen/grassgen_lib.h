// The terrain's grass texture: a meadow seen from above, blades of grass of
// several greens over a dark undergrowth.
//
// The texture is repeated every few grid cells over the whole landscape, so
// it is seamless: everything in it is periodic across the image, the last
// column continues into the first and the last row into the first row.
// Pixels are made in the order GL reads them: row 0 first, 3 bytes R, G, B.
#pragma once

// Side of the viewer's grass texture.
const int GrassSide = 256;

// Smallest and largest side MakeGrassTexture accepts.
const int GrassMinSide = 16;
const int GrassMaxSide = 1024;

// Fills rgb[side * side * 3] with the texture. Depends only on (side, seed).
// Returns 0, or -1 when side is outside GrassMinSide..GrassMaxSide or rgb
// is null.
int MakeGrassTexture(int side, unsigned seed, unsigned char *rgb);
