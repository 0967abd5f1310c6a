// Which output board a channel carries, from the revision code at position 7 of its serial
// number. The channel device's board choice and the simulated hardware both decide by this,
// so the simulation always builds the board the firmware drives.
#pragma once

#include <cstdint>

// Each family starts above its bound (codes compare by character value, '0' < '9' < 'A' < 'Z');
// the generic boards are a set of codes.
inline constexpr char OUTPUT_BOARD_GENERIC_CODES[] = "1234";
inline constexpr char OUTPUT_BOARD_20G_AFTER[] = "4";
inline constexpr char OUTPUT_BOARD_20G_ULN_AFTER[] = "9";
inline constexpr char OUTPUT_BOARD_40G_AFTER[] = "I";
inline constexpr char OUTPUT_BOARD_20G_DIGITAL_AFTER[] = "L";
inline constexpr char OUTPUT_BOARD_40G_DIGITAL_AFTER[] = "S";

enum class OutputBoardFamily : uint8_t {
    Unknown,  // no output board named: the oldest 20 GHz board
    Generic,
    Orbx20G,
    Orbx20GUln,
    Orbx20GDigital,
    Orbx40G,
    Orbx40GDigital,
};

// First match wins, newest boards first.
constexpr OutputBoardFamily outputBoardFamily(char code) {
    if (code > OUTPUT_BOARD_40G_DIGITAL_AFTER[0]) return OutputBoardFamily::Orbx40GDigital;
    if (code > OUTPUT_BOARD_20G_DIGITAL_AFTER[0]) return OutputBoardFamily::Orbx20GDigital;
    if (code > OUTPUT_BOARD_40G_AFTER[0]) return OutputBoardFamily::Orbx40G;
    if (code > OUTPUT_BOARD_20G_ULN_AFTER[0]) return OutputBoardFamily::Orbx20GUln;
    if (code > OUTPUT_BOARD_20G_AFTER[0]) return OutputBoardFamily::Orbx20G;
    for (const char *g = OUTPUT_BOARD_GENERIC_CODES; *g; g++)
        if (code == *g) return OutputBoardFamily::Generic;
    return OutputBoardFamily::Unknown;
}

constexpr bool outputBoardIs40G(OutputBoardFamily f) {
    return f == OutputBoardFamily::Orbx40G || f == OutputBoardFamily::Orbx40GDigital;
}
