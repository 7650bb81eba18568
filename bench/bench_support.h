// Maps for the benchmarks, made with the project's own generator.
#pragma once

#include <string>

// Makes a scratch directory holding maps/bench<side>.bmp for each given side
// and enters it. Returns the directory, or an empty string on failure.
std::string EnterBenchDirectoryWithMaps(std::initializer_list<int> sides);
