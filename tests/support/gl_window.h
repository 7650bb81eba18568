// Real windows with real GL contexts for the GL tests, on the X display
// named by DISPLAY (the test run starts a virtual one).
#pragma once

#include <vector>

// Opens a plain window of w x h with a GL context (depth buffer, double
// buffered), retrying a few times when the display refuses the connection.
// Returns 0, or -1 when no window could be had.
int OpenBareWindow(int w, int h);

// Runs the viewer's own start-up on the given map from the build directory's
// maps, with the log captured. Retries when the display refuses the
// connection. Returns what the start-up returned last.
int StartViewerGL(const char *mapName);

// Pixels that differ in any channel between two read-backs of RGB pixels.
int CountDifferingPixels(const std::vector<unsigned char> &a, const std::vector<unsigned char> &b);
