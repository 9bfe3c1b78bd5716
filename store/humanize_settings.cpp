#include "store/humanize_settings.h"

#include "state/humanize.h"
#include "store/app_settings.h"
#include "store/codecs.h"
#include "store/numbers.h"
#include "store/settings_json.h"

void AppendHumanizeLines(std::string& out) {
    for (size_t i = 0; i < kHumanizeFieldCount; ++i) {
        out += kHumanizeNames[i];
        out.push_back('=');
        out += std::to_string(kHumanizeValues[i]->load());
        out.push_back('\n');
    }
}

bool ApplyHumanizeLine(std::string_view key, std::string_view value) {
    for (size_t i = 0; i < kHumanizeFieldCount; ++i) {
        if (key != kHumanizeNames[i]) continue;
        int32_t number = 0;
        if (ParseInt32(value, number)) {
            kHumanizeValues[i]->store(number);
            RefreshHumanizeSwitches();
        }
        return true;
    }
    return false;
}

std::string BuildHumanizeJson() {
    std::string out = "{";
    for (size_t i = 0; i < kHumanizeFieldCount; ++i) {
        AppendJsonMember(out, kHumanizeNames[i], std::to_string(kHumanizeValues[i]->load()));
    }
    AppendJsonMember(out, "picking", humanizeAreaPick.load() != 0 ? "true" : "false");
    out.push_back('}');
    return out;
}

bool ApplyHumanizeUpdate(const std::string& record) {
    const bool whole = ApplyIntRecord(record, kHumanizeValues, kHumanizeFieldCount);
    RefreshHumanizeSwitches();
    return whole;
}

void BindSetHumanize(const std::string& record) {
    if (ApplyHumanizeUpdate(record)) SaveAppSettings();
}

std::string BindGetHumanize(const std::string&) {
    if (humanizeAreaUnsaved.exchange(false)) SaveAppSettings();
    return BuildHumanizeJson();
}
