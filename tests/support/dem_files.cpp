#include "tests/support/dem_files.h"
#include "tests/support/test_files.h"

#include <cpl_error.h>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <ogr_srs_api.h>
#include <sys/wait.h>
#include <vector>

void WriteRaster(const std::string &path, const char *driver, int w, int h, GDALDataType type,
                 const double *gt, const char *crs, const std::function<double(int, int)> &value,
                 const double *noData) {
    GDALAllRegister();
    GDALDatasetH mem = GDALCreate(GDALGetDriverByName("MEM"), "", w, h, 1, type, nullptr);
    ASSERT_NE(mem, nullptr);
    if (gt) {
        GDALSetGeoTransform(mem, const_cast<double *>(gt));
    }
    if (crs) {
        OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
        OSRSetFromUserInput(srs, crs);
        GDALSetSpatialRef(mem, srs);
        OSRDestroySpatialReference(srs);
    }
    std::vector<double> px(static_cast<size_t>(w) * h);
    for (int r = 0; r < h; ++r) {
        for (int c = 0; c < w; ++c) {
            px[static_cast<size_t>(r) * w + c] = value(c, r);
        }
    }
    GDALRasterBandH band = GDALGetRasterBand(mem, 1);
    if (noData) {
        GDALSetRasterNoDataValue(band, *noData);
    }
    ASSERT_EQ(GDALRasterIO(band, GF_Write, 0, 0, w, h, px.data(), w, h, GDT_Float64, 0, 0),
              CE_None);
    GDALDatasetH out = GDALCreateCopy(GDALGetDriverByName(driver), path.c_str(), mem, FALSE,
                                      nullptr, nullptr, nullptr);
    ASSERT_NE(out, nullptr) << CPLGetLastErrorMsg();
    GDALClose(out);
    GDALClose(mem);
}

Scratch::Scratch() : dir(MakeScratchDir()) {}

Scratch::~Scratch() {
    std::filesystem::remove_all(dir);
}

std::string Scratch::operator/(const char *name) const {
    return dir + "/" + name;
}

int RunDemTool(const char *bin, const Scratch &s, const std::string &args) {
    const std::string cmd =
        std::string("'") + bin + "' " + args + " >" + s / "out.txt" + " 2>" + s / "err.txt";
    const int rc = system(cmd.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}
