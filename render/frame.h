// Drawing of one frame.
#pragma once

// Draws one whole frame and shows it.
void DrawFrame();
