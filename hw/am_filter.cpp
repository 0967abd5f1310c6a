// Tunable filter modules.
#include "hw/am_filter.h"

#include <cstring>

#include "scpi/scpi_errorcodes.h"

// Tuning ranges of the parts as fitted in this build.
const AmFilterPart AM3029_PART = {"AM3029", 500000000ull, 1000000000ull, 6, false};
const AmFilterPart AM3030_PART = {"AM3030", 1000000000ull, 2000000000ull, 6, false};
const AmFilterPart AM3039_PART = {"AM3039", 2000000000ull, 4000000000ull, 7, false};
const AmFilterPart AM3041_PART = {"AM3041", 4000000000ull, 8000000000ull, 7, false};
const AmFilterPart AM3152_PART = {"AM3152", 8000000000ull, 20000000000ull, 8, true};

void amFilter_init(AmFilter *filter, const AmFilterPart *part, SRI *image, int baseBit) {
    memset(filter, 0, sizeof(*filter));
    filter->part = part;
    filter->image = image;
    filter->baseBit = baseBit;
}

uint32_t amFilter_codeFor(const AmFilterPart *part, const KrFreq *cutoff) {
    uint32_t max = (1u << part->bits) - 1;
    if (cutoff->integer <= (int64_t)part->minimumHz) return 0;
    if (cutoff->integer >= (int64_t)part->maximumHz) return max;
    uint64_t span = part->maximumHz - part->minimumHz;
    uint64_t off = (uint64_t)cutoff->integer - part->minimumHz;
    return (uint32_t)((off * max + span / 2) / span);
}

int amFilter_presetCutoff(AmFilter *filter, const KrFreq *cutoff) {
    const AmFilterPart *p = filter->part;
    filter->code = amFilter_codeFor(p, cutoff);
    uint32_t max = (1u << p->bits) - 1;
    uint64_t span = p->maximumHz - p->minimumHz;
    filter->cutoff = {(int64_t)(p->minimumHz + span * filter->code / max), 0};
    return SRI_presetField(filter->image, filter->baseBit, p->bits, filter->code);
}

int amFilter_presetBypass(AmFilter *filter, int on) {
    if (!filter->part->switches) return KR_E_HARDWARE_MISSING;
    return SRI_presetBitValue(filter->image, filter->baseBit + filter->part->bits, on);
}

int amFilter_presetOpen(AmFilter *filter, int on) {
    if (!filter->part->switches) return KR_E_HARDWARE_MISSING;
    return SRI_presetBitValue(filter->image, filter->baseBit + filter->part->bits + 1, on);
}
