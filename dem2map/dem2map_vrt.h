// The rules a VRT must keep before the converter lets GDAL open it: every
// source a relative path to a regular file inside the VRT's own folder,
// symbolic links followed, no raw bands, no code, only the plain and warped
// kinds of VRT. A mosaic of tiles beside its .vrt keeps them all.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// 1 when the first bytes of a file (head[0..size-1]) are those of a VRT,
// as GDAL itself tells one: "<VRTDataset" among them.
int LooksLikeVrt(const char *head, size_t size);

// Checks the VRT document text (of the file at vrtPath) against the rules.
// Returns 0 with the real paths of its sources in *sources, or -1 with the
// rule it breaks, and what to do instead, in *why.
int CheckVrtText(const char *text, const char *vrtPath, std::vector<std::string> *sources,
                 std::string *why);
