// Helpers for the converter's tests: elevation rasters written with GDAL, a
// scratch folder that removes itself, and a run of a built converter.
#pragma once

#include <functional>
#include <gdal.h>
#include <string>

// Writes a w x h raster with driver (through a copy of a MEM dataset).
// gt null: no georeferencing. value(c, r) gives each pixel.
void WriteRaster(const std::string &path, const char *driver, int w, int h, GDALDataType type,
                 const double *gt, const char *crs, const std::function<double(int, int)> &value,
                 const double *noData = nullptr);

// A fresh scratch folder, removed with all in it at the end of its scope.
struct Scratch {
    std::string dir;
    Scratch();
    ~Scratch();
    std::string operator/(const char *name) const;
};

// Runs the converter at bin with args (a shell word list); returns its exit
// status (-1 when a signal ended it), with its output in s/out.txt and
// s/err.txt.
int RunDemTool(const char *bin, const Scratch &s, const std::string &args);
