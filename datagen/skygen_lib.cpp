// Sky image synthesis: a colour gradient plus clouds from fractal gradient
// noise.
//
// The noise lattice wraps around with a whole number of cells across the
// side image, so the clouds continue seamlessly from its right edge into its
// left one. Randomness comes only from integer hashing of the seed and the
// maths is plain float arithmetic, so the same arguments give the same bytes
// on every run.
#include "datagen/skygen_lib.h"

#include <cmath>
#include <cstdint>
#include "datagen/synth.h"

namespace {

// ---------------------------------------------------------------------------
// Hashing and periodic gradient noise

uint32_t HashCell(int32_t x, int32_t y, uint32_t seed) {
    uint32_t h = Mix32(seed ^ 0x9e3779b9U);
    h = Mix32(h ^ static_cast<uint32_t>(x));
    h = Mix32(h ^ (static_cast<uint32_t>(y) * 0x85ebca6bU));
    return h;
}

// Rounds x to a byte after adding a little noise (dither) from a hash of the
// pixel's place, so that smooth gradients show no steps.
unsigned char ToByte(float x, int col, int row) {
    uint32_t h = HashCell(col, row, 0x3c6ef372U);
    float dither = static_cast<float>(h >> 8) * (1.0f / 16777216.0f) - 0.5f;
    x += dither;
    if (x <= 0.0f) {
        return 0;
    }
    if (x >= 255.0f) {
        return 255;
    }
    return static_cast<unsigned char>(std::lround(x));
}

// Sixteen unit directions, evenly spread, for the lattice gradients.
const float Gradients[16][2] = {
    {1.0f, 0.0f},  {0.92388f, 0.38268f},   {0.70711f, 0.70711f},   {0.38268f, 0.92388f},
    {0.0f, 1.0f},  {-0.38268f, 0.92388f},  {-0.70711f, 0.70711f},  {-0.92388f, 0.38268f},
    {-1.0f, 0.0f}, {-0.92388f, -0.38268f}, {-0.70711f, -0.70711f}, {-0.38268f, -0.92388f},
    {0.0f, -1.0f}, {0.38268f, -0.92388f},  {0.70711f, -0.70711f},  {0.92388f, -0.38268f},
};

int Wrap(int32_t i, int32_t period) {
    int32_t m = i % period;
    return m < 0 ? m + period : m;
}

float Fade(float t) {
    return t * t * t * (t * (t * 6.0f - 15.0f) + 10.0f);
}

float Corner(int32_t ix, int32_t iy, float dx, float dy, uint32_t seed) {
    const float *g = Gradients[HashCell(ix, iy, seed) & 15u];
    return g[0] * dx + g[1] * dy;
}

// Gradient noise at (x, y) in lattice cells, about -0.7..0.7. Lattice
// column indices wrap with periodX (> 0), so the noise repeats every periodX
// cells along x.
float GradientNoise(float x, float y, int32_t periodX, uint32_t seed) {
    float fx = floorf(x);
    float fy = floorf(y);
    int32_t ix = static_cast<int32_t>(fx);
    int32_t iy = static_cast<int32_t>(fy);
    float dx = x - fx;
    float dy = y - fy;
    int32_t x0 = Wrap(ix, periodX);
    int32_t x1 = Wrap(ix + 1, periodX);
    float n00 = Corner(x0, iy, dx, dy, seed);
    float n10 = Corner(x1, iy, dx - 1.0f, dy, seed);
    float n01 = Corner(x0, iy + 1, dx, dy - 1.0f, seed);
    float n11 = Corner(x1, iy + 1, dx - 1.0f, dy - 1.0f, seed);
    float u = Fade(dx);
    float v = Fade(dy);
    return Lerp(Lerp(n00, n10, u), Lerp(n01, n11, u), v);
}

// Fractal sum of octaves, each at twice the frequency and half the weight of
// the one before; the period doubles with the frequency, so the sum keeps
// repeating every periodX cells of the first octave. Result about -1..1.
float Fractal(float x, float y, int32_t periodX, int octaves, uint32_t seed) {
    float sum = 0.0f;
    float weight = 1.0f;
    float total = 0.0f;
    for (int o = 0; o < octaves; ++o) {
        sum += weight *
               GradientNoise(x, y, periodX, seed + 0x632be5abU * static_cast<uint32_t>(o + 1));
        total += weight;
        x *= 2.0f;
        y *= 2.0f;
        periodX *= 2;
        weight *= 0.5f;
    }
    return sum / total * 1.6f;
}

// Cloud density, 0 (clear) .. 1 (thick), at (x, y) in lattice cells: a
// fractal warped by two more fractals, which gives billows and wisps instead
// of round blobs. coverage (0..1) moves the threshold: more sky covered.
float CloudDensity(float x, float y, int32_t periodX, float coverage, uint32_t seed) {
    float wx = Fractal(x + 5.2f, y + 1.3f, periodX, 4, seed ^ 0x51ed270bU);
    float wy = Fractal(x + 1.7f, y + 9.2f, periodX, 4, seed ^ 0x2c1b3c6dU);
    float n = Fractal(x + 0.55f * wx, y + 0.35f * wy, periodX, 6, seed);
    float threshold = 0.35f - 0.6f * coverage;
    return SmoothStep(threshold, threshold + 0.55f, n);
}

// ---------------------------------------------------------------------------
// Colours

struct ColourKey {
    float v;
    float rgb[3];
};

// Clear-sky colours up the wall; between keys the colour follows a
// Catmull-Rom curve, so the gradient has no creases.
const ColourKey SideKeys[] = {
    {0.00f, {214.0f, 224.0f, 232.0f}}, // distant haze near the ground
    {0.30f, {228.0f, 234.0f, 238.0f}},
    {0.44f, {242.0f, 242.0f, 238.0f}},
    {SkyHorizon, {252.0f, 247.0f, 236.0f}}, // warm glow at the horizon
    {0.61f, {228.0f, 235.0f, 240.0f}},
    {0.72f, {180.0f, 207.0f, 234.0f}},
    {0.86f, {138.0f, 180.0f, 226.0f}},
    {1.00f, {108.0f, 158.0f, 218.0f}}, // where the wall meets the lid
};
const int SideKeyCount = static_cast<int>(sizeof(SideKeys) / sizeof(SideKeys[0]));

// Straight up.
const float Zenith[3] = {58.0f, 110.0f, 196.0f};

float CatmullRom(float p0, float p1, float p2, float p3, float t) {
    float t2 = t * t;
    float t3 = t2 * t;
    return 0.5f * (2.0f * p1 + (p2 - p0) * t + (2.0f * p0 - 5.0f * p1 + 4.0f * p2 - p3) * t2 +
                   (3.0f * p1 - p0 - 3.0f * p2 + p3) * t3);
}

// Cloud colours: the sunlit tops and thin edges, and the shaded undersides.
const float CloudLit[3] = {252.0f, 252.0f, 250.0f};
const float CloudShade[3] = {196.0f, 204.0f, 216.0f};

void MixColour(const float a[3], const float b[3], float t, float out[3]) {
    for (int c = 0; c < 3; ++c) {
        out[c] = Lerp(a[c], b[c], t);
    }
}

// Noise lattice cells across the side image and per cell, in pixels, of the
// top image: the clouds on the lid and on the walls are of a similar size.
const int32_t SideCellsAcross = 6;
const float TopCellPixels = 110.0f;

} // namespace

void SkyGradientColour(float v, float rgb[3]) {
    v = Clamp01(v);
    int k = 0;
    while (k < SideKeyCount - 2 && v > SideKeys[k + 1].v) {
        ++k;
    }
    const ColourKey &a = SideKeys[k];
    const ColourKey &b = SideKeys[k + 1];
    const ColourKey &before = SideKeys[k > 0 ? k - 1 : k];
    const ColourKey &after = SideKeys[k + 2 < SideKeyCount ? k + 2 : k + 1];
    float t = (v - a.v) / (b.v - a.v);
    for (int c = 0; c < 3; ++c) {
        float x = CatmullRom(before.rgb[c], a.rgb[c], b.rgb[c], after.rgb[c], t);
        rgb[c] = x < 0.0f ? 0.0f : (x > 255.0f ? 255.0f : x);
    }
}

int MakeSkySide(int w, int h, unsigned seed, unsigned char *rgb) {
    if (rgb == nullptr || w < 1 || h < 1 || w > SkyMaxSide || h > SkyMaxSide) {
        return -1;
    }
    // Square lattice cells in pixels. A wall is about 7.5 times as wide as it
    // is high in the world but only twice in the image, so on the wall the
    // clouds come out stretched into the long flat banks seen near a horizon.
    const float cellPixels = static_cast<float>(w) / static_cast<float>(SideCellsAcross);
    const float lightStep = 0.06f; // cells, for the shading of the undersides
    for (int row = 0; row < h; ++row) {
        float v = (static_cast<float>(row) + 0.5f) / static_cast<float>(h);
        float sky[3];
        SkyGradientColour(v, sky);
        // Clouds from the horizon up to just short of the upper edge,
        // thinner and hazier low down.
        float band = SmoothStep(SkyHorizon, 0.68f, v) * (1.0f - SmoothStep(0.86f, 0.985f, v));
        float coverage = 0.25f + 0.30f * SmoothStep(0.6f, 0.9f, v);
        float haze = 0.55f * (1.0f - SmoothStep(SkyHorizon, 0.78f, v));
        float y = (static_cast<float>(h - 1 - row) + 0.5f) / cellPixels; // noise y grows downwards
        for (int col = 0; col < w; ++col) {
            unsigned char *px =
                rgb +
                (static_cast<size_t>(row) * static_cast<size_t>(w) + static_cast<size_t>(col)) * 3;
            float colour[3] = {sky[0], sky[1], sky[2]};
            if (band > 0.0f) {
                float x = (static_cast<float>(col) + 0.5f) / cellPixels;
                float d = CloudDensity(x, y, SideCellsAcross, coverage, seed);
                if (d > 0.0f) {
                    // Denser just below means this is a lit upper edge; denser
                    // just above means it is the shaded underside.
                    float above = CloudDensity(x, y - lightStep, SideCellsAcross, coverage, seed);
                    float shade = Clamp01(0.35f + 1.6f * (above - d) + 0.35f * d);
                    float cloud[3];
                    MixColour(CloudLit, CloudShade, shade, cloud);
                    MixColour(cloud, sky, haze, cloud);
                    float alpha = band * (0.15f + 0.85f * d) * SmoothStep(0.0f, 0.35f, d);
                    MixColour(colour, cloud, alpha, colour);
                }
            }
            for (int c = 0; c < 3; ++c) {
                px[c] = ToByte(colour[c], col, row);
            }
        }
    }
    return 0;
}

int MakeSkyTop(int side, unsigned seed, unsigned char *rgb) {
    if (rgb == nullptr || side < 1 || side > SkyMaxSide) {
        return -1;
    }
    float edge[3];
    SkyGradientColour(1.0f, edge);
    const float scale =
        static_cast<float>(side) / 512.0f; // cloud size follows the lid, not the pixels
    const float cellPixels = TopCellPixels * scale;
    const uint32_t topSeed = seed ^ 0xa511e9b3U;
    const float lightStep = 0.05f;
    for (int row = 0; row < side; ++row) {
        float v = (static_cast<float>(row) + 0.5f) / static_cast<float>(side) * 2.0f - 1.0f;
        for (int col = 0; col < side; ++col) {
            float u = (static_cast<float>(col) + 0.5f) / static_cast<float>(side) * 2.0f - 1.0f;
            // 0 straight up, 1 all along the border: rounded-square rings, so
            // the whole border matches the walls' upper edge.
            float ring = 1.0f - (1.0f - u * u) * (1.0f - v * v);
            float sky[3];
            float towardsEdge = Clamp01(ring);
            towardsEdge = 1.0f - (1.0f - towardsEdge) * (1.0f - towardsEdge) * (1.0f - towardsEdge);
            MixColour(Zenith, edge, towardsEdge, sky);
            float colour[3] = {sky[0], sky[1], sky[2]};
            float band = 1.0f - SmoothStep(0.80f, 0.97f, ring);
            if (band > 0.0f) {
                float x = (static_cast<float>(col) + 0.5f) / cellPixels;
                float y = (static_cast<float>(row) + 0.5f) / cellPixels;
                float d = CloudDensity(x, y, 1 << 20, 0.55f, topSeed);
                if (d > 0.0f) {
                    // Seen from below: thick cores greyer, thin parts bright.
                    float other =
                        CloudDensity(x + lightStep, y + lightStep, 1 << 20, 0.55f, topSeed);
                    float shade = Clamp01(0.15f + 0.55f * d + 1.2f * (d - other));
                    float cloud[3];
                    MixColour(CloudLit, CloudShade, shade, cloud);
                    float alpha = band * (0.15f + 0.85f * d) * SmoothStep(0.0f, 0.35f, d);
                    MixColour(colour, cloud, alpha, colour);
                }
            }
            unsigned char *px = rgb + (static_cast<size_t>(row) * static_cast<size_t>(side) +
                                       static_cast<size_t>(col)) *
                                          3;
            for (int c = 0; c < 3; ++c) {
                px[c] = ToByte(colour[c], col, row);
            }
        }
    }
    return 0;
}
