// The application shell: start-up, the event loop and shut-down.
#pragma once

#include "app/version.h"

#include <SDL/SDL.h>
#include <cstdio>

constexpr const char *VornName = "vorn";
constexpr const char *DefaultMapName = "mapa.bmp";

// The whole program: returns the process exit status.
int VornMain(int argc, char **argv);

// Everything between the open log and the first frame, in its order: the
// image decoder service, the map "maps/<mapName>" and its normals, the window
// with its GL state, textures and lists, the window title and key repeat.
// Returns 0, or -1 with the reasons in the log (the media layer may be
// started then: SDL_Quit ends it).
int StartViewer(const char *mapName);

// Writes the log banner.
void WriteBanner(FILE *log);

// The map to load: argument 1, or the default map after a usage note in the
// log when there is none.
const char *ChooseMapName(int argc, char **argv, FILE *log);

// Hands one event to its handler. Returns 0 for a quit event, else 1.
int DispatchEvent(const SDL_Event *event);
