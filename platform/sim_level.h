// The level model of the simulated output channels: what power leaves a channel follows from
// the chips' settings alone (no firmware file is read), so the levelling code and its factory
// tables can be judged against a physical standard. The chain, per channel:
//
//   synthesizer -> modulator (level loop) -> gain stages -> step attenuators A, B -> module
//                        ^ detector <- loop attenuator <- coupler
//
// The open-loop power (modulator fully driven) depends on frequency and the gain-stage
// index, 6 dB a stage. The loop point is set by channel A of the ALC DAC through the
// detector's response; the loop attenuator in the detector path raises it by its
// attenuation. The loop holds the output at the loop point while the modulator can reach it
// (open-loop power minus the modulator's range up to the open-loop power) and sits at a rail
// otherwise. The step attenuators and the module follow the loop. Pure functions; the
// simulated hardware and the calibration generator share them.
#pragma once

#include <cstdint>

enum class SimLevelBoard : uint8_t { Orbx20G, Orbx40G, Generic };

constexpr uint32_t SIMLEVEL_DAC_MAX = 16383;
constexpr double SIMLEVEL_MODULATOR_RANGE_DB = 70.0;
constexpr double SIMLEVEL_GAIN_STAGE_DB = 6.0;
// The detector's response: loop point at code 0 and its span up to full scale.
constexpr double SIMLEVEL_LOOP_MIN_DBM = -30.0;
constexpr double SIMLEVEL_LOOP_SPAN_DB = 65.0;
// The 16-bit controller (AD7680) code at its top rail.
constexpr uint32_t SIMLEVEL_CONTROLLER_RAIL = 65535;

struct SimLevelInput {
    SimLevelBoard board;
    bool rfOn;  // enabled, not muted, not blanked, a frequency synthesized
    double frequencyHz;
    int gainStage;
    bool alcEnabled;
    bool alcHold;
    uint32_t alcDac;  // channel A code
    double attLoopDb, attADb, attBDb, moduleDb;
    double heldDrive;  // modulator drive (0..1) when the hold was set
};

struct SimLevelOutput {
    bool on;
    bool levelled;        // the loop holds the output at its loop point
    double outputDbm;     // when on
    double drive;         // modulator drive, 0 (fully off) to 1 (fully driven)
    uint32_t controller;  // 16-bit controller code
};

// The top of the board's frequency range.
double simlevel_topHz(SimLevelBoard board);
double simlevel_openLoopDbm(SimLevelBoard board, double frequencyHz, int gainStage);
// The loop point of a DAC code, and the (unrounded, unclamped) code of a loop point.
double simlevel_loopPointDbm(SimLevelBoard board, double frequencyHz, double dac, double attLoopDb);
double simlevel_dacForLoopPoint(SimLevelBoard board, double frequencyHz, double loopDbm,
                                double attLoopDb);
SimLevelOutput simlevel_evaluate(const SimLevelInput &in);
// The VCO tuning-voltage reading (14 bits) at this VCO frequency; 0 Hz: no VCO in use.
uint32_t simlevel_vcoReading(double vcoHz);
