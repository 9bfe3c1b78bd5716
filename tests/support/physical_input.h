#pragma once

// Plays the user: input injected through the X server's own slave devices ("Xvfb keyboard",
// "Xvfb mouse"), so it arrives with their source ids, unlike the product's XTEST events.

struct PhysicalInput;

PhysicalInput* OpenPhysicalInput();  // null when the devices are missing
void ClosePhysicalInput(PhysicalInput* input);

void PhysicalKey(PhysicalInput* input, int keyCode, bool down);
void PhysicalTap(PhysicalInput* input, int keyCode);  // press and release
void PhysicalButton(PhysicalInput* input, int button, bool down);
void PhysicalClick(PhysicalInput* input, int button);
void PhysicalMoveTo(PhysicalInput* input, int x, int y);
void PhysicalMoveBy(PhysicalInput* input, int dx, int dy);  // a relative step, as a mouse moves
int PhysicalKeyboardId(PhysicalInput* input);
int PhysicalPointerId(PhysicalInput* input);
