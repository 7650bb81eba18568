// Keyboard commands: moving and turning the camera, render switches, full
// screen, the help panel, screenshots and quitting.
#pragma once

#include "camera/camera.h"

#include <SDL/SDL.h>
#include <cstdint>

// Render switches: +1 on, -1 off. All start on, as the GL set-up leaves them.
extern int8_t polygonFillToggle;
extern int8_t fogToggle;
extern int8_t lightingToggle;
extern int8_t textureToggle;

// Number in the name of the latest screenshot of this run; wraps at 16 bits.
extern uint16_t screenshotCounter;

constexpr float MoveStep = 30.0f; // world units a key press
constexpr float TurnStep = 0.03f; // radians a key press
constexpr int FlipWidth = 640;    // window size after the full-screen flip
constexpr int FlipHeight = 480;

// Moves eye and look-at point by step along the view direction. A camera
// whose look-at point is its eye has no direction and stays where it is.
void MoveCamera(Camera *cam, float step);

// Moves eye and look-at point by step to the viewer's left (negative: right),
// horizontally. A vertical view has no left and stays where it is.
void StepCameraSideways(Camera *cam, float step);

// Turns the view about the vertical through the eye (positive: to the left),
// keeping its length and height.
void TurnCamera(Camera *cam, float angle);

// Flips a switch between +1 and -1 and returns the new value.
int8_t FlipToggle(int8_t *toggle);

// The file name of the next screenshot; advances the counter.
void NextScreenshotName(char *name, size_t size);

// Carries out the command of one key press.
void HandleKeyDown(SDLKey key);
