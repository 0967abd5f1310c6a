// The channel device: record, initialisation, source selection and the change sequences.
#include "device/analog_device.h"
#include "device/analog_calibration.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "config/device_config.h"
#include "config/output_board.h"
#include "core/krpath.h"
#include "core/krstuff.h"
#include "core/printd.h"
#include "device/device.h"
#include "device/device_board.h"
#include "device/krmath.h"
#include "hw/fs_fpga.h"
#include "hw/fs_fpga_if.h"
#include "hw/krgio.h"
#include "hw/krspi.h"
#include "hw/orbx20g_out.h"
#include "hw/orbx20g_out_digital.h"
#include "hw/orbx20g_out_uln.h"
#include "hw/orbx40g_out.h"
#include "hw/orbx40g_out_digital.h"
#include "hw/orbxxxg_out_lut.h"
#include "hw/orbxxxg_ref.h"
#include "hw/orbxxxg_ref_uln.h"
#include "level/analog_power.h"
#include "level/flatness.h"
#include "level/level_access.h"
#include "modulation/fs_dac_mod.h"
#include "modulation/funcout.h"
#include "modulation/krcont.h"
#include "modulation/krcont_pulsemod.h"
#include "modulation/multi_pulse.h"
#include "scpi/scpi_errorcodes.h"
#include "selftest/selftest.h"
#include "sweep/chirp.h"
#include "sweep/fcp_sweep.h"
#include "sweep/sweep_list.h"
#include "sweep/sweep_rt.h"
#include "sweep/trigger.h"

namespace {

Device theDevice;
// Set by the digital-board variant before it builds the record.
bool buildGeneration3B = false;
// What the boards reported when probed after power-on; a software reset builds the record
// again from these instead of probing the hardware a second time.
int32_t probeResults[DEVICE_MAX_CHANNELS];

// Blank modes of a frequency change.

constexpr double MIN_OUTPUT_VALID_S = 6.5e-6;

bool fsVariant() {
    return device_config_usesOptionFs() != 0;
}

bool digitalLevelling(const Device *device) {
    return device->digitalAlc || device->generation3B;
}

int channelIndex(const Device *device) {
    return (int)(device->current - device->channels);
}

OrbxxxgOutBoard *board(Device *device) {
    return device->current->boardPtr;
}

// The pulse modulator's forced-off state silences a powered output; on the FS variant the
// FPGA holds it, whatever the pulse source does.
void pulmForceOff(Device *device) {
    device->current->pulmForcedOff = 1;
    device->current->rfUnmuted = 0;
    if (device_config_usesOptionFs()) FS_FPGA_IF_pulm_setForceOff(channelIndex(device), 1);
}

void pulmRelease(Device *device) {
    device->current->pulmForcedOff = 0;
    device->current->rfUnmuted = 1;
    if (device_config_usesOptionFs()) FS_FPGA_IF_pulm_setForceOff(channelIndex(device), 0);
}

void alcHoldSampleMode(Device *device, bool on) {
    if (on) {
        if (BOARD_ORBXXXG_OUT_ISREG(enableAlcHoldSampleMode))
            BOARD_ORBXXXG_OUT_enableAlcHoldSampleMode(board(device));
    } else if (BOARD_ORBXXXG_OUT_ISREG(disableAlcHoldSampleMode)) {
        BOARD_ORBXXXG_OUT_disableAlcHoldSampleMode(board(device));
    }
}

void awaitSpiIdle() {
    if (fsVariant()) FS_FPGA_IF_awaitSpiIdle(0);
}

void markOutputInvalid() {
    if (fsVariant()) krgio_markOutputInvalid();
}

void markOutputValid(double seconds) {
    if (fsVariant()) krgio_markOutputValid(seconds);
}

double boardTime(int (*slot)(OrbxxxgOutBoard *, KrTime *), bool registered, OrbxxxgOutBoard *b) {
    KrTime t = 0;
    if (registered && slot(b, &t) < 0) t = 0;
    return t;
}

// While a sweep point's I/O program is being collected the wait belongs in it: the hardware
// keeps it between the point's writes, and the generator goes on to the next point.
void waitUs(double us) {
    if (us <= 0) return;
    if (krspi_isCaptureActive() && !fsVariant())
        krgio_sleepUs((uint32_t)us);
    else
        krstuff_delay_us((uint64_t)us);
}

const char *modelFamilyName() {
    if (device_config_isOrbxVARG()) return "ORBXX";
    if (device_config_isOrbx06G(0)) return "ORBX06G";
    if (device_config_isOrbx12G(0)) return "ORBX12G";
    if (device_config_isOrbx20G(0)) return "ORBX20G";
    if (device_config_isOrbx33G(0)) return "ORBX33G";
    if (device_config_isOrbx40G(0)) return "ORBX40G";
    return "DEVICE";
}

// The output-board module, first match wins.
// FM, PM, FSK and AM: where the 40 GHz board's RF DAC is the last stage, the FS FPGA steers
// it, and the modulation option is fitted.
bool usesDacModulation(Device *device, int32_t channel) {
    return device_config_usesOptionFs() &&
           outputBoardIs40G(outputBoardFamily(device_config_outputBoardCode(channel))) &&
           device_config_usesORBX_OptionMOD(channel) && channel >= 0 &&
           (uint32_t)channel < device->channelCount;
}

FsDacMod *getFsDacMod(Device *device, int32_t source) {
    return usesDacModulation(device, source) ? fs_dac_mod_record(source) : nullptr;
}

AD9164 *getFsDacModDac(Device *device, int32_t source) {
    if (!usesDacModulation(device, source)) return nullptr;
    return &ORBX40G_OUT_record(&device->channels[source].board)->dac;
}

AD5643 *getFsDacModAmDac(Device *device, int32_t source) {
    if (!usesDacModulation(device, source)) return nullptr;
    return &ORBX40G_OUT_record(&device->channels[source].board)->alcDac;
}

void initDacModulation(Device *device) {
    if (!usesDacModulation(device, 0)) return;
    Device_getFsDacMod = getFsDacMod;
    Device_getFsDacMod_ad9164 = getFsDacModDac;
    Device_getFsDacMod_ad5643 = getFsDacModAmDac;
    for (uint32_t i = 0; i < device->channelCount; i++)
        fs_dac_mod_init(device, (int32_t)i);
    if (device_config_usesOptionFsk(0))
        fs_dac_mod_registerFunctions_optionFsk(device, 0);
    else
        fs_dac_mod_registerFunctions_optionMod(device, 0);
}

struct BoardChoice {
    void (*registerFunctions)();
    uint32_t code;
    const char *message;
    bool digitalAlc;
};

// The output board by family and revision: the first row of the family whose revision test
// holds (none: the family's last row) names the board's functions and its code.
struct BoardRow {
    OutputBoardFamily family;
    int (*revision)(int channel);  // nullptr: any revision
    BoardChoice choice;
};

const BoardRow boardRows[] = {
    {OutputBoardFamily::Orbx40GDigital,
     nullptr,
     {ORBX40G_OUT_DIGITAL_registerFunctions, 15, "        ---> Version is ORBX40G_OUT_2B_orNewer\n",
      true}},
    {OutputBoardFamily::Orbx20GDigital,
     nullptr,
     {ORBX20G_OUT_DIGITAL_registerFunctions, 14, "        ---> Version is ORBX20G_OUT_3B\n",
      false}},
    {OutputBoardFamily::Orbx40G,
     device_config_uses_ORBX40G_OUT_NOPE_1BorNewer,
     {ORBX40G_OUT_registerFunctions, 12, "        ---> Version is ORBX40G_OUT_1B_orNewer\n",
      false}},
    {OutputBoardFamily::Orbx40G,
     nullptr,
     {ORBX40G_OUT_registerFunctions, 11, "        ---> Version is ORBX40G_OUT_1A\n", false}},
    {OutputBoardFamily::Orbx20GUln,
     device_config_uses_ORBX20G_OUT_2B_6G,
     {ORBX20G_OUT_ULN_registerFunctions, 8, "        ---> Version is ORBX20G_OUT_2B_MAX_6G\n",
      false}},
    {OutputBoardFamily::Orbx20GUln,
     device_config_uses_ORBX20G_OUT_2BorNewer,
     {ORBX20G_OUT_ULN_registerFunctions, 7, "        ---> Version is ORBX20G_OUT_2B\n", false}},
    {OutputBoardFamily::Orbx20GUln,
     nullptr,
     {ORBX20G_OUT_ULN_registerFunctions, 6, "        ---> Version is ORBX20G_OUT_2B\n", false}},
    {OutputBoardFamily::Orbx20G,
     device_config_uses_ORBX20G_OUT_1CorNewer,
     {ORBX20G_OUT_registerFunctions, 5, "        ---> Version is ORBX20G_OUT_1CorNewer\n", false}},
    {OutputBoardFamily::Orbx20G,
     device_config_uses_ORBX20G_OUT_1BorNewer,
     {ORBX20G_OUT_registerFunctions, 4, "        ---> Version is ORBX20G_OUT_1BorNewer\n", false}},
    {OutputBoardFamily::Orbx20G,
     nullptr,
     {ORBX20G_OUT_registerFunctions, 3, "        ---> Version is ORBX20G_OUT_1AorNewer\n", false}},
    // Computed plan, or the settings of a look-up table where it has them.
    {OutputBoardFamily::Generic,
     device_config_uses_ORBXXXG_OUT_1B1,
     {ORBXXXG_OUT_LUT_registerFunctions, 1, nullptr, false}},
    {OutputBoardFamily::Generic, nullptr, {ORBXXXG_OUT_LUT_registerFunctions, 2, nullptr, false}},
};

// A number that names no output board (the default one of an unconfigured instrument): the
// 20 GHz board of the oldest revision, which such hardware carries.
constexpr BoardChoice unknownBoard = {ORBX20G_OUT_registerFunctions, 2, nullptr, false};

BoardChoice chooseBoard() {
    OutputBoardFamily family = outputBoardFamily(device_config_outputBoardCode(0));
    for (const BoardRow &row : boardRows)
        if (row.family == family && (!row.revision || row.revision(0))) return row.choice;
    return unknownBoard;
}

// ---- Getters -------------------------------------------------------------------------

const KrFreq *analog_getFrequency(Device *device) {
    printd("getFrequency(): stored frequency %f\n", krfreqToDouble(&device->current->frequency));
    return &device->current->frequency;
}
const KrFreq *analog_getFrequencyMin(Device *device) {
    return &device->current->frequencyMin;
}
const KrFreq *analog_getFrequencyMax(Device *device) {
    return &device->current->frequencyMax;
}
const KrFreq *analog_getFrequencyExact(Device *device) {
    printd("getFrequencyExact():\n");
    if (!BOARD_ORBXXXG_OUT_ISREG(getFrequencyExact) ||
        BOARD_ORBXXXG_OUT_getFrequencyExact(board(device), &globalKrFreq) < 0)
        globalKrFreq = device->current->frequency;
    return &globalKrFreq;
}
const KrPow *analog_getPower(Device *device) {
    return &device->current->power;
}
const KrPow *analog_getPowerMin(Device *device) {
    return &device->current->powerMin;
}
const KrPow *analog_getPowerMax(Device *device) {
    return &device->current->powerMax;
}
const KrAngle *analog_getPhase(Device *device) {
    if (BOARD_ORBXXXG_OUT_ISREG(getPhase) &&
        BOARD_ORBXXXG_OUT_getPhase(board(device), &globalKrAngle) == 0)
        return &globalKrAngle;
    return &device->current->phase;
}
const KrTime *analog_getPhaseCompensation(Device *device) {
    return &device->current->phaseCompensation;
}
const KrTime *analog_getPhaseCompensationMin(Device *) {
    static const KrTime min = -1.0;
    return &min;
}
const KrTime *analog_getPhaseCompensationMax(Device *) {
    static const KrTime max = 1.0;
    return &max;
}
// The power last applied to the board, whether by the power setting or directly.
const KrPow *analog_getBoardPower(Device *device) {
    return &device->current->power;
}
int analog_isRfEnabled(Device *device) {
    return device->current->rfRequested ? 1 : 0;
}
int32_t analog_getFsChannel(Device *device) {
    return device->current->fsChannel;
}
SweepSource *analog_getSweepSourcePtr(Device *device, int32_t source) {
    if (source < 0 || (uint32_t)source >= device->channelCount) return nullptr;
    return &device->channels[source].sweepSource;
}
Sweep *analog_getSweepPtr(Device *device) {
    return &device->current->sweep;
}
Trigger *analog_getTriggerPtr(Device *device) {
    return &device->current->trigger;
}
const char *analog_getName(Device *device) {
    return device->modelName;
}
DeviceStatusRegisters *analog_getStatusRegisters(Device *device) {
    return &device->statusRegisters;
}

// *SAV stores these headers, channel by channel: their queries answer in a form that the
// setting accepts back.
const char *analog_getStoredScpiParameters(Device *device, int32_t) {
    static char text[DEVICE_MAX_CHANNELS * 96];
    size_t n = 0;
    text[0] = 0;
    for (uint32_t c = 0; c < device->channelCount; c++) {
        int w = snprintf(text + n, sizeof(text) - n,
                         "SOUR%u:FREQ\nSOUR%u:POW\nSOUR%u:PHAS\nOUTP%u:STAT\n", c + 1, c + 1, c + 1,
                         c + 1);
        if (w < 0 || (size_t)w >= sizeof(text) - n) break;
        n += (size_t)w;
    }
    return text;
}

int analog_enableOutputLed(Device *device) {
    device->current->ledOn = 1;
    return 0;
}
int analog_disableOutputLed(Device *device) {
    device->current->ledOn = 0;
    return 0;
}

// ---- RF hardware ---------------------------------------------------------------------

int hardwareOn(Device *device) {
    DeviceChannel *ch = device->current;
    if (ch->rfHardwareOn) return 0;
    int c = channelIndex(device);
    if (BOARD_ORBXXXG_REF_ISREG(enableRefChannel))
        BOARD_ORBXXXG_REF_enableRefChannel(device->ref, c);
    int r = BOARD_ORBXXXG_OUT_ISREG(enableRf) ? BOARD_ORBXXXG_OUT_enableRf(board(device)) : 0;
    if (r < 0) return r;
    // A controller shutdown (over-temperature) left the output blanked.
    KRCONT_enableRF();
    Device_setFrequency(device, &ch->frequency);
    KrAngle phase = *analog_getPhase(device);
    Device_setPhase(device, &phase);
    Device_enableOutputLed(device);
    ch->rfHardwareOn = 1;
    return 0;
}

int hardwareOff(Device *device) {
    DeviceChannel *ch = device->current;
    if (!ch->rfHardwareOn) return 0;
    int c = channelIndex(device);
    if (!device_config_usesOptionPhs(c) && BOARD_ORBXXXG_REF_ISREG(disableRefChannel))
        BOARD_ORBXXXG_REF_disableRefChannel(device->ref, c);
    if (BOARD_ORBXXXG_OUT_ISREG(disableRf)) BOARD_ORBXXXG_OUT_disableRf(board(device));
    Device_ioupdate();
    Device_disableOutputLed(device);
    ch->rfHardwareOn = 0;
    return 0;
}

}  // namespace

// ---- I/O update ----------------------------------------------------------------------

int analog_device_ioupdate() {
    return theDevice.channelLocalIoupdate ? krgio_ioupdate() : krgio_ioupdateAll();
}

int analog_device_ioupdateTrigger(int) {
    return analog_device_ioupdate();
}

int analog_device_ioupdateChannel(Device *) {
    return krgio_ioupdate();
}

// ---- Source selection ----------------------------------------------------------------

int analog_setSource(Device *device, int32_t index) {
    if (index < 0 || (uint32_t)index >= device->channelCount) return KR_E_SUFFIX_OUT_OF_RANGE;
    device->sourceIndex = index;
    device->current = &device->channels[index];
    if (fsVariant()) FS_FPGA_selectChannel(device->current->fsChannel);
    return 0;
}

int32_t analog_getSource(Device *device) {
    return device->sourceIndex;
}

int analog_setSourceIndex(Device *device, int32_t k) {
    if (k == DEVICE_NO_SUFFIX) return analog_setSource(device, device->defaultSource);
    if (k < 1 || (uint32_t)k > device->channelCount) return KR_E_SUFFIX_OUT_OF_RANGE;
    return analog_setSource(device, k - 1);
}

int analog_setDefaultSourceIndex(Device *device, int32_t k) {
    if (k == DEVICE_NO_SUFFIX) k = 1;
    if (k < 1 || (uint32_t)k > device->channelCount) return KR_E_SUFFIX_OUT_OF_RANGE;
    device->defaultSource = k - 1;
    printd("setDefaultSourceIndex(): default source %d\n", device->defaultSource);
    return analog_setSource(device, device->defaultSource);
}

int analog_getDefaultSourceIndex(Device *device) {
    return device->defaultSource + 1;
}

int analog_getSourceIndexMin(Device *) {
    return 1;
}

int analog_getSourceIndexMax(Device *device) {
    return (int)device->channelCount;
}

int32_t analog_enumerateSources(Device *device) {
    device->sourceCursor = 0;
    return 0;
}

int32_t analog_nextSource(Device *device) {
    if ((uint32_t)device->sourceCursor >= device->channelCount) {
        analog_setSource(device, device->defaultSource);
        return 0;
    }
    printd("Setting source %i\n", device->sourceCursor);
    analog_setSource(device, device->sourceCursor);
    device->sourceCursor++;
    return 1;
}

// ---- Frequency -----------------------------------------------------------------------

namespace {

// What one frequency change goes through, stage by stage.
struct FrequencyChange {
    Device *device;
    DeviceChannel *ch;
    OrbxxxgOutBoard *b;
    const KrFreq *f;
    KrFreq old;
    bool digital;
    double settling, tuning;
    BlankMode blank;
};

// Hold the levelling loop, collect the register writes, blank first when asked to.
void holdAndPreBlank(FrequencyChange &c) {
    alcHoldSampleMode(c.device, true);
    analog_device_bufferedMode(true);
    c.blank = BLANK_OPEN;
    if (c.device->outputBlanking) {
        markOutputInvalid();
        if (BOARD_ORBXXXG_OUT_ISREG(blankRf)) BOARD_ORBXXXG_OUT_blankRf(c.b);
        awaitSpiIdle();
        pulmForceOff(c.device);
        c.blank = BLANK_PRE;
    }
    if (BOARD_ORBXXXG_OUT_ISREG(isFrequencyResolutionHigh) &&
        BOARD_ORBXXXG_OUT_isFrequencyResolutionHigh(c.b) == 1)
        krgio_transient();
}

// The board computes and queues its settings; its settling and tuning times decide the
// blanking.
void queueBoardSettings(FrequencyChange &c) {
    if (BOARD_ORBXXXG_OUT_ISREG(setFrequencySync)) BOARD_ORBXXXG_OUT_setFrequencySync(c.b, c.f);
    c.digital = digitalLevelling(c.device);
    if (c.digital) analog_setPowerDecrease(c.device, &c.ch->power);
    c.settling = boardTime(BOARD_ORBXXXG_OUT_getPathSettlingTime,
                           BOARD_ORBXXXG_OUT_ISREG(getPathSettlingTime), c.b);
    c.tuning =
        boardTime(BOARD_ORBXXXG_OUT_getVcoTuneTime, BOARD_ORBXXXG_OUT_ISREG(getVcoTuneTime), c.b);
    bool hold =
        BOARD_ORBXXXG_OUT_ISREG(isAlcHoldEnabled) && BOARD_ORBXXXG_OUT_isAlcHoldEnabled(c.b) == 1;
    c.blank = analog_chooseBlankMode(c.blank == BLANK_PRE, hold, c.settling, c.tuning);
}

// The queued writes take effect at the I/O update(s) the blanking needs.
void playTransient(FrequencyChange &c) {
    if (c.digital) {
        if (BOARD_ORBXXXG_OUT_ISREG(SRI_applyPreset)) BOARD_ORBXXXG_OUT_SRI_applyPreset(c.b);
        krgio_transient();
        markOutputInvalid();
        Device_ioupdateTrigger(1);
        c.blank = BLANK_NONE;
        return;
    }
    bool reduce = c.blank == BLANK_REDUCE || c.blank == BLANK_REDUCE_HOLD;
    analog_setPowerDecrease(c.device, &c.ch->power);
    if (BOARD_ORBXXXG_OUT_ISREG(SRI_applyPreset)) BOARD_ORBXXXG_OUT_SRI_applyPreset(c.b);
    if (c.blank != BLANK_PRE) {
        krgio_transient();
        markOutputInvalid();
    }
    if (c.blank == BLANK_QUICK && BOARD_ORBXXXG_OUT_ISREG(blankRf)) BOARD_ORBXXXG_OUT_blankRf(c.b);
    if (reduce && BOARD_ORBXXXG_OUT_ISREG(enableIoupdateAlcBlanking))
        BOARD_ORBXXXG_OUT_enableIoupdateAlcBlanking(c.b);
    Device_ioupdateTrigger(1);
    if (reduce) {
        Device_ioupdateTrigger(0);
        Device_ioupdateTrigger(0);
    }
}

// The levelling comes back, the VCO gets its tuning time, and the output is released.
void settleAndRelease(FrequencyChange &c) {
    if (c.blank == BLANK_REDUCE && BOARD_ORBXXXG_OUT_ISREG(disableIoupdateAlcBlanking))
        BOARD_ORBXXXG_OUT_disableIoupdateAlcBlanking(c.b);
    if (c.blank == BLANK_REDUCE_HOLD &&
        BOARD_ORBXXXG_OUT_ISREG(disableIoupdateAlcBlanking_enableHardAlcHold))
        BOARD_ORBXXXG_OUT_disableIoupdateAlcBlanking_enableHardAlcHold(c.b);
    if (!c.digital) analog_setPowerIncrease(c.device, &c.ch->power);

    if (BOARD_ORBXXXG_OUT_ISREG(setFrequencyAsync)) BOARD_ORBXXXG_OUT_setFrequencyAsync(c.b, c.f);
    if (c.device->generation3B && device_config_usesOptionPhs(channelIndex(c.device)))
        out3b_phaseReset(c.device, 0);

    if (!c.digital) {
        if (c.tuning > 22e-6 && c.blank != BLANK_NONE && c.blank != BLANK_REDUCE)
            waitUs((c.tuning - 22e-6 + 3e-6) * 1e6);
    } else {
        if (c.ch->rfUnmuted) {
            if (c.ch->alcControllerMode != 0 || !c.device->generation3B) pulmRelease(c.device);
            analog_setPowerIncrease(c.device, &c.ch->power);
        }
        awaitSpiIdle();
        waitUs(c.tuning * 1e6);
        printd("blankTime uS: %f  \n", c.tuning * 1e6);
        awaitSpiIdle();
        if (c.ch->rfRequested) pulmRelease(c.device);
        if (BOARD_ORBXXXG_OUT_ISREG(setR1ResistanceToSetpoint))
            BOARD_ORBXXXG_OUT_setR1ResistanceToSetpoint(c.b, 0);
    }

    if (c.blank == BLANK_PRE || c.blank == BLANK_QUICK) {
        if (BOARD_ORBXXXG_OUT_ISREG(unblankRf)) BOARD_ORBXXXG_OUT_unblankRf(c.b);
        awaitSpiIdle();
        if (c.ch->rfRequested) pulmRelease(c.device);
    }
    if (c.blank == BLANK_REDUCE_HOLD && BOARD_ORBXXXG_OUT_ISREG(disableHardAlcHold))
        BOARD_ORBXXXG_OUT_disableHardAlcHold(c.b);

    markOutputValid(std::max(c.settling, MIN_OUTPUT_VALID_S));
    analog_device_bufferedMode(false);
    alcHoldSampleMode(c.device, false);
}

// Waits after the transient: the standard controller's, the fast-transition option's, and a
// low level taken again once the new band is in.
void afterTransient(FrequencyChange &c) {
    if (!fsVariant()) waitUs(450);
    int channel = channelIndex(c.device);
    if (device_config_usesORBX_OptionNEC(channel) && !Sweep_isActive(&c.ch->sweep)) {
        uint32_t us = krstuff_getNecMinimumTiming_us(&c.f->integer, &c.old.integer);
        printd("analog_setFrequency(): option NEC: additional delay after transient %d us\n",
               (int)us);
        waitUs(us);
    }
    if (c.ch->power < -20.5f && c.ch->stepAttenuationMax == 0) {
        c.ch->lowPowerMode = 0;
        analog_setPower(c.device, &c.ch->power);
    }
}

}  // namespace

BlankMode analog_chooseBlankMode(bool preBlanked, bool alcHold, double settling, double tuning) {
    if (preBlanked) return BLANK_PRE;
    if (alcHold) {
        printd("setFrequency(): HOLD mode (defined preset) -> blankMode NONE\n");
        return BLANK_NONE;
    }
    if (settling > 1e-6) {
        printd("setFrequency(): ALC ON mode -> blankMode QUICK_BLANK\n");
        return BLANK_QUICK;
    }
    if (tuning > 1e-6) {
        printd("setFrequency(): ALC ON mode -> blankMode REDUCE_HOLD\n");
        return BLANK_REDUCE_HOLD;
    }
    printd("setFrequency(): ALC ON mode -> blankMode REDUCE\n");
    return BLANK_REDUCE;
}

int analog_setFrequency(Device *device, const KrFreq *f) {
    DeviceChannel *ch = device->current;
    if (ch->presetMode) {
        ch->frequency = *f;
        ch->frequencyPending = 1;
        return 0;
    }
    printd("setFrequency(): %f\n", krfreqToDouble(f));
    FrequencyChange c{device, ch, board(device), f, ch->frequency, false, 0, 0, BLANK_OPEN};
    ch->frequency = *f;
    device->channelLocalIoupdate = 1;
    holdAndPreBlank(c);
    queueBoardSettings(c);
    playTransient(c);
    settleAndRelease(c);
    device->channelLocalIoupdate = 0;
    afterTransient(c);
    return 0;
}

int analog_getFrequencyBands(Device *device, KrFreq *array, int32_t capacity, int32_t *count) {
    int32_t n = 0;
    int r = BOARD_ORBXXXG_OUT_getFrequencyBands(board(device), array, capacity, &n);
    if (r < 0) {
        printd("getFrequencyBands(): ORBX error\n");
        return r;
    }
    // Repeated edges go, the rest ascending.
    std::sort(array, array + n,
              [](const KrFreq &a, const KrFreq &b) { return krfreqCompare(&a, &b) < 0; });
    int32_t m = 0;
    for (int32_t i = 0; i < n; i++)
        if (m == 0 || krfreqCompare(&array[m - 1], &array[i]) != 0) array[m++] = array[i];
    *count = m;
    return m;
}

// ---- Power ---------------------------------------------------------------------------

int analog_setPower(Device *device, const KrPow *p) {
    DeviceChannel *ch = device->current;
    if (ch->presetMode) {
        ch->power = *p;
        ch->powerPending = 1;
        return 0;
    }
    printd("setPower(): %f, channel %d\n", (double)*p, channelIndex(device));
    if (analog_isLowPowerModeCase(device, p) && !ch->lpeLeaving)
        return ch->lowPowerMode ? analog_setLowPower(device, p)
                                : analog_enterLowPowerMode(device, p);
    if (ch->lowPowerMode) analog_leaveLowPowerMode(device);
    KrPow requested = *p;  // p may point at the stored power
    OrbxxxgOutBoard *b = board(device);
    device->channelLocalIoupdate = 1;
    alcHoldSampleMode(device, true);
    analog_device_bufferedMode(true);
    if (device->outputBlanking) {
        krgio_transient();
        markOutputInvalid();
        if (BOARD_ORBXXXG_OUT_ISREG(blankRf)) BOARD_ORBXXXG_OUT_blankRf(b);
    }
    analog_setPowerDecrease(device, &requested);
    if (BOARD_ORBXXXG_OUT_ISREG(SRI_applyPreset)) BOARD_ORBXXXG_OUT_SRI_applyPreset(b);
    if (!device->outputBlanking) {
        krgio_transient();
        markOutputInvalid();
    }
    Device_ioupdateTrigger(1);
    analog_setPowerIncrease(device, &requested);
    if (device->outputBlanking && BOARD_ORBXXXG_OUT_ISREG(unblankRf))
        BOARD_ORBXXXG_OUT_unblankRf(b);
    double settling = boardTime(BOARD_ORBXXXG_OUT_getPathSettlingTime,
                                BOARD_ORBXXXG_OUT_ISREG(getPathSettlingTime), b);
    markOutputValid(std::max(settling, MIN_OUTPUT_VALID_S));
    analog_device_bufferedMode(false);
    if (!fsVariant()) waitUs(450);
    alcHoldSampleMode(device, false);
    device->channelLocalIoupdate = 0;
    return 0;
}

int analog_setBoardPower(Device *device, const KrPow *p) {
    uint8_t override = device->peOverride;
    device->peOverride = 1;
    int r = analog_setPower(device, p);
    device->peOverride = override;
    return r;
}

// ---- Phase ---------------------------------------------------------------------------

int analog_setPhase(Device *device, const KrAngle *a) {
    krgio_transient();
    markOutputInvalid();
    int r = BOARD_ORBXXXG_OUT_ISREG(setPhase_async)
                ? BOARD_ORBXXXG_OUT_setPhase_async(board(device), a)
                : 0;
    if (r == 0) device->current->phase = *a;
    markOutputValid(0);
    return r;
}

int analog_setPhaseCompensation(Device *device, const KrTime *t) {
    DeviceChannel *ch = device->current;
    ch->phaseCompensation = *t;
    if (!BOARD_ORBXXXG_OUT_ISREG(presetPhsCompensation)) return KR_E_HARDWARE_MISSING;
    KrTime sum = ch->delayOffset + ch->phaseCompensation;
    int r = BOARD_ORBXXXG_OUT_presetPhsCompensation(board(device), &sum);
    if (r < 0) return r;
    KrAngle phase = *analog_getPhase(device);
    return analog_setPhase(device, &phase);
}

// Starts the phase accumulation over: the board clears its phase, then the stored phase is
// set again from there.
int analog_restartPhaseMemory(Device *device) {
    if (!BOARD_ORBXXXG_OUT_ISREG(phaseReset)) return KR_E_UNDEFINED_HEADER;
    int r = BOARD_ORBXXXG_OUT_phaseReset(board(device));
    if (r < 0) return r;
    KrAngle phase = device->current->phase;
    return analog_setPhase(device, &phase);
}

// ---- RF state ------------------------------------------------------------------------

int analog_updateRfState(Device *device) {
    DeviceChannel *ch = device->current;
    OrbxxxgOutBoard *b = board(device);
    device->channelLocalIoupdate = 1;
    if (ch->rfSwitchingBits == 0 && ch->rfRequested) {
        alcHoldSampleMode(device, true);
        if (hardwareOn(device) == 0) {
            pulmRelease(device);
            krstuff_delay_us(70000);
            if (BOARD_ORBXXXG_OUT_ISREG(disableAlcRfMute)) BOARD_ORBXXXG_OUT_disableAlcRfMute(b);
        } else {
            krstuff_delay_us(70000);
        }
        krstuff_delay_us(10000);
        alcHoldSampleMode(device, false);
        if (device->digitalAlc) analog_setPower(device, &ch->power);
    } else if (ch->rfSwitchingBits == 0) {
        hardwareOff(device);
        pulmForceOff(device);
    } else {
        hardwareOn(device);
        if (BOARD_ORBXXXG_OUT_ISREG(disableAlcRfMute)) BOARD_ORBXXXG_OUT_disableAlcRfMute(b);
        if (ch->rfRequested)
            pulmRelease(device);
        else
            pulmForceOff(device);
    }
    device->channelLocalIoupdate = 0;
    return 0;
}

int analog_enableRf(Device *device) {
    device->current->rfRequested = 1;
    return analog_updateRfState(device);
}

int analog_disableRf(Device *device) {
    device->current->rfRequested = 0;
    return analog_updateRfState(device);
}

int analog_setRfSwitchingBits(Device *device, uint32_t bits) {
    device->current->rfSwitchingBits = bits & 7u;
    return analog_updateRfState(device);
}

int analog_enableOutputBlanking(Device *device) {
    device->outputBlanking = 1;
    return 0;
}
int analog_disableOutputBlanking(Device *device) {
    device->outputBlanking = 0;
    return 0;
}
int analog_isOutputBlankingEnabled(Device *device) {
    return device->outputBlanking ? 1 : 0;
}

// ---- Reference -----------------------------------------------------------------------

int analog_setReferenceFrequencyJump(Device *device, const KrFreq *f) {
    int r = BOARD_ORBXXXG_REF_setReferenceFrequencyJump(device->ref, f);
    int32_t before = device->sourceIndex;
    for (uint32_t c = 0; c < device->channelCount; c++) {
        analog_setSource(device, (int32_t)c);
        KrFreq stored = device->current->frequency;
        Device_setFrequency(device, &stored);
    }
    analog_setSource(device, before);
    return r;
}

// ---- Sweep hooks ---------------------------------------------------------------------

int analog_sweepDefinePreset(Device *device) {
    device->current->presetMode = 1;
    return 0;
}

int analog_sweepApplyPreset(Device *device) {
    DeviceChannel *ch = device->current;
    ch->presetMode = 0;
    KrFreq f = ch->frequency;
    int r = analog_setFrequency(device, &f);
    if (ch->powerPending) {
        KrPow p = ch->power;
        analog_setPower(device, &p);
    } else if (ch->alcControlValuePending) {
        // Without a power change no level step takes the control value along.
        Device_setAlcControlValue(device, ch->alcControlValue);
    }
    ch->frequencyPending = ch->powerPending = ch->alcControlValuePending = 0;
    return r;
}

// ---- Defaults, initialisation, reset -------------------------------------------------

void analog_device_setDefaults(Device *device) {
    snprintf(device->modelName, sizeof(device->modelName), "%s", modelFamilyName());
    int count = device_config_getSourcesCount();
    if (count < 1) count = 1;
    if (count > DEVICE_MAX_CHANNELS) count = DEVICE_MAX_CHANNELS;
    device->channelCount = (uint32_t)count;
    device->sourceIndex = 0;
    device->current = &device->channels[0];
    static const double offsets2[] = {0, -8.57e-10};
    static const double offsets4[] = {0, 5.7e-11, -9.59e-10, -1.121e-09};
    for (int c = 0; c < DEVICE_MAX_CHANNELS; c++) {
        DeviceChannel *ch = &device->channels[c];
        ch->frequencyMin = krfreqHz(device_config_uses_ORBXXXG_OUT_1B(c) ||
                                            device_config_uses_ORBX20G_OUT_1BorNewer(c)
                                        ? 100000ull
                                        : 1000000ull);
        uint64_t max = 20100000000ull;
        if (device_config_isOrbx06G(c)) max = 6000000000ull;
        if (device_config_isOrbx12G(c))
            max = device_config_uses_ORBXXXG_OUT(c) ? 12500000000ull : 12000000000ull;
        if (device_config_isOrbx33G(c)) max = 33000000000ull;
        if (device_config_isOrbx40G(c))
            max = device_config_usesORBX_limitedVCO() ? 40200000000ull : 41000000000ull;
        ch->frequencyMax = krfreqHz(max);
        ch->stepAttACurrent = ch->stepAttBCurrent = 200;
        ch->stepAttATarget = ch->stepAttBTarget = 200;
        ch->peAttCurrent = 200.0f;
        ch->peAttTarget = 20.0f;
        ch->peSelect = 1;
        ch->alcMarginOverride = -1;
        ch->powerMax = 30.0f;
        ch->powerResolution = 0.01f;
        bool sspe = device_config_usesORBX_Sspe(c) != 0;
        if (sspe &&
            (device_config_usesSspeAtOut(c) || device_config_uses_ORBX20G_OUT_2AorNewer(c))) {
            ch->powerMin = -90.0f;
            ch->stepAttenuationMax = 63.0f;
        } else if (sspe) {
            ch->powerMin = -65.0f;
            ch->stepAttenuationMax = 31.5f;
        } else if (device_config_uses_ORBX20G_OUT_2AorNewer(c)) {
            ch->powerMin = -90.0f;
            ch->stepAttenuationMax = 63.0f;
        } else {
            ch->powerMin = -40.0f;
            ch->stepAttenuationMax = 0;
        }
        ch->powerRange = 30.0f - ch->powerMin;
        ch->delayOffset = count == 2 && c < 2 ? offsets2[c] : count == 4 && c < 4 ? offsets4[c] : 0;
    }
    pthread_mutex_init(&device->vcoMutex, nullptr);
}

void analog_device_selectGeneration3B(int on) {
    buildGeneration3B = on != 0;
}

void analog_device_bufferedMode(bool on) {
    if (!fsVariant()) return;
    if (on)
        FS_FPGA_IF_setBufferedMode();
    else
        FS_FPGA_IF_setDirectMode();
}

Device *analog_device_create() {
    return &theDevice;
}

int analog_device_init(Device *device) {
    memset(device, 0, sizeof(*device));
    device->generation3B = buildGeneration3B ? 1 : 0;
    deviceStatusRegistersInit(&device->statusRegisters);
    // On the FS variant every chip, the controller's included, is behind the FPGA link.
    if (fsVariant() && FS_FPGA_init() < 0) printd("Device_init: FS FPGA link down\n");
    KRCONT_init();
    analog_registerDeviceFunctions();
    if (fsVariant()) analog_registerFcpFunctions();
    analog_registerCalibrationFunctions();
    selftest_registerFunctions();
    flatness_registerDeviceFunctions();
    SweepList_registerDeviceFunctions();
    analog_device_setDefaults(device);

    // The reference board.
    device->ref = &device->refBoard;
    if (device_config_uses_ORBXXXG_REF_ULN()) {
        device->refBoard.revisionCode = device_config_uses_ORBXXXG_REF_ULN_2C()   ? 3
                                        : device_config_uses_ORBXXXG_REF_ULN_2B() ? 2
                                                                                  : 1;
        ORBXXXG_REF_ULN_registerFunctions();
    } else {
        ORBXXXG_REF_registerFunctions();
    }
    BOARD_ORBXXXG_REF_init(device->ref);
    if (!device_config_usesORBX_OptionLN(0)) BOARD_ORBXXXG_REF_disableOptionLn(device->ref);
    uint32_t tuning = 8192;
    char text[32];
    if (device_config_loadString("/korvane/dev/vco_tuning", text, sizeof(text)) == 0) {
        unsigned v;
        if (sscanf(text, "%u", &v) == 1) tuning = v;
    }
    BOARD_ORBXXXG_REF_setReferenceTuning(device->ref, (double)tuning);

    // The output-board module.
    BoardChoice choice = chooseBoard();
    if (choice.message) printd("%s", choice.message);
    choice.registerFunctions();
    device->boardCode = choice.code;
    device->digitalAlc = choice.digitalAlc ? 1 : 0;

    // Probe after power-on; a software reset uses what was found then.
    for (uint32_t i = 0; i < device->channelCount; i++) {
        OrbxxxgOutBoard *b = &device->channels[i].board;
        b->revisionCode = device->boardCode;
        b->channel = (int32_t)i;
        if (device_config_reset_cause == 0)
            probeResults[i] = BOARD_ORBXXXG_OUT_ISREG(probe) ? BOARD_ORBXXXG_OUT_probe(b) : 0;
        printd("Device_init: channel %d probe result %d\n", (int)i, (int)probeResults[i]);
    }

    for (uint32_t i = 0; i < device->channelCount; i++) {
        DeviceChannel *ch = &device->channels[i];
        ch->fsChannel = (int32_t)i;
        printd("Device_init: initializing channel %d\n", (int)i);
        printd("Device_init: hardware channel connected to FS FPGA channel %d\n", ch->fsChannel);
        analog_setSource(device, (int32_t)i);
        ch->boardPtr = &ch->board;
        ch->board.revisionCode = device->boardCode;
        ch->board.channel = (int32_t)i;
        ch->board.ioBase = 0x144000u | ((i & 3u) << 9) | 0x800u;
        uint32_t address = ch->board.ioBase;
        if (BOARD_ORBXXXG_OUT_ISREG(getBaseAddress))
            BOARD_ORBXXXG_OUT_getBaseAddress(ch->boardPtr, &address);
        ch->ioupdateAddress = ch->board.ioupdateAddress = address;
        printd("    - channel IOUPDATE address %d\n", (int)address);
        Sweep_init(device, i);
        if (fsVariant()) fcp_sweep_init(device, i);
        printd("calling BOARD_ORBXXXG_OUT_init()\n");
        int r = BOARD_ORBXXXG_OUT_init(ch->boardPtr);
        if (r < 0) printd("Device_init: board init of channel %d failed (%d)\n", (int)i, r);
        analog_initCalibration(device);
        if (BOARD_ORBXXXG_OUT_ISREG(loadBuiltinSynthesizerLut))
            BOARD_ORBXXXG_OUT_loadBuiltinSynthesizerLut(ch->boardPtr);
        if (BOARD_ORBXXXG_OUT_ISREG(enableAlc)) BOARD_ORBXXXG_OUT_enableAlc(ch->boardPtr);
        // Without a table the instrument runs on: a missing file is only reported.
        analog_readCalibration(device, nullptr, false);
    }

    analog_setDefaultSourceIndex(device, 1);
    for (uint32_t i = 0; i < device->channelCount; i++) {
        analog_setSource(device, (int32_t)i);
        Trigger_init(device);
        // The chirp runs on the board's DDS ramp, where it has one.
        if (BOARD_ORBXXXG_OUT_ISREG(enableChirp)) Chirp_init(device);
        if (pulsemod_init(device) == 0 && device_config_usesOptionPulseTrains())
            multi_pulse_init(device);
    }
    // One connector for the instrument, after the trigger lines it drives.
    Funcout_init(device);
    initDacModulation(device);
    if (device_config_usesOptionPhs(0) && BOARD_ORBXXXG_REF_ISREG(initialize_phs))
        BOARD_ORBXXXG_REF_initialize_phs(device->ref,
                                         device_config_uses_ORBX20G_OUT_2BorNewer(0) ? 3u : 6u);
    for (uint32_t i = 0; i < device->channelCount; i++) {
        analog_setSource(device, (int32_t)i);
        DeviceChannel *ch = device->current;
        ch->frequency = krfreqHz(1000000000ull);
        ch->sweepSource.frequency = ch->frequency;
        ch->sweepSource.power = ch->power;
        printd("calling set Freq and set pow()\n");
        Device_setFrequency(device, &ch->frequency);
        KrPow p = ch->power;
        Device_setPower(device, &p);
        printd("\n\n\n\n<-- set Freq and set pow()\n");
        // The output starts off: the pulse modulator holds it until RF is requested.
        ch->pulmForcedOff = 1;
    }
    analog_setSource(device, 0);
    // Phase coherence needs every board built once more after power-on, now that the
    // reference distribution runs.
    if (device_config_usesOptionPhs(0) && device_config_reset_cause == 0) {
        device_config_reset_cause = 1;
        krspiReset();
        return Device_reset(device);
    }
    if (BOARD_ORBXXXG_REF_ISREG(setReferenceFrequencyPLL)) {
        KrFreq variable = krfreqHz(10000000ull);
        BOARD_ORBXXXG_REF_setReferenceFrequencyPLL(device->ref, &variable);
    }
    device->referenceLocked = BOARD_ORBXXXG_REF_isReferencePhaseLocked(device->ref) == 1;
    analog_setSelftestParam(device);
    return 0;
}

int analog_reset(Device *device) {
    analog_endVcoCalibration(device);
    // The player must not run on records the initialisation is about to rewrite.
    Sweep_stop(nullptr, 1);
    for (uint32_t c = 0; c < device->channelCount; c++) {
        analog_setSource(device, (int32_t)c);
        pulmForceOff(device);
    }
    for (uint32_t c = 0; c < device->channelCount; c++) {
        analog_setSource(device, (int32_t)c);
        if (fsVariant()) {
            FS_FPGA_IF_IMM_setCbufState(1);
            FS_FPGA_IF_flush();
            FS_FPGA_IF_IMM_setCbufState(0);
        }
        device->current->rfRequested = 0;
        hardwareOff(device);
        if (BOARD_ORBXXXG_OUT_ISREG(powerDown)) BOARD_ORBXXXG_OUT_powerDown(board(device));
    }
    // The status registers belong to the clients (*RST leaves them alone); only the
    // settings start over.
    DeviceStatusRegisters status = device->statusRegisters;
    int r = Device_init(device);
    device->statusRegisters = status;
    return r;
}

void analog_registerDeviceFunctions() {
    Device_getName = analog_getName;
    Device_getStatusRegisters = analog_getStatusRegisters;
    Device_getSource = analog_getSource;
    Device_setSource = analog_setSource;
    Device_getSourceIndexMin = analog_getSourceIndexMin;
    Device_getSourceIndexMax = analog_getSourceIndexMax;
    Device_setSourceIndex = analog_setSourceIndex;
    Device_setOutputIndex = analog_setSourceIndex;
    Device_setMemoryIndex = analog_setSourceIndex;
    Device_getDefaultSourceIndex = analog_getDefaultSourceIndex;
    Device_setDefaultSourceIndex = analog_setDefaultSourceIndex;
    Device_enumerateSources = analog_enumerateSources;
    Device_nextSource = analog_nextSource;
    Device_getFsChannel = analog_getFsChannel;
    Device_getSweepSourcePtr = analog_getSweepSourcePtr;
    Device_getSweepPtr = analog_getSweepPtr;
    Device_getTriggerPtr = analog_getTriggerPtr;
    Device_sweepDefinePreset = analog_sweepDefinePreset;
    Device_sweepApplyPreset = analog_sweepApplyPreset;
    Device_setFrequency = analog_setFrequency;
    Device_getFrequency = analog_getFrequency;
    Device_getFrequencyMin = analog_getFrequencyMin;
    Device_getFrequencyMax = analog_getFrequencyMax;
    Device_getFrequencyExact = analog_getFrequencyExact;
    Device_getFrequencyBands = analog_getFrequencyBands;
    Device_setPower = analog_setPower;
    Device_getPower = analog_getPower;
    Device_getPowerMin = analog_getPowerMin;
    Device_getPowerMax = analog_getPowerMax;
    Device_setBoardPower = analog_setBoardPower;
    Device_setPhase = analog_setPhase;
    Device_getPhase = analog_getPhase;
    Device_setPhaseCompensation = analog_setPhaseCompensation;
    Device_getPhaseCompensation = analog_getPhaseCompensation;
    Device_getPhaseCompensationMin = analog_getPhaseCompensationMin;
    Device_getPhaseCompensationMax = analog_getPhaseCompensationMax;
    Device_restartPhaseMemory = analog_restartPhaseMemory;
    Device_getBoardPower = analog_getBoardPower;
    Device_enableRf = analog_enableRf;
    Device_disableRf = analog_disableRf;
    Device_isRfEnabled = analog_isRfEnabled;
    Device_enableOutputBlanking = analog_enableOutputBlanking;
    Device_disableOutputBlanking = analog_disableOutputBlanking;
    Device_isOutputBlankingEnabled = analog_isOutputBlankingEnabled;
    Device_enableOutputLed = analog_enableOutputLed;
    Device_disableOutputLed = analog_disableOutputLed;
    Device_setReferenceFrequencyJump = analog_setReferenceFrequencyJump;
    Device_reset = analog_reset;
    Device_getStoredScpiParameters = analog_getStoredScpiParameters;
    Device_periodic = analog_periodic;
    analog_registerSupervisionFunctions();
    analog_registerForwardingFunctions();
    analog_registerChirpFunctions();
    analog_registerVcoCalibrationFunctions();
    level_access_registerFunctions();
}
