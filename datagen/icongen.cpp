// icongen: writes the desktop icon, two ranges of hills under a sky, the
// nearer one lit from the left, on a tile with rounded corners: once as a
// scalable SVG picture and once as a 64 x 64 RGBA picture (a PAM file, which
// the build turns into PNG).
//
//   icongen OUT.svg OUT.pam
//
// The ridges are sums of a few sine waves, so the same program always writes
// the same files. On failure prints one line to stderr and exits with status 1.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include <vector>

namespace {

constexpr int Side = 64;
constexpr int Steps = 32;
constexpr double CornerRadius = 10.0;

struct Range {
    double base;
    double phase;
};
constexpr Range Far = {34.0, 1.0};
constexpr Range Near = {20.0, 4.0};

struct Colour {
    double r, g, b;
};

// Height of a ridge above the icon's bottom edge at x (0..Side).
double Ridge(double x, Range range) {
    double t = x / Side * 6.2831853;
    return range.base + 7.0 * sin(t * 1.3 + range.phase) + 4.0 * sin(t * 2.9 + 2.0 * range.phase) +
           2.0 * sin(t * 6.1 + 3.0 * range.phase);
}

Colour Mix(Colour a, Colour b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// The sky's colour at height y (0 at the top), as the SVG gradient has it.
Colour Sky(double y) {
    const Colour top = {0x3a, 0x6f, 0xb0}, mid = {0xa9, 0xc8, 0xe6}, low = {0xf0, 0xd9, 0xb0};
    double t = y / Side;
    return t < 0.7 ? Mix(top, mid, t / 0.7) : Mix(mid, low, (t - 0.7) / 0.3);
}

const Colour FarColour = {0x8f, 0xa3, 0xb8};
const Colour NearLit = {0x6f, 0x9a, 0x45}, NearShade = {0x35, 0x56, 0x1f};

// A closed polygon from the ridge line down to the bottom edge.
void WriteRange(FILE *out, Range range, const char *fill) {
    fprintf(out, "  <path fill=\"%s\" d=\"M0 %d", fill, Side);
    for (int i = 0; i <= Steps; ++i) {
        double x = static_cast<double>(Side) * i / Steps;
        fprintf(out, " L%.2f %.2f", x, Side - Ridge(x, range));
    }
    fprintf(out, " L%d %d Z\"/>\n", Side, Side);
}

int WriteSvg(FILE *out) {
    fprintf(out,
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" "
            "viewBox=\"0 0 %d %d\">\n"
            "  <defs>\n"
            "    <linearGradient id=\"sky\" x1=\"0\" y1=\"0\" x2=\"0\" y2=\"1\">\n"
            "      <stop offset=\"0\" stop-color=\"#3a6fb0\"/>\n"
            "      <stop offset=\"0.7\" stop-color=\"#a9c8e6\"/>\n"
            "      <stop offset=\"1\" stop-color=\"#f0d9b0\"/>\n"
            "    </linearGradient>\n"
            "    <linearGradient id=\"near\" x1=\"0\" y1=\"0\" x2=\"1\" y2=\"0\">\n"
            "      <stop offset=\"0\" stop-color=\"#6f9a45\"/>\n"
            "      <stop offset=\"1\" stop-color=\"#35561f\"/>\n"
            "    </linearGradient>\n"
            "    <clipPath id=\"tile\"><rect width=\"%d\" height=\"%d\" rx=\"%g\"/></clipPath>\n"
            "  </defs>\n"
            "  <g clip-path=\"url(#tile)\">\n"
            "  <rect width=\"%d\" height=\"%d\" fill=\"url(#sky)\"/>\n",
            Side, Side, Side, Side, Side, Side, CornerRadius, Side, Side);
    WriteRange(out, Far, "#8fa3b8");
    WriteRange(out, Near, "url(#near)");
    fprintf(out, "  </g>\n</svg>\n");
    return 0;
}

// Coverage (0..1) of the pixel centred on (x, y) by the rounded tile.
double TileCoverage(double x, double y) {
    double cx = fmin(fmax(x, CornerRadius), Side - CornerRadius);
    double cy = fmin(fmax(y, CornerRadius), Side - CornerRadius);
    double d = hypot(x - cx, y - cy);
    return fmin(fmax(CornerRadius - d + 0.5, 0.0), 1.0);
}

int WritePam(FILE *out) {
    std::vector<unsigned char> rgba(static_cast<size_t>(Side) * Side * 4);
    for (int row = 0; row < Side; ++row) {
        for (int col = 0; col < Side; ++col) {
            double x = col + 0.5, y = row + 0.5;
            double up = Side - y; // height above the bottom edge
            Colour c = Sky(y);
            // Each range covers the pixel by the part below its ridge line.
            c = Mix(c, FarColour, fmin(fmax(Ridge(x, Far) - up + 0.5, 0.0), 1.0));
            c = Mix(c, Mix(NearLit, NearShade, x / Side),
                    fmin(fmax(Ridge(x, Near) - up + 0.5, 0.0), 1.0));
            unsigned char *p = &rgba[(static_cast<size_t>(row) * Side + col) * 4];
            p[0] = static_cast<unsigned char>(lround(c.r));
            p[1] = static_cast<unsigned char>(lround(c.g));
            p[2] = static_cast<unsigned char>(lround(c.b));
            p[3] = static_cast<unsigned char>(lround(255.0 * TileCoverage(x, y)));
        }
    }
    fprintf(out, "P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n", Side,
            Side);
    return fwrite(rgba.data(), 1, rgba.size(), out) == rgba.size() ? 0 : -1;
}

int WriteFile(const char *path, int (*write)(FILE *)) {
    FILE *out = fopen(path, "wb");
    if (!out) {
        fprintf(stderr, "icongen: cannot create %s: %s\n", path, strerror(errno));
        return -1;
    }
    int rc = write(out);
    if (fclose(out) != 0 || rc != 0) {
        fprintf(stderr, "icongen: cannot write %s\n", path);
        return -1;
    }
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: icongen OUT.svg OUT.pam\n");
        return 1;
    }
    if (WriteFile(argv[1], WriteSvg) != 0 || WriteFile(argv[2], WritePam) != 0) {
        return 1;
    }
    return 0;
}
