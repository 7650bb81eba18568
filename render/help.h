// The help panel: one image drawn as a flat rectangle over the scene.
#pragma once

// 1 while the panel is shown; the help key flips it.
extern int helpVisible;

// Compiles display list HelpListId, which loads "textures/help.bmp" into a
// texture and draws it over x HelpLeft..HelpRight, y HelpBottom..HelpTop of
// the window. A missing or unusable
// image is logged and leaves a plain white panel; it never stops start-up.
void BuildHelpOverlay();
