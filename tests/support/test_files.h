// Helpers that make the files a test feeds the viewer, and read the log back.
#pragma once

#include <SDL/SDL.h>
#include <cstdint>
#include <functional>
#include <string>

// A fresh scratch directory under the system's temporary directory.
std::string MakeScratchDir();

// Enters a fresh scratch directory holding an empty maps/ and links to the
// build directory's textures/ and fonts/, for a viewer start-up on maps
// that a test writes. buildDir receives the directory it left. Returns 0,
// or -1 when the directory could not be made.
int EnterViewerScratchDir(std::string *buildDir);

// Writes an 8-bit palettised BMP of w x h; value(c, r) gives each pixel. With
// greyPalette false, entry i has the colour (255 - i, i / 2, 7).
int WriteGreyBmp(const std::string &path, int w, int h,
                 const std::function<unsigned char(int, int)> &value, bool greyPalette = true);

// Writes a 24- or 32-bit BMP of w x h; rgb(c, r) gives 0xRRGGBB.
int WriteColourBmp(const std::string &path, int w, int h, int bitsPerPixel,
                   const std::function<unsigned int(int, int)> &rgb);

// Points DebugLog at a fresh temporary file and returns to reading it.
void CaptureLog();
std::string CapturedLog();

std::string ReadFile(const std::string &path);

// Takes a size x size map made in memory, value(c, r) giving each height, as
// the viewer's height map. Returns what the map check returned.
int UseTestMap(int size, const std::function<unsigned char(int, int)> &value);

// The same for a 16-bit map: value(c, r) gives each level.
int UseTestMap16(int size, const std::function<uint16_t(int, int)> &value);

// How a test PNG is laid out; libpng's own choices where not given.
struct PngLayout {
    bool interlaced = false;       // Adam7
    int filters = 0;               // a PNG_FILTER_* mask
    size_t chunkBytes = 0;         // image data in each IDAT chunk
    const char *comment = nullptr; // a tEXt chunk before the image data
};

// Writes a PNG of w x h with 16-bit samples: one channel (grey) or, with
// channels 3, an RGB one whose three samples are all value(c, r).
int WriteGrey16Png(const std::string &path, int w, int h,
                   const std::function<uint16_t(int, int)> &value, int channels = 1,
                   const PngLayout &layout = {});

// Frees the height map that a test took, and empties the record.
void ReleaseTestMap();
