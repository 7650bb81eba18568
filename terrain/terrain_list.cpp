#include "terrain/terrain_list.h"

#include "app/log.h"
#include "render/texture.h"
#include "terrain/heightmap.h"
#include "terrain/mesh.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <SDL/SDL.h>
#include <cstdlib>

unsigned int grassTexture;

static const char *const GrassFileName = "grass2.bmp";
// Largest texture side taken; the texture is repeated over the terrain, so a
// bigger one would only cost memory.
static const int MaxTextureSide = 4096;

void TerrainTexCoord(uint16_t column, uint16_t row, float *s, float *t) {
    *s = static_cast<float>(column * TexturePerCell);
    *t = static_cast<float>(row * TexturePerCell);
}

int TerrainStripCount(int size) {
    return size < 2 ? 0 : size - 1;
}

int TerrainStripLength(int size) {
    return size < 2 ? 0 : 2 * size;
}

void TerrainStripPoint(int strip, int index, uint16_t *column, uint16_t *row) {
    *column = static_cast<uint16_t>(strip + index % 2);
    *row = static_cast<uint16_t>(index / 2);
}

// Decodes the grass image and uploads it with its mipmaps into grassTexture.
// Returns 0, or -1 with the reason in the log and nothing uploaded.
static int LoadGrassTexture() {
    char path[64];
    GLenum format = 0;
    SDL_Surface *image = LoadTextureImage(GrassFileName, &format, path, sizeof path);
    if (!image) {
        return -1;
    }
    const int bytesPerPixel = image->format->BytesPerPixel;
    if (image->w < 1 || image->h < 1 || image->w > MaxTextureSide || image->h > MaxTextureSide) {
        fprintf(DebugLog, "ERROR: texture file %s is %d x %d; each side must be 1 to %d\n", path,
                image->w, image->h, MaxTextureSide);
        SDL_FreeSurface(image);
        return -1;
    }
    // GL reads rows padded to 4 bytes, as the decoder lays them out.
    const int packedPitch = (image->w * bytesPerPixel + 3) & ~3;
    if (image->pitch != packedPitch) {
        fprintf(DebugLog, "ERROR: texture file %s decoded with rows of %d bytes, not %d\n", path,
                image->pitch, packedPitch);
        SDL_FreeSurface(image);
        return -1;
    }

    glGenTextures(1, &grassTexture);
    glBindTexture(GL_TEXTURE_2D, grassTexture);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    // The pixels go up exactly as decoded: first row first, bytes in memory order.
    gluBuild2DMipmaps(GL_TEXTURE_2D, bytesPerPixel, image->w, image->h, format, GL_UNSIGNED_BYTE,
                      image->pixels);
    glPopClientAttrib();
    SDL_FreeSurface(image);
    return 0;
}

// The strips run down the columns while the height map and the mesh keep
// their rows together, so each strip would touch every row of the image and
// of all three normal planes. Instead the heights and normals of a band of
// BandStrips strips (their columns and the one right of them) are gathered
// row by row into a small buffer that keeps each column together.
static const int BandStrips = 16;

struct BandPoint {
    Vec3f normal;
    unsigned char height;
};

struct Band {
    BandPoint *points; // (BandStrips + 1) columns of `size` rows
    int firstColumn;
    int size;
};

static void GatherBand(Band *band, int firstColumn) {
    band->firstColumn = firstColumn;
    int columns = band->size - firstColumn;
    if (columns > BandStrips + 1) {
        columns = BandStrips + 1;
    }
    for (int r = 0; r < band->size; ++r) {
        for (int k = 0; k < columns; ++k) {
            const uint16_t column = static_cast<uint16_t>(firstColumn + k);
            BandPoint *p = &band->points[static_cast<size_t>(k) * band->size + r];
            GetVertexNormal(column, static_cast<uint16_t>(r), &p->normal);
            p->height = GetHeight(column, static_cast<uint16_t>(r));
        }
    }
}

static void EmitGridPoint(const Band *band, uint16_t column, uint16_t row) {
    const BandPoint *p =
        &band->points[static_cast<size_t>(column - band->firstColumn) * band->size + row];
    TerrainVertex v;
    MakeTerrainVertex(column, row, p->height, &p->normal, &v);
    const GLfloat n[3] = {v.normal.x, v.normal.y, v.normal.z};
    glTexCoord2f(v.s, v.t);
    glNormal3fv(n);
    glColor3f(0.0f, v.green, 0.0f);
    glVertex3f(v.position.x, v.position.y, v.position.z);
}

int BuildTerrainList() {
    if (!terrainMesh.normalX || terrainMesh.size != heightMap.size) {
        fprintf(DebugLog, "ERROR: the terrain normals are not built!\n");
        return -1;
    }
    Band band;
    band.size = heightMap.size;
    band.firstColumn = 0;
    band.points = static_cast<BandPoint *>(
        malloc(sizeof(BandPoint) * (BandStrips + 1) * static_cast<size_t>(heightMap.size)));
    if (!band.points) {
        fprintf(DebugLog, "ERROR: out of memory for the terrain list of a %d x %d map!\n",
                heightMap.size, heightMap.size);
        return -1;
    }
    if (LoadGrassTexture() != 0) {
        free(band.points);
        return -1;
    }

    glNewList(TerrainListId, GL_COMPILE);
    glBindTexture(GL_TEXTURE_2D, grassTexture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
    const int strips = TerrainStripCount(heightMap.size);
    const int length = TerrainStripLength(heightMap.size);
    for (int strip = 0; strip < strips; ++strip) {
        if (strip % BandStrips == 0) {
            GatherBand(&band, strip);
        }
        glBegin(GL_TRIANGLE_STRIP);
        for (int index = 0; index < length; ++index) {
            uint16_t column, row;
            TerrainStripPoint(strip, index, &column, &row);
            EmitGridPoint(&band, column, row);
        }
        glEnd();
    }
    glEndList();
    free(band.points);

    // The list holds its own copy of the normals.
    FreeTerrainMesh();
    return 0;
}
