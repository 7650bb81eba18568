// The terrain texture and display list 1, which draws the whole landscape.
#pragma once

#include "terrain/vec3.h"

#include <cstdint>

// Fixed id of the terrain display list.
constexpr unsigned int TerrainListId = 1;

// GL texture name of the grass texture; 0 until BuildTerrainList uploads it.
extern unsigned int grassTexture;

// Loads "textures/grass2.bmp" with mipmaps into grassTexture, compiles the
// landscape into display list 1 and then releases the terrain mesh. Needs a
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

// World position of a grid point: the grid centred on the origin in x and z,
// height 0 at y = -550.
Vec3f TerrainWorldPosition(uint16_t column, uint16_t row);

// Texture coordinate of a grid point: the texture repeats every 1 / 0.15
// grid cells.
void TerrainTexCoord(uint16_t column, uint16_t row, float *s, float *t);

// Green of the vertex colour: black at height 0 up to full green at 255.
float TerrainGreen(uint16_t column, uint16_t row);

// The point as it goes into the list, with its normal from the mesh; reads
// the height map.
void MakeTerrainVertex(uint16_t column, uint16_t row, const Vec3f *normal, TerrainVertex *out);

// Strip layout of a map of the given side: one triangle strip per band of
// cells between neighbouring columns, each running along the rows and taking
// the point of the band's left column, then that of its right column.
int TerrainStripCount(int size);
int TerrainStripLength(int size);
void TerrainStripPoint(int strip, int index, uint16_t *column, uint16_t *row);
