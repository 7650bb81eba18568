#include "terrain/mesh.h"

#include "app/log.h"
#include "terrain/heightmap.h"

#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#define VORN_WIDE_NORMALS 1
#include <immintrin.h>
#endif

TerrainMesh terrainMesh;

// Grid-space position of a grid point: columns along x, rows along z.
static Vec3f GridPosition(uint16_t column, uint16_t row) {
    Vec3f p;
    p.x = column * heightMap.cellSize;
    p.y = GetHeight(column, row) * heightMap.heightScale;
    p.z = row * heightMap.cellSize;
    return p;
}

static void StoreNormal(uint16_t column, uint16_t row, const Vec3f *n) {
    terrainMesh.normalX[row][column] = n->x;
    terrainMesh.normalY[row][column] = n->y;
    terrainMesh.normalZ[row][column] = n->z;
}

void ComputeVertexNormal(uint16_t column, uint16_t row) {
    const Vec3f p0 = GridPosition(column, row);
    const Vec3f pSouth = GridPosition(column, row + 1);
    const Vec3f pNorth = GridPosition(column, row - 1);
    const Vec3f pEast = GridPosition(column + 1, row);
    const Vec3f pWest = GridPosition(column - 1, row);

    Vec3f s, n, e, w;
    Vec3fSub(&s, &p0, &pSouth);
    Vec3fSub(&n, &p0, &pNorth);
    Vec3fSub(&e, &p0, &pEast);
    Vec3fSub(&w, &p0, &pWest);

    // The four triangles around the point; on a height field all of them
    // point downwards.
    Vec3f nNE, nES, nWN, nSW;
    Vec3fCross(&nNE, &n, &e);
    Vec3fCross(&nES, &e, &s);
    Vec3fCross(&nWN, &w, &n);
    Vec3fCross(&nSW, &s, &w);
    // Unit face normals, so that a steep triangle counts no more than a flat one.
    Vec3fNormalize(&nNE);
    Vec3fNormalize(&nES);
    Vec3fNormalize(&nWN);
    Vec3fNormalize(&nSW);

    Vec3f m;
    m.x = nNE.x + nES.x + nWN.x + nSW.x;
    m.y = nNE.y + nES.y + nWN.y + nSW.y;
    m.z = nNE.z + nES.z + nWN.z + nSW.z;
    // Turn the sum up, out of the side of the terrain that is seen.
    if (m.y < 0) {
        m.x = -m.x;
        m.y = -m.y;
        m.z = -m.z;
    }
    Vec3fNormalize(&m);
    StoreNormal(column, row, &m);
}

// What the wide walks of one row need: the three pixel rows around it, the
// edge steps and where the normals go.
struct RowWalk {
    const unsigned char *above, *centre, *below;
    const float *eastStep, *westStep; // x parts of the edges towards the next/previous column
    float southZ, northZ;             // z parts of the edges towards the next/previous row
    float heightScale;
    float *outX, *outY, *outZ;
};

#if defined(__SSE2__)

// Four floats x, y, z scaled to unit length exactly as Vec3fNormalize does:
// the length in double precision rounded to float, then each component
// multiplied by the float reciprocal of that length.
static inline void Normalize4(__m128 *x, __m128 *y, __m128 *z) {
    const __m128 xh = _mm_movehl_ps(*x, *x), yh = _mm_movehl_ps(*y, *y), zh = _mm_movehl_ps(*z, *z);
    const __m128d xl = _mm_cvtps_pd(*x), yl = _mm_cvtps_pd(*y), zl = _mm_cvtps_pd(*z);
    const __m128d xu = _mm_cvtps_pd(xh), yu = _mm_cvtps_pd(yh), zu = _mm_cvtps_pd(zh);
    const __m128d sumLow =
        _mm_add_pd(_mm_add_pd(_mm_mul_pd(xl, xl), _mm_mul_pd(yl, yl)), _mm_mul_pd(zl, zl));
    const __m128d sumHigh =
        _mm_add_pd(_mm_add_pd(_mm_mul_pd(xu, xu), _mm_mul_pd(yu, yu)), _mm_mul_pd(zu, zu));
    const __m128 length =
        _mm_movelh_ps(_mm_cvtpd_ps(_mm_sqrt_pd(sumLow)), _mm_cvtpd_ps(_mm_sqrt_pd(sumHigh)));
    const __m128 inverse = _mm_div_ps(_mm_set1_ps(1.0f), length);
    *x = _mm_mul_ps(*x, inverse);
    *y = _mm_mul_ps(*y, inverse);
    *z = _mm_mul_ps(*z, inverse);
}

// out = a x b for four vectors at once, with the operations of Vec3fCross.
static inline void Cross4(__m128 ax, __m128 ay, __m128 az, __m128 bx, __m128 by, __m128 bz,
                          __m128 *ox, __m128 *oy, __m128 *oz) {
    *ox = _mm_sub_ps(_mm_mul_ps(ay, bz), _mm_mul_ps(az, by));
    *oy = _mm_sub_ps(_mm_mul_ps(az, bx), _mm_mul_ps(ax, bz));
    *oz = _mm_sub_ps(_mm_mul_ps(ax, by), _mm_mul_ps(ay, bx));
}

// Heights of four neighbouring grid points of one pixel row, in world units.
static inline __m128 Heights4(const unsigned char *pixels, __m128 scale) {
    int packed;
    memcpy(&packed, pixels, sizeof packed);
    const __m128i zero = _mm_setzero_si128();
    __m128i wide = _mm_unpacklo_epi8(_mm_cvtsi32_si128(packed), zero);
    wide = _mm_unpacklo_epi16(wide, zero);
    return _mm_mul_ps(_mm_cvtepi32_ps(wide), scale);
}

// Interior columns from `column` on in groups of four while a whole group
// fits before `end` (the last interior column + 1). Returns the first column
// left over.
static int WalkRow4(const RowWalk *w, int column, int end) {
    const __m128 zero = _mm_setzero_ps();
    const __m128 southZ = _mm_set1_ps(w->southZ);
    const __m128 northZ = _mm_set1_ps(w->northZ);
    const __m128 scale = _mm_set1_ps(w->heightScale);
    const __m128 signBit = _mm_set1_ps(-0.0f);
    for (; column + 4 <= end; column += 4) {
        const __m128 h0 = Heights4(w->centre + column, scale);
        const __m128 sy = _mm_sub_ps(Heights4(w->below + column, scale), h0);
        const __m128 ny = _mm_sub_ps(Heights4(w->above + column, scale), h0);
        const __m128 ey = _mm_sub_ps(Heights4(w->centre + column + 1, scale), h0);
        const __m128 wy = _mm_sub_ps(Heights4(w->centre + column - 1, scale), h0);
        const __m128 ex = _mm_loadu_ps(w->eastStep + column);
        const __m128 wx = _mm_loadu_ps(w->westStep + column);

        // S = (0, sy, southZ), N = (0, ny, northZ), E = (ex, ey, 0), W = (wx, wy, 0).
        __m128 neX, neY, neZ, esX, esY, esZ, wnX, wnY, wnZ, swX, swY, swZ;
        Cross4(zero, ny, northZ, ex, ey, zero, &neX, &neY, &neZ);
        Cross4(ex, ey, zero, zero, sy, southZ, &esX, &esY, &esZ);
        Cross4(wx, wy, zero, zero, ny, northZ, &wnX, &wnY, &wnZ);
        Cross4(zero, sy, southZ, wx, wy, zero, &swX, &swY, &swZ);
        Normalize4(&neX, &neY, &neZ);
        Normalize4(&esX, &esY, &esZ);
        Normalize4(&wnX, &wnY, &wnZ);
        Normalize4(&swX, &swY, &swZ);

        __m128 mx = _mm_add_ps(_mm_add_ps(_mm_add_ps(neX, esX), wnX), swX);
        __m128 my = _mm_add_ps(_mm_add_ps(_mm_add_ps(neY, esY), wnY), swY);
        __m128 mz = _mm_add_ps(_mm_add_ps(_mm_add_ps(neZ, esZ), wnZ), swZ);
        const __m128 flip = _mm_and_ps(_mm_cmplt_ps(my, zero), signBit);
        mx = _mm_xor_ps(mx, flip);
        my = _mm_xor_ps(my, flip);
        mz = _mm_xor_ps(mz, flip);
        Normalize4(&mx, &my, &mz);
        _mm_storeu_ps(w->outX + column, mx);
        _mm_storeu_ps(w->outY + column, my);
        _mm_storeu_ps(w->outZ + column, mz);
    }
    return column;
}

#endif

#if defined(VORN_WIDE_NORMALS)

// The same walk sixteen columns at a time, for processors with 512-bit
// vectors. IEEE arithmetic gives the same bits whatever the vector width, as
// long as no multiply and add are fused into one rounding: contraction is off.
// The compiler's own 512-bit intrinsics start some results from a deliberately
// undefined register, which its uninitialised-value check takes for a fault.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#define WIDE __attribute__((target("avx512f"), optimize("fp-contract=off")))

WIDE static inline __m256 UpperHalf(__m512 v) {
    return _mm256_castpd_ps(_mm512_extractf64x4_pd(_mm512_castps_pd(v), 1));
}

WIDE static inline __m512d SquaredLength8(__m256 x, __m256 y, __m256 z) {
    const __m512d dx = _mm512_cvtps_pd(x), dy = _mm512_cvtps_pd(y), dz = _mm512_cvtps_pd(z);
    return _mm512_add_pd(_mm512_add_pd(_mm512_mul_pd(dx, dx), _mm512_mul_pd(dy, dy)),
                         _mm512_mul_pd(dz, dz));
}

WIDE static inline void Normalize16(__m512 *x, __m512 *y, __m512 *z) {
    const __m512d sums[2] = {SquaredLength8(_mm512_castps512_ps256(*x), _mm512_castps512_ps256(*y),
                                            _mm512_castps512_ps256(*z)),
                             SquaredLength8(UpperHalf(*x), UpperHalf(*y), UpperHalf(*z))};
    const __m256 low = _mm512_cvtpd_ps(_mm512_sqrt_pd(sums[0]));
    const __m256 high = _mm512_cvtpd_ps(_mm512_sqrt_pd(sums[1]));
    const __m512 length = _mm512_castpd_ps(_mm512_insertf64x4(
        _mm512_castpd256_pd512(_mm256_castps_pd(low)), _mm256_castps_pd(high), 1));
    const __m512 inverse = _mm512_div_ps(_mm512_set1_ps(1.0f), length);
    *x = _mm512_mul_ps(*x, inverse);
    *y = _mm512_mul_ps(*y, inverse);
    *z = _mm512_mul_ps(*z, inverse);
}

WIDE static inline void Cross16(__m512 ax, __m512 ay, __m512 az, __m512 bx, __m512 by, __m512 bz,
                                __m512 *ox, __m512 *oy, __m512 *oz) {
    *ox = _mm512_sub_ps(_mm512_mul_ps(ay, bz), _mm512_mul_ps(az, by));
    *oy = _mm512_sub_ps(_mm512_mul_ps(az, bx), _mm512_mul_ps(ax, bz));
    *oz = _mm512_sub_ps(_mm512_mul_ps(ax, by), _mm512_mul_ps(ay, bx));
}

WIDE static inline __m512 Heights16(const unsigned char *pixels, __m512 scale) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(pixels));
    return _mm512_mul_ps(_mm512_cvtepi32_ps(_mm512_cvtepu8_epi32(bytes)), scale);
}

WIDE static int WalkRow16(const RowWalk *w, int column, int end) {
    const __m512 zero = _mm512_setzero_ps();
    const __m512 southZ = _mm512_set1_ps(w->southZ);
    const __m512 northZ = _mm512_set1_ps(w->northZ);
    const __m512 scale = _mm512_set1_ps(w->heightScale);
    const __m512i signBit = _mm512_set1_epi32(static_cast<int>(0x80000000u));
    for (; column + 16 <= end; column += 16) {
        const __m512 h0 = Heights16(w->centre + column, scale);
        const __m512 sy = _mm512_sub_ps(Heights16(w->below + column, scale), h0);
        const __m512 ny = _mm512_sub_ps(Heights16(w->above + column, scale), h0);
        const __m512 ey = _mm512_sub_ps(Heights16(w->centre + column + 1, scale), h0);
        const __m512 wy = _mm512_sub_ps(Heights16(w->centre + column - 1, scale), h0);
        const __m512 ex = _mm512_loadu_ps(w->eastStep + column);
        const __m512 wx = _mm512_loadu_ps(w->westStep + column);

        __m512 neX, neY, neZ, esX, esY, esZ, wnX, wnY, wnZ, swX, swY, swZ;
        Cross16(zero, ny, northZ, ex, ey, zero, &neX, &neY, &neZ);
        Cross16(ex, ey, zero, zero, sy, southZ, &esX, &esY, &esZ);
        Cross16(wx, wy, zero, zero, ny, northZ, &wnX, &wnY, &wnZ);
        Cross16(zero, sy, southZ, wx, wy, zero, &swX, &swY, &swZ);
        Normalize16(&neX, &neY, &neZ);
        Normalize16(&esX, &esY, &esZ);
        Normalize16(&wnX, &wnY, &wnZ);
        Normalize16(&swX, &swY, &swZ);

        __m512 mx = _mm512_add_ps(_mm512_add_ps(_mm512_add_ps(neX, esX), wnX), swX);
        __m512 my = _mm512_add_ps(_mm512_add_ps(_mm512_add_ps(neY, esY), wnY), swY);
        __m512 mz = _mm512_add_ps(_mm512_add_ps(_mm512_add_ps(neZ, esZ), wnZ), swZ);
        const __mmask16 down = _mm512_cmp_ps_mask(my, zero, _CMP_LT_OQ);
        mx = _mm512_castsi512_ps(
            _mm512_mask_xor_epi32(_mm512_castps_si512(mx), down, _mm512_castps_si512(mx), signBit));
        my = _mm512_castsi512_ps(
            _mm512_mask_xor_epi32(_mm512_castps_si512(my), down, _mm512_castps_si512(my), signBit));
        mz = _mm512_castsi512_ps(
            _mm512_mask_xor_epi32(_mm512_castps_si512(mz), down, _mm512_castps_si512(mz), signBit));
        Normalize16(&mx, &my, &mz);
        _mm512_storeu_ps(w->outX + column, mx);
        _mm512_storeu_ps(w->outY + column, my);
        _mm512_storeu_ps(w->outZ + column, mz);
    }
    return column;
}

#undef WIDE
#pragma GCC diagnostic pop
#endif

// The interior points of one row, with the arithmetic of ComputeVertexNormal
// carried out for many columns at a time where the processor has vectors.
// Columns that do not fill a group go through ComputeVertexNormal.
static void ComputeRowNormals(int row, const float *eastStep, const float *westStep, bool wide) {
    const int size = heightMap.size;
    int column = 1;
    RowWalk w;
    w.above = heightMap.pixels + static_cast<size_t>(row - 1) * heightMap.pitch;
    w.centre = w.above + heightMap.pitch;
    w.below = w.centre + heightMap.pitch;
    w.eastStep = eastStep;
    w.westStep = westStep;
    const float z = row * heightMap.cellSize;
    w.southZ = (row + 1) * heightMap.cellSize - z;
    w.northZ = (row - 1) * heightMap.cellSize - z;
    w.heightScale = heightMap.heightScale;
    w.outX = terrainMesh.normalX[row];
    w.outY = terrainMesh.normalY[row];
    w.outZ = terrainMesh.normalZ[row];
    // A group reads the pixel right of its last column, so it must end at
    // the last interior column (size - 2) to stay inside the row.
    const int end = size - 1;
#if defined(VORN_WIDE_NORMALS)
    if (wide) {
        column = WalkRow16(&w, column, end);
    }
#else
    (void)wide;
#endif
#if defined(__SSE2__)
    column = WalkRow4(&w, column, end);
#endif
    for (; column <= size - 2; ++column) {
        ComputeVertexNormal(static_cast<uint16_t>(column), static_cast<uint16_t>(row));
    }
}

static void FreePlane(float **plane, int rows) {
    if (!plane) {
        return;
    }
    for (int r = 0; r < rows; ++r) {
        free(plane[r]);
    }
    free(plane);
}

// A table of size row pointers, then its rows, row 0 first. Null when memory
// runs out, with nothing left allocated.
static float **AllocatePlane(int size) {
    float **plane = static_cast<float **>(malloc(sizeof(float *) * size));
    if (!plane) {
        return nullptr;
    }
    for (int r = 0; r < size; ++r) {
        plane[r] = static_cast<float *>(malloc(sizeof(float) * size));
        if (!plane[r]) {
            FreePlane(plane, r);
            return nullptr;
        }
    }
    return plane;
}

void FreeTerrainMesh() {
    FreePlane(terrainMesh.normalX, terrainMesh.size);
    FreePlane(terrainMesh.normalY, terrainMesh.size);
    FreePlane(terrainMesh.normalZ, terrainMesh.size);
    terrainMesh = TerrainMesh{};
}

static void AllocateMesh(int size) {
    terrainMesh.size = size;
    terrainMesh.normalX = AllocatePlane(size);
    terrainMesh.normalY = terrainMesh.normalX ? AllocatePlane(size) : nullptr;
    terrainMesh.normalZ = terrainMesh.normalY ? AllocatePlane(size) : nullptr;
    if (!terrainMesh.normalZ) {
        fprintf(DebugLog, "ERROR: out of memory for the normals of a %d x %d terrain!\n", size,
                size);
        FreeTerrainMesh();
        exit(-1);
    }
}

void BuildTerrainMesh() {
    FreeTerrainMesh();
    const int size = heightMap.size;
    if (size < 1 || !heightMap.pixels) {
        fprintf(DebugLog, "ERROR: the terrain normals need a loaded height map!\n");
        return;
    }
    AllocateMesh(size);

    if (size < 3) {
        // No interior point to take a normal from: the ground counts as flat.
        for (int r = 0; r < size; ++r) {
            for (int c = 0; c < size; ++c) {
                terrainMesh.normalX[r][c] = 0.0f;
                terrainMesh.normalY[r][c] = 1.0f;
                terrainMesh.normalZ[r][c] = 0.0f;
            }
        }
        return;
    }

    // x parts of the edges towards the next and the previous column.
    float *steps = static_cast<float *>(malloc(sizeof(float) * 2 * size));
    if (!steps) {
        fprintf(DebugLog, "ERROR: out of memory for the normals of a %d x %d terrain!\n", size,
                size);
        FreeTerrainMesh();
        exit(-1);
    }
    float *eastStep = steps;
    float *westStep = steps + size;
    for (int c = 1; c <= size - 2; ++c) {
        const float x = c * heightMap.cellSize;
        eastStep[c] = (c + 1) * heightMap.cellSize - x;
        westStep[c] = (c - 1) * heightMap.cellSize - x;
    }

    float **const planes[] = {terrainMesh.normalX, terrainMesh.normalY, terrainMesh.normalZ};
    // Every interior point depends only on the heights around it, so the
    // rows are walked in memory order. The first and last columns repeat
    // their inner neighbours.
#if defined(VORN_WIDE_NORMALS)
    const bool wide = __builtin_cpu_supports("avx512f");
#else
    const bool wide = false;
#endif
    for (int r = 1; r <= size - 2; ++r) {
        ComputeRowNormals(r, eastStep, westStep, wide);
        for (float **plane : planes) {
            plane[r][0] = plane[r][1];
            plane[r][size - 1] = plane[r][size - 2];
        }
    }
    free(steps);

    // The first and last rows repeat their inner neighbour rows; as those
    // already hold their border columns, each corner gets the normal of its
    // diagonal inner neighbour.
    for (float **plane : planes) {
        memcpy(plane[0], plane[1], sizeof(float) * size);
        memcpy(plane[size - 1], plane[size - 2], sizeof(float) * size);
    }
}
