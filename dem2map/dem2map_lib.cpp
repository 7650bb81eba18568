#include "dem2map/dem2map_lib.h"

#include "app/world.h"
#include "datagen/cli.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <vector>

namespace {

// A finite decimal number above 0 and at most max, nothing after it.
int ParsePositive(const char *text, double max, double *value) {
    if (!text || text[0] == '\0') {
        return -1;
    }
    errno = 0;
    char *end = nullptr;
    double v = strtod(text, &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v) || v <= 0.0 || v > max) {
        return -1;
    }
    *value = v;
    return 0;
}

// Chebyshev distance from the origin to the segment a-b: the convex,
// piecewise linear max(|x(t)|, |y(t)|) takes its least value at an end or
// where one of |x|, |y|, x - y, x + y changes sign.
double ChebyshevToSegment(double ax, double ay, double bx, double by) {
    const double dx = bx - ax, dy = by - ay;
    double ts[6] = {0.0, 1.0, -1.0, -1.0, -1.0, -1.0};
    if (dx != 0.0) {
        ts[2] = -ax / dx;
    }
    if (dy != 0.0) {
        ts[3] = -ay / dy;
    }
    if (dx - dy != 0.0) {
        ts[4] = -(ax - ay) / (dx - dy);
    }
    if (dx + dy != 0.0) {
        ts[5] = -(ax + ay) / (dx + dy);
    }
    double best = HUGE_VAL;
    for (double t : ts) {
        if (t < 0.0 || t > 1.0) {
            continue;
        }
        const double d = fmax(fabs(ax + t * dx), fabs(ay + t * dy));
        if (d < best) {
            best = d;
        }
    }
    return best;
}

} // namespace

int ParseDemArgs(int argc, char **argv, DemOptions *opts, char *err, size_t errSize) {
    *opts = DemOptions();
    const char *positional[2] = {nullptr, nullptr};
    int count = 0;
    if (argc < 2) {
        snprintf(err, errSize, "%s", DemUsage);
        return -1;
    }
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (strncmp(arg, "--", 2) != 0) {
            if (count == 2) {
                snprintf(err, errSize, "dem2map: too many arguments at '%s'", arg);
                return -1;
            }
            positional[count++] = arg;
            continue;
        }
        const int values = strcmp(arg, "--region") == 0 ? 4 : 1;
        const bool known = strcmp(arg, "--side") == 0 || strcmp(arg, "--max-side") == 0 ||
                           strcmp(arg, "--scale") == 0 || strcmp(arg, "--exaggerate") == 0 ||
                           strcmp(arg, "--region") == 0 || strcmp(arg, "--width") == 0;
        if (!known) {
            snprintf(err, errSize, "dem2map: unknown option '%s'", arg);
            return -1;
        }
        if (i + values >= argc) {
            snprintf(err, errSize, "dem2map: %s needs %s", arg,
                     values == 4 ? "XOFF YOFF WIDTH HEIGHT" : "a value");
            return -1;
        }
        const char *value = argv[i + 1];
        if (strcmp(arg, "--side") == 0 || strcmp(arg, "--max-side") == 0) {
            unsigned long long side = 0;
            if (ParseWholeNumber(value, DemMaxSide, &side) != 0 || side < 1) {
                snprintf(err, errSize, "dem2map: %s must be a whole number from 1 to %d, not '%s'",
                         arg, DemMaxSide, value);
                return -1;
            }
            *(strcmp(arg, "--side") == 0 ? &opts->side : &opts->maxSide) = static_cast<int>(side);
        } else if (strcmp(arg, "--scale") == 0) {
            if (strcmp(value, "true") == 0) {
                opts->scale = DemScaleTrue;
            } else if (strcmp(value, "fit") == 0) {
                opts->scale = DemScaleFit;
            } else {
                snprintf(err, errSize, "dem2map: --scale must be 'true' or 'fit', not '%s'", value);
                return -1;
            }
        } else if (strcmp(arg, "--exaggerate") == 0) {
            if (ParsePositive(value, DemMaxExaggeration, &opts->exaggerate) != 0) {
                snprintf(err, errSize,
                         "dem2map: --exaggerate must be a number above 0 and at most %g, not '%s'",
                         DemMaxExaggeration, value);
                return -1;
            }
            opts->hasExaggerate = 1;
        } else if (strcmp(arg, "--width") == 0) {
            if (ParsePositive(value, 1e9, &opts->width) != 0) {
                snprintf(err, errSize,
                         "dem2map: --width must be a number of metres above 0, not '%s'", value);
                return -1;
            }
        } else {
            unsigned long long v[4];
            for (int k = 0; k < 4; ++k) {
                if (ParseWholeNumber(argv[i + 1 + k], 1ULL << 31, &v[k]) != 0) {
                    snprintf(err, errSize,
                             "dem2map: --region takes four whole numbers of source pixels, not "
                             "'%s'",
                             argv[i + 1 + k]);
                    return -1;
                }
            }
            if (v[2] == 0 || v[3] == 0) {
                snprintf(err, errSize, "dem2map: --region %llu x %llu is empty", v[2], v[3]);
                return -1;
            }
            if (v[2] < static_cast<unsigned long long>(DemMinRegionSide) ||
                v[3] < static_cast<unsigned long long>(DemMinRegionSide)) {
                snprintf(err, errSize,
                         "dem2map: --region %llu x %llu is too small: at least %d x %d pixels",
                         v[2], v[3], DemMinRegionSide, DemMinRegionSide);
                return -1;
            }
            opts->hasRegion = 1;
            opts->regionX = static_cast<long long>(v[0]);
            opts->regionY = static_cast<long long>(v[1]);
            opts->regionW = static_cast<long long>(v[2]);
            opts->regionH = static_cast<long long>(v[3]);
        }
        i += values;
    }
    if (count < 2) {
        snprintf(err, errSize, "%s", DemUsage);
        return -1;
    }
    if (positional[0][0] == '\0' || positional[1][0] == '\0') {
        snprintf(err, errSize, "dem2map: empty %s path",
                 positional[0][0] == '\0' ? "input" : "output");
        return -1;
    }
    if (strncmp(positional[0], "/vsi", 4) == 0) {
        snprintf(err, errSize,
                 "dem2map: %s: the converter reads only local files, not GDAL's virtual file "
                 "systems; give the path of a file on disk",
                 EscapeForTerminal(positional[0]).c_str());
        return -1;
    }
    if (opts->hasExaggerate && opts->scale == DemScaleFit) {
        snprintf(err, errSize,
                 "dem2map: --exaggerate multiplies the true scale; it cannot go "
                 "with --scale fit");
        return -1;
    }
    opts->input = positional[0];
    opts->output = positional[1];
    opts->depth = DemOutputDepth(opts->output);
    return 0;
}

double LargestCentredSquare(const double *xs, const double *ys, int count, double cx, double cy) {
    if (!xs || !ys || count < 3) {
        return 0.0;
    }
    double best = HUGE_VAL;
    for (int i = 0; i < count; ++i) {
        const int j = (i + 1) % count;
        const double d = ChebyshevToSegment(xs[i] - cx, ys[i] - cy, xs[j] - cx, ys[j] - cy);
        if (d < best) {
            best = d;
        }
    }
    return best;
}

DemWindow CentredSquareWindow(double regionX, double regionY, double regionW, double regionH,
                              double pixelW, double pixelH) {
    DemWindow win;
    win.ground = fmin(regionW * pixelW, regionH * pixelH);
    win.w = fmin(regionW, win.ground / pixelW);
    win.h = fmin(regionH, win.ground / pixelH);
    win.x = regionX + (regionW - win.w) / 2.0;
    win.y = regionY + (regionH - win.h) / 2.0;
    return win;
}

DemHeightPlan PlanHeights(double lowest, double highest, double groundWidth, int fit,
                          double exaggerate) {
    DemHeightPlan plan;
    const double relief = highest > lowest ? highest - lowest : 0.0;
    // World units per metre of ground, when the ground's size is known.
    const double worldPerMetre = groundWidth > 0.0 ? WorldExtent / groundWidth : 0.0;
    plan.compressed = 0;
    if (fit || worldPerMetre == 0.0) {
        plan.stepsPerMetre = relief > 0.0 ? MaxHeightStep / relief : 0.0;
    } else {
        plan.stepsPerMetre = worldPerMetre / HeightStep * exaggerate;
        if (floor(relief * plan.stepsPerMetre + 0.5) > MaxHeightStep) {
            plan.stepsPerMetre = MaxHeightStep / relief;
            plan.compressed = 1;
        }
    }
    plan.exaggeration =
        worldPerMetre > 0.0 ? plan.stepsPerMetre * HeightStep / worldPerMetre : -1.0;
    if (relief == 0.0 && worldPerMetre > 0.0) {
        // Flat ground keeps any scale: report the one asked for.
        plan.exaggeration = fit ? 1.0 : exaggerate;
    }
    plan.highestStep =
        static_cast<int>(fmin(floor(relief * plan.stepsPerMetre + 0.5), MaxHeightStep));
    return plan;
}

int DemOutputDepth(const char *output) {
    const size_t length = output ? strlen(output) : 0;
    return length >= 4 && strcasecmp(output + length - 4, ".png") == 0 ? 16 : 8;
}

void ElevationsToLevels(const float *elev, size_t count, double lowest, double stepsPerMetre,
                        int depth, uint16_t *out) {
    // For 8 bits the step itself (times 1.0, exactly): the same bytes as
    // ever.
    const double perStep = depth == 16 ? LevelsPerStep16 : 1.0;
    const double top = depth == 16 ? MaxLevel16 : MaxHeightStep;
    for (size_t i = 0; i < count; ++i) {
        double s = floor((elev[i] - lowest) * stepsPerMetre * perStep + 0.5);
        if (!(s > 0.0)) {
            s = 0.0;
        }
        if (s > top) {
            s = top;
        }
        out[i] = static_cast<uint16_t>(s);
    }
}

long CountLevelsUsed(const uint16_t *levels, size_t count) {
    std::vector<unsigned char> seen(MaxLevel16 + 1, 0);
    long used = 0;
    for (size_t i = 0; i < count; ++i) {
        used += seen[levels[i]] == 0;
        seen[levels[i]] = 1;
    }
    return used;
}

double MetresPerLevel(const DemHeightPlan &plan, int depth) {
    const double levelsPerMetre = plan.stepsPerMetre * (depth == 16 ? LevelsPerStep16 : 1);
    return levelsPerMetre > 0.0 ? 1.0 / levelsPerMetre : 0.0;
}

int FlattenedByEightBits(int depth, long used, double reliefSteps) {
    // The 16-bit map would hold about reliefSteps * 257 + 1 levels.
    return depth == 8 && used < DemFewLevels &&
           floor(reliefSteps * LevelsPerStep16 + 0.5) + 1 >= DemFewLevels;
}

void BoxAverage(const float *in, int side, int k, float *out) {
    const int n = side / k;
    for (int r = 0; r < n; ++r) {
        for (int c = 0; c < n; ++c) {
            double sum = 0.0;
            for (int y = r * k; y < (r + 1) * k; ++y) {
                for (int x = c * k; x < (c + 1) * k; ++x) {
                    sum += in[static_cast<size_t>(y) * side + x];
                }
            }
            out[static_cast<size_t>(r) * n + c] = static_cast<float>(sum / (k * k));
        }
    }
}

long long WorkShrinkFactor(long long w, long long h, long long maxWorkSide) {
    const long long longest = w > h ? w : h;
    return longest / maxWorkSide + (longest % maxWorkSide != 0);
}

int ExceedsSampleCap(long long w, long long h) {
    return w > 0 && h > DemMaxSamplesRead / w;
}

long long DecimatedAxisCost(long long n, long long block, long long k) {
    if (n <= 0) {
        return 0;
    }
    // A block wider than the region is still decoded whole.
    if (block <= 0) {
        block = n;
    }
    if (k <= 1 || block >= k) {
        return (n + block - 1) / block * block;
    }
    // One sample every k falls in a block of its own.
    return (n + k - 1) / k * block;
}

long long AxisBlockCost(long long first, long long n, long long block) {
    if (n <= 0) {
        return 0;
    }
    if (block <= 0) {
        return n;
    }
    return ((first + n - 1) / block - first / block + 1) * block;
}

DemReadWay PlanRegionRead(long long x, long long y, long long w, long long h, long long blockW,
                          long long blockH, long long factor, long long overviewSamples) {
    if (!ExceedsSampleCap(AxisBlockCost(x, w, blockW), AxisBlockCost(y, h, blockH))) {
        return DemReadWhole;
    }
    if (!ExceedsSampleCap(w, h)) {
        return DemReadRefused; // a small region in blocks too large to decode
    }
    if (overviewSamples > 0 && overviewSamples <= DemMaxSamplesRead) {
        return DemReadOverview;
    }
    const long long across = DecimatedAxisCost(w, blockW, factor);
    const long long down = DecimatedAxisCost(h, blockH, factor);
    return ExceedsSampleCap(across, down) ? DemReadRefused : DemReadSampled;
}

int IsAllowedDemDriver(const char *shortName) {
    for (const char *name : DemAllowedDrivers) {
        if (shortName && strcmp(shortName, name) == 0) {
            return 1;
        }
    }
    return 0;
}

// Length of the well-formed UTF-8 sequence at p (2 to 4 bytes) that is not
// a C1 control (U+0080 to U+009F), or 0.
static int PrintableUtf8Length(const unsigned char *p) {
    int length;
    unsigned int code;
    if ((p[0] & 0xe0) == 0xc0) {
        length = 2;
        code = p[0] & 0x1fu;
    } else if ((p[0] & 0xf0) == 0xe0) {
        length = 3;
        code = p[0] & 0x0fu;
    } else if ((p[0] & 0xf8) == 0xf0) {
        length = 4;
        code = p[0] & 0x07u;
    } else {
        return 0;
    }
    for (int k = 1; k < length; ++k) {
        if ((p[k] & 0xc0) != 0x80) {
            return 0; // the end of the text included
        }
        code = (code << 6) | (p[k] & 0x3fu);
    }
    const unsigned int least[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < least[length] || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff) ||
        code <= 0x9f) {
        return 0;
    }
    return length;
}

std::string EscapeForTerminal(const char *text) {
    std::string out;
    const unsigned char *p = reinterpret_cast<const unsigned char *>(text ? text : "");
    while (*p) {
        const unsigned char c = *p;
        const int length = c >= 0x80 ? PrintableUtf8Length(p) : 1;
        if (c < 0x20 || c == 0x7f || c == '\\' || length == 0) {
            char hex[5];
            snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
            ++p;
        } else {
            out.append(reinterpret_cast<const char *>(p), static_cast<size_t>(length));
            p += length;
        }
    }
    return out;
}
