#include "camera/camera.h"

#include "app/world.h"
#include "render/video_state.h"
#include "terrain/heightmap.h"

#include <SDL/SDL.h>
#include <algorithm>
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

// Ground height in world units at a grid point given by signed indices.
static float GroundAt(int column, int row) {
    return GroundHeight(static_cast<uint16_t>(column), static_cast<uint16_t>(row)) - HalfHeight;
}

// The highest corner of the cell that holds the world point (x, z).
static float HighestCornerOfCell(float x, float z) {
    const int c = static_cast<int>(std::floor((x + WorldHalfExtent) / heightMap.cellSize));
    const int r = static_cast<int>(std::floor((z + WorldHalfExtent) / heightMap.cellSize));
    return std::max(std::max(GroundAt(c, r), GroundAt(c + 1, r)),
                    std::max(GroundAt(c, r + 1), GroundAt(c + 1, r + 1)));
}

float HighestGroundAhead(const Camera *cam, float ahead) {
    float top = HighestCornerOfCell(cam->eye.x, cam->eye.z);
    const float dx = cam->lookAt.x - cam->eye.x;
    const float dz = cam->lookAt.z - cam->eye.z;
    const float length = std::sqrt(dx * dx + dz * dz);
    if (length <= 0.0f || ahead <= 0.0f) {
        return top;
    }
    // Steps of half a cell cross every cell that the line passes through
    // along its length; the end point is taken last.
    const float step = heightMap.cellSize / 2.0f;
    const int steps = static_cast<int>(std::ceil(ahead / step));
    for (int i = 1; i <= steps; ++i) {
        const float t = std::min(ahead, static_cast<float>(i) * step) / length;
        top = std::max(top, HighestCornerOfCell(cam->eye.x + dx * t, cam->eye.z + dz * t));
    }
    return top;
}

void PlaceCameraAtStartHeight() {
    // The row is taken from the current height, as the start view always was.
    camera.eye.y = GroundHeight(GridIndex(camera.eye.x), GridIndex(camera.eye.y)) + 10.0f;
    camera.lookAt.y = GroundHeight(GridIndex(camera.lookAt.x), GridIndex(camera.lookAt.y)) + 10.0f;
    if (camera.eye.y - HighestCornerOfCell(camera.eye.x, camera.eye.z) < StartClearance) {
        const float raised = HighestGroundAhead(&camera, StartLookAhead) + StartClearance;
        camera.eye.y = raised;
        camera.lookAt.y = raised;
    }
}
