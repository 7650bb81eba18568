// Sky images for the viewer's sky box: a side image stretched once across
// each of the four walls and a top image on the lid.
//
// Both are built in the order GL reads them: row 0 first, 3 bytes R, G, B a
// pixel. In the side image row 0 is the lower edge of a wall (texture t = 0,
// near the ground) and the last row its upper edge, where the wall meets the
// lid. The four walls meet at the box's corners, so the side image is
// periodic across its width: column w - 1 continues into column 0.
#pragma once

// Image sizes the viewer's sky is made at.
const int SkySideWidth = 512;
const int SkySideHeight = 256;
const int SkyTopSide = 512;

// Largest width or height the generators accept.
const int SkyMaxSide = 4096;

// Height on the wall, as a fraction from its lower edge (0) to its upper edge
// (1), where the camera sees the horizon: the glow is brightest here.
const float SkyHorizon = 0.52f;

// Clear-sky colour of the side image at height v (0 = lower edge of the
// wall, 1 = upper edge), as R, G, B in 0..255: a pale haze below the
// horizon, a warm glow at it and a deepening blue above it.
void SkyGradientColour(float v, float rgb[3]);

// Fills rgb[w * h * 3] with the side image: the gradient with soft clouds
// that thin out towards the horizon and vanish at the upper edge, so that
// the last row is the plain gradient colour the lid's border matches.
// Depends only on (w, h, seed). Returns 0, or -1 when w or h is outside
// 1..SkyMaxSide or rgb is null.
int MakeSkySide(int w, int h, unsigned seed, unsigned char *rgb);

// Fills rgb[side * side * 3] with the top image: a zenith blue in the middle
// that pales towards the border into the colour of the side image's upper
// edge, with soft clouds that fade out before the border. Depends only on
// (side, seed). Returns 0, or -1 when side is outside 1..SkyMaxSide or rgb
// is null.
int MakeSkyTop(int side, unsigned seed, unsigned char *rgb);
