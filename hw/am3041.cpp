// AM3041 tunable filter module.
#include "hw/am3041.h"

void AM3041_init(AM3041 *filter, SRI *image, int baseBit) {
    amFilter_init(filter, &AM3041_PART, image, baseBit);
}

int AM3041_presetCutoff(AM3041 *filter, const KrFreq *cutoff) {
    return amFilter_presetCutoff(filter, cutoff);
}
