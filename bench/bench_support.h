// Maps for the benchmarks, made with the project's own generator.
#pragma once

#include <string>

// Makes a scratch directory holding maps/bench<side>.bmp for each given side
// and enters it. Returns the directory, or an empty string on failure.
std::string EnterBenchDirectoryWithMaps(std::initializer_list<int> sides);

// A benchmark program's main: enters such a directory, then runs the
// benchmarks selected by the command line. Returns the exit status.
int RunBenchmarksOnMaps(int argc, char **argv, std::initializer_list<int> sides);

// Makes a scratch directory with links to the maps/, textures/ and fonts/ of
// the directory we started in (the build directory) and enters it, so that
// the viewer's log lands there. Returns it, or an empty string after a note
// on standard error naming program.
std::string EnterScratchWithData(const char *program);

// Removes such a directory.
void LeaveScratch(const std::string &dir);
