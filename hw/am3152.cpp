// AM3152 tunable filter module.
#include "hw/am3152.h"

void AM3152_init(AM3152 *filter, SRI *image, int baseBit) {
    amFilter_init(filter, &AM3152_PART, image, baseBit);
}

int AM3152_presetCutoff(AM3152 *filter, const KrFreq *cutoff) {
    return amFilter_presetCutoff(filter, cutoff);
}

int AM3152_presetBypass(AM3152 *filter, int on) {
    return amFilter_presetBypass(filter, on);
}

int AM3152_presetOpen(AM3152 *filter, int on) {
    return amFilter_presetOpen(filter, on);
}
