// The simulated output boards, one record each: where the board's shift register keeps its
// path, filter, dividers and level-loop bits, the chips it carries, and how its synthesizer's
// words become the output frequency. The decoder, the level tracker, the layout and the
// state file read the record; none of them asks which board it is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/sim_level.h"

class SimShiftRegister;
struct SimChannelState;
namespace simhw_detail {
struct Hw;
}

struct SimBoardPath {
    int code;  // the board module's path number; 0 is none
    const char *name;
    uint64_t bits;  // the path bits it sets; every other path bit is clear
};

struct SimBoard {
    SimLevelBoard kind;
    const char *logName;    // in the attach line of the log
    const char *stateName;  // the state file's "board", or nullptr (the 20 GHz board)
    bool tellsMultiplier;   // the state file shows the output doubler
    const char *sriName;
    size_t sriBytes;
    uint64_t ad9910ClockHz;  // the board carries an AD9910 at this clock; 0: none
    // Path switches over register bits 0-63.
    uint64_t pathBits;
    SimBoardPath paths[4];
    // Filters: an index field of filterWidth bits, or with width 0 one switch pattern per
    // filter over filterSwitchBits.
    int filterBit, filterWidth, filters;
    uint64_t filterSwitchBits;
    const uint64_t *filterPatterns;
    int bitN1, bitN2, bitR, dividerWidth;  // bitN2 < 0: N2 is 1
    int bitGain, gainWidth;                // bitGain < 0: no gain stages
    int bitRfEnable;
    int alcBits[4];  // enable, hold, sample, mute
    int bitSspe;     // a step attenuator module on the board, from this bit
    // The level model's top frequency and the frequencies a calibration must hold exactly.
    double topHz;
    std::span<const uint64_t> edgesHz;
    // The synthesizer's words, and the output frequency through the board's path.
    void (*synthesize)(simhw_detail::Hw &h, int c, int path, SimChannelState *st);

    int gainStage(const SimShiftRegister *s) const;
};

const SimBoard &simboard(SimLevelBoard kind);
