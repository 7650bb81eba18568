// The floor under the viewer's start-up: the least any program must do to
// show the same landscape. It opens the same window (800 x 600, the same
// flags and GL attributes), reads the same height map, compiles the same
// strips with the same calls into display list 1 (with a dummy normal instead
// of computed ones), draws one frame of it from the viewer's start camera and
// prints "first frame" on standard output once the frame has been swapped.
//
//   startup_floor MAP_FILE      (a file inside maps/)
#include "app/world.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <SDL/SDL.h>
#include <SDL/SDL_image.h>
#include <cstdio>

static int OpenWindow(const SDL_VideoInfo *info, Uint32 flags) {
    const int depths[] = {info->vfmt->BitsPerPixel, 24, 16};
    for (int depth : depths) {
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, depth);
        if (SDL_SetVideoMode(800, 600, info->vfmt->BitsPerPixel, flags)) {
            return 0;
        }
    }
    return -1;
}

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: startup_floor MAP_FILE\n");
        return 1;
    }
    char path[1024];
    snprintf(path, sizeof path, "maps/%s", argv[1]);

    if (SDL_Init(SDL_INIT_VIDEO) < 0) {
        fprintf(stderr, "startup_floor: %s\n", SDL_GetError());
        return 1;
    }
    const SDL_VideoInfo *info = SDL_GetVideoInfo();
    Uint32 flags = SDL_HWPALETTE | SDL_RESIZABLE | SDL_OPENGL | SDL_FULLSCREEN;
    if (info->hw_available) {
        flags |= SDL_HWSURFACE;
    }
    if (info->blit_hw) {
        flags |= SDL_HWACCEL;
    }
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    if (OpenWindow(info, flags) != 0) {
        fprintf(stderr, "startup_floor: no window: %s\n", SDL_GetError());
        SDL_Quit();
        return 1;
    }

    SDL_Surface *map = IMG_Load(path);
    if (!map || map->format->BytesPerPixel != 1 || map->w != map->h || map->w < 21) {
        fprintf(stderr, "startup_floor: %s is not a usable map\n", path);
        SDL_Quit();
        return 1;
    }
    const int size = map->w;
    const float cellSize = static_cast<float>(static_cast<double>(WorldExtent) / size);
    const float heightScale = HeightStep;
    const unsigned char *pixels = static_cast<const unsigned char *>(map->pixels);
    auto height = [&](int c, int r) { return pixels[r * map->pitch + c]; };

    const GLfloat up[3] = {0.0f, 1.0f, 0.0f};
    glNewList(TerrainListId, GL_COMPILE);
    for (int c = 0; c + 1 < size; ++c) {
        glBegin(GL_TRIANGLE_STRIP);
        for (int r = 0; r < size; ++r) {
            for (int i = c; i <= c + 1; ++i) {
                const int h = height(i, r);
                glTexCoord2f(static_cast<float>(i * TexturePerCell),
                             static_cast<float>(r * TexturePerCell));
                glNormal3fv(up);
                glColor3f(0.0f, h * (1.0f / MaxHeightStep), 0.0f);
                glVertex3f(i * cellSize - WorldHalfExtent, h * heightScale - HalfHeight,
                           r * cellSize - WorldHalfExtent);
            }
        }
        glEnd();
    }
    glEndList();

    // One frame from the viewer's start camera.
    const float eyeY = height(0, 20) * heightScale + 10.0f;
    glEnable(GL_DEPTH_TEST);
    glFrontFace(GL_CW);
    glEnable(GL_CULL_FACE);
    glViewport(0, 0, 800, 600);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, 800.0 / 600.0, 4.0, 5000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(0.0, eyeY, 0.0, 0.0, eyeY, 1.0, 0.0, 1.0, 0.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glCallList(TerrainListId);
    glFlush();
    SDL_GL_SwapBuffers();
    glFinish();
    printf("first frame\n");
    fflush(stdout);

    SDL_FreeSurface(map);
    SDL_Quit();
    return 0;
}
