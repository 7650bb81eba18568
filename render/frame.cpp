#include "render/frame.h"

#include "app/version.h"
#include "app/world.h"
#include "camera/camera.h"
#include "font/text.h"
#include "render/help.h"
#include "render/video.h"
#include "terrain/terrain_list.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <SDL/SDL.h>
#include <cstdio>

FrameCounter frameCounter = {0, 0, 0.0f};

static const char *const WebAddress = "vorn.example.org";

void CountFrame(FrameCounter *counter, uint32_t now) {
    counter->frames += 1;
    const uint32_t elapsed = now - counter->lastTick; // wraps with the tick counter
    if (elapsed > 1000) {
        counter->lastTick = now;
        counter->fps = static_cast<float>(static_cast<double>(counter->frames) * 1000.0 /
                                          static_cast<double>(elapsed));
        counter->frames = 0;
    }
}

void FormatFrameRate(char *text, size_t size, float fps) {
    snprintf(text, size, "%3.2f fps", fps);
}

void FormatBanner(char *text, size_t size) {
    snprintf(text, size, "vorN %s :: %s", VornVersion, WebAddress);
}

// The sky and the overlay change enables and the polygon mode, and put back
// what the key commands had set. Both groups are saved by one push: Mesa
// (22.x) loses the enables of an outer GL_ENABLE_BIT push when a
// GL_POLYGON_BIT push nested in it is popped, which would leave fog,
// lighting and the depth test off after the first frame.
static const GLbitfield PassAttributes = GL_ENABLE_BIT | GL_POLYGON_BIT;

static void DrawSky() {
    glPushAttrib(PassAttributes);
    glDisable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);
    glEnable(GL_TEXTURE_2D);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, videoState.aspect, 4.0, 21450.0);
    // The sky lies behind everything: it leaves the depth buffer alone, so
    // terrain drawn under the nearer far plane is never hidden by it.
    glDepthMask(GL_FALSE);
    glCallList(SkyListId);
    glDepthMask(GL_TRUE);
}

static void DrawTerrain() {
    glLoadIdentity();
    gluPerspective(45.0, videoState.aspect, 4.0, 5000.0);
    glPopAttrib();
    DrawTerrainView(&camera.eye, &camera.lookAt, videoState.aspect, videoState.screen->h);
}

static void DrawOverlay() {
    const int w = videoState.screen->w;
    const int h = videoState.screen->h;
    glPushAttrib(PassAttributes);
    glDisable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);
    glDisable(GL_FOG);
    glEnable(GL_TEXTURE_2D);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0.0, w, 0.0, h, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();

    char text[128];
    FormatFrameRate(text, sizeof text, frameCounter.fps);
    PrintAt(10.0f, 0.0f, mainFont, text);
    FormatBanner(text, sizeof text);
    PrintAt(static_cast<float>(w - 260), 0.0f, mainFont, text);
    if (helpVisible == 1) {
        glCallList(HelpListId);
    }

    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
}

void DrawFrame() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(camera.eye.x, camera.eye.y, camera.eye.z, camera.lookAt.x, camera.lookAt.y,
              camera.lookAt.z, 0.0, 1.0, 0.0);
    DrawSky();
    DrawTerrain();
    DrawOverlay();
    glFlush();
    SDL_GL_SwapBuffers();
    CountFrame(&frameCounter, SDL_GetTicks());
}
