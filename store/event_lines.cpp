#include "store/event_lines.h"

#include "store/numbers.h"

#include <charconv>

namespace {

template <typename Int>
void AppendInteger(std::string& out, Int value) {
    char buffer[24];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

// The next comma-separated field, the way the line would be cut at commas: a field that would
// be the empty tail after a final comma does not exist.
bool NextField(std::string_view& rest, bool& exhausted, std::string_view& field) {
    if (exhausted || rest.empty()) return false;
    const size_t comma = rest.find(',');
    if (comma == std::string_view::npos) {
        field = rest;
        exhausted = true;
    } else {
        field = rest.substr(0, comma);
        rest.remove_prefix(comma + 1);
    }
    return true;
}

}  // namespace

void AppendEventLine(std::string& out, const UnifiedEvent& event) {
    AppendInteger(out, event.type);
    out.push_back(',');
    AppendStreamDouble(out, event.time);
    out.push_back(',');
    AppendInteger(out, event.x);
    out.push_back(',');
    AppendInteger(out, event.y);
    out.push_back(',');
    AppendInteger(out, event.mouseFlags);
    out.push_back(',');
    AppendInteger(out, event.key);
    out += event.down ? ",1," : ",0,";
    AppendInteger(out, event.wheel);
}

bool ParseEventLine(std::string_view line, UnifiedEvent& event) {
    std::string_view rest = line;
    bool exhausted = false;
    std::string_view f[8];
    for (auto& field : f) {
        if (!NextField(rest, exhausted, field)) return false;
    }
    UnifiedEvent parsed;
    int32_t down = 0;
    if (!ParseInt32(f[0], parsed.type) || !ParseDouble(f[1], parsed.time) ||
        !ParseInt64(f[2], parsed.x) || !ParseInt64(f[3], parsed.y) ||
        !ParseUInt64(f[4], parsed.mouseFlags) || !ParseInt32(f[5], parsed.key) ||
        !ParseInt32(f[6], down) || !ParseInt32(f[7], parsed.wheel)) {
        return false;
    }
    parsed.down = down != 0;
    event = parsed;
    return true;
}
