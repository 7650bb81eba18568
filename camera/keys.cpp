#include "camera/keys.h"

#include "render/help.h"
#include "render/screenshot.h"
#include "render/video.h"

#include <GL/gl.h>
#include <cstdio>
#include <cstdlib>

int8_t polygonFillToggle = 1;
int8_t fogToggle = 1;
int8_t lightingToggle = 1;
int8_t textureToggle = 1;
uint16_t screenshotCounter = 0;

static const Vec3f Up = {0.0f, 1.0f, 0.0f};

void MoveCamera(Camera *cam, float step) {
    Vec3f d;
    Vec3fSub(&d, &cam->eye, &cam->lookAt);
    if (Vec3fLengthSquared(&d) == 0.0f) {
        return;
    }
    Vec3fNormalize(&d);
    cam->eye.x += step * d.x;
    cam->eye.y += step * d.y;
    cam->eye.z += step * d.z;
    cam->lookAt.x += step * d.x;
    cam->lookAt.y += step * d.y;
    cam->lookAt.z += step * d.z;
}

void StepCameraSideways(Camera *cam, float step) {
    Vec3f d, left;
    Vec3fSub(&d, &cam->eye, &cam->lookAt);
    Vec3fCross(&left, &Up, &d);
    if (Vec3fLengthSquared(&left) == 0.0f) {
        return;
    }
    Vec3fNormalize(&left);
    cam->eye.x += step * left.x;
    cam->eye.z += step * left.z;
    cam->lookAt.x += step * left.x;
    cam->lookAt.z += step * left.z;
}

void TurnCamera(Camera *cam, float angle) {
    Vec3f v;
    Vec3fSub(&v, &cam->eye, &cam->lookAt);
    Vec3f turned = RotateAboutAxis(&v, angle, &Up);
    cam->lookAt.x = cam->eye.x + turned.x;
    cam->lookAt.y = cam->eye.y + turned.y;
    cam->lookAt.z = cam->eye.z + turned.z;
}

int8_t FlipToggle(int8_t *toggle) {
    *toggle = static_cast<int8_t>(-*toggle);
    return *toggle;
}

void NextScreenshotName(char *name, size_t size) {
    ++screenshotCounter;
    snprintf(name, size, "screen%d.bmp", screenshotCounter);
}

static void SwitchCapability(int8_t *toggle, GLenum capability) {
    if (FlipToggle(toggle) > 0) {
        glEnable(capability);
    } else {
        glDisable(capability);
    }
}

void HandleKeyDown(SDLKey key) {
    switch (key) {
    case SDLK_ESCAPE:
        SDL_Quit();
        exit(0);
    case SDLK_w:
        MoveCamera(&camera, MoveStep);
        break;
    case SDLK_s:
        MoveCamera(&camera, -MoveStep);
        break;
    case SDLK_a:
        StepCameraSideways(&camera, MoveStep);
        break;
    case SDLK_d:
        StepCameraSideways(&camera, -MoveStep);
        break;
    case SDLK_z:
        TurnCamera(&camera, TurnStep);
        break;
    case SDLK_c:
        TurnCamera(&camera, -TurnStep);
        break;
    case SDLK_f:
        videoState.videoFlags ^= SDL_FULLSCREEN;
        ResizeWindow(FlipWidth, FlipHeight);
        break;
    case SDLK_h:
        helpVisible = helpVisible == 0 ? 1 : 0;
        break;
    case SDLK_p: {
        char name[32];
        NextScreenshotName(name, sizeof name);
        SaveScreenshot(name);
        break;
    }
    case SDLK_q:
        glPolygonMode(GL_FRONT_AND_BACK, FlipToggle(&polygonFillToggle) > 0 ? GL_FILL : GL_LINE);
        break;
    case SDLK_m:
        SwitchCapability(&fogToggle, GL_FOG);
        break;
    case SDLK_l:
        SwitchCapability(&lightingToggle, GL_LIGHTING);
        break;
    case SDLK_t:
        SwitchCapability(&textureToggle, GL_TEXTURE_2D);
        break;
    default:
        break;
    }
}
