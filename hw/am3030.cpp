// AM3030 tunable filter module.
#include "hw/am3030.h"

void AM3030_init(AM3030 *filter, SRI *image, int baseBit) {
    amFilter_init(filter, &AM3030_PART, image, baseBit);
}

int AM3030_presetCutoff(AM3030 *filter, const KrFreq *cutoff) {
    return amFilter_presetCutoff(filter, cutoff);
}
