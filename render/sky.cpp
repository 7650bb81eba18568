#include "render/sky.h"

#include "app/log.h"
#include "app/world.h"
#include "render/gl_errors.h"
#include "render/texture.h"

#include <SDL/SDL.h>

GLuint skySideTexture = 0;
GLuint skyTopTexture = 0;

static int LoadSkyTexture(const char *fileName, GLuint *name) {
    char path[256];
    GLenum format = 0;
    SDL_Surface *image = LoadTextureImage(fileName, &format, path, sizeof path);
    if (!image) {
        return -1;
    }
    const int bytes = image->format->BytesPerPixel;
    glGenTextures(1, name);
    glBindTexture(GL_TEXTURE_2D, *name);
    glTexImage2D(GL_TEXTURE_2D, 0, bytes, image->w, image->h, 0, format, GL_UNSIGNED_BYTE,
                 image->pixels);
    SDL_FreeSurface(image);
    DrainGlErrors();
    return 0;
}

int LoadSkyTextures() {
    GLuint side = 0, top = 0;
    if (LoadSkyTexture("skySIDE.bmp", &side) != 0) {
        return -1;
    }
    skySideTexture = side;
    if (LoadSkyTexture("skyTOP.bmp", &top) != 0) {
        return -1;
    }
    skyTopTexture = top;
    return 0;
}

static void SetFace(SkyFace *face, const Vec3f (&corners)[4], const float (&st)[4][2]) {
    for (int i = 0; i < 4; ++i) {
        face->corner[i] = corners[i];
        face->s[i] = st[i][0];
        face->t[i] = st[i][1];
    }
}

void SkyBoxFaces(float cx, float cy, float cz, float width, float height, float length,
                 SkyFace faces[5]) {
    const float x0 = cx - width * 0.5f, x1 = x0 + width;
    const float y0 = cy - height * 0.5f, y1 = y0 + height;
    const float z0 = cz - length * 0.5f, z1 = z0 + length;
    // Every wall has t = 0 along its lower edge and t = 1 along its upper one.
    SetFace(&faces[0], {{x1, y0, z0}, {x1, y1, z0}, {x0, y1, z0}, {x0, y0, z0}},
            {{1, 0}, {1, 1}, {0, 1}, {0, 0}});
    SetFace(&faces[1], {{x0, y0, z1}, {x0, y1, z1}, {x1, y1, z1}, {x1, y0, z1}},
            {{1, 0}, {1, 1}, {0, 1}, {0, 0}});
    SetFace(&faces[2], {{x0, y1, z0}, {x0, y1, z1}, {x0, y0, z1}, {x0, y0, z0}},
            {{1, 1}, {0, 1}, {0, 0}, {1, 0}});
    SetFace(&faces[3], {{x1, y0, z0}, {x1, y0, z1}, {x1, y1, z1}, {x1, y1, z0}},
            {{0, 0}, {1, 0}, {1, 1}, {0, 1}});
    // The top image covers the top square once: s runs along x, t along z.
    SetFace(&faces[4], {{x1, y1, z0}, {x1, y1, z1}, {x0, y1, z1}, {x0, y1, z0}},
            {{1, 0}, {1, 1}, {0, 1}, {0, 0}});
}

static void SetSkyTextureParameters(GLuint texture) {
    glBindTexture(GL_TEXTURE_2D, texture);
    SetClampedLinearParameters();
}

static void DrawFace(const SkyFace *face) {
    glBegin(GL_QUADS);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    for (int i = 0; i < 4; ++i) {
        glTexCoord2f(face->s[i], face->t[i]);
        glVertex3f(face->corner[i].x, face->corner[i].y, face->corner[i].z);
    }
    glEnd();
}

void BuildSkyBox(float cx, float cy, float cz, float width, float height, float length) {
    SkyFace faces[5];
    SkyBoxFaces(cx, cy, cz, width, height, length, faces);
    glNewList(SkyListId, GL_COMPILE);
    SetSkyTextureParameters(skySideTexture);
    for (int wall = 0; wall < 4; ++wall) {
        DrawFace(&faces[wall]);
    }
    SetSkyTextureParameters(skyTopTexture);
    DrawFace(&faces[4]);
    glEndList();
}
