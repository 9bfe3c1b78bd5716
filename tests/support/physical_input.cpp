#include "tests/support/physical_input.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>

#include <string>

struct PhysicalInput {
    Display* display = nullptr;
    XDevice* keyboard = nullptr;
    XDevice* mouse = nullptr;
};

PhysicalInput* OpenPhysicalInput() {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return nullptr;
    auto* input = new PhysicalInput{display};
    int count = 0;
    XIDeviceInfo* devices = XIQueryDevice(display, XIAllDevices, &count);
    for (int i = 0; i < count; ++i) {
        const std::string name = devices[i].name;
        if (name != "Xvfb keyboard" && name != "Xvfb mouse") continue;
        (name == "Xvfb mouse" ? input->mouse : input->keyboard) =
            XOpenDevice(display, XID(devices[i].deviceid));
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

static void PhysicalMotion(PhysicalInput* input, bool relative, int x, int y) {
    int axes[2] = {x, y};
    XTestFakeDeviceMotionEvent(input->display, input->mouse, relative, 0, axes, 2, CurrentTime);
    XSync(input->display, False);
}

void PhysicalMoveTo(PhysicalInput* input, int x, int y) { PhysicalMotion(input, false, x, y); }

void PhysicalMoveBy(PhysicalInput* input, int dx, int dy) { PhysicalMotion(input, true, dx, dy); }

int PhysicalKeyboardId(PhysicalInput* input) { return int(input->keyboard->device_id); }
int PhysicalPointerId(PhysicalInput* input) { return int(input->mouse->device_id); }
