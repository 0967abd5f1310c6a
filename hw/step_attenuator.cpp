// Digital step attenuators.
#include "hw/step_attenuator.h"

#include <cmath>
#include <cstring>

#include "hw/krspi.h"
#include "scpi/scpi_errorcodes.h"

int stepAttenuator_init(StepAttenuator *att, const StepAttenuatorPart *part, uint32_t slave,
                        uint32_t options) {
    memset(att, 0, sizeof(*att));
    att->part = part;
    att->slave = slave;
    att->options = options;
    krspi_addSlave(slave, part->name);
    return stepAttenuator_setCode(att, 0);
}

void stepAttenuator_initPreset(StepAttenuator *att, const StepAttenuatorPart *part, SRI *image,
                               int baseBit) {
    memset(att, 0, sizeof(*att));
    att->part = part;
    att->image = image;
    att->baseBit = baseBit;
}

uint32_t stepAttenuator_codeFor(const StepAttenuatorPart *part, KrPow attenuation) {
    double steps = std::floor(attenuation / part->stepDb + 0.5);
    if (!(steps > 0)) return 0;
    return steps > part->maxCode ? part->maxCode : (uint32_t)steps;
}

int stepAttenuator_setCode(StepAttenuator *att, uint32_t code) {
    if (code > att->part->maxCode) code = att->part->maxCode;
    att->code = code;
    att->attenuation = (KrPow)(code * att->part->stepDb);
    uint8_t word = stepAtt_word(*att->part, code);
    if (att->image) {
        // The control lines in the image, least significant first.
        uint32_t bits = ((uint32_t)word >> att->part->shift) & att->part->maxCode;
        int r = 0;
        for (int i = 0; r == 0 && (att->part->maxCode >> i) != 0; i++)
            r = SRI_presetBitValue(att->image, att->baseBit + i, (int)((bits >> i) & 1));
        return r;
    }
    return krspi_sendWord(att->slave, att->options, word, 1);
}

int stepAttenuator_set(StepAttenuator *att, KrPow attenuation) {
    return stepAttenuator_setCode(att, stepAttenuator_codeFor(att->part, attenuation));
}

int stepAttenuator_preset(StepAttenuator *att, KrPow attenuation) {
    if (!att->image) return KR_E_EXECUTION_ERROR;
    return stepAttenuator_set(att, attenuation);
}

const KrPow *stepAttenuator_get(const StepAttenuator *att) {
    return &att->attenuation;
}

const KrPow *stepAttenuator_getMaximum(const StepAttenuator *att) {
    globalKrPow = (KrPow)(att->part->maxCode * att->part->stepDb);
    return &globalKrPow;
}

int stepAttenuator_increase(StepAttenuator *att) {
    return att->code < att->part->maxCode ? stepAttenuator_setCode(att, att->code + 1) : 0;
}

int stepAttenuator_decrease(StepAttenuator *att) {
    return att->code > 0 ? stepAttenuator_setCode(att, att->code - 1) : 0;
}
