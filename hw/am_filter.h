// Tunable filter modules (AM3029, AM3030, AM3039, AM3041, AM3152): the cutoff frequency as a
// code in a range of bits of the board's register image; AM3152 also a bypass and an open
// (all-pass off) bit after the code. Preset only: the board applies its image. Main loop.
#pragma once

#include <cstdint>

#include "device/krfreq.h"
#include "hw/sri.h"

struct AmFilterPart {
    const char *name;
    uint64_t minimumHz;  // cutoff at code 0
    uint64_t maximumHz;  // cutoff at the largest code
    int bits;
    bool switches;  // bypass and open bits follow the code
};

struct AmFilter {
    const AmFilterPart *part;
    SRI *image;
    int baseBit;
    uint32_t code;
    KrFreq cutoff;  // what the code tunes to
};

extern const AmFilterPart AM3029_PART, AM3030_PART, AM3039_PART, AM3041_PART, AM3152_PART;

void amFilter_init(AmFilter *filter, const AmFilterPart *part, SRI *image, int baseBit);
// The nearest code for the cutoff, within the part's range.
uint32_t amFilter_codeFor(const AmFilterPart *part, const KrFreq *cutoff);
int amFilter_presetCutoff(AmFilter *filter, const KrFreq *cutoff);
int amFilter_presetBypass(AmFilter *filter, int on);
int amFilter_presetOpen(AmFilter *filter, int on);
