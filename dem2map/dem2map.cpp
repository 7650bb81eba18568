// dem2map: turns an elevation model that GDAL reads into a height map for
// the viewer, at true scale.
//
//   dem2map INPUT OUTPUT.png|OUTPUT.bmp [--side N] [--max-side N] [--scale true|fit]
//           [--exaggerate K] [--region XOFF YOFF WIDTH HEIGHT] [--width METRES]
//
// Band 1 of INPUT is the elevation in metres. The map covers the largest
// square of ground centred in the data (or in the region, in source
// pixels), north up; its side is N pixels (default the square's side in
// source pixels, at most 4096). OUTPUT.png is a single-channel 16-bit PNG,
// any other OUTPUT an 8-bit grey BMP, written whole or not at all. Prints a
// short summary on success; on failure one line on standard error, status
// 1, and OUTPUT untouched.
//
// GDAL never reads INPUT in this process: confined workers do (see
// dem2map_run.h).
#include "dem2map/dem2map_convert.h"
#include "dem2map/dem2map_lib.h"
#include "dem2map/dem2map_run.h"

#include <cstdio>
#include <string>

int main(int argc, char **argv) {
    char err[1024];
    DemOptions opts;
    if (ParseDemArgs(argc, argv, &opts, err, sizeof err) != 0) {
        fprintf(stderr, "%s\n", err);
        return 1;
    }
    // A signal from here on leaves no temporary file and no worker behind.
    RemoveOnSignal("");
    std::string temp;
    if (ReserveDemOutput(opts.output, &temp, err, sizeof err) != 0) {
        fprintf(stderr, "%s\n", err);
        return 1;
    }
    RemoveOnSignal(temp);
    DemRun run;
    int rc = RunConfinedConversion(&opts, &run, err, sizeof err);
    if (rc == 0) {
        rc = CommitDemOutput(temp, opts.output, run.side, opts.depth, run.levels.data(), err,
                             sizeof err);
    } else {
        DropDemOutput(temp);
    }
    RemoveOnSignal("");
    if (rc != 0) {
        fprintf(stderr, "%s\n", err);
        return 1;
    }
    fputs(run.summary.c_str(), stdout);
    return 0;
}
