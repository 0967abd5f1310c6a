// AM3030 tunable filter module (see am_filter.h). Main loop.
#pragma once

#include "hw/am_filter.h"

typedef AmFilter AM3030;

void AM3030_init(AM3030 *filter, SRI *image, int baseBit);
int AM3030_presetCutoff(AM3030 *filter, const KrFreq *cutoff);
