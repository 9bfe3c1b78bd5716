// Key identity and names without a display: the layout cache is empty, so names fall back.
#include "platform/keys.h"

#include <gtest/gtest.h>

namespace {

TEST(KeyTable, KeycodesOfAPcKeyboard) {
    // A, F6, Space, Left Shift; then VKs without a key and codes without a VK.
    const std::pair<int, int> codes[] = {{65, 38},  {117, 72}, {32, 65}, {160, 50},
                                         {300, -1}, {-1, -1},  {3, -1},  {108, -1}};
    for (const auto& [vk, code] : codes) EXPECT_EQ(VkToOsKeyCode(vk), code) << vk;
    for (int code : {300, -5, 0}) EXPECT_EQ(OsKeyCodeToVk(code), 0) << code;
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

TEST(KeyNames, FollowTheirRules) {
    // Mouse buttons, fixed names, the keypad, left and right modifiers, plain characters and
    // the fallback, shortest first so that the lists lie in columns.
    const std::pair<int, const char*> shorter[] = {
        {65, "A"},     {90, "Z"},     {48, "0"},     {192, "`"},    {186, ";"},    {112, "F1"},
        {18, "Alt"},   {27, "Esc"},   {135, "F24"},  {17, "Ctrl"},  {93, "Menu"},  {47, "Help"},
        {96, "Num 0"}, {13, "Enter"}, {162, "Ctrl"}, {91, "Super"}, {12, "Clear"}, {19, "Pause"},
        {32, "Space"}, {3, "Key[3]"}, {0, "Key[0]"}, {105, "Num 9"}};
    const std::pair<int, const char*> longer[] = {
        {45, "Insert"},       {46, "Delete"},       {106, "Num *"},       {-4, "Key[-4]"},
        {8, "Backspace"},     {226, "Section"},     {1, "Left Mouse"},    {144, "Num Lock"},
        {255, "Key[255]"},    {2, "Right Mouse"},   {165, "Right Alt"},   {175, "Volume Up"},
        {220, "Backslash"},   {4, "Middle Mouse"},  {163, "Right Ctrl"},  {92, "Right Super"},
        {44, "Print Screen"}, {145, "Scroll Lock"}, {161, "Right Shift"}, {5, "Mouse 4 (Side)"},
        {6, "Mouse 5 (Side)"}};
    for (const auto& [vk, name] : shorter) EXPECT_EQ(GetKeyName(vk), name) << vk;
    for (const auto& [vk, name] : longer) EXPECT_EQ(GetKeyName(vk), name) << vk;
}

TEST(KeyNames, LayoutCharactersMustBeCleanNames) {
    EXPECT_TRUE(IsCleanLayoutChar("Q"));
    EXPECT_TRUE(IsCleanLayoutChar("\xc3\x99"));  // Ù
    for (const char* unclean : {" ", "\t", "\"", "\\", "\x7f", "A\x01"}) {
        EXPECT_FALSE(IsCleanLayoutChar(unclean)) << unclean;
    }
}

}  // namespace
