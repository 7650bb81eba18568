// The sky stays behind the terrain: ground far ahead, under the terrain's
// nearer far plane, is drawn even where the sky box was drawn first.
#include "app/world.h"
#include "camera/camera.h"
#include "render/frame.h"
#include "render/help.h"
#include "tests/support/gl_window.h"
#include "tests/support/test_files.h"

#include <GL/gl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

TEST(FarGround, FlatGround4500UnitsAheadIsDrawnWithFogOff) {
    // A scratch directory with a flat map and the build's other data.
    std::string buildDir;
    ASSERT_EQ(EnterViewerScratchDir(&buildDir), 0);
    ASSERT_EQ(WriteGreyBmp("maps/flat.bmp", 64, 64, [](int, int) { return 0; }), 0);
    ASSERT_EQ(StartViewerGL("flat.bmp"), 0) << CapturedLog();
    ASSERT_EQ(camera.eye.y, 10.0f); // height 0 plus 10
    ASSERT_EQ(camera.lookAt.y, 10.0f);

    // Ground lies at y = -HalfHeight; look at the point 4500 units ahead of the eye.
    camera.lookAt = {camera.eye.x, -HalfHeight, camera.eye.z + 4500.0f};
    helpVisible = 0;
    glDisable(GL_FOG);
    DrawFrame();

    // The frame stays in the back buffer after the swap here.
    unsigned char centre[3] = {};
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(400, 300, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, centre);
    // Lit grass: green above red and blue. The sky there would be pale or blue.
    EXPECT_GT(centre[1], centre[0])
        << static_cast<int>(centre[0]) << "," << static_cast<int>(centre[1]) << ","
        << static_cast<int>(centre[2]);
    EXPECT_GT(centre[1], centre[2] + 10);
    EXPECT_EQ(chdir(buildDir.c_str()), 0);
}

} // namespace
