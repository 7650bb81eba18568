// Screenshots of a real GL window: size, depth, orientation and colours.
#include "render/screenshot.h"
#include "render/video.h"
#include "tests/support/gl_window.h"
#include "tests/support/test_files.h"

#include <GL/gl.h>
#include <SDL/SDL.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

class ScreenshotGL : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        opened = OpenBareWindow(800, 600);
    }
    void SetUp() override {
        ASSERT_EQ(opened, 0);
        dir = MakeScratchDir();
    }
    // Sets a window of w x h and paints it: the top half red on the left and
    // green on the right, the bottom half blue.
    void Paint(int w, int h) {
        videoState.screen = SDL_SetVideoMode(w, h, 0, SDL_OPENGL);
        ASSERT_NE(videoState.screen, nullptr);
        glViewport(0, 0, w, h);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_TEXTURE_2D);
        glDisable(GL_LIGHTING);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, w, 0, h, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glClearColor(0, 0, 1, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glBegin(GL_QUADS);
        glColor3f(1, 0, 0);
        glVertex2f(0, h / 2.0f);
        glVertex2f(w / 2.0f, h / 2.0f);
        glVertex2f(w / 2.0f, h);
        glVertex2f(0, h);
        glColor3f(0, 1, 0);
        glVertex2f(w / 2.0f, h / 2.0f);
        glVertex2f(w, h / 2.0f);
        glVertex2f(w, h);
        glVertex2f(w / 2.0f, h);
        glEnd();
        glFinish();
    }
    static unsigned int Pixel(SDL_Surface *s, int x, int y) {
        Uint8 r, g, b;
        Uint8 *p = static_cast<Uint8 *>(s->pixels) + static_cast<ptrdiff_t>(y) * s->pitch +
                   static_cast<ptrdiff_t>(x) * 3;
        Uint32 v = p[0] | (p[1] << 8) | (p[2] << 16);
        SDL_GetRGB(v, s->format, &r, &g, &b);
        return (r << 16) | (g << 8) | b;
    }
    static int opened;
    std::string dir;
};
int ScreenshotGL::opened = -1;

TEST_F(ScreenshotGL, AWindowBecomesAnUpright24BitPicture) {
    for (int w : {800, 641, 1}) {
        SCOPED_TRACE(w);
        Paint(w, 600);
        std::string path = dir + "/shot.bmp";
        ASSERT_EQ(SaveScreenshot(path.c_str()), 0);
        SDL_Surface *s = SDL_LoadBMP(path.c_str());
        ASSERT_NE(s, nullptr) << SDL_GetError();
        EXPECT_EQ(s->w, w);
        EXPECT_EQ(s->h, 600);
        EXPECT_EQ(s->format->BitsPerPixel, 24);
        // The file's first row is the window's top row.
        if (w > 1) {
            EXPECT_EQ(Pixel(s, 0, 0), 0xFF0000u);
            EXPECT_EQ(Pixel(s, w - 1, 0), 0x00FF00u);
            EXPECT_EQ(Pixel(s, w / 4, 299), 0xFF0000u);
            EXPECT_EQ(Pixel(s, 3 * w / 4, 200), 0x00FF00u);
        }
        EXPECT_EQ(Pixel(s, 0, 599), 0x0000FFu);
        EXPECT_EQ(Pixel(s, w - 1, 301), 0x0000FFu);
        SDL_FreeSurface(s);
    }
}

TEST_F(ScreenshotGL, AFileThatCannotBeWrittenIsNotReported) {
    Paint(64, 48);
    std::string path = dir + "/no/such/dir/shot.bmp";
    EXPECT_EQ(SaveScreenshot(path.c_str()), 0);
    struct stat st;
    EXPECT_NE(stat(path.c_str(), &st), 0);
}

} // namespace
