// Rules over the code positions of a serial number, shared by the firmware's configuration
// and the simulated hardware, so that the two never read a number differently: each
// predicate of device_config_predicates.def as a record, and the rules that combine
// positions. Pure: the caller supplies the codes (0 where the number is too short).
#pragma once

#include <cstring>

#include "config/output_board.h"

enum class SerialCodeTest { In, Above, Below };

struct SerialPredicate {
    int position;
    SerialCodeTest test;
    const char *codes;
    bool perChannel;  // 'Z' in the instrument number: read the channel's own number
};

inline bool serial_codeMatches(char code, SerialCodeTest test, const char *codes) {
    if (!code) return false;
    switch (test) {
        case SerialCodeTest::In:
            return strchr(codes, code) != nullptr;
        case SerialCodeTest::Above:
            return code > codes[0];
        case SerialCodeTest::Below:
            return code < codes[0];
    }
    return false;
}

inline bool serial_holds(const SerialPredicate &p, char code) {
    return serial_codeMatches(code, p.test, p.codes);
}

#define DEVICE_CONFIG_CODE(name, position, test, codes) \
    inline constexpr SerialPredicate serial_##name = {position, SerialCodeTest::test, codes, false};
#define DEVICE_CONFIG_CHANNEL_CODE(name, position, test, codes) \
    inline constexpr SerialPredicate serial_##name = {position, SerialCodeTest::test, codes, true};
#include "config/device_config_predicates.def"
#undef DEVICE_CONFIG_CHANNEL_CODE
#undef DEVICE_CONFIG_CODE

// The low-noise reference board's code: position 6, on two older lines position 7.
inline char serial_refBoardCode(char p0, char p1, char p6, char p7) {
    return ((p0 == '3' || p0 == '6') && p1 == '4') ? p7 : p6;
}

// Whether the instrument carries the low-noise reference board (the lines of positions 0 and
// 1 below never do).
inline bool serial_usesRefUln(char p0, char p1, char refBoardCode) {
    if ((p0 == '1' || p0 == '4' || p0 == 'A') && p1 >= 'A' && p1 <= 'H') return false;
    return refBoardCode > '1';
}

// Channels, from position 8: 2 to 8, else 1.
inline int serial_sourcesCount(char p8) {
    return (p8 >= '2' && p8 <= '8') ? p8 - '0' : 1;
}
