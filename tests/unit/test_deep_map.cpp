// 16-bit maps: the same ground as an 8-bit map where their levels agree,
// finer ground where they do not, and the files they come in.
#include "app/world.h"
#include "camera/camera.h"
#include "decoder/image_decoder.h"
#include "decoder/png16.h"
#include "terrain/chunks.h"
#include "terrain/heightmap.h"
#include "terrain/mesh.h"
#include "terrain/terrain_list.h"
#include "tests/support/test_files.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <libdeflate.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Rough ground with every level from 0 to 255, and a summit near the centre
// so that the opening view is raised.
unsigned char Rough(int c, int r) {
    const double d = std::hypot(c - 32.0, r - 30.0);
    return static_cast<unsigned char>((c * 37 + r * 11 + (c * r) % 29) % 200 +
                                      std::max(0.0, 55.0 - 3.0 * d));
}

// Everything the terrain is drawn from: each grid point's vertex, each
// chunk's box and error, and the opening view.
struct Ground {
    std::vector<TerrainVertex> vertices;
    std::vector<Box3> boxes;
    std::vector<float> errors;
    Camera start;
};

Ground GroundOfLoadedMap() {
    Ground g;
    const int size = heightMap.size;
    for (int r = 0; r < size; ++r) {
        for (int c = 0; c < size; ++c) {
            Vec3f normal;
            TerrainNormal(static_cast<uint16_t>(c), static_cast<uint16_t>(r), &normal);
            TerrainVertex v;
            MakeTerrainVertex(static_cast<uint16_t>(c), static_cast<uint16_t>(r),
                              GetLevel(static_cast<uint16_t>(c), static_cast<uint16_t>(r)), &normal,
                              &v);
            g.vertices.push_back(v);
        }
    }
    EXPECT_EQ(LayOutTerrainChunks(8), 0);
    for (int i = 0; i < terrainChunks.count; ++i) {
        MeasureChunkError(&terrainChunks.chunks[i]);
        g.boxes.push_back(ChunkBox(&terrainChunks.chunks[i]));
        g.errors.push_back(terrainChunks.chunks[i].error);
    }
    FreeTerrainChunks();
    camera = StartCamera;
    PlaceCameraAtStartHeight();
    g.start = camera;
    return g;
}

bool SameBits(const void *a, const void *b, size_t n) {
    return memcmp(a, b, n) == 0;
}

TEST(DeepMap, LevelsTimes257AreTheEightBitMapVertexForVertex) {
    ASSERT_EQ(UseTestMap(65, Rough), 0);
    const Ground eight = GroundOfLoadedMap();
    ASSERT_EQ(
        UseTestMap16(65, [](int c, int r) { return static_cast<uint16_t>(257 * Rough(c, r)); }), 0);
    EXPECT_EQ(heightMap.maxLevel, 65535);
    const Ground deep = GroundOfLoadedMap();
    ReleaseTestMap();

    ASSERT_EQ(eight.vertices.size(), deep.vertices.size());
    for (size_t i = 0; i < eight.vertices.size(); ++i) {
        const TerrainVertex &a = eight.vertices[i], &b = deep.vertices[i];
        ASSERT_TRUE(SameBits(&a.position, &b.position, sizeof a.position)) << "point " << i;
        ASSERT_TRUE(SameBits(&a.normal, &b.normal, sizeof a.normal)) << "point " << i;
        ASSERT_TRUE(SameBits(&a.green, &b.green, sizeof a.green)) << "point " << i;
        ASSERT_TRUE(SameBits(&a.s, &b.s, sizeof a.s) && SameBits(&a.t, &b.t, sizeof a.t));
    }
    ASSERT_EQ(eight.boxes.size(), deep.boxes.size());
    for (size_t i = 0; i < eight.boxes.size(); ++i) {
        EXPECT_TRUE(SameBits(&eight.boxes[i], &deep.boxes[i], sizeof(Box3))) << "chunk " << i;
        // The error is measured in levels and scaled once: within a float's
        // rounding of the 8-bit one.
        EXPECT_NEAR(eight.errors[i], deep.errors[i], 1e-5 * (1.0 + eight.errors[i]))
            << "chunk " << i;
    }
    EXPECT_TRUE(SameBits(&eight.start, &deep.start, sizeof(Camera)));
    // The summit raised the opening view in both.
    EXPECT_GT(eight.start.eye.y, 20.0f);
}

TEST(DeepMap, LevelsFinerThanAnEightBitStepReachTheMesh) {
    // Flat ground, and the same ground with ridges 100 levels high: less
    // than half of one 8-bit step.
    const auto flat = [](int, int) { return static_cast<uint16_t>(30000); };
    const auto ridged = [](int c, int) {
        return static_cast<uint16_t>(c % 4 == 0 ? 30100 : 30000);
    };
    ASSERT_EQ(UseTestMap16(33, flat), 0);
    const Ground plain = GroundOfLoadedMap();
    ASSERT_EQ(UseTestMap16(33, ridged), 0);
    const Ground fine = GroundOfLoadedMap();
    ReleaseTestMap();

    const TerrainVertex &ridge = fine.vertices[16 * 33 + 8], &trough = fine.vertices[16 * 33 + 9];
    EXPECT_NEAR(ridge.position.y - trough.position.y, 100 * HeightStep / 257.0, 1e-3);
    EXPECT_EQ(plain.vertices[16 * 33 + 8].normal.x, 0.0f);
    // The slopes beside a ridge turn their normals aside, so they light
    // otherwise than flat ground does.
    EXPECT_GT(std::fabs(trough.normal.x), 1e-3f);
    // And a coarser level that skips the ridges knows its error.
    float worst = 0.0f;
    for (float e : fine.errors) {
        worst = std::max(worst, e);
    }
    EXPECT_NEAR(worst, 100 * HeightStep / 257.0, 1e-3);
}

class DeepMapFile : public ::testing::Test {
  protected:
    void SetUp() override {
        scratch = MakeScratchDir();
        ASSERT_FALSE(scratch.empty());
        ASSERT_EQ(chdir(scratch.c_str()), 0);
    }
    std::string scratch;
};

uint16_t Ramp(int c, int r) {
    return static_cast<uint16_t>(c * 4099 + r * 257 + 1);
}

TEST_F(DeepMapFile, AllSixteenBitsComeThroughTheDecoder) {
    for (bool interlaced : {false, true}) {
        ASSERT_EQ(WriteGrey16Png("deep.png", 17, 17, Ramp, 1, PngLayout{interlaced}), 0);
        DecodedMap map;
        ASSERT_EQ(LoadMapIsolated("deep.png", &map), 0) << SDL_GetError();
        ASSERT_NE(map.samples, nullptr);
        EXPECT_EQ(map.image, nullptr);
        EXPECT_EQ(map.width, 17);
        EXPECT_EQ(map.height, 17);
        for (int r = 0; r < 17; ++r) {
            for (int c = 0; c < 17; ++c) {
                ASSERT_EQ(map.samples[r * 17 + c], Ramp(c, r)) << c << "," << r;
            }
        }
        FreeDecodedMap(&map);
    }
    // An image asked for as an image stays what the media layer makes of it.
    SDL_Surface *image = LoadImageIsolated("deep.png");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->format->BitsPerPixel, 8);
    SDL_FreeSurface(image);
}

// A plain file inflated in one pass: its samples, or -1 when the pass
// leaves it to libpng.
int InflateWhole(std::string file, uint64_t maxBytes, std::vector<uint16_t> *samples) {
    unsigned char *bytes = reinterpret_cast<unsigned char *>(&file[0]);
    uint32_t w = 0, h = 0;
    if (ReadPlainGrey16PngHead(bytes, file.size(), maxBytes, &w, &h) != 0) {
        return -1;
    }
    std::vector<unsigned char> work(PlainGrey16PngWorkBytes(w, h));
    if (InflatePlainGrey16Png(bytes, file.size(), maxBytes, work.data(), work.size()) != 0) {
        return -1;
    }
    samples->resize(static_cast<size_t>(w) * h);
    memcpy(samples->data(), work.data(), samples->size() * 2);
    return 0;
}

// The one-pass inflation gives libpng's samples for every filter, for
// image data split over many chunks and behind an ancillary chunk, and
// leaves an interlaced file to libpng (the hostile files below too).
TEST_F(DeepMapFile, PlainPngsInflateInOnePassToLibpngsSamples) {
    const int filters[] = {PNG_FILTER_NONE, PNG_FILTER_SUB,   PNG_FILTER_UP,
                           PNG_FILTER_AVG,  PNG_FILTER_PAETH, PNG_ALL_FILTERS};
    const int sides[][2] = {{1, 1}, {3, 5}, {17, 17}, {300, 2}};
    for (int filter : filters) {
        for (const auto &side : sides) {
            PngLayout layout;
            layout.filters = filter;
            layout.chunkBytes = filter == PNG_ALL_FILTERS ? 7 : 0;
            layout.comment = "made by a test";
            ASSERT_EQ(WriteGrey16Png("plain.png", side[0], side[1], Ramp, 1, layout), 0);
            std::vector<uint16_t> samples;
            ASSERT_EQ(InflateWhole(ReadFile("plain.png"), 1 << 20, &samples), 0)
                << filter << " " << side[0] << "x" << side[1];
            ASSERT_EQ(samples.size(), static_cast<size_t>(side[0]) * side[1]);
            for (size_t i = 0; i < samples.size(); ++i) {
                ASSERT_EQ(samples[i],
                          Ramp(static_cast<int>(i % side[0]), static_cast<int>(i / side[0])))
                    << filter << " " << side[0] << "x" << side[1] << " sample " << i;
            }
        }
    }

    ASSERT_EQ(WriteGrey16Png("interlaced.png", 64, 64, Ramp, 1, PngLayout{true}), 0);
    std::vector<uint16_t> samples;
    EXPECT_EQ(InflateWhole(ReadFile("interlaced.png"), 1 << 20, &samples), -1);
}

TEST_F(DeepMapFile, HostileSixteenBitPngsAreRefusedAsMapsAre) {
    ASSERT_EQ(mkdir("maps", 0755), 0);
    ASSERT_EQ(WriteGrey16Png("maps/good.png", 64, 64, Ramp), 0);
    const std::string good = ReadFile("maps/good.png");
    const auto write = [](const char *path, const std::string &bytes) {
        FILE *f = fopen(path, "wb");
        ASSERT_NE(f, nullptr);
        fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
    };
    // Cut short inside its pixels, and with its pixels' checksum broken.
    write("maps/short.png", good.substr(0, good.size() / 2));
    std::string broken = good;
    broken[broken.size() - 20] ^= 0x5a;
    write("maps/broken.png", broken);
    // Neither is one the one-pass inflation takes, nor more samples than
    // allowed: libpng gives the reason.
    std::vector<uint16_t> samples;
    EXPECT_EQ(InflateWhole(good.substr(0, good.size() / 2), 1 << 20, &samples), -1);
    EXPECT_EQ(InflateWhole(good.substr(0, 40), 1 << 20, &samples), -1);
    EXPECT_EQ(InflateWhole(broken, 1 << 20, &samples), -1);
    EXPECT_EQ(InflateWhole(good, 64 * 64 * 2 - 1, &samples), -1);
    // A header that claims 70000 x 70000 samples (its checksum mended).
    std::string huge = good;
    const unsigned char side[4] = {0x00, 0x01, 0x11, 0x70};
    memcpy(&huge[16], side, 4);
    memcpy(&huge[20], side, 4);
    const uint32_t crc = libdeflate_crc32(0, &huge[12], 17);
    for (int k = 0; k < 4; ++k) {
        huge[29 + k] = static_cast<char>(crc >> (24 - 8 * k));
    }
    write("maps/huge.png", huge);
    ASSERT_EQ(WriteGrey16Png("maps/rgb.png", 64, 64, Ramp, 3), 0);
    ASSERT_EQ(WriteGrey16Png("maps/oblong.png", 64, 32, Ramp), 0);

    const struct {
        const char *name;
        const char *line;
    } cases[] = {
        {"short.png", "ERROR: loading map file maps/short.png failed with error: "},
        {"broken.png", "ERROR: loading map file maps/broken.png failed with error: "},
        {"huge.png", "ERROR: loading map file maps/huge.png failed with error: "},
        {"rgb.png", "ERROR: height map must be one 8bit channel file!"},
        {"oblong.png", "error reding file: maps/oblong.png - your terrain must be square sized!"},
    };
    for (const auto &c : cases) {
        CaptureLog();
        EXPECT_EQ(LoadHeightMap(c.name), -1) << c.name;
        EXPECT_EQ(CapturedLog().rfind(c.line, 0), 0u) << c.name << ": " << CapturedLog();
        ReleaseTestMap();
    }
}

} // namespace
