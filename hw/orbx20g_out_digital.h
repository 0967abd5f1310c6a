// 20 GHz output board revision 3B and newer (code 14, digital levelling): the ultra-low-noise
// board's plan, plus the digital-ALC state, the loop filter set only once the VCO has tuned
// (setR1ResistanceToSetpoint) and a reset of the DDS phase accumulator.
//
// Context: main loop (through the output-board slots).
#pragma once

#include "hw/orbx20g_out.h"

void ORBX20G_OUT_DIGITAL_registerFunctions();
int ORBX20G_OUT_DIGITAL_init(OrbxxxgOutBoard *board);
int ORBX20G_OUT_DIGITAL_enableDalc(OrbxxxgOutBoard *board);
int ORBX20G_OUT_DIGITAL_disableDalc(OrbxxxgOutBoard *board);
int ORBX20G_OUT_DIGITAL_isDalcEnabled(OrbxxxgOutBoard *board);
// 0 levelled, 3 RF off or the digital ALC off.
int ORBX20G_OUT_DIGITAL_getDalcCondition(OrbxxxgOutBoard *board, uint32_t *condition);
// ohms > 0: that resistance; otherwise the one the plan chose for the current setting.
int ORBX20G_OUT_DIGITAL_setR1ResistanceToSetpoint(OrbxxxgOutBoard *board, double ohms);
int ORBX20G_OUT_DIGITAL_phaseReset(OrbxxxgOutBoard *board);
