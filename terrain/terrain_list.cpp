#include "terrain/terrain_list.h"

#include "app/log.h"
#include "render/texture.h"
#include "terrain/chunks.h"
#include "terrain/heightmap.h"
#include "terrain/mesh.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <SDL/SDL.h>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

unsigned int grassTexture;

TerrainView terrainView = {1.0, 40000, 6000000, 8, false, 0, 0, 0, 0, 0, 0, 0, 0, 0};

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
    uint16_t level;
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
            p->level = GetLevel(column, static_cast<uint16_t>(r));
        }
    }
}

static void EmitGridPoint(const Band *band, uint16_t column, uint16_t row) {
    const BandPoint *p =
        &band->points[static_cast<size_t>(column - band->firstColumn) * band->size + row];
    TerrainVertex v;
    MakeTerrainVertex(column, row, p->level, &p->normal, &v);
    const GLfloat n[3] = {v.normal.x, v.normal.y, v.normal.z};
    glTexCoord2f(v.s, v.t);
    glNormal3fv(n);
    glColor3f(0.0f, v.green, 0.0f);
    glVertex3f(v.position.x, v.position.y, v.position.z);
}

int BuildWholeTerrainList(unsigned int listId) {
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
    glNewList(listId, GL_COMPILE);
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

// ---- the chunks ----

// List names for the chunk levels, one list a level, taken from GL in
// blocks and used again: the driver's work for each name it hands out, and
// for each list it compiles, grows with the names it holds, so names are
// asked for rarely and a dropped level's list is emptied and its name kept.
static const GLsizei NamesPerBlock = 1024;

struct ListNames {
    std::vector<GLuint> free;   // unused names
    std::vector<GLuint> blocks; // first names of the blocks taken from GL
};

static ListNames listNames;

// An unused list name, or 0 when GL has none left.
static GLuint TakeListName() {
    if (listNames.free.empty()) {
        const GLuint block = glGenLists(NamesPerBlock);
        if (block == 0) {
            return 0;
        }
        listNames.blocks.push_back(block);
        for (GLsizei k = NamesPerBlock - 1; k >= 0; --k) {
            listNames.free.push_back(block + static_cast<GLuint>(k));
        }
    }
    const GLuint name = listNames.free.back();
    listNames.free.pop_back();
    return name;
}

static void GiveBackListName(GLuint name) {
    glNewList(name, GL_COMPILE);
    glEndList();
    listNames.free.push_back(name);
}

static void DeleteListNames() {
    for (GLuint block : listNames.blocks) {
        glDeleteLists(block, NamesPerBlock);
    }
    listNames = ListNames{};
}

static void SendVertex(const TerrainVertex *v, float drop) {
    const GLfloat n[3] = {v->normal.x, v->normal.y, v->normal.z};
    glTexCoord2f(v->s, v->t);
    glNormal3fv(n);
    glColor3f(0.0f, v->green, 0.0f);
    glVertex3f(v->position.x, v->position.y - drop, v->position.z);
}

static void MakeGridVertex(int column, int row, TerrainVertex *out) {
    const uint16_t c = static_cast<uint16_t>(column);
    const uint16_t r = static_cast<uint16_t>(row);
    Vec3f normal;
    TerrainNormal(c, r, &normal);
    MakeTerrainVertex(c, r, GetLevel(c, r), &normal, out);
}

// The points of the level being compiled, row after row.
static TerrainVertex levelPoints[(MaxChunkCells + 1) * (MaxChunkCells + 1)];

// Compiles a chunk into a list of its own. Returns the vertices sent, or
// -1 when GL has no list names left.
static long CompileChunk(TerrainChunk *chunk) {
    const GLuint name = TakeListName();
    if (name == 0) {
        return -1;
    }
    int columns[MaxChunkCells + 1], rows[MaxChunkCells + 1];
    const int nc = LevelCoordinates(chunk->column0, chunk->column1, chunk->level, columns);
    const int nr = LevelCoordinates(chunk->row0, chunk->row1, chunk->level, rows);
    for (int j = 0; j < nr; ++j) {
        for (int i = 0; i < nc; ++i) {
            MakeGridVertex(columns[i], rows[j], &levelPoints[j * nc + i]);
        }
    }
    // The strips of the whole-map list, cut at the chunk's edges.
    glNewList(name, GL_COMPILE);
    for (int i = 0; i + 1 < nc; ++i) {
        glBegin(GL_TRIANGLE_STRIP);
        for (int j = 0; j < nr; ++j) {
            SendVertex(&levelPoints[j * nc + i], 0.0f);
            SendVertex(&levelPoints[j * nc + i + 1], 0.0f);
        }
        glEnd();
    }
    glEndList();
    chunk->list = name;
    chunk->vertices = 2L * (nc - 1) * nr;
    chunk->triangles = 2L * (nc - 1) * (nr - 1);
    chunk->lastDrawn = terrainView.frame;
    terrainView.listVertices += chunk->vertices;
    return chunk->vertices;
}

static void DropChunk(TerrainChunk *chunk) {
    if (chunk->list == 0) {
        return;
    }
    GiveBackListName(chunk->list);
    terrainView.listVertices -= chunk->vertices;
    chunk->list = 0;
    chunk->vertices = 0;
    chunk->triangles = 0;
}

void FreeTerrainLists() {
    DeleteListNames();
    FreeTerrainChunks();
    terrainView.listVertices = 0;
    if (terrainView.wholeList != 0) {
        glDeleteLists(terrainView.wholeList, 1);
        terrainView.wholeList = 0;
    }
}

int BuildTerrainList() {
    if (LoadGrassTexture() != 0) {
        return -1;
    }
    glNewList(TerrainListId, GL_COMPILE);
    glBindTexture(GL_TEXTURE_2D, grassTexture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
    glEndList();

    FreeTerrainLists();
    if (terrainView.wholeMap) {
        BuildTerrainMesh();
        const GLuint list = glGenLists(1);
        if (list == 0 || BuildWholeTerrainList(list) != 0) {
            FreeTerrainMesh();
            return -1;
        }
        terrainView.wholeList = list;
        return 0;
    }
    if (LayOutTerrainChunks(terrainView.chunkCells) != 0) {
        return -1;
    }
    // Every chunk of the base level stays compiled, so that any view has
    // something to draw while the finer chunks it asks for are compiled.
    const int base = terrainChunks.baseLevel;
    const int side = terrainChunks.side[base];
    for (int row = 0; row < side; ++row) {
        for (int column = 0; column < side; ++column) {
            if (CompileChunk(ChunkAt(base, column, row)) < 0) {
                fprintf(DebugLog, "ERROR: out of display lists for the terrain chunks!\n");
                FreeTerrainLists();
                return -1;
            }
        }
    }
    return 0;
}

// What one view frame works from.
struct ViewWalk {
    Vec3f eye;
    Frustum frustum;
    double pixelsPerUnit;
    double nearRadius; // chunks this close to the eye, across the ground, reach full detail
    std::vector<TerrainChunk *> drawn;   // in the order they are drawn
    std::vector<TerrainChunk *> missing; // chunks the view asked for, not compiled
    std::vector<double> missingDistance;
    long compiledNow; // vertices compiled during the walk (around the eye)
};

static ViewWalk walk;

// How far the chunk's ground area lies from the eye along x or z, whichever
// is further: the chunks within one leaf of the eye this way are the block of
// three by three leaves around the one under it.
static double GroundReach(const Vec3f *eye, const Box3 *box) {
    const double dx = std::max(
        {0.0, static_cast<double>(box->low.x - eye->x), static_cast<double>(eye->x - box->high.x)});
    const double dz = std::max(
        {0.0, static_cast<double>(box->low.z - eye->z), static_cast<double>(eye->z - box->high.z)});
    return std::max(dx, dz);
}

static void AskFor(TerrainChunk *chunk, double distance) {
    walk.missing.push_back(chunk);
    walk.missingDistance.push_back(distance);
}

// Whether the walk goes into the chunk: it meets the view, or lies around
// the eye.
static bool Reachable(const TerrainChunk *chunk, bool *inView, bool *nearEye) {
    const Box3 box = ChunkBox(chunk);
    *inView = BoxMeetsFrustum(&box, &walk.frustum) != 0;
    *nearEye = GroundReach(&walk.eye, &box) <= walk.nearRadius;
    return *inView || *nearEye;
}

// The chunk's children that the walk would go into; returns their count.
static int ReachableChildren(const TerrainChunk *chunk, TerrainChunk **children) {
    int count = 0;
    for (int k = 0; k < 4; ++k) {
        TerrainChunk *child =
            ChunkAt(chunk->level - 1, 2 * chunk->column + k % 2, 2 * chunk->row + k / 2);
        bool inView, nearEye;
        if (child && Reachable(child, &inView, &nearEye)) {
            children[count++] = child;
        }
    }
    return count;
}

// Whether the children can stand in for their parent: each is compiled, or
// lies above the base level, where the walk goes on down to compiled ones.
static bool ChildrenReady(TerrainChunk *const *children, int count) {
    for (int k = 0; k < count; ++k) {
        if (children[k]->list == 0 && children[k]->level <= terrainChunks.baseLevel) {
            return false;
        }
    }
    return true;
}

static void DrawChunk(TerrainChunk *chunk, bool inView, bool fineEnough) {
    chunk->frame = terrainView.frame;
    chunk->state = ChunkDrawn;
    chunk->wanted = fineEnough;
    chunk->lastDrawn = terrainView.frame;
    if (inView && chunk->list != 0) {
        walk.drawn.push_back(chunk);
    }
}

// Walks the tree from chunk: draws it when it is fine enough for the view,
// else lets its children stand in for it. A chunk whose children are not
// all compiled yet is drawn itself meanwhile and asks for them. Chunks above
// the base level need not be compiled: their children stand in for them
// until they are.
static void Walk(TerrainChunk *chunk) {
    bool inView, nearEye;
    if (!Reachable(chunk, &inView, &nearEye)) {
        return;
    }
    const Box3 box = ChunkBox(chunk);
    const double distance = DistanceToBox(&walk.eye, &box);
    // The ground under and around the eye is always drawn at full detail,
    // so that coarse ground cannot rise above the eye.
    bool fine = chunk->level == 0 || chunk->forced == 1 ||
                (chunk->forced != 2 && !nearEye &&
                 ChunkIsFineEnough(chunk, distance, walk.pixelsPerUnit, terrainView.errorPixels));
    if (fine && chunk->list == 0) {
        AskFor(chunk, distance);
        if (chunk->level <= terrainChunks.baseLevel) {
            return; // a leaf around the eye out of view, compiled with its parent next
        }
        fine = false;
    }
    if (fine) {
        DrawChunk(chunk, inView, true);
        return;
    }
    TerrainChunk *children[4];
    const int count = ReachableChildren(chunk, children);
    if (!ChildrenReady(children, count) && nearEye) {
        for (int k = 0; k < count; ++k) {
            if (children[k]->list == 0) {
                walk.compiledNow += std::max(0L, CompileChunk(children[k]));
            }
        }
    }
    if (!ChildrenReady(children, count)) {
        for (int k = 0; k < count; ++k) {
            if (children[k]->list == 0) {
                AskFor(children[k], distance);
            }
        }
        DrawChunk(chunk, inView, false);
        return;
    }
    chunk->frame = terrainView.frame;
    chunk->state = ChunkSplit;
    for (int k = 0; k < count; ++k) {
        Walk(children[k]);
    }
}

// Drops the least recently drawn chunks, the base level and the chunks of
// this frame aside, until the lists hold a tenth less than the budget.
static void DropOverBudget() {
    if (terrainView.listVertices <= terrainView.listVertexBudget) {
        return;
    }
    std::vector<TerrainChunk *> held;
    for (int i = 0; i < terrainChunks.count; ++i) {
        TerrainChunk *chunk = &terrainChunks.chunks[i];
        if (chunk->list != 0 && chunk->level != terrainChunks.baseLevel &&
            chunk->lastDrawn != terrainView.frame) {
            held.push_back(chunk);
        }
    }
    std::sort(held.begin(), held.end(), [](const TerrainChunk *a, const TerrainChunk *b) {
        return a->lastDrawn < b->lastDrawn;
    });
    const long goal = terrainView.listVertexBudget - terrainView.listVertexBudget / 10;
    for (TerrainChunk *chunk : held) {
        if (terrainView.listVertices <= goal) {
            break;
        }
        DropChunk(chunk);
        ++terrainView.listsDropped;
    }
}

// Compiles the chunks the view asked for, nearest first, while the frame's
// budget lasts.
static long CompileAskedFor() {
    std::vector<size_t> order(walk.missing.size());
    for (size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    std::sort(order.begin(), order.end(),
              [](size_t a, size_t b) { return walk.missingDistance[a] < walk.missingDistance[b]; });
    long compiled = 0;
    for (size_t i : order) {
        TerrainChunk *chunk = walk.missing[i];
        if (chunk->list != 0) {
            continue; // asked for twice
        }
        const long cost = 2L * terrainChunks.leafCells * (terrainChunks.leafCells + 1);
        if (compiled + cost > terrainView.frameVertexBudget) {
            break;
        }
        compiled += std::max(0L, CompileChunk(chunk));
    }
    return compiled;
}

// Whether the ground across one edge of a drawn chunk is drawn at another
// level, and if so, the error of the coarser side there. Returns -1 when
// the seam needs no skirt: the map's edge, a neighbour of the same level,
// or nothing drawn across.
static float SeamGap(TerrainChunk *chunk, int column, int row) {
    const TerrainChunk *across = ChunkAt(chunk->level, column, row);
    MeasureChunkError(chunk);
    if (!across) {
        return -1.0f;
    }
    if (across->frame == terrainView.frame) {
        if (across->state == ChunkDrawn) {
            return -1.0f;
        }
        if (across->state == ChunkSplit) {
            return chunk->error; // finer chunks across: this one is the coarser side
        }
    }
    // Not reached: covered by a coarser chunk drawn above it, or culled.
    for (int level = chunk->level + 1; level < terrainChunks.levels; ++level) {
        column /= 2;
        row /= 2;
        TerrainChunk *above = ChunkAt(level, column, row);
        if (above->frame == terrainView.frame) {
            if (above->state == ChunkDrawn) {
                MeasureChunkError(above);
                return std::max(chunk->error, above->error);
            }
            return -1.0f;
        }
    }
    return -1.0f;
}

enum { West = 0, East = 1, North = 2, South = 3 };

// A skirt along one edge of a drawn chunk: the edge's points with their
// copies `depth` lower, wound to face away from the chunk, so that it fills
// the gap towards a neighbour drawn at another level. Returns its triangles.
static long DrawSkirt(const TerrainChunk *chunk, int edge, float depth) {
    int coords[MaxChunkCells + 1];
    const bool alongRows = edge == West || edge == East;
    const int n = alongRows
                      ? LevelCoordinates(chunk->row0, chunk->row1, chunk->level, coords)
                      : LevelCoordinates(chunk->column0, chunk->column1, chunk->level, coords);
    const int fixed = edge == West    ? chunk->column0
                      : edge == East  ? chunk->column1
                      : edge == North ? chunk->row0
                                      : chunk->row1;
    // Seen from outside the chunk, the top point comes first along the east
    // and north edges and second along the west and south ones.
    const bool topFirst = edge == East || edge == North;
    glBegin(GL_TRIANGLE_STRIP);
    for (int k = 0; k < n; ++k) {
        TerrainVertex v;
        MakeGridVertex(alongRows ? fixed : coords[k], alongRows ? coords[k] : fixed, &v);
        SendVertex(&v, topFirst ? 0.0f : depth);
        SendVertex(&v, topFirst ? depth : 0.0f);
    }
    glEnd();
    return 2L * (n - 1);
}

void DrawTerrainView(const Vec3f *eye, const Vec3f *lookAt, double aspect, int windowHeight) {
    ++terrainView.frame;
    terrainView.chunksDrawn = 0;
    terrainView.trianglesDrawn = 0;
    terrainView.chunksWaiting = 0;
    terrainView.verticesCompiled = 0;
    terrainView.skirtsDrawn = 0;
    glCallList(TerrainListId);
    if (terrainView.wholeList != 0) {
        glCallList(terrainView.wholeList);
        const long cells = heightMap.size > 1 ? heightMap.size - 1 : 0;
        terrainView.trianglesDrawn = 2 * cells * cells;
        return;
    }
    if (terrainChunks.count == 0) {
        return;
    }
    const double fovy = 45.0;
    walk.eye = *eye;
    MakeFrustum(eye, lookAt, fovy, aspect, 4.0, 5000.0, &walk.frustum);
    walk.pixelsPerUnit = PixelsPerUnitAtUnitDistance(windowHeight, fovy);
    walk.nearRadius = static_cast<double>(terrainChunks.leafCells) * heightMap.cellSize;
    walk.drawn.clear();
    walk.missing.clear();
    walk.missingDistance.clear();
    walk.compiledNow = 0;
    const int top = terrainChunks.levels - 1;
    Walk(ChunkAt(top, 0, 0));

    for (TerrainChunk *chunk : walk.drawn) {
        glCallList(chunk->list);
        ++terrainView.chunksDrawn;
        terrainView.trianglesDrawn += chunk->triangles;
        terrainView.chunksWaiting += chunk->wanted ? 0 : 1;
        // A seam with ground drawn at another level gets a skirt that hangs
        // down by the gap there can be.
        const int across[4][2] = {{chunk->column - 1, chunk->row},
                                  {chunk->column + 1, chunk->row},
                                  {chunk->column, chunk->row - 1},
                                  {chunk->column, chunk->row + 1}};
        for (int edge = 0; edge < 4; ++edge) {
            const float gap = SeamGap(chunk, across[edge][0], across[edge][1]);
            if (gap >= 0.0f) {
                // A little more, so that rounding leaves no hairline.
                terrainView.trianglesDrawn += DrawSkirt(chunk, edge, gap + 0.5f);
                ++terrainView.skirtsDrawn;
            }
        }
    }
    terrainView.verticesCompiled = walk.compiledNow + CompileAskedFor();
    DropOverBudget();
}
