#include "tests/engine/engine_fixture.h"

#include "engine/workers.h"
#include "platform/input.h"
#include "state/tool_state.h"

#include <algorithm>
#include <thread>

void EngineX11Test::SetUp() {
    ResetToolStateForTest();
    g_AppRunning = true;
    ASSERT_TRUE(OsInputInit());
    ASSERT_TRUE(StartObserver(observer));
    StartToolThreads();
}

void EngineX11Test::TearDown() {
    StopToolsForExit();
    WakeAndJoinWorkers();
    StopObserver(observer);
    OsInputShutdown();
    g_AppRunning = true;
    ResetToolStateForTest();
}

void EngineX11Test::Raise(std::atomic<bool>& trigger) {
    trigger = true;
    WakeSignalProcessor();
}

bool EngineX11Test::WaitUntil(const std::function<bool()>& predicate, int timeoutMs) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!predicate()) {
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

std::vector<ObservedEvent> EngineX11Test::Synthetic(std::initializer_list<int> types) {
    std::vector<ObservedEvent> picked;
    for (const ObservedEvent& event : ObservedSnapshot(observer)) {
        const bool fromXTest =
            event.sourceId == observer.xtestPointerId || event.sourceId == observer.xtestKeyboardId;
        if (fromXTest && std::find(types.begin(), types.end(), event.type) != types.end()) {
            picked.push_back(event);
        }
    }
    return picked;
}

void EngineX11Test::RunToBudget(std::atomic<bool>& start, int rawPressType, size_t expected) {
    ClearObserved(observer);
    Raise(start);
    EXPECT_TRUE(WaitUntil([&] { return Synthetic({rawPressType}).size() >= expected; }));
    EXPECT_TRUE(WaitUntil([] {
        return !isAutoClicking && currentClickCount == 0 && !isKeySpamming &&
               currentKeySpamCount == 0;
    }));
    // Anything more would be a fault; give it time to show up.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
}
