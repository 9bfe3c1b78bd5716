// A window of another program for the tests: it takes the focus and prints every key and button
// event it receives, one line each ("KeyPress 72", "ButtonRelease 1"), flushed at once.
//
//   qln_probe_window X Y WIDTH HEIGHT
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <unistd.h>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 5) return 2;
    Display* display = XOpenDisplay(nullptr);
    if (!display) return 1;
    const int x = std::atoi(argv[1]), y = std::atoi(argv[2]);
    const unsigned width = unsigned(std::atoi(argv[3])), height = unsigned(std::atoi(argv[4]));
    const Window root = DefaultRootWindow(display);
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.event_mask =
        KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask | StructureNotifyMask;
    const Window window =
        XCreateWindow(display, root, x, y, width, height, 0, CopyFromParent, InputOutput,
                      CopyFromParent, CWOverrideRedirect | CWEventMask, &attributes);
    const unsigned long pid = static_cast<unsigned long>(getpid());
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_PID", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(&pid), 1);
    XMapRaised(display, window);
    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == MapNotify) {
            XSetInputFocus(display, window, RevertToPointerRoot, CurrentTime);
            XSync(display, False);
            std::printf("Ready\n");
        } else if (event.type == KeyPress || event.type == KeyRelease) {
            std::printf("%s %u\n", event.type == KeyPress ? "KeyPress" : "KeyRelease",
                        event.xkey.keycode);
        } else if (event.type == ButtonPress || event.type == ButtonRelease) {
            std::printf("%s %u\n", event.type == ButtonPress ? "ButtonPress" : "ButtonRelease",
                        event.xbutton.button);
        }
        std::fflush(stdout);
    }
}
