// The debug log: every message of the viewer goes to one stream on "debug.txt".
#pragma once

#include <cstdio>

// The log stream. Never null once OpenDebugLog has run: when the file cannot
// be created the stream discards what is written to it.
extern FILE *DebugLog;

// Opens the log on the given file, truncating it. When the file cannot be
// created, says so on standard error and points DebugLog at a stream that
// discards everything. Returns 0 when the file is open, -1 when discarding.
int OpenDebugLog(const char *path);
