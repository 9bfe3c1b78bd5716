#include "platform/input.h"

namespace {
// GTK's default until the desktop's own setting is read at start-up.
std::atomic<double> g_DoubleClickSeconds{0.4};
}  // namespace

void PlatformMouseButtonUp(int button) { OsMouseButton(button, false, 1); }

double PlatformDoubleClickSeconds() { return g_DoubleClickSeconds.load(); }

void OsSetDoubleClickSeconds(double seconds) {
    if (seconds > 0.0 && seconds < 10.0) g_DoubleClickSeconds.store(seconds);
}
