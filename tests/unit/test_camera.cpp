// Mouse look and the keyboard's camera commands, without a window.
#include "app/world.h"
#include "camera/camera.h"
#include "camera/keys.h"
#include "tests/support/test_files.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>

namespace {

Vec3f View(const Camera &c) {
    return {c.lookAt.x - c.eye.x, c.lookAt.y - c.eye.y, c.lookAt.z - c.eye.z};
}

float Length(const Vec3f &v) {
    return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}

bool Finite(const Camera &c) {
    for (float f : {c.eye.x, c.eye.y, c.eye.z, c.lookAt.x, c.lookAt.y, c.lookAt.z, c.pitch}) {
        if (!std::isfinite(f)) {
            return false;
        }
    }
    return true;
}

Camera Level() {
    return {{100.0f, 50.0f, -200.0f}, {100.0f, 50.0f, -199.0f}, 0.0f};
}

TEST(RotateAboutAxis, TurnsCounterClockwiseSeenFromTheAxisTip) {
    Vec3f x = {1, 0, 0}, up = {0, 1, 0};
    Vec3f r = RotateAboutAxis(&x, static_cast<float>(M_PI / 2), &up);
    // A quarter turn about +y takes +x to -z.
    EXPECT_NEAR(r.x, 0.0f, 1e-6f);
    EXPECT_NEAR(r.y, 0.0f, 1e-6f);
    EXPECT_NEAR(r.z, -1.0f, 1e-6f);
    Vec3f z = {0, 0, 2}, axisX = {1, 0, 0};
    r = RotateAboutAxis(&z, 0.5f, &axisX);
    EXPECT_NEAR(r.y, -2.0f * std::sin(0.5f), 1e-6f);
    EXPECT_NEAR(r.z, 2.0f * std::cos(0.5f), 1e-6f);
}

TEST(MouseLook, ReportsOnTheCentreLinesAreIgnored) {
    Camera c = Level();
    Camera before = c;
    EXPECT_EQ(ApplyMouseLook(&c, 400, 300, 400, 300), 0); // the warp's own report
    EXPECT_EQ(ApplyMouseLook(&c, 405, 300, 400, 300), 0);
    EXPECT_EQ(ApplyMouseLook(&c, 400, 250, 400, 300), 0);
    // Unchanged: the same floats, not merely close ones.
    const float now[] = {c.eye.x, c.eye.y, c.eye.z, c.lookAt.x, c.lookAt.y, c.lookAt.z, c.pitch};
    const float was[] = {before.eye.x,    before.eye.y,    before.eye.z, before.lookAt.x,
                         before.lookAt.y, before.lookAt.z, before.pitch};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(now[i], was[i]) << "member " << i;
    }
}

TEST(MouseLook, OffsetsTiltAndTurnByAMilliradianAPixel) {
    Camera c = Level();
    ASSERT_EQ(ApplyMouseLook(&c, 409, 301, 400, 300), 1);
    // Down by 0.001, right (towards -x when looking along +z) by 0.009.
    Vec3f v = View(c);
    EXPECT_FLOAT_EQ(c.pitch, -0.001f);
    // The points are stored in world units, so the view vector carries their
    // float rounding (about 1e-5 at a few hundred units).
    EXPECT_NEAR(v.y, -std::sin(0.001), 3e-5);
    EXPECT_NEAR(v.x, -std::sin(0.009) * std::cos(0.001), 3e-5);
    EXPECT_NEAR(Length(v), 1.0f, 3e-5f);
    EXPECT_EQ(c.eye.x, 100.0f);
    EXPECT_EQ(c.eye.y, 50.0f);
    EXPECT_EQ(c.eye.z, -200.0f);

    // Pointer above the centre tilts up, left of it turns left.
    Camera u = Level();
    ApplyMouseLook(&u, 390, 280, 400, 300);
    EXPECT_GT(View(u).y, 0.0f);
    EXPECT_GT(View(u).x, 0.0f);
}

TEST(MouseLook, PitchIsHeldWithinOneRadian) {
    Camera c = Level();
    c.pitch = 0.9f;
    const float before = std::asin(View(c).y / Length(View(c)));
    ApplyMouseLook(&c, 401, 0, 400, 300); // 0.3 up
    EXPECT_EQ(c.pitch, 1.0f);
    const float after = std::asin(View(c).y / Length(View(c)));
    EXPECT_NEAR(after - before, 0.1f, 1e-5f);

    // At the limit, more upward motion only turns about the vertical.
    const Vec3f held = View(c);
    ApplyMouseLook(&c, 450, 100, 400, 300);
    EXPECT_EQ(c.pitch, 1.0f);
    EXPECT_NEAR(View(c).y, held.y, 1e-6f);
    EXPECT_NEAR(Length(View(c)), Length(held), 1e-5f);
    EXPECT_NE(View(c).x, held.x);
}

TEST(MouseLook, AtTheLowerLimitOnlyUpwardMotionTilts) {
    Camera c = Level();
    c.pitch = -1.0f;
    const Vec3f before = View(c);
    ApplyMouseLook(&c, 401, 400, 400, 300); // down
    EXPECT_EQ(c.pitch, -1.0f);
    EXPECT_NEAR(View(c).y, before.y, 1e-6f);

    ApplyMouseLook(&c, 401, 100, 400, 300); // 0.2 up
    EXPECT_FLOAT_EQ(c.pitch, -0.8f);
    EXPECT_NEAR(std::asin(View(c).y / Length(View(c))), 0.2f, 1e-5f);
}

TEST(MouseLook, AVerticalViewIsNotTiltedAndNeverBecomesNaN) {
    Camera c = {{0, 0, 0}, {0, 5, 0}, 0.3f};
    ASSERT_EQ(ApplyMouseLook(&c, 420, 290, 400, 300), 1);
    EXPECT_TRUE(Finite(c));
    EXPECT_EQ(c.pitch, 0.3f);
    EXPECT_NEAR(View(c).y, 5.0f, 1e-6f);
}

TEST(StartHeight, BothPointsTakeTheHeightAtColumnZeroRowTwenty) {
    CaptureLog();
    // Only (0, 20) is raised: the row comes from the start height 20, not
    // from z, so eye and look-at point end at the same height.
    ASSERT_EQ(UseTestMap(64, [](int c, int r) { return c == 0 && r == 20 ? 50 : 3; }), 0);
    camera = StartCamera;
    PlaceCameraAtStartHeight();
    EXPECT_FLOAT_EQ(camera.eye.y, 50 * HeightStep + 10.0f);
    EXPECT_EQ(camera.lookAt.y, camera.eye.y);
    EXPECT_EQ(camera.eye.x, 0.0f);
    EXPECT_EQ(camera.lookAt.z, 1.0f);
    EXPECT_EQ(camera.pitch, 0.0f);
    camera = StartCamera;
    ReleaseTestMap();
}

TEST(StartHeight, AnEyeInsideASummitIsRaisedAboveTheGroundAhead) {
    CaptureLog();
    // On a 256 map the eye (x = 0, z = 0) stands on grid point (128, 128) and
    // looks along +z; 100 units ahead lie in the cells of rows 128 and 129, so
    // the strip's corners run from row 128 to 130 in columns 128 and 129.
    ASSERT_EQ(UseTestMap(256,
                         [](int c, int r) {
                             if (c == 128 && r == 130) {
                                 return 250; // the strip's highest corner
                             }
                             if ((c == 128 && r == 131) || (c == 127 && r == 128)) {
                                 return 255; // beside and beyond the strip
                             }
                             return c >= 110 && c <= 150 && r >= 110 && r <= 150 ? 200 : 3;
                         }),
              0);
    camera = StartCamera;
    PlaceCameraAtStartHeight();
    EXPECT_FLOAT_EQ(camera.eye.y, 250 * HeightStep - HalfHeight + StartClearance);
    EXPECT_EQ(camera.lookAt.y, camera.eye.y);
    EXPECT_EQ(camera.eye.z, 0.0f);
    EXPECT_EQ(camera.lookAt.z, 1.0f);
    ReleaseTestMap();

    // At 127 steps above the start sample the eye keeps 10.6 units of
    // clearance and today's height; at 128 it would keep 6.3 and is raised.
    for (int rise : {127, 128}) {
        ASSERT_EQ(UseTestMap(256,
                             [rise](int c, int r) {
                                 return c == 0 && r == 20 ? 40 : (c >= 120 ? 40 + rise : 40);
                             }),
                  0);
        camera = StartCamera;
        PlaceCameraAtStartHeight();
        const float expected = rise == 127 ? 40 * HeightStep + 10.0f
                                           : (40 + rise) * HeightStep - HalfHeight + StartClearance;
        EXPECT_FLOAT_EQ(camera.eye.y, expected) << rise;
        EXPECT_EQ(camera.lookAt.y, camera.eye.y) << rise;
        ReleaseTestMap();
    }
    camera = StartCamera;
}

TEST(KeyCommands, ForwardThenBackReturnsAndHeldForwardStaysLevel) {
    Camera c = Level();
    MoveCamera(&c, MoveStep);
    MoveCamera(&c, -MoveStep);
    EXPECT_NEAR(c.eye.z, -200.0f, 1e-4f);
    EXPECT_NEAR(c.lookAt.z, -199.0f, 1e-4f);

    for (int i = 0; i < 10; ++i) {
        MoveCamera(&c, MoveStep);
    }
    EXPECT_NEAR(c.eye.z, 100.0f, 1e-3f);
    EXPECT_EQ(c.eye.y, 50.0f);
    EXPECT_EQ(c.lookAt.y, 50.0f);

    // A tilted view climbs by the vertical part of the unit direction.
    Camera t = {{0, 0, 0}, {0, 3, 4}, 0.0f};
    MoveCamera(&t, MoveStep);
    EXPECT_NEAR(t.eye.y, 18.0f, 1e-4f);
    EXPECT_NEAR(t.eye.z, 24.0f, 1e-4f);
}

TEST(KeyCommands, SidewaysStepsKeepHeightsAndDistance) {
    Camera c = {{10, 40, 10}, {13, 44, 14}, 0.0f};
    const float distance = Length(View(c));
    StepCameraSideways(&c, MoveStep);
    EXPECT_EQ(c.eye.y, 40.0f);
    EXPECT_EQ(c.lookAt.y, 44.0f);
    EXPECT_NEAR(Length(View(c)), distance, 1e-5f);
    // Left of a view along +x+z is towards -x+z... here (z, 0, -x) normalised.
    EXPECT_NEAR(c.eye.x, 10.0f + 30.0f * 0.8f, 1e-4f);
    EXPECT_NEAR(c.eye.z, 10.0f - 30.0f * 0.6f, 1e-4f);
    StepCameraSideways(&c, -MoveStep);
    EXPECT_NEAR(c.eye.x, 10.0f, 1e-4f);
    EXPECT_NEAR(c.eye.z, 10.0f, 1e-4f);
}

TEST(KeyCommands, TurnsAreAboutTheVerticalThroughTheEye) {
    Camera c = {{5000, 300, -4000}, {5000, 290, -3990}, 0.0f};
    const Vec3f before = View(c);
    TurnCamera(&c, TurnStep);
    EXPECT_NEAR(View(c).y, before.y, 1e-6f);
    EXPECT_NEAR(Length(View(c)), Length(before), 1e-4f);
    EXPECT_GT(View(c).x, 0.0f); // left, looking along +z
    TurnCamera(&c, -TurnStep);
    EXPECT_NEAR(View(c).x, before.x, 1e-4f);
    EXPECT_NEAR(View(c).z, before.z, 1e-4f);
    EXPECT_EQ(c.eye.x, 5000.0f);
}

TEST(KeyCommands, DegenerateViewsLeaveTheCameraAlone) {
    Camera same = {{1, 2, 3}, {1, 2, 3}, 0.0f};
    MoveCamera(&same, MoveStep);
    EXPECT_TRUE(Finite(same));
    EXPECT_EQ(same.eye.x, 1.0f);
    Camera vertical = {{1, 2, 3}, {1, 9, 3}, 0.0f};
    StepCameraSideways(&vertical, MoveStep);
    EXPECT_TRUE(Finite(vertical));
    EXPECT_EQ(vertical.eye.x, 1.0f);
    EXPECT_EQ(vertical.eye.z, 3.0f);
}

TEST(KeyCommands, TogglesFlipAndScreenshotNamesCount) {
    int8_t toggle = 1;
    EXPECT_EQ(FlipToggle(&toggle), -1);
    EXPECT_EQ(FlipToggle(&toggle), 1);

    char name[32];
    screenshotCounter = 0;
    NextScreenshotName(name, sizeof name);
    EXPECT_STREQ(name, "screen1.bmp");
    NextScreenshotName(name, sizeof name);
    EXPECT_STREQ(name, "screen2.bmp");
    screenshotCounter = 65534;
    NextScreenshotName(name, sizeof name);
    EXPECT_STREQ(name, "screen65535.bmp");
    NextScreenshotName(name, sizeof name);
    EXPECT_STREQ(name, "screen0.bmp");
    screenshotCounter = 0;
}

} // namespace
