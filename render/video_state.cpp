#include "render/video_state.h"

VideoState videoState;
