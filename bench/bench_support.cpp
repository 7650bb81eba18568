#include "bench/bench_support.h"

#include "datagen/bmpfile.h"
#include "datagen/heightgen.h"

#include <benchmark/benchmark.h>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

static int WriteMap(const std::string &path, int side) {
    std::vector<unsigned char> heights(static_cast<size_t>(side) * side);
    if (GenerateHeightMap(side, 1, 1, heights.data()) != 0) {
        return -1;
    }
    return WriteBmp(path.c_str(), side, side, 1, heights.data());
}

std::string EnterBenchDirectoryWithMaps(std::initializer_list<int> sides) {
    char pattern[] = "/tmp/vorn-bench-XXXXXX";
    if (!mkdtemp(pattern) || chdir(pattern) != 0 || mkdir("maps", 0755) != 0) {
        return {};
    }
    for (int side : sides) {
        if (WriteMap("maps/bench" + std::to_string(side) + ".bmp", side) != 0) {
            return {};
        }
    }
    return pattern;
}

int RunBenchmarksOnMaps(int argc, char **argv, std::initializer_list<int> sides) {
    if (EnterBenchDirectoryWithMaps(sides).empty()) {
        fprintf(stderr, "could not make the benchmark maps\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

std::string EnterScratchWithData(const char *program) {
    char here[PATH_MAX];
    if (!getcwd(here, sizeof here)) {
        return {};
    }
    struct stat info;
    if (stat("maps/mapa1024.bmp", &info) != 0) {
        fprintf(stderr, "%s: run it in the build directory (no maps/mapa1024.bmp)\n", program);
        return {};
    }
    char pattern[] = "/tmp/vorn-startup-XXXXXX";
    if (!mkdtemp(pattern)) {
        return {};
    }
    for (const char *dir : {"maps", "textures", "fonts"}) {
        const std::string from = std::string(here) + "/" + dir;
        const std::string to = std::string(pattern) + "/" + dir;
        if (symlink(from.c_str(), to.c_str()) != 0) {
            return {};
        }
    }
    if (chdir(pattern) != 0) {
        return {};
    }
    return pattern;
}

void LeaveScratch(const std::string &dir) {
    for (const char *name : {"maps", "textures", "fonts", "debug.txt"}) {
        unlink((dir + "/" + name).c_str());
    }
    rmdir(dir.c_str());
}
