// dem2map on elevation models made here with GDAL: true scale in metric and
// geographic systems, voids, grids without georeferencing, regions, and
// the tool's failures as a process.
#include "tests/support/dem_files.h"
#include "tests/support/test_files.h"
#include "app/world.h"
#include "dem2map/dem2map_convert.h"
#include "dem2map/dem2map_lib.h"
#include "datagen/pngfile.h"

#include <SDL/SDL_image.h>
#include <chrono>
#include <cerrno>
#include <cmath>
#include <cpl_string.h>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <gdal.h>
#include <gtest/gtest.h>
#include <ogr_srs_api.h>
#include <string>
#include <vector>

namespace {

// Metres from the centre of the ground to (x, y) -> elevation.
using Terrain = std::function<double(double x, double y)>;

// A cone 1000 m high, base radius 5 km, with a flat top of 200 m, on
// ground at 500 m.
double Cone(double x, double y) {
    const double d = std::hypot(x, y);
    return 500.0 + 1000.0 * std::fmin(1.0, std::fmax(0.0, (5000.0 - d) / 4800.0));
}

// A square of UTM zone 32 north, centred on its central meridian at 46 N,
// side metres across in pixels of 50 m.
void WriteUtm(const std::string &path, const char *driver, double side, const Terrain &terrain) {
    const int n = static_cast<int>(side / 50.0);
    const double gt[6] = {500000.0 - side / 2, 50.0, 0, 5095000.0 + side / 2, 0, -50.0};
    WriteRaster(path, driver, n, n, GDT_Float32, gt, "EPSG:32632", [&](int c, int r) {
        return terrain((c + 0.5) * 50.0 - side / 2, side / 2 - (r + 0.5) * 50.0);
    });
}

int Convert(std::vector<const char *> args, DemResult *result) {
    args.insert(args.begin(), "dem2map");
    args.insert(args.begin() + 2, "unused.bmp");
    DemOptions opts;
    char err[1024];
    if (ParseDemArgs(static_cast<int>(args.size()), const_cast<char **>(args.data()), &opts, err,
                     sizeof err) != 0) {
        ADD_FAILURE() << err;
        return -1;
    }
    GDALAllRegister();
    const int rc = ConvertDem(&opts, result, err, sizeof err);
    EXPECT_EQ(rc, 0) << err;
    return rc;
}

int At(const DemResult &r, int c, int row) {
    return r.levels[static_cast<size_t>(row) * r.side + c];
}

int MaxStep(const DemResult &r) {
    int m = 0;
    for (uint16_t s : r.levels) {
        m = std::max(m, static_cast<int>(s));
    }
    return m;
}

// How far the cone reaches above half its height along the centre row and
// column, in map pixels: equal when the map is round.
void ExpectRoundCone(const DemResult &r) {
    const int half = MaxStep(r) / 2, mid = r.side / 2;
    int across = 0, down = 0;
    for (int i = 0; i < r.side; ++i) {
        across += At(r, i, mid) > half;
        down += At(r, mid, i) > half;
    }
    EXPECT_GT(across, r.side / 5);
    EXPECT_NEAR(across, down, 2);
}

TEST(Dem2mapArithmetic, TrueScaleFitAndExaggeration) {
    // 1000 m of relief over 15 km and 30 km of ground.
    EXPECT_EQ(PlanHeights(500, 1500, 15000, 0, 1.0).highestStep, 232);
    EXPECT_EQ(PlanHeights(500, 1500, 30000, 0, 1.0).highestStep, 116);
    EXPECT_NEAR(PlanHeights(500, 1500, 30000, 0, 1.0).exaggeration, 1.0, 1e-9);
    DemHeightPlan twice = PlanHeights(500, 1500, 30000, 0, 2.0);
    EXPECT_EQ(twice.highestStep, 232);
    EXPECT_NEAR(twice.exaggeration, 2.0, 1e-9);
    // Too much relief for 255 steps: compressed, and the scale says so.
    DemHeightPlan tall = PlanHeights(0, 4000, 15000, 0, 1.0);
    EXPECT_EQ(tall.compressed, 1);
    EXPECT_EQ(tall.highestStep, 255);
    EXPECT_NEAR(tall.exaggeration, 255 * 4.313726 / 4000, 1e-6);
    DemHeightPlan fit = PlanHeights(10, 20, 0, 1, 1.0);
    EXPECT_EQ(fit.highestStep, 255);
    EXPECT_LT(fit.exaggeration, 0.0); // no ground size: unknown
    const float elev[4] = {10.0f, 15.0f, 20.0f, 9.0f};
    uint16_t steps[4];
    ElevationsToLevels(elev, 4, 10.0, fit.stepsPerMetre, 8, steps);
    EXPECT_EQ(steps[0], 0);
    EXPECT_EQ(steps[1], 128); // 127.5 rounds up
    EXPECT_EQ(steps[2], 255);
    EXPECT_EQ(steps[3], 0);
}

TEST(Dem2mapArithmetic, SixteenBitLevelsAreEightBitStepsTimes257) {
    // Every elevation (beyond both ends too) lands on the 8-bit step that
    // its 16-bit level rounds to: the two maps draw the same relief.
    std::vector<float> elev;
    for (int i = -40; i <= 26000; ++i) {
        elev.push_back(static_cast<float>(i * 0.0391));
    }
    const double perMetre = PlanHeights(0, 1000, 0, 1, 1.0).stepsPerMetre;
    std::vector<uint16_t> narrow(elev.size()), wide(elev.size());
    ElevationsToLevels(elev.data(), elev.size(), 0.0, perMetre, 8, narrow.data());
    ElevationsToLevels(elev.data(), elev.size(), 0.0, perMetre, 16, wide.data());
    for (size_t i = 0; i < elev.size(); ++i) {
        ASSERT_EQ(narrow[i], (wide[i] + 128) / 257) << elev[i];
    }
    EXPECT_EQ(CountLevelsUsed(narrow.data(), narrow.size()), 256);
    EXPECT_EQ(CountLevelsUsed(wide.data(), wide.size()), 25577);
    DemHeightPlan plan = PlanHeights(0, 1000, 0, 1, 1.0);
    EXPECT_NEAR(MetresPerLevel(plan, 16), 1000.0 / 65535, 1e-12);
    EXPECT_EQ(MetresPerLevel(PlanHeights(5, 5, 0, 1, 1.0), 16), 0.0); // flat, no scale
    // 0.35 steps of relief: one or two 8-bit levels, about 90 in 16 bits.
    EXPECT_EQ(FlattenedByEightBits(8, 1, 0.35), 1);
    EXPECT_EQ(FlattenedByEightBits(16, 90, 0.35), 0);
    EXPECT_EQ(FlattenedByEightBits(8, 16, 15.0), 0);
    EXPECT_EQ(FlattenedByEightBits(8, 1, 0.01), 0); // 16 bits would not do better
}

TEST(Dem2mapArithmetic, LargestCentredSquare) {
    const double rx[4] = {-3, 5, 5, -3}, ry[4] = {-1, -1, 4, 4};
    EXPECT_DOUBLE_EQ(LargestCentredSquare(rx, ry, 4, 0, 0), 1.0);
    const double dx[4] = {2, 0, -2, 0}, dy[4] = {0, 2, 0, -2}; // a diamond
    EXPECT_DOUBLE_EQ(LargestCentredSquare(dx, dy, 4, 0, 0), 1.0);
    DemWindow win = CentredSquareWindow(10, 20, 400, 200, 1.0, 2.0); // pixels twice as tall
    EXPECT_DOUBLE_EQ(win.ground, 400);
    EXPECT_DOUBLE_EQ(win.w, 400);
    EXPECT_DOUBLE_EQ(win.h, 200);
    win = CentredSquareWindow(0, 0, 300, 100, 1.0, 1.0);
    EXPECT_DOUBLE_EQ(win.x, 100);
    EXPECT_DOUBLE_EQ(win.w, 100);
}

TEST(Dem2mapArithmetic, CommandLine) {
    auto parse = [](std::vector<const char *> args, DemOptions *o) {
        args.insert(args.begin(), "dem2map");
        char err[512];
        return ParseDemArgs(static_cast<int>(args.size()), const_cast<char **>(args.data()), o, err,
                            sizeof err);
    };
    DemOptions o;
    ASSERT_EQ(parse({"in.hgt", "--side", "1024", "out.bmp", "--region", "1", "2", "30", "40",
                     "--exaggerate", "1.5"},
                    &o),
              0);
    EXPECT_STREQ(o.output, "out.bmp");
    EXPECT_EQ(o.side, 1024);
    EXPECT_EQ(o.regionW, 30);
    EXPECT_DOUBLE_EQ(o.exaggerate, 1.5);
    EXPECT_EQ(o.maxSide, DemMaxSide);
    EXPECT_EQ(o.depth, 8);
    ASSERT_EQ(parse({"in", "out", "--max-side", "1024"}, &o), 0);
    EXPECT_EQ(o.maxSide, 1024);
    EXPECT_EQ(o.depth, 8); // any name but .png: a BMP, as ever
    ASSERT_EQ(parse({"in", "OUT.PNG"}, &o), 0);
    EXPECT_EQ(o.depth, 16);
    for (auto bad : std::vector<std::vector<const char *>>{
             {"in"},
             {"in", "out", "--side", "0"},
             {"in", "out", "--side", "4097"},
             {"in", "out", "--max-side", "0"},
             {"in", "out", "--scale", "big"},
             {"in", "out", "--region", "0", "0", "0", "9"},
             {"in", "out", "--region", "0", "0", "1", "9"},
             {"in", "out", "--region", "0", "0", "9"},
             {"in", "out", "--exaggerate", "-1"},
             {"in", "out", "--scale", "fit", "--exaggerate", "2"},
             {"in", "out", "--width", "nan"},
             {"in", "out", "--colour"},
             {"in", "out", "extra"},
             {"/vsistdin/", "out"},
             {"/vsicurl/http://127.0.0.1:9/a.tif", "out"}}) {
        EXPECT_EQ(parse(bad, &o), -1) << bad.back();
    }
}

TEST(Dem2mapArithmetic, SizesFromAHeaderAndPrintedNames) {
    // A header claiming 2147480000 columns: the working copy's factor is
    // worked out without overflow, and the region is over the cap.
    EXPECT_EQ(WorkShrinkFactor(2147480000LL, 1, 8192), 262144);
    EXPECT_EQ(WorkShrinkFactor(8192, 100, 8192), 1);
    EXPECT_EQ(WorkShrinkFactor(8193, 100, 8192), 2);
    EXPECT_EQ(ExceedsSampleCap(2147480000LL, 2147480000LL), 1);
    EXPECT_EQ(ExceedsSampleCap(100000, 100000), 1);
    EXPECT_EQ(ExceedsSampleCap(16384, 16384), 0);
    EXPECT_EQ(ExceedsSampleCap(16384, 16385), 1);
    EXPECT_EQ(ExceedsSampleCap(3601, 3601), 0);
    // ESC, OSC's BEL, DEL and the backslash itself are written as \xHH.
    EXPECT_EQ(EscapeForTerminal("\x1b]0;owned\x07 UTM\x7f a\\b"),
              "\\x1b]0;owned\\x07 UTM\\x7f a\\x5cb");
    EXPECT_EQ(EscapeForTerminal("N46E007.hgt \xc3\xa9"), "N46E007.hgt \xc3\xa9");
    EXPECT_EQ(EscapeForTerminal(nullptr), "");
    // C1 controls, raw (a CSI to a terminal that reads Latin-1) or in UTF-8,
    // and broken sequences; a character of four bytes stays.
    EXPECT_EQ(EscapeForTerminal("a\x9b"
                                "31m \xc2\x9b"
                                "1m \xe2\x82 \xf0\x9f\x97\xbb"),
              "a\\x9b31m \\xc2\\x9b1m \\xe2\\x82 \xf0\x9f\x97\xbb");
}

TEST(Dem2map, UtmConeAtTrueScale) {
    Scratch s;
    WriteUtm(s / "cone15.tif", "GTiff", 15000, Cone);
    WriteUtm(s / "cone30.tif", "GTiff", 30000, Cone);
    DemResult r;
    ASSERT_EQ(Convert({(s / "cone15.tif").c_str()}, &r), 0);
    EXPECT_EQ(r.side, 300);
    EXPECT_NEAR(r.groundMetres, 15000, 15);
    EXPECT_NEAR(r.lowest, 500, 0.5);
    EXPECT_NEAR(r.highest, 1500, 0.5);
    EXPECT_EQ(MaxStep(r), 232);
    EXPECT_EQ(At(r, 0, 0), 0);
    EXPECT_NEAR(r.plan.exaggeration, 1.0, 1e-9);
    ExpectRoundCone(r);
    // Shrinking averages: the middle of a 3 x 3 map is the mean of the
    // middle 5 km square of ground.
    ASSERT_EQ(Convert({(s / "cone15.tif").c_str(), "--side", "3"}, &r), 0);
    double sum = 0;
    for (double y = -2475; y < 2500; y += 50) {
        for (double x = -2475; x < 2500; x += 50) {
            sum += Cone(x, y);
        }
    }
    EXPECT_NEAR(r.highest, sum / (100 * 100), 2.0);
    ASSERT_EQ(Convert({(s / "cone30.tif").c_str(), "--side", "256"}, &r), 0);
    EXPECT_EQ(MaxStep(r), 116);
    ASSERT_EQ(Convert({(s / "cone30.tif").c_str(), "--side", "256", "--exaggerate", "2"}, &r), 0);
    EXPECT_EQ(MaxStep(r), 232);
    EXPECT_NEAR(r.plan.exaggeration, 2.0, 1e-9);
    // Three times the true scale needs more than 255 steps: compressed.
    ASSERT_EQ(Convert({(s / "cone15.tif").c_str(), "--exaggerate", "3"}, &r), 0);
    EXPECT_EQ(MaxStep(r), 255);
    EXPECT_EQ(r.plan.compressed, 1);
    EXPECT_GT(r.plan.exaggeration, 1.0);
    EXPECT_LT(r.plan.exaggeration, 3.0);
    // An ASCII grid (with its .prj) is read the same way.
    WriteUtm(s / "cone30.asc", "AAIGrid", 30000, Cone);
    ASSERT_EQ(Convert({(s / "cone30.asc").c_str(), "--side", "256"}, &r), 0);
    EXPECT_EQ(MaxStep(r), 116);
}

TEST(Dem2map, RegionPicksItsOwnSquare) {
    Scratch s;
    // The cone in the north-west quarter of 30 km of ground.
    WriteUtm(s / "quarter.tif", "GTiff", 30000,
             [](double x, double y) { return Cone(x + 7500, y - 7500); });
    DemResult r;
    ASSERT_EQ(Convert({(s / "quarter.tif").c_str(), "--region", "0", "0", "300", "300"}, &r), 0);
    EXPECT_EQ(r.side, 300);
    EXPECT_EQ(MaxStep(r), 232);
    EXPECT_EQ(At(r, 150, 150), 232); // the cone is in the middle of the region
    ExpectRoundCone(r);
    // A cap on the default side shrinks the same square; --side still wins.
    ASSERT_EQ(Convert({(s / "quarter.tif").c_str(), "--region", "0", "0", "300", "300",
                       "--max-side", "100"},
                      &r),
              0);
    EXPECT_EQ(r.side, 100);
    EXPECT_GT(At(r, 50, 50), 200);
    ASSERT_EQ(Convert({(s / "quarter.tif").c_str(), "--region", "0", "0", "300", "300",
                       "--max-side", "100", "--side", "120"},
                      &r),
              0);
    EXPECT_EQ(r.side, 120);
}

TEST(Dem2map, GeographicConeAt60NorthIsRound) {
    Scratch s;
    // 1.5 m of arc a pixel both ways: on the ground half as wide as tall.
    const double step = 0.00045, lat0 = 60.0, lon0 = 10.0;
    const double gt[6] = {lon0 - 350 * step, step, 0, lat0 + 150 * step, 0, -step};
    WriteRaster(s / "cone.tif", "GTiff", 700, 300, GDT_Float32, gt, "EPSG:4326", [&](int c, int r) {
        const double lon = gt[0] + (c + 0.5) * step, lat = gt[3] - (r + 0.5) * step;
        const double x = (lon - lon0) * 111412.0 * std::cos(lat * M_PI / 180.0);
        const double y = (lat - lat0) * 111412.0;
        // A slope up to the north and the east shows the map's orientation.
        return Cone(x, y) + 0.002 * (x + y);
    });
    DemResult r;
    ASSERT_EQ(Convert({(s / "cone.tif").c_str(), "--side", "300"}, &r), 0);
    EXPECT_NEAR(r.groundMetres, 300 * step * 111412.0, 60);
    EXPECT_NEAR(r.squareRows, 300, 1);
    EXPECT_NEAR(r.squareCols, 600, 3);
    EXPECT_NEAR(r.highest - r.lowest, 1030, 2); // the cone and 30 m of slope
    EXPECT_NEAR(MaxStep(r), 239, 1);
    ExpectRoundCone(r);
    EXPECT_GT(At(r, 0, 0), At(r, 0, 299));     // north is up
    EXPECT_GT(At(r, 299, 299), At(r, 0, 299)); // east to the right

    // The file the viewer reads: 8 bits, square, the same steps each time.
    ASSERT_EQ(system(("'" VORN_DEM2MAP_BIN "' " + s / "cone.tif" + " " + s / "a.bmp" +
                      " --side 300 >/dev/null && '" VORN_DEM2MAP_BIN "' " + s / "cone.tif" + " " +
                      s / "b.bmp" + " --side 300 >/dev/null")
                         .c_str()),
              0);
    EXPECT_EQ(ReadFile(s / "a.bmp"), ReadFile(s / "b.bmp"));
    SDL_Surface *map = IMG_Load((s / "a.bmp").c_str());
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->format->BitsPerPixel, 8);
    ASSERT_EQ(map->w, 300);
    ASSERT_EQ(map->h, 300);
    for (int row = 0; row < 300; row += 37) {
        EXPECT_EQ(static_cast<Uint8 *>(map->pixels)[row * map->pitch + 150], At(r, 150, row));
    }
    SDL_FreeSurface(map);
}

TEST(Dem2map, SrtmVoidsAreFilledFromTheirSurroundings) {
    Scratch s;
    // A 3-second SRTM tile: a plane rising east and south, with a block of voids.
    const double gt[6] = {7 - 1.0 / 2400, 1.0 / 1200, 0, 47 + 1.0 / 2400, 0, -1.0 / 1200};
    const double noData = -32768;
    auto plane = [](int c, int r) { return 1000.0 + 2.0 * c + r; };
    WriteRaster(
        s / "N46E007.hgt", "SRTMHGT", 1201, 1201, GDT_Int16, gt, "EPSG:4326",
        [&](int c, int r) {
            return (c >= 560 && c < 640 && r >= 560 && r < 640) ? noData : plane(c, r);
        },
        &noData);
    DemResult r;
    ASSERT_EQ(Convert({(s / "N46E007.hgt").c_str(), "--side", "256"}, &r), 0);
    EXPECT_EQ(r.voids, 80 * 80);
    EXPECT_GT(r.lowest, 1000); // the voids are not at the bottom
    // The void block's part of the map against the ring just outside it.
    const double colScale = 256.0 / 1201.0, rowScale = 256.0 / r.squareRows;
    auto mapCol = [&](int c) { return static_cast<int>(128 + (c - 600) * colScale); };
    auto mapRow = [&](int row) { return static_cast<int>(128 + (row - 600) * rowScale); };
    int inLow = 255, inHigh = 0, ringLow = 255, ringHigh = 0;
    for (int row = mapRow(545); row <= mapRow(655); ++row) {
        for (int c = mapCol(545); c <= mapCol(655); ++c) {
            const bool inside =
                row > mapRow(565) && row < mapRow(635) && c > mapCol(565) && c < mapCol(635);
            const bool ring =
                row < mapRow(555) || row > mapRow(645) || c < mapCol(555) || c > mapCol(645);
            int &low = inside ? inLow : ringLow, &high = inside ? inHigh : ringHigh;
            if (inside || ring) {
                low = std::min(low, At(r, c, row));
                high = std::max(high, At(r, c, row));
            }
        }
    }
    EXPECT_GE(inLow, ringLow);
    EXPECT_LE(inHigh, ringHigh);
    EXPECT_GT(inHigh, inLow); // the fill follows the slope, not one flat value
}

TEST(Dem2map, PngWithoutGeoreferencing) {
    Scratch s;
    WriteRaster(s / "cone.png", "PNG", 300, 200, GDT_UInt16, nullptr, nullptr,
                [](int c, int r) { return Cone((c - 149.5) * 50, (99.5 - r) * 50); });
    DemResult r;
    ASSERT_EQ(Convert({(s / "cone.png").c_str()}, &r), 0);
    EXPECT_EQ(r.side, 200); // the centred square of 200 x 200 pixels
    EXPECT_EQ(r.fit, 1);
    EXPECT_EQ(MaxStep(r), 255);
    EXPECT_LT(r.plan.exaggeration, 0.0);
    ExpectRoundCone(r);
    // 300 pixels across are 15 km: the square is 10 km, true scale.
    ASSERT_EQ(Convert({(s / "cone.png").c_str(), "--width", "15000"}, &r), 0);
    EXPECT_NEAR(r.groundMetres, 10000, 1e-6);
    EXPECT_EQ(MaxStep(r), 255); // 348 steps of relief, compressed
    EXPECT_NEAR(r.plan.exaggeration, 255 * 4.313726 * 10000 / 15000 / 1000, 0.01);
}

int RunTool(const Scratch &s, const std::string &args) {
    return RunDemTool(VORN_DEM2MAP_BIN, s, args);
}

// A map file read back with GDAL: its side and its levels, row 0 first.
struct MapFile {
    int side = 0;
    std::vector<uint16_t> levels;
    long used = 0;
    int lowest = 0, highest = 0;
};

MapFile ReadMapFile(const std::string &path) {
    MapFile m;
    GDALDatasetH d = GDALOpen(path.c_str(), GA_ReadOnly);
    EXPECT_NE(d, nullptr) << path;
    if (!d) {
        return m;
    }
    m.side = GDALGetRasterXSize(d);
    EXPECT_EQ(GDALGetRasterYSize(d), m.side);
    m.levels.resize(static_cast<size_t>(m.side) * m.side);
    EXPECT_EQ(GDALRasterIO(GDALGetRasterBand(d, 1), GF_Read, 0, 0, m.side, m.side, m.levels.data(),
                           m.side, m.side, GDT_UInt16, 0, 0),
              CE_None);
    GDALClose(d);
    m.used = CountLevelsUsed(m.levels.data(), m.levels.size());
    m.lowest = *std::min_element(m.levels.begin(), m.levels.end());
    m.highest = *std::max_element(m.levels.begin(), m.levels.end());
    return m;
}

// 64-bit FNV-1a of a file's bytes.
uint64_t Fnv1a(const std::string &bytes) {
    uint64_t h = 14695981039346656037ull;
    for (unsigned char c : bytes) {
        h = (h ^ c) * 1099511628211ull;
    }
    return h;
}

TEST(Dem2map, PngWriterTellsAFullDisk) {
    Scratch s;
    // A full disk is a failure with its reason, not a short map. (What it
    // writes is read back in SixteenBitsKeepTheReliefOfRealGround.)
    std::vector<uint16_t> big(size_t{512} * 512, 7);
    errno = 0;
    EXPECT_EQ(WriteGreyPng16("/dev/full", 512, big.data()), -1);
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_EQ(WriteGreyPng16((s / "n.png").c_str(), MaxPngSide + 1, big.data()), -1);
}

TEST(Dem2map, BmpOutputKeepsItsBytes) {
    Scratch s;
    // A grid without georeferencing at one map pixel a source pixel: the
    // bytes depend on the converter's own arithmetic and BMP alone. The hash
    // is that of the map the converter wrote before it wrote 16-bit maps.
    WriteRaster(s / "grid.tif", "GTiff", 64, 64, GDT_Float32, nullptr, nullptr, [](int c, int r) {
        return 100.0 + 150.0 * std::sin(c * 0.21) * std::cos(r * 0.17) + 0.37 * c + 0.011 * c * r;
    });
    ASSERT_EQ(RunTool(s, s / "grid.tif " + s / "grid.bmp --width 6400"), 0)
        << ReadFile(s / "err.txt");
    EXPECT_EQ(Fnv1a(ReadFile(s / "grid.bmp")), 0x2f2b945550ef305ull);
}

// Converts input to a.bmp and a.png with the built converter, with args.
void ConvertBoth(const Scratch &s, const std::string &input, const std::string &args, MapFile *bmp,
                 MapFile *png, std::string *bmpSummary, std::string *pngSummary) {
    ASSERT_EQ(RunTool(s, input + " " + s / "a.bmp " + args), 0) << ReadFile(s / "err.txt");
    *bmpSummary = ReadFile(s / "out.txt");
    ASSERT_EQ(RunTool(s, input + " " + s / "a.png " + args), 0) << ReadFile(s / "err.txt");
    *pngSummary = ReadFile(s / "out.txt");
    const std::string head = ReadFile(s / "a.png").substr(0, 26);
    ASSERT_EQ(head.size(), 26u);
    EXPECT_EQ(head[24], 16); // bit depth
    EXPECT_EQ(head[25], 0);  // grey, one channel
    *bmp = ReadMapFile(s / "a.bmp");
    *png = ReadMapFile(s / "a.png");
    ASSERT_EQ(bmp->side, png->side);
}

TEST(Dem2map, SixteenBitsKeepTheReliefOfRealGround) {
    Scratch s;
    GDALAllRegister();
    // 30 km of UTM at 30 m a pixel, 835 m of smooth hills and valleys.
    const double side = 30000.0, pixel = 30.0;
    const int n = static_cast<int>(side / pixel);
    const double gt[6] = {500000.0 - side / 2, pixel, 0, 5095000.0 + side / 2, 0, -pixel};
    WriteRaster(s / "hills.tif", "GTiff", n, n, GDT_Float32, gt, "EPSG:32632", [&](int c, int r) {
        const double x = (c + 0.5) * pixel - side / 2, y = side / 2 - (r + 0.5) * pixel;
        return 600.0 + 417.5 * std::sin(x / 4000.0) * std::cos(y / 5000.0);
    });
    MapFile bmp, png;
    std::string bmpText, pngText;
    ConvertBoth(s, s / "hills.tif", "--side 512", &bmp, &png, &bmpText, &pngText);
    // Each 8-bit step is the 16-bit level rounded to a step.
    for (size_t i = 0; i < bmp.levels.size(); ++i) {
        ASSERT_EQ(bmp.levels[i], (png.levels[i] + 128) / 257) << i;
    }
    EXPECT_GE(png.used, 10 * bmp.used);
    // The same relief in world units, within one 8-bit step.
    const double bmpRelief = (bmp.highest - bmp.lowest) * HeightStep;
    const double pngRelief = (png.highest - png.lowest) * HeightStep / LevelsPerStep16;
    EXPECT_NEAR(pngRelief, bmpRelief, HeightStep);
    EXPECT_NEAR(pngRelief, 835.0 * WorldExtent / side, 2 * HeightStep); // true scale
    const std::string used = "levels: " + std::to_string(png.used) + " used of 65536 (16-bit PNG)";
    EXPECT_NE(pngText.find(used), std::string::npos) << pngText;
    EXPECT_NE(bmpText.find("levels: " + std::to_string(bmp.used) + " used of 256 (8-bit BMP)"),
              std::string::npos)
        << bmpText;
    EXPECT_EQ(bmpText.find("flattened"), std::string::npos) << bmpText;

    // A low island: 10 m of relief over 100 km, at 200 m a pixel. True scale
    // makes it a third of an 8-bit step: flat in a BMP, not in a PNG.
    const double wide = 100000.0, coarse = 200.0;
    const int m = static_cast<int>(wide / coarse);
    const double igt[6] = {500000.0 - wide / 2, coarse, 0, 5095000.0 + wide / 2, 0, -coarse};
    WriteRaster(s / "island.tif", "GTiff", m, m, GDT_Float32, igt, "EPSG:32632", [&](int c, int r) {
        const double x = (c + 0.5) * coarse - wide / 2;
        const double y = wide / 2 - (r + 0.5) * coarse;
        return 10.0 * std::exp(-(x * x + y * y) / (2 * 15000.0 * 15000.0));
    });
    ConvertBoth(s, s / "island.tif", "--side 256", &bmp, &png, &bmpText, &pngText);
    EXPECT_EQ(bmp.used, 1);
    EXPECT_GE(png.used, 50);
    EXPECT_NE(bmpText.find("flattened: 8 bits keep only 1 level of this relief"), std::string::npos)
        << bmpText;
    EXPECT_EQ(pngText.find("flattened"), std::string::npos) << pngText;
    // The summary still ends with the files read.
    EXPECT_NE(pngText.find("\nread: " + s / "island.tif" + "\n"), std::string::npos) << pngText;
}

TEST(Dem2map, FailuresNameTheFileAndWriteNothing) {
    Scratch s;
    WriteUtm(s / "cone.tif", "GTiff", 15000, Cone);
    WriteRaster(s / "complex.tif", "GTiff", 8, 8, GDT_CFloat32, nullptr, nullptr,
                [](int, int) { return 1.0; });
    FILE *f = fopen((s / "text.txt").c_str(), "w");
    fputs("not elevations\n", f);
    fclose(f);
    f = fopen((s / "empty.vrt").c_str(), "w");
    fputs("<VRTDataset rasterXSize=\"10\" rasterYSize=\"10\"></VRTDataset>\n", f);
    fclose(f);
    const std::string tif = s / "cone.tif", out = s / "map.bmp";
    const struct {
        std::string args, named;
    } cases[] = {
        {s / "missing.tif " + out, "missing.tif"},
        {s / "text.txt " + out, "text.txt"},
        {s / "empty.vrt " + out, "empty.vrt"},
        {s / "complex.tif " + out, "complex.tif"},
        {tif + " " + out + " --region 200 0 200 200", "cone.tif"},
        {tif + " " + out + " --region 0 0 1 200", "--region"},
        {tif + " " + out + " --side 5000", "--side"},
        {tif + " " + out + " --width 100", "cone.tif"},
        {tif + " " + s / "no/such/dir/map.bmp", "map.bmp"},
        {tif + " " + s / "no/such/dir/map.png", "map.png"},
        {tif + " " + s.dir, s.dir},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(RunTool(s, c.args), 1) << c.args;
        const std::string err = ReadFile(s / "err.txt");
        EXPECT_NE(err.find(c.named), std::string::npos) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_EQ(ReadFile(s / "out.txt"), "");
        EXPECT_FALSE(std::filesystem::exists(out)) << c.args;
    }
    // A tiled 100000 x 100000 GeoTIFF of a few kilobytes is refused before
    // any of it is read, and the reason says what to do.
    GDALAllRegister();
    char **create = CSLSetNameValue(nullptr, "TILED", "YES");
    create = CSLSetNameValue(create, "SPARSE_OK", "TRUE");
    create = CSLSetNameValue(create, "COMPRESS", "DEFLATE");
    GDALDatasetH bomb = GDALCreate(GDALGetDriverByName("GTiff"), (s / "bomb.tif").c_str(), 100000,
                                   100000, 1, GDT_Int16, create);
    CSLDestroy(create);
    ASSERT_NE(bomb, nullptr);
    GDALClose(bomb);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(RunTool(s, s / "bomb.tif " + out), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20)); // hang guard
    EXPECT_NE(ReadFile(s / "err.txt").find("more than the converter reads"), std::string::npos)
        << ReadFile(s / "err.txt");
    EXPECT_FALSE(std::filesystem::exists(out));
    // A hand-made TIFF claiming 2147480000 x 2 pixels: refused by its size,
    // not by an overflow or a raw GDAL message.
    {
        std::string tiff("II*\0\x0c\0\0\0\0\0\0\0\x0a\0", 14);
        const unsigned short tags[10][2] = {{256, 4}, {257, 4}, {258, 3}, {259, 3}, {262, 3},
                                            {273, 4}, {277, 3}, {278, 4}, {279, 4}, {339, 3}};
        const unsigned values[10] = {2147480000u, 2, 16, 1, 1, 8, 1, 2, 4, 2};
        for (int i = 0; i < 10; ++i) {
            const unsigned count = 1;
            tiff.append(reinterpret_cast<const char *>(tags[i]), 4);
            tiff.append(reinterpret_cast<const char *>(&count), 4);
            tiff.append(reinterpret_cast<const char *>(&values[i]), 4);
        }
        tiff.append(4, '\0');
        FILE *wide = fopen((s / "wide.tif").c_str(), "wb");
        ASSERT_NE(wide, nullptr);
        fwrite(tiff.data(), 1, tiff.size(), wide);
        fclose(wide);
    }
    EXPECT_EQ(RunTool(s, s / "wide.tif " + out), 1);
    EXPECT_NE(ReadFile(s / "err.txt").find("2147480000 x 2 pixels are more than"),
              std::string::npos)
        << ReadFile(s / "err.txt");
    // A control character in the input's name is printed escaped.
    EXPECT_EQ(RunTool(s, "\"" + s / "a\x1b[2Jb.tif\" " + out), 1);
    EXPECT_NE(ReadFile(s / "err.txt").find("a\\x1b[2Jb.tif"), std::string::npos)
        << ReadFile(s / "err.txt");
    EXPECT_EQ(ReadFile(s / "err.txt").find('\x1b'), std::string::npos);

    // A map already there stays as it was when a conversion fails.
    ASSERT_EQ(RunTool(s, tif + " " + out + " --side 64"), 0);
    EXPECT_NE(ReadFile(s / "out.txt").find("exaggeration 1.00"), std::string::npos);
    const std::string before = ReadFile(out);
    EXPECT_EQ(RunTool(s, s / "text.txt " + out), 1);
    EXPECT_EQ(ReadFile(out), before);
    int files = 0;
    for (const auto &entry : std::filesystem::directory_iterator(s.dir)) {
        files += entry.path().string().find(".tmp-") != std::string::npos;
    }
    EXPECT_EQ(files, 0); // no temporary file left behind
}

} // namespace
