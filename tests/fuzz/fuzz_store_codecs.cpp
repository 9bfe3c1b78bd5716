// Text codecs and number conversions: no crash, nothing lost, and the number readers agree
// with the C library's conversions.

#include "store/codecs.h"
#include "tests/fuzz/fuzz_checks.h"

#include <cfloat>

namespace {

// Pieces hold no separator and join back to the text: that fixes every piece.
void CheckSplit(const std::string& text, char sep) {
    std::string joined;
    for (const std::string& piece : SplitString(text, sep)) {
        Require(piece.find(sep) == std::string::npos);
        joined += piece + sep;
    }
    // The splitter drops a last separator, so only a text ending in one gets it back.
    if (!text.empty() && text.back() != sep && !joined.empty()) joined.pop_back();
    Require(joined == text);
}

// Decodes what JsonEscapeForBind produced; it must give back the input exactly.
void CheckEscape(const std::string& text) {
    const std::string literal = JsonEscapeForBind(text);
    Require(literal.size() >= 2 && literal.front() == '"' && literal.back() == '"');
    const std::string_view letters = "\"\\btnfr";
    const std::string_view bytes = "\"\\\b\t\n\f\r";
    std::string decoded;
    for (size_t i = 1; i + 1 < literal.size(); ++i) {
        Require(static_cast<unsigned char>(literal[i]) >= 0x20 && literal[i] != '"');
        if (literal[i] != '\\') {
            decoded.push_back(literal[i]);
        } else if (literal[++i] == 'u') {
            decoded.push_back(static_cast<char>(std::stoi(literal.substr(i + 1, 4), nullptr, 16)));
            i += 4;
        } else {
            Require(letters.find(literal[i]) != std::string_view::npos);
            decoded.push_back(bytes[letters.find(literal[i])]);
        }
    }
    Require(decoded == text);
}

// Flattening deletes every bracket and quote, and nothing else.
void CheckFlatten(std::string text) {
    const std::string flat = ParseJSString(text);
    std::erase_if(text, [](char c) { return c == '[' || c == ']' || c == '"'; });
    Require(flat == text);
}

// What the writer writes reads back to a value written the same way.
void CheckFormatReadsBack(const std::string& text) {
    double value = 0;
    if (!ParseDouble(text, value)) return;
    const std::string once = FormatStreamDouble(value);
    double back = 0;
    if (ParseDouble(once, back)) return Require(FormatStreamDouble(back) == once);
    // Six digits can put a value just above the smallest normal one below it, where the reader
    // refuses it as an underflow, as the C library does; nothing else may fail.
    errno = 0;
    const double reread = std::strtod(once.c_str(), nullptr);
    Require(errno == ERANGE && std::fabs(reread) < DBL_MIN);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text = Text(data, size);
    CheckSplit(text, ',');
    CheckSplit(text, '|');
    CheckEscape(text);
    CheckFlatten(text);
    // The C conversions stop at a NUL; ours see the whole view, so compare without them.
    if (text.find('\0') == std::string::npos) {
        Require(IntegersAgreeWithLibc(text) && FloatsAgreeWithLibc(text));
        CheckFormatReadsBack(text);
    }
    return 0;
}
