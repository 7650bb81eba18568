// A test suite that runs on one whole start-up of the viewer: map, mesh,
// window, GL state, sky, font, help panel and terrain list.
#pragma once

#include "tests/support/gl_window.h"
#include "tests/support/test_files.h"

#include <gtest/gtest.h>
#include <string>

class StartedViewerTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        started = StartViewerGL("mapa256.bmp");
        startLog = CapturedLog();
    }
    void SetUp() override {
        ASSERT_EQ(started, 0) << startLog;
        CaptureLog();
    }
    static inline int started = -1;
    static inline std::string startLog;
};
