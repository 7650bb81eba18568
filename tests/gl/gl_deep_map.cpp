// 16-bit maps in a real GL context: a map whose levels are an 8-bit map's
// times 257 draws that map's picture, and ridges lower than one 8-bit step
// light the ground otherwise than flat ground.
#include "app/world.h"
#include "camera/camera.h"
#include "render/gl_errors.h"
#include "terrain/heightmap.h"
#include "terrain/terrain_list.h"
#include "tests/support/gl_window.h"
#include "tests/support/test_files.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const int Width = 800, Height = 600;

unsigned char Hills(int c, int r) {
    const double h = 120.0 + 60.0 * std::sin(c * 0.05) * std::cos(r * 0.07) +
                     40.0 * std::sin((c + 2 * r) * 0.11) + ((c * 7 + r * 3) % 9);
    return static_cast<unsigned char>(std::lround(std::min(255.0, std::max(0.0, h))));
}

// Takes the map as the viewer's, with its terrain lists and the camera at
// its start height, as start-up leaves them.
void UseMap(const char *name) {
    ASSERT_EQ(LoadHeightMap(name), 0) << CapturedLog();
    FreeTerrainLists();
    ASSERT_EQ(BuildTerrainList(), 0) << CapturedLog();
    camera = StartCamera;
    PlaceCameraAtStartHeight();
}

// The terrain alone from the camera, once every chunk drew what it asked
// for, as the window's pixels.
std::vector<unsigned char> DrawSettled() {
    std::vector<unsigned char> pixels(static_cast<size_t>(Width) * Height * 3);
    for (int frame = 0; frame < 200; ++frame) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluPerspective(45.0, static_cast<double>(Width) / Height, 4.0, 5000.0);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        gluLookAt(camera.eye.x, camera.eye.y, camera.eye.z, camera.lookAt.x, camera.lookAt.y,
                  camera.lookAt.z, 0.0, 1.0, 0.0);
        DrawTerrainView(&camera.eye, &camera.lookAt, static_cast<double>(Width) / Height, Height);
        if (terrainView.chunksWaiting == 0) {
            break;
        }
    }
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, Width, Height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    return pixels;
}

TEST(DeepMapGL, SixteenBitLevelsDrawTheirPicture) {
    std::string buildDir;
    ASSERT_EQ(EnterViewerScratchDir(&buildDir), 0);
    ASSERT_EQ(WriteGreyBmp("maps/eight.bmp", 256, 256, Hills), 0);
    ASSERT_EQ(WriteGrey16Png("maps/deep.png", 256, 256,
                             [](int c, int r) { return static_cast<uint16_t>(257 * Hills(c, r)); }),
              0);
    // Ridges 200 levels high (less than one 8-bit step) every fourth row,
    // across the view.
    const auto flat = [](int, int) { return static_cast<uint16_t>(30000); };
    const auto ridged = [](int, int r) { return static_cast<uint16_t>(r % 4 ? 30000 : 30200); };
    ASSERT_EQ(WriteGrey16Png("maps/flat.png", 1024, 1024, flat), 0);
    ASSERT_EQ(WriteGrey16Png("maps/ridged.png", 1024, 1024, ridged), 0);
    ASSERT_EQ(StartViewerGL("eight.bmp"), 0) << CapturedLog();

    const std::vector<unsigned char> eight = DrawSettled();
    UseMap("deep.png");
    const std::vector<unsigned char> deep = DrawSettled();
    EXPECT_EQ(CountDifferingPixels(eight, deep), 0);
    // Not an empty picture: the hills fill the lower part.
    EXPECT_GT(CountDifferingPixels(eight, std::vector<unsigned char>(eight.size(), 255)),
              Width * Height / 4);

    // Lit and untextured, without fog.
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_FOG);
    UseMap("flat.png");
    const std::vector<unsigned char> plain = DrawSettled();
    UseMap("ridged.png");
    const std::vector<unsigned char> fine = DrawSettled();
    // The near ground, where the ridges are some pixels apart, shades in
    // stripes; farther off they fall within a pixel.
    EXPECT_GT(CountDifferingPixels(plain, fine), Width * Height / 100);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_FOG);
    EXPECT_EQ(DrainGlErrors(), 0);
    FreeTerrainLists();
    EXPECT_EQ(chdir(buildDir.c_str()), 0);
}

} // namespace
