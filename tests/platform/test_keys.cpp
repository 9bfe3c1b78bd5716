// Key identity and names without a display: the layout cache is empty, so names fall back.
#include "platform/keys.h"

#include <gtest/gtest.h>

namespace {

TEST(KeyTable, FirstPairWinsInBothDirections) {
    // Generic modifiers share the left key's code; the code maps back to the left key.
    // Keypad Enter (104) comes after Enter: Enter keeps its own code, keypad Enter maps to 13.
    EXPECT_EQ(VkToOsKeyCode(16), VkToOsKeyCode(160));
    EXPECT_EQ(VkToOsKeyCode(13), 36);
    const std::pair<int, int> backs[] = {{50, 160}, {37, 162}, {64, 164}, {104, 13}};
    for (const auto& [code, vk] : backs) EXPECT_EQ(OsKeyCodeToVk(code), vk) << code;

    // Every VK with a code maps back to itself or to an earlier VK sharing that code.
    for (int vk = 0; vk < 256; ++vk) {
        const int code = VkToOsKeyCode(vk);
        if (code < 0) continue;
        const int back = OsKeyCodeToVk(code);
        EXPECT_NE(back, 0) << vk;
        EXPECT_EQ(VkToOsKeyCode(back), code) << vk;
    }
    for (int vk : {300, -1, 3, 108}) EXPECT_EQ(VkToOsKeyCode(vk), -1) << vk;
    for (int code : {300, -5, 0}) EXPECT_EQ(OsKeyCodeToVk(code), 0) << code;
    // F1 to F24 all have keys on a PC keyboard.
    for (int vk = 112; vk <= 135; ++vk) EXPECT_GE(VkToOsKeyCode(vk), 8) << vk;
}

// One of each kind of name: letters and symbols without a layout, fixed names, the keypad,
// left and right modifiers, mouse buttons and the fallback.
TEST(KeyNames, FollowTheirRules) {
    const std::pair<int, const char*> names[] = {
        {65, "A"},     {192, "`"},          {135, "F24"},      {27, "Esc"},
        {162, "Ctrl"}, {163, "Right Ctrl"}, {105, "Num 9"},    {106, "Num *"},
        {32, "Space"}, {220, "Backslash"},  {1, "Left Mouse"}, {6, "Mouse 5 (Side)"},
        {3, "Key[3]"}, {-4, "Key[-4]"},     {255, "Key[255]"}, {44, "Print Screen"}};
    for (const auto& [vk, name] : names) EXPECT_EQ(GetKeyName(vk), name) << vk;
}

TEST(KeyNames, LayoutCharactersMustBeCleanNames) {
    EXPECT_TRUE(IsCleanLayoutChar("Q"));
    EXPECT_TRUE(IsCleanLayoutChar("\xc3\x99"));  // Ù
    for (const char* unclean : {" ", "\t", "\"", "\\", "\x7f", "A\x01"}) {
        EXPECT_FALSE(IsCleanLayoutChar(unclean)) << unclean;
    }
}

}  // namespace
