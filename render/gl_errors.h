// The GL error drain, shared by everything that issues GL calls at start-up.
#pragma once

// Logs every pending GL error. Returns 1 when there was one, else 0.
int DrainGlErrors();
