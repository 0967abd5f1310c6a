// 20 GHz ultra-low-noise output board (revisions 2A, 2B and the 2B limited to 6 GHz, codes 6
// to 8): the 20 GHz board's plan over the same register image, DDS and dividers, with its own
// spur-free windows, a fourth DDS divider, no 16 GHz band edge and, for code 8, a 6 GHz top.
// It reports the settling of a path change and the retuning of a new VCO divider, so that the
// channel device blanks or holds the output meanwhile.
//
// Context: main loop (through the output-board slots).
#pragma once

#include "hw/orbx20g_out.h"

extern const Orbx20gOutPlan ORBX20G_OUT_ULN_PLAN;
extern const Orbx20gOutPlan ORBX20G_OUT_ULN_PLAN_6G;

constexpr double ORBX20G_OUT_ULN_PATH_SETTLING_S = 5e-6;
constexpr double ORBX20G_OUT_ULN_VCO_TUNE_S = 30e-6;

void ORBX20G_OUT_ULN_registerFunctions();
int ORBX20G_OUT_ULN_init(OrbxxxgOutBoard *board);
int ORBX20G_OUT_ULN_getPathSettlingTime(OrbxxxgOutBoard *board, KrTime *seconds);
int ORBX20G_OUT_ULN_getVcoTuneTime(OrbxxxgOutBoard *board, KrTime *seconds);
// Blank and release the RF through the pulse modulator's mute (all channels).
int ORBX20G_OUT_ULN_blankRf(OrbxxxgOutBoard *board);
int ORBX20G_OUT_ULN_unblankRf(OrbxxxgOutBoard *board);
