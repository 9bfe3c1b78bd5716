#include "platform/keys.h"

#include <string>

namespace {

const char* MouseName(int vk) {
    switch (vk) {
        case 1:
            return "Left Mouse";
        case 2:
            return "Right Mouse";
        case 4:
            return "Middle Mouse";
        case 5:
            return "Mouse 4 (Side)";
        case 6:
            return "Mouse 5 (Side)";
        default:
            return nullptr;
    }
}

const char* FixedName(int vk) {
    switch (vk) {
        case 8:
            return "Backspace";
        case 9:
            return "Tab";
        case 12:
            return "Clear";
        case 13:
            return "Enter";
        case 16:
        case 160:
            return "Shift";
        case 17:
        case 162:
            return "Ctrl";
        case 18:
        case 164:
            return "Alt";
        case 19:
            return "Pause";
        case 20:
            return "Caps Lock";
        case 27:
            return "Esc";
        case 32:
            return "Space";
        case 33:
            return "Page Up";
        case 34:
            return "Page Down";
        case 35:
            return "End";
        case 36:
            return "Home";
        case 37:
            return "Left";
        case 38:
            return "Up";
        case 39:
            return "Right";
        case 40:
            return "Down";
        case 44:
            return "Print Screen";
        case 45:
            return "Insert";
        case 46:
            return "Delete";
        case 47:
            return "Help";
        case 91:
            return "Super";
        case 92:
            return "Right Super";
        case 93:
            return "Menu";
        case 106:
            return "Num *";
        case 107:
            return "Num +";
        case 109:
            return "Num -";
        case 110:
            return "Num .";
        case 111:
            return "Num /";
        case 144:
            return "Num Lock";
        case 145:
            return "Scroll Lock";
        case 161:
            return "Right Shift";
        case 163:
            return "Right Ctrl";
        case 165:
            return "Right Alt";
        case 173:
            return "Mute";
        case 174:
            return "Volume Down";
        case 175:
            return "Volume Up";
        default:
            return nullptr;
    }
}

const char* PunctuationFallback(int vk) {
    switch (vk) {
        case 186:
            return ";";
        case 187:
            return "=";
        case 188:
            return ",";
        case 189:
            return "-";
        case 190:
            return ".";
        case 191:
            return "/";
        case 219:
            return "[";
        case 220:
            return "Backslash";
        case 221:
            return "]";
        case 222:
            return "'";
        case 226:
            return "Section";
        default:
            return nullptr;
    }
}

// Prefix plus a decimal number; appended in place (GCC 12 warns falsely on operator+ here).
std::string Numbered(const char* prefix, int number, const char* suffix = "") {
    std::string name(prefix);
    name.append(std::to_string(number));
    name.append(suffix);
    return name;
}

}  // namespace

std::string OsKeyName(int vk) {
    if (const char* mouse = MouseName(vk)) return mouse;
    if (vk == 192) return "`";
    if (vk >= 112 && vk <= 135) return Numbered("F", vk - 111);
    if (vk >= 96 && vk <= 105) return Numbered("Num ", vk - 96);
    if (const char* fixed = FixedName(vk)) return fixed;
    const int keyCode = VkToOsKeyCode(vk);
    if (keyCode >= 0) {
        std::string layoutChar = LayoutCharForKey(keyCode);
        if (!layoutChar.empty()) return layoutChar;
    }
    if ((vk >= 65 && vk <= 90) || (vk >= 48 && vk <= 57)) return std::string(1, char(vk));
    if (const char* punctuation = PunctuationFallback(vk)) return punctuation;
    return Numbered("Key[", vk, "]");
}

std::string GetKeyName(int vk) { return OsKeyName(vk); }

bool IsCleanLayoutChar(const std::string& text) {
    for (unsigned char byte : text) {
        if (byte < 0x21 || byte == '"' || byte == '\\' || byte == 0x7f) return false;
    }
    return true;
}
