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

// A start view keeps at least this many units between the eye and the ground
// under it, and clears the ground this far ahead along the view.
constexpr float StartClearance = 10.0f;
constexpr float StartLookAhead = 100.0f;

// The highest ground, in world units, of the map cells that the horizontal
// line from the eye to StartLookAhead units ahead along the view crosses (the
// eye's own cell included; only that cell when the view is vertical). A
// cell's highest ground is that of its highest corner; ground outside the map
// is at height 0.
float HighestGroundAhead(const Camera *cam, float ahead);

// Puts the eye and the look-at point at the start height over the ground: the
// height of the map at column 0 and row 20 plus 10 for both. Where that
// leaves the eye less than StartClearance above the ground under it (a map
// with a summit under the centre), both are raised to StartClearance above
// the highest ground under the eye and within StartLookAhead ahead.
void PlaceCameraAtStartHeight();
