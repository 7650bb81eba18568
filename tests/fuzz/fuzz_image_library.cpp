// libFuzzer harness over the image library itself, in-process, as the viewer
// once used it: finds the files that crash, hang or exhaust it. Its findings
// are kept as hostile test images for the isolated decoder; it is run by
// hand (scripts/fuzz-image-library), never by the tests.
#include <SDL/SDL.h>
#include <SDL/SDL_image.h>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
    SDL_RWops *source = SDL_RWFromConstMem(bytes, static_cast<int>(size));
    if (!source) {
        return 0;
    }
    SDL_Surface *surface = IMG_Load_RW(source, 1);
    SDL_FreeSurface(surface);
    return 0;
}
