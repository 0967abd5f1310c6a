#include "config/xmlexport.h"

#include <mxml.h>

#include <cstdio>
#include <type_traits>

#include "core/krpath.h"
#include "core/krstuff.h"
#include "core/printd.h"
#include "device/device.h"
#include "scpi/scpi_convert.h"
#include "scpi/scpi_errorcodes.h"
#include "scpi/scpi_execute.h"

namespace {

// What a row writes. Element rows open the next child of the root; the others are its
// attributes, in table order.
enum class Kind : uint8_t {
    Element,
    ElementIf,  // only when its operation is registered
    Variant,    // "analyser" or "generator"
    Bool,
    Freq,
    Pow,
    Time,
    Count,
    Number,
    Int,
    IntIf,      // the attribute only when its operation is registered
    Supported,  // "1" when every operation named is there
};

// How the slot's operation is read back, from the slot's type.
enum class Reader : uint8_t { None, Int, Uint, Double, DoublePtr, FreqPtr, PowPtr };

template <class F>
constexpr Reader readerOf() {
    if constexpr (std::is_same_v<F, int (*)(Device *)>)
        return Reader::Int;
    else if constexpr (std::is_same_v<F, uint32_t (*)(Device *)>)
        return Reader::Uint;
    else if constexpr (std::is_same_v<F, double (*)(Device *)>)
        return Reader::Double;
    else if constexpr (std::is_same_v<F, const double *(*)(Device *)>)
        return Reader::DoublePtr;
    else if constexpr (std::is_same_v<F, const KrFreq *(*)(Device *)>)
        return Reader::FreqPtr;
    else if constexpr (std::is_same_v<F, const KrPow *(*)(Device *)>)
        return Reader::PowPtr;
    else
        return Reader::None;
}

// The readers each kind can format.
template <Kind K, Reader R>
constexpr bool fits() {
    switch (K) {
        case Kind::Bool:
        case Kind::Int:
        case Kind::IntIf:
            return R == Reader::Int;
        case Kind::Freq:
            return R == Reader::FreqPtr;
        case Kind::Pow:
            return R == Reader::PowPtr;
        case Kind::Time:
            return R == Reader::DoublePtr;
        case Kind::Count:
            return R == Reader::Uint;
        case Kind::Number:
            return R == Reader::Double || R == Reader::DoublePtr || R == Reader::FreqPtr;
        default:
            return true;
    }
}

constexpr int MAX_OPERATIONS = 3;

struct Row {
    Kind kind;
    const char *name;
    Reader reader;
    const void *slots[MAX_OPERATIONS];  // slot addresses; none: no operation in this build
};

template <Kind K, class F>
constexpr Row row(const char *name, F *slot) {
    static_assert(fits<K, readerOf<F>()>(), "the slot's type does not give this kind of value");
    return {K, name, readerOf<F>(), {slot}};
}
template <class... F>
constexpr Row supported(const char *name, F *...slots) {
    static_assert(sizeof...(F) <= MAX_OPERATIONS);
    return {Kind::Supported, name, Reader::None, {slots...}};
}
constexpr Row element(const char *name) {
    return {Kind::Element, name, Reader::None, {}};
}
template <class F>
constexpr Row elementIf(const char *name, F *slot) {
    return {Kind::ElementIf, name, Reader::None, {slot}};
}
// An attribute whose operation no module of this build has: "0" or empty.
constexpr Row none(Kind kind, const char *name) {
    return {kind, name, Reader::None, {}};
}

#define B(name, op) row<Kind::Bool>(name, &Device_##op)
#define FQ(name, op) row<Kind::Freq>(name, &Device_##op)
#define PW(name, op) row<Kind::Pow>(name, &Device_##op)
#define TM(name, op) row<Kind::Time>(name, &Device_##op)
#define CT(name, op) row<Kind::Count>(name, &Device_##op)
#define NR(name, op) row<Kind::Number>(name, &Device_##op)
#define S(name, ...) supported(name, __VA_ARGS__)
#define NONE_B(name) none(Kind::Bool, name)

const Row rows[] = {
    element("general"),
    {Kind::Variant, "variant", Reader::None, {&Device_isAnalyzer}},

    element("channel_settings"),
    row<Kind::Int>("num_channels_supported", &Device_getSourceIndexMax),
    row<Kind::IntIf>("channel_selected", &Device_getDefaultSourceIndex),
    B("rf_enabled", isRfEnabled),
    S("blanking_supported", &Device_isOutputBlankingEnabled),
    B("blanking_enabled", isOutputBlankingEnabled),
    S("vref_supported", &Device_isReferenceOutputEnabled,
      &Device_isReferenceSourceExternalVariable),

    element("AVIO"),
    S("supported", &Device_isIlsGsModulationEnabled, &Device_isIlsLocModulationEnabled,
      &Device_isVorModulationEnabled),
    B("ILS-GS_enabled", isIlsGsModulationEnabled),
    B("ILS-LOC_enabled", isIlsLocModulationEnabled),
    B("ILS-VOR_enabled", isVorModulationEnabled),

    element("frequency_settings"),
    FQ("max", getFrequencyMax),
    FQ("min", getFrequencyMin),
    FQ("start_frequency", getFrequencyStart),
    FQ("stop_frequency", getFrequencyStop),
    FQ("frequency_step", getFrequencyStep),
    B("cw_trigger_enabled", isCwTriggerEnabled),

    element("power_settings"),
    PW("power", getPower),
    PW("max", getPowerMax),
    PW("min", getPowerMin),
    PW("power_step_min", getPowerStepMin),
    PW("start", getPowerStart),
    PW("stop", getPowerStop),
    S("supported", &Device_getPowerFixed),
    S("alc_low_noise_supported", &Device_isAlcLownoiseEnabled),
    B("alc_low_noise", isAlcLownoiseEnabled),
    B("power_mode_fixed", isPowerModeFixed),
    B("power_mode_sweep", isPowerModeSweep),
    B("power_mode_list", isPowerModeList),
    B("auto_levelling", isAlcEnabled),
    B("power_correction", isFlatnessEnabled),

    element("sweep_settings"),
    CT("sweep_count", getSweepCount),
    TM("dwell_time", getDwellTime),
    TM("delay_time", getDelayTime),
    CT("points", getSweepPoints),
    TM("point_time_min", getPointTimeMin),
    TM("point_time_max", getPointTimeMax),
    B("sweep_spacing_lin", isSweepSpacingLin),
    B("sweep_spacing_log", isSweepSpacingLog),
    B("sweep_direction_up", isSweepDirectionUp),
    B("sweep_direction_down", isSweepDirectionDown),
    B("sweep_direction_random", isSweepDirectionRandom),
    S("sync_sweeps_supported", &Device_hasSynchronousSweeps),

    element("list_settings"),
    CT("list_count", getListCount),
    CT("list_points_max", getListPointsMax),
    B("list_direction_up", isListDirectionUp),
    B("list_direction_down", isListDirectionDown),
    B("list_direction_random", isListDirectionRandom),

    element("pulse_modulation_settings"),
    TM("pulse_width", getPulmInternalPulseWidth),
    TM("pulse_width_min", getPulmInternalPulseWidthMin),
    TM("pulse_width_max", getPulmInternalPulseWidthMax),
    TM("pulse_width_resolution", getPulmInternalResolution),
    TM("int_period", getPulmInternalPeriod),
    TM("int_period_min", getPulmInternalPeriodMin),
    TM("int_period_max", getPulmInternalPeriodMax),
    S("supported", &Device_isPulmEnabled),
    S("source_external_supported", &Device_setPulmSourceExternal),
    B("enabled", isPulmEnabled),
    B("polarity_normal", isPulmPolarityNormal),
    B("polarity_inverted", isPulmPolarityInverted),
    B("source_internal", isPulmSourceInternal),
    B("source_external", isPulmSourceExternal),
    B("source_bitstream", isPulmSourceBitstream),

    element("trigger_settings"),
    CT("valid_source", getTriggerOutputSource),
    TM("trigger_delay", getTriggerDelay),
    CT("event_count", getTriggerEventCount),
    B("initiate_continuous_enabled", isInitiateContinuousEnabled),
    S("output_mode_supported", &Device_isTriggerOutputModeNormal),
    B("output_mode_normal", isTriggerOutputModeNormal),
    B("output_mode_point", isTriggerOutputModePoint),
    B("output_mode_gate", isTriggerOutputModeGate),
    B("output_mode_valid", isTriggerOutputModeValid),
    B("output_mode_sys_ref", isTriggerOutputModeSysref),
    B("slope_positive", isTriggerSlopePositive),
    B("slope_negative", isTriggerSlopeNegative),
    B("slope_positive_negative", isTriggerSlopePositiveNegative),
    B("slope_negative_positive", isTriggerSlopeNegativePositive),
    B("type_normal", isTriggerTypeNormal),
    B("type_gate", isTriggerTypeGate),
    B("type_point", isTriggerTypePoint),
    B("source_immediate", isTriggerSourceImmediate),
    B("source_key", isTriggerSourceKey),
    B("source_external", isTriggerSourceExternal),
    B("source_bus", isTriggerSourceBus),
    S("trigger_event_count_enabled", &Device_setTriggerEventCount),

    element("chirp_settings"),
    FQ("frequency_span", getFrequencySpan),
    FQ("frequency_centre", getFrequencyCenter),
    TM("chirp_time", getChirpTime),
    CT("chirp_count", getChirpCount),
    CT("chirp_count_min", getChirpCountMin),
    CT("chirp_count_max", getChirpCountMax),
    TM("chirp_period", getChirpPeriod),
    TM("chirp_period_min", getChirpPeriodMin),
    TM("chirp_period_max", getChirpPeriodMax),
    S("chirp_period_supported", &Device_getChirpPeriod),
    S("supported", &Device_isChirpModeAuto),
    B("enabled", isChirpModeAuto),
    B("direction_up", isChirpDirectionUp),
    B("direction_down", isChirpDirectionDown),
    B("direction_down_up", isChirpDirectionDownUp),
    B("direction_up_down", isChirpDirectionUpDown),
    B("frequency_mode_fixed", isFrequencyModeFixed),
    B("frequency_mode_sweep", isFrequencyModeSweep),
    B("frequency_mode_list", isFrequencyModeList),
    B("frequency_mode_chirp", isFrequencyModeChirp),

    element("frequency_modulation_settings"),
    NR("deviation_max", getFmDeviationMax),
    NR("deviation_min", getFmDeviationMin),
    NR("deviation", getFmDeviation),
    NR("sensitivity_max", getFmSensitivityMax),
    NR("sensitivity", getFmSensitivity),
    NR("internal_frequency", getFmInternalFrequency),
    NR("internal_frequency_min", getFmInternalFrequencyMin),
    NR("internal_frequency_max", getFmInternalFrequencyMax),
    S("supported", &Device_isFmEnabled),
    B("enabled", isFmEnabled),
    B("source_internal", isFmSourceInternal),
    B("source_external", isFmSourceExternal),
    B("coupling_AC", isFmCouplingAc),
    B("coupling_DC", isFmCouplingDc),
    NONE_B("internal_shape_sine"),
    NONE_B("internal_shape_triangle"),
    NONE_B("internal_shape_square"),
    NONE_B("internal_shape_rampup"),
    NONE_B("internal_shape_rampdown"),

    element("phase_modulation_settings"),
    NR("deviation_max", getPmDeviationMax),
    NR("deviation_min", getPmDeviationMin),
    NR("sensitivity_max", getPmSensitivityMax),
    NR("sensitivity", getPmSensitivity),
    NR("deviation", getPmDeviation),
    NR("internal_frequency_min", getPmInternalFrequencyMin),
    NR("internal_frequency_max", getPmInternalFrequencyMax),
    NR("internal_frequency", getPmInternalFrequency),
    S("supported", &Device_isPmEnabled),
    B("enabled", isPmEnabled),
    B("source_internal", isPmSourceInternal),
    B("source_external", isPmSourceExternal),
    NONE_B("internal_shape_sine"),
    NONE_B("internal_shape_triangle"),
    NONE_B("internal_shape_square"),
    NONE_B("internal_shape_rampup"),
    NONE_B("internal_shape_rampdown"),

    element("frequency_reference_settings"),
    FQ("high_reference_frequency", getReferenceFrequencyHigher),
    FQ("low_reference_frequency", getReferenceFrequencyLower),
    FQ("reference_frequency", getReferenceFrequency),
    FQ("reference_frequency_max", getReferenceFrequencyMax),
    FQ("reference_frequency_min", getReferenceFrequencyMin),
    FQ("reference_output_frequency", getReferenceOutputFrequency),
    FQ("reference_output_frequency_min", getReferenceOutputFrequencyMin),
    FQ("reference_output_frequency_max", getReferenceOutputFrequencyMax),
    FQ("reference_frequency_variable", getReferenceFrequencyVariable),
    FQ("reference_frequency_variable_min", getReferenceFrequencyVariableMin),
    FQ("reference_frequency_variable_max", getReferenceFrequencyVariableMax),
    S("internal_reference_supported", &Device_setReferenceSourceInternal),
    S("external_reference_supported", &Device_setReferenceSourceExternal),
    S("external_variable_reference_supported", &Device_setReferenceSourceExternalVariable),
    B("internal_reference", isReferenceSourceInternal),
    B("external_reference", isReferenceSourceExternal),
    B("CLK_reference", isReferenceSourceExternalSysClock),
    B("source_internal", isReferenceSourceInternal),
    B("source_external", isReferenceSourceExternal),
    NONE_B("source_external_amp_att"),
    NONE_B("source_slave"),
    NONE_B("source_free_run"),
    B("source_external_variable", isReferenceSourceExternalVariable),
    B("source_external_sys_clock", isReferenceSourceExternalSysClock),
    S("clk_in_out_supported", &Device_enableSysClockOutput),
    S("supported", &Device_getReferenceFrequency),

    element("amplitude_modulation_settings"),
    NR("depth", getAmDepth),
    NR("depth_min", getAmDepthMin),
    NR("depth_max", getAmDepthMax),
    NR("sensitivity", getAmSensitivity),
    FQ("internal_frequency", getAmInternalFrequency),
    FQ("internal_frequency_min", getAmInternalFrequencyMin),
    FQ("internal_frequency_max", getAmInternalFrequencyMax),
    S("supported", &Device_isAmEnabled),
    B("enabled", isAmEnabled),
    B("source_internal", isAmSourceInternal),
    B("source_external", isAmSourceExternal),
    NONE_B("internal_shape_sine"),
    NONE_B("internal_shape_triangle"),
    NONE_B("internal_shape_square"),

    element("low_frequency_output_settings"),
    FQ("lfg_frequency", getLfgFrequency),
    FQ("frequency_max", getLfgFrequencyMax),
    FQ("frequency_min", getLfgFrequencyMin),
    NR("amplitude", getLfgAmplitude),
    S("supported", &Device_isFuncoutEnabled),
    B("enabled", isFuncoutEnabled),
    B("source_pulse_modulation", isFuncoutSourcePulm),
    S("lf_generator_supported", &Device_getLfgFrequency),
    B("source_LFG", isFuncoutSourceLfg),
    B("source_trigger", isFuncoutSourceTrigger),
    B("source_low", isFuncoutSourceLow),
    B("source_high", isFuncoutSourceHigh),
    B("source_dac", isFuncoutSourceDac),
    B("shape_sine", isLfgShapeSine),
    B("shape_triangle", isLfgShapeTriangle),
    B("shape_square", isLfgShapeSquare),

    elementIf("fcp_settings", &Device_isFcpFreqCtrlEnabled),
    S("supported", &Device_isFcpFreqCtrlEnabled),
};

#undef B
#undef FQ
#undef PW
#undef TM
#undef CT
#undef NR
#undef S
#undef NONE_B

constexpr int VALUE_SIZE = 42;

bool provided(const void *slot) {
    return slot && Device_isSlotAddressProvided(slot) == 1;
}

// The slot's operation, of the type the row's reader was chosen from.
template <class F>
F operation(const Row &r) {
    return *static_cast<F const *>(r.slots[0]);
}

// The row's value text; empty when its operation is absent.
void formatValue(Device *device, const Row &r, char *text) {
    text[0] = 0;
    int length = 0;
    if (r.kind == Kind::Supported) {
        bool all = r.slots[0] != nullptr;
        for (const void *slot : r.slots)
            if (slot && !provided(slot)) all = false;
        snprintf(text, VALUE_SIZE, "%d", all ? 1 : 0);
        return;
    }
    if (r.kind == Kind::Variant) {
        snprintf(text, VALUE_SIZE, "%s", provided(r.slots[0]) ? "analyser" : "generator");
        return;
    }
    if (!provided(r.slots[0])) {
        if (r.kind == Kind::Bool) snprintf(text, VALUE_SIZE, "0");
        return;
    }
    switch (r.reader) {
        case Reader::Int: {
            int v = operation<int (*)(Device *)>(r)(device);
            snprintf(text, VALUE_SIZE, "%d", r.kind == Kind::Bool ? (v > 0 ? 1 : 0) : v);
            break;
        }
        case Reader::Uint:
            scpi_uint2str(operation<uint32_t (*)(Device *)>(r)(device), text, VALUE_SIZE, &length);
            break;
        case Reader::Double:
            scpi_double2str(operation<double (*)(Device *)>(r)(device), text, VALUE_SIZE, &length);
            break;
        case Reader::DoublePtr: {
            const double *v = operation<const double *(*)(Device *)>(r)(device);
            if (r.kind == Kind::Time)
                scpi_kr_time2str(v, text, VALUE_SIZE, &length);
            else if (v)
                scpi_double2str(*v, text, VALUE_SIZE, &length);
            break;
        }
        case Reader::FreqPtr: {
            const KrFreq *v = operation<const KrFreq *(*)(Device *)>(r)(device);
            if (r.kind == Kind::Number)
                scpi_double2str(v ? krfreqToDouble(v) : 0.0, text, VALUE_SIZE, &length);
            else if (v)
                scpi_kr_freq2str(v, text, VALUE_SIZE, &length);
            break;
        }
        case Reader::PowPtr:
            scpi_kr_pow2str(operation<const KrPow *(*)(Device *)>(r)(device), text, VALUE_SIZE,
                            &length);
            break;
        case Reader::None:
            break;
    }
}

mxml_node_t *buildDocument(Device *device) {
    mxml_node_t *xml = mxmlNewXML("1.0");
    mxml_node_t *root = xml ? mxmlNewElement(xml, "configuration") : nullptr;
    if (!root) {
        if (xml) mxmlDelete(xml);
        return nullptr;
    }
    mxml_node_t *current = nullptr;
    for (const Row &r : rows) {
        if (r.kind == Kind::Element || r.kind == Kind::ElementIf) {
            current = r.kind == Kind::Element || provided(r.slots[0]) ? mxmlNewElement(root, r.name)
                                                                      : nullptr;
            continue;
        }
        if (!current) continue;  // an element left out takes its attributes with it
        if (r.kind == Kind::IntIf && !provided(r.slots[0])) continue;
        char value[VALUE_SIZE];
        formatValue(device, r, value);
        mxmlElementSetAttr(current, r.name, value);
    }
    return xml;
}

}  // namespace

int xmlexport_write(Device *device, const char *path) {
    KrPath resolved(path);
    if (!resolved.ok()) return KR_E_EXECUTION_ERROR;
    mxml_node_t *xml = buildDocument(device);
    if (!xml) return KR_E_EXECUTION_ERROR;
    FILE *file = krstuffOpenReplacement(resolved);
    int r = KR_E_EXECUTION_ERROR;
    if (!file) {
        printd("writeXMLFile() error: cannot open %s\n", path);
    } else if (mxmlSaveFile(xml, file, MXML_NO_CALLBACK) != 0) {
        printd("writeXMLFile() error: cannot write %s\n", path);
        krstuffDiscardReplacement(file, resolved);
    } else {
        r = krstuffCommitReplacement(file, resolved);
    }
    mxmlDelete(xml);
    return r;
}

int writeXMLFile() {
    return xmlexport_write(parser ? parser->device : nullptr, XMLEXPORT_PATH);
}
