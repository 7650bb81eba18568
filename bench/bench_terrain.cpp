// The terrain's cost on generated maps of 1024, 4096 and 8192 on a side:
// frame_vorn with the chunks and with the whole map as one list (where it
// fits), run in turns in one run, and the floor's first frame at 1024. Prints
// one table: time to the first frame, median and 99th-percentile frame at
// the start view and along a scripted flight, triangles drawn, list memory
// and the peak resident size of the viewer and of its helper processes. The
// 4096 map also runs as its 16-bit twin (its levels times 257, a PNG), which
// draws the same picture from samples twice the size.
//
//   bench_terrain [ROUNDS]     (in the build directory, on an X display)
#include "bench/bench_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

// Bytes a vertex takes in a display list of this GL driver, measured as the
// growth of the resident size over a whole-map list (see the closing figures
// of the benchmark).
static const int ListBytesPerVertex = 48;

// Replaces the scratch directory's link to the build's maps by a folder of
// generated maps. Returns 1 when all were written.
static bool MakeBenchMaps(std::initializer_list<int> sides) {
    if (unlink("maps") != 0 || mkdir("maps", 0755) != 0) {
        return false;
    }
    for (int side : sides) {
        if (WriteBenchMap("maps/bench" + std::to_string(side) + ".bmp", side) != 0) {
            return false;
        }
    }
    return WriteBenchMap16("maps/bench4096.png", 4096) == 0;
}

static void RemoveBenchMaps(std::initializer_list<int> sides) {
    for (int side : sides) {
        unlink(("maps/bench" + std::to_string(side) + ".bmp").c_str());
    }
    unlink("maps/bench4096.png");
    rmdir("maps");
}

struct Run {
    double firstSeconds = -1;
    double stillMedian = 0, stillP99 = 0, flightMedian = 0, flightP99 = 0;
    long stillTriangles = 0, flightTriangles = 0;
    long listVertices = 0, listVerticesAfterFlight = 0;
    long viewerKb = 0, helperKb = 0;
    int waiting = 0, fullAfter = 0;
};

// Reads frame_vorn's figures from its output.
static int ParseRun(const std::string &said, Run *run) {
    std::istringstream in(said);
    std::string word;
    int found = 0;
    while (in >> word) {
        size_t count;
        double ignored;
        long compiled;
        if (word == "first") {
            std::string rest;
            in >> rest;
            if (rest == "frame") {
                continue;
            }
            in >> word >> run->waiting >> word >> run->fullAfter;
            ++found;
        } else if (word == "still") {
            in >> count >> run->stillMedian >> run->stillP99 >> run->stillTriangles >> ignored >>
                compiled;
            ++found;
        } else if (word == "flight") {
            in >> count >> run->flightMedian >> run->flightP99 >> run->flightTriangles >> ignored >>
                compiled;
            ++found;
        } else if (word == "lists") {
            in >> run->listVertices >> run->listVerticesAfterFlight >> word >> compiled;
            ++found;
        } else if (word == "rss") {
            in >> run->viewerKb >> run->helperKb;
            ++found;
        }
    }
    return found == 5 ? 0 : -1;
}

// A virtual display refuses a connection now and then: a run that shows no
// frame is tried again, twice at most.
static double RunWithRetries(const std::string &path, const std::vector<std::string> &args,
                             std::string *said) {
    double seconds = -1;
    for (int attempt = 0; attempt < 3 && seconds < 0; ++attempt) {
        seconds = RunToFirstFrame(path, args, said);
    }
    return seconds;
}

// A row's name in the table: side and mode, "16-bit" for the twin.
static std::string Key(int side, const char *mode, bool deep) {
    return std::to_string(side) + " " + mode + (deep ? " 16-bit" : "");
}

static double Median(std::vector<double> v) {
    if (v.empty()) {
        return -1;
    }
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

int main(int argc, char **argv) {
    const int rounds = argc >= 2 ? atoi(argv[1]) : 2;
    if (!getenv("DISPLAY")) {
        fprintf(stderr, "bench_terrain: needs an X display\n");
        return 1;
    }
    const std::string programs = ProgramDirectory();
    const std::string scratch = EnterScratchWithData("bench_terrain");
    if (programs.empty() || scratch.empty()) {
        return 1;
    }
    // The generated maps go beside the links to the build's data.
    if (!MakeBenchMaps({1024, 4096, 8192})) {
        fprintf(stderr, "bench_terrain: could not make the maps\n");
        RemoveBenchMaps({1024, 4096, 8192});
        LeaveScratch(scratch);
        return 1;
    }
    struct Case {
        int side;
        const char *mode;
        int still, flight;
        bool deep; // the 16-bit twin
    };
    const Case cases[] = {{1024, "whole", 60, 60, false},  {1024, "chunks", 60, 300, false},
                          {4096, "whole", 10, 10, false},  {4096, "chunks", 60, 300, false},
                          {4096, "chunks", 60, 300, true}, {8192, "chunks", 60, 300, false}};
    std::map<std::string, std::vector<Run>> runs;
    std::vector<double> floorSeconds;
    int status = 0;
    for (int round = 0; round < rounds; ++round) {
        std::string said;
        const double floor = RunWithRetries(programs + "/startup_floor", {"bench1024.bmp"}, &said);
        if (floor > 0) {
            floorSeconds.push_back(floor);
        }
        for (const Case &c : cases) {
            const std::string map = "bench" + std::to_string(c.side) + (c.deep ? ".png" : ".bmp");
            Run run;
            run.firstSeconds = RunWithRetries(
                programs + "/frame_vorn",
                {map, c.mode, std::to_string(c.still), std::to_string(c.flight)}, &said);
            if (run.firstSeconds < 0 || ParseRun(said, &run) != 0) {
                fprintf(stderr, "bench_terrain: %s %s failed\n", map.c_str(), c.mode);
                status = 1;
                continue;
            }
            runs[Key(c.side, c.mode, c.deep)].push_back(run);
        }
    }

    printf("floor first frame at 1024: %.0f ms (median of %zu)\n", Median(floorSeconds) * 1000,
           floorSeconds.size());
    printf("%-19s %8s %8s %8s %8s %8s %10s %10s %9s %8s %8s\n", "map", "first", "still", "still99",
           "flight", "flight99", "triangles", "lists", "viewer", "helper", "sharp");
    printf("%-19s %8s %8s %8s %8s %8s %10s %10s %9s %8s %8s\n", "", "ms", "ms", "ms", "ms", "ms",
           "still", "MB est.", "MB", "MB", "frames");
    for (const Case &c : cases) {
        const std::string key = Key(c.side, c.mode, c.deep);
        const std::vector<Run> &list = runs[key];
        if (list.empty()) {
            continue;
        }
        std::vector<double> first, still, still99, flight, flight99, viewer, helper;
        for (const Run &r : list) {
            first.push_back(r.firstSeconds * 1000);
            still.push_back(r.stillMedian);
            still99.push_back(r.stillP99);
            flight.push_back(r.flightMedian);
            flight99.push_back(r.flightP99);
            viewer.push_back(static_cast<double>(r.viewerKb) / 1024);
            helper.push_back(static_cast<double>(r.helperKb) / 1024);
        }
        const Run &last = list.back();
        printf("%-19s %8.0f %8.1f %8.1f %8.1f %8.1f %10ld %10.0f %9.0f %8.0f %8d\n", key.c_str(),
               Median(first), Median(still), Median(still99), Median(flight), Median(flight99),
               last.stillTriangles,
               static_cast<double>(std::max(last.listVertices, last.listVerticesAfterFlight)) *
                   ListBytesPerVertex / 1e6,
               Median(viewer), Median(helper), last.fullAfter);
    }
    printf("(medians of %d rounds run in turns; lists: vertices held x %d bytes; sharp: frames "
           "until every chunk drew the level it asked for; whole-list rows hold the whole map)\n",
           rounds, ListBytesPerVertex);
    RemoveBenchMaps({1024, 4096, 8192});
    LeaveScratch(scratch);
    return status;
}
