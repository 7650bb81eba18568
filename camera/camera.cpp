#include "camera/camera.h"

#include "render/video_state.h"
#include "terrain/heightmap.h"

#include <SDL/SDL.h>
#include <cmath>
#include <cstdint>

Camera camera = StartCamera;

static const Vec3f Up = {0.0f, 1.0f, 0.0f};

Vec3f RotateAboutAxis(const Vec3f *v, float angle, const Vec3f *k) {
    const float c = static_cast<float>(std::cos(angle));
    const float s = static_cast<float>(std::sin(angle));
    const float t = 1.0f - c;
    Vec3f r;
    r.x = v->x * (c + k->x * k->x * t) + v->y * (k->x * k->y * t - k->z * s) +
          v->z * (k->x * k->z * t + k->y * s);
    r.y = v->x * (k->y * k->x * t + k->z * s) + v->y * (c + k->y * k->y * t) +
          v->z * (k->y * k->z * t - k->x * s);
    r.z = v->x * (k->z * k->x * t - k->y * s) + v->y * (k->z * k->y * t + k->x * s) +
          v->z * (c + k->z * k->z * t);
    return r;
}

static void SetLookAt(Camera *cam, const Vec3f *view) {
    cam->lookAt.x = cam->eye.x + view->x;
    cam->lookAt.y = cam->eye.y + view->y;
    cam->lookAt.z = cam->eye.z + view->z;
}

int ApplyMouseLook(Camera *cam, int x, int y, int cx, int cy) {
    if (x == cx || y == cy) {
        return 0;
    }
    Vec3f d;
    Vec3fSub(&d, &cam->eye, &cam->lookAt);
    const float yaw = static_cast<float>(cx - x) * MouseSensitivity;
    const float pitchStep = static_cast<float>(cy - y) * MouseSensitivity;

    const float oldPitch = cam->pitch;
    float newPitch = oldPitch + pitchStep;
    float angle = pitchStep;
    bool turn = true;
    if (newPitch > PitchLimit) {
        newPitch = PitchLimit;
        turn = oldPitch != PitchLimit;
        angle = PitchLimit - oldPitch;
    } else if (newPitch < -PitchLimit) {
        newPitch = -PitchLimit;
        turn = oldPitch != -PitchLimit;
        angle = -PitchLimit - oldPitch;
    }
    if (turn) {
        // The tilt axis is the horizontal vector to the viewer's right. A
        // vertical view has none; it is then left untilted.
        Vec3f axis;
        Vec3fCross(&axis, &d, &Up);
        if (Vec3fLengthSquared(&axis) > 0.0f) {
            Vec3fNormalize(&axis);
            Vec3f tilted = RotateAboutAxis(&d, angle, &axis);
            SetLookAt(cam, &tilted);
            cam->pitch = newPitch;
        }
    } else {
        cam->pitch = newPitch;
    }

    Vec3f v;
    Vec3fSub(&v, &cam->eye, &cam->lookAt);
    Vec3f turned = RotateAboutAxis(&v, yaw, &Up);
    SetLookAt(cam, &turned);
    return 1;
}

void HandleMouseMotion() {
    int x = 0, y = 0;
    SDL_GetMouseState(&x, &y);
    const int cx = videoState.screen->w / 2;
    const int cy = videoState.screen->h / 2;
    if (ApplyMouseLook(&camera, x, y, cx, cy)) {
        SDL_WarpMouse(static_cast<Uint16>(cx), static_cast<Uint16>(cy));
    }
}

// A coordinate as a grid index: truncated toward zero, low 16 bits.
static uint16_t GridIndex(float coordinate) {
    return static_cast<uint16_t>(static_cast<int32_t>(coordinate));
}

void PlaceCameraAtStartHeight() {
    // The row is taken from the current height, as the start view always was.
    camera.eye.y =
        GetHeight(GridIndex(camera.eye.x), GridIndex(camera.eye.y)) * heightMap.heightScale + 10.0f;
    camera.lookAt.y =
        GetHeight(GridIndex(camera.lookAt.x), GridIndex(camera.lookAt.y)) * heightMap.heightScale +
        10.0f;
}
