// Whole frames of the viewer in a real GL context: what a frame leaves
// behind, and what it shows.
#include "camera/camera.h"
#include "render/frame.h"
#include "render/help.h"
#include "render/video.h"
#include "tests/support/viewer_fixture.h"
#include "tests/support/test_files.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

namespace {

using FrameGL = StartedViewerTest;

GLint Get(GLenum what) {
    GLint v = -1;
    glGetIntegerv(what, &v);
    return v;
}

TEST_F(FrameGL, AFrameLeavesTheStateAsItFoundIt) {
    for (int i = 0; i < 20; ++i) {
        DrawFrame();
        ASSERT_EQ(Get(GL_ATTRIB_STACK_DEPTH), 0) << "frame " << i;
        ASSERT_EQ(Get(GL_MODELVIEW_STACK_DEPTH), 1);
        ASSERT_EQ(Get(GL_PROJECTION_STACK_DEPTH), 1);
        ASSERT_EQ(Get(GL_MATRIX_MODE), GL_MODELVIEW);
        ASSERT_TRUE(glIsEnabled(GL_FOG));
        ASSERT_TRUE(glIsEnabled(GL_LIGHTING));
        ASSERT_TRUE(glIsEnabled(GL_CULL_FACE));
        ASSERT_TRUE(glIsEnabled(GL_DEPTH_TEST));
        GLboolean mask = GL_FALSE;
        glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
        ASSERT_EQ(mask, GL_TRUE);
        ASSERT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }
}

} // namespace
