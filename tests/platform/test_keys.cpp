// Key identity and names without a display: the layout cache is empty, so names fall back.
#include "platform/keys.h"

#include <gtest/gtest.h>

namespace {

TEST(KeyTable, KeycodesOfAPcKeyboard) {
    EXPECT_EQ(VkToOsKeyCode(65), 38);   // A
    EXPECT_EQ(VkToOsKeyCode(117), 72);  // F6
    EXPECT_EQ(VkToOsKeyCode(32), 65);   // Space
    EXPECT_EQ(VkToOsKeyCode(160), 50);  // Left Shift
    EXPECT_EQ(VkToOsKeyCode(300), -1);
    EXPECT_EQ(VkToOsKeyCode(-1), -1);
    EXPECT_EQ(VkToOsKeyCode(3), -1);
    EXPECT_EQ(VkToOsKeyCode(108), -1);
    EXPECT_EQ(OsKeyCodeToVk(200 + 100), 0);
    EXPECT_EQ(OsKeyCodeToVk(-5), 0);
    EXPECT_EQ(OsKeyCodeToVk(0), 0);
}

TEST(KeyTable, FirstPairWinsInBothDirections) {
    // Generic modifiers share the left key's code; the code maps back to the left key.
    EXPECT_EQ(VkToOsKeyCode(16), VkToOsKeyCode(160));
    EXPECT_EQ(OsKeyCodeToVk(50), 160);
    EXPECT_EQ(OsKeyCodeToVk(37), 162);
    EXPECT_EQ(OsKeyCodeToVk(64), 164);
    // Keypad Enter comes after Enter: Enter keeps its own code, keypad Enter maps to 13.
    EXPECT_EQ(VkToOsKeyCode(13), 36);
    EXPECT_EQ(OsKeyCodeToVk(104), 13);

    // Every VK with a code maps back to itself or to an earlier VK sharing that code.
    for (int vk = 0; vk < 256; ++vk) {
        const int code = VkToOsKeyCode(vk);
        if (code < 0) continue;
        const int back = OsKeyCodeToVk(code);
        EXPECT_NE(back, 0) << vk;
        EXPECT_EQ(VkToOsKeyCode(back), code) << vk;
    }
    // F1 to F24 all have keys on a PC keyboard.
    for (int vk = 112; vk <= 135; ++vk) EXPECT_GE(VkToOsKeyCode(vk), 8) << vk;
}

TEST(KeyNames, RulesInOrder) {
    const std::pair<int, const char*> names[] = {
        {1, "Left Mouse"},
        {2, "Right Mouse"},
        {4, "Middle Mouse"},
        {5, "Mouse 4 (Side)"},
        {6, "Mouse 5 (Side)"},
        {192, "`"},
        {112, "F1"},
        {135, "F24"},
        {96, "Num 0"},
        {105, "Num 9"},
        {8, "Backspace"},
        {13, "Enter"},
        {17, "Ctrl"},
        {162, "Ctrl"},
        {163, "Right Ctrl"},
        {18, "Alt"},
        {165, "Right Alt"},
        {91, "Super"},
        {92, "Right Super"},
        {93, "Menu"},
        {45, "Insert"},
        {46, "Delete"},
        {47, "Help"},
        {144, "Num Lock"},
        {12, "Clear"},
        {19, "Pause"},
        {44, "Print Screen"},
        {145, "Scroll Lock"},
        {27, "Esc"},
        {32, "Space"},
        {161, "Right Shift"},
        {106, "Num *"},
        {175, "Volume Up"},
        {65, "A"},
        {90, "Z"},
        {48, "0"},
        {186, ";"},
        {220, "Backslash"},
        {226, "Section"},
        {3, "Key[3]"},
        {255, "Key[255]"},
        {0, "Key[0]"},
        {-4, "Key[-4]"},
    };
    for (const auto& [vk, name] : names) EXPECT_EQ(GetKeyName(vk), name) << vk;
}

TEST(KeyNames, LayoutCharactersMustBeCleanNames) {
    EXPECT_TRUE(IsCleanLayoutChar("Q"));
    EXPECT_TRUE(IsCleanLayoutChar("\xc3\x99"));  // Ù
    EXPECT_FALSE(IsCleanLayoutChar(" "));
    EXPECT_FALSE(IsCleanLayoutChar("\t"));
    EXPECT_FALSE(IsCleanLayoutChar("\""));
    EXPECT_FALSE(IsCleanLayoutChar("\\"));
    EXPECT_FALSE(IsCleanLayoutChar("\x7f"));
    EXPECT_FALSE(IsCleanLayoutChar("A\x01"));
}

}  // namespace
