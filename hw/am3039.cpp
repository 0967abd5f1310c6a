// AM3039 tunable filter module.
#include "hw/am3039.h"

void AM3039_init(AM3039 *filter, SRI *image, int baseBit) {
    amFilter_init(filter, &AM3039_PART, image, baseBit);
}

int AM3039_presetCutoff(AM3039 *filter, const KrFreq *cutoff) {
    return amFilter_presetCutoff(filter, cutoff);
}
