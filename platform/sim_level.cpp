// The level model: open-loop power, detector response, loop rails, controller reading.
#include "sim_level.h"

#include <algorithm>
#include <cmath>

#include "sim_board.h"

namespace {

// The detector's small smooth deviation from its straight response.
double detectorDeviationDb(SimLevelBoard board, double f) {
    return 0.5 * std::sin(2 * M_PI * f / 9e9) + 0.4 * f / simlevel_topHz(board);
}

// Controller codes over the modulator's range: a levelled loop reads inside them.
constexpr double kControllerLow = 2000 * 4, kControllerHigh = 14000 * 4;

// The VCOs tune over this range.
constexpr double kVcoLowHz = 10e9, kVcoHighHz = 20.5e9;

}  // namespace

// Where the amplifiers have lost most gain.
double simlevel_topHz(SimLevelBoard board) {
    return simboard(board).topHz;
}

double simlevel_openLoopDbm(SimLevelBoard board, double f, int gainStage) {
    double base = 35.5 - 3.0 * f / simlevel_topHz(board) + 0.8 * std::sin(2 * M_PI * f / 3.7e9);
    return base + SIMLEVEL_GAIN_STAGE_DB * gainStage;
}

double simlevel_loopPointDbm(SimLevelBoard board, double f, double dac, double attLoopDb) {
    return SIMLEVEL_LOOP_MIN_DBM + SIMLEVEL_LOOP_SPAN_DB * dac / SIMLEVEL_DAC_MAX +
           detectorDeviationDb(board, f) + attLoopDb;
}

double simlevel_dacForLoopPoint(SimLevelBoard board, double f, double loopDbm, double attLoopDb) {
    return (loopDbm - attLoopDb - detectorDeviationDb(board, f) - SIMLEVEL_LOOP_MIN_DBM) *
           SIMLEVEL_DAC_MAX / SIMLEVEL_LOOP_SPAN_DB;
}

SimLevelOutput simlevel_evaluate(const SimLevelInput &in) {
    SimLevelOutput out = {};
    const double top = simlevel_openLoopDbm(in.board, in.frequencyHz, in.gainStage);
    const double bottom = top - SIMLEVEL_MODULATOR_RANGE_DB;
    double modulatorDbm;
    if (in.alcEnabled && in.alcHold) {
        out.drive = in.heldDrive;
        modulatorDbm = bottom + SIMLEVEL_MODULATOR_RANGE_DB * out.drive;
    } else if (in.alcEnabled) {
        // Without RF the detector sees nothing and the loop runs to its top rail.
        double loop = in.rfOn
                          ? simlevel_loopPointDbm(in.board, in.frequencyHz, in.alcDac, in.attLoopDb)
                          : INFINITY;
        modulatorDbm = std::clamp(loop, bottom, top);
        out.levelled = loop >= bottom && loop <= top;
        out.drive = (modulatorDbm - bottom) / SIMLEVEL_MODULATOR_RANGE_DB;
        if (!out.levelled) out.controller = loop > top ? SIMLEVEL_CONTROLLER_RAIL : 0;
    } else {
        out.drive = (double)std::min(in.alcDac, SIMLEVEL_DAC_MAX) / SIMLEVEL_DAC_MAX;
        modulatorDbm = bottom + SIMLEVEL_MODULATOR_RANGE_DB * out.drive;
    }
    if (out.levelled || !in.alcEnabled || in.alcHold)
        out.controller =
            (uint32_t)std::lround(kControllerLow + (kControllerHigh - kControllerLow) * out.drive);
    out.on = in.rfOn;
    if (out.on) out.outputDbm = modulatorDbm - in.attADb - in.attBDb - in.moduleDb;
    return out;
}

uint32_t simlevel_vcoReading(double vcoHz) {
    if (vcoHz <= 0) return 0;
    double x = std::clamp((vcoHz - kVcoLowHz) / (kVcoHighHz - kVcoLowHz), 0.0, 1.0);
    return (uint32_t)std::lround(4000 + 8000 * x);
}
