// Asks an X window to close, as a window manager's close button does: sends
// it a WM_DELETE_WINDOW client message. Usage: xclose WINDOW_ID
#include <X11/Xlib.h>
#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: xclose WINDOW_ID\n");
        return 2;
    }
    Window window = static_cast<Window>(strtoul(argv[1], nullptr, 0));
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        fprintf(stderr, "xclose: cannot open the display\n");
        return 1;
    }
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
    XCloseDisplay(display);
    return 0;
}
