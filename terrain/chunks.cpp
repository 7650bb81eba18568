#include "terrain/chunks.h"

#include "app/log.h"
#include "app/world.h"
#include "terrain/heightmap.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

TerrainChunks terrainChunks;

// The level kept compiled for every chunk has at most this many chunks, so
// that it compiles quickly at start-up whatever the size of the map.
static const int BaseChunks = 1024;

void FreeTerrainChunks() {
    free(terrainChunks.chunks);
    terrainChunks = TerrainChunks{};
}

TerrainChunk *ChunkAt(int level, int column, int row) {
    if (level < 0 || level >= terrainChunks.levels) {
        return nullptr;
    }
    const int side = terrainChunks.side[level];
    if (column < 0 || row < 0 || column >= side || row >= side) {
        return nullptr;
    }
    return &terrainChunks.chunks[terrainChunks.first[level] + row * side + column];
}

// Row r of the map's samples, of either depth.
template <typename Sample> static const Sample *MapRow(int r);
template <> const unsigned char *MapRow<unsigned char>(int r) {
    return heightMap.pixels + static_cast<size_t>(r) * heightMap.pitch;
}
template <> const uint16_t *MapRow<uint16_t>(int r) {
    return heightMap.wide + static_cast<size_t>(r) * heightMap.size;
}

template <typename Sample> static void FindLevelRange(TerrainChunk *chunk) {
    int low = heightMap.maxLevel, high = 0;
    for (int r = chunk->row0; r <= chunk->row1; ++r) {
        const Sample *row = MapRow<Sample>(r);
        for (int c = chunk->column0; c <= chunk->column1; ++c) {
            low = std::min(low, static_cast<int>(row[c]));
            high = std::max(high, static_cast<int>(row[c]));
        }
    }
    chunk->lowLevel = low;
    chunk->highLevel = high;
}

static void FindLeafHeightRange(TerrainChunk *chunk) {
    if (heightMap.wide) {
        FindLevelRange<uint16_t>(chunk);
    } else {
        FindLevelRange<unsigned char>(chunk);
    }
}

int LayOutTerrainChunks(int leafCells) {
    FreeTerrainChunks();
    const int size = heightMap.size;
    const int cells = size > 1 ? size - 1 : 0;
    terrainChunks.mapSize = size;
    terrainChunks.leafCells = leafCells;
    if (cells == 0) {
        return 0;
    }
    int side = (cells + leafCells - 1) / leafCells;
    int count = 0;
    int levels = 0;
    while (true) {
        terrainChunks.side[levels] = side;
        terrainChunks.first[levels] = count;
        count += side * side;
        ++levels;
        if (side == 1 || levels == MaxChunkLevels) {
            break;
        }
        side = (side + 1) / 2;
    }
    terrainChunks.levels = levels;
    terrainChunks.chunks = static_cast<TerrainChunk *>(calloc(count, sizeof(TerrainChunk)));
    if (!terrainChunks.chunks) {
        fprintf(DebugLog, "ERROR: out of memory for the terrain chunks of a %d x %d map!\n", size,
                size);
        terrainChunks = TerrainChunks{};
        return -1;
    }
    terrainChunks.count = count;
    int base = 0;
    while (base + 1 < levels && terrainChunks.side[base] * terrainChunks.side[base] > BaseChunks) {
        ++base;
    }
    terrainChunks.baseLevel = base;
    for (int level = 0; level < levels; ++level) {
        const int span = leafCells << level;
        for (int row = 0; row < terrainChunks.side[level]; ++row) {
            for (int column = 0; column < terrainChunks.side[level]; ++column) {
                TerrainChunk *chunk = ChunkAt(level, column, row);
                chunk->level = level;
                chunk->column = column;
                chunk->row = row;
                chunk->column0 = column * span;
                chunk->row0 = row * span;
                chunk->column1 = std::min(chunk->column0 + span, cells);
                chunk->row1 = std::min(chunk->row0 + span, cells);
                chunk->error = level == 0 ? 0.0f : -1.0f;
                if (level == 0) {
                    FindLeafHeightRange(chunk);
                    continue;
                }
                chunk->lowLevel = heightMap.maxLevel;
                chunk->highLevel = 0;
                for (int k = 0; k < 4; ++k) {
                    const TerrainChunk *child =
                        ChunkAt(level - 1, 2 * column + k % 2, 2 * row + k / 2);
                    if (child) {
                        chunk->lowLevel = std::min(chunk->lowLevel, child->lowLevel);
                        chunk->highLevel = std::max(chunk->highLevel, child->highLevel);
                    }
                }
            }
        }
    }
    return 0;
}

int LevelCoordinates(int first, int last, int level, int *out) {
    const int step = 1 << level;
    int n = 0;
    for (int k = first; k < last; k += step) {
        out[n++] = k;
    }
    out[n++] = last;
    return n;
}

// Where each grid coordinate from first to last lies among the level's
// coordinates: the interval index and the fraction across it.
static void PlaceAlong(const int *coords, int count, int level, int first, int last, int *interval,
                       double *fraction) {
    for (int k = first; k <= last; ++k) {
        const int i = std::min((k - first) >> level, count - 2);
        interval[k - first] = i;
        fraction[k - first] = static_cast<double>(k - coords[i]) / (coords[i + 1] - coords[i]);
    }
}

// Where each grid point of a chunk falls among the cells of its level.
struct ChunkCells {
    const double *corner;  // the levels of the chunk's own points, row by row
    int nc;                // its points along a row
    const int *ci, *rj;    // cell of each grid column and row
    const double *cu, *rv; // and the point's place across that cell
};

// The largest gap, in levels, between the map's samples in the chunk and
// the chunk's surface.
template <typename Sample>
static double WorstGap(const TerrainChunk *chunk, const ChunkCells &cells) {
    const int width = chunk->column1 - chunk->column0 + 1;
    const int height = chunk->row1 - chunk->row0 + 1;
    // Each cell of the chunk is split like the full-detail cells, by the
    // diagonal from its upper-right to its lower-left corner.
    double worst = 0.0;
    for (int y = 0; y < height; ++y) {
        const Sample *samples = MapRow<Sample>(chunk->row0 + y) + chunk->column0;
        const int j = cells.rj[y];
        const double v = cells.rv[y];
        const double *top = &cells.corner[static_cast<ptrdiff_t>(j) * cells.nc];
        const double *bottom = top + cells.nc;
        for (int x = 0; x < width; ++x) {
            const int i = cells.ci[x];
            const double u = cells.cu[x];
            double h;
            if (u + v <= 1.0) {
                h = top[i] + u * (top[i + 1] - top[i]) + v * (bottom[i] - top[i]);
            } else {
                h = bottom[i + 1] + (1.0 - u) * (bottom[i] - bottom[i + 1]) +
                    (1.0 - v) * (top[i + 1] - bottom[i + 1]);
            }
            worst = std::max(worst, std::fabs(h - samples[x]));
        }
    }
    return worst;
}

void MeasureChunkError(TerrainChunk *chunk) {
    if (chunk->error >= 0.0f) {
        return;
    }
    const int level = chunk->level;
    int columns[MaxChunkCells + 1], rows[MaxChunkCells + 1];
    const int nc = LevelCoordinates(chunk->column0, chunk->column1, level, columns);
    const int nr = LevelCoordinates(chunk->row0, chunk->row1, level, rows);
    // The levels of the chunk's own points.
    static double corner[(MaxChunkCells + 1) * (MaxChunkCells + 1)];
    for (int j = 0; j < nr; ++j) {
        for (int i = 0; i < nc; ++i) {
            corner[j * nc + i] =
                GetLevel(static_cast<uint16_t>(columns[i]), static_cast<uint16_t>(rows[j]));
        }
    }
    const int width = chunk->column1 - chunk->column0 + 1;
    const int height = chunk->row1 - chunk->row0 + 1;
    std::vector<int> ci(width), rj(height);
    std::vector<double> cu(width), rv(height);
    PlaceAlong(columns, nc, level, chunk->column0, chunk->column1, ci.data(), cu.data());
    PlaceAlong(rows, nr, level, chunk->row0, chunk->row1, rj.data(), rv.data());
    const ChunkCells cells = {corner, nc, ci.data(), rj.data(), cu.data(), rv.data()};
    const double worst =
        heightMap.wide ? WorstGap<uint16_t>(chunk, cells) : WorstGap<unsigned char>(chunk, cells);
    // Rounded up, so that the error is never understated.
    const double exact = worst * heightMap.heightScale;
    float error = static_cast<float>(exact);
    if (static_cast<double>(error) < exact) {
        error = std::nextafter(error, std::numeric_limits<float>::infinity());
    }
    chunk->error = error;
}

Box3 ChunkBox(const TerrainChunk *chunk) {
    Box3 box;
    box.low.x = chunk->column0 * heightMap.cellSize - WorldHalfExtent;
    box.high.x = chunk->column1 * heightMap.cellSize - WorldHalfExtent;
    box.low.z = chunk->row0 * heightMap.cellSize - WorldHalfExtent;
    box.high.z = chunk->row1 * heightMap.cellSize - WorldHalfExtent;
    box.low.y = levelHeights[chunk->lowLevel] - HalfHeight;
    box.high.y = levelHeights[chunk->highLevel] - HalfHeight;
    return box;
}

// m = a * b for column-major 4 x 4 matrices, as GL keeps them.
static void Multiply(const double *a, const double *b, double *m) {
    for (int col = 0; col < 4; ++col) {
        for (int row = 0; row < 4; ++row) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k) {
                sum += a[k * 4 + row] * b[col * 4 + k];
            }
            m[col * 4 + row] = sum;
        }
    }
}

void MakeFrustum(const Vec3f *eye, const Vec3f *lookAt, double fovy, double aspect, double near,
                 double far, Frustum *out) {
    // The projection as gluPerspective makes it.
    const double f = 1.0 / std::tan(fovy * M_PI / 360.0);
    double projection[16] = {0};
    projection[0] = f / aspect;
    projection[5] = f;
    projection[10] = (far + near) / (near - far);
    projection[11] = -1.0;
    projection[14] = 2.0 * far * near / (near - far);

    // The view as gluLookAt makes it, with +y up.
    double fx = lookAt->x - eye->x, fy = lookAt->y - eye->y, fz = lookAt->z - eye->z;
    const double fl = std::sqrt(fx * fx + fy * fy + fz * fz);
    fx /= fl;
    fy /= fl;
    fz /= fl;
    // s = f x up, u = s x f.
    double sx = -fz, sy = 0.0, sz = fx;
    const double sl = std::sqrt(sx * sx + sz * sz);
    if (sl > 0.0) {
        sx /= sl;
        sz /= sl;
    } else {
        sx = 1.0; // looking straight up or down: any horizontal side will do
    }
    const double ux = sy * fz - sz * fy, uy = sz * fx - sx * fz, uz = sx * fy - sy * fx;
    double view[16] = {sx, ux, -fx, 0, sy, uy, -fy, 0, sz, uz, -fz, 0, 0, 0, 0, 1};
    view[12] = -(sx * eye->x + sy * eye->y + sz * eye->z);
    view[13] = -(ux * eye->x + uy * eye->y + uz * eye->z);
    view[14] = fx * eye->x + fy * eye->y + fz * eye->z;

    double m[16];
    Multiply(projection, view, m);
    // Each plane is the fourth row of the clip matrix plus or minus one of
    // the first three.
    for (int axis = 0; axis < 3; ++axis) {
        for (int side = 0; side < 2; ++side) {
            const double sign = side == 0 ? 1.0 : -1.0;
            double *p = out->plane[axis * 2 + side];
            for (int k = 0; k < 4; ++k) {
                p[k] = m[k * 4 + 3] + sign * m[k * 4 + axis];
            }
        }
    }
}

int BoxMeetsFrustum(const Box3 *box, const Frustum *frustum) {
    for (const auto &p : frustum->plane) {
        // The corner furthest along the plane's normal.
        const double x = p[0] >= 0 ? box->high.x : box->low.x;
        const double y = p[1] >= 0 ? box->high.y : box->low.y;
        const double z = p[2] >= 0 ? box->high.z : box->low.z;
        if (p[0] * x + p[1] * y + p[2] * z + p[3] < 0.0) {
            return 0;
        }
    }
    return 1;
}

double DistanceToBox(const Vec3f *p, const Box3 *box) {
    const double dx = std::max(
        {0.0, static_cast<double>(box->low.x - p->x), static_cast<double>(p->x - box->high.x)});
    const double dy = std::max(
        {0.0, static_cast<double>(box->low.y - p->y), static_cast<double>(p->y - box->high.y)});
    const double dz = std::max(
        {0.0, static_cast<double>(box->low.z - p->z), static_cast<double>(p->z - box->high.z)});
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

double PixelsPerUnitAtUnitDistance(int height, double fovy) {
    return height / (2.0 * std::tan(fovy * M_PI / 360.0));
}

int ChunkIsFineEnough(TerrainChunk *chunk, double distance, double pixelsPerUnit,
                      double maxPixels) {
    if (chunk->level == 0) {
        return 1;
    }
    if (maxPixels <= 0.0) {
        return 0;
    }
    // The largest error allowed at that distance, in world units.
    const double allowed = maxPixels * distance / pixelsPerUnit;
    // No surface of the chunk strays further than its height range.
    if ((chunk->highLevel - chunk->lowLevel) * static_cast<double>(heightMap.heightScale) <=
        allowed) {
        return 1;
    }
    if (allowed <= 0.0) {
        return 0;
    }
    MeasureChunkError(chunk);
    return chunk->error <= allowed ? 1 : 0;
}
