// AM3041 tunable filter module (see am_filter.h). Main loop.
#pragma once

#include "hw/am_filter.h"

typedef AmFilter AM3041;

void AM3041_init(AM3041 *filter, SRI *image, int baseBit);
int AM3041_presetCutoff(AM3041 *filter, const KrFreq *cutoff);
