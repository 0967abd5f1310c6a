#include "scpi/scpi_cmd_measure.h"

#include <cstring>

#include "device/device.h"
#include "scpi/scpi_cmd_common.h"
#include "scpi/scpi_convert.h"
#include "scpi/scpi_errorcodes.h"
#include "scpi/scpi_match.h"
#include "scpi/scpi_node.h"

namespace {

// The measurement configuration value keywords, passed to the measurement module as their
// position in the keyword list.
template <const char *const *keywords, int (**set)(Device *, int32_t)>
int measurementChoice(ScpiCall *call) {
    char *p;
    int r = scpi_cmd_oneParameter(call, &p);
    if (r != 0) return r;
    for (int32_t i = 0; keywords[i]; i++)
        if (scpi_isParam(keywords[i], p)) return (*set)(call->device, i);
    return KR_E_ILLEGAL_PARAMETER_VALUE;
}
constexpr const char *methodKeywords[] = {"CC", "DUT", "SINGle", nullptr};
constexpr const char *modeKeywords[] = {"TRAN", "BB", "PN", nullptr};

// ---- Tables ---------------------------------------------------------------------------------

const ScpiEnumValue confNoisBoarValues[] = {
    {"B", &Device_selectPhaseNoiseAlgBoardB, &Device_isPhaseNoiseAlgBoardBSelected},
    {"A", &Device_selectPhaseNoiseAlgBoardA, &Device_isPhaseNoiseAlgBoardASelected},
    {nullptr, nullptr, nullptr},
};

const ScpiEnumValue confNoisVersValues[] = {
    {"1B", &Device_setPhaseNoiseVersion1B, &Device_isPhaseNoiseVersion1B},
    {"1A", &Device_setPhaseNoiseVersion1A, &Device_isPhaseNoiseVersion1A},
    {nullptr, nullptr, nullptr},
};

const ScpiNode measureNoiseNodes[] = {
    scpi_kwLeaf("FD", scpi_leafAction(&Device_capturePhaseNoiseFdSamples)),
    scpi_kwLeaf("FILTered", scpi_leafAction(&Device_getFilteredSamples)),
    scpi_kwLeaf("VALid",
                scpi_leafUint32(&Device_getPhaseNoiseValidSamplesCount, nullptr, nullptr, nullptr)),
    scpi_end(),
};

const ScpiNode measureSupplyNNodes[] = {
    scpi_kwLeaf("CURRent", scpi_leafIndexDouble(&Device_measureSupplyOutputCurrent, nullptr,
                                                nullptr, nullptr)),
    scpi_end(),
};

}  // namespace

const ScpiNode scpi_cmd_measureNodes[] = {
    scpi_kwLeaf("FREQuency", scpi_leafFreq(&Device_measureDutFrequency, nullptr, nullptr, nullptr)),
    scpi_kw("NOISe", measureNoiseNodes,
            scpi_leafCustom(scpi_cmd_runDeviceLeaf, SCPI_FORM_BOTH, nullptr,
                            &Device_phaseNoiseSampling_startHMode,
                            &Device_phaseNoiseSampling_getHBytes, &Device_startPhaseNoiseSampling)),
    scpi_kwIndex("SUPPly", nullptr, measureSupplyNNodes),
    scpi_end(),
};

namespace {

const ScpiNode configureNoiseGainNodes[] = {
    scpi_kwLeaf("LIST", scpi_leafCustom(scpi_cmd_runDeviceLeaf, SCPI_FORM_QUERY, nullptr,
                                        &Device_getLnaGainList)),
    scpi_end(),
};

const ScpiNode configureNoiseNodes[] = {
    scpi_kwLeaf("BOARd", scpi_leafEnum(confNoisBoarValues)),
    scpi_kwLeaf("CHANnel", scpi_leafUint32(&Device_getPhaseNoiseChannels, nullptr, nullptr,
                                           &Device_setPhaseNoiseChannels)),
    scpi_kwLeaf("CLOCk", scpi_leafBool(nullptr, &Device_enableSscClock, &Device_disableSscClock)),
    scpi_kwLeaf("DELay", scpi_leafTime(&Device_getPhaseNoiseDelay, nullptr, nullptr,
                                       &Device_setPhaseNoiseDelay)),
    scpi_kwLeaf("DIVider", scpi_leafUint32(&Device_getPhaseNoiseDivider, nullptr, nullptr,
                                           &Device_setPhaseNoiseDivider)),
    scpi_kwLeaf("FILTer", scpi_leafUint32(&Device_getPhaseNoiseFilter, nullptr, nullptr,
                                          &Device_setPhaseNoiseFilter)),
    scpi_kw("GAIN", configureNoiseGainNodes,
            scpi_leafDouble(&Device_getLnaGain, nullptr, nullptr, &Device_setLnaGain)),
    scpi_kwLeaf("SAMPles", scpi_leafUint32(&Device_getPhaseNoiseSamples, nullptr, nullptr,
                                           &Device_setPhaseNoiseSamples)),
    scpi_kwLeaf("FSample",
                scpi_leafFreq(&Device_getBaseSampleFrequency, nullptr, nullptr, nullptr)),
    scpi_kwLeaf("VERSion", scpi_leafEnum(confNoisVersValues)),
    scpi_end(),
};

const ScpiNode configureMeasurementNodes[] = {
    scpi_kwLeaf("ITERations", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("PPD", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode configurePnMethodLoopNodes[] = {
    scpi_kwLeaf("AUTO", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode configurePnMethodNodes[] = {
    scpi_kw("LOOP", configurePnMethodLoopNodes, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode configurePnNodes[] = {
    scpi_kw("METHod", configurePnMethodNodes,
            scpi_leafCustom(
                measurementChoice<methodKeywords, &Automeasure_configPN_setMeasurementMethod>,
                SCPI_FORM_SET, nullptr, &Automeasure_configPN_setMeasurementMethod)),
    scpi_kw("LOOP", configurePnMethodLoopNodes, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode configureFrequencyNodes[] = {
    scpi_kwLeaf("AUTO", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("STARt", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("STOP", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("SPOT", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

}  // namespace

const ScpiNode scpi_cmd_configureNodes[] = {
    scpi_kw("NOISe", configureNoiseNodes),
    scpi_kw("MEASurement", configureMeasurementNodes),
    scpi_kw("PN", configurePnNodes),
    scpi_kw("FREQuency", configureFrequencyNodes, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("ATTenuation", configurePnMethodLoopNodes, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("MODE", scpi_leafCustom(
                            measurementChoice<modeKeywords, &Automeasure_config_setMeasurementMode>,
                            SCPI_FORM_SET, nullptr, &Automeasure_config_setMeasurementMode)),
    scpi_end(),
};

namespace {

const ScpiNode senseAdcRoscillatorNodes[] = {
    scpi_kwLeaf("SOUR", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("LOCKed", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode senseAdcNodes[] = {
    scpi_kw("ROSCillator", senseAdcRoscillatorNodes),
    scpi_end(),
};

const ScpiNode senseAnFrequencyNodes[] = {
    scpi_kwLeaf("AUTO", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("DETect", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("STARt", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("STOP", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode senseAnPulseNodes[] = {
    scpi_kwLeaf("DUTYcycle", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("GATE", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("RATE", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode senseAnSmoothingNodes[] = {
    scpi_kwLeaf("APERture", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("STATe", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode senseAnSpuriousOmissionNodes[] = {
    scpi_kwLeaf("THReshold", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode senseAnSpuriousNodes[] = {
    scpi_kw("OMISsion", senseAnSpuriousOmissionNodes, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("THReshold", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode senseAnNodes[] = {
    scpi_kwLeaf("AVERage", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("CORRelation", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("FREQuency", senseAnFrequencyNodes, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("PPD", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("PULSe", senseAnPulseNodes, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("RESet", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kw("SMOothing", senseAnSmoothingNodes),
    scpi_kw("SPURious", senseAnSpuriousNodes),
    scpi_end(),
};

const ScpiNode senseBnFrequencyNodes[] = {
    scpi_kwLeaf("STARt", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("STOP", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode senseBnNodes[] = {
    scpi_kwLeaf("AVERage", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("CORRelation", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("FREQuency", senseBnFrequencyNodes),
    scpi_kwLeaf("PPD", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("RESet", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kw("SMOothing", senseAnSmoothingNodes),
    scpi_kw("SPURious", senseAnSpuriousNodes),
    scpi_end(),
};

const ScpiNode senseFnNodes[] = {
    scpi_kwLeaf("AVERage", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("CORRelation", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("FREQuency", senseAnFrequencyNodes, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("PPD", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("RESet", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kw("SMOothing", senseAnSmoothingNodes),
    scpi_kw("SPURious", senseAnSpuriousNodes),
    scpi_end(),
};

const ScpiNode senseFrequencyNodes[] = {
    scpi_kwLeaf("AUTO", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("EXECute", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("DETect", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("HARMonics", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("RANGe", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sensePowerNodes[] = {
    scpi_kwLeaf("EXECute", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode sensePnKphiNodes[] = {
    scpi_kwLeaf("AUTO", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("DETect", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sensePnReferencesNNodes[] = {
    scpi_kw("SENS", sensePowerNodes, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sensePnAverageNodes[] = {
    scpi_kwLeaf("COUNt", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode sensePnFrequencyNodes[] = {
    scpi_kwLeaf("AUTO", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("DETect", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("STARt", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("STOP", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("SPOT", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sensePnFunctionNodes[] = {
    scpi_kwLeaf("RANGe", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode sensePnMeasureNodes[] = {
    scpi_kwLeaf("SPOT", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode sensePnNodes[] = {
    scpi_kw("KPHI", sensePnKphiNodes, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("LOBandwidth", configurePnMethodLoopNodes, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("LOBW", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("ZETA", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("PREAmplifier", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("PULSe", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("LOCKonly", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("DCYC", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("PURA", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwIndex("REFerences", nullptr, sensePnReferencesNNodes,
                 scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kwLeaf("TEST", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("METHod", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kw("AVERage", sensePnAverageNodes, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("ATTenuation", sensePnKphiNodes, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("IFGain", sensePnKphiNodes, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("IFPath", configurePnMethodLoopNodes, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("FREQuency", sensePnFrequencyNodes, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("PPD", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("RESet", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kw("FUNCtion", sensePnFunctionNodes),
    scpi_kw("SPURious", senseAnSpuriousNodes),
    scpi_kw("SMOothing", senseAnSmoothingNodes),
    scpi_kw("MEASure", sensePnMeasureNodes),
    scpi_kwLeaf("INIT", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("CORRelation", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("ASET", sensePnKphiNodes, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode senseSpectrumTestRoscillatorNodes[] = {
    scpi_kwLeaf("SOURce", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("LOCKed", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode senseSpectrumTestNodes[] = {
    scpi_kw("ATTenuation", configurePnMethodLoopNodes, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("CALibrate", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("FREQuency", senseBnFrequencyNodes),
    scpi_kw("RBW", configurePnMethodLoopNodes, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("RLEVel", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("ROSCillator", senseSpectrumTestRoscillatorNodes),
    scpi_kwLeaf("ITERations", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("POINt", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode senseSpectrumNodes[] = {
    scpi_kw("TEST", senseSpectrumTestNodes),
    scpi_end(),
};

const ScpiNode senseTransientNodes[] = {
    scpi_kw("ROSCillator", senseSpectrumTestRoscillatorNodes),
    scpi_end(),
};

const ScpiNode senseVcoVoltageNodes[] = {
    scpi_kwLeaf("POINts", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("STARt", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("STOP", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode senseVcoTestPnoiseNodes[] = {
    scpi_kwLeaf("COUNt", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kwIndex("OFFSet", nullptr, nullptr, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode senseVcoTestNodes[] = {
    scpi_kwLeaf("ISUPply", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("KVCO", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("KPUSh", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("PNoise", senseVcoTestPnoiseNodes, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("POWer", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode senseVcoNodes[] = {
    scpi_kwLeaf("DWELL", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwIndex("REFerences", nullptr, nullptr, scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kw("VOLTage", senseVcoVoltageNodes),
    scpi_kw("TEST", senseVcoTestNodes),
    scpi_kwLeaf("TYPE", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode senseBbNodes[] = {
    scpi_kwLeaf("METHod", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode sensePathNodes[] = {
    scpi_kwLeaf("AM", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("BB", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("PN", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("MUX", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode senseRoscillatorInternalNodes[] = {
    scpi_kwLeaf("LOWNoise", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode senseRoscillatorNodes[] = {
    scpi_kw("INTernal", senseRoscillatorInternalNodes, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

}  // namespace

const ScpiNode scpi_cmd_senseNodes[] = {
    scpi_kwLeaf("MODE", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("ADC", senseAdcNodes),
    scpi_kw("AN", senseAnNodes),
    scpi_kw("BN", senseBnNodes),
    scpi_kw("FN", senseFnNodes),
    scpi_kw("FREQuency", senseFrequencyNodes, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("POWer", sensePowerNodes),
    scpi_kwLeaf("RESet", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kw("PN", sensePnNodes),
    scpi_kw("SPECtrum", senseSpectrumNodes),
    scpi_kw("TRANsient", senseTransientNodes),
    scpi_kw("VCO", senseVcoNodes),
    scpi_kw("BB", senseBbNodes),
    scpi_kw("PATH", sensePathNodes, scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kw("ROSCillator", senseRoscillatorNodes),
    scpi_end(),
};

// ---- CALCulate --------------------------------------------------------------------------------
// A trace query names its data columns as a subsequence of selectors in a fixed order; each
// selector's table holds the selectors that may still follow it, so the tables form a chain
// rather than a tree of every combination.

namespace {

int allanVariance(ScpiCall *call) {
    if (call->state == SCPI_STATE_QUERY) return scpi_cmd_runDeviceLeaf(call);
    int r;
    if (!scpi_cmd_noParameters(call, &r)) return r;
    return Automeasure_calculateAVariance(call->device);
}

constexpr ScpiLeaf TRACE = scpi_cmd_deviceLeaf(SCPI_FORM_QUERY);
constexpr ScpiLeaf AVAR =
    scpi_leafCustom(allanVariance, SCPI_FORM_BOTH, nullptr, &Automeasure_calculateAVariance);
constexpr ScpiLeaf WAIT = scpi_cmd_deviceLeaf(SCPI_FORM_SET);

extern const ScpiNode pnAfterSigma[], pnAfterAvar[], pnAfterIntegral[], pnAfterJitter[],
    pnAfterFunction[], pnAfterSpurPower[], pnAfterSpur[], pnAfterSpot[], pnAfterFrequency[],
    pnAfterPower[], pnAfterImaginary[], pnAfterNoise[];

#define PN_TAU scpi_kwLeaf("TAU", TRACE)
#define PN_SIGMA scpi_kw("SIGMa", pnAfterSigma, TRACE), PN_TAU
#define PN_AVAR scpi_kw("AVARiance", pnAfterAvar, AVAR), PN_SIGMA
#define PN_INTEGRAL scpi_kw("INTegral", pnAfterIntegral, TRACE), PN_AVAR
#define PN_JITTER scpi_kw("JITTer", pnAfterJitter, TRACE), PN_INTEGRAL
#define PN_FUNCTION scpi_kw("FUNCtion", pnAfterFunction, TRACE), PN_JITTER
#define PN_SPUR scpi_kw("SPUR", pnAfterSpur, TRACE), PN_FUNCTION
#define PN_SPOT scpi_kw("SPOT", pnAfterSpot, TRACE), PN_SPUR
#define PN_FREQUENCY scpi_kw("FREQuency", pnAfterFrequency, TRACE), PN_SPOT
#define PN_POWER scpi_kw("POWer", pnAfterPower, TRACE), PN_FREQUENCY
#define PN_IMAGINARY scpi_kw("IMAGinary", pnAfterImaginary, TRACE), PN_POWER
#define PN_NOISE scpi_kw("NOISe", pnAfterNoise, TRACE), PN_IMAGINARY

const ScpiNode pnAfterSigma[] = {PN_TAU, scpi_end()};
const ScpiNode pnAfterAvar[] = {PN_SIGMA, scpi_end()};
const ScpiNode pnAfterIntegral[] = {PN_AVAR, scpi_end()};
const ScpiNode pnAfterJitter[] = {PN_INTEGRAL, scpi_end()};
const ScpiNode pnAfterFunction[] = {PN_JITTER, scpi_end()};
// SPUR may be followed by its own POWer and FREQuency columns.
const ScpiNode pnAfterSpurPower[] = {scpi_kw("FREQuency", pnAfterFunction, TRACE), PN_FUNCTION,
                                     scpi_end()};
const ScpiNode pnAfterSpur[] = {scpi_kw("POWer", pnAfterSpurPower, TRACE),
                                scpi_kw("FREQuency", pnAfterFunction, TRACE), PN_FUNCTION,
                                scpi_end()};
const ScpiNode pnAfterSpot[] = {PN_SPUR, scpi_end()};
const ScpiNode pnAfterFrequency[] = {PN_SPOT, scpi_end()};
const ScpiNode pnAfterPower[] = {PN_FREQUENCY, scpi_end()};
const ScpiNode pnAfterImaginary[] = {PN_POWER, scpi_end()};
const ScpiNode pnAfterNoise[] = {PN_IMAGINARY, scpi_end()};
const ScpiNode pnTraceNodes[] = {PN_NOISE, scpi_end()};

extern const ScpiNode vcoAfterFrequency[], vcoAfterIsupply[], vcoAfterKpush[], vcoAfterKvco[],
    vcoAfterPnoise[], vcoAfterPower[], vcoAfterVoltage[];

#define VCO_WAIT scpi_kwLeaf("WAIT", WAIT)
#define VCO_VOLTAGE scpi_kw("VOLTage", vcoAfterVoltage, TRACE), VCO_WAIT
#define VCO_POWER scpi_kw("POWer", vcoAfterPower, TRACE), VCO_VOLTAGE
#define VCO_PNOISE scpi_kw("PNoise", vcoAfterPnoise, TRACE), VCO_POWER
#define VCO_KVCO scpi_kw("KVCO", vcoAfterKvco, TRACE), VCO_PNOISE
#define VCO_KPUSH scpi_kw("KPUSh", vcoAfterKpush, TRACE), VCO_KVCO
#define VCO_ISUPPLY scpi_kw("ISUPply", vcoAfterIsupply, TRACE), VCO_KPUSH
#define VCO_FREQUENCY scpi_kw("FREQuency", vcoAfterFrequency, TRACE), VCO_ISUPPLY

const ScpiNode vcoAfterVoltage[] = {VCO_WAIT, scpi_end()};
const ScpiNode vcoAfterPower[] = {VCO_VOLTAGE, scpi_end()};
const ScpiNode vcoAfterPnoise[] = {VCO_POWER, scpi_end()};
const ScpiNode vcoAfterKvco[] = {VCO_PNOISE, scpi_end()};
const ScpiNode vcoAfterKpush[] = {VCO_KVCO, scpi_end()};
const ScpiNode vcoAfterIsupply[] = {VCO_KPUSH, scpi_end()};
const ScpiNode vcoAfterFrequency[] = {VCO_ISUPPLY, scpi_end()};
const ScpiNode vcoTraceNodes[] = {VCO_FREQUENCY, scpi_end()};

const ScpiNode rawNodes[] = {
    scpi_kwLeaf("RAW", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};
const ScpiNode averageNodes[] = {
    scpi_kwLeaf("CORRelation", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_end(),
};
const ScpiNode preliminaryNodes[] = {
    scpi_kw("AVERage", averageNodes, scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kwLeaf("CORRelation", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_end(),
};
const ScpiNode calcPnNodes[] = {
    scpi_kw("PRELiminary", preliminaryNodes),
    scpi_kwLeaf("TEST", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kw("TRACe", pnTraceNodes, TRACE),
    scpi_end(),
};
const ScpiNode vcoIterationNodes[] = {
    scpi_kw("TRACe", vcoTraceNodes, TRACE),
    scpi_end(),
};
const ScpiNode calcVcoNodes[] = {
    scpi_kwLeaf("WAIT", WAIT),
    scpi_kwOptional("ITERation", vcoIterationNodes),
    scpi_end(),
};
const ScpiNode spectrumNodes[] = {
    scpi_kwLeaf("SPECtrum", TRACE),
    scpi_end(),
};
const ScpiNode spectrumFrequencyNodes[] = {
    scpi_kwOptional("FREQuency", spectrumNodes),
    scpi_end(),
};
const ScpiNode specIterationNodes[] = {
    scpi_kw("TRACe", spectrumFrequencyNodes),
    scpi_end(),
};
const ScpiNode calcSpecNodes[] = {
    scpi_kwLeaf("WAIT", WAIT),
    scpi_kwOptional("ITERation", specIterationNodes),
    scpi_end(),
};
const ScpiNode calcWaitNodes[] = {
    scpi_kwLeaf("AVERage", WAIT),
    scpi_end(),
};
const ScpiNode calcAnNodes[] = {
    scpi_kw("PRELiminary", preliminaryNodes),
    scpi_end(),
};
const ScpiNode calcBodyNodes[] = {
    scpi_kw("FREQuency", rawNodes, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("POWer", rawNodes, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("PN", calcPnNodes),
    scpi_kw("WAIT", calcWaitNodes),
    scpi_kw("VCO", calcVcoNodes),
    scpi_kw("SPEC", calcSpecNodes),
    scpi_kw("AN", calcAnNodes),
    scpi_kw("PRELiminary", preliminaryNodes),
    scpi_end(),
};
const ScpiNode calcFnNodes[] = {
    scpi_kwOptional("FN", calcBodyNodes),
    scpi_end(),
};

}  // namespace

const ScpiNode scpi_cmd_calculateNodes[] = {
    scpi_kwOptional("AN", calcFnNodes),
    scpi_end(),
};
