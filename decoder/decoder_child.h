// The confinement of a decoder child, inside the decoder: its resource limits
// and its system-call filter. Both act on the calling process for the rest of
// its life, so only a freshly forked child calls them.
#pragma once

// Sets the child's limits: processor time, memory, no core files, no file
// writes. Returns 0, or -1 when one could not be set.
int SetDecoderChildLimits();

// Puts the system-call filter in force: from then on the child may use memory,
// read and write its open descriptors and exit; anything else (opening files,
// sockets, exec, new processes) ends it with SIGSYS. Returns 0, or -1 when the
// filter could not be loaded.
int InstallDecoderChildFilter();
