// The terrain as a tree of square chunks: the leaves cut the map into
// squares of a few dozen grid cells drawn at full detail, and each chunk
// above them covers four chunks of the level below with the same number of
// cells, taking every second sample of theirs. The choice of what to draw
// from a view (which chunks meet the view frustum, and how far down the
// tree each part of the view goes) is made here; no GL is involved.
#pragma once

#include "terrain/vec3.h"

#include <cstddef>
#include <cstdint>

// Most grid cells along a leaf's side (a chunk of level L spans 2^L times
// as many cells at a step of 2^L samples), and most levels.
constexpr int MaxChunkCells = 128;
constexpr int MaxChunkLevels = 16;

// What a chunk draws in a view frame.
enum ChunkState : uint8_t {
    ChunkUnseen = 0, // not reached in this frame: culled, or covered from above
    ChunkDrawn,      // drawn itself
    ChunkSplit,      // its children (some of them) drawn in its place
};

struct TerrainChunk {
    // Grid points from (column0, row0) to (column1, row1), both included;
    // neighbouring chunks share their edge points.
    int column0, row0, column1, row1;
    int level;       // 0 for a leaf; its samples are 2^level apart
    int column, row; // its place among the chunks of its level
    // Lowest and highest height step of its points.
    int lowLevel, highLevel;
    // Largest height difference, in world units, between the full-detail
    // surface and this chunk's surface; negative until measured.
    float error;
    // Test hook: 1 draws the chunk whenever it is reached, 2 always splits
    // it; 0 lets the view decide.
    int8_t forced;

    // What the latest view frame did with it.
    uint32_t frame;   // the view frame it was last reached in
    ChunkState state; // valid when frame is the current one
    bool wanted;      // drawn although the view asked for its children

    // Its display list, once compiled.
    unsigned int list;  // 0 while not compiled
    long vertices;      // vertices in the list
    long triangles;     // triangles of the surface
    uint32_t lastDrawn; // view frame it was last drawn in
};

// Axis-aligned box in world units.
struct Box3 {
    Vec3f low, high;
};

// Inward planes a x + b y + c z + d >= 0 of a view frustum, in world units:
// left, right, bottom, top, near, far.
struct Frustum {
    double plane[6][4];
};

// The chunks of the loaded height map.
struct TerrainChunks {
    TerrainChunk *chunks; // level 0 first, each level row by row
    int count;
    int levels;                // levels of the tree; the top one holds a single chunk
    int leafCells;             // grid cells along the side of a leaf
    int side[MaxChunkLevels];  // chunks along a side of each level
    int first[MaxChunkLevels]; // index of each level's first chunk
    int baseLevel;             // every chunk of this level is kept compiled
    int mapSize;               // grid points per side of the map they were laid out for
};

extern TerrainChunks terrainChunks;

// Lays the loaded height map out in a tree of chunks whose leaves have
// `leafCells` grid cells a side (a power of two from 2 to MaxChunkCells),
// and finds their height ranges. Errors are measured later, chunk by chunk.
// Returns 0, or -1 with the reason in the log when memory runs out.
int LayOutTerrainChunks(int leafCells);

// Releases the chunk table (not the GL lists).
void FreeTerrainChunks();

// The chunk at (column, row) of a level, or null outside the level.
TerrainChunk *ChunkAt(int level, int column, int row);

// The grid coordinates of level `level` along one side of a chunk, from
// `first` to `last`: every 2^level-th coordinate from first, then last.
// Writes them into out (room for MaxChunkCells + 1) and returns their count.
int LevelCoordinates(int first, int last, int level, int *out);

// Measures the chunk's error, unless already done.
void MeasureChunkError(TerrainChunk *chunk);

// The chunk's box in world units: its grid area, its height range.
Box3 ChunkBox(const TerrainChunk *chunk);

// The frustum of a perspective view: vertical field of view fovy degrees,
// width / height aspect, near and far distances, the eye looking at lookAt
// with +y up.
void MakeFrustum(const Vec3f *eye, const Vec3f *lookAt, double fovy, double aspect, double near,
                 double far, Frustum *out);

// 0 when the box lies wholly outside one of the planes, so that nothing of it
// can be seen; 1 otherwise.
int BoxMeetsFrustum(const Box3 *box, const Frustum *frustum);

// Distance from point p to the nearest point of the box (0 inside).
double DistanceToBox(const Vec3f *p, const Box3 *box);

// Window pixels that one world unit covers at unit distance, for a window
// `height` pixels high with a vertical field of view of fovy degrees.
double PixelsPerUnitAtUnitDistance(int height, double fovy);

// 1 when the chunk, seen from `distance` away, may be drawn as it is: its
// error covers at most maxPixels window pixels (measuring the error when a
// cheaper bound does not settle it). A leaf always may; with a threshold of
// zero or less, nothing else may.
int ChunkIsFineEnough(TerrainChunk *chunk, double distance, double pixelsPerUnit, double maxPixels);
