#include "store/settings_lines.h"

#include "state/tool_state.h"
#include "store/codecs.h"
#include "store/numbers.h"

#include <algorithm>
#include <atomic>
#include <initializer_list>
#include <vector>

namespace {

using Pieces = std::vector<std::string>;

std::atomic<int32_t>* const kAutoClickFields[] = {
    &autoClickIntervalHours, &autoClickIntervalMins, &autoClickIntervalSecs, &autoClickIntervalMs,
    &autoClickerButtonIdx,   &autoClickClickType,    &autoClickRepeatMode,   &autoClickRepeatTimes,
    &autoClickLocationMode,  &autoClickFixedX,       &autoClickFixedY,
};

std::atomic<int32_t>* const kKeySpamTimingFields[] = {
    &keySpamIntervalHours, &keySpamIntervalMins, &keySpamIntervalSecs,
    &keySpamIntervalMs,    &keySpamRepeatMode,   &keySpamRepeatTimes,
};

void AppendInt(std::string& out, int64_t value) {
    out += std::to_string(value);
    out.push_back(',');
}

void AppendFlag(std::string& out, bool value) { out += value ? "1," : "0,"; }

// Converts pieces[first .. first + count) into the fields in order, storing each right after
// converting it; false at the first piece that does not convert.
bool ReadIntFields(const Pieces& pieces, size_t first, std::atomic<int32_t>* const* fields,
                   size_t count) {
    for (size_t i = 0; i < count; ++i) {
        int32_t value = 0;
        if (!ParseInt32(pieces[first + i], value)) return false;
        fields[i]->store(value);
    }
    return true;
}

bool ReadIntField(const std::string& piece, std::atomic<int32_t>& field) {
    int32_t value = 0;
    if (!ParseInt32(piece, value)) return false;
    field.store(value);
    return true;
}

bool IsOn(const std::string& piece) { return piece == "1"; }

// Older layouts carry only the first target.
void UseSingleTarget() {
    keySpamTargets[0].store(vkKeySpamTarget.load());
    keySpamTargetCount.store(1);
    keySpamChordMode.store(false);
}

void ReadGroupAutoClickAndRecorder(const Pieces& p) {
    if (!ReadIntFields(p, 0, kAutoClickFields, std::size(kAutoClickFields))) return;
    bRecordMouseMovement.store(IsOn(p[11]));
    bRecordMouseClicks.store(IsOn(p[12]));
    bRecordMouseScroll.store(IsOn(p[13]));
    bRecordKeyboard.store(IsOn(p[14]));
    bUseRelativeMouse.store(IsOn(p[15]));
    float speed = 0.0f;
    if (!ParseFloat(p[16], speed)) return;
    fPlaybackSpeed.store(speed);
    bLoopSequence.store(IsOn(p[17]));
    if (!ReadIntField(p[18], iLoopIntervalMs)) return;
    if (!ReadIntField(p[19], vkRecord)) return;
    if (!ReadIntField(p[20], vkPlay)) return;
    ReadIntField(p[22], vkAutoClicker);
}

void ReadGroupKeySpam(const Pieces& p) {
    if (!ReadIntFields(p, 23, kKeySpamTimingFields, std::size(kKeySpamTimingFields))) return;
    if (!ReadIntField(p[29], vkKeySpamHotkey)) return;
    ReadIntField(p[30], vkKeySpamTarget);
}

}  // namespace

std::string SerializeKeySpamTargetList() {
    const int32_t count = std::clamp(keySpamTargetCount.load(), 0, kKeySpamSlots);
    std::string out;
    for (int32_t i = 0; i < count; ++i) {
        if (i > 0) out.push_back('|');
        out += std::to_string(keySpamTargets[i].load());
    }
    return out;
}

void DeserializeKeySpamTargetList(const std::string& text) {
    int32_t taken = 0;
    for (const std::string& piece : SplitString(text, '|')) {
        if (taken >= kKeySpamCap) break;
        int32_t vk = 0;
        if (!ParseInt32(piece, vk)) continue;
        keySpamTargets[taken].exchange(vk);
        ++taken;
    }
    keySpamTargetCount.exchange(taken);
}

std::string SerializeProfileSettings() {
    std::string out;
    for (auto* field : kAutoClickFields) AppendInt(out, field->load());
    for (auto* field : kKeySpamTimingFields) AppendInt(out, field->load());
    AppendInt(out, vkKeySpamTarget.load());
    out += SerializeKeySpamTargetList();
    out.push_back(',');
    out += keySpamChordMode.load() ? "1" : "0";
    return out;
}

void DeserializeProfileSettings(const std::string& line) {
    const Pieces p = SplitString(line, ',');
    if (p.size() < 18) return;
    if (!ReadIntFields(p, 0, kAutoClickFields, std::size(kAutoClickFields))) return;
    if (!ReadIntFields(p, 11, kKeySpamTimingFields, std::size(kKeySpamTimingFields))) return;
    if (!ReadIntField(p[17], vkKeySpamTarget)) return;
    if (p.size() >= 20) {
        DeserializeKeySpamTargetList(p[18]);
        keySpamChordMode.store(IsOn(p[19]));
    } else {
        UseSingleTarget();
    }
}

std::string SerializeSettings() {
    std::string out;
    for (auto* field : kAutoClickFields) AppendInt(out, field->load());
    AppendFlag(out, bRecordMouseMovement.load());
    AppendFlag(out, bRecordMouseClicks.load());
    AppendFlag(out, bRecordMouseScroll.load());
    AppendFlag(out, bRecordKeyboard.load());
    AppendFlag(out, bUseRelativeMouse.load());
    out += FormatStreamFloat(fPlaybackSpeed.load());
    out.push_back(',');
    AppendFlag(out, bLoopSequence.load());
    AppendInt(out, iLoopIntervalMs.load());
    AppendInt(out, vkRecord.load());
    AppendInt(out, vkPlay.load());
    AppendInt(out, 0);
    AppendInt(out, vkAutoClicker.load());
    for (auto* field : kKeySpamTimingFields) AppendInt(out, field->load());
    AppendInt(out, vkKeySpamHotkey.load());
    AppendInt(out, vkKeySpamTarget.load());
    out += SerializeKeySpamTargetList();
    out.push_back(',');
    AppendFlag(out, keySpamChordMode.load());
    AppendFlag(out, g_HoldModeAuto.load());
    AppendFlag(out, g_HoldModeKeySpam.load());
    out += std::to_string(vkUnlock.load());
    return out;
}

void DeserializeSettings(const std::string& line) {
    const Pieces p = SplitString(line, ',');
    if (p.size() < 23) return;
    ReadGroupAutoClickAndRecorder(p);
    if (p.size() >= 31) ReadGroupKeySpam(p);
    if (p.size() >= 33) {
        DeserializeKeySpamTargetList(p[31]);
        keySpamChordMode.store(IsOn(p[32]));
    } else {
        UseSingleTarget();
    }
    if (p.size() >= 35) {
        g_HoldModeAuto.store(IsOn(p[33]));
        g_HoldModeKeySpam.store(IsOn(p[34]));
        if (p.size() >= 36) ReadIntField(p[35], vkUnlock);
    }
}

void ResetSpammerKeySpamDefaults() {
    autoClickerButtonIdx.store(0);
    autoClickIntervalHours.store(0);
    autoClickIntervalMins.store(0);
    autoClickIntervalSecs.store(0);
    autoClickIntervalMs.store(5);
    autoClickClickType.store(0);
    autoClickRepeatMode.store(1);
    autoClickRepeatTimes.store(10);
    autoClickLocationMode.store(0);
    autoClickFixedX.store(0);
    autoClickFixedY.store(0);
    keySpamIntervalHours.store(0);
    keySpamIntervalMins.store(0);
    keySpamIntervalSecs.store(0);
    keySpamIntervalMs.store(5);
    keySpamRepeatMode.store(1);
    keySpamRepeatTimes.store(10);
    vkKeySpamTarget.store(32);
    keySpamTargets[0].store(32);
    keySpamTargetCount.store(1);
    keySpamChordMode.store(false);
}
