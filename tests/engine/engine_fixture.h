#pragma once

// Runs the real engine threads against the private X server, with an independent observer.

#include "tests/support/xi2_observer.h"

#include <gtest/gtest.h>

#include <X11/extensions/XInput2.h>

class EngineX11Test : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Raises a trigger flag as a producer does.
    static void Raise(std::atomic<bool>& trigger);
    // Waits (up to a generous limit) until the predicate on the engine state holds.
    static bool WaitUntil(const std::function<bool()>& predicate, int timeoutMs = 5000);

    // Starts a tool with a click or tick budget and waits until it has made `expected` presses
    // of the given raw type and gone idle again.
    void RunToBudget(std::atomic<bool>& start, int rawPressType, size_t expected);

    // Events from our XTEST devices of the given raw types, in arrival order.
    std::vector<ObservedEvent> Synthetic(std::initializer_list<int> types);

    Xi2Observer observer;
};
