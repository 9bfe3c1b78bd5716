#include "platform/x11/ewmh_x11.h"

#include <X11/Xatom.h>

namespace {

std::vector<long> ReadLongs(Display* display, Window window, const char* property, Atom type) {
    std::vector<long> values;
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, XInternAtom(display, property, False), 0, 1024, False,
                           type, &actualType, &format, &count, &after, &data) == Success &&
        data && actualType == type && format == 32) {
        // Xlib hands 32-bit items back as longs.
        const auto* items = reinterpret_cast<const long*>(data);
        values.assign(items, items + count);
    }
    if (data) XFree(data);
    return values;
}

}  // namespace

std::vector<long> ReadCardinals(Display* display, Window window, const char* property) {
    return ReadLongs(display, window, property, XA_CARDINAL);
}

std::vector<Atom> ReadAtoms(Display* display, Window window, const char* property) {
    const std::vector<long> values = ReadLongs(display, window, property, XA_ATOM);
    return std::vector<Atom>(values.begin(), values.end());
}

void WriteAtoms(Display* display, Window window, const char* property,
                const std::vector<Atom>& atoms) {
    const std::vector<long> items(atoms.begin(), atoms.end());
    XChangeProperty(display, window, XInternAtom(display, property, False), XA_ATOM, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(items.data()),
                    static_cast<int>(items.size()));
}

void SendToWindowManager(Display* display, Window window, const char* type, long l0, long l1,
                         long l2, long l3) {
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, type, False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = l0;
    event.xclient.data.l[1] = l1;
    event.xclient.data.l[2] = l2;
    event.xclient.data.l[3] = l3;
    XSendEvent(display, DefaultRootWindow(display), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(display);
}
