// The avionics, baseband, analog-input and multi-function families of the panel vocabulary:
// the exact lines sent for registered getters, the numbered headers of inputs and connectors,
// and the order of the settings dump and of the touch panel's limits.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "device/device.h"
#include "frontpanel/krhcupdate.h"
#include "panel_test_support.h"

namespace {

using krtest::ConfiguredRoot;
using krtest::PanelPair;
using krtest::SlotGuard;
using Lines = std::vector<std::string>;

KrFreq freq1k = {1000, 0};
KrPow powM5 = -5.25f;
KrTime width = 0.0000035;
KrAngle bearing = 1.25;

const KrFreq *getFreq(Device *) {
    return &freq1k;
}
const KrPow *getPow(Device *) {
    return &powM5;
}
const KrTime *getTime(Device *) {
    return &width;
}
const KrAngle *getAngle(Device *) {
    return &bearing;
}
double getNumber(Device *) {
    return 0.155;
}
uint32_t getCount(Device *) {
    return 8;
}
int yes(Device *) {
    return 1;
}
int no(Device *) {
    return 0;
}
// Numbered getters tell the inputs and connectors apart.
double gainOf(Device *, int32_t number) {
    return 1.5 * number;
}
uint32_t markerOf(Device *, int32_t number) {
    return 10u * (uint32_t)number;
}
int onlySecond(Device *, int32_t number) {
    return number == 2;
}
int onlyFirst(Device *, int32_t number) {
    return number == 1;
}

struct Case {
    const char *name;
    std::function<void(SlotGuard &)> fill;
    std::function<void()> send;
    Lines lines;
};

TEST(PanelVocabulary, NewFamiliesSendTheirExactLines) {
    const Case cases[] = {
        {"VOR bearing is an angle",
         [](SlotGuard &s) { s.fill(Device_getVorBearing, getAngle); },
         [] { hcupdate_vorBearing(nullptr); },
         {"VOR:BEAR 1.250000000"}},
        {"VOR ident state",
         [](SlotGuard &s) { s.fill(Device_isVorIdentEnabled, yes); },
         [] { hcupdate_vorIdentState(nullptr); },
         {"VOR:IDEN:STAT 1"}},
        {"VOR ident mode",
         [](SlotGuard &s) {
             s.fill(Device_isVorIdentModePeriodic, yes);
             s.fill(Device_isVorIdentModeContinuous, no);
         },
         [] { hcupdate_vorIdentMode(nullptr); },
         {"VOR:IDEN:MODE PER"}},
        {"glide slope DDM is a number",
         [](SlotGuard &s) { s.fill(Device_getIlsGsDdm, getNumber); },
         [] { hcupdate_ilsGsDdm(nullptr); },
         {"ILS:GS:DDM 0.155000000"}},
        {"localizer ident mode",
         [](SlotGuard &s) {
             s.fill(Device_isIlsLocIdentModePeriodic, no);
             s.fill(Device_isIlsLocIdentModeContinuous, yes);
         },
         [] { hcupdate_ilsLocIdentMode(nullptr); },
         {"ILS:LOC:IDEN:MODE CONT"}},
        {"DME pulse frequency",
         [](SlotGuard &s) { s.fill(Device_getDmeFrequency, getFreq); },
         [] { hcupdate_dmeFrequency(nullptr); },
         {"DME:FREQ 1000.00000000000000000000"}},
        {"DME additional pulse attenuation is a power",
         [](SlotGuard &s) { s.fill(Device_getDmeAddPulseAttenuation, getPow); },
         [] { hcupdate_dmeAddPulseAttenuation(nullptr); },
         {"DME:APUL:ATT -5.25"}},
        {"DME dead time delay",
         [](SlotGuard &s) { s.fill(Device_getDmeDeadTimeDelay, getTime); },
         [] { hcupdate_dmeDeadTimeDelay(nullptr); },
         {"DME:DEAD:DEL 0.000003500"}},
        {"DME filter: only the true member",
         [](SlotGuard &s) {
             s.fill(Device_isDmeFilterLinear, no);
             s.fill(Device_isDmeFilterGaussian, yes);
             s.fill(Device_isDmeFilterRaisedCosine, no);
         },
         [] { hcupdate_dmeFilter(nullptr); },
         {"DME:FILT GAUS"}},
        {"DME cos-squared filter",
         [](SlotGuard &s) { s.fill(Device_isDmeFilterCosineSquared, yes); },
         [] { hcupdate_dmeFilter(nullptr); },
         {"DME:FILT COS2"}},
        {"constant I/Q angle",
         [](SlotGuard &s) { s.fill(Device_getConstantIqAngle, getNumber); },
         [] { hcupdate_constantIqAngle(nullptr); },
         {"DIAG:MOD:IQ:CIQ:ANGL 0.155000000"}},
        {"manual crest factor",
         [](SlotGuard &s) { s.fill(Device_getIqCrestFactorManual, getPow); },
         [] { hcupdate_iqCrestFactorManual(nullptr); },
         {"IQ:CRES:MAN -5.25"}},
        {"arbitrary trigger source synchronous",
         [](SlotGuard &s) { s.fill(Device_isArbTriggerSourceSynchronous, yes); },
         [] { hcupdate_arbTriggerSource(nullptr); },
         {"BB:ARB:TRIG:SOUR SYNCH"}},
        {"arbitrary FCP clock",
         [](SlotGuard &s) { s.fill(Device_getArbFcpClock, getFreq); },
         [] { hcupdate_arbFcpClock(nullptr); },
         {"BB:ARB:FCP:CLOC 1000.00000000000000000000"}},
        {"segment source",
         [](SlotGuard &s) { s.fill(Device_isArbSegmentSourceSequencer, yes); },
         [] { hcupdate_iqSegSource(nullptr); },
         {"BB:ARB:WSEG:SOUR SEQ"}},
        {"noise power",
         [](SlotGuard &s) { s.fill(Device_getAwgnNoisePower, getPow); },
         [] { hcupdate_awgnNoisePower(nullptr); },
         {"BB:AWGN:POW:NOIS -5.25"}},
        {"AWGN power control",
         [](SlotGuard &s) { s.fill(Device_isAwgnPowerControlCarrier, yes); },
         [] { hcupdate_awgnPowerCtrl(nullptr); },
         {"BB:AWGN:POW:CONT CARR"}},
        {"oversampling is a count",
         [](SlotGuard &s) { s.fill(Device_getDmOversampling, getCount); },
         [] { hcupdate_dmOversampling(nullptr); },
         {"BB:DM:OSAM 8"}},
        {"the largest QAM format",
         [](SlotGuard &s) { s.fill(Device_isDmFormatQam4096, yes); },
         [] { hcupdate_dmFormat(nullptr); },
         {"BB:DM:FORM QAM4096"}},
        {"DM filter type",
         [](SlotGuard &s) { s.fill(Device_isDmFilterTypeDirac, yes); },
         [] { hcupdate_dmFilterType(nullptr); },
         {"BB:DM:FILT:TYPE DIR"}},
        {"FCP direction",
         [](SlotGuard &s) { s.fill(Device_isFcpDirectionMaster, yes); },
         [] { hcupdate_fcpDir(nullptr); },
         {"FCP:DIR MAST"}},
        {"FCP stream output",
         [](SlotGuard &s) { s.fill(Device_isFcpStreamOutputEnabled, no); },
         [] { hcupdate_fcpStreamOutput(nullptr); },
         {"DIAG:FCP:STR:OUTP 0"}},
        {"pulse modulator",
         [](SlotGuard &s) { s.fill(Device_isPulmModulatorBaseband, yes); },
         [] { hcupdate_pulmModulator(nullptr); },
         {"PULM:MOD BB"}},
        {"pulse external source",
         [](SlotGuard &s) { s.fill(Device_isPulmExternalSourceMf2, yes); },
         [] { hcupdate_pulmExternalSource(nullptr); },
         {"PULM:EXT:SOUR MF2"}},
        {"sweep trigger source beyond immediate",
         [](SlotGuard &s) {
             s.fill(Device_getSweepTriggerSourceImmediate, no);
             s.fill(Device_getSweepTriggerSourceExternal, yes);
         },
         [] { hcupdate_sweepTriggerSource(nullptr); },
         {"SWE:TRIG:SOUR EXT"}},
        {"sweep trigger slope either way",
         [](SlotGuard &s) { s.fill(Device_getSweepTriggerExternalSlopeAny, yes); },
         [] { hcupdate_sweepTriggerExternalSlope(nullptr); },
         {"SWE:TRIG:SLOP ANY"}},
        {"analog input gain takes the input number",
         [](SlotGuard &s) { s.fill(Device_getAnalogInputGain, gainOf); },
         [] {
             hcupdate_ainGain(nullptr, 1);
             hcupdate_ainGain(nullptr, 2);
         },
         {"AIN1:GAIN 1.500000000", "AIN2:GAIN 3.000000000"}},
        {"analog input source per input",
         [](SlotGuard &s) {
             s.fill(Device_isAnalogInputSourceI, onlySecond);
             s.fill(Device_isAnalogInputSourceQ, onlyFirst);
         },
         [] {
             hcupdate_ainSource(nullptr, 1);
             hcupdate_ainSource(nullptr, 2);
         },
         {"AIN1:SOUR QIN", "AIN2:SOUR IIN"}},
        {"connector output state per connector",
         [](SlotGuard &s) { s.fill(Device_isMultiFunctionOutputEnabled, onlySecond); },
         [] {
             hcupdate_multiFunctionState(nullptr, 1);
             hcupdate_multiFunctionState(nullptr, 2);
         },
         {"MF1:OUTP:STAT 0", "MF2:OUTP:STAT 1"}},
        {"connector PDW marker source",
         [](SlotGuard &s) { s.fill(Device_getMultiFunctionPdwMarkerSource, markerOf); },
         [] { hcupdate_multiFunctionPdwMarkerSource(nullptr, 2); },
         {"MF2:OUTP:PDW:MARK:SOUR 20"}},
        {"connector source",
         [](SlotGuard &s) {
             s.fill(Device_isMultiFunctionSourceLow, onlySecond);
             s.fill(Device_isMultiFunctionSourcePdw, onlyFirst);
         },
         [] {
             hcupdate_multiFunctionSource(nullptr, 1);
             hcupdate_multiFunctionSource(nullptr, 2);
         },
         {"MF1:OUTP:SOUR PDW", "MF2:OUTP:SOUR LOW"}},
        {"connector sweep source",
         [](SlotGuard &s) { s.fill(Device_isMultiFunctionSweepSourceTrigger, onlyFirst); },
         [] { hcupdate_multiFunctionSweepSource(nullptr, 1); },
         {"MF1:SWE:SOUR TRIG"}},
        {"unregistered numbered getter sends nothing",
         [](SlotGuard &) {},
         [] {
             hcupdate_ainOffset(nullptr, 1);
             hcupdate_multiFunctionPdwSource(nullptr, 2);
         },
         {}},
    };
    PanelPair panel;
    for (const Case &c : cases) {
        SlotGuard slots;
        c.fill(slots);
        c.send();
        EXPECT_EQ(panel.lines(), c.lines) << c.name;
    }
}

TEST(PanelVocabulary, NumberedSendersFailWithoutGetterOrLink) {
    SlotGuard slots;
    {
        PanelPair panel;
        EXPECT_EQ(hcupdate_ainGain(nullptr, 1), -1);
        slots.fill(Device_getAnalogInputGain, gainOf);
        EXPECT_EQ(hcupdate_ainGain(nullptr, 1), 0);
        Krhc_close(&panel.hc);
        EXPECT_EQ(hcupdate_ainGain(nullptr, 1), -1);
        EXPECT_EQ(hcupdate_multiFunctionSource(nullptr, 1), -1);
    }
}

// Every getter and predicate of the vocabulary answers something, so every message is sent.
template <class R>
R fakeValue() {
    if constexpr (std::is_same_v<R, const KrFreq *>) {
        return &freq1k;
    } else if constexpr (std::is_same_v<R, const KrPow *>) {
        return &powM5;
    } else if constexpr (std::is_same_v<R, const KrTime *>) {
        return &width;  // also the angles: both are plain doubles
    } else {
        return (R)1;
    }
}
template <class F>
struct Fake;
template <class R, class... A>
struct Fake<R (*)(A...)> {
    static R fn(A...) { return fakeValue<R>(); }
};
#define FILL(slot) slots.fill(Device_##slot, &Fake<decltype(Device_##slot)>::fn);

// The header of each line: the text before the value; a choice's members count once.
Lines headers(const Lines &lines) {
    Lines out;
    for (const std::string &l : lines) {
        std::string h = l.substr(0, l.find(' '));
        if (out.empty() || out.back() != h) out.push_back(h);
    }
    return out;
}

TEST(PanelVocabulary, SettingsDumpFollowsThePanelsPageOrder) {
    ConfiguredRoot root("1C0-300B10000-0001");
    PanelPair panel;
    SlotGuard slots;
#define HC_VALUE(function, kind, header, slot) FILL(slot)
#define HC_VALUE_AT(function, kind, header, slot) FILL(slot)
#include "frontpanel/hcupdate_values.def"
#undef HC_VALUE
#undef HC_VALUE_AT
#define HC_MEMBER(slot, line) FILL(slot)
#define HC_MEMBER_NOT(slot, line)
#define HC_MEMBER_AT(slot, line) FILL(slot)
#define HC_CHOICE(function, members) members
#define HC_CHOICE_AT(function, members) members
#include "frontpanel/hcupdate_choices.def"
#undef HC_CHOICE
#undef HC_CHOICE_AT
#undef HC_MEMBER
#undef HC_MEMBER_NOT
#undef HC_MEMBER_AT
    FILL(isReferenceSourceExternal)
    hcupdate_settings(nullptr);
    const Lines expected = {
        "OUTP:STAT", "OUTP:BLAN", "OUTP:OFF:MODE", "POW:ALC", "POW:ALC:HOLD", "POW:ALC:HOLD:AUTO",
        "FREQ", "FREQ:STAR", "FREQ:STOP", "FREQ:MODE", "POW", "POW:STAR", "POW:STOP", "POW:CENT",
        "POW:SPAN", "POW:MODE", "IQ:CRES:MAN", "ROSC:EXT:FREQ", "ROSC:EXT:VAR:FREQ", "ROSC:SOUR",
        "TRIG:DEL",
        // pulse modulation
        "PULM:STAT", "PULM:INT:WIDT", "PULM:INT:PER", "PULM:POL", "PULM:SOUR", "PULM:OUTP:VID:POL",
        "PULM:COUN", "PULM:MOD", "PULM:OUTP:SOUR", "PULM:EXT:SOUR", "DIAG:MOD:PULM:PWRE",
        // AM, FM, PM, chirp
        "AM:STAT", "AM:INT:FREQ", "AM:SENS", "AM:DEPT", "AM:SOUR", "FM:STAT", "FM:INT:FREQ",
        "FM:SENS", "FM:DEV", "FM:COUP", "FM:SOUR", "PM:STAT", "PM:INT:FREQ", "PM:SENS", "PM:DEV",
        "PM:SOUR", "CHIR:TIME", "CHIR:COUN", "CHIR:DIR", "CHIR:BLAN",
        // VOR and ILS
        "VOR:STAT", "VOR:BEAR", "VOR:FM:IND", "VOR:AM0", "VOR:AM1", "VOR:IDEN:DEPT",
        "VOR:IDEN:MODE", "VOR:IDEN:STAT", "ILS:GS:STAT", "ILS:GS:AM0", "ILS:GS:AM1", "ILS:GS:DDM",
        "ILS:GS:SDM", "ILS:GS:IDEN:DEPT", "ILS:GS:IDEN:MODE", "ILS:LOC:STAT", "ILS:LOC:AM0",
        "ILS:LOC:AM1", "ILS:LOC:DDM", "ILS:LOC:SDM", "ILS:LOC:IDEN:DEPT", "ILS:LOC:IDEN:MODE",
        // DME
        "DME:STAT", "DME:FILT", "DME:FREQ", "DME:PWID", "DME:PRIS", "DME:PFAL", "DME:PSP",
        "DME:APUL:STAT", "DME:APUL:PTYP", "DME:APUL:ATT", "DME:APUL:PWID", "DME:APUL:PRIS",
        "DME:APUL:PFAL", "DME:APUL:PSP", "DME:APUL:DEL", "DME:ECHO:STAT", "DME:ECHO:DEL",
        "DME:ECHO:ATT", "DME:INT:STAT", "DME:INT:DEL", "DME:INT:ATT", "DME:DEAD:STAT",
        "DME:DEAD:DEL",
        // constant I/Q, arbitrary waveforms
        "DIAG:MOD:IQ:CIQ:STAT", "DIAG:MOD:IQ:CIQ:I", "DIAG:MOD:IQ:CIQ:Q", "DIAG:MOD:IQ:CIQ:ANGL",
        "DIAG:MOD:IQ:CIQ:AMPL", "BB:ARB:WAV:STAT", "BB:ARB:CLOC", "BB:ARB:CLOC:ADJ",
        "BB:ARB:FCP:CLOC", "BB:ARB:WSEG:MODE", "BB:ARB:WSEG:SOUR", "BB:ARB:WAV:MARK:STAT",
        "BB:ARB:TRIG:DEL", "BB:ARB:TRIG:SLOP", "BB:ARB:TRIG:EXT:SOUR", "BB:ARB:TRIG:INIT:CONT",
        "BB:ARB:TRIG:OUTP:DEL", "BB:ARB:TRIG:OUTP:PWID", "BB:ARB:TRIG:OUTP:POL", "BB:ARB:TRIG:SOUR",
        // LF generator, sweep, list, sweep trigger
        "LFO:STAT", "LFO:SOUR", "LFO:FREQ", "LFO:AMPL", "LFO:SHAP", "SWE:POIN", "SWE:COUN",
        "SWE:DWEL", "SWE:DEL", "LIST:COUN", "SWE:TRIG:SLOP", "SWE:TRIG:EXT:SOUR",
        "SWE:TRIG:INIT:CONT", "SWE:TRIG:OUTP:DEL", "SWE:TRIG:OUTP:MODE", "SWE:TRIG:OUTP:POL",
        "SWE:TRIG:SOUR",
        // FCP, AWGN, digital modulation
        "FCP:DIR", "FCP:STR:IQ", "FCP:STR:SEG", "DIAG:FCP:STR:OUTP", "BB:ARB:FCP:STAT",
        "BB:AWGN:STAT", "BB:AWGN:CNR", "BB:AWGN:BAND", "BB:AWGN:POW:CONT", "BB:AWGN:POW:CARR",
        "BB:AWGN:POW:NOIS", "BB:DM:STAT", "BB:DM:FILT:TYPE", "BB:DM:PATT:LENG", "BB:DM:FORM",
        "BB:DM:FILT:PAR", "BB:DM:OSAM", "BB:DM:SRAT",
        // analog inputs, analog I/Q, multi-function connectors
        "AIN1:GAIN", "AIN2:GAIN", "AIN1:OFFS", "AIN2:OFFS", "AIN1:SOUR", "AIN2:SOUR", "AIN:STAT",
        "BB:ARB:AIQ:SOUR:I", "BB:ARB:AIQ:SOUR:Q", "BB:ARB:AIQ:STAT", "MF1:OUTP:STAT",
        "MF1:OUTP:SOUR", "MF1:OUTP:PULM:SOUR", "MF1:OUTP:ARB:SOUR", "MF1:OUTP:MARK:SOUR",
        "MF1:SWE:SOUR", "MF1:OUTP:PDW:SOUR", "MF1:OUTP:PDW:MARK:SOUR", "MF2:OUTP:STAT",
        "MF2:OUTP:SOUR", "MF2:OUTP:PULM:SOUR", "MF2:OUTP:ARB:SOUR", "MF2:OUTP:MARK:SOUR",
        "MF2:SWE:SOUR", "MF2:OUTP:PDW:SOUR", "MF2:OUTP:PDW:MARK:SOUR",
        // address (no GPIB on this instrument) and the cleared power condition
        "SYST:COMM:SOCK:ADDR", "NTR:POW"};
    Lines got = headers(panel.lines());
    EXPECT_EQ(got, expected);
}

TEST(PanelVocabulary, SettingsDumpKeepsTheOrderOfASparseInstrument) {
    ConfiguredRoot root("1C0-300B10000-0001");
    PanelPair panel;
    SlotGuard slots;
    // Registered in an order unlike the dump's.
    slots.fill(Device_isMultiFunctionOutputEnabled, onlySecond);
    slots.fill(Device_getAnalogInputGain, gainOf);
    slots.fill(Device_isDmeEnabled, yes);
    slots.fill(Device_getVorBearing, getAngle);
    slots.fill(Device_getAwgnCnr, getPow);
    hcupdate_settings(nullptr);
    Lines lines = panel.lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2].rfind("SYST:COMM:SOCK:ADDR \"", 0), 0u);
    lines.erase(lines.end() - 2);
    EXPECT_EQ(lines, (Lines{"VOR:BEAR 1.250000000", "DME:STAT 1", "BB:AWGN:CNR -5.25",
                            "AIN1:GAIN 1.500000000", "AIN2:GAIN 3.000000000", "MF1:OUTP:STAT 0",
                            "MF2:OUTP:STAT 1", "NTR:POW"}));
}

TEST(PanelVocabulary, TouchPanelLimitsInThePanelsOrder) {
    ConfiguredRoot root("1C0-300B10000-0001");  // touch panel
    PanelPair panel;
    SlotGuard slots;
#define LIMIT(kind, header, minSlot, maxSlot) FILL(minSlot) FILL(maxSlot)
#define LIMIT_AT(kind, header, number, minSlot, maxSlot) FILL(minSlot) FILL(maxSlot)
#define LIMIT_MAX(kind, header, maxSlot) FILL(maxSlot)
#include "frontpanel/hcupdate_limits.def"
    HC_LIMITS_ALL(LIMIT)
    HC_LIMITS_TOUCH(LIMIT, LIMIT_AT, LIMIT_MAX)
#undef LIMIT
#undef LIMIT_AT
#undef LIMIT_MAX
    hcupdate_constants(nullptr);
    Lines expected = {":"};
    for (const char *h : {"FREQ",
                          "FREQ:SPAN",
                          "POW",
                          "POW:SPAN",
                          "SWE:DWEL",
                          "SWE:DEL",
                          "TRIG:DEL",
                          "PULM:INT:WIDT",
                          "PULM:INT:PER",
                          "PULM:INT:DOUB:DEL",
                          "PULM:INT:DOUB:WIDT",
                          "PULM:INT:TRIP:DEL",
                          "PULM:INT:TRIP:WIDT",
                          "PULM:INT:QUAD:WIDT",
                          "AM:INT:FREQ",
                          "AM:DEPT",
                          "AM:SENS",
                          "FM:INT:FREQ",
                          "FM:DEV",
                          "FM:SENS",
                          "PM:INT:FREQ",
                          "PM:DEV",
                          "PM:SENS",
                          "CHIR:TIME",
                          "CHIR:COUN",
                          "VOR:BEAR",
                          "VOR:FM:IND",
                          "VOR:AM0",
                          "VOR:AM1",
                          "ILS:GS:AM0",
                          "ILS:GS:AM1",
                          "ILS:GS:DDM",
                          "ILS:GS:SDM",
                          "ILS:LOC:AM0",
                          "ILS:LOC:AM1",
                          "ILS:LOC:DDM",
                          "ILS:LOC:SDM",
                          "DME:FREQ",
                          "DME:PWID",
                          "DME:PRIS",
                          "DME:PFAL",
                          "DME:PSP",
                          "DME:APUL:ATT",
                          "DME:APUL:PWID",
                          "DME:APUL:PRIS",
                          "DME:APUL:PFAL",
                          "DME:APUL:PSP",
                          "DME:APUL:DEL",
                          "DME:ECHO:DEL",
                          "DME:ECHO:ATT",
                          "DME:INT:DEL",
                          "DME:INT:ATT",
                          "DME:DEAD:DEL",
                          "ROSC:EXT:FREQ",
                          "ROSC:EXT:VAR:FREQ",
                          "DIAG:MOD:IQ:CIQ:I",
                          "DIAG:MOD:IQ:CIQ:Q",
                          "DIAG:MOD:IQ:CIQ:ANG",
                          "DIAG:MOD:IQ:CIQ:AMP",
                          "ROSC:OUTP:FREQ",
                          "BB:ARB:CLOC",
                          "BB:ARB:TRIG:DEL",
                          "BB:ARB:TRIG:OUTP:DEL",
                          "BB:ARB:TRIG:OUTP:PWID",
                          "BB:AWGN:CNR",
                          "BB:AWGN:BAND",
                          "BB:AWGN:POW:CARR",
                          "BB:AWGN:POW:NOIS",
                          "BB:DM:PATT:LENG",
                          "BB:DM:SRAT",
                          "BB:DM:FILT:PAR",
                          "BB:DM:OSAM",
                          "AIN1:GAIN",
                          "AIN1:OFFS",
                          "AIN2:GAIN",
                          "AIN2:OFFS",
                          "BB:ARB:AIQ:SOUR:I",
                          "BB:ARB:AIQ:SOUR:Q",
                          "IQ:CRES:MAN"}) {
        // The noise power has only its maximum.
        if (std::string(h) != "BB:AWGN:POW:NOIS") expected.push_back(std::string(h) + ":MIN");
        expected.push_back(std::string(h) + ":MAX");
    }
    Lines lines = panel.lines();
    EXPECT_EQ(headers(lines), expected);
    // Each limit has the kind of the setting it bounds.
    auto find = [&](const std::string &header) {
        for (const std::string &l : lines)
            if (l.rfind(header + " ", 0) == 0) return l;
        return std::string();
    };
    EXPECT_EQ(find("VOR:BEAR:MIN"), "VOR:BEAR:MIN 0.000003500");
    EXPECT_EQ(find("DME:ECHO:ATT:MAX"), "DME:ECHO:ATT:MAX -5.25");
    EXPECT_EQ(find("DME:FREQ:MIN"), "DME:FREQ:MIN 1000.00000000000000000000");
    EXPECT_EQ(find("BB:DM:OSAM:MAX"), "BB:DM:OSAM:MAX 1");
    EXPECT_EQ(find("BB:ARB:TRIG:OUTP:PWID:MIN"), "BB:ARB:TRIG:OUTP:PWID:MIN 0.000003500");
}

TEST(PanelVocabulary, AnalogInputLimitsAskForTheirInput) {
    ConfiguredRoot root("1C0-300B10000-0001");
    PanelPair panel;
    SlotGuard slots;
    slots.fill(Device_getAnalogInputGainMin, gainOf);
    slots.fill(
        Device_getAnalogInputGainMax, +[](Device *, int32_t n) { return 100.0 * n; });
    hcupdate_constants(nullptr);
    EXPECT_EQ(panel.lines(),
              (Lines{": ", "AIN1:GAIN:MIN 1.500000000", "AIN1:GAIN:MAX 100.000000000",
                     "AIN2:GAIN:MIN 3.000000000", "AIN2:GAIN:MAX 200.000000000"}));
}

}  // namespace
