// Height-map generator: fractal noise terrain, resolution independent.
//
// The terrain is a continuous function of the normalised ground position
// (u, v) in 0..1; pixels sample it at their centres. Only the number of
// noise octaves depends on the side (detail finer than the pixels is not
// computed), so maps of different sides show the same landscape.
//
// Randomness comes only from integer hashing of the seed, and the maths is
// plain float arithmetic (+ - * /, sqrt, fabs, conversions), so a given
// (side, seed) gives the same bytes on every machine and with any
// optimisation flags.
#include "datagen/heightgen.h"

#include <cmath>
#include <cstdint>

#include <vector>
#include "datagen/synth.h"

namespace {

// ---------------------------------------------------------------------------
// Hashing and lattice noise

inline uint32_t Hash2(int32_t x, int32_t y, uint32_t seed) {
    uint32_t h = static_cast<uint32_t>(x) * 0x8da6b343U + static_cast<uint32_t>(y) * 0xd8163841U +
                 seed * 0xcb1ab31fU;
    return Mix32(h);
}

// Hashes of the four lattice corners around cell (ix, iy): the x and y
// parts are shared between corners, then each sum gets a short mix.
struct CornerHashes {
    uint32_t h00, h10, h01, h11;
};

inline uint32_t CornerMix(uint32_t h) {
    h ^= h >> 16;
    h *= 0x21f0aaadU;
    h ^= h >> 15;
    h *= 0x735a2d97U;
    h ^= h >> 15;
    return h;
}

inline CornerHashes HashCorners(int32_t ix, int32_t iy, uint32_t seed) {
    const uint32_t HashX = 0x8da6b343U, HashY = 0xd8163841U;
    uint32_t x0 = static_cast<uint32_t>(ix) * HashX + seed, x1 = x0 + HashX;
    uint32_t y0 = static_cast<uint32_t>(iy) * HashY, y1 = y0 + HashY;
    CornerHashes c;
    c.h00 = CornerMix(x0 ^ y0);
    c.h10 = CornerMix(x1 ^ y0);
    c.h01 = CornerMix(x0 ^ y1);
    c.h11 = CornerMix(x1 ^ y1);
    return c;
}

// Gradient components from the two signed 16-bit halves of a hash.
inline float GradX(uint32_t h) {
    return static_cast<float>(static_cast<int32_t>(h) >> 16);
}
inline float GradY(uint32_t h) {
    return static_cast<float>(static_cast<int32_t>(h << 16) >> 16);
}

// Derives an independent stream seed for one noise layer.
uint32_t LayerSeed(uint32_t seed, uint32_t layer) {
    return Mix32(Mix32(seed ^ 0xa511e9b3U) + layer * 0x9e3779b9U);
}

// Uniform value in [-1, 1) from a hash.
inline float HashSigned(uint32_t h) {
    return static_cast<float>(static_cast<int32_t>(h >> 8)) * (2.0f / 16777216.0f) - 1.0f;
}

// Sixteen unit gradient directions, offset by half a step so that none is
// axis aligned.
const float Grad[16][2] = {
    {0.980785280f, 0.195090322f},   {0.831469612f, 0.555570233f},   {0.555570233f, 0.831469612f},
    {0.195090322f, 0.980785280f},   {-0.195090322f, 0.980785280f},  {-0.555570233f, 0.831469612f},
    {-0.831469612f, 0.555570233f},  {-0.980785280f, 0.195090322f},  {-0.980785280f, -0.195090322f},
    {-0.831469612f, -0.555570233f}, {-0.555570233f, -0.831469612f}, {-0.195090322f, -0.980785280f},
    {0.195090322f, -0.980785280f},  {0.555570233f, -0.831469612f},  {0.831469612f, -0.555570233f},
    {0.980785280f, -0.195090322f},
};

// floor() for the coordinate range used here (well inside int32), without
// a library call.
inline int32_t FloorInt(float x) {
    int32_t i = static_cast<int32_t>(x);
    return i - static_cast<int32_t>(static_cast<float>(i) > x);
}

inline float Fade(float t) {
    return t * t * t * (t * (t * 6.0f - 15.0f) + 10.0f);
}
inline float FadeDeriv(float t) {
    return 30.0f * t * t * (t * (t - 2.0f) + 1.0f);
}

// Gradient noise, roughly in [-1, 1].
inline float GradientNoise(float x, float y, uint32_t seed) {
    int32_t ix = FloorInt(x), iy = FloorInt(y);
    float tx = x - static_cast<float>(ix), ty = y - static_cast<float>(iy);
    CornerHashes c = HashCorners(ix, iy, seed);
    const float *g00 = Grad[c.h00 >> 28];
    const float *g10 = Grad[c.h10 >> 28];
    const float *g01 = Grad[c.h01 >> 28];
    const float *g11 = Grad[c.h11 >> 28];
    float n00 = g00[0] * tx + g00[1] * ty;
    float n10 = g10[0] * (tx - 1.0f) + g10[1] * ty;
    float n01 = g01[0] * tx + g01[1] * (ty - 1.0f);
    float n11 = g11[0] * (tx - 1.0f) + g11[1] * (ty - 1.0f);
    float ux = Fade(tx), uy = Fade(ty);
    float a = n00 + (n10 - n00) * ux;
    float b = n01 + (n11 - n01) * ux;
    return (a + (b - a) * uy) * 1.4142135f;
}

// Each octave is scaled by two and turned by about 37 degrees, so the
// lattices of successive octaves never line up.
inline void NextOctave(float *x, float *y) {
    float nx = 1.6f * *x - 1.2f * *y;
    float ny = 1.2f * *x + 1.6f * *y;
    *x = nx;
    *y = ny;
}

// Plain fBm of gradient noise, roughly in [-1, 1].
float Fbm(float x, float y, uint32_t seed, int octaves) {
    float sum = 0.0f, amp = 0.5f, norm = 0.0f;
    for (int i = 0; i < octaves; ++i) {
        sum += amp * GradientNoise(x, y, seed + static_cast<uint32_t>(i) * 0x632be5abU);
        norm += amp;
        amp *= 0.5f;
        NextOctave(&x, &y);
    }
    return sum / norm;
}

// The per-pixel noise works on batches of Batch points at a time, as
// plain loops of fixed length with no branches, which the compiler turns
// into vector code. Every lane does exactly the arithmetic a scalar loop
// would, so results do not depend on how it is compiled.
const int Batch = 8;

// fBm of value noise whose octaves are damped where the accumulated slope
// is steep: fine detail gathers on flats and in valley floors while slopes
// stay smooth, which reads as weathered ground. Roughly in [-1, 1].
void ErodedFbmBatch(const float *xIn, const float *yIn, uint32_t seed, int octaves, float *out) {
    float x[Batch], y[Batch], sum[Batch], gx[Batch], gy[Batch];
    for (int i = 0; i < Batch; ++i) {
        x[i] = xIn[i];
        y[i] = yIn[i];
        sum[i] = gx[i] = gy[i] = 0.0f;
    }
    float amp = 0.5f, norm = 0.0f;
    for (int o = 0; o < octaves; ++o) {
        const uint32_t s = seed + static_cast<uint32_t>(o) * 0x632be5abU;
        const uint32_t HashX = 0x8da6b343U, HashY = 0xd8163841U;
        for (int i = 0; i < Batch; ++i) {
            int32_t ix = FloorInt(x[i]), iy = FloorInt(y[i]);
            float tx = x[i] - static_cast<float>(ix), ty = y[i] - static_cast<float>(iy);
            uint32_t x0 = static_cast<uint32_t>(ix) * HashX + s, x1 = x0 + HashX;
            uint32_t y0 = static_cast<uint32_t>(iy) * HashY, y1 = y0 + HashY;
            float a = HashSigned(CornerMix(x0 ^ y0));
            float b = HashSigned(CornerMix(x1 ^ y0));
            float c = HashSigned(CornerMix(x0 ^ y1));
            float d = HashSigned(CornerMix(x1 ^ y1));
            float ux = Fade(tx), uy = Fade(ty);
            float k1 = b - a, k2 = c - a, k3 = a - b - c + d;
            float n = a + k1 * ux + k2 * uy + k3 * ux * uy;
            gx[i] += FadeDeriv(tx) * (k1 + k3 * uy);
            gy[i] += FadeDeriv(ty) * (k2 + k3 * ux);
            sum[i] += amp * n / (1.0f + gx[i] * gx[i] + gy[i] * gy[i]);
            // Next octave: scaled by two and turned by about 37 degrees so
            // that the lattices of successive octaves never line up.
            float nx = 1.6f * x[i] - 1.2f * y[i];
            float ny = 1.2f * x[i] + 1.6f * y[i];
            x[i] = nx;
            y[i] = ny;
        }
        norm += amp;
        amp *= 0.5f;
    }
    for (int i = 0; i < Batch; ++i) {
        out[i] = sum[i] / norm;
    }
}

// Ridged multifractal of gradient noise: sharp crests where the noise
// crosses zero, each octave weighted by the one before it so that detail
// sits on the ridges and the valleys between them stay smooth. Roughly in
// [0, 1].
const float RidgeNoiseGain = 1.6f;

void RidgedBatch(const float *xIn, const float *yIn, uint32_t seed, int octaves, float *out) {
    float x[Batch], y[Batch], sum[Batch], weight[Batch];
    for (int i = 0; i < Batch; ++i) {
        x[i] = xIn[i];
        y[i] = yIn[i];
        sum[i] = 0.0f;
        weight[i] = 1.0f;
    }
    float amp = 1.0f, norm = 0.0f;
    const float GradientScale = 1.0f / 32768.0f;
    for (int o = 0; o < octaves; ++o) {
        const uint32_t s = seed + static_cast<uint32_t>(o) * 0x632be5abU;
        const uint32_t HashX = 0x8da6b343U, HashY = 0xd8163841U;
        for (int i = 0; i < Batch; ++i) {
            int32_t ix = FloorInt(x[i]), iy = FloorInt(y[i]);
            float tx = x[i] - static_cast<float>(ix), ty = y[i] - static_cast<float>(iy);
            uint32_t x0 = static_cast<uint32_t>(ix) * HashX + s, x1 = x0 + HashX;
            uint32_t y0 = static_cast<uint32_t>(iy) * HashY, y1 = y0 + HashY;
            // Corner gradients: two signed 16-bit halves of the hash.
            uint32_t h00 = CornerMix(x0 ^ y0), h10 = CornerMix(x1 ^ y0);
            uint32_t h01 = CornerMix(x0 ^ y1), h11 = CornerMix(x1 ^ y1);
            float n00 = GradX(h00) * GradientScale * tx + GradY(h00) * GradientScale * ty;
            float n10 = GradX(h10) * GradientScale * (tx - 1.0f) + GradY(h10) * GradientScale * ty;
            float n01 = GradX(h01) * GradientScale * tx + GradY(h01) * GradientScale * (ty - 1.0f);
            float n11 =
                GradX(h11) * GradientScale * (tx - 1.0f) + GradY(h11) * GradientScale * (ty - 1.0f);
            float ux = Fade(tx), uy = Fade(ty);
            float ra = n00 + (n10 - n00) * ux;
            float rb = n01 + (n11 - n01) * ux;
            float n = (ra + (rb - ra) * uy) * RidgeNoiseGain;
            float sig = 1.0f - fabsf(n);
            sig = 0.5f * (sig + fabsf(sig)); // max(sig, 0) without a branch
            sig *= sig;
            sig *= weight[i];
            float w = sig * 2.0f;
            weight[i] = 0.5f * (w + 1.0f - fabsf(w - 1.0f)); // min(w, 1)
            sum[i] += sig * amp;
            float nx = 1.6f * x[i] - 1.2f * y[i];
            float ny = 1.2f * x[i] + 1.6f * y[i];
            x[i] = nx;
            y[i] = ny;
        }
        norm += amp;
        amp *= 0.47f;
    }
    for (int i = 0; i < Batch; ++i) {
        out[i] = sum[i] / norm;
    }
}

// Soft limits: identity well inside the limit, then an easing curve that
// approaches it without ever crossing, with a continuous slope.
inline float SoftCeil(float h, float limit, float knee) {
    float start = limit - knee;
    if (h <= start) {
        return h;
    }
    float x = (h - start) / knee;
    return start + knee * x / (1.0f + x);
}

inline float SoftFloor(float h, float limit, float knee) {
    return -SoftCeil(-h, -limit, knee);
}

// ---------------------------------------------------------------------------
// Terrain
//
// The landscape is built in three layers:
//  - large-scale fields (domain warp, where the mountain ranges are, the
//    opening-view layout), smooth enough to be sampled on a fixed coarse
//    grid and interpolated;
//  - ridged multifractal mountains and weathered hills, evaluated at every
//    pixel with as many octaves as the pixels can show;
//  - erosion: water droplets run over the terrain on the same fixed grid
//    and carve gullies and fill valley floors; the change they make is
//    interpolated like the other coarse fields.
// Because the coarse grid does not depend on the side, every side shows
// the same mountains, valleys and gullies.

// Coarse grid: Grid cells across the map, sampled at cell centres like a
// Grid-pixel map, plus Pad cells of margin on every side for the
// interpolation.
const int Grid = 256;
const int Pad = 2;
const int GridStride = Grid + 2 * Pad;

// Lowest noise frequencies, in lattice cells across the map.
const float WarpFreq = 2.1f;
const float RegionFreq = 2.4f;
const float RidgeFreq = 3.0f;
const float HillFreq = 6.0f;
const float WarpAmount = 0.1f; // in map widths
const int RidgeMaxOctaves = 8;
const int HillMaxOctaves = 6;

// Fields stored on the coarse grid, one float per grid point each.
enum CoarseField {
    FieldWarpU, // warped ground position
    FieldWarpV,
    FieldBase,       // broad elevation
    FieldHillAmp,    // amplitude of the rolling hills
    FieldMount,      // how mountainous, 0..1
    FieldValleyCore, // opening view: where the valley floor must be low
    FieldShelf,      // opening view: moderate shelf at the top-left corner
    FieldErosion,    // height change made by erosion
    FieldCount
};

struct Terrain {
    uint32_t warpX, warpY, region, ridge, hills, erosion;
    int ridgeOctaves;
    int hillOctaves;
    int shape;
    std::vector<float> coarse; // FieldCount planes of GridStride^2
};

inline float &CoarseAt(Terrain &t, int field, int gx, int gy) {
    return t.coarse[(static_cast<size_t>(field) * GridStride + static_cast<size_t>(gy + Pad)) *
                        GridStride +
                    static_cast<size_t>(gx + Pad)];
}

// Number of octaves, starting at baseFreq cells across the map, whose
// lattice cells still span about three pixels or more, up to maxOctaves
// (finer octaves would be well under one pixel-height step).
int OctavesFor(float baseFreq, int side, int maxOctaves) {
    int n = 1;
    float f = baseFreq * 2.0f;
    while (f <= static_cast<float>(side) * 0.34f && n < maxOctaves) {
        ++n;
        f *= 2.0f;
    }
    return n;
}

// Opening-view layout, in map widths, measured from the map centre: the
// camera stands at the centre and looks towards higher rows.
struct StartViewLayout {
    float valley;     // 1 on the valley floor and its slopes
    float valleyCore; // 1 where the valley floor must be low
    float mountain;   // 1 where mountains stand
    float shelf;      // 1 on the top-left shelf
};

StartViewLayout ComputeStartViewLayout(float u, float v, float wu, float wv) {
    StartViewLayout s;
    float du = u - 0.5f, dv = v - 0.5f;
    float r = sqrtf(du * du + dv * dv);
    // The valley meanders and the ranges are ragged away from the centre;
    // right under the camera the layout is exact.
    float wobble = SmoothStep(0.08f, 0.3f, r);
    float mu = du + 0.08f * wobble * wu;
    float mv = dv + 0.08f * wobble * wv;

    // Valley: runs from behind the camera to about an eighth of the map
    // ahead of it, where it ends against the mountains.
    float across = fabsf(mu);
    float behind = -mv, ahead = mv;
    float vAcross = 1.0f - SmoothStep(0.06f, 0.19f, across);
    float vAlong =
        (1.0f - SmoothStep(0.3f, 0.5f, behind)) * (1.0f - SmoothStep(0.12f, 0.2f, ahead));
    s.valley = vAcross * vAlong;
    float cAcross = 1.0f - SmoothStep(0.065f, 0.1f, fabsf(du));
    float cAlong = (1.0f - SmoothStep(0.03f, 0.08f, -dv)) * (1.0f - SmoothStep(0.12f, 0.16f, dv));
    s.valleyCore = cAcross * cAlong;

    // Mountains: a broad horseshoe around the head of the valley, opening
    // back towards the camera.
    float mr = sqrtf(mu * mu + mv * mv);
    float ring = SmoothStep(0.13f, 0.22f, mr) * (1.0f - SmoothStep(0.38f, 0.56f, mr));
    float front = SmoothStep(-0.12f, 0.1f, mv);
    s.mountain = ring * front;

    // Shelf along the top of the left edge, where the viewer takes its eye
    // height from (column 0, row 20); that pixel lies fully on the shelf
    // for every side from 80 up.
    float su = u / 0.08f;
    float sv = v > 0.2f ? (v - 0.2f) / 0.08f : 0.0f;
    float sd = su * su + sv * sv;
    s.shelf = 1.0f - SmoothStep(0.5f, 5.0f, sd);
    return s;
}

// Fills the large-scale fields at one ground position.
void CoarseSample(const Terrain &t, float u, float v, float out[FieldCount]) {
    float x = u * WarpFreq, y = v * WarpFreq;
    float wu = Fbm(x + 0.37f, y + 1.91f, t.warpX, 3);
    float wv = Fbm(x + 5.13f, y + 3.29f, t.warpY, 3);
    float qu = u + WarpAmount * wu, qv = v + WarpAmount * wv;

    float region = Fbm(qu * RegionFreq + 2.3f, qv * RegionFreq + 7.7f, t.region, 2);
    float mount = SmoothStep(-0.25f, 0.3f, region);
    float valleyCore = 0.0f, shelf = 0.0f, hillAmp = 1.0f;
    if (t.shape) {
        StartViewLayout s = ComputeStartViewLayout(u, v, wu, wv);
        region = Lerp(region, 0.6f, s.mountain);
        mount = Lerp(mount, 1.0f, s.mountain);
        region = Lerp(region, -0.05f, s.valley);
        mount = Lerp(mount, 0.0f, s.valley);
        region = Lerp(region, 0.5f, s.shelf);
        mount = Lerp(mount, 0.0f, s.shelf);
        valleyCore = s.valleyCore;
        shelf = s.shelf;
        // Valley floors and the shelf are smoother than open country.
        hillAmp = (1.0f - 0.5f * s.valley) * (1.0f - 0.6f * s.shelf);
    }
    out[FieldWarpU] = qu;
    out[FieldWarpV] = qv;
    out[FieldBase] = 0.30f * region;
    out[FieldHillAmp] = 0.16f * hillAmp;
    out[FieldMount] = mount;
    out[FieldValleyCore] = valleyCore;
    out[FieldShelf] = shelf;
    out[FieldErosion] = 0.0f;
}

// Terrain height before erosion and normalisation at Batch points, from
// the large-scale fields there (f[field][point]).
void DetailHeightBatch(const Terrain &t, const float f[FieldCount][Batch], int ridgeOctaves,
                       int hillOctaves, float *out) {
    float x[Batch], y[Batch], n[Batch];
    for (int i = 0; i < Batch; ++i) {
        x[i] = f[FieldWarpU][i] * HillFreq + 11.3f;
        y[i] = f[FieldWarpV][i] * HillFreq + 4.1f;
    }
    ErodedFbmBatch(x, y, t.hills, hillOctaves, n);
    int mountains = 0;
    for (int i = 0; i < Batch; ++i) {
        out[i] = f[FieldBase][i] + f[FieldHillAmp][i] * n[i];
        mountains |= f[FieldMount][i] > 0.0f;
    }
    if (!mountains) {
        return;
    }
    for (int i = 0; i < Batch; ++i) {
        x[i] = f[FieldWarpU][i] * RidgeFreq;
        y[i] = f[FieldWarpV][i] * RidgeFreq;
    }
    RidgedBatch(x, y, t.ridge, ridgeOctaves, n);
    for (int i = 0; i < Batch; ++i) {
        out[i] += f[FieldMount][i] * (1.2f * n[i] * sqrtf(n[i]) - 0.1f);
    }
}

// ---------------------------------------------------------------------------
// Erosion on the coarse grid

// Height and downhill gradient at a point of a Grid x Grid height grid,
// bilinear between grid points.
inline float GridHeightGrad(const float *g, float x, float y, float *gx, float *gy) {
    int ix = static_cast<int>(x), iy = static_cast<int>(y);
    float fx = x - static_cast<float>(ix), fy = y - static_cast<float>(iy);
    const float *p = g + static_cast<size_t>(iy) * Grid + ix;
    float h00 = p[0], h10 = p[1], h01 = p[Grid], h11 = p[Grid + 1];
    *gx = (h10 - h00) * (1.0f - fy) + (h11 - h01) * fy;
    *gy = (h01 - h00) * (1.0f - fx) + (h11 - h10) * fx;
    return h00 * (1.0f - fx) * (1.0f - fy) + h10 * fx * (1.0f - fy) + h01 * (1.0f - fx) * fy +
           h11 * fx * fy;
}

// Adds amount to the four grid points around (x, y), bilinearly weighted.
inline void GridDeposit(float *g, float x, float y, float amount) {
    int ix = static_cast<int>(x), iy = static_cast<int>(y);
    float fx = x - static_cast<float>(ix), fy = y - static_cast<float>(iy);
    float *p = g + static_cast<size_t>(iy) * Grid + ix;
    p[0] += amount * (1.0f - fx) * (1.0f - fy);
    p[1] += amount * fx * (1.0f - fy);
    p[Grid] += amount * (1.0f - fx) * fy;
    p[Grid + 1] += amount * fx * fy;
}

const int BrushRadius = 2;

// Runs water droplets over the Grid x Grid heights g (normalised to
// 0..1), each picking up sediment where it speeds downhill and dropping it
// where it slows or climbs. One droplet per grid point on average, each
// starting at a hashed position.
void ErodeGrid(std::vector<float> &g, uint32_t seed) {
    const int Droplets = Grid * Grid;
    const int MaxSteps = 30;
    const float Inertia = 0.05f;
    const float Capacity = 4.0f;
    const float MinSlope = 0.01f;
    const float ErodeRate = 0.3f;
    const float DepositRate = 0.3f;
    const float Evaporate = 0.01f;
    const float Gravity = 4.0f;

    // Erosion brush: weights falling off linearly with distance.
    int brushDx[(2 * BrushRadius + 1) * (2 * BrushRadius + 1)];
    int brushDy[(2 * BrushRadius + 1) * (2 * BrushRadius + 1)];
    float brushW[(2 * BrushRadius + 1) * (2 * BrushRadius + 1)];
    int brushN = 0;
    float brushSum = 0.0f;
    for (int dy = -BrushRadius; dy <= BrushRadius; ++dy) {
        for (int dx = -BrushRadius; dx <= BrushRadius; ++dx) {
            float d = sqrtf(static_cast<float>(dx * dx + dy * dy));
            float w = static_cast<float>(BrushRadius) + 0.5f - d;
            if (w <= 0.0f) {
                continue;
            }
            brushDx[brushN] = dx;
            brushDy[brushN] = dy;
            brushW[brushN] = w;
            brushSum += w;
            ++brushN;
        }
    }
    for (int i = 0; i < brushN; ++i) {
        brushW[i] /= brushSum;
    }

    float *h = g.data();
    const float limit = static_cast<float>(Grid - 1);
    for (int d = 0; d < Droplets; ++d) {
        uint32_t r0 = Hash2(d, 0, seed), r1 = Hash2(d, 1, seed);
        float x = static_cast<float>(r0 >> 8) * (1.0f / 16777216.0f) * limit;
        float y = static_cast<float>(r1 >> 8) * (1.0f / 16777216.0f) * limit;
        float dirX = 0.0f, dirY = 0.0f, speed = 1.0f, water = 1.0f, sediment = 0.0f;
        for (int step = 0; step < MaxSteps; ++step) {
            float gx, gy;
            float hOld = GridHeightGrad(h, x, y, &gx, &gy);
            dirX = dirX * Inertia - gx * (1.0f - Inertia);
            dirY = dirY * Inertia - gy * (1.0f - Inertia);
            float len = sqrtf(dirX * dirX + dirY * dirY);
            if (len < 1e-6f) {
                break;
            }
            dirX /= len;
            dirY /= len;
            float nx = x + dirX, ny = y + dirY;
            if (nx < 0.0f || ny < 0.0f || nx >= limit || ny >= limit) {
                break;
            }
            float ngx, ngy;
            float hNew = GridHeightGrad(h, nx, ny, &ngx, &ngy);
            float dh = hNew - hOld;
            float slope = -dh > MinSlope ? -dh : MinSlope;
            float capacity = slope * speed * water * Capacity;
            if (dh > 0.0f || sediment > capacity) {
                float amount = dh > 0.0f ? (dh < sediment ? dh : sediment)
                                         : (sediment - capacity) * DepositRate;
                sediment -= amount;
                GridDeposit(h, x, y, amount);
            } else {
                float amount = (capacity - sediment) * ErodeRate;
                if (amount > -dh) {
                    amount = -dh;
                }
                int cx = static_cast<int>(std::lround(x)), cy = static_cast<int>(std::lround(y));
                for (int i = 0; i < brushN; ++i) {
                    int bx = cx + brushDx[i], by = cy + brushDy[i];
                    if (bx < 0 || by < 0 || bx >= Grid || by >= Grid) {
                        continue;
                    }
                    h[static_cast<size_t>(by) * Grid + bx] -= amount * brushW[i];
                }
                sediment += amount;
            }
            float s2 = speed * speed - dh * Gravity;
            speed = s2 > 0.0f ? sqrtf(s2) : 0.0f;
            water *= 1.0f - Evaporate;
            x = nx;
            y = ny;
        }
    }
}

// ---------------------------------------------------------------------------
// Interpolation of the coarse fields

// Catmull-Rom weights for a point at fraction t between the second and
// third of four samples.
inline void CubicWeights(float t, float w[4]) {
    float t2 = t * t, t3 = t2 * t;
    w[0] = 0.5f * (-t3 + 2.0f * t2 - t);
    w[1] = 0.5f * (3.0f * t3 - 5.0f * t2 + 2.0f);
    w[2] = 0.5f * (-3.0f * t3 + 4.0f * t2 + t);
    w[3] = 0.5f * (t3 - t2);
}

// Grid cell and weights for normalised coordinate u.
inline int CubicSetup(float u, float w[4]) {
    float g = u * static_cast<float>(Grid) - 0.5f;
    int i = FloorInt(g);
    float f = static_cast<float>(i);
    if (i < -1) {
        i = -1, f = -1.0f, g = -1.0f;
    }
    if (i > Grid - 1) {
        i = Grid - 1, f = static_cast<float>(Grid - 1), g = f;
    }
    CubicWeights(g - f, w);
    return i; // samples i-1 .. i+2
}

// ---------------------------------------------------------------------------

// Samples the large-scale fields over the coarse grid and its margin.
void BuildCoarse(Terrain &t) {
    t.coarse.assign(static_cast<size_t>(FieldCount) * GridStride * GridStride, 0.0f);
    float f[FieldCount];
    for (int gy = -Pad; gy < Grid + Pad; ++gy) {
        float v = (static_cast<float>(gy) + 0.5f) / static_cast<float>(Grid);
        for (int gx = -Pad; gx < Grid + Pad; ++gx) {
            float u = (static_cast<float>(gx) + 0.5f) / static_cast<float>(Grid);
            CoarseSample(t, u, v, f);
            for (int k = 0; k < FieldCount; ++k) {
                CoarseAt(t, k, gx, gy) = f[k];
            }
        }
    }
}

} // namespace

float HeightMapStartEyeLevel(int h0) {
    return static_cast<float>(h0) + (10.0f + HalfHeight) / HeightStep;
}

int GenerateHeightMap(int side, unsigned seed, int shapeStartView, unsigned char *out) {
    if (side < 1 || side > HeightMapMaxSide || out == nullptr) {
        return -1;
    }

    Terrain t;
    t.warpX = LayerSeed(seed, 1);
    t.warpY = LayerSeed(seed, 2);
    t.region = LayerSeed(seed, 3);
    t.ridge = LayerSeed(seed, 4);
    t.hills = LayerSeed(seed, 5);
    t.erosion = LayerSeed(seed, 6);
    t.ridgeOctaves = OctavesFor(RidgeFreq, side, RidgeMaxOctaves);
    t.hillOctaves = OctavesFor(HillFreq, side, HillMaxOctaves);
    t.shape = shapeStartView != 0;
    BuildCoarse(t);

    // The terrain on the coarse grid itself, with the detail a Grid map
    // shows, normalised to 0..1 and eroded.
    const int gridRidge = OctavesFor(RidgeFreq, Grid, RidgeMaxOctaves);
    const int gridHills = OctavesFor(HillFreq, Grid, HillMaxOctaves);
    std::vector<float> grid(static_cast<size_t>(Grid) * Grid);
    float lo = 1e30f, hi = -1e30f;
    float f[FieldCount][Batch];
    float batch[Batch];
    for (int gy = 0; gy < Grid; ++gy) {
        for (int gx = 0; gx < Grid; gx += Batch) {
            for (int k = 0; k < FieldCount; ++k) {
                for (int i = 0; i < Batch; ++i) {
                    f[k][i] = CoarseAt(t, k, gx + i, gy);
                }
            }
            DetailHeightBatch(t, f, gridRidge, gridHills, batch);
            for (int i = 0; i < Batch; ++i) {
                float h = batch[i];
                grid[static_cast<size_t>(gy) * Grid + gx + i] = h;
                if (h < lo) {
                    lo = h;
                }
                if (h > hi) {
                    hi = h;
                }
            }
        }
    }
    const float range = hi - lo > 1e-6f ? hi - lo : 1e-6f;
    std::vector<float> eroded(grid.size());
    for (size_t i = 0; i < grid.size(); ++i) {
        eroded[i] = (grid[i] - lo) / range;
    }
    ErodeGrid(eroded, t.erosion);

    // Erosion change back in terrain units (the margin repeats the edge),
    // and the height range of the eroded grid, which sets the scaling to
    // pixel heights for every side.
    float elo = 1e30f, ehi = -1e30f;
    for (int gy = -Pad; gy < Grid + Pad; ++gy) {
        int sy = gy < 0 ? 0 : (gy >= Grid ? Grid - 1 : gy);
        for (int gx = -Pad; gx < Grid + Pad; ++gx) {
            int sx = gx < 0 ? 0 : (gx >= Grid ? Grid - 1 : gx);
            size_t i = static_cast<size_t>(sy) * Grid + sx;
            float after = eroded[i] * range + lo;
            CoarseAt(t, FieldErosion, gx, gy) = after - grid[i];
            if (after < elo) {
                elo = after;
            }
            if (after > ehi) {
                ehi = after;
            }
        }
    }
    const float scale = 250.0f / (ehi - elo > 1e-6f ? ehi - elo : 1e-6f);

    // Pixels: the coarse fields are interpolated along the row's v first,
    // then across for each pixel. Heights map to 3..253 over the eroded
    // grid's range; detail finer than the grid may reach a little beyond,
    // into soft limits at 0 and 255.
    std::vector<float> rowFields(static_cast<size_t>(FieldCount) * GridStride);
    const float inv = 1.0f / static_cast<float>(side);
    std::vector<int> colCell(static_cast<size_t>(side));
    std::vector<float> colWeights(static_cast<size_t>(side) * 4);
    for (int col = 0; col < side; ++col) {
        float u = (static_cast<float>(col) + 0.5f) * inv;
        colCell[static_cast<size_t>(col)] =
            CubicSetup(u, &colWeights[static_cast<size_t>(col) * 4]) - 1 + Pad;
    }
    for (int row = 0; row < side; ++row) {
        float v = (static_cast<float>(row) + 0.5f) * inv;
        float wy[4];
        int iy = CubicSetup(v, wy);
        for (int k = 0; k < FieldCount; ++k) {
            float *dst = &rowFields[static_cast<size_t>(k) * GridStride];
            const float *s0 = &CoarseAt(t, k, -Pad, iy - 1);
            for (int i = 0; i < GridStride; ++i) {
                dst[i] = wy[0] * s0[i] + wy[1] * s0[i + GridStride] +
                         wy[2] * s0[i + 2 * GridStride] + wy[3] * s0[i + 3 * GridStride];
            }
        }
        unsigned char *dstRow = out + static_cast<size_t>(row) * static_cast<size_t>(side);
        for (int col0 = 0; col0 < side; col0 += Batch) {
            // A short last batch repeats its last column.
            for (int i = 0; i < Batch; ++i) {
                int col = col0 + i < side ? col0 + i : side - 1;
                const float *wx = &colWeights[static_cast<size_t>(col) * 4];
                int ix = colCell[static_cast<size_t>(col)];
                for (int k = 0; k < FieldCount; ++k) {
                    const float *s = &rowFields[static_cast<size_t>(k) * GridStride + ix];
                    f[k][i] = wx[0] * s[0] + wx[1] * s[1] + wx[2] * s[2] + wx[3] * s[3];
                }
            }
            DetailHeightBatch(t, f, t.ridgeOctaves, t.hillOctaves, batch);
            int count = side - col0 < Batch ? side - col0 : Batch;
            for (int i = 0; i < count; ++i) {
                float raw = batch[i] + f[FieldErosion][i];
                float h = 3.0f + (raw - elo) * scale;
                if (t.shape) {
                    // Keep the valley floor and the shelf inside their
                    // bands; the terrain there is built to lie inside
                    // already, so these rarely do more than trim.
                    float core = Clamp01(f[FieldValleyCore][i]);
                    h = Lerp(h, SoftFloor(SoftCeil(h, 58.0f, 8.0f), 12.0f, 6.0f), core);
                    float shelf = Clamp01(f[FieldShelf][i]);
                    h = Lerp(h, SoftFloor(SoftCeil(h, 78.0f, 8.0f), 52.0f, 6.0f), shelf);
                }
                h = SoftFloor(SoftCeil(h, 255.0f, 6.0f), 0.0f, 3.0f);
                dstRow[col0 + i] = static_cast<unsigned char>(std::lround(h));
            }
        }
    }
    return 0;
}
