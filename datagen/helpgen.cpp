// helpgen: writes the viewer's help panel as a 32-bit BMP with alpha.
//
//   helpgen OUT.bmp REGULAR.ttf BOLD.ttf
//
// REGULAR.ttf and BOLD.ttf are the regular and bold faces of one font
// family. The image is HelpWidth x HelpHeight; the same fonts always give
// the same file. Prints nothing on success; on failure prints one line to
// stderr and exits with status 1.
#include <cstdio>

#include <vector>

#include "app/version.h"
#include "datagen/bmpfile.h"
#include "datagen/helpgen_lib.h"

int main(int argc, char **argv) {
    if (argc != 4 || argv[1][0] == '\0') {
        fprintf(stderr, "usage: helpgen OUT.bmp REGULAR.ttf BOLD.ttf\n");
        return 1;
    }
    std::vector<unsigned char> pixels(static_cast<size_t>(HelpWidth) * HelpHeight * 4);
    HelpCanvas canvas = {HelpWidth, HelpHeight, pixels.data()};
    if (RenderHelpPanel(argv[2], argv[3], "vorn " VORN_VERSION_STRING " \xE2\x80\x94 controls",
                        &canvas) != 0) {
        fprintf(stderr, "helpgen: cannot open the fonts '%s' and '%s'\n", argv[2], argv[3]);
        return 1;
    }
    if (WriteBmp(argv[1], HelpWidth, HelpHeight, 4, pixels.data()) != 0) {
        fprintf(stderr, "helpgen: cannot write '%s'\n", argv[1]);
        return 1;
    }
    return 0;
}
