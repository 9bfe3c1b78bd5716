// Saves and loads a session of three profiles holding 1,000,000 events in all, and reports the
// save and load times, the file size, the peak memory of the process and the longest time a
// recorder thread had to wait for profileMutex while the save ran.

#include "state/tool_state.h"
#include "store/profiles.h"
#include "store/session_file.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

constexpr size_t kEvents = 1000000;

double NowMs() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

long PeakRssKb() {
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A recording of ordinary desktop use: mostly pointer moves, some clicks, keys and wheel turns.
std::vector<UnifiedEvent> MakeRecording(size_t count, uint32_t seed) {
    std::vector<UnifiedEvent> events;
    events.reserve(count);
    uint32_t state = seed;
    auto next = [&state] { return state = state * 1664525u + 1013904223u; };
    double time = 0.0;
    int64_t x = 960;
    int64_t y = 540;
    for (size_t i = 0; i < count; ++i) {
        UnifiedEvent e;
        time += 0.001 + (next() % 1000) / 100000.0;
        e.time = time;
        const uint32_t kind = next() % 100;
        if (kind < 85) {
            x = std::clamp<int64_t>(x + static_cast<int>(next() % 21) - 10, 0, 3839);
            y = std::clamp<int64_t>(y + static_cast<int>(next() % 21) - 10, 0, 2159);
            e.type = 0;
            e.x = x;
            e.y = y;
        } else if (kind < 92) {
            e.type = 2;
            e.x = x;
            e.y = y;
            e.mouseFlags = (kind % 2 == 0) ? 2 : 4;
        } else if (kind < 98) {
            e.type = 3;
            e.key = 65 + static_cast<int32_t>(next() % 26);
            e.down = kind % 2 == 0;
        } else {
            e.type = 4;
            e.wheel = kind % 2 == 0 ? 120 : -120;
        }
        events.push_back(e);
    }
    return events;
}

// Takes and releases profileMutex over and over, as the recorder does for every event, and
// keeps the longest wait.
struct LockProbe {
    std::atomic<bool> stop{false};
    std::atomic<double> longestMs{0.0};
    std::thread thread;
    void Start() {
        thread = std::thread([this] {
            while (!stop.load()) {
                const double start = NowMs();
                { std::lock_guard<std::mutex> lock(profileMutex); }
                const double waited = NowMs() - start;
                if (waited > longestMs.load()) longestMs.store(waited);
                std::this_thread::yield();
            }
        });
    }
    void Stop() {
        stop.store(true);
        thread.join();
    }
};

}  // namespace

int main() {
    char dir[] = "/tmp/qln-session-io-XXXXXX";
    if (mkdtemp(dir) == nullptr) return 1;
    const std::string path = std::string(dir) + "/session.dat";
    {
        std::lock_guard<std::mutex> lock(profileMutex);
        profiles.push_back(MacroProfile{kDefaultProfileName, "", MakeRecording(kEvents / 2, 1)});
        profiles.push_back(MacroProfile{"Game", "", MakeRecording(kEvents * 3 / 10, 2)});
        profiles.push_back(MacroProfile{"Work", "", MakeRecording(kEvents / 5, 3)});
        currentProfileIdx = 1;
    }
    const long dataKb = PeakRssKb();

    LockProbe probe;
    probe.Start();
    const double saveStart = NowMs();
    const bool saved = SaveSessionStateTo(path, true);
    const double saveMs = NowMs() - saveStart;
    probe.Stop();
    const long afterSaveKb = PeakRssKb();

    struct stat st;
    stat(path.c_str(), &st);
    const double fileMb = static_cast<double>(st.st_size) / (1024.0 * 1024.0);

    // Drop the recordings first, as at start-up, so the load is measured on its own.
    {
        std::lock_guard<std::mutex> lock(profileMutex);
        std::vector<MacroProfile>().swap(profiles);
    }
    const double loadStart = NowMs();
    const bool loaded = LoadSessionStateFrom(path);
    const double loadMs = NowMs() - loadStart;
    size_t events = 0;
    for (const auto& profile : profiles) events += profile.events.size();
    const long peakKb = PeakRssKb();

    std::printf("file: %.1f MB (%s)\n", fileMb, path.c_str());
    std::printf("memory: data %.1f MB, peak after save %.1f MB, peak after load %.1f MB\n",
                dataKb / 1024.0, afterSaveKb / 1024.0, peakKb / 1024.0);
    std::printf("save %s, load %s\n", saved ? "ok" : "FAILED", loaded ? "ok" : "FAILED");
    std::printf("session_io: events=%zu save_ms=%.0f load_ms=%.0f lock_ms=%.1f peak_mb=%.0f\n",
                events, saveMs, loadMs, probe.longestMs.load(), peakKb / 1024.0);
    unlink(path.c_str());
    rmdir(dir);
    return saved && loaded && events == kEvents ? 0 : 1;
}
