// The resource limits of a confined child (an image decoder, the elevation
// converter's workers). They act on the calling process for the rest of its
// life, so only a freshly forked child sets them.
#pragma once

// Sets processor time (seconds), memory (bytes of address space, or in a
// sanitized build that much data beyond what the process held when it was
// forked), no core files and no data written to files. Returns 0, or -1
// when one could not be set.
int SetChildLimits(long cpuSeconds, long long memoryBytes);
