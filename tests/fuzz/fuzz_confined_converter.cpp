// libFuzzer target over the confined converter: each input is a whole file
// in one of the formats the converter reads (its first byte picks the
// extension, the rest is the file), converted afresh by the converter's
// confined workers. Whatever the bytes, the fuzzing process must survive
// and get either a map whose every level it can read, with its summary, or
// a failure with a reason. GDAL runs only in the workers, so crashes and
// limits there are failed conversions, not findings; what is fuzzed is the
// converter's own side of the process boundary and its checks.
#include "dem2map/dem2map_lib.h"
#include "dem2map/dem2map_run.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

static std::string scratch;

// The extensions of the formats the converter reads, so that GDAL's
// drivers that go by the name are reached too.
static const char *const Extensions[] = {"tif", "asc", "hgt", "dem", "img", "nc",
                                         "png", "jpg", "gif", "bmp", "pgm", "vrt"};

static void Check(bool condition, const char *what) {
    if (!condition) {
        fprintf(stderr, "fuzz_confined_converter: %s\n", what);
        abort();
    }
}

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    char dir[] = "/tmp/vorn-fuzz-converter-XXXXXX";
    Check(mkdtemp(dir) != nullptr, "no scratch directory");
    scratch = dir;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
    if (size < 1) {
        return 0;
    }
    const size_t kinds = sizeof Extensions / sizeof Extensions[0];
    const std::string path = scratch + "/input." + Extensions[bytes[0] % kinds];
    FILE *file = fopen(path.c_str(), "wb");
    Check(file != nullptr, "cannot write the input file");
    Check(fwrite(bytes + 1, 1, size - 1, file) == size - 1, "cannot write the input");
    fclose(file);

    DemOptions opts;
    opts.input = path.c_str();
    opts.output = "unused.bmp";
    opts.maxSide = 64; // small maps: the work is in reading, not in writing
    opts.depth = bytes[0] & 0x80 ? 16 : 8;
    DemRun run;
    char err[1024] = "";
    if (RunConfinedConversion(&opts, &run, err, sizeof err) != 0) {
        Check(err[0] != '\0', "a failed conversion without a reason");
    } else {
        Check(run.side >= 1 && run.side <= DemMaxSide, "a map of an impossible side");
        Check(run.levels.size() == static_cast<size_t>(run.side) * run.side,
              "a map whose levels do not fill it");
        const unsigned top = opts.depth == 16 ? 65535u : 255u;
        for (uint16_t level : run.levels) {
            Check(level <= top, "a level beyond the map's depth");
        }
        Check(!run.summary.empty(), "a map without its summary");
    }
    unlink(path.c_str());
    return 0;
}
