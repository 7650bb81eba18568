// The confinement of the converter's worker processes: their limits, the
// GDAL drivers they keep, the files they may read (Landlock) and the system
// calls they may make (seccomp). Each acts on the calling process for the
// rest of its life, so only a freshly forked worker calls them.
#pragma once

#include <string>
#include <vector>

// Limits of the worker that converts: a full-resolution conversion of a
// one-degree tile takes a few seconds of processor time here, the largest
// region the converter reads well under a minute.
constexpr long DemCpuSeconds = 60;
constexpr int DemWallSeconds = 120;
constexpr long long DemMemoryBytes = 3LL << 30;
// Limits of the worker that checks a VRT before GDAL opens it.
constexpr long DemCheckCpuSeconds = 10;
constexpr int DemCheckWallSeconds = 20;
constexpr long long DemCheckMemoryBytes = 1LL << 30;
// At most this many files of the input's folder are opened to the worker;
// in a larger folder, only those whose names begin as the input's does.
constexpr size_t DemMaxFolderFiles = 4096;

// The regular files directly in the folder of input (not in its subfolders,
// and no link that leads out of it), by their real paths.
void ListFolderFiles(const char *input, std::vector<std::string> *files);

// The folders of GDAL's and PROJ's own data that exist.
void ListLibraryData(std::vector<std::string> *folders);

// Deregisters every GDAL driver but those of DemAllowedDrivers.
void KeepLocalRasterDrivers();

// Limits reads to the files (and their targets) and to the folders' trees,
// and allows no writes, no TCP and no signals or abstract sockets outside
// the process. Returns the kernel's Landlock version in force, 0 when the
// kernel has no Landlock, -1 when it could not be put in force.
int RestrictFileAccess(const std::vector<std::string> &files,
                       const std::vector<std::string> &folders);

// Puts the system-call filter in force: no sockets, no exec, no new
// processes (threads stay), no tracing, no kernel keys or modules; files
// open only for reading, and nothing on the file system is created, renamed
// or removed. Returns 0, or -1 when it could not be loaded.
int InstallConverterFilter();
