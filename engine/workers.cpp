#include "engine/workers.h"

#include "engine/autoclicker.h"
#include "engine/keyspammer.h"
#include "engine/playback.h"
#include "engine/signals.h"
#include "state/tool_state.h"

void StartToolThreads() {
    g_Threads.emplace_back(AutoClickerThread);
    g_Threads.emplace_back(KeySpammerThread);
    g_Threads.emplace_back(SignalProcessorThread);
    g_Threads.emplace_back(PlaybackThread);
}

void StopToolsForExit() {
    g_AppRunning.store(false);
    triggerAutoClickStop.store(true);
    triggerKeySpamStop.store(true);
    triggerPlayStop.store(true);
    ProcessSignals();
}

void WakeAndJoinWorkers() {
    WakeSignalProcessor();
    WakeAutoClickThread();
    WakeKeySpamThread();
    WakePlaybackThread();
    for (auto& thread : g_Threads) {
        if (thread.joinable()) thread.join();
    }
    g_Threads.clear();
}
