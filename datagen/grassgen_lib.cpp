#include "datagen/grassgen_lib.h"

#include <cmath>
#include <cstdint>
#include <vector>
#include "datagen/synth.h"

namespace {

const float Pi = 3.14159265358979f;

// Small deterministic generator (splitmix64), the same on every platform.
struct Random {
    uint64_t state;
};

uint64_t NextBits(Random *r) {
    uint64_t z = (r->state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// Uniform in [0, 1).
float NextUnit(Random *r) {
    return static_cast<float>(NextBits(r) >> 40) * (1.0f / 16777216.0f);
}

uint32_t Hash(uint32_t x, uint32_t y, uint32_t seed) {
    uint32_t h = x * 0x8DA6B343u ^ y * 0xD8163841u ^ seed * 0xCB1AB31Fu;
    h ^= h >> 13;
    h *= 0x5BD1E995u;
    h ^= h >> 15;
    return h;
}

// Gradient noise on the unit square with `cells` lattice cells across it,
// periodic with period 1 in both u and v. Roughly in -0.7..0.7.
float PeriodicNoise(float u, float v, int cells, uint32_t seed) {
    const float x = u * cells, y = v * cells;
    const float fx = std::floor(x), fy = std::floor(y);
    const int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
    const float tx = x - fx, ty = y - fy;
    float corner[2][2];
    for (int j = 0; j < 2; ++j) {
        for (int i = 0; i < 2; ++i) {
            const uint32_t cx = static_cast<uint32_t>(((ix + i) % cells + cells) % cells);
            const uint32_t cy = static_cast<uint32_t>(((iy + j) % cells + cells) % cells);
            const float angle =
                static_cast<float>(Hash(cx, cy, seed) & 0xFFFF) * (2.0f * Pi / 65536.0f);
            corner[j][i] = std::cos(angle) * (tx - i) + std::sin(angle) * (ty - j);
        }
    }
    const float sx = tx * tx * tx * (tx * (tx * 6 - 15) + 10);
    const float sy = ty * ty * ty * (ty * (ty * 6 - 15) + 10);
    return Lerp(Lerp(corner[0][0], corner[0][1], sx), Lerp(corner[1][0], corner[1][1], sx), sy);
}

// Sum of octaves, from `cells` lattice cells upwards; periodic like its parts.
float PeriodicFbm(float u, float v, int cells, int octaves, uint32_t seed) {
    float sum = 0.0f, amplitude = 1.0f, total = 0.0f;
    for (int o = 0; o < octaves; ++o) {
        sum += amplitude * PeriodicNoise(u, v, cells << o, seed + 101u * o);
        total += amplitude;
        amplitude *= 0.5f;
    }
    return sum / total;
}

struct Canvas {
    int side;
    std::vector<float> rgb; // linear 0..1, row 0 first
};

int Wrap(int i, int side) {
    return ((i % side) + side) % side;
}

// Blends a soft round dot of the given radius into the canvas, wrapping
// around its edges.
void Splat(Canvas *canvas, float x, float y, float radius, const float colour[3], float opacity) {
    const int x0 = static_cast<int>(std::floor(x - radius - 1.0f));
    const int x1 = static_cast<int>(std::ceil(x + radius + 1.0f));
    const int y0 = static_cast<int>(std::floor(y - radius - 1.0f));
    const int y1 = static_cast<int>(std::ceil(y + radius + 1.0f));
    for (int py = y0; py <= y1; ++py) {
        for (int px = x0; px <= x1; ++px) {
            const float dx = px + 0.5f - x, dy = py + 0.5f - y;
            const float coverage = Clamp01(radius + 0.5f - std::sqrt(dx * dx + dy * dy));
            if (coverage <= 0.0f) {
                continue;
            }
            const float a = coverage * opacity;
            float *p = &canvas->rgb[(static_cast<size_t>(Wrap(py, canvas->side)) * canvas->side +
                                     Wrap(px, canvas->side)) *
                                    3];
            for (int k = 0; k < 3; ++k) {
                p[k] = Lerp(p[k], colour[k], a);
            }
        }
    }
}

// Colours of the grass, chosen by a slow noise so that the meadow has
// lusher and drier patches.
const float Lush[3] = {0.16f, 0.40f, 0.08f};
const float Fresh[3] = {0.34f, 0.52f, 0.12f};
const float Bluish[3] = {0.12f, 0.33f, 0.12f};
const float Straw[3] = {0.58f, 0.54f, 0.26f};

void BladeColour(float patch, float pick, float shade, float out[3]) {
    const float *a = Lush, *b = Fresh;
    float t = Clamp01(patch * 0.5f + 0.5f);
    if (pick < 0.22f) {
        b = Bluish;
    }
    for (int k = 0; k < 3; ++k) {
        out[k] = Lerp(a[k], b[k], t) * shade;
    }
    if (pick > 0.975f) { // a few dry stalks
        for (int k = 0; k < 3; ++k) {
            out[k] = Straw[k] * shade;
        }
    }
}

// One blade seen from above: a tapering stroke from its root, darker at the
// root where it is shaded by the blades around it.
void DrawBlade(Canvas *canvas, float x, float y, float angle, float length, float width,
               const float colour[3], float rootShade) {
    const float dx = std::cos(angle), dy = std::sin(angle);
    // A slight bend, as blades droop to one side.
    const float bend = 0.15f * length;
    const int steps = static_cast<int>(length * 2.0f) + 2;
    for (int i = 0; i <= steps; ++i) {
        const float t = static_cast<float>(i) / steps;
        const float along = t * length;
        const float side = bend * t * t;
        const float px = x + dx * along - dy * side;
        const float py = y + dy * along + dx * side;
        const float shade = Lerp(rootShade, 1.1f, t);
        const float c[3] = {colour[0] * shade, colour[1] * shade, colour[2] * shade};
        Splat(canvas, px, py, 0.5f * width * (1.0f - 0.75f * t), c, 0.85f);
    }
}

} // namespace

int MakeGrassTexture(int side, unsigned seed, unsigned char *rgb) {
    if (!rgb || side < GrassMinSide || side > GrassMaxSide) {
        return -1;
    }
    Canvas canvas;
    canvas.side = side;
    canvas.rgb.assign(static_cast<size_t>(side) * side * 3, 0.0f);
    const float scale = static_cast<float>(side) / GrassSide;

    // Undergrowth: dark, earthy green with soft mottling.
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const float u = static_cast<float>(x) / side, v = static_cast<float>(y) / side;
            const float n = PeriodicFbm(u, v, 4, 5, seed);
            const float earth = Clamp01(0.5f + 1.2f * PeriodicFbm(u, v, 3, 3, seed + 7u));
            float *p = &canvas.rgb[(static_cast<size_t>(y) * side + x) * 3];
            const float light = 1.0f + 0.6f * n;
            p[0] = Lerp(0.07f, 0.13f, earth) * light;
            p[1] = Lerp(0.15f, 0.13f, earth) * light;
            p[2] = Lerp(0.04f, 0.05f, earth) * light;
        }
    }

    // Blades in three layers, from the shaded bottom to the lit top.
    Random random{seed * 0x9E3779B97F4A7C15ull + 12345u};
    const int layers = 3;
    const int bladesPerLayer = static_cast<int>(8000.0f * scale * scale);
    for (int layer = 0; layer < layers; ++layer) {
        const float layerLight = 0.6f + 0.22f * layer;
        for (int i = 0; i < bladesPerLayer; ++i) {
            const float x = NextUnit(&random) * side;
            const float y = NextUnit(&random) * side;
            const float u = x / side, v = y / side;
            // Neighbouring blades lean alike, as if combed by the wind.
            const float lean = PeriodicFbm(u, v, 4, 2, seed + 31u) * 1.2f * Pi;
            const float angle = lean + (NextUnit(&random) - 0.5f) * 2.2f;
            const float length = (4.0f + 7.0f * NextUnit(&random)) * scale;
            const float width = (1.1f + 0.9f * NextUnit(&random)) * scale;
            const float patch = PeriodicFbm(u, v, 2, 3, seed + 57u) * 1.8f;
            float colour[3];
            BladeColour(patch, NextUnit(&random), layerLight * (0.85f + 0.3f * NextUnit(&random)),
                        colour);
            DrawBlade(&canvas, x, y, angle, length, width, colour, 0.55f);
        }
    }

    // Fine grain, then to bytes.
    Random grain{seed + 99u};
    for (size_t i = 0; i < canvas.rgb.size(); i += 3) {
        const float g = 1.0f + (NextUnit(&grain) - 0.5f) * 0.08f;
        for (int k = 0; k < 3; ++k) {
            const float value = Clamp01(canvas.rgb[i + k] * g);
            rgb[i + k] = static_cast<unsigned char>(std::lround(value * 255.0f));
        }
    }
    return 0;
}
