#include "render/help.h"

#include "decoder/image_decoder.h"
#include "app/log.h"
#include "app/world.h"
#include "render/texture.h"

#include <GL/gl.h>
#include <SDL/SDL.h>
#include <SDL/SDL_image.h>

int helpVisible = 1;

// A name that holds no image: the panel then draws plain white.
static const GLuint NoHelpTexture = static_cast<GLuint>(-1);

void BuildHelpOverlay() {
    GLuint name = NoHelpTexture;
    glNewList(HelpListId, GL_COMPILE);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    SDL_Surface *image = LoadImageIsolated("textures/help.bmp");
    if (!image) {
        fprintf(DebugLog, "ERROR: loading help failed with error: %s\n", SDL_GetError());
    } else if (GLenum format = TextureFormatFor(image->format->BytesPerPixel); format == 0) {
        fprintf(DebugLog, "ERROR: help texture file is in unsupported pixel format!\n");
    } else {
        // Compiled into the list: the image goes up again whenever the panel
        // is drawn, from the list's own copy of the pixels.
        glGenTextures(1, &name);
        glBindTexture(GL_TEXTURE_2D, name);
        glTexImage2D(GL_TEXTURE_2D, 0, image->format->BytesPerPixel, image->w, image->h, 0, format,
                     GL_UNSIGNED_BYTE, image->pixels);
    }
    // The list holds its own copy of the pixels, so the image can go.
    SDL_FreeSurface(image);
    glBindTexture(GL_TEXTURE_2D, name);
    SetClampedLinearParameters();
    // The image's first row lies along the top edge, so it shows upright.
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 1.0f);
    glVertex2f(HelpLeft, HelpBottom);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2f(HelpLeft, HelpTop);
    glTexCoord2f(1.0f, 0.0f);
    glVertex2f(HelpRight, HelpTop);
    glTexCoord2f(1.0f, 1.0f);
    glVertex2f(HelpRight, HelpBottom);
    glEnd();
    glEndList();
}
