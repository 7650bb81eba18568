#include "render/gl_errors.h"

#include "app/log.h"

#include <GL/gl.h>
#include <GL/glu.h>

int DrainGlErrors() {
    int logged = 0;
    for (GLenum code = glGetError(); code != GL_NO_ERROR; code = glGetError()) {
        fprintf(DebugLog, "ERROR: GL_ERROR = %s\n",
                reinterpret_cast<const char *>(gluErrorString(code)));
        logged = 1;
    }
    return logged;
}
