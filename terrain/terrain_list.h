// The terrain's display lists: list TerrainListId holds the grass texture
// state that every chunk shares, and each chunk level compiled for a view has
// lists of its own, made and dropped as the view asks.
#pragma once

#include "app/world.h"
#include "terrain/heightmap.h"
#include "terrain/vec3.h"

#include <cstdint>

// GL texture name of the grass texture; 0 until BuildTerrainList uploads it.
extern unsigned int grassTexture;

// How much the chunks may cost, and what the latest view frame did.
struct TerrainView {
    // Largest error on screen, in window pixels; 0 draws every chunk at
    // full detail and nothing else.
    double errorPixels;
    // Vertices a frame may compile beyond the chunks under and around the eye.
    long frameVertexBudget;
    // Vertices the compiled levels may hold together; the least recently
    // drawn are dropped beyond it.
    long listVertexBudget;
    // Grid cells along a leaf chunk's side, a power of two from 2 to
    // MaxChunkCells. Read when the lists are built.
    int chunkCells;
    // Draws the whole map as one list, as it was drawn before it was cut
    // into chunks, for comparison; read when the lists are built.
    bool wholeMap;
    unsigned int wholeList; // that list, 0 when there is none

    uint32_t frame;        // view frames drawn
    int chunksDrawn;       // chunks drawn in the latest frame
    long trianglesDrawn;   // their triangles, skirts included
    int skirtsDrawn;       // skirts drawn along seams between levels
    long verticesCompiled; // vertices compiled in the latest frame
    int chunksWaiting;     // chunks drawn at another level than they asked for
    long listVertices;     // vertices all compiled levels hold now
    long listsDropped;     // compiled levels dropped for the budget so far
};

extern TerrainView terrainView;

// Loads "textures/grass2.bmp" with mipmaps into grassTexture, compiles its
// state into display list TerrainListId, lays the map out in chunks and
// compiles every chunk's fallback level (or, with wholeMap, the whole map
// into one list). Needs a current GL context and a
// loaded height map. Returns 0, or -1 with the reason in the log; on -1 no
// list was opened.
int BuildTerrainList();

// Draws the terrain as seen from eye towards lookAt in a window of the given
// width / height aspect and height in pixels, with the viewer's projection
// (45 degrees, 4 to 5000 units): the chunks that meet the view, each at the
// level that view asks for, compiling what is missing near-first within the
// frame's budget.
void DrawTerrainView(const Vec3f *eye, const Vec3f *lookAt, double aspect, int windowHeight);

// Deletes every chunk's lists and the chunk table.
void FreeTerrainLists();

// The whole landscape as one display list `listId`, strip after strip, as
// the terrain was drawn before it was cut into chunks; call it after list
// TerrainListId. Needs a complete mesh; releases it. Returns 0, or -1 with
// the reason in the log.
int BuildWholeTerrainList(unsigned int listId);

// ---- what the list is compiled from; no GL is involved ----

// Everything the list holds for one grid point.
struct TerrainVertex {
    float s, t;     // texture coordinate
    Vec3f normal;   // unit normal of the grid point
    float green;    // the vertex colour is (0, green, 0)
    Vec3f position; // world position
};

// Texture coordinate of a grid point: the texture repeats every
// 1 / TexturePerCell grid cells.
void TerrainTexCoord(uint16_t column, uint16_t row, float *s, float *t);

// The point as the list is compiled from it, given its level and its normal
// from the mesh: the grid centred on the origin in x and z with level 0 at
// y = -HalfHeight, and a vertex colour from black at level 0 up to full
// green at the top level.
static inline void MakeTerrainVertex(uint16_t column, uint16_t row, uint16_t level,
                                     const Vec3f *normal, TerrainVertex *out) {
    TerrainTexCoord(column, row, &out->s, &out->t);
    out->normal = *normal;
    out->green = LevelGreen(level);
    out->position.x = column * heightMap.cellSize - WorldHalfExtent;
    out->position.y = levelHeights[level] - HalfHeight;
    out->position.z = row * heightMap.cellSize - WorldHalfExtent;
}

// Strip layout of a map of the given side: one triangle strip per band of
// cells between neighbouring columns, each running along the rows and taking
// the point of the band's left column, then that of its right column.
int TerrainStripCount(int size);
int TerrainStripLength(int size);
void TerrainStripPoint(int strip, int index, uint16_t *column, uint16_t *row);
