#pragma once

// The engine's threads posting for real on the test binary's private X server: an independent
// observer sees what our XTEST devices post, the user's input comes through the server's own
// devices, and the server says what is left held.

#include <gtest/gtest.h>

#include "engine/workers.h"
#include "platform/input.h"
#include "platform/keys.h"
#include "state/tool_state.h"
#include "tests/support/events.h"
#include "tests/support/fresh_state.h"
#include "tests/support/physical_input.h"
#include "tests/support/wait.h"
#include "tests/support/x11_state.h"
#include "tests/support/xi2_observer.h"

#include <X11/extensions/XInput2.h>

#include <cmath>
#include <string>
#include <vector>

constexpr int64_t kMs = 1000000;

// One event our devices posted: "M100,100" for a move (or a relative step), buttons by number
// and keys by their VK's letter, each with + or -.
struct Posting {
    std::string text;
    int64_t stampNs = 0;         // when the observer got it
    unsigned long serverMs = 0;  // the server's own time of it
};

class EngineX11 : public testing::Test {
protected:
    void SetUp() override {
        ResetToOneDefaultProfile();
        ASSERT_TRUE(OsInputInit());
        observer.withMotion = true;
        ASSERT_TRUE(StartObserver(observer));
        input = OpenPhysicalInput();
        ASSERT_NE(input, nullptr);
        StartToolThreads();
    }
    void TearDown() override {
        StopToolsForExit();
        WakeAndJoinWorkers();
        ClosePhysicalInput(input);
        StopObserver(observer);
        OsInputShutdown();
        g_AppRunning = true;
        ResetToolStateForTest();
    }

    std::vector<Posting> Posted(bool pressesOnly = false) {
        std::vector<Posting> posted;
        for (const ObservedEvent& e : ObservedSnapshot(observer)) {
            if (e.sourceId != observer.xtestPointerId && e.sourceId != observer.xtestKeyboardId) {
                continue;
            }
            const bool key = e.type == XI_RawKeyPress || e.type == XI_RawKeyRelease;
            const bool press = e.type == XI_RawKeyPress || e.type == XI_RawButtonPress;
            std::string text =
                key ? std::string(1, char(OsKeyCodeToVk(e.detail))) : std::to_string(e.detail);
            if (e.type == XI_RawMotion) {
                text =
                    "M" + std::to_string(std::lround(e.x)) + "," + std::to_string(std::lround(e.y));
            } else {
                text += press ? '+' : '-';
            }
            if (press || !pressesOnly) posted.push_back({text, e.stampNs, e.serverMs});
        }
        return posted;
    }
    std::string Trace() {
        std::string trace;
        for (const Posting& p : Posted()) trace += (trace.empty() ? "" : " ") + p.text;
        return trace;
    }

    Xi2Observer observer;
    PhysicalInput* input = nullptr;
};
