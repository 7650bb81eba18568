// The arithmetic of dem2map, apart from any file: its command line, the
// square of ground a map covers, and how elevations in metres become the
// viewer's height steps.
#pragma once

#include "app/world.h"

#include <cstddef>
#include <cstdint>
#include <string>

// Largest side of a map, in pixels: the converter's own bound on its work
// copy and its output, whatever side the viewer takes.
constexpr int DemMaxSide = 4096;
// A region (or a whole raster) must be at least this many source pixels
// across in both directions.
constexpr int DemMinRegionSide = 2;
// Most source samples one conversion reads: 16384 x 16384, a mosaic of
// sixteen one-degree tiles at 1 arc-second. A larger region is read from an
// overview or decimated, and refused before any of it is read when even
// that would decode more.
constexpr long long DemMaxSamplesRead = 16384LL * 16384LL;
// Voids are filled from data at most this many working pixels away; what
// lies farther from any data gets the lowest ground of the area.
constexpr int DemVoidReach = 64;
// A region with more than this share of voids is refused.
constexpr double DemMaxVoidShare = 0.95;
// Largest --exaggerate factor.
constexpr double DemMaxExaggeration = 1000.0;
// An 8-bit map that keeps fewer levels of its relief than this, where a
// 16-bit one would keep more, is called flattened in the summary.
constexpr long DemFewLevels = 16;

// How elevations become height steps.
enum DemScale {
    DemScaleDefault = 0, // true scale when the ground size is known, else fit
    DemScaleTrue = 1,    // real proportions, compressed only to fit 0..MaxHeightStep steps
    DemScaleFit = 2,     // the relief stretched over 0..MaxHeightStep steps
};

// The parsed command line. Strings point into argv.
struct DemOptions {
    const char *input = nullptr;
    const char *output = nullptr;
    int depth = 8;            // bits a level of the map: 16 for OUTPUT.png (see DemOutputDepth)
    int side = 0;             // 0: the square's side in source pixels, at most maxSide
    int maxSide = DemMaxSide; // largest default side (--max-side)
    int scale = DemScaleDefault;
    double exaggerate = 1.0; // only with hasExaggerate
    int hasExaggerate = 0;
    int hasRegion = 0;
    long long regionX = 0, regionY = 0, regionW = 0, regionH = 0; // source pixels
    double width = 0.0; // ground width of the whole raster in metres; 0: not given
    // Not from the command line: 0 when an input that turns out to be a VRT
    // has not had its sources checked, so that it must be refused.
    int allowVrt = 1;
};

// The GDAL drivers that the converter's workers keep: readers of local
// raster files, and the in-memory driver of its own working copies. Every
// other driver is gone before an input is opened.
constexpr const char *DemAllowedDrivers[] = {
    "GTiff", "AAIGrid", "SRTMHGT", "USGSDEM", "HFA", "EHdr", "ENVI", "netCDF",
    "PNG",   "JPEG",    "GIF",     "BMP",     "PNM", "VRT",  "MEM",
};
// 1 when the driver of this short name is one the workers keep.
int IsAllowedDemDriver(const char *shortName);

constexpr const char *DemUsage = "usage: dem2map INPUT OUTPUT.png|OUTPUT.bmp [--side N] "
                                 "[--max-side N] [--scale true|fit] [--exaggerate K] "
                                 "[--region XOFF YOFF WIDTH HEIGHT] [--width METRES]";

// Parses argv[1..argc-1]: INPUT and OUTPUT in this order, the options
// anywhere (a later one wins). Returns 0, or -1 with one line (no line end)
// in err: the usage when there is nothing to do, else what is wrong.
int ParseDemArgs(int argc, char **argv, DemOptions *opts, char *err, size_t errSize);

// Half the side of the largest axis-aligned square centred on (cx, cy) that
// lies inside the closed polygon xs/ys[0..count-1] (the last point joins the
// first), for a centre inside the polygon: the least Chebyshev distance
// from the centre to an edge. 0 for fewer than 3 points.
double LargestCentredSquare(const double *xs, const double *ys, int count, double cx, double cy);

// The square window, in source pixels, of the largest square of ground
// centred in a region of w x h source pixels whose pixels are pixelW by
// pixelH (any one unit) on the ground.
struct DemWindow {
    double x, y, w, h; // offset and size in source pixels
    double ground;     // the square's side in the pixels' unit
};
DemWindow CentredSquareWindow(double regionX, double regionY, double regionW, double regionH,
                              double pixelW, double pixelH);

// How the elevations of one map become steps.
struct DemHeightPlan {
    double stepsPerMetre; // a metre above the lowest point is this many steps
    int compressed;       // 1: the relief was squeezed to fit MaxHeightStep
    double exaggeration;  // vertical over horizontal scale, world against ground; < 0 unknown
    int highestStep;      // the step of the highest point
};

// Plans the steps of a map whose elevations run from lowest to highest
// metres over a square groundWidth metres wide (0: unknown). With fit, or
// an unknown width, the relief fills 0..MaxHeightStep; otherwise a metre of
// ground is WorldExtent / groundWidth world units, times exaggerate, and
// compressed where that needs more than MaxHeightStep steps.
DemHeightPlan PlanHeights(double lowest, double highest, double groundWidth, int fit,
                          double exaggerate);

// The bits a level of a map written to output: 16 (a single-channel
// 16-bit PNG) when its name ends in ".png" in any case, else 8 (an 8-bit
// BMP, whatever the name).
int DemOutputDepth(const char *output);

// The levels of a map of depth 8 or 16 bits, from the height step
// s = (elev[i] - lowest) * stepsPerMetre: out[i] = round(s) clamped to
// 0..MaxHeightStep for 8 bits, round(s * LevelsPerStep16) clamped to
// 0..MaxLevel16 for 16; halves round up.
void ElevationsToLevels(const float *elev, size_t count, double lowest, double stepsPerMetre,
                        int depth, uint16_t *out);

// How many different levels the map holds.
long CountLevelsUsed(const uint16_t *levels, size_t count);

// Metres of elevation in one level of a map of depth bits planned so; 0
// when the plan has no scale (flat ground without a known size).
double MetresPerLevel(const DemHeightPlan &plan, int depth);

// 1 when an 8-bit map keeps fewer than DemFewLevels levels (used) of a
// relief that spans reliefSteps height steps, where a 16-bit map would
// keep at least DemFewLevels; else 0.
int FlattenedByEightBits(int depth, long used, double reliefSteps);

// Averages each k x k block of a side x side grid (side a multiple of k)
// into one value of the (side / k) square out.
void BoxAverage(const float *in, int side, int k, float *out);

// How many times smaller than a region of w x h source pixels its working
// copy is, so that its longer side is at most maxWorkSide: 64-bit
// arithmetic for any sizes a header can claim (both above 0).
long long WorkShrinkFactor(long long w, long long h, long long maxWorkSide);

// 1 when a region of w x h source pixels holds more samples than
// DemMaxSamplesRead (without overflowing for any int sizes), else 0.
int ExceedsSampleCap(long long w, long long h);

// Samples decoded along one axis of n source samples stored in blocks of
// `block` when every k-th sample is read: whole blocks are decoded, so
// sampling saves work only where a block is narrower than the step.
long long DecimatedAxisCost(long long n, long long block, long long k);

// Samples decoded along one axis to read n samples from `first` on, stored
// in blocks of `block` (0: not in blocks): every block they touch, whole.
long long AxisBlockCost(long long first, long long n, long long block);

// How the region of w x h source samples from (x, y), stored in blocks of
// blockW x blockH, is read into a working copy `factor` times smaller.
enum DemReadWay {
    DemReadRefused = -1, // more than DemMaxSamplesRead however it is read
    DemReadWhole = 0,    // every sample, averaged down to the working copy
    DemReadOverview = 1, // from the finest overview within the cap
    DemReadSampled = 2,  // every factor-th sample, nearest neighbour
};
// overviewSamples: the region's samples in the finest overview that holds
// no more than the cap and no fewer than the working copy (0: none).
DemReadWay PlanRegionRead(long long x, long long y, long long w, long long h, long long blockW,
                          long long blockH, long long factor, long long overviewSamples);

// text with every byte below 0x20, 0x7f, the backslash, the C1 controls
// (U+0080 to U+009F) and every byte outside well-formed UTF-8 written as
// \xHH, so that no name or message the converter prints can drive the
// terminal.
std::string EscapeForTerminal(const char *text);
