// Maps for the benchmarks, made with the project's own generator.
#pragma once

#include <string>
#include <vector>

// Writes the generated map of the given side (start view shaped) as an
// 8-bit BMP. Returns 0, or -1.
int WriteBenchMap(const std::string &path, int side);

// The same map as a single-channel 16-bit PNG whose levels are the 8-bit
// map's times 257: its 16-bit twin, which draws the same picture. Returns 0,
// or -1.
int WriteBenchMap16(const std::string &path, int side);

// Makes a scratch directory holding maps/bench<side>.bmp for each given side
// and enters it. Returns the directory, or an empty string on failure.
std::string EnterBenchDirectoryWithMaps(std::initializer_list<int> sides);

// A benchmark program's main: enters such a directory, then runs the
// benchmarks selected by the command line. Returns the exit status.
int RunBenchmarksOnMaps(int argc, char **argv, std::initializer_list<int> sides);

// Runs the benchmarks selected by the command line here. Returns the exit
// status.
int RunBenchmarksHere(int argc, char **argv);

// Makes a scratch directory with links to the maps/, textures/ and fonts/ of
// the directory we started in (the build directory) and enters it, so that
// the viewer's log lands there. Returns it, or an empty string after a note
// on standard error naming program.
std::string EnterScratchWithData(const char *program);

// Removes such a directory.
void LeaveScratch(const std::string &dir);

// The directory of the running program, or an empty string.
std::string ProgramDirectory();

// Runs the program at path with args, its standard output into *output
// (all of it, to its end), and returns the seconds from starting it until
// it printed "first frame", or a negative value when it never did.
double RunToFirstFrame(const std::string &path, const std::vector<std::string> &args,
                       std::string *output);
