#include "bench/bench_support.h"

#include "app/world.h"
#include "datagen/bmpfile.h"
#include "datagen/heightgen.h"
#include "datagen/pngfile.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

int WriteBenchMap(const std::string &path, int side) {
    std::vector<unsigned char> heights(static_cast<size_t>(side) * side);
    if (GenerateHeightMap(side, 1, 1, heights.data()) != 0) {
        return -1;
    }
    return WriteBmp(path.c_str(), side, side, 1, heights.data());
}

int WriteBenchMap16(const std::string &path, int side) {
    std::vector<unsigned char> heights(static_cast<size_t>(side) * side);
    if (GenerateHeightMap(side, 1, 1, heights.data()) != 0) {
        return -1;
    }
    std::vector<uint16_t> levels(heights.size());
    for (size_t i = 0; i < heights.size(); ++i) {
        levels[i] = static_cast<uint16_t>(LevelsPerStep16 * heights[i]);
    }
    return WriteGreyPng16(path.c_str(), side, levels.data());
}

std::string EnterBenchDirectoryWithMaps(std::initializer_list<int> sides) {
    char pattern[] = "/tmp/vorn-bench-XXXXXX";
    if (!mkdtemp(pattern) || chdir(pattern) != 0 || mkdir("maps", 0755) != 0) {
        return {};
    }
    for (int side : sides) {
        if (WriteBenchMap("maps/bench" + std::to_string(side) + ".bmp", side) != 0) {
            return {};
        }
    }
    return pattern;
}

int RunBenchmarksHere(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

int RunBenchmarksOnMaps(int argc, char **argv, std::initializer_list<int> sides) {
    if (EnterBenchDirectoryWithMaps(sides).empty()) {
        fprintf(stderr, "could not make the benchmark maps\n");
        return 1;
    }
    return RunBenchmarksHere(argc, argv);
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

std::string ProgramDirectory() {
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) {
        return {};
    }
    self[length] = '\0';
    std::string dir = self;
    dir.erase(dir.rfind('/'));
    return dir;
}

double RunToFirstFrame(const std::string &path, const std::vector<std::string> &args,
                       std::string *output) {
    output->clear();
    int out[2];
    if (pipe(out) != 0) {
        return -1;
    }
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(path.c_str()));
    for (const std::string &arg : args) {
        argv.push_back(const_cast<char *>(arg.c_str()));
    }
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child < 0) {
        close(out[0]);
        close(out[1]);
        return -1;
    }
    if (child == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        execv(path.c_str(), argv.data());
        _exit(127);
    }
    close(out[1]);
    char buffer[256];
    ssize_t n;
    double seconds = -1;
    while ((n = read(out[0], buffer, sizeof buffer)) > 0) {
        output->append(buffer, static_cast<size_t>(n));
        if (seconds < 0 && output->find("first frame\n") != std::string::npos) {
            seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
    }
    close(out[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1;
}
