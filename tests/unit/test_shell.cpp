#include "app/version.h"
#include "app/log.h"
#include "app/shell.h"
#include "render/video.h"
#include "tests/support/test_files.h"

#include <gtest/gtest.h>

namespace {

TEST(StartUp, BannerNamesTheVersion) {
    CaptureLog();
    WriteBanner(DebugLog);
    std::string log = CapturedLog();
    EXPECT_EQ(log.rfind("vorn version: " VORN_VERSION_STRING " by tesk (", 0), 0u) << log;
    EXPECT_EQ(log.substr(log.size() - 3), ")\n\n");
}

TEST(StartUp, WithoutAMapNameTheDefaultIsUsedAfterAUsageNote) {
    CaptureLog();
    char self[] = "./vorn";
    char *argv[] = {self, nullptr};
    EXPECT_STREQ(ChooseMapName(1, argv, DebugLog), "mapa.bmp");
    EXPECT_EQ(CapturedLog(), "NO MAP SPECIFIED !!\n"
                             "usage: ./vorn [map_file]\n"
                             "example: ./vorn mapa256.bmp\n"
                             "note: maps must be in maps directory\n"
                             " ---- using default map: mapa.bmp ----\n");
}

TEST(StartUp, OnlyTheFirstArgumentNamesTheMap) {
    CaptureLog();
    char self[] = "vorn", first[] = "one.bmp", second[] = "two.bmp";
    char *argv[] = {self, first, second, nullptr};
    EXPECT_STREQ(ChooseMapName(3, argv, DebugLog), "one.bmp");
    EXPECT_STREQ(ChooseMapName(2, argv, DebugLog), "one.bmp");
    EXPECT_EQ(CapturedLog(), "");
}

TEST(StartUp, AnUnwritableLogIsDiscardedNotNull) {
    FILE *saved = DebugLog;
    testing::internal::CaptureStderr();
    EXPECT_EQ(OpenDebugLog("/nonexistent-dir/for/sure/debug.txt"), -1);
    std::string said = testing::internal::GetCapturedStderr();
    ASSERT_NE(DebugLog, nullptr);
    EXPECT_NE(DebugLog, stderr);
    EXPECT_EQ(fprintf(DebugLog, "info: dropped\n"), 14);
    EXPECT_NE(said.find("/nonexistent-dir/for/sure/debug.txt"), std::string::npos) << said;
    fclose(DebugLog);
    DebugLog = saved;
}

TEST(StartUp, TheLogIsTruncatedAtEveryStart) {
    std::string dir = MakeScratchDir();
    std::string path = dir + "/debug.txt";
    FILE *saved = DebugLog;
    ASSERT_EQ(OpenDebugLog(path.c_str()), 0);
    fprintf(DebugLog, "first run, a long line of text\n");
    fclose(DebugLog);
    ASSERT_EQ(OpenDebugLog(path.c_str()), 0);
    fprintf(DebugLog, "second\n");
    fclose(DebugLog);
    DebugLog = saved;
    EXPECT_EQ(ReadFile(path), "second\n");
}

TEST(Resize, ZeroSizesBecomeOne) {
    int w = 0, h = 0;
    ClampWindowSize(&w, &h);
    EXPECT_EQ(w, 1);
    EXPECT_EQ(h, 1);
    w = 0, h = 300;
    ClampWindowSize(&w, &h);
    EXPECT_EQ(w, 1);
    EXPECT_EQ(h, 300);
    w = 640, h = 480;
    ClampWindowSize(&w, &h);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);
}

} // namespace
