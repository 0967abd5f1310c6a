// AM3039 tunable filter module (see am_filter.h). Main loop.
#pragma once

#include "hw/am_filter.h"

typedef AmFilter AM3039;

void AM3039_init(AM3039 *filter, SRI *image, int baseBit);
int AM3039_presetCutoff(AM3039 *filter, const KrFreq *cutoff);
