// 40 GHz output board revision 2B and newer (code 15, digital levelling): the 40 GHz board's
// plan and slots, plus the digital-ALC state, the loop filter set only once the VCO has tuned
// (setR1ResistanceToSetpoint) and a reset of the output phase.
//
// Context: main loop (through the output-board slots), or the sweep task inside its SPI lock
// bracket for the apply step.
#pragma once

#include "device/krquantity.h"
#include "hw/orbx40g_out.h"

// The 40 GHz board's record first, so that its slots work on this storage unchanged.
struct ORBX40G_OUT_DIGITAL {
    ORBX40G_OUT board;
    uint8_t dalcEnabled;    // set by init
    KrTime dalcSampleTime;  // seconds between detector samples of the digital loop
    double dalcGain;        // loop gain of the digital loop
};

constexpr KrTime ORBX40G_OUT_DIGITAL_SAMPLE_TIME_DEFAULT_S = 1e-6;
constexpr KrTime ORBX40G_OUT_DIGITAL_SAMPLE_TIME_MAX_S = 1.0;
constexpr double ORBX40G_OUT_DIGITAL_GAIN_DEFAULT = 1.0;
constexpr double ORBX40G_OUT_DIGITAL_R1_MAX_OHM = 100000.0;  // far above the potentiometer

void ORBX40G_OUT_DIGITAL_registerFunctions();
ORBX40G_OUT_DIGITAL *ORBX40G_OUT_DIGITAL_record(OrbxxxgOutBoard *board);

int ORBX40G_OUT_DIGITAL_init(OrbxxxgOutBoard *board);
// The 40 GHz apply step without the loop filter: that follows setR1ResistanceToSetpoint.
int ORBX40G_OUT_DIGITAL_SRI_applyPreset(OrbxxxgOutBoard *board);
int ORBX40G_OUT_DIGITAL_enableDalc(OrbxxxgOutBoard *board);
int ORBX40G_OUT_DIGITAL_disableDalc(OrbxxxgOutBoard *board);
int ORBX40G_OUT_DIGITAL_isDalcEnabled(OrbxxxgOutBoard *board);
// 3 with the digital loop off or RF off; otherwise 1 when the detector sits at a rail (the
// loop cannot level), else 0.
int ORBX40G_OUT_DIGITAL_getDalcCondition(OrbxxxgOutBoard *board, uint32_t *condition);
// ohms > 0: that resistance; otherwise the one the plan chose for the current setting.
// Written only when it differs from what the potentiometer holds.
int ORBX40G_OUT_DIGITAL_setR1ResistanceToSetpoint(OrbxxxgOutBoard *board, double ohms);
// Sample time in (0, 1 s]; gain finite and above 0; else -224 and the old value stays.
int ORBX40G_OUT_DIGITAL_setDalcSampleTime(OrbxxxgOutBoard *board, const KrTime *seconds);
int ORBX40G_OUT_DIGITAL_setDalcGain(OrbxxxgOutBoard *board, double gain);
// The DAC's phase offset back to 0: the output phase reads 0 again.
int ORBX40G_OUT_DIGITAL_phaseReset(OrbxxxgOutBoard *board);
