// Every map opens on a view of it: a map whose summit stands under the eye's
// start point opens with ground in the lower half of the picture, where the
// eye would otherwise start inside the mountain.
#include "app/world.h"
#include "camera/camera.h"
#include "render/frame.h"
#include "render/help.h"
#include "tests/support/gl_window.h"
#include "tests/support/test_files.h"

#include <GL/gl.h>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

TEST(StartView, AConeMapOpensWithGroundInTheLowerHalf) {
    std::string buildDir;
    ASSERT_EQ(EnterViewerScratchDir(&buildDir), 0);
    // A cone: 255 at the centre, falling to 0 at the edges; the start sample
    // (0, 20) lies at height 0.
    ASSERT_EQ(WriteGreyBmp("maps/cone.bmp", 128, 128,
                           [](int c, int r) {
                               const double d = std::hypot(c - 64.0, r - 64.0);
                               return static_cast<unsigned char>(std::max(0.0, 255.0 - 4.0 * d));
                           }),
              0);
    ASSERT_EQ(StartViewerGL("cone.bmp"), 0) << CapturedLog();
    EXPECT_GE(camera.eye.y, 255 * HeightStep - HalfHeight + StartClearance);
    helpVisible = 0;
    DrawFrame();

    std::vector<unsigned char> pixels(size_t{800} * 300 * 3);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, 800, 300, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    // Lit grass has green above red and blue; the fog and the sky are pale.
    int ground = 0;
    for (size_t i = 0; i < pixels.size(); i += 3) {
        if (pixels[i + 1] > pixels[i] + 10 && pixels[i + 1] > pixels[i + 2] + 10) {
            ++ground;
        }
    }
    // From the summit the cone falls away below the horizon: most of the lower
    // half is ground. An eye inside the mountain sees none.
    EXPECT_GT(ground, 800 * 300 / 2) << ground << " ground pixels in the lower half";
    EXPECT_EQ(chdir(buildDir.c_str()), 0);
}

} // namespace
