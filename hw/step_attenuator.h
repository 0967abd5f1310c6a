// Digital step attenuators (HMC624, HMC1018, HMC424, ADRF57X0, ADRF57X1): the shared record
// and operations behind each part's module. The attenuation is kept in code steps; set
// rounds to the nearest step within the part's range. Either a chip of its own on SPI, or
// (preset form) bits in a board's shift-register image. Main loop.
#pragma once

#include <cstdint>

#include "device/krquantity.h"
#include "hw/sri.h"
#include "hw/step_attenuator_registers.h"

struct StepAttenuator {
    const StepAttenuatorPart *part;
    uint32_t slave;    // SPI form
    uint32_t options;  // latch-enable polarity of the board's wiring
    SRI *image;        // preset form: the register image and the code's first bit
    int baseBit;
    uint32_t code;
    KrPow attenuation;
};

int stepAttenuator_init(StepAttenuator *att, const StepAttenuatorPart *part, uint32_t slave,
                        uint32_t options);
void stepAttenuator_initPreset(StepAttenuator *att, const StepAttenuatorPart *part, SRI *image,
                               int baseBit);
// The nearest code for an attenuation (halves up), within 0 .. the part's maximum.
uint32_t stepAttenuator_codeFor(const StepAttenuatorPart *part, KrPow attenuation);
int stepAttenuator_setCode(StepAttenuator *att, uint32_t code);
int stepAttenuator_set(StepAttenuator *att, KrPow attenuation);
// Preset form: the code's bits into the image only.
int stepAttenuator_preset(StepAttenuator *att, KrPow attenuation);
const KrPow *stepAttenuator_get(const StepAttenuator *att);
const KrPow *stepAttenuator_getMaximum(const StepAttenuator *att);
int stepAttenuator_increase(StepAttenuator *att);
int stepAttenuator_decrease(StepAttenuator *att);
