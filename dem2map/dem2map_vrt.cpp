#include "dem2map/dem2map_vrt.h"

#include <cpl_error.h>
#include <cpl_minixml.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <sys/stat.h>

namespace {

// A source name as the VRT gives it.
struct VrtSource {
    std::string name;
    bool relativeToVrt;
};

// GDAL takes element and attribute names in any case.
bool IsElement(const CPLXMLNode *node, const char *name) {
    return node->eType == CXT_Element && strcasecmp(node->pszValue, name) == 0;
}

bool Is(const char *value, const char *name) {
    return strcasecmp(value, name) == 0;
}

// Walks the tree below node: collects the sources and finds the first
// broken rule. Returns 0, or -1 with why set.
int Walk(const CPLXMLNode *node, std::vector<VrtSource> *sources, std::string *why) {
    for (const CPLXMLNode *child = node->psChild; child; child = child->psNext) {
        if (child->eType != CXT_Element) {
            continue;
        }
        const char *subClass = CPLGetXMLValue(child, "subClass", nullptr);
        if (IsElement(child, "VRTRasterBand") && subClass) {
            if (Is(subClass, "VRTRawRasterBand")) {
                *why = "its VRT has a raw band, which would take another file's bytes as they "
                       "are, and the converter reads none: convert the data file itself, or a "
                       "GeoTIFF made of it";
                return -1;
            }
            if (!Is(subClass, "VRTDerivedRasterBand") && !Is(subClass, "VRTSourcedRasterBand") &&
                !Is(subClass, "VRTWarpedRasterBand")) {
                *why = std::string("its VRT has a band of the kind ") + subClass +
                       ", which the converter does not read: convert its sources themselves";
                return -1;
            }
        }
        if (IsElement(child, "PixelFunctionCode") || IsElement(child, "PixelFunctionLanguage")) {
            *why = std::string("its VRT holds code (") + child->pszValue +
                   "), which the converter never runs: make a GeoTIFF of the result first";
            return -1;
        }
        if (IsElement(child, "SourceFilename") || IsElement(child, "SourceDataset")) {
            const char *name = CPLGetXMLValue(child, nullptr, "");
            const char *relative = CPLGetXMLValue(child, "relativeToVRT", "0");
            sources->push_back({name, Is(relative, "1")});
            continue;
        }
        if (Walk(child, sources, why) != 0) {
            return -1;
        }
    }
    return 0;
}

// Whether a name could be anything but a plain relative path in GDAL's
// eyes: a virtual file system, a URL, a driver's prefix ("NAME:...") or
// a document given inline.
bool IsPlainRelativePath(const std::string &name) {
    if (name.empty() || name[0] == '/' || name.find('<') != std::string::npos) {
        return false;
    }
    const size_t colon = name.find(':');
    const size_t slash = name.find('/');
    return colon == std::string::npos || (slash != std::string::npos && slash < colon);
}

std::string Folder(const char *path) {
    const char *slash = strrchr(path, '/');
    return slash ? std::string(path, static_cast<size_t>(slash - path) + (slash == path)) : ".";
}

} // namespace

int LooksLikeVrt(const char *head, size_t size) {
    const std::string text(head, strnlen(head, size));
    return text.find("<VRTDataset") != std::string::npos;
}

int CheckVrtText(const char *text, const char *vrtPath, std::vector<std::string> *sources,
                 std::string *why) {
    sources->clear();
    // The parser's complaints are about the file: the refusal tells them.
    CPLPushErrorHandler(CPLQuietErrorHandler);
    CPLXMLNode *tree = CPLParseXMLString(text);
    CPLPopErrorHandler();
    if (!tree) {
        *why = "its VRT is not well-formed XML";
        return -1;
    }
    const CPLXMLNode *root = CPLGetXMLNode(tree, "=VRTDataset");
    std::vector<VrtSource> names;
    int rc = 0;
    if (!root) {
        *why = "its VRT has no VRTDataset at its root";
        rc = -1;
    } else {
        const char *subClass = CPLGetXMLValue(root, "subClass", nullptr);
        if (subClass && !Is(subClass, "VRTWarpedDataset")) {
            *why = std::string("its VRT is of the kind ") + subClass +
                   ", which the converter does not read: convert its sources themselves";
            rc = -1;
        } else {
            rc = Walk(root, &names, why);
        }
    }
    CPLDestroyXMLNode(tree);
    if (rc != 0) {
        return -1;
    }

    char folder[PATH_MAX];
    const std::string given = Folder(vrtPath);
    if (!realpath(given.c_str(), folder)) {
        *why = "its folder cannot be resolved";
        return -1;
    }
    const std::string inside = std::string(folder) + (strcmp(folder, "/") == 0 ? "" : "/");
    for (const VrtSource &source : names) {
        if (!source.relativeToVrt || !IsPlainRelativePath(source.name)) {
            *why = "its VRT names the source \"" + source.name +
                   "\", not a path relative to the VRT: the converter reads only files in the "
                   "VRT's folder, named relativeToVRT=\"1\"";
            return -1;
        }
        char real[PATH_MAX];
        struct stat st;
        const std::string path = given + "/" + source.name;
        if (!realpath(path.c_str(), real) || stat(real, &st) != 0 || !S_ISREG(st.st_mode)) {
            *why = "its VRT names the source \"" + source.name + "\", which is not a file";
            return -1;
        }
        if (strncmp(real, inside.c_str(), inside.size()) != 0) {
            *why = "its VRT names the source \"" + source.name +
                   "\", outside the VRT's folder: keep the sources in the folder of the .vrt";
            return -1;
        }
        sources->emplace_back(real);
    }
    return 0;
}
