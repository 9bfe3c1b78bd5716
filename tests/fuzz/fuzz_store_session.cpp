// Session text reader: never crashes, and what it accepts is written back in a form that reads
// back to the very same text. Works on text in memory; the file reader cuts files into the same
// lines.

#include "state/tool_state.h"
#include "store/profiles.h"
#include "store/session_file.h"
#include "tests/fuzz/fuzz_checks.h"

#include <mutex>
#include <vector>

namespace {

// Six digits can write a value just above the smallest normal one as one below it, which reads
// back as an underflow and is refused, as the C library refuses it: such a state cannot come
// back whole, by the file format's own rules.
bool EveryNumberReadsBack() {
    float speed = 0;
    double time = 0;
    if (!ParseFloat(FormatStreamFloat(fPlaybackSpeed.load()), speed)) return false;
    std::lock_guard<std::mutex> lock(profileMutex);
    for (const MacroProfile& profile : profiles) {
        for (const UnifiedEvent& event : profile.events) {
            if (!ParseDouble(FormatStreamDouble(event.time), time)) return false;
        }
    }
    return true;
}

void CheckRoundTrip(const std::string& input) {
    ResetToolStateForTest();
    if (!LoadSessionStateFromText(input) || !EveryNumberReadsBack()) return;
    std::string first;
    std::string second;
    Require(SessionStateToText(first, true));
    ResetToolStateForTest();
    Require(LoadSessionStateFromText(first) && SessionStateToText(second, true));
    Require(first == second);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CheckRoundTrip(Text(data, size));
    // Every input frees what it allocated, so the leak check has nothing to chase.
    std::lock_guard<std::mutex> lock(profileMutex);
    std::vector<MacroProfile>().swap(profiles);
    return 0;
}
