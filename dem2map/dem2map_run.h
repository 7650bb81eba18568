// The converter's processes: the program itself never lets GDAL see the
// input. A first worker checks a VRT's sources against the rules; a second
// converts, confined to reading the input's folder, the VRT's sources and
// GDAL's and PROJ's data, and sends the map back through a pipe. Each runs
// under limits on processor time, memory and wall-clock time.
#pragma once

#include "dem2map/dem2map_lib.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What the converting worker sent back.
struct DemRun {
    int side = 0;
    std::vector<uint16_t> levels; // side * side, of opts->depth bits
    std::string summary;          // the lines that tell what was made
};

// Converts opts->input in confined workers. Returns 0 with the map, or -1
// with one line (no line end) in err: the worker's own reason, or how it
// was stopped.
int RunConfinedConversion(const DemOptions *opts, DemRun *run, char *err, size_t errSize);

// From now on INT, TERM and HUP stop the running worker, remove tempPath
// and end the program by that signal; an empty path removes nothing.
void RemoveOnSignal(const std::string &tempPath);
