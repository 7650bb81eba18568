// The frame-rate counter and the overlay's texts.
#include "app/version.h"
#include "render/frame.h"

#include <gtest/gtest.h>

namespace {

TEST(FrameCounter, UpdatesOnlyAfterMoreThanASecond) {
    FrameCounter c = {0, 0, 0.0f};
    for (int i = 0; i < 59; ++i) {
        CountFrame(&c, 500);
    }
    CountFrame(&c, 1000); // exactly a second: nothing yet
    EXPECT_EQ(c.frames, 60u);
    EXPECT_EQ(c.lastTick, 0u);
    EXPECT_EQ(c.fps, 0.0f);

    c = {59, 0, 0.0f};
    CountFrame(&c, 1001); // the 60th frame, 1001 ms after the update
    EXPECT_FLOAT_EQ(c.fps, 59.94006f);
    EXPECT_EQ(c.frames, 0u);
    EXPECT_EQ(c.lastTick, 1001u);
    char text[32];
    FormatFrameRate(text, sizeof text, c.fps);
    EXPECT_STREQ(text, "59.94 fps");
}

TEST(FrameCounter, SurvivesTheTickCounterWrapping) {
    FrameCounter c = {9, 0xFFFFFF00u, 0.0f};
    CountFrame(&c, 0x00000010u); // 272 ms later, across the wrap
    EXPECT_EQ(c.frames, 10u);
    EXPECT_EQ(c.fps, 0.0f);
    CountFrame(&c, 0x00000400u); // 1280 ms after the update
    EXPECT_FLOAT_EQ(c.fps, 11 * 1000.0f / 1280.0f);
    EXPECT_EQ(c.lastTick, 0x400u);
}

TEST(OverlayTexts, StartAtZeroAndNameTheVersion) {
    char text[64];
    FormatFrameRate(text, sizeof text, 0.0f);
    EXPECT_STREQ(text, "0.00 fps");
    FormatBanner(text, sizeof text);
    EXPECT_EQ(std::string(text).rfind("vorN " VORN_VERSION_STRING " :: ", 0), 0u);
}

} // namespace
