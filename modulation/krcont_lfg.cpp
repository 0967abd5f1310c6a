// Controller board: the function-output routing and the LF generator (AD5932 with its AD5432
// amplitude DAC), the user DAC, and the trigger output's pulse at I/O update.
#include <cmath>

#include "config/device_config.h"
#include "core/printd.h"
#include "hw/board_slaves.h"
#include "hw/fs_fpga_if.h"
#include "hw/fs_fpga_registers.h"
#include "hw/krcont_registers.h"
#include "hw/krgio.h"
#include "hw/krspi.h"
#include "hw/sri.h"
#include "modulation/funcout.h"
#include "modulation/krcont.h"
#include "scpi/scpi_errorcodes.h"
#include "sweep/trigger.h"

namespace {

FuncoutBoard board = {};

// The generator needs its supply settled before it takes words.
constexpr uint32_t LFG_POWER_SETTLE_US = 10000;
constexpr uint32_t LFG_CTRL_PULSE_US = 1000;

// Routing bits per state (disabled, then by source).
struct Routing {
    bool dac, sel1, sel0, lfg;
};
constexpr Routing ROUTING_OFF = {false, false, false, false};
const Routing routingBySource[] = {
    {false, false, true, false},   // pulse video (the FS variant routes it in the FPGA)
    {false, true, true, true},     // LF generator
    {false, false, false, false},  // trigger: the trigger-output line drives the connector
    {false, false, false, false},  // low
    {false, false, false, false},  // high
    {true, true, false, false},    // user DAC
};
const uint32_t fpgaBySource[] = {FS_FUNCOUT_PULM,    FS_FUNCOUT_OFF_LOW,  FS_FUNCOUT_TRIGGER,
                                 FS_FUNCOUT_OFF_LOW, FS_FUNCOUT_OFF_HIGH, FS_FUNCOUT_OFF_LOW};
constexpr uint32_t SOURCE_COUNT = sizeof(routingBySource) / sizeof(routingBySource[0]);

int keepFirst(int r, int next) {
    return r ? r : next;
}

int applyShape(FuncoutBoard *b) {
    SRI *sri = KRCONT_getShiftRegister();
    int r = 0;
    switch (b->lfgShape) {
        case LFG_SHAPE_SINE:
            r = SRI_clearBit(sri, KRCONT_SRI_FUNCOUT_SEL0);
            r = keepFirst(r, AD5932_setSineOutput(&b->lfg));
            r = keepFirst(r, AD5932_disableMsbOutput(&b->lfg));
            break;
        case LFG_SHAPE_TRIANGLE:
            r = SRI_clearBit(sri, KRCONT_SRI_FUNCOUT_SEL0);
            r = keepFirst(r, AD5932_setTriangleOutput(&b->lfg));
            r = keepFirst(r, AD5932_disableMsbOutput(&b->lfg));
            break;
        default:  // square: the logic output, selected by bit 0
            r = SRI_setBit(sri, KRCONT_SRI_FUNCOUT_SEL0);
            r = keepFirst(r, AD5932_enableMsbOutput(&b->lfg));
            break;
    }
    return keepFirst(r, KRCONT_LFG_pulseCtrl());
}

int applyFrequency(FuncoutBoard *b) {
    int r = AD5932_setStartFrequency(&b->lfg, &b->lfgFrequency);
    return keepFirst(r, KRCONT_LFG_pulseCtrl());
}

int applyVoltage(FuncoutBoard *b) {
    auto word = (uint16_t)((double)b->lfgVoltage * AD5432_DATA_MAX / LFG_DAC_FULL_SCALE_V);
    return AD5432_setValue(&b->lfgAmplitude, word);
}

int setSource(FuncoutBoard *b, uint32_t source) {
    b->funcout.source = source;
    return KRCONT_applyFuncoutConfiguration(b);
}

// Low and high change nothing on the board when they are already selected.
int setSourceOnChange(FuncoutBoard *b, uint32_t source) {
    return b->funcout.source == source ? 0 : setSource(b, source);
}

}  // namespace

FuncoutBoard *KRCONT_getFuncoutBoard() {
    return &board;
}

int KRCONT_initFuncoutBoard(FuncoutBoard *b) {
    int r = AD5932_init(&b->lfg, BOARD_CONT_LFG);
    r = keepFirst(r, AD5432_init(&b->lfgAmplitude, BOARD_CONT_LFG_AMP, KRSPI_OPT_CPHA));
    r = keepFirst(r, AD5640_init(&b->userDac, BOARD_CONT_USER_DAC));
    r = keepFirst(r, AD7680_init(&b->userAdc, BOARD_CONT_USER_ADC));
    b->lfgFrequency = krfreqHz(DEFAULT_LFG_FREQUENCY);
    b->lfgVoltage = DEFAULT_LFG_AMPLITUDE;
    b->lfgShape = LFG_SHAPE_SINE;
    b->lfgEnabled = 0;
    if (r) printd("KRCONT_initFuncoutBoard(): driver init failed (%d)\n", r);
    return r;
}

int KRCONT_setFuncoutSourcePulm(FuncoutBoard *b) {
    return setSource(b, FUNCOUT_SOURCE_PULM);
}

int KRCONT_setFuncoutSourceLfg(FuncoutBoard *b) {
    return setSource(b, FUNCOUT_SOURCE_LFG);
}

int KRCONT_setFuncoutSourceTrigger(FuncoutBoard *b) {
    return setSource(b, FUNCOUT_SOURCE_TRIGGER);
}

int KRCONT_setFuncoutSourceLow(FuncoutBoard *b) {
    return setSourceOnChange(b, FUNCOUT_SOURCE_LOW);
}

int KRCONT_setFuncoutSourceHigh(FuncoutBoard *b) {
    return setSourceOnChange(b, FUNCOUT_SOURCE_HIGH);
}

int KRCONT_hasFuncoutDac() {
    return device_config_uses_CONT_1EorNewer() ? 1 : 0;
}

int KRCONT_setFuncoutSourceDac(FuncoutBoard *b) {
    if (!KRCONT_hasFuncoutDac()) {
        printd("KRCONT_setFuncoutSourceDac(): Error: needs control board 1E or newer\n");
        return KR_E_HARDWARE_MISSING;
    }
    return setSource(b, FUNCOUT_SOURCE_DAC);
}

int KRCONT_applyFuncoutConfiguration(FuncoutBoard *b) {
    const Funcout &f = b->funcout;
    uint32_t source = f.source < SOURCE_COUNT ? f.source : FUNCOUT_SOURCE_TRIGGER;
    bool fs = device_config_usesOptionFs();
    int r = 0;
    if (fs) r = FS_FPGA_IF_setFuncoutSource(f.enabled ? fpgaBySource[source] : FS_FUNCOUT_OFF_LOW);
    Routing route = f.enabled ? routingBySource[source] : ROUTING_OFF;
    if (fs && source == FUNCOUT_SOURCE_PULM) route.sel0 = false;
    // One frame for the three bits, so that the connector never sees a mixed selection.
    SRI *sri = KRCONT_getShiftRegister();
    SRI_presetBitValue(sri, KRCONT_SRI_FUNCOUT_DAC, route.dac);
    SRI_presetBitValue(sri, KRCONT_SRI_FUNCOUT_SEL1, route.sel1);
    SRI_presetBitValue(sri, KRCONT_SRI_FUNCOUT_SEL0, route.sel0);
    r = keepFirst(r, SRI_applyPreset(sri));
    return keepFirst(r, route.lfg ? KRCONT_LFG_enable(b) : KRCONT_LFG_disable(b));
}

int KRCONT_LFG_enable(FuncoutBoard *b) {
    b->lfgEnabled = 1;
    int r = SRI_clearBit(KRCONT_getShiftRegister(), KRCONT_SRI_LFG_POWER_OFF);
    r = keepFirst(r, krgio_sleepUs(LFG_POWER_SETTLE_US));
    r = keepFirst(r, AD5932_powerUp(&b->lfg));
    r = keepFirst(r, applyShape(b));
    r = keepFirst(r, applyFrequency(b));
    return keepFirst(r, applyVoltage(b));
}

int KRCONT_LFG_disable(FuncoutBoard *b) {
    b->lfgEnabled = 0;
    int r = SRI_setBit(KRCONT_getShiftRegister(), KRCONT_SRI_LFG_POWER_OFF);
    return keepFirst(r, AD5932_powerDown(&b->lfg));
}

int KRCONT_LFG_setFrequency(FuncoutBoard *b, const KrFreq *f) {
    b->lfgFrequency = *f;
    return b->lfgEnabled ? applyFrequency(b) : 0;
}

int KRCONT_LFG_setShape(FuncoutBoard *b, uint32_t shape) {
    if (shape > LFG_SHAPE_SQUARE) return KR_E_ILLEGAL_PARAMETER_VALUE;
    b->lfgShape = shape;
    return b->lfgEnabled ? applyShape(b) : 0;
}

int KRCONT_LFG_setVoltage(FuncoutBoard *b, double volts) {
    if (std::isnan(volts)) return KR_E_ILLEGAL_PARAMETER_VALUE;
    // A negative amplitude would wrap the DAC word to a large one.
    if (volts < 0) volts = 0;
    if (volts > LFG_VOLTAGE_MAX_V) volts = LFG_VOLTAGE_MAX_V;
    b->lfgVoltage = (float)volts;
    return b->lfgEnabled ? applyVoltage(b) : 0;
}

double KRCONT_LFG_getVoltage(const FuncoutBoard *b) {
    return b->lfgShape == LFG_SHAPE_SQUARE ? LFG_SQUARE_VOLTAGE_V : b->lfgVoltage;
}

int KRCONT_LFG_pulseCtrl() {
    SRI *sri = KRCONT_getShiftRegister();
    int r = SRI_setBit(sri, KRCONT_SRI_LFG_CTRL);
    r = keepFirst(r, krgio_sleepUs(LFG_CTRL_PULSE_US));
    return keepFirst(r, SRI_clearBit(sri, KRCONT_SRI_LFG_CTRL));
}

int KRCONT_setFuncoutDac(FuncoutBoard *b, uint32_t value) {
    if (value > FUNCOUT_DAC_MAX) return KR_E_DATA_OUT_OF_RANGE;
    return AD5640_setValue(&b->userDac, (uint16_t)value);
}

int KRCONT_enableTriggerOutputPulseAtIoupdate(int inverted) {
    return Trigger_requestPulseAtIoupdate(1, inverted);
}

int KRCONT_disableTriggerOutputPulseAtIoupdate() {
    return Trigger_requestPulseAtIoupdate(0, 0);
}
