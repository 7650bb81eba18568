// The terrain mesh: the smoothed unit normal of every grid point of the
// height map, either for one point at a time or for the whole map at once.
#pragma once

#include "terrain/vec3.h"

#include <cstdint>

// Three planes of normal components, each a table of `size` row pointers to
// separately allocated rows of `size` floats, indexed [row][column] like
// GetLevel. All null before BuildTerrainMesh and after FreeTerrainMesh.
struct TerrainMesh {
    float **normalX;
    float **normalY;
    float **normalZ;
    int size; // grid points per side the planes were made for
};

extern TerrainMesh terrainMesh;

// Computes the normal of every grid point of the loaded height map. Interior
// points get the normalised mean of their four face normals, the border rows
// and columns copy their inner neighbours, each corner its diagonal inner
// neighbour. A map smaller than 3 x 3 has no interior point: every point gets
// (0, 1, 0). When memory runs out the reason is logged and the process ends
// with status -1, so on return the mesh is complete.
void BuildTerrainMesh();

// Computes the normal of one interior point (1 <= column, row <= size - 2)
// from its four neighbours and writes it into the planes.
void ComputeVertexNormal(uint16_t column, uint16_t row);

// The normal that BuildTerrainMesh gives the grid point (column, row) of the
// loaded map, worked out for that point alone. Both indices must be below
// the map's size.
void TerrainNormal(uint16_t column, uint16_t row, Vec3f *out);

// Copies the normal of a grid point into out. Both indices must be below the
// mesh's size; nothing is checked.
static inline void GetVertexNormal(uint16_t column, uint16_t row, Vec3f *out) {
    out->x = terrainMesh.normalX[row][column];
    out->y = terrainMesh.normalY[row][column];
    out->z = terrainMesh.normalZ[row][column];
}

// Releases the planes; the mesh is absent afterwards.
void FreeTerrainMesh();
