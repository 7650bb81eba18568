// The converter's confinement, tried with hand-made hostile files: the VRT
// rules, the filter and Landlock in force, no network, bounded work,
// signals; and real files that still convert through its workers.
#include "dem2map/dem2map_lib.h"
#include "dem2map/dem2map_vrt.h"
#include "tests/support/dem_files.h"
#include "tests/support/test_files.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char *Canary = "CANARY-7f3a-private-bytes";

void WriteText(const std::string &path, const std::string &text) {
    FILE *f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
}

// A VRT of one band over its sources, each given as it stands in the file.
std::string Vrt(int w, int h, const std::vector<std::string> &sourceElements,
                const char *bandAttributes = "") {
    std::string text = "<VRTDataset rasterXSize=\"" + std::to_string(w) + "\" rasterYSize=\"" +
                       std::to_string(h) + "\">\n  <VRTRasterBand dataType=\"Float32\" band=\"1\"" +
                       bandAttributes + ">\n";
    for (const std::string &s : sourceElements) {
        text += "    " + s + "\n";
    }
    return text + "  </VRTRasterBand>\n</VRTDataset>\n";
}

std::string SimpleSource(const std::string &name, int x, int y, int w, int h,
                         const char *relative = "1") {
    const std::string rect = "xOff=\"0\" yOff=\"0\" xSize=\"" + std::to_string(w) + "\" ySize=\"" +
                             std::to_string(h) + "\"";
    return std::string("<SimpleSource><SourceFilename relativeToVRT=\"") + relative + "\">" + name +
           "</SourceFilename><SourceBand>1</SourceBand><SrcRect " + rect + "/><DstRect xOff=\"" +
           std::to_string(x) + "\" yOff=\"" + std::to_string(y) + "\" xSize=\"" +
           std::to_string(w) + "\" ySize=\"" + std::to_string(h) + "\"/></SimpleSource>";
}

// A metric tile of w x h pixels of 30 m whose north-west corner is at
// (x0, y0) metres of UTM zone 32: a slope.
void WriteTile(const std::string &path, int w, int h, double x0, double y0) {
    const double gt[6] = {x0, 30.0, 0, y0, 0, -30.0};
    WriteRaster(path, "GTiff", w, h, GDT_Float32, gt, "EPSG:32632",
                [&](int c, int r) { return 500.0 + (x0 + c * 30.0) * 0.01 - r * 0.5; });
}

bool AnyFileHolds(const std::string &dir, const std::string &needle) {
    for (const auto &entry : std::filesystem::recursive_directory_iterator(dir)) {
        if (entry.is_regular_file() && ReadFile(entry.path()).find(needle) != std::string::npos &&
            entry.path().filename() != "canary.txt") {
            return true;
        }
    }
    return false;
}

int TempFiles(const std::string &dir) {
    int n = 0;
    for (const auto &entry : std::filesystem::directory_iterator(dir)) {
        n += entry.path().string().find(".tmp-") != std::string::npos;
    }
    return n;
}

int Steps(const Scratch &s, const std::string &step, const std::string &args) {
    setenv("DEM2MAP_TEST_STEP", step.c_str(), 1);
    const int rc = RunDemTool(VORN_DEM2MAP_STEPS_BIN, s, args);
    unsetenv("DEM2MAP_TEST_STEP");
    return rc;
}

TEST(Dem2mapRules, ReadsBeyondTheCapAreDecimatedOrRefused) {
    // Within the cap: read whole, however it is stored.
    EXPECT_EQ(PlanRegionRead(0, 0, 3601, 3601, 3601, 1, 1, 0), DemReadWhole);
    // A striped 20000 x 20000: one row in three is 6667 rows of 20000.
    EXPECT_EQ(DecimatedAxisCost(20000, 1, 3), 6667);
    EXPECT_EQ(PlanRegionRead(0, 0, 20000, 20000, 20000, 1, 3, 0), DemReadSampled);
    // Tiles as wide as the step are all decoded: a 100000-pixel tiled bomb
    // is refused, unless it has an overview within the cap.
    EXPECT_EQ(DecimatedAxisCost(100000, 256, 13), 100096);
    EXPECT_EQ(PlanRegionRead(0, 0, 100000, 100000, 256, 256, 13, 0), DemReadRefused);
    EXPECT_EQ(PlanRegionRead(0, 0, 100000, 100000, 256, 256, 13, 12500LL * 12500), DemReadOverview);
    EXPECT_EQ(PlanRegionRead(0, 0, 100000, 100000, 256, 256, 13, 20000LL * 20000), DemReadRefused);
    // Sizes a header may claim, in 64 bits.
    EXPECT_EQ(PlanRegionRead(0, 0, 2147480000, 2, 2147480000, 1, 262144, 0), DemReadRefused);
    EXPECT_EQ(PlanRegionRead(0, 0, 2147480000, 2147480000, 1, 1, 262144, 0), DemReadSampled);
    EXPECT_EQ(DecimatedAxisCost(2147480000, 1, 262144), 8192);
    // A small region is read in whole blocks: a strip of 2147480000 columns
    // is refused for two pixels of it, tiles touched across their edges
    // count whole.
    EXPECT_EQ(PlanRegionRead(1000, 0, 2, 2, 2147480000, 1, 1, 0), DemReadRefused);
    EXPECT_EQ(AxisBlockCost(255, 2, 256), 512);
    EXPECT_EQ(AxisBlockCost(0, 3601, 0), 3601);
    EXPECT_EQ(PlanRegionRead(255, 255, 2, 2, 256, 256, 1, 0), DemReadWhole);
}

TEST(Dem2mapRules, VrtSourcesStayInTheirFolder) {
    Scratch s;
    const std::string dir = s / "vrt";
    std::filesystem::create_directories(dir + "/tiles");
    WriteText(dir + "/a.tif", "tile");
    WriteText(dir + "/tiles/b.tif", "tile");
    WriteText(s / "outside.tif", "tile");
    std::filesystem::create_symlink(s / "outside.tif", dir + "/link.tif");
    std::filesystem::create_symlink(dir + "/a.tif", dir + "/alias.tif");
    const std::string vrt = dir + "/m.vrt";
    const struct {
        std::string text, why; // why: a part of the refusal; empty: accepted
    } cases[] = {
        {Vrt(2, 2,
             {SimpleSource("a.tif", 0, 0, 1, 1), SimpleSource("tiles/b.tif", 1, 0, 1, 1),
              SimpleSource("alias.tif", 0, 1, 1, 1)}),
         ""},
        {Vrt(2, 2,
             {"<simplesource><sourcefilename relativetovrt=\"1\">a.tif</sourcefilename>"
              "</simplesource>"}),
         ""},
        {Vrt(2, 2, {}, " subClass=\"VRTRawRasterBand\""), "raw band"},
        {Vrt(2, 2, {}, " subclass=\"vrtrawrasterband\""), "raw band"},
        {Vrt(2, 2, {"<PixelFunctionLanguage>Python</PixelFunctionLanguage>"},
             " subClass=\"VRTDerivedRasterBand\""),
         "holds code"},
        {Vrt(2, 2, {SimpleSource("../outside.tif", 0, 0, 1, 1)}), "outside the VRT's folder"},
        {Vrt(2, 2, {SimpleSource("link.tif", 0, 0, 1, 1)}), "outside the VRT's folder"},
        {Vrt(2, 2, {SimpleSource(s / "outside.tif", 0, 0, 1, 1, "0")}), "not a path relative"},
        {Vrt(2, 2, {SimpleSource("a.tif", 0, 0, 1, 1, "0")}), "not a path relative"},
        {Vrt(2, 2, {SimpleSource("/vsicurl/http://127.0.0.1:9/a.tif", 0, 0, 1, 1)}),
         "not a path relative"},
        {Vrt(2, 2, {SimpleSource("MEM:::DATAPOINTER=0x1000,PIXELS=2,LINES=2", 0, 0, 1, 1)}),
         "not a path relative"},
        {Vrt(2, 2, {SimpleSource("missing.tif", 0, 0, 1, 1)}), "not a file"},
        {"<VRTDataset subClass=\"VRTPansharpenedDataset\"/>", "of the kind"},
        {"<VRTDataset", "not well-formed"},
    };
    for (const auto &c : cases) {
        std::vector<std::string> sources;
        std::string why;
        const int rc = CheckVrtText(c.text.c_str(), vrt.c_str(), &sources, &why);
        if (c.why.empty()) {
            EXPECT_EQ(rc, 0) << c.text << why;
            for (const std::string &src : sources) {
                EXPECT_EQ(src.rfind(std::filesystem::canonical(dir).string() + "/", 0), 0u) << src;
            }
        } else {
            EXPECT_EQ(rc, -1) << c.text;
            EXPECT_NE(why.find(c.why), std::string::npos) << c.text << " -> " << why;
        }
    }
    EXPECT_TRUE(LooksLikeVrt("  <VRTDataset>", 14));
    EXPECT_FALSE(LooksLikeVrt("II*\0<VRTDataset>", 16)); // as GDAL reads it: up to a zero byte
}

TEST(Dem2mapConfined, NothingPrivateReachesAMap) {
    Scratch s;
    const std::string in = s / "in", out = s / "out", secret = s / "secret";
    std::filesystem::create_directories(in);
    std::filesystem::create_directories(out);
    std::filesystem::create_directories(secret);
    WriteText(secret + "/canary.txt", Canary);
    WriteText(in + "/canary.txt", Canary);
    WriteTile(in + "/tile.tif", 64, 64, 500000, 5100000);
    // Raw bands over a private file and over one beside the VRT, also
    // under a name that says TIFF or BMP.
    const std::string raw = "<VRTDataset rasterXSize=\"5\" rasterYSize=\"5\">"
                            "<VRTRasterBand dataType=\"Byte\" band=\"1\" "
                            "subClass=\"VRTRawRasterBand\"><SourceFilename relativeToVRT=\"0\">" +
                            secret +
                            "/canary.txt</SourceFilename><ImageOffset>0</ImageOffset>"
                            "<PixelOffset>1</PixelOffset><LineOffset>5</LineOffset>"
                            "</VRTRasterBand></VRTDataset>";
    WriteText(in + "/raw.vrt", raw);
    WriteText(in + "/raw.tif", raw);
    WriteText(in + "/raw.bmp", raw);
    std::string beside = raw;
    beside.replace(beside.find(secret + "/canary.txt"), secret.size() + 11, in + "/canary.txt");
    WriteText(in + "/beside.vrt", beside);
    WriteText(in + "/outside.vrt", Vrt(64, 64, {SimpleSource("../secret/canary.txt", 0, 0, 5, 5)}));
    WriteText(in + "/nested.vrt", Vrt(64, 64, {SimpleSource("raw.vrt", 0, 0, 5, 5)}));
    const struct {
        const char *name, *why;
    } cases[] = {
        {"raw.vrt", "raw band"},
        {"raw.tif", "raw band"},
        {"raw.bmp", "raw band"},
        {"beside.vrt", "raw band"},
        {"outside.vrt", "outside the VRT's folder"},
        {"nested.vrt", "itself a VRT"},
    };
    for (const auto &c : cases) {
        const std::string map = out + "/" + c.name + ".bmp";
        std::string args = in + "/";
        args += c.name;
        args += ' ';
        args += map;
        EXPECT_EQ(RunDemTool(VORN_DEM2MAP_BIN, s, args), 1) << c.name;
        EXPECT_NE(ReadFile(s / "err.txt").find(c.why), std::string::npos)
            << c.name << ": " << ReadFile(s / "err.txt");
        EXPECT_FALSE(std::filesystem::exists(map)) << c.name;
    }
    // The worker itself cannot read what lies outside the input's folder,
    // but reads the files beside the input.
    EXPECT_EQ(Steps(s, "open:" + secret + "/canary.txt", in + "/tile.tif " + out + "/tile.bmp"), 0)
        << ReadFile(s / "err.txt");
    EXPECT_NE(ReadFile(s / "out.txt").find("read: "), std::string::npos);
    EXPECT_EQ(Steps(s, "open:" + in + "/canary.txt", in + "/tile.tif " + out + "/again.bmp"), 1);
    EXPECT_NE(ReadFile(s / "err.txt").find("test step: opened"), std::string::npos)
        << ReadFile(s / "err.txt");
    EXPECT_FALSE(AnyFileHolds(out, Canary));

    // A coordinate system whose name would drive the terminal is printed
    // escaped.
    const double gt[6] = {0, 10, 0, 0, 0, -10};
    WriteRaster(in + "/named.tif", "GTiff", 16, 16, GDT_Float32, gt,
                "LOCAL_CS[\"grid \x1b]0;owned\x07\x1b[2J\",UNIT[\"metre\",1]]",
                [](int c, int r) { return c + r; });
    ASSERT_EQ(RunDemTool(VORN_DEM2MAP_BIN, s, in + "/named.tif " + out + "/named.bmp"), 0)
        << ReadFile(s / "err.txt");
    EXPECT_NE(ReadFile(s / "out.txt").find("grid \\x1b]0;owned\\x07\\x1b[2J"), std::string::npos)
        << ReadFile(s / "out.txt");
    EXPECT_EQ(ReadFile(s / "out.txt").find('\x1b'), std::string::npos);
}

TEST(Dem2mapConfined, NoConnectionLeavesTheMachine) {
    Scratch s;
    // A listener on this machine that must see no connection.
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    ASSERT_EQ(listen(listener, 8), 0);
    socklen_t len = sizeof addr;
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr *>(&addr), &len), 0);
    const std::string url = "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port));

    WriteText(s / "curl.vrt",
              Vrt(16, 16, {SimpleSource("/vsicurl/" + url + "/a.tif", 0, 0, 16, 16, "0")}));
    const std::string wms = "<GDAL_WMS><Service name=\"TMS\"><ServerUrl>" + url +
                            "/${z}/${x}/${y}.png</ServerUrl></Service><DataWindow>"
                            "<UpperLeftX>-20037508.34</UpperLeftX><UpperLeftY>20037508.34"
                            "</UpperLeftY><LowerRightX>20037508.34</LowerRightX><LowerRightY>"
                            "-20037508.34</LowerRightY><TileLevel>18</TileLevel><TileCountX>1"
                            "</TileCountX><TileCountY>1</TileCountY><YOrigin>top</YOrigin>"
                            "</DataWindow><Projection>EPSG:3857</Projection><BlockSizeX>256"
                            "</BlockSizeX><BlockSizeY>256</BlockSizeY><BandsCount>1</BandsCount>"
                            "</GDAL_WMS>\n";
    WriteText(s / "service.tif", wms);
    WriteText(s / "via.vrt", Vrt(256, 256, {SimpleSource("service.tif", 0, 0, 256, 256)}));
    for (const char *name : {"curl.vrt", "service.tif", "via.vrt"}) {
        EXPECT_EQ(RunDemTool(VORN_DEM2MAP_BIN, s, s / name + " " + s / "map.bmp"), 1) << name;
        const std::string err = ReadFile(s / "err.txt");
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    }
    EXPECT_FALSE(std::filesystem::exists(s / "map.bmp"));
    EXPECT_FALSE(std::filesystem::exists("gdalwmscache"));
    // GDAL's own standard input is no input.
    EXPECT_EQ(RunDemTool(VORN_DEM2MAP_BIN, s, "/vsistdin/ " + s / "map.bmp" + " </dev/zero"), 1);

    // Even a worker that tries is stopped, and the conversion fails.
    WriteTile(s / "tile.tif", 32, 32, 500000, 5100000);
    EXPECT_EQ(Steps(s, "socket", s / "tile.tif " + s / "map.bmp"), 1);
    EXPECT_NE(ReadFile(s / "err.txt").find("stopped by its system-call filter"), std::string::npos)
        << ReadFile(s / "err.txt");
    EXPECT_FALSE(std::filesystem::exists(s / "map.bmp"));

    sockaddr_in peer = {};
    socklen_t peerLen = sizeof peer;
    EXPECT_LT(accept(listener, reinterpret_cast<sockaddr *>(&peer), &peerLen), 0);
    EXPECT_TRUE(errno == EAGAIN || errno == EWOULDBLOCK);
    close(listener);
}

TEST(Dem2mapConfined, WorkIsBoundedAndRefusalsAreQuick) {
    Scratch s;
    const double noData = -9999;
    // Data in one corner of 40 x 40 of a 1600 x 1600 grid: 99.9 % void.
    WriteRaster(
        s / "void.asc", "AAIGrid", 1600, 1600, GDT_Float32, nullptr, nullptr,
        [&](int c, int r) { return c < 40 && r < 40 ? 100.0 + c : noData; }, &noData);
    // Data in the top 8 % of a 3000 x 3000 grid: filled within reach, the
    // rest at the lowest ground.
    WriteRaster(
        s / "sparse.tif", "GTiff", 3000, 3000, GDT_Float32, nullptr, nullptr,
        [&](int c, int r) { return r < 240 ? 100.0 + c * 0.1 : noData; }, &noData);
    mkfifo((s / "pipe.tif").c_str(), 0600);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(RunDemTool(VORN_DEM2MAP_BIN, s, s / "void.asc " + s / "map.bmp"), 1);
    EXPECT_NE(ReadFile(s / "err.txt").find("99.9 % of the area is void"), std::string::npos)
        << ReadFile(s / "err.txt");
    EXPECT_EQ(RunDemTool(VORN_DEM2MAP_BIN, s, s / "pipe.tif " + s / "map.bmp"), 1);
    EXPECT_NE(ReadFile(s / "err.txt").find("not a regular file"), std::string::npos)
        << ReadFile(s / "err.txt");
    EXPECT_FALSE(std::filesystem::exists(s / "map.bmp"));
    EXPECT_EQ(RunDemTool(VORN_DEM2MAP_BIN, s, s / "sparse.tif " + s / "map.bmp --side 512"), 0)
        << ReadFile(s / "err.txt");
    EXPECT_NE(ReadFile(s / "out.txt").find("set to the lowest ground"), std::string::npos)
        << ReadFile(s / "out.txt");
    // A hang guard, not a measurement.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(100));
}

// The process ids whose parent is pid.
std::vector<pid_t> ChildrenOf(pid_t pid) {
    std::vector<pid_t> children;
    DIR *proc = opendir("/proc");
    while (struct dirent *e = proc ? readdir(proc) : nullptr) {
        const pid_t p = static_cast<pid_t>(atoi(e->d_name));
        const std::string stat = p > 0 ? ReadFile("/proc/" + std::to_string(p) + "/stat") : "";
        const size_t close = stat.rfind(')');
        int ppid = 0;
        char state = 0;
        if (close != std::string::npos &&
            sscanf(stat.c_str() + close + 1, " %c %d", &state, &ppid) == 2 && ppid == pid) {
            children.push_back(p);
        }
    }
    if (proc) {
        closedir(proc);
    }
    return children;
}

bool Running(pid_t pid) {
    const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    const size_t close = stat.rfind(')');
    return close != std::string::npos && stat.size() > close + 2 && stat[close + 2] != 'Z' &&
           stat[close + 2] != 'X';
}

TEST(Dem2mapConfined, SignalsLeaveNoFileAndNoWorker) {
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        Scratch s;
        WriteTile(s / "tile.tif", 32, 32, 500000, 5100000);
        const pid_t tool = fork();
        ASSERT_GE(tool, 0);
        if (tool == 0) {
            setenv("DEM2MAP_TEST_STEP", "stall", 1);
            const std::string in = s / "tile.tif", out = s / "map.bmp";
            execl(VORN_DEM2MAP_STEPS_BIN, VORN_DEM2MAP_STEPS_BIN, in.c_str(), out.c_str(),
                  static_cast<char *>(nullptr));
            _exit(127);
        }
        // The stalled worker stands for a long conversion: wait for it (the
        // check worker before it ends by itself).
        std::vector<pid_t> workers;
        for (int i = 0; i < 200 && workers.empty(); ++i) { // a hang guard
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            std::vector<pid_t> seen = ChildrenOf(tool);
            if (seen.size() == 1 && Running(seen[0]) && TempFiles(s.dir) == 1) {
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                if (ChildrenOf(tool) == seen) {
                    workers = seen;
                }
            }
        }
        ASSERT_FALSE(workers.empty());
        EXPECT_EQ(TempFiles(s.dir), 1);
        kill(tool, sig);
        int status = 0;
        ASSERT_EQ(waitpid(tool, &status, 0), tool);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << status;
        EXPECT_EQ(TempFiles(s.dir), 0) << sig;
        EXPECT_FALSE(std::filesystem::exists(s / "map.bmp"));
        for (pid_t w : workers) {
            bool gone = false;
            for (int i = 0; i < 1000 && !gone; ++i) { // a hang guard
                gone = !Running(w);
                if (!gone) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                }
            }
            EXPECT_TRUE(gone) << "worker " << w << " still runs after signal " << sig;
        }
    }
}

TEST(Dem2mapConfined, RealFilesStillConvert) {
    Scratch s;
    std::filesystem::create_directories(s / "mosaic/east");
    WriteTile(s / "mosaic/west.tif", 100, 120, 500000, 5100000);
    WriteTile(s / "mosaic/east/east.tif", 100, 120, 503000, 5100000);
    // A mosaic as a VRT names its tiles beside it, relative to it.
    std::string vrt = Vrt(200, 120,
                          {SimpleSource("west.tif", 0, 0, 100, 120),
                           SimpleSource("east/east.tif", 100, 0, 100, 120)});
    vrt.insert(vrt.find('>') + 1, "\n  <SRS>EPSG:32632</SRS>\n  <GeoTransform>500000, 30, 0, "
                                  "5100000, 0, -30</GeoTransform>");
    WriteText(s / "mosaic/m.vrt", vrt);
    // A 3-second SRTM tile with a block of voids, and an ASCII grid.
    const double gt[6] = {7 - 1.0 / 2400, 1.0 / 1200, 0, 47 + 1.0 / 2400, 0, -1.0 / 1200};
    const double noData = -32768;
    WriteRaster(
        s / "N46E007.hgt", "SRTMHGT", 1201, 1201, GDT_Int16, gt, "EPSG:4326",
        [&](int c, int r) { return c >= 560 && c < 640 && r < 80 ? noData : 1000.0 + c + r; },
        &noData);
    WriteRaster(s / "grid.asc", "AAIGrid", 50, 40, GDT_Float32, nullptr, nullptr,
                [](int c, int r) { return 10.0 * c + r; });
    WriteTile(s / "tile.tif", 80, 80, 500000, 5100000);
    const struct {
        std::string input, expect;
    } cases[] = {
        {s / "mosaic/m.vrt",
         "read: " + std::filesystem::canonical(s / "mosaic/east/east.tif").string()},
        {s / "N46E007.hgt", "voids filled: 6400"},
        {s / "grid.asc", "map: 40 x 40"},
        {s / "tile.tif", "map: 80 x 80"},
    };
    for (const auto &c : cases) {
        ASSERT_EQ(RunDemTool(VORN_DEM2MAP_BIN, s, c.input + " " + s / "map.bmp"), 0)
            << c.input << ": " << ReadFile(s / "err.txt");
        const std::string out = ReadFile(s / "out.txt");
        EXPECT_NE(out.find(c.expect), std::string::npos) << out;
        EXPECT_EQ(ReadFile(s / "err.txt"), "");
        EXPECT_TRUE(std::filesystem::exists(s / "map.bmp"));
        std::filesystem::remove(s / "map.bmp");
    }
}

} // namespace
