#include "platform/keys.h"

#include <array>
#include <vector>

namespace {

// X keycodes of a PC keyboard: the Linux input code plus 8.
struct KeyPair {
    int vk;
    int keyCode;
};

// Order matters: the first pair wins in both directions, so generic modifiers (16, 17, 18)
// and keypad Enter map back to the specific keys.
constexpr KeyPair kKeys[] = {
    {8, 22},    {9, 23},    {13, 36},   {160, 50},  {16, 50},   {161, 62},  {162, 37},  {17, 37},
    {163, 105}, {164, 64},  {18, 64},   {165, 108}, {91, 133},  {92, 134},  {93, 135},  {20, 66},
    {27, 9},    {32, 65},   {33, 112},  {34, 117},  {35, 115},  {36, 110},  {37, 113},  {38, 111},
    {39, 114},  {40, 116},  {45, 118},  {47, 146},  {46, 119},  {144, 77},  {19, 127},  {44, 107},
    {145, 78},  {48, 19},   {49, 10},   {50, 11},   {51, 12},   {52, 13},   {53, 14},   {54, 15},
    {55, 16},   {56, 17},   {57, 18},   {65, 38},   {66, 56},   {67, 54},   {68, 40},   {69, 26},
    {70, 41},   {71, 42},   {72, 43},   {73, 31},   {74, 44},   {75, 45},   {76, 46},   {77, 58},
    {78, 57},   {79, 32},   {80, 33},   {81, 24},   {82, 27},   {83, 39},   {84, 28},   {85, 30},
    {86, 55},   {87, 25},   {88, 53},   {89, 29},   {90, 52},   {96, 90},   {97, 87},   {98, 88},
    {99, 89},   {100, 83},  {101, 84},  {102, 85},  {103, 79},  {104, 80},  {105, 81},  {106, 63},
    {107, 86},  {109, 82},  {110, 91},  {111, 106}, {112, 67},  {113, 68},  {114, 69},  {115, 70},
    {116, 71},  {117, 72},  {118, 73},  {119, 74},  {120, 75},  {121, 76},  {122, 95},  {123, 96},
    {124, 191}, {125, 192}, {126, 193}, {127, 194}, {128, 195}, {129, 196}, {130, 197}, {131, 198},
    {132, 199}, {133, 200}, {134, 201}, {135, 202}, {173, 121}, {174, 122}, {175, 123}, {186, 47},
    {187, 21},  {188, 59},  {189, 20},  {190, 60},  {191, 61},  {192, 49},  {219, 34},  {220, 51},
    {221, 35},  {222, 48},  {226, 94},  {13, 104},
};

struct Tables {
    std::array<int, 256> vkToKeyCode;
    std::array<int, kKeyCodeCount> keyCodeToVk;
};

Tables BuildTables() {
    Tables tables{};
    tables.vkToKeyCode.fill(-1);
    tables.keyCodeToVk.fill(0);
    for (const KeyPair& pair : kKeys) {
        if (tables.vkToKeyCode[pair.vk] == -1) tables.vkToKeyCode[pair.vk] = pair.keyCode;
        if (tables.keyCodeToVk[pair.keyCode] == 0) tables.keyCodeToVk[pair.keyCode] = pair.vk;
    }
    return tables;
}

const Tables& T() {
    static const Tables tables = BuildTables();
    return tables;
}

}  // namespace

int VkToOsKeyCode(int vk) {
    if (vk < 0 || vk > 255) return -1;
    return T().vkToKeyCode[vk];
}

int OsKeyCodeToVk(int keyCode) {
    if (keyCode < 0 || keyCode >= kKeyCodeCount) return 0;
    return T().keyCodeToVk[keyCode];
}

std::vector<int> OsKeyCodesOfVk(int vk) {
    std::vector<int> keyCodes;
    if (vk <= 0 || vk > 255) return keyCodes;
    for (int keyCode = 0; keyCode < kKeyCodeCount; ++keyCode) {
        if (T().keyCodeToVk[keyCode] == vk) keyCodes.push_back(keyCode);
    }
    return keyCodes;
}
