// Changes a property of the X root window over and over, as a busy desktop
// does, so that every client that listens to the root window gets a stream
// of PropertyNotify events. Usage: x_flood_root_properties COUNT
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: x_flood_root_properties COUNT\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return 1;
    const Window root = DefaultRootWindow(display);
    const Atom property = XInternAtom(display, "VANTREL_TEST_FLOOD", False);
    const long count = std::atol(argv[1]);
    for (long i = 0; i < count; ++i) {
        const long value = i;
        XChangeProperty(display, root, property, XA_INTEGER, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&value), 1);
        // A round trip now and then keeps our own request queue short.
        if (i % 10000 == 9999)
            XSync(display, False);
    }
    XDeleteProperty(display, root, property);
    XSync(display, False);
    XCloseDisplay(display);
    return 0;
}
