// Session text reader: never crashes, and what it accepts is written back in a form that reads
// back to the very same text. Works on text in memory; the file reader cuts files into the same
// lines.

#include "state/tool_state.h"
#include "store/numbers.h"
#include "store/profiles.h"
#include "store/session_file.h"

#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Six digits can write a value just above the smallest normal one as one below it, which reads
// back as an underflow and is refused, as the C library refuses it: such a state cannot come
// back whole, by the file format's own rules.
bool EveryNumberReadsBack() {
    float speed = 0;
    if (!ParseFloat(FormatStreamFloat(fPlaybackSpeed.load()), speed)) return false;
    std::lock_guard<std::mutex> lock(profileMutex);
    for (const MacroProfile& profile : profiles) {
        for (const UnifiedEvent& event : profile.events) {
            double time = 0;
            if (!ParseDouble(FormatStreamDouble(event.time), time)) return false;
        }
    }
    return true;
}

// Run one input; the loaded profiles are let go of afterwards, so that every input frees what it
// allocated and the leak check has nothing to chase.
void CheckRoundTrip(std::string_view input) {
    ResetToolStateForTest();
    if (!LoadSessionStateFromText(input) || !EveryNumberReadsBack()) return;
    std::string first;
    std::string second;
    if (!SessionStateToText(first, true)) std::abort();
    ResetToolStateForTest();
    if (!LoadSessionStateFromText(first)) std::abort();
    if (!SessionStateToText(second, true)) std::abort();
    if (first != second) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CheckRoundTrip(std::string_view(reinterpret_cast<const char*>(data), size));
    std::lock_guard<std::mutex> lock(profileMutex);
    std::vector<MacroProfile>().swap(profiles);
    return 0;
}
