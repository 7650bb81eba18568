// The conversion reads band 1 of the chosen region into memory, in metres
// with its voids marked, fills the voids from their surroundings, and then
// resamples the largest square of ground centred in the region onto the
// map's grid: through GDAL's warper into a transverse Mercator centred on
// the region when the data has a geographic or projected coordinate system
// (so the map's pixels are square on the ground, north up), or straight
// from the pixels otherwise. Last the elevations become height steps.
#include "dem2map/dem2map_convert.h"
#include "datagen/bmpfile.h"
#include "datagen/pngfile.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_string.h>
#include <cpl_vsi.h>
#include <gdal.h>
#include <gdal_alg.h>
#include <gdalwarper.h>
#include <ogr_srs_api.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Marks a void in the working copies; no elevation comes near it.
constexpr float VoidValue = -3.0e38f;
// The working copy of a region is at most this many pixels across; a
// larger region is read averaged down to it (still twice the largest map).
constexpr int MaxWorkSide = 8192;
// Points along each side of the region when its outline is projected.
constexpr int OutlinePointsPerSide = 256;
// Maps are warped at least this many pixels across.
constexpr int MinWarpSide = 16;

// Everything a conversion holds, released in one place.
struct DemWork {
    GDALDatasetH source = nullptr;
    GDALDatasetH region = nullptr; // the working copy of the region
    GDALDatasetH map = nullptr;    // the warped square
    OGRSpatialReferenceH sourceCrs = nullptr;
    OGRSpatialReferenceH geographic = nullptr;
    OGRSpatialReferenceH local = nullptr;
    OGRCoordinateTransformationH toLocal = nullptr;
    OGRCoordinateTransformationH toSource = nullptr;
    OGRCoordinateTransformationH toGeographic = nullptr;
};

void ReleaseDemWork(DemWork *w) {
    if (w->toLocal) {
        OCTDestroyCoordinateTransformation(w->toLocal);
    }
    if (w->toSource) {
        OCTDestroyCoordinateTransformation(w->toSource);
    }
    if (w->toGeographic) {
        OCTDestroyCoordinateTransformation(w->toGeographic);
    }
    if (w->local) {
        OSRDestroySpatialReference(w->local);
    }
    if (w->geographic) {
        OSRDestroySpatialReference(w->geographic);
    }
    if (w->sourceCrs) {
        OSRDestroySpatialReference(w->sourceCrs);
    }
    if (w->map) {
        GDALClose(w->map);
    }
    if (w->region) {
        GDALClose(w->region);
    }
    if (w->source) {
        GDALClose(w->source);
    }
    *w = DemWork();
}

void Fail(char *err, size_t errSize, const char *file, const char *fmt, ...)
    __attribute__((format(printf, 4, 5)));
void Fail(char *err, size_t errSize, const char *file, const char *fmt, ...) {
    char reason[512];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(reason, sizeof reason, fmt, ap);
    va_end(ap);
    // Names and GDAL's words come from the file: nothing in them reaches the
    // terminal raw.
    snprintf(err, errSize, "dem2map: %s: %s", EscapeForTerminal(file).c_str(),
             EscapeForTerminal(reason).c_str());
}

// GDAL's own word on the last failure, or the fallback.
const char *GdalReason(const char *fallback) {
    const char *msg = CPLGetLastErrorMsg();
    return msg && msg[0] ? msg : fallback;
}

// Metres in one unit of the band's elevations (by its unit name); 1 for
// metres and for no unit at all.
double MetresPerElevationUnit(const char *unit) {
    if (!unit) {
        return 1.0;
    }
    if (EQUAL(unit, "ft") || EQUAL(unit, "foot") || EQUAL(unit, "feet") ||
        EQUAL(unit, "international foot")) {
        return 0.3048;
    }
    if (EQUAL(unit, "us-ft") || EQUAL(unit, "ftUS") || EQUAL(unit, "US survey foot")) {
        return 1200.0 / 3937.0;
    }
    return 1.0;
}

// Counts the voids of a band of w x h Float32 values and fills them from
// data within DemVoidReach pixels; voids farther from any data get the
// lowest ground of the band. Returns 0; -1 with *share (of voids) when more
// than DemMaxVoidShare of the band is void, -2 when the fill failed.
int FillVoids(GDALRasterBandH band, int w, int h, long long *voidCount, long long *farCount,
              double *share) {
    std::vector<float> values(static_cast<size_t>(w) * h);
    if (GDALRasterIO(band, GF_Read, 0, 0, w, h, values.data(), w, h, GDT_Float32, 0, 0) !=
        CE_None) {
        return -2;
    }
    long long voids = 0;
    float lowest = HUGE_VALF;
    for (float v : values) {
        voids += v == VoidValue;
        lowest = v == VoidValue ? lowest : std::fmin(lowest, v);
    }
    *voidCount = voids;
    *share = static_cast<double>(voids) / static_cast<double>(values.size());
    if (voids == 0) {
        return 0;
    }
    if (*share > DemMaxVoidShare) {
        return -1;
    }
    GDALSetRasterNoDataValue(band, VoidValue);
    char **options = CSLSetNameValue(nullptr, "TEMP_FILE_DRIVER", "MEM");
    // The search reaches a bounded distance: its work grows with the voids,
    // not with the square of the grid.
    CPLErr rc = GDALFillNodata(band, nullptr, DemVoidReach, 0, 0, options, nullptr, nullptr);
    CSLDestroy(options);
    GDALDeleteRasterNoDataValue(band);
    if (rc != CE_None) {
        return -2;
    }
    if (GDALRasterIO(band, GF_Read, 0, 0, w, h, values.data(), w, h, GDT_Float32, 0, 0) !=
        CE_None) {
        return -2;
    }
    long long far = 0;
    for (float &v : values) {
        if (v == VoidValue) {
            v = lowest;
            ++far;
        }
    }
    *farCount = far;
    if (far > 0 && GDALRasterIO(band, GF_Write, 0, 0, w, h, values.data(), w, h, GDT_Float32, 0,
                                0) != CE_None) {
        return -2;
    }
    return 0;
}

// The finest overview of band whose part over a region of rw x rh of the
// band's w x h samples holds at most DemMaxSamplesRead samples; null when
// there is none. *samples: that part's samples.
GDALRasterBandH OverviewWithinCap(GDALRasterBandH band, long long rw, long long rh,
                                  long long *samples) {
    const double w = GDALGetRasterBandXSize(band), h = GDALGetRasterBandYSize(band);
    GDALRasterBandH best = nullptr;
    *samples = 0;
    for (int i = 0; i < GDALGetOverviewCount(band); ++i) {
        GDALRasterBandH ov = GDALGetOverview(band, i);
        if (!ov) {
            continue;
        }
        const double across = std::ceil(rw * (GDALGetRasterBandXSize(ov) / w));
        const double down = std::ceil(rh * (GDALGetRasterBandYSize(ov) / h));
        const double n = across * down;
        if (n >= 1.0 && n <= static_cast<double>(DemMaxSamplesRead) &&
            n > static_cast<double>(*samples)) {
            best = ov;
            *samples = static_cast<long long>(n);
        }
    }
    return best;
}

// Reads the region rx, ry, rw x rh of the source's band 1 into a MEM
// dataset of workW x workH Float32 metres, voids (nodata, masked or not
// finite) marked with VoidValue: averaged when smaller, from an overview or
// one sample in `factor` where the region is beyond the cap (the way that
// PlanRegionRead chose).
GDALDatasetH ReadRegion(GDALDatasetH source, int rx, int ry, int rw, int rh, int workW, int workH,
                        DemReadWay way) {
    GDALRasterBandH band = GDALGetRasterBand(source, 1);
    const size_t count = static_cast<size_t>(workW) * workH;
    // Read as floats and turned into metres in place: one copy of the region
    // besides the working dataset. The band's mask, read apart, tells voids
    // as the band's own type has them.
    std::vector<float> values(count);
    GDALRasterIOExtraArg extra;
    INIT_RASTERIO_EXTRA_ARG(extra);
    extra.eResampleAlg = (workW < rw || workH < rh) ? GRIORA_Average : GRIORA_NearestNeighbour;
    GDALRasterBandH from = band;
    int fx = rx, fy = ry, fw = rw, fh = rh;
    if (way == DemReadOverview) {
        long long samples = 0;
        from = OverviewWithinCap(band, rw, rh, &samples);
        if (!from) {
            return nullptr;
        }
        const double sx =
            static_cast<double>(GDALGetRasterBandXSize(from)) / GDALGetRasterBandXSize(band);
        const double sy =
            static_cast<double>(GDALGetRasterBandYSize(from)) / GDALGetRasterBandYSize(band);
        fx = static_cast<int>(std::floor(rx * sx));
        fy = static_cast<int>(std::floor(ry * sy));
        fw = std::max(
            1, std::min(GDALGetRasterBandXSize(from) - fx, static_cast<int>(std::ceil(rw * sx))));
        fh = std::max(
            1, std::min(GDALGetRasterBandYSize(from) - fy, static_cast<int>(std::ceil(rh * sy))));
    } else if (way == DemReadSampled) {
        extra.eResampleAlg = GRIORA_NearestNeighbour;
    }
    if (GDALRasterIOEx(from, GF_Read, fx, fy, fw, fh, values.data(), workW, workH, GDT_Float32, 0,
                       0, &extra) != CE_None) {
        return nullptr;
    }

    std::vector<unsigned char> valid;
    if (!(GDALGetMaskFlags(from) & GMF_ALL_VALID)) {
        valid.resize(count);
        GDALRasterIOExtraArg nearest;
        INIT_RASTERIO_EXTRA_ARG(nearest);
        if (GDALRasterIOEx(GDALGetMaskBand(from), GF_Read, fx, fy, fw, fh, valid.data(), workW,
                           workH, GDT_Byte, 0, 0, &nearest) != CE_None) {
            return nullptr;
        }
    }
    int hasNoData = 0;
    const double noData = GDALGetRasterNoDataValue(band, &hasNoData);
    int hasScale = 0, hasOffset = 0;
    double scale = GDALGetRasterScale(band, &hasScale);
    double offset = GDALGetRasterOffset(band, &hasOffset);
    if (!hasScale || !std::isfinite(scale) || scale == 0.0) {
        scale = 1.0;
    }
    if (!hasOffset || !std::isfinite(offset)) {
        offset = 0.0;
    }
    const double metres = MetresPerElevationUnit(GDALGetRasterUnitType(band));

    for (size_t i = 0; i < count; ++i) {
        const double raw = values[i];
        bool isVoid = !std::isfinite(raw) || (hasNoData && raw == noData) ||
                      (!valid.empty() && valid[i] == 0);
        const double m = (raw * scale + offset) * metres;
        // Elevations beyond a float (or near the void mark) are not ground.
        isVoid = isVoid || !(std::fabs(m) < 1.0e30);
        values[i] = isVoid ? VoidValue : static_cast<float>(m);
    }

    GDALDatasetH work =
        GDALCreate(GDALGetDriverByName("MEM"), "", workW, workH, 1, GDT_Float32, nullptr);
    if (!work) {
        return nullptr;
    }
    if (GDALRasterIO(GDALGetRasterBand(work, 1), GF_Write, 0, 0, workW, workH, values.data(), workW,
                     workH, GDT_Float32, 0, 0) != CE_None) {
        GDALClose(work);
        return nullptr;
    }
    return work;
}

// Source pixel (px, py) through the geotransform.
void PixelToGeo(const double gt[6], double px, double py, double *x, double *y) {
    *x = gt[0] + px * gt[1] + py * gt[2];
    *y = gt[3] + px * gt[4] + py * gt[5];
}

OGRSpatialReferenceH TraditionalOrder(OGRSpatialReferenceH srs) {
    if (srs) {
        OSRSetAxisMappingStrategy(srs, OAMS_TRADITIONAL_GIS_ORDER);
    }
    return srs;
}

// The warped route. Fills result's square, centre and map; the caller has
// read the region into work->region. Returns 0 or -1 (err set).
int WarpSquare(const DemOptions *opts, const double gt[6], int rx, int ry, int rw, int rh,
               int workW, int workH, DemWork *work, DemResult *result, std::vector<float> *grid,
               char *err, size_t errSize) {
    const char *file = opts->input;
    work->geographic = TraditionalOrder(OSRCloneGeogCS(work->sourceCrs));
    if (!work->geographic) {
        Fail(err, errSize, file, "its coordinate system has no geographic base");
        return -1;
    }
    work->toGeographic = OCTNewCoordinateTransformation(work->sourceCrs, work->geographic);
    double cx, cy;
    PixelToGeo(gt, rx + rw / 2.0, ry + rh / 2.0, &cx, &cy);
    double lon = cx, lat = cy;
    if (!work->toGeographic || !OCTTransform(work->toGeographic, 1, &lon, &lat, nullptr) ||
        !std::isfinite(lon) || !std::isfinite(lat)) {
        Fail(err, errSize, file, "the centre of the area has no latitude and longitude");
        return -1;
    }
    result->hasCentre = 1;
    result->centreLon = lon;
    result->centreLat = lat;

    // A transverse Mercator on the centre, on the source's own datum: metres
    // on the ground all over an area of a map's size.
    work->local = TraditionalOrder(OSRNewSpatialReference(nullptr));
    if (OSRCopyGeogCSFrom(work->local, work->geographic) != OGRERR_NONE ||
        OSRSetProjCS(work->local, "local transverse Mercator") != OGRERR_NONE ||
        OSRSetTM(work->local, lat, lon, 1.0, 0.0, 0.0) != OGRERR_NONE ||
        OSRSetLinearUnits(work->local, SRS_UL_METER, 1.0) != OGRERR_NONE) {
        Fail(err, errSize, file, "cannot set up a metric projection on its centre (%s)",
             GdalReason("PROJ failed"));
        return -1;
    }
    work->toLocal = OCTNewCoordinateTransformation(work->sourceCrs, work->local);
    work->toSource = OCTNewCoordinateTransformation(work->local, work->sourceCrs);
    if (!work->toLocal || !work->toSource) {
        Fail(err, errSize, file, "cannot project it onto metres (%s)", GdalReason("PROJ failed"));
        return -1;
    }

    // The region's outline in local metres, and the largest square on its
    // centre inside it.
    const int n = 4 * OutlinePointsPerSide;
    std::vector<double> xs(n), ys(n);
    std::vector<int> ok(n);
    for (int i = 0; i < OutlinePointsPerSide; ++i) {
        const double t = static_cast<double>(i) / OutlinePointsPerSide;
        const double px[4] = {rx + t * rw, static_cast<double>(rx + rw), rx + (1 - t) * rw,
                              static_cast<double>(rx)};
        const double py[4] = {static_cast<double>(ry), ry + t * rh, static_cast<double>(ry + rh),
                              ry + (1 - t) * rh};
        for (int s = 0; s < 4; ++s) {
            PixelToGeo(gt, px[s], py[s], &xs[s * OutlinePointsPerSide + i],
                       &ys[s * OutlinePointsPerSide + i]);
        }
    }
    OCTTransformEx(work->toLocal, n, xs.data(), ys.data(), nullptr, ok.data());
    int kept = 0;
    for (int i = 0; i < n; ++i) {
        if (ok[i] && std::isfinite(xs[i]) && std::isfinite(ys[i])) {
            xs[kept] = xs[i];
            ys[kept] = ys[i];
            ++kept;
        }
    }
    double ox = cx, oy = cy;
    const bool centreOk = OCTTransform(work->toLocal, 1, &ox, &oy, nullptr) != 0;
    const double half = centreOk ? LargestCentredSquare(xs.data(), ys.data(), kept, ox, oy) : 0.0;
    if (!(half > 0.0) || !std::isfinite(half)) {
        Fail(err, errSize, file, "its area cannot be laid flat as a square of ground");
        return -1;
    }
    result->groundMetres = 2.0 * half;

    // The square across its centre, in source pixels.
    double inv[6];
    if (!GDALInvGeoTransform(const_cast<double *>(gt), inv)) {
        Fail(err, errSize, file, "its geotransform cannot be inverted");
        return -1;
    }
    double ex[4] = {ox - half, ox + half, ox, ox};
    double ey[4] = {oy, oy, oy - half, oy + half};
    int eok[4] = {0, 0, 0, 0};
    OCTTransformEx(work->toSource, 4, ex, ey, nullptr, eok);
    double pcol[4], prow[4];
    for (int i = 0; i < 4; ++i) {
        PixelToGeo(inv, ex[i], ey[i], &pcol[i], &prow[i]);
    }
    result->squareCols = std::hypot(pcol[1] - pcol[0], prow[1] - prow[0]);
    result->squareRows = std::hypot(pcol[3] - pcol[2], prow[3] - prow[2]);
    if (!(eok[0] && eok[1] && eok[2] && eok[3]) || !std::isfinite(result->squareCols) ||
        !std::isfinite(result->squareRows)) {
        Fail(err, errSize, file, "its square of ground cannot be found in its pixels");
        return -1;
    }

    int side = opts->side;
    if (side == 0) {
        const double across = std::floor(std::fmax(result->squareCols, result->squareRows) + 0.5);
        side = static_cast<int>(std::fmin(std::fmax(across, 1.0), opts->maxSide));
    }
    result->side = side;
    // The warper leaves a map of a few pixels empty: a small map is warped
    // at a multiple of its side and averaged down.
    const int k = (MinWarpSide + side - 1) / side;
    const int warpSide = side * k;
    // Averaging only where every direction shrinks, from the working copy.
    const double workScale =
        std::fmin(static_cast<double>(workW) / rw, static_cast<double>(workH) / rh);
    const bool average = warpSide <= std::fmin(result->squareCols, result->squareRows) * workScale;
    result->resampling = average || k > 1 ? "average" : "cubic";

    // The working copy keeps the source's coordinates, scaled to its size.
    double workGt[6];
    PixelToGeo(gt, rx, ry, &workGt[0], &workGt[3]);
    workGt[1] = gt[1] * rw / workW;
    workGt[2] = gt[2] * rh / workH;
    workGt[4] = gt[4] * rw / workW;
    workGt[5] = gt[5] * rh / workH;
    GDALSetGeoTransform(work->region, workGt);
    GDALSetSpatialRef(work->region, work->sourceCrs);

    work->map =
        GDALCreate(GDALGetDriverByName("MEM"), "", warpSide, warpSide, 1, GDT_Float32, nullptr);
    if (!work->map) {
        Fail(err, errSize, file, "no memory for a %d x %d map", side, side);
        return -1;
    }
    const double pixel = 2.0 * half / warpSide;
    double mapGt[6] = {ox - half, pixel, 0.0, oy + half, 0.0, -pixel}; // north up
    GDALSetGeoTransform(work->map, mapGt);
    GDALSetSpatialRef(work->map, work->local);
    GDALRasterBandH mapBand = GDALGetRasterBand(work->map, 1);
    GDALSetRasterNoDataValue(mapBand, VoidValue);

    char *srcWkt = nullptr, *dstWkt = nullptr;
    OSRExportToWkt(work->sourceCrs, &srcWkt);
    OSRExportToWkt(work->local, &dstWkt);
    GDALWarpOptions *wo = GDALCreateWarpOptions();
    wo->papszWarpOptions = CSLSetNameValue(wo->papszWarpOptions, "INIT_DEST", "NO_DATA");
    wo->nBandCount = 1;
    wo->panSrcBands = static_cast<int *>(CPLMalloc(sizeof(int)));
    wo->panDstBands = static_cast<int *>(CPLMalloc(sizeof(int)));
    wo->panSrcBands[0] = 1;
    wo->panDstBands[0] = 1;
    wo->padfDstNoDataReal = static_cast<double *>(CPLMalloc(sizeof(double)));
    wo->padfDstNoDataReal[0] = VoidValue;
    CPLErr rc =
        GDALReprojectImage(work->region, srcWkt, work->map, dstWkt,
                           average ? GRA_Average : GRA_Cubic, 0.0, 0.125, nullptr, nullptr, wo);
    GDALDestroyWarpOptions(wo);
    CPLFree(srcWkt);
    CPLFree(dstWkt);
    if (rc != CE_None) {
        Fail(err, errSize, file, "reprojecting it failed (%s)", GdalReason("warper failed"));
        return -1;
    }
    // Map pixels on the very rim of the data may be left uncovered; they
    // are filled like voids.
    long long rim = 0, farRim = 0;
    double rimShare = 0.0;
    if (FillVoids(mapBand, warpSide, warpSide, &rim, &farRim, &rimShare) != 0) {
        Fail(err, errSize, file, "its square of ground holds no data");
        return -1;
    }
    // A map warped at its own side is read straight into the grid.
    std::vector<float> warped;
    grid->resize(static_cast<size_t>(side) * side);
    if (k > 1) {
        warped.resize(static_cast<size_t>(warpSide) * warpSide);
    }
    if (GDALRasterIO(mapBand, GF_Read, 0, 0, warpSide, warpSide,
                     k > 1 ? warped.data() : grid->data(), warpSide, warpSide, GDT_Float32, 0,
                     0) != CE_None) {
        Fail(err, errSize, file, "reading the warped map failed (%s)", GdalReason("GDAL failed"));
        return -1;
    }
    if (k > 1) {
        BoxAverage(warped.data(), warpSide, k, grid->data());
    }
    return 0;
}

// The route without a coordinate system: pixels of a known shape (from the
// geotransform, else square), of a known size only with --width or a local
// metric system. Returns 0 or -1 (err set).
int ResampleSquare(const DemOptions *opts, const double gt[6], int hasGt, double metresPerUnit,
                   int rx, int ry, int rw, int rh, int workW, int workH, DemWork *work,
                   DemResult *result, std::vector<float> *grid, char *err, size_t errSize) {
    double pw = 1.0, ph = 1.0;
    if (hasGt) {
        pw = std::hypot(gt[1], gt[4]);
        ph = std::hypot(gt[2], gt[5]);
        if (!(pw > 0.0) || !(ph > 0.0) || !std::isfinite(pw) || !std::isfinite(ph)) {
            pw = ph = 1.0;
        }
    }
    double pixelMetres = 0.0; // metres in one unit of pw / ph
    if (metresPerUnit > 0.0) {
        pixelMetres = metresPerUnit;
    } else if (opts->width > 0.0) {
        pixelMetres = opts->width / (result->sourceW * pw);
    }
    const DemWindow win = CentredSquareWindow(rx, ry, rw, rh, pw, ph);
    result->squareCols = win.w;
    result->squareRows = win.h;
    result->groundMetres = win.ground * pixelMetres;

    int side = opts->side;
    if (side == 0) {
        const double across = std::floor(std::fmax(win.w, win.h) + 0.5);
        side = static_cast<int>(std::fmin(std::fmax(across, 1.0), opts->maxSide));
    }
    result->side = side;
    const double workScale =
        std::fmin(static_cast<double>(workW) / rw, static_cast<double>(workH) / rh);
    const bool average = side <= std::fmin(win.w, win.h) * workScale;
    result->resampling = average ? "average" : "cubic";

    // The window in the working copy's pixels.
    const double sx = static_cast<double>(workW) / rw, sy = static_cast<double>(workH) / rh;
    const double wx = (win.x - rx) * sx, wy = (win.y - ry) * sy;
    const double ww = win.w * sx, wh = win.h * sy;
    GDALRasterIOExtraArg extra;
    INIT_RASTERIO_EXTRA_ARG(extra);
    extra.eResampleAlg = average ? GRIORA_Average : GRIORA_Cubic;
    extra.bFloatingPointWindowValidity = TRUE;
    extra.dfXOff = wx;
    extra.dfYOff = wy;
    extra.dfXSize = ww;
    extra.dfYSize = wh;
    const int x0 = static_cast<int>(std::floor(wx)), y0 = static_cast<int>(std::floor(wy));
    const int x1 = std::min(workW, static_cast<int>(std::ceil(wx + ww)));
    const int y1 = std::min(workH, static_cast<int>(std::ceil(wy + wh)));
    grid->resize(static_cast<size_t>(side) * side);
    if (GDALRasterIOEx(GDALGetRasterBand(work->region, 1), GF_Read, x0, y0, std::max(1, x1 - x0),
                       std::max(1, y1 - y0), grid->data(), side, side, GDT_Float32, 0, 0,
                       &extra) != CE_None) {
        Fail(err, errSize, opts->input, "resampling it failed (%s)", GdalReason("GDAL failed"));
        return -1;
    }
    // North up, west to east, for a geotransform that says which way is
    // which; an image's first row is its top.
    const bool flipRows = hasGt && gt[5] > 0.0 && gt[2] == 0.0 && gt[4] == 0.0;
    const bool flipCols = hasGt && gt[1] < 0.0 && gt[2] == 0.0 && gt[4] == 0.0;
    for (int r = 0; flipRows && r < side / 2; ++r) {
        std::swap_ranges(grid->begin() + static_cast<ptrdiff_t>(r) * side,
                         grid->begin() + static_cast<ptrdiff_t>(r + 1) * side,
                         grid->begin() + static_cast<ptrdiff_t>(side - 1 - r) * side);
    }
    for (int r = 0; flipCols && r < side; ++r) {
        std::reverse(grid->begin() + static_cast<ptrdiff_t>(r) * side,
                     grid->begin() + static_cast<ptrdiff_t>(r + 1) * side);
    }
    return 0;
}

// Every file GDAL reads for the dataset. A VRT lists its sources but not
// the files its sources read in turn (an EHdr's header, a world file), so
// each source is opened on its own to list those too.
static void ListFilesRead(GDALDatasetH dataset, bool isVrt, std::vector<std::string> *files) {
    char **listed = GDALGetFileList(dataset);
    for (char **f = listed; f && *f; ++f) {
        files->emplace_back(*f);
    }
    CSLDestroy(listed);
    const size_t sources = files->size();
    const std::string self = GDALGetDescription(dataset);
    for (size_t i = 0; isVrt && i < sources; ++i) {
        if ((*files)[i] == self) {
            continue;
        }
        GDALDatasetH source = GDALOpenEx((*files)[i].c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY,
                                         nullptr, nullptr, nullptr);
        if (!source) {
            continue; // the VRT itself reports a source it cannot read
        }
        char **own = GDALGetFileList(source);
        for (char **f = own; f && *f; ++f) {
            if (std::find(files->begin(), files->end(), *f) == files->end()) {
                files->emplace_back(*f);
            }
        }
        CSLDestroy(own);
        GDALClose(source);
    }
}

int Convert(const DemOptions *opts, DemWork *work, DemResult *result, char *err, size_t errSize) {
    const char *file = opts->input;
    struct stat st;
    if (stat(file, &st) != 0) {
        Fail(err, errSize, file, "no such file");
        return -1;
    }
    // A pipe or a device would block the open or never end.
    if (!S_ISREG(st.st_mode)) {
        Fail(err, errSize, file, "it is not a regular file");
        return -1;
    }
    CPLErrorReset();
    work->source = GDALOpenEx(file, GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr);
    if (!work->source) {
        Fail(err, errSize, file,
             "GDAL cannot open it as a raster of the formats the converter reads: GeoTIFF, "
             "ASCII grid, SRTM HGT, USGS DEM, ERDAS Imagine, EHdr, ENVI, netCDF, PNG, JPEG, GIF, "
             "BMP, PNM and VRT (%s)",
             GdalReason("unknown format"));
        return -1;
    }
    GDALDriverH driver = GDALGetDatasetDriver(work->source);
    result->driver = driver ? GDALGetDriverShortName(driver) : "";
    if (!opts->allowVrt && result->driver == "VRT") {
        Fail(err, errSize, file, "GDAL reads it as a VRT, but its sources were not checked");
        return -1;
    }
    ListFilesRead(work->source, result->driver == "VRT", &result->filesRead);
    if (GDALGetRasterCount(work->source) < 1) {
        Fail(err, errSize, file, "it has no raster band");
        return -1;
    }
    GDALRasterBandH band = GDALGetRasterBand(work->source, 1);
    const GDALDataType type = GDALGetRasterDataType(band);
    result->dataType = GDALGetDataTypeName(type) ? GDALGetDataTypeName(type) : "unknown";
    if (type == GDT_Unknown || GDALDataTypeIsComplex(type)) {
        Fail(err, errSize, file, "band 1 holds %s values, not elevations",
             result->dataType.c_str());
        return -1;
    }
    const int w = GDALGetRasterXSize(work->source), h = GDALGetRasterYSize(work->source);
    result->sourceW = w;
    result->sourceH = h;
    long long rx = 0, ry = 0, rw = w, rh = h;
    if (opts->hasRegion) {
        rx = opts->regionX;
        ry = opts->regionY;
        rw = opts->regionW;
        rh = opts->regionH;
        if (rx + rw > w || ry + rh > h) {
            Fail(err, errSize, file,
                 "--region %lld %lld %lld %lld reaches beyond its %d x %d pixels", rx, ry, rw, rh,
                 w, h);
            return -1;
        }
    }
    if (rw < DemMinRegionSide || rh < DemMinRegionSide) {
        Fail(err, errSize, file, "%lld x %lld pixels are too few: at least %d x %d are needed", rw,
             rh, DemMinRegionSide, DemMinRegionSide);
        return -1;
    }

    double gt[6] = {0, 1, 0, 0, 0, 1};
    const int hasGt = GDALGetGeoTransform(work->source, gt) == CE_None;
    OGRSpatialReferenceH crs = GDALGetSpatialRef(work->source);
    int warp = 0;
    double metresPerUnit = 0.0;
    if (crs && hasGt) {
        work->sourceCrs = TraditionalOrder(OSRClone(crs));
        const char *name = OSRGetName(work->sourceCrs);
        result->crs = name ? name : "unnamed";
        const char *code = OSRGetAuthorityCode(work->sourceCrs, nullptr);
        const char *authority = OSRGetAuthorityName(work->sourceCrs, nullptr);
        if (code && authority) {
            result->crs += std::string(" (") + authority + ":" + code + ")";
        }
        if (OSRIsGeographic(work->sourceCrs) || OSRIsProjected(work->sourceCrs)) {
            warp = 1;
        } else if (OSRIsLocal(work->sourceCrs)) {
            metresPerUnit = OSRGetLinearUnits(work->sourceCrs, nullptr);
        } else {
            Fail(err, errSize, file, "its coordinate system %s is neither geographic nor projected",
                 result->crs.c_str());
            return -1;
        }
    }
    const bool groundKnown = warp || metresPerUnit > 0.0;
    if (groundKnown && opts->width > 0.0) {
        Fail(err, errSize, file,
             "--width is for data without georeferencing; its ground size comes from %s",
             result->crs.c_str());
        return -1;
    }
    if (!groundKnown && opts->width == 0.0 &&
        (opts->scale == DemScaleTrue || opts->hasExaggerate)) {
        Fail(err, errSize, file,
             "its pixels have no known size, so it has no true scale: give --width METRES");
        return -1;
    }

    // A header may claim any size: the region is weighed before any of it
    // is read, in 64 bits, by the samples that reading it would decode.
    const long long factor = WorkShrinkFactor(rw, rh, MaxWorkSide);
    int blockW = 0, blockH = 0;
    GDALGetBlockSize(band, &blockW, &blockH);
    long long overviewSamples = 0;
    OverviewWithinCap(band, rw, rh, &overviewSamples);
    const DemReadWay way = PlanRegionRead(rx, ry, rw, rh, blockW, blockH, factor, overviewSamples);
    if (way == DemReadRefused && !ExceedsSampleCap(rw, rh)) {
        Fail(err, errSize, file,
             "reading its %lld x %lld pixels would decode blocks of %d x %d samples, more than "
             "the converter reads (at most %lld samples); make a tiled copy (gdal_translate -co "
             "TILED=YES)",
             rw, rh, blockW, blockH, DemMaxSamplesRead);
        return -1;
    }
    if (way == DemReadRefused) {
        Fail(err, errSize, file,
             "its %lld x %lld pixels are more than the converter reads, even one in %lld in each "
             "direction from blocks of %d x %d (at most %lld samples); make a smaller copy "
             "(gdal_translate -outsize) or give --region",
             rw, rh, factor, blockW, blockH, DemMaxSamplesRead);
        return -1;
    }
    const int workW = static_cast<int>(std::max(1LL, (rw + factor - 1) / factor));
    const int workH = static_cast<int>(std::max(1LL, (rh + factor - 1) / factor));
    CPLErrorReset();
    work->region = ReadRegion(work->source, static_cast<int>(rx), static_cast<int>(ry),
                              static_cast<int>(rw), static_cast<int>(rh), workW, workH, way);
    if (!work->region) {
        Fail(err, errSize, file, "reading its elevations failed (%s)",
             GdalReason("read error or not enough memory"));
        return -1;
    }
    double voidShare = 0.0;
    const int filled = FillVoids(GDALGetRasterBand(work->region, 1), workW, workH, &result->voids,
                                 &result->farVoids, &voidShare);
    if (filled == -1 && voidShare >= 1.0) {
        Fail(err, errSize, file, "every point of the area is void");
        return -1;
    }
    if (filled == -1) {
        // Rounded down: a little data never reads as 100 %.
        Fail(err, errSize, file,
             "%.1f %% of the area is void, more than the %.0f %% the converter fills; give "
             "--region over the part that holds data",
             std::floor(1000.0 * voidShare) / 10.0, 100.0 * DemMaxVoidShare);
        return -1;
    }
    if (filled != 0) {
        Fail(err, errSize, file, "filling its voids failed (%s)", GdalReason("GDAL failed"));
        return -1;
    }
    // Voids are told in source pixels, also when the region was read smaller.
    const double perWorkPixel = static_cast<double>(rw) * rh / (static_cast<double>(workW) * workH);
    result->voids = std::llround(static_cast<double>(result->voids) * perWorkPixel);
    result->farVoids = std::llround(static_cast<double>(result->farVoids) * perWorkPixel);
    result->readWay = way;

    std::vector<float> grid;
    int rc = warp ? WarpSquare(opts, gt, static_cast<int>(rx), static_cast<int>(ry),
                               static_cast<int>(rw), static_cast<int>(rh), workW, workH, work,
                               result, &grid, err, errSize)
                  : ResampleSquare(opts, gt, hasGt, metresPerUnit, static_cast<int>(rx),
                                   static_cast<int>(ry), static_cast<int>(rw), static_cast<int>(rh),
                                   workW, workH, work, result, &grid, err, errSize);
    if (rc != 0) {
        return -1;
    }

    double lowest = HUGE_VAL, highest = -HUGE_VAL;
    for (float v : grid) {
        lowest = std::fmin(lowest, v);
        highest = std::fmax(highest, v);
    }
    if (!std::isfinite(lowest) || !std::isfinite(highest)) {
        Fail(err, errSize, file, "its elevations are out of range");
        return -1;
    }
    result->lowest = lowest;
    result->highest = highest;
    result->fit = opts->scale == DemScaleFit || result->groundMetres <= 0.0;
    result->plan = PlanHeights(lowest, highest, result->groundMetres, result->fit,
                               opts->hasExaggerate ? opts->exaggerate : 1.0);
    result->depth = opts->depth;
    result->levels.resize(grid.size());
    ElevationsToLevels(grid.data(), grid.size(), lowest, result->plan.stepsPerMetre, opts->depth,
                       result->levels.data());
    result->levelsUsed = CountLevelsUsed(result->levels.data(), result->levels.size());
    return 0;
}

} // namespace

int ConvertDem(const DemOptions *opts, DemResult *result, char *err, size_t errSize) {
    *result = DemResult();
    // No side files (.aux.xml) next to the input, and GDAL's own messages
    // are turned into ours.
    CPLSetConfigOption("GDAL_PAM_ENABLED", "NO");
    CPLPushErrorHandler(CPLQuietErrorHandler);
    DemWork work;
    const int rc = Convert(opts, &work, result, err, errSize);
    ReleaseDemWork(&work);
    CPLPopErrorHandler();
    return rc;
}

// The levels the map uses (counted one by one), the metres of elevation in
// each, and a plain word when 8 bits flatten the relief.
static void PrintLevels(FILE *out, const DemResult *r) {
    const bool wide = r->depth == 16;
    fprintf(out, "levels: %ld used of %d (%s)", r->levelsUsed,
            wide ? MaxLevel16 + 1 : MaxHeightStep + 1, wide ? "16-bit PNG" : "8-bit BMP");
    const double metres = MetresPerLevel(r->plan, r->depth);
    if (metres > 0.0) {
        fprintf(out, ", %.3g m of elevation a level", metres);
    }
    fprintf(out, "\n");
    const double reliefSteps = (r->highest - r->lowest) * r->plan.stepsPerMetre;
    if (FlattenedByEightBits(r->depth, r->levelsUsed, reliefSteps)) {
        fprintf(out,
                "flattened: 8 bits keep only %ld level%s of this relief; a .png map would keep "
                "about %.0f\n",
                r->levelsUsed, r->levelsUsed == 1 ? "" : "s",
                std::floor(reliefSteps * LevelsPerStep16 + 0.5) + 1);
    }
}

void PrintDemSummary(FILE *out, const DemOptions *opts, const DemResult *r) {
    fprintf(out, "source: %s, %d x %d pixels, %s, %s\n", EscapeForTerminal(opts->input).c_str(),
            r->sourceW, r->sourceH, EscapeForTerminal(r->dataType.c_str()).c_str(),
            r->crs.empty() ? "no coordinate system" : EscapeForTerminal(r->crs.c_str()).c_str());
    char where[160] = "";
    if (opts->hasRegion) {
        snprintf(where, sizeof where, " of region %lld %lld %lld %lld", opts->regionX,
                 opts->regionY, opts->regionW, opts->regionH);
    }
    if (r->groundMetres > 0.0) {
        fprintf(out, "ground square: %.0f m across, %.1f x %.1f source pixels%s", r->groundMetres,
                r->squareCols, r->squareRows, where);
    } else {
        fprintf(out, "ground square: size unknown, %.1f x %.1f source pixels%s", r->squareCols,
                r->squareRows, where);
    }
    if (r->hasCentre) {
        fprintf(out, ", centred on %.5f %c %.5f %c", std::fabs(r->centreLat),
                r->centreLat < 0 ? 'S' : 'N', std::fabs(r->centreLon),
                r->centreLon < 0 ? 'W' : 'E');
    }
    fprintf(out, "\n");
    fprintf(out, "map: %d x %d (%s)", r->side, r->side, r->resampling);
    if (r->groundMetres > 0.0) {
        fprintf(out, ", %.2f m a pixel", r->groundMetres / r->side);
    }
    fprintf(out, "\n");
    fprintf(out, "elevation: %.1f to %.1f m\n", r->lowest, r->highest);
    fprintf(out, "voids filled: %lld\n", r->voids);
    if (r->farVoids > 0) {
        fprintf(out, "voids beyond %d pixels of data: %lld, set to the lowest ground\n",
                DemVoidReach, r->farVoids);
    }
    if (r->readWay == DemReadOverview) {
        fprintf(out, "decimated: read from an overview, the source being beyond %lld samples\n",
                DemMaxSamplesRead);
    } else if (r->readWay == DemReadSampled) {
        fprintf(out, "decimated: read by nearest samples, the source being beyond %lld samples\n",
                DemMaxSamplesRead);
    }
    const char *how = r->fit               ? "fit over all levels"
                      : r->plan.compressed ? "true scale, compressed to fit"
                                           : "true scale";
    fprintf(out, "heights: 0 to %d steps, %s\n", r->plan.highestStep, how);
    if (r->plan.exaggeration < 0.0) {
        fprintf(out, "exaggeration unknown (give --width METRES for true scale)\n");
    } else {
        fprintf(out, "exaggeration %.2f\n", r->plan.exaggeration);
    }
    PrintLevels(out, r);
    // What the cache of converted maps watches for changes.
    for (const std::string &f : r->filesRead) {
        fprintf(out, "read: %s\n", EscapeForTerminal(f.c_str()).c_str());
    }
}

int ReserveDemOutput(const char *output, std::string *tempPath, char *err, size_t errSize) {
    struct stat st;
    if (stat(output, &st) == 0 && S_ISDIR(st.st_mode)) {
        snprintf(err, errSize, "dem2map: %s: cannot write it: it is a directory",
                 EscapeForTerminal(output).c_str());
        return -1;
    }
    std::string pattern = std::string(output) + ".tmp-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd < 0) {
        snprintf(err, errSize, "dem2map: %s: cannot write it: %s",
                 EscapeForTerminal(output).c_str(), strerror(errno));
        return -1;
    }
    // The map gets the permissions of any new file, not mkstemp's private ones.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    close(fd);
    *tempPath = name.data();
    return 0;
}

int CommitDemOutput(const std::string &tempPath, const char *output, int side, int depth,
                    const uint16_t *levels, char *err, size_t errSize) {
    int rc;
    if (depth == 16) {
        rc = WriteGreyPng16(tempPath.c_str(), side, levels);
    } else {
        // Levels of 8 bits, one byte each.
        const std::vector<unsigned char> steps(levels, levels + static_cast<size_t>(side) * side);
        rc = WriteBmp(tempPath.c_str(), side, side, 1, steps.data());
    }
    // The writers tell a short write, at the close too (a full disk).
    if (rc != 0) {
        snprintf(err, errSize, "dem2map: %s: cannot write it: %s",
                 EscapeForTerminal(output).c_str(), strerror(errno));
        DropDemOutput(tempPath);
        return -1;
    }
    if (rename(tempPath.c_str(), output) != 0) {
        snprintf(err, errSize, "dem2map: %s: cannot write it: %s",
                 EscapeForTerminal(output).c_str(), strerror(errno));
        DropDemOutput(tempPath);
        return -1;
    }
    return 0;
}

void DropDemOutput(const std::string &tempPath) {
    if (!tempPath.empty()) {
        unlink(tempPath.c_str());
    }
}
