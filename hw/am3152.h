// AM3152 tunable filter module (see am_filter.h). Main loop.
#pragma once

#include "hw/am_filter.h"

typedef AmFilter AM3152;

void AM3152_init(AM3152 *filter, SRI *image, int baseBit);
int AM3152_presetCutoff(AM3152 *filter, const KrFreq *cutoff);
int AM3152_presetBypass(AM3152 *filter, int on);
int AM3152_presetOpen(AM3152 *filter, int on);
