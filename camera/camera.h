// The camera: eye and look-at point, mouse look and the rotation rule that
// mouse look and the turn keys share.
#pragma once

#include "terrain/vec3.h"

struct Camera {
    Vec3f eye;    // eye point, world units
    Vec3f lookAt; // look-at point; lookAt - eye is the view direction (not unit length)
    float pitch;  // sum of the vertical mouse turns, radians, within +-PitchLimit
};

extern Camera camera;

// The camera a run starts with (before InitGL sets the start height).
constexpr Camera StartCamera = {{0.0f, 20.0f, 0.0f}, {0.0f, 20.0f, 1.0f}, 0.0f};

constexpr float MouseSensitivity = 0.001f; // radians per pixel of pointer offset
constexpr float PitchLimit = 1.0f;         // radians, up and down

// v turned by angle radians about axis k (not normalised here); a positive
// angle turns counter-clockwise seen from the tip of k.
Vec3f RotateAboutAxis(const Vec3f *v, float angle, const Vec3f *k);

// Applies a pointer report at (x, y) with the window centre at (cx, cy): a
// report with either coordinate on the centre is ignored (it is, among
// others, the one that the warp back to the centre causes). Otherwise tilts
// the view by the vertical offset within the pitch limit, then turns it about
// the vertical by the horizontal offset. Returns 1 when the report was acted
// on (the pointer then goes back to the centre), 0 when it was ignored.
int ApplyMouseLook(Camera *cam, int x, int y, int cx, int cy);

// Mouse look for one motion event: reads the pointer, turns the camera and
// holds the pointer at the window centre.
void HandleMouseMotion();

// Puts the eye and the look-at point at the start height over the ground.
void PlaceCameraAtStartHeight();
