#include "render/frame.h"

#include <GL/gl.h>
#include <SDL/SDL.h>

void DrawFrame() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glFlush();
    SDL_GL_SwapBuffers();
}
