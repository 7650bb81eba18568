// The world the viewer draws, named once for the viewer, its tools, the tests
// and the benchmarks.
#pragma once

// The map always spans this many world units along x and z, centred on the
// origin.
constexpr float WorldExtent = 15000.0f;
constexpr float WorldHalfExtent = WorldExtent / 2.0f;
// World units per height step; ground at step h is drawn at
// h * HeightStep - HalfHeight.
constexpr float HeightStep = 4.313726f;
constexpr float HalfHeight = 550.0f;
// Largest map side the viewer takes: grid coordinates travel as 16-bit
// values, and the chunks' lists are compiled as the view asks, so memory
// follows the view rather than the map.
constexpr int MaxMapSize = 8192;
// Highest height step a map holds.
constexpr int MaxHeightStep = 255;
// A 16-bit map has this many levels to each height step, up to MaxLevel16
// (65535 = 255 * 257): the same world heights in finer levels.
constexpr int LevelsPerStep16 = 257;
constexpr int MaxLevel16 = MaxHeightStep * LevelsPerStep16;
// Texture coordinates advance this much per grid cell.
constexpr double TexturePerCell = 0.15;

// The sky box: centred on the origin, this wide and long, this high.
constexpr float SkyBoxWidth = 16500.0f;
constexpr float SkyBoxHeight = 2200.0f;

// The help panel's rectangle in window pixels.
constexpr float HelpLeft = 150.0f;
constexpr float HelpRight = 700.0f;
constexpr float HelpBottom = 50.0f;
constexpr float HelpTop = 550.0f;

// Fixed display lists, 1 to FixedListCount; the font's glyph lists come
// after them.
constexpr unsigned int TerrainListId = 1;
constexpr unsigned int SkyListId = 2;
constexpr unsigned int HelpListId = 3;
constexpr unsigned int FixedListCount = 3;
static_assert(TerrainListId == 1 && SkyListId == 2 && HelpListId == FixedListCount,
              "the fixed lists are 1 to FixedListCount");
