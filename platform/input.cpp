#include "platform/input.h"

namespace {
// GTK's default until the desktop's own setting is read at start-up.
std::atomic<double> g_DoubleClickSeconds{0.4};
}  // namespace

// A release of a button we do not hold would still reach every raw-event listener.
void PlatformMouseButtonUp(int button) {
    if (OsHoldsButton(button)) OsMouseButton(button, false, 1);
}

double PlatformDoubleClickSeconds() { return g_DoubleClickSeconds.load(); }

void OsSetDoubleClickSeconds(double seconds) {
    if (seconds > 0.0 && seconds < 10.0) g_DoubleClickSeconds.store(seconds);
}
