// AM3029 tunable filter module (see am_filter.h). Main loop.
#pragma once

#include "hw/am_filter.h"

typedef AmFilter AM3029;

void AM3029_init(AM3029 *filter, SRI *image, int baseBit);
int AM3029_presetCutoff(AM3029 *filter, const KrFreq *cutoff);
