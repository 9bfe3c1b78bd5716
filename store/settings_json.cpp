#include "store/settings_json.h"

#include "state/tool_state.h"
#include "store/codecs.h"
#include "store/numbers.h"
#include "store/profiles.h"

#include <atomic>
#include <iterator>
#include <vector>

namespace {

void AppendInt(std::string& out, const char* key, const std::atomic<int32_t>& value) {
    AppendJsonMember(out, key, std::to_string(value.load()));
}

void AppendBool(std::string& out, const char* key, const std::atomic<bool>& value) {
    AppendJsonMember(out, key, value.load() ? "true" : "false");
}

// Stores the pieces into the fields in order; stops at the first piece that does not convert.
// True when every field was stored.
bool ApplyRecord(const std::string& record, std::atomic<int32_t>* const* fields, size_t count) {
    const std::vector<std::string> pieces = SplitString(record, ',');
    if (pieces.size() < count) return false;
    for (size_t i = 0; i < count; ++i) {
        int32_t value = 0;
        if (!ParseInt32(pieces[i], value)) return false;
        fields[i]->store(value);
    }
    return true;
}

}  // namespace

std::string BuildSettingsJson() {
    std::string out = "{";
    AppendInt(out, "sh", autoClickIntervalHours);
    AppendInt(out, "sm", autoClickIntervalMins);
    AppendInt(out, "ss", autoClickIntervalSecs);
    AppendInt(out, "sms", autoClickIntervalMs);
    AppendInt(out, "sbtn", autoClickerButtonIdx);
    AppendInt(out, "stype", autoClickClickType);
    AppendInt(out, "rptMode", autoClickRepeatMode);
    AppendInt(out, "rptTimes", autoClickRepeatTimes);
    AppendInt(out, "locMode", autoClickLocationMode);
    AppendInt(out, "fixedX", autoClickFixedX);
    AppendInt(out, "fixedY", autoClickFixedY);
    AppendBool(out, "tmv", bRecordMouseMovement);
    AppendBool(out, "tclk", bRecordMouseClicks);
    AppendBool(out, "tscr", bRecordMouseScroll);
    AppendBool(out, "tkey", bRecordKeyboard);
    AppendBool(out, "trel", bUseRelativeMouse);
    AppendJsonMember(out, "tspd", FormatStreamFloat(fPlaybackSpeed.load()));
    AppendBool(out, "tloop", bLoopSequence);
    AppendInt(out, "tloopMs", iLoopIntervalMs);
    AppendInt(out, "ksh", keySpamIntervalHours);
    AppendInt(out, "ksm", keySpamIntervalMins);
    AppendInt(out, "kss", keySpamIntervalSecs);
    AppendInt(out, "ksms", keySpamIntervalMs);
    AppendInt(out, "ksRptMode", keySpamRepeatMode);
    AppendInt(out, "ksRptTimes", keySpamRepeatTimes);
    AppendBool(out, "holdAuto", g_HoldModeAuto);
    AppendBool(out, "holdKeySpam", g_HoldModeKeySpam);
    out.push_back('}');
    return out;
}

void ApplySpammerUpdate(const std::string& record) {
    static std::atomic<int32_t>* const kFields[] = {
        &autoClickIntervalHours, &autoClickIntervalMins, &autoClickIntervalSecs,
        &autoClickIntervalMs,    &autoClickerButtonIdx,  &autoClickClickType,
        &autoClickRepeatMode,    &autoClickRepeatTimes,  &autoClickLocationMode,
    };
    if (ApplyRecord(record, kFields, std::size(kFields))) SnapshotActiveProfileSettings();
}

void ApplyKeySpamUpdate(const std::string& record) {
    static std::atomic<int32_t>* const kFields[] = {
        &keySpamIntervalHours, &keySpamIntervalMins, &keySpamIntervalSecs,
        &keySpamIntervalMs,    &keySpamRepeatMode,   &keySpamRepeatTimes,
    };
    if (ApplyRecord(record, kFields, std::size(kFields))) SnapshotActiveProfileSettings();
}
