// The terrain texture and display list TerrainListId, which draws the whole landscape.
#pragma once

#include "app/world.h"
#include "terrain/heightmap.h"
#include "terrain/vec3.h"

#include <cstdint>

// GL texture name of the grass texture; 0 until BuildTerrainList uploads it.
extern unsigned int grassTexture;

// Loads "textures/grass2.bmp" with mipmaps into grassTexture, compiles the
// landscape into display list TerrainListId and then releases the terrain mesh. Needs a
// current GL context, a loaded height map and a complete mesh. Returns 0, or
// -1 with the reason in the log; on -1 no list was opened and the mesh is
// still there.
int BuildTerrainList();

// ---- what the list is compiled from; no GL is involved ----

// Everything the list holds for one grid point.
struct TerrainVertex {
    float s, t;     // texture coordinate
    Vec3f normal;   // unit normal from the terrain mesh
    float green;    // the vertex colour is (0, green, 0)
    Vec3f position; // world position
};

// Texture coordinate of a grid point: the texture repeats every
// 1 / TexturePerCell grid cells.
void TerrainTexCoord(uint16_t column, uint16_t row, float *s, float *t);

// The point as the list is compiled from it, given its height step and its
// normal from the mesh: the grid centred on the origin in x and z with height
// 0 at y = -HalfHeight, and a vertex colour from black at height 0 up to full
// green at 255.
static inline void MakeTerrainVertex(uint16_t column, uint16_t row, unsigned char height,
                                     const Vec3f *normal, TerrainVertex *out) {
    TerrainTexCoord(column, row, &out->s, &out->t);
    out->normal = *normal;
    out->green = height * (1.0f / MaxHeightStep);
    out->position.x = column * heightMap.cellSize - WorldHalfExtent;
    out->position.y = height * heightMap.heightScale - HalfHeight;
    out->position.z = row * heightMap.cellSize - WorldHalfExtent;
}

// Strip layout of a map of the given side: one triangle strip per band of
// cells between neighbouring columns, each running along the rows and taking
// the point of the band's left column, then that of its right column.
int TerrainStripCount(int size);
int TerrainStripLength(int size);
void TerrainStripPoint(int strip, int index, uint16_t *column, uint16_t *row);
