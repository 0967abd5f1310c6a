// 40 GHz output board with digital levelling.
#include "hw/orbx40g_out_digital.h"

#include <cmath>
#include <new>

#include "core/printd.h"
#include "device/device_board.h"
#include "scpi/scpi_errorcodes.h"

namespace {

// A detector reading this close to either rail: the loop has run out of range.
constexpr uint32_t DETECTOR_RAIL_MARGIN = 16;
constexpr uint32_t DETECTOR_FULL_SCALE = 65535;

}  // namespace

ORBX40G_OUT_DIGITAL *ORBX40G_OUT_DIGITAL_record(OrbxxxgOutBoard *board) {
    return orbxxxg_outRecord<ORBX40G_OUT_DIGITAL>(board);
}

int ORBX40G_OUT_DIGITAL_init(OrbxxxgOutBoard *board) {
    ORBX40G_OUT_DIGITAL *d = new (board->module) ORBX40G_OUT_DIGITAL{};
    // The board levels digitally: the loop runs from the start, as the analog one does on
    // the older boards.
    d->dalcEnabled = 1;
    d->dalcSampleTime = ORBX40G_OUT_DIGITAL_SAMPLE_TIME_DEFAULT_S;
    d->dalcGain = ORBX40G_OUT_DIGITAL_GAIN_DEFAULT;
    return ORBX40G_OUT_init(board);
}

int ORBX40G_OUT_DIGITAL_SRI_applyPreset(OrbxxxgOutBoard *board) {
    ORBX40G_OUT *b = ORBX40G_OUT_record(board);
    // The 40 GHz apply step writes the loop filter when its set point differs from what the
    // potentiometer holds; here it must wait until the VCO has tuned.
    uint32_t held = b->r1Applied;
    b->r1Applied = b->r1;
    int r = ORBX40G_OUT_SRI_applyPreset(board);
    b->r1Applied = held;
    return r;
}

int ORBX40G_OUT_DIGITAL_enableDalc(OrbxxxgOutBoard *board) {
    ORBX40G_OUT_DIGITAL_record(board)->dalcEnabled = 1;
    return 0;
}

int ORBX40G_OUT_DIGITAL_disableDalc(OrbxxxgOutBoard *board) {
    ORBX40G_OUT_DIGITAL_record(board)->dalcEnabled = 0;
    return 0;
}

int ORBX40G_OUT_DIGITAL_isDalcEnabled(OrbxxxgOutBoard *board) {
    return ORBX40G_OUT_DIGITAL_record(board)->dalcEnabled ? 1 : 0;
}

int ORBX40G_OUT_DIGITAL_getDalcCondition(OrbxxxgOutBoard *board, uint32_t *condition) {
    ORBX40G_OUT_DIGITAL *d = ORBX40G_OUT_DIGITAL_record(board);
    if (!d->board.ready) {
        *condition = 3;
        return KR_E_HARDWARE_MISSING;
    }
    *condition = 3;  // nothing to level
    if (!d->dalcEnabled || !SRI_getBit(&d->board.sri, ORBX40G_OUT_BIT_RF_ENABLE)) return 0;
    // The digital loop reads the detector whether or not the analog loop is closed.
    uint32_t v = 0;
    int r = AD7680_read(&d->board.detector, &v);
    if (r) return r;
    bool rail = v <= DETECTOR_RAIL_MARGIN || v >= DETECTOR_FULL_SCALE - DETECTOR_RAIL_MARGIN;
    *condition = rail ? 1 : 0;
    return 0;
}

int ORBX40G_OUT_DIGITAL_setR1ResistanceToSetpoint(OrbxxxgOutBoard *board, double ohms) {
    ORBX40G_OUT *b = ORBX40G_OUT_record(board);
    if (!b->ready) return KR_E_HARDWARE_MISSING;
    if (std::isnan(ohms) || ohms > ORBX40G_OUT_DIGITAL_R1_MAX_OHM)
        return KR_E_ILLEGAL_PARAMETER_VALUE;
    // On the direct path the loop is not in use: its set point is left from an earlier change.
    if (!(ohms > 0) && b->path == ORBX40G_OUT_PATH_DIRECT) return 0;
    uint32_t value = ohms > 0 ? (uint32_t)ohms : b->r1;
    if (value == 0 || value == b->r1Applied) return 0;
    int r = AD8402_setResistanceWB1(&b->loopPot, value);
    if (r == 0) b->r1Applied = value;
    printd("ORBX40G_OUT_DIGITAL_setR1ResistanceToSetpoint(): R1=%u (%d)\n", (unsigned)value, r);
    return r;
}

int ORBX40G_OUT_DIGITAL_setDalcSampleTime(OrbxxxgOutBoard *board, const KrTime *seconds) {
    if (!seconds || !(*seconds > 0) || *seconds > ORBX40G_OUT_DIGITAL_SAMPLE_TIME_MAX_S)
        return KR_E_ILLEGAL_PARAMETER_VALUE;
    ORBX40G_OUT_DIGITAL_record(board)->dalcSampleTime = *seconds;
    return 0;
}

int ORBX40G_OUT_DIGITAL_setDalcGain(OrbxxxgOutBoard *board, double gain) {
    if (!(gain > 0) || std::isinf(gain)) return KR_E_ILLEGAL_PARAMETER_VALUE;
    ORBX40G_OUT_DIGITAL_record(board)->dalcGain = gain;
    return 0;
}

int ORBX40G_OUT_DIGITAL_phaseReset(OrbxxxgOutBoard *board) {
    printd("ORBX40G_OUT_DIGITAL_phaseReset(): channel %d\n", board->channel);
    KrAngle zero = 0;
    return ORBX40G_OUT_setPhase(board, &zero);
}

void ORBX40G_OUT_DIGITAL_registerFunctions() {
    ORBX40G_OUT_registerFunctions();
    BOARD_ORBXXXG_OUT_init = ORBX40G_OUT_DIGITAL_init;
    BOARD_ORBXXXG_OUT_SRI_applyPreset = ORBX40G_OUT_DIGITAL_SRI_applyPreset;
    BOARD_ORBXXXG_OUT_enableDalc = ORBX40G_OUT_DIGITAL_enableDalc;
    BOARD_ORBXXXG_OUT_disableDalc = ORBX40G_OUT_DIGITAL_disableDalc;
    BOARD_ORBXXXG_OUT_isDalcEnabled = ORBX40G_OUT_DIGITAL_isDalcEnabled;
    BOARD_ORBXXXG_OUT_getDalcCondition = ORBX40G_OUT_DIGITAL_getDalcCondition;
    BOARD_ORBXXXG_OUT_setR1ResistanceToSetpoint = ORBX40G_OUT_DIGITAL_setR1ResistanceToSetpoint;
    BOARD_ORBXXXG_OUT_setDalcSampleTime = ORBX40G_OUT_DIGITAL_setDalcSampleTime;
    BOARD_ORBXXXG_OUT_setDalcGain = ORBX40G_OUT_DIGITAL_setDalcGain;
    BOARD_ORBXXXG_OUT_phaseReset = ORBX40G_OUT_DIGITAL_phaseReset;
}
