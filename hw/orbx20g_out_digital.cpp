// 20 GHz output board with digital levelling.
#include "hw/orbx20g_out_digital.h"

#include "core/printd.h"
#include "device/device_board.h"
#include "hw/krgio.h"
#include "hw/orbx20g_out_uln.h"

int ORBX20G_OUT_DIGITAL_init(OrbxxxgOutBoard *board) {
    int r = ORBX20G_OUT_initWithPlan(board, &ORBX20G_OUT_ULN_PLAN);
    ORBX20G_OUT_record(board)->r1Deferred = 1;
    return r;
}

int ORBX20G_OUT_DIGITAL_enableDalc(OrbxxxgOutBoard *board) {
    ORBX20G_OUT_record(board)->dalcEnabled = 1;
    return 0;
}

int ORBX20G_OUT_DIGITAL_disableDalc(OrbxxxgOutBoard *board) {
    ORBX20G_OUT_record(board)->dalcEnabled = 0;
    return 0;
}

int ORBX20G_OUT_DIGITAL_isDalcEnabled(OrbxxxgOutBoard *board) {
    return ORBX20G_OUT_record(board)->dalcEnabled;
}

int ORBX20G_OUT_DIGITAL_getDalcCondition(OrbxxxgOutBoard *board, uint32_t *condition) {
    ORBX20G_OUT *o = ORBX20G_OUT_record(board);
    if (!o->dalcEnabled) {
        *condition = 3;
        return 0;
    }
    return ORBX20G_OUT_getAlcCondition(board, condition);
}

int ORBX20G_OUT_DIGITAL_setR1ResistanceToSetpoint(OrbxxxgOutBoard *board, double ohms) {
    ORBX20G_OUT *o = ORBX20G_OUT_record(board);
    return ORBX20G_OUT_writeLoopFilter(o, ohms > 0 ? ohms : o->r1SetpointOhm);
}

// The accumulator is held clear across one I/O update and released with the next.
int ORBX20G_OUT_DIGITAL_phaseReset(OrbxxxgOutBoard *board) {
    AD9910 *dds = &ORBX20G_OUT_record(board)->dds;
    printd("ORBX20G_OUT_DIGITAL_phaseReset(): channel %d\n", board->channel);
    dds->cfr1 |= AD9910_CFR1_CLEAR_PHASE;
    int r = AD9910_writeCFR1(dds);
    int u = krgio_ioupdate();
    dds->cfr1 &= ~AD9910_CFR1_CLEAR_PHASE;
    int s = AD9910_writeCFR1(dds);
    int v = krgio_ioupdate();
    return r ? r : u ? u : s ? s : v;
}

void ORBX20G_OUT_DIGITAL_registerFunctions() {
    ORBX20G_OUT_ULN_registerFunctions();
    BOARD_ORBXXXG_OUT_init = ORBX20G_OUT_DIGITAL_init;
    BOARD_ORBXXXG_OUT_enableDalc = ORBX20G_OUT_DIGITAL_enableDalc;
    BOARD_ORBXXXG_OUT_disableDalc = ORBX20G_OUT_DIGITAL_disableDalc;
    BOARD_ORBXXXG_OUT_isDalcEnabled = ORBX20G_OUT_DIGITAL_isDalcEnabled;
    BOARD_ORBXXXG_OUT_getDalcCondition = ORBX20G_OUT_DIGITAL_getDalcCondition;
    BOARD_ORBXXXG_OUT_setR1ResistanceToSetpoint = ORBX20G_OUT_DIGITAL_setR1ResistanceToSetpoint;
    BOARD_ORBXXXG_OUT_phaseReset = ORBX20G_OUT_DIGITAL_phaseReset;
}
