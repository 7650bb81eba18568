#include "terrain/mesh.h"

#include "app/log.h"
#include "terrain/heightmap.h"

#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

TerrainMesh terrainMesh;

// Grid-space position of a grid point: columns along x, rows along z.
static Vec3f GridPosition(uint16_t column, uint16_t row) {
    Vec3f p;
    p.x = column * heightMap.cellSize;
    p.y = GroundHeight(column, row);
    p.z = row * heightMap.cellSize;
    return p;
}

static void StoreNormal(uint16_t column, uint16_t row, const Vec3f *n) {
    terrainMesh.normalX[row][column] = n->x;
    terrainMesh.normalY[row][column] = n->y;
    terrainMesh.normalZ[row][column] = n->z;
}

static Vec3f InteriorNormal(uint16_t column, uint16_t row) {
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
    return m;
}

void ComputeVertexNormal(uint16_t column, uint16_t row) {
    const Vec3f m = InteriorNormal(column, row);
    StoreNormal(column, row, &m);
}

void TerrainNormal(uint16_t column, uint16_t row, Vec3f *out) {
    const int size = heightMap.size;
    if (size < 3) {
        *out = Vec3f{0.0f, 1.0f, 0.0f};
        return;
    }
    // Border points repeat their inner neighbours, corners their diagonal one.
    const int last = size - 2;
    const int c = column < 1 ? 1 : (column > last ? last : column);
    const int r = row < 1 ? 1 : (row > last ? last : row);
    *out = InteriorNormal(static_cast<uint16_t>(c), static_cast<uint16_t>(r));
}

// What the vector walk of one row needs: the three pixel rows around it, the
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

// The interior points of one row, with the arithmetic of ComputeVertexNormal
// carried out four columns at a time where the processor has SSE2.
// Columns that do not fill a group go through ComputeVertexNormal.
static void ComputeRowNormals(int row, const float *eastStep, const float *westStep) {
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
#if defined(__SSE2__)
    // The vector walk reads 8-bit rows; 16-bit maps take the point walk.
    if (!heightMap.wide) {
        column = WalkRow4(&w, column, end);
    }
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
    for (int r = 1; r <= size - 2; ++r) {
        ComputeRowNormals(r, eastStep, westStep);
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
