#include "store/settings_json.h"

#include "state/tool_state.h"
#include "store/codecs.h"
#include "store/numbers.h"
#include "store/profiles.h"

#include <atomic>
#include <cmath>
#include <iterator>
#include <vector>

namespace {

void AppendInt(std::string& out, const char* key, const std::atomic<int32_t>& value) {
    AppendJsonMember(out, key, std::to_string(value.load()));
}

void AppendBool(std::string& out, const char* key, const std::atomic<bool>& value) {
    AppendJsonMember(out, key, value.load() ? "true" : "false");
}

bool ApplyFlag(const std::string& piece, std::atomic<bool>& field) {
    int32_t value = 0;
    if (!ParseInt32(piece, value)) return false;
    field.store(value != 0);
    return true;
}

// A speed that could not be written back and read again would end the session file's group.
bool ApplySpeed(const std::string& piece) {
    float speed = 0.0f;
    if (!ParseFloat(piece, speed) || !std::isfinite(speed)) return false;
    fPlaybackSpeed.store(speed);
    return true;
}

bool ApplyRecorderFields(const std::vector<std::string>& pieces) {
    static std::atomic<bool>* const kFlags[] = {
        &bRecordMouseMovement, &bRecordMouseClicks, &bRecordMouseScroll,
        &bRecordKeyboard,      &bUseRelativeMouse,
    };
    for (size_t i = 0; i < std::size(kFlags); ++i) {
        if (!ApplyFlag(pieces[i], *kFlags[i])) return false;
    }
    if (!ApplySpeed(pieces[5]) || !ApplyFlag(pieces[6], bLoopSequence)) return false;
    int32_t loopMs = 0;
    if (!ParseInt32(pieces[7], loopMs)) return false;
    iLoopIntervalMs.store(loopMs);
    return true;
}

}  // namespace

bool ApplyIntRecord(const std::string& record, std::atomic<int32_t>* const* fields, size_t count) {
    const std::vector<std::string> pieces = SplitString(record, ',');
    if (pieces.size() < count) return false;
    for (size_t i = 0; i < count; ++i) {
        int32_t value = 0;
        if (!ParseInt32(pieces[i], value)) return false;
        fields[i]->store(value);
    }
    return true;
}

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
    if (ApplyIntRecord(record, kFields, std::size(kFields))) SnapshotActiveProfileSettings();
}

void ApplyKeySpamUpdate(const std::string& record) {
    static std::atomic<int32_t>* const kFields[] = {
        &keySpamIntervalHours, &keySpamIntervalMins, &keySpamIntervalSecs,
        &keySpamIntervalMs,    &keySpamRepeatMode,   &keySpamRepeatTimes,
    };
    if (ApplyIntRecord(record, kFields, std::size(kFields))) SnapshotActiveProfileSettings();
}

void ApplyRecorderUpdate(const std::string& record) {
    const std::vector<std::string> pieces = SplitString(record, ',');
    if (pieces.size() < 8) return;
    if (ApplyRecorderFields(pieces)) SnapshotActiveProfileSettings();
}

void ApplyHoldModes(const std::string& record) {
    const std::vector<std::string> pieces = SplitString(record, ',');
    int32_t autoClicker = 0;
    int32_t keySpammer = 0;
    if (pieces.size() < 2 || !ParseInt32(pieces[0], autoClicker) ||
        !ParseInt32(pieces[1], keySpammer)) {
        return;
    }
    g_HoldModeAuto.store(autoClicker != 0);
    g_HoldModeKeySpam.store(keySpammer != 0);
}
