#include "tests/support/physical_input.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>

#include <cstring>

struct PhysicalInput {
    Display* display = nullptr;
    XDevice* keyboard = nullptr;
    XDevice* mouse = nullptr;
    int keyboardId = -1;
    int pointerId = -1;
};

PhysicalInput* OpenPhysicalInput() {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return nullptr;
    auto* input = new PhysicalInput{display};
    int count = 0;
    XIDeviceInfo* devices = XIQueryDevice(display, XIAllDevices, &count);
    for (int i = 0; i < count; ++i) {
        const bool keyboard = std::strcmp(devices[i].name, "Xvfb keyboard") == 0;
        const bool mouse = std::strcmp(devices[i].name, "Xvfb mouse") == 0;
        if (keyboard) input->keyboardId = devices[i].deviceid;
        if (mouse) input->pointerId = devices[i].deviceid;
        if (keyboard || mouse) {
            (keyboard ? input->keyboard : input->mouse) =
                XOpenDevice(display, XID(devices[i].deviceid));
        }
    }
    XIFreeDeviceInfo(devices);
    if (input->keyboard && input->mouse) return input;
    ClosePhysicalInput(input);
    return nullptr;
}

void ClosePhysicalInput(PhysicalInput* input) {
    if (!input) return;
    if (input->keyboard) XCloseDevice(input->display, input->keyboard);
    if (input->mouse) XCloseDevice(input->display, input->mouse);
    XCloseDisplay(input->display);
    delete input;
}

void PhysicalKey(PhysicalInput* input, int keyCode, bool down) {
    XTestFakeDeviceKeyEvent(input->display, input->keyboard, unsigned(keyCode), down, nullptr, 0,
                            CurrentTime);
    XSync(input->display, False);
}

void PhysicalTap(PhysicalInput* input, int keyCode) {
    PhysicalKey(input, keyCode, true);
    PhysicalKey(input, keyCode, false);
}

void PhysicalButton(PhysicalInput* input, int button, bool down) {
    XTestFakeDeviceButtonEvent(input->display, input->mouse, unsigned(button), down, nullptr, 0,
                               CurrentTime);
    XSync(input->display, False);
}

void PhysicalClick(PhysicalInput* input, int button) {
    PhysicalButton(input, button, true);
    PhysicalButton(input, button, false);
}

namespace {

void PhysicalMotion(PhysicalInput* input, bool relative, int x, int y) {
    int axes[2] = {x, y};
    XTestFakeDeviceMotionEvent(input->display, input->mouse, relative, 0, axes, 2, CurrentTime);
    XSync(input->display, False);
}

}  // namespace

void PhysicalMoveTo(PhysicalInput* input, int x, int y) { PhysicalMotion(input, false, x, y); }

void PhysicalMoveBy(PhysicalInput* input, int dx, int dy) { PhysicalMotion(input, true, dx, dy); }

int PhysicalKeyboardId(PhysicalInput* input) { return input->keyboardId; }
int PhysicalPointerId(PhysicalInput* input) { return input->pointerId; }
