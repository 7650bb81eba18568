#include "app/world.h"
#include "tests/support/test_files.h"
#include "terrain/heightmap.h"

#include <SDL/SDL.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class HeightMapTest : public ::testing::Test {
  protected:
    void SetUp() override {
        CaptureLog();
        scratch = MakeScratchDir();
        ASSERT_FALSE(scratch.empty());
        ASSERT_NE(getcwd(previousDir, sizeof previousDir), nullptr);
        ASSERT_EQ(chdir(scratch.c_str()), 0);
        ASSERT_EQ(mkdir("maps", 0755), 0);
    }
    void TearDown() override {
        ReleaseTestMap();
        ASSERT_EQ(chdir(previousDir), 0);
    }
    char previousDir[4096];
    std::string scratch;
};

unsigned char Pattern(int c, int r) {
    return static_cast<unsigned char>((c * 7 + r * 13) & 0xFF);
}

TEST_F(HeightMapTest, LoadsSquareMapsWithExactCellSizes) {
    ASSERT_EQ(WriteGreyBmp("maps/m256.bmp", 256, 256, Pattern), 0);
    ASSERT_EQ(LoadHeightMap("m256.bmp"), 0);
    EXPECT_EQ(heightMap.size, 256);
    EXPECT_EQ(heightMap.cellSize, 58.59375f);
    EXPECT_EQ(heightMap.heightScale, 4.313726f);
    EXPECT_EQ(GetLevel(0, 0), Pattern(0, 0));
    EXPECT_EQ(GetLevel(255, 255), Pattern(255, 255));
    EXPECT_EQ(GetLevel(17, 200), Pattern(17, 200));
    ReleaseTestMap();

    ASSERT_EQ(WriteGreyBmp("maps/m512.bmp", 512, 512, Pattern), 0);
    ASSERT_EQ(LoadHeightMap("m512.bmp"), 0);
    EXPECT_EQ(heightMap.size, 512);
    EXPECT_EQ(heightMap.cellSize, 29.296875f);
    EXPECT_EQ(CapturedLog(), "");
}

TEST_F(HeightMapTest, ReadsOutsideTheMapAsZero) {
    ASSERT_EQ(WriteGreyBmp("maps/m.bmp", 16, 16, [](int, int) { return 200; }), 0);
    ASSERT_EQ(LoadHeightMap("m.bmp"), 0);
    EXPECT_EQ(GetLevel(15, 15), 200);
    EXPECT_EQ(GetLevel(16, 0), 0);
    EXPECT_EQ(GetLevel(0, 16), 0);
    // A coordinate of -1 arrives as its low 16 bits.
    EXPECT_EQ(GetLevel(static_cast<uint16_t>(-1), 3), 0);
    EXPECT_EQ(GetLevel(65535, 65535), 0);
}

TEST_F(HeightMapTest, ReadsRowsThroughThePaddedPitch) {
    // 257 pixels a row are padded to 260 bytes in the decoded image.
    ASSERT_EQ(WriteGreyBmp("maps/m257.bmp", 257, 257,
                           [](int c, int r) {
                               return static_cast<unsigned char>(c == 0 ? r % 251
                                                                        : 255 - (c % 200));
                           }),
              0);
    ASSERT_EQ(LoadHeightMap("m257.bmp"), 0);
    EXPECT_EQ(heightMap.size, 257);
    EXPECT_GT(heightMap.pitch, 257);
    for (int r = 0; r < 257; ++r) {
        ASSERT_EQ(GetLevel(0, static_cast<uint16_t>(r)), r % 251) << "row " << r;
    }
    EXPECT_EQ(GetLevel(256, 256), 255 - (256 % 200));
}

TEST_F(HeightMapTest, TakesPaletteIndicesNotColours) {
    ASSERT_EQ(WriteGreyBmp(
                  "maps/pal.bmp", 8, 8, [](int c, int r) { return c * 8 + r; }, false),
              0);
    ASSERT_EQ(LoadHeightMap("pal.bmp"), 0);
    EXPECT_EQ(GetLevel(3, 5), 3 * 8 + 5);
    EXPECT_EQ(GetLevel(7, 7), 63);
}

TEST_F(HeightMapTest, RefusesNonSquareMapsNamingThePath) {
    ASSERT_EQ(WriteGreyBmp("maps/wide.bmp", 256, 128, Pattern), 0);
    EXPECT_EQ(LoadHeightMap("wide.bmp"), -1);
    EXPECT_EQ(CapturedLog(),
              "error reding file: maps/wide.bmp - your terrain must be square sized!\n");
}

TEST_F(HeightMapTest, RefusesColourMapsBeforeLookingAtTheirShape) {
    ASSERT_EQ(WriteColourBmp("maps/rgb.bmp", 64, 64, 24, [](int, int) { return 0x808080u; }), 0);
    EXPECT_EQ(LoadHeightMap("rgb.bmp"), -1);
    EXPECT_EQ(CapturedLog(), "ERROR: height map must be one 8bit channel file!\n");

    CaptureLog();
    ASSERT_EQ(WriteColourBmp("maps/rgbwide.bmp", 64, 32, 24, [](int, int) { return 0u; }), 0);
    EXPECT_EQ(LoadHeightMap("rgbwide.bmp"), -1);
    EXPECT_EQ(CapturedLog(), "ERROR: height map must be one 8bit channel file!\n");
}

TEST_F(HeightMapTest, ReportsMissingAndUndecodableFilesWithTheDecoderText) {
    EXPECT_EQ(LoadHeightMap("none.bmp"), -1);
    std::string log = CapturedLog();
    EXPECT_EQ(log.rfind("ERROR: loading map file maps/none.bmp failed with error: ", 0), 0u) << log;
    EXPECT_GT(log.size(), strlen("ERROR: loading map file maps/none.bmp failed with error: \n"));
    EXPECT_EQ(log.back(), '\n');

    CaptureLog();
    FILE *f = fopen("maps/junk.bmp", "wb");
    ASSERT_NE(f, nullptr);
    fputs("BM this is not a bitmap at all", f);
    fclose(f);
    EXPECT_EQ(LoadHeightMap("junk.bmp"), -1);
    EXPECT_EQ(CapturedLog().rfind("ERROR: loading map file maps/junk.bmp failed with error: ", 0),
              0u);
}

TEST_F(HeightMapTest, RefusesTruncatedFiles) {
    ASSERT_EQ(WriteGreyBmp("maps/full.bmp", 64, 64, Pattern), 0);
    std::string bytes = ReadFile("maps/full.bmp");
    for (size_t cut : {static_cast<size_t>(10), static_cast<size_t>(54), static_cast<size_t>(600),
                       bytes.size() - 100}) {
        FILE *f = fopen("maps/cut.bmp", "wb");
        ASSERT_NE(f, nullptr);
        fwrite(bytes.data(), 1, cut, f);
        fclose(f);
        CaptureLog();
        EXPECT_EQ(LoadHeightMap("cut.bmp"), -1) << "cut at " << cut;
        // A cut header may still decode into some image, which is then refused.
        EXPECT_EQ(CapturedLog().rfind("ERROR: ", 0), 0u) << "cut at " << cut;
        ReleaseTestMap();
    }
}

TEST_F(HeightMapTest, TakesTheLargestSideAndRefusesOneMore) {
    static_assert(MaxMapSize == 8192, "the viewer takes maps of up to 8192 on a side");
    ASSERT_EQ(WriteGreyBmp("maps/huge.bmp", MaxMapSize + 1, MaxMapSize + 1, Pattern), 0);
    EXPECT_EQ(LoadHeightMap("huge.bmp"), -1);
    EXPECT_EQ(CapturedLog(),
              "ERROR: height map maps/huge.bmp is 8193 x 8193; the side must be 1 to 8192\n");
    ReleaseTestMap();
    CaptureLog();
    ASSERT_EQ(WriteGreyBmp("maps/huge.bmp", MaxMapSize, MaxMapSize, Pattern), 0);
    EXPECT_EQ(LoadHeightMap("huge.bmp"), 0) << CapturedLog();
    EXPECT_EQ(heightMap.size, MaxMapSize);
    EXPECT_EQ(GetLevel(8191, 8191), Pattern(8191, 8191));
    remove("maps/huge.bmp");
}

TEST_F(HeightMapTest, RefusesANameTooLongForThePath) {
    std::string name(2000, 'a');
    EXPECT_EQ(LoadHeightMap(name.c_str()), -1);
    EXPECT_EQ(CapturedLog().rfind("ERROR: map file name is too long", 0), 0u);
}

TEST(HeightScale, HighestGroundIsJustOver1100UnitsAboveTheLowest) {
    float top = 255 * HeightStep;
    EXPECT_GT(top, 1100.0f);
    EXPECT_LT(top, 1100.01f);
}

} // namespace
