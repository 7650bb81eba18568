// Starts the image decoder service before the test program's main, while the
// process still has one thread: the GL driver starts threads once a window
// opens, and the images of a GL test are loaded after that.
#include "decoder/image_decoder.h"

[[maybe_unused]] static const int imageServiceStarted = StartImageDecoder();
