// The application shell: start-up, the event loop and shut-down.
#pragma once

#include <SDL/SDL.h>
#include <cstdio>

constexpr const char *VornName = "vorn";
constexpr const char *VornVersion = "0.3.0";
constexpr const char *DefaultMapName = "mapa.bmp";

// The whole program: returns the process exit status.
int VornMain(int argc, char **argv);

// Writes the log banner.
void WriteBanner(FILE *log);

// The map to load: argument 1, or the default map after a usage note in the
// log when there is none.
const char *ChooseMapName(int argc, char **argv, FILE *log);

// Hands one event to its handler. Returns 0 for a quit event, else 1.
int DispatchEvent(const SDL_Event *event);
