#include "bridge/control_commands.h"

#include "state/tool_state.h"
#include "store/numbers.h"
#include "store/profiles.h"
#include "store/settings_json.h"
#include "store/status.h"

#include <mutex>

namespace {

struct ToolTriggers {
    const char* name;
    std::atomic<bool>* toggle;
    std::atomic<bool>* start;
    std::atomic<bool>* stop;
};
const ToolTriggers kTools[] = {
    {"clicker", &triggerAutoClicker, &triggerAutoClickStart, &triggerAutoClickStop},
    {"keyspam", &triggerKeySpam, &triggerKeySpamStart, &triggerKeySpamStop},
    {"record", &triggerRecord, &triggerRecordStart, &triggerRecordStop},
    {"play", &triggerPlay, &triggerPlayStart, &triggerPlayStop},
};

ControlAnswer Refused(const std::string& reason) { return {"error " + reason, false}; }

std::atomic<bool>* TriggerFor(const std::string& verb, const std::string& tool) {
    for (const ToolTriggers& t : kTools) {
        if (tool != t.name) continue;
        if (verb == "toggle") return t.toggle;
        if (verb == "start") return t.start;
        if (verb == "stop") return t.stop;
    }
    return nullptr;
}

ControlAnswer SwitchProfile(const std::string& index) {
    int32_t wanted = 0;
    if (!ParseInt32(index, wanted) || std::to_string(wanted) != index) {
        return Refused("profile needs an index");
    }
    BindSwitchProfile("\"" + index + "\"");
    std::lock_guard<std::mutex> lock(profileMutex);
    if (currentProfileIdx == wanted) return {"ok", true};
    // Refused by the profile rules: no such profile, or a recording or playback is running.
    return {"error profile " + index + " cannot be chosen now", true};
}

}  // namespace

ControlAnswer AnswerControlRequest(const std::string& request) {
    const size_t space = request.find(' ');
    const std::string verb = request.substr(0, space);
    const std::string rest = space == std::string::npos ? "" : request.substr(space + 1);
    if (verb == "status" && rest.empty()) {
        std::lock_guard<std::mutex> lock(profileMutex);
        return {BuildTrackerStatusJson("[]"), true};
    }
    if (verb == "settings" && rest.empty()) return {BuildSettingsJson(), true};
    if (verb == "profile") return SwitchProfile(rest);
    if (std::atomic<bool>* trigger = TriggerFor(verb, rest)) {
        RaiseRequest(*trigger);
        return {"ok", true};
    }
    return Refused("unknown command");
}

bool StartControlServer() {
    return OsStartControlServer(OsControlSocketPath(), AnswerControlRequest);
}
