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
    int mouseId = -1;
};

namespace {
void FindDevices(PhysicalInput& input) {
    int count = 0;
    XIDeviceInfo* devices = XIQueryDevice(input.display, XIAllDevices, &count);
    for (int i = 0; i < count; ++i) {
        if (std::strcmp(devices[i].name, "Xvfb keyboard") == 0)
            input.keyboardId = devices[i].deviceid;
        if (std::strcmp(devices[i].name, "Xvfb mouse") == 0) input.mouseId = devices[i].deviceid;
    }
    XIFreeDeviceInfo(devices);
}
}  // namespace

PhysicalInput* OpenPhysicalInput() {
    auto* input = new PhysicalInput;
    input->display = XOpenDisplay(nullptr);
    if (!input->display) {
        delete input;
        return nullptr;
    }
    FindDevices(*input);
    if (input->keyboardId >= 0) input->keyboard = XOpenDevice(input->display, input->keyboardId);
    if (input->mouseId >= 0) input->mouse = XOpenDevice(input->display, input->mouseId);
    if (!input->keyboard || !input->mouse) {
        ClosePhysicalInput(input);
        return nullptr;
    }
    return input;
}

void ClosePhysicalInput(PhysicalInput* input) {
    if (!input) return;
    if (input->keyboard) XCloseDevice(input->display, input->keyboard);
    if (input->mouse) XCloseDevice(input->display, input->mouse);
    XCloseDisplay(input->display);
    delete input;
}

void PhysicalKey(PhysicalInput* input, int keyCode, bool down) {
    XTestFakeDeviceKeyEvent(input->display, input->keyboard, static_cast<unsigned>(keyCode),
                            down ? True : False, nullptr, 0, CurrentTime);
    XSync(input->display, False);
}

void PhysicalTap(PhysicalInput* input, int keyCode) {
    PhysicalKey(input, keyCode, true);
    PhysicalKey(input, keyCode, false);
}

void PhysicalButton(PhysicalInput* input, int button, bool down) {
    XTestFakeDeviceButtonEvent(input->display, input->mouse, static_cast<unsigned>(button),
                               down ? True : False, nullptr, 0, CurrentTime);
    XSync(input->display, False);
}

void PhysicalClick(PhysicalInput* input, int button) {
    PhysicalButton(input, button, true);
    PhysicalButton(input, button, false);
}

void PhysicalMoveTo(PhysicalInput* input, int x, int y) {
    int axes[2] = {x, y};
    XTestFakeDeviceMotionEvent(input->display, input->mouse, False, 0, axes, 2, CurrentTime);
    XSync(input->display, False);
}

int PhysicalKeyboardId(PhysicalInput* input) { return input->keyboardId; }
int PhysicalMouseId(PhysicalInput* input) { return input->mouseId; }
