// dem2map's work on files: reading an elevation model with GDAL into a map
// of height steps, the summary of what was done, and writing the map.
#pragma once

#include "dem2map/dem2map_lib.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// A converted map and what the summary tells about it.
struct DemResult {
    int side = 0;
    int depth = 8;                // bits a level: 8 (0..MaxHeightStep) or 16 (0..MaxLevel16)
    std::vector<uint16_t> levels; // side * side, row 0 the northern edge, west to east
    long levelsUsed = 0;          // different levels in the map

    int sourceW = 0, sourceH = 0;
    std::string dataType;
    std::string crs;                       // the coordinate system's name; empty when there is none
    double groundMetres = 0;               // the square's side on the ground; 0 when unknown
    double squareCols = 0, squareRows = 0; // the square across, in source pixels
    int hasCentre = 0;
    double centreLon = 0, centreLat = 0;
    double lowest = 0, highest = 0; // metres, over the map
    long long voids = 0;            // void source points filled
    long long farVoids = 0;         // of them, those beyond DemVoidReach of data
    DemReadWay readWay = DemReadWhole;
    std::string driver;                 // GDAL's short name of the input's format
    std::vector<std::string> filesRead; // every file GDAL read for the input
    int fit = 0;                        // 1: the relief was stretched over all levels
    DemHeightPlan plan = {};
    const char *resampling = "";
};

// Reads opts->input with GDAL (band 1, elevations in metres) and makes its
// map, with levels of opts->depth bits. Needs GDALAllRegister first. With opts->allowVrt 0, an
// input that GDAL opens as a VRT is refused. Returns 0, or -1 with one line (no line end) in err
// naming the input and the reason.
int ConvertDem(const DemOptions *opts, DemResult *result, char *err, size_t errSize);

// The few lines that tell what ConvertDem made.
void PrintDemSummary(FILE *out, const DemOptions *opts, const DemResult *result);

// Creates an empty temporary file beside output, into which the map is
// written before it takes output's name. Returns 0, or -1 with the reason
// in err when output cannot be written there.
int ReserveDemOutput(const char *output, std::string *tempPath, char *err, size_t errSize);

// Writes the map to tempPath and renames it to output: levels of 8 bits as
// an 8-bit BMP with a grey-ramp palette, of 16 bits as a single-channel
// 16-bit PNG. Returns 0, or -1 with the reason in err (a full disk
// included); the temporary file is removed then and output is left as it
// was.
int CommitDemOutput(const std::string &tempPath, const char *output, int side, int depth,
                    const uint16_t *levels, char *err, size_t errSize);

// Removes the temporary file of a conversion that failed.
void DropDemOutput(const std::string &tempPath);
