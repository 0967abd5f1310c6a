// Digital step attenuators: serial word layout per part, shared by the drivers and the
// simulated chips. The word is one byte; the code counts attenuation steps.
#pragma once

#include <cstdint>

struct StepAttenuatorPart {
    const char *name;
    double stepDb;     // attenuation of one code step
    uint32_t maxCode;  // largest code
    int shift;         // code position in the word
    bool inverted;     // a bit is 0 when its weight is switched in
};

constexpr StepAttenuatorPart STEP_ATT_HMC624 = {"HMC624", 0.5, 63, 0, true};
constexpr StepAttenuatorPart STEP_ATT_HMC1018 = {"HMC1018", 1.0, 31, 0, true};
constexpr StepAttenuatorPart STEP_ATT_HMC424 = {"HMC424", 0.5, 63, 0, true};
constexpr StepAttenuatorPart STEP_ATT_ADRF57X0 = {"ADRF57X0", 0.5, 63, 0, false};
constexpr StepAttenuatorPart STEP_ATT_ADRF57X1 = {"ADRF57X1", 0.5, 63, 1, false};

constexpr uint8_t stepAtt_word(const StepAttenuatorPart &p, uint32_t code) {
    uint32_t c = code > p.maxCode ? p.maxCode : code;
    uint32_t bits = p.inverted ? (~c & p.maxCode) : c;
    return (uint8_t)(bits << p.shift);
}

constexpr uint32_t stepAtt_code(const StepAttenuatorPart &p, uint8_t word) {
    uint32_t bits = ((uint32_t)word >> p.shift) & p.maxCode;
    return p.inverted ? (~bits & p.maxCode) : bits;
}
