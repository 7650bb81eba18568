// Tests on a height map made in memory, with the terrain mesh released after
// each test.
#pragma once

#include "tests/support/test_files.h"
#include "terrain/mesh.h"

#include <functional>
#include <gtest/gtest.h>

class TerrainMapTest : public ::testing::Test {
  protected:
    void SetUp() override {
        CaptureLog();
    }
    void TearDown() override {
        FreeTerrainMesh();
        ReleaseTestMap();
    }
    // Takes a size x size map whose pixels value(c, r) gives as the height map.
    void UseMap(int size, const std::function<unsigned char(int, int)> &value) {
        ASSERT_EQ(UseTestMap(size, value), 0) << CapturedLog();
    }
};
