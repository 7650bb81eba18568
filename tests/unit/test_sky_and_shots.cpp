// Sky box geometry and the screenshot's row flip, without a window.
#include "app/world.h"
#include "render/screenshot.h"
#include "render/sky.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

TEST(SkyBox, WallsStandAtTheBoxEdgesWithTheImageUpright) {
    SkyFace faces[5];
    SkyBoxFaces(0, 0, 0, SkyBoxWidth, SkyBoxHeight, SkyBoxWidth, faces);
    // Wall 1 runs from (8250, -1100, -8250) to (-8250, 1100, -8250).
    EXPECT_EQ(faces[0].corner[0].x, 8250.0f);
    EXPECT_EQ(faces[0].corner[0].y, -1100.0f);
    EXPECT_EQ(faces[0].corner[0].z, -8250.0f);
    EXPECT_EQ(faces[0].corner[2].x, -8250.0f);
    EXPECT_EQ(faces[0].corner[2].y, 1100.0f);
    EXPECT_EQ(faces[0].corner[2].z, -8250.0f);
    for (int f = 0; f < 4; ++f) {
        for (int i = 0; i < 4; ++i) {
            // t = 0 along the lower edge, 1 along the upper one.
            EXPECT_EQ(faces[f].t[i], faces[f].corner[i].y > 0 ? 1.0f : 0.0f)
                << "wall " << f << " corner " << i;
        }
    }
    // Each wall lies in one plane of the box.
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(faces[1].corner[i].z, 8250.0f);
        EXPECT_EQ(faces[2].corner[i].x, -8250.0f);
        EXPECT_EQ(faces[3].corner[i].x, 8250.0f);
    }
}

TEST(SkyBox, TheTopImageCoversTheTopOnce) {
    SkyFace faces[5];
    SkyBoxFaces(10, 20, 30, 100, 40, 60, faces);
    const SkyFace &top = faces[4];
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(top.corner[i].y, 40.0f);
        // s runs from 0 at the low-x edge to 1 at the high-x edge, t along z.
        EXPECT_EQ(top.s[i], top.corner[i].x > 10 ? 1.0f : 0.0f);
        EXPECT_EQ(top.t[i], top.corner[i].z > 30 ? 1.0f : 0.0f);
    }
    EXPECT_EQ(top.corner[0].x, 60.0f);
    EXPECT_EQ(top.corner[0].z, 0.0f);
}

TEST(Screenshot, RowsAreFlippedIntoPaddedRows) {
    // Three rows of a 1-pixel-wide picture, bottom row first.
    const unsigned char src[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    std::vector<unsigned char> dst(size_t{3} * 4, 0xEE);
    CopyRowsFlipped(dst.data(), 4, src, 3, 3);
    const std::vector<unsigned char> want = {7, 8, 9, 0xEE, 4, 5, 6, 0xEE, 1, 2, 3, 0xEE};
    EXPECT_EQ(dst, want);
}

} // namespace
