// dem2map: turns an elevation model that GDAL reads into a height map for
// the viewer, at true scale.
//
//   dem2map INPUT OUTPUT.bmp [--side N] [--scale true|fit] [--exaggerate K]
//           [--region XOFF YOFF WIDTH HEIGHT] [--width METRES]
//
// Band 1 of INPUT is the elevation in metres. The map covers the largest
// square of ground centred in the data (or in the region, in source
// pixels), north up; its side is N pixels (default the square's side in
// source pixels, at most 4096). OUTPUT is an 8-bit grey BMP, written whole
// or not at all. Prints a short summary on success; on failure one line on
// standard error, status 1, and OUTPUT untouched.
#include "dem2map/dem2map_convert.h"
#include "dem2map/dem2map_lib.h"

#include <gdal.h>

#include <cstdio>
#include <string>

int main(int argc, char **argv) {
    char err[1024];
    DemOptions opts;
    if (ParseDemArgs(argc, argv, &opts, err, sizeof err) != 0) {
        fprintf(stderr, "%s\n", err);
        return 1;
    }
    std::string temp;
    if (ReserveDemOutput(opts.output, &temp, err, sizeof err) != 0) {
        fprintf(stderr, "%s\n", err);
        return 1;
    }
    GDALAllRegister();
    DemResult result;
    int rc = ConvertDem(&opts, &result, err, sizeof err);
    GDALDestroy();
    if (rc == 0) {
        rc = CommitDemOutput(temp, opts.output, result.side, result.steps.data(), err, sizeof err);
    } else {
        DropDemOutput(temp);
    }
    if (rc != 0) {
        fprintf(stderr, "%s\n", err);
        return 1;
    }
    PrintDemSummary(stdout, &opts, &result);
    return 0;
}
