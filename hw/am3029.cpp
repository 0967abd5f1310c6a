// AM3029 tunable filter module.
#include "hw/am3029.h"

void AM3029_init(AM3029 *filter, SRI *image, int baseBit) {
    amFilter_init(filter, &AM3029_PART, image, baseBit);
}

int AM3029_presetCutoff(AM3029 *filter, const KrFreq *cutoff) {
    return amFilter_presetCutoff(filter, cutoff);
}
