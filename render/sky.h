// The sky box: a large fixed box of sky images around the terrain.
#pragma once

#include "terrain/vec3.h"

#include <GL/gl.h>

extern GLuint skySideTexture;
extern GLuint skyTopTexture;

// Loads "textures/skySIDE.bmp" and then "textures/skyTOP.bmp" into textures.
// Returns 0, or -1 (with the reason in the log) as soon as one fails.
int LoadSkyTextures();

// Compiles display list SkyListId: the four walls and the top of the box centred on
// (cx, cy, cz) with the given sizes along x, y and z.
void BuildSkyBox(float cx, float cy, float cz, float width, float height, float length);

// One face of the box: four corners in drawing order with their texture
// coordinates.
struct SkyFace {
    Vec3f corner[4];
    float s[4], t[4];
};

// The four walls (faces 0-3) and the top (face 4) of a box.
void SkyBoxFaces(float cx, float cy, float cz, float width, float height, float length,
                 SkyFace faces[5]);
