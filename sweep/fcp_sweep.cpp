// Fast channel programming: enabling rules, the recording of blocks and tables, test words.
#include "sweep/fcp_sweep.h"

#include <cmath>

#include "core/krstuff.h"
#include "core/printd.h"
#include "device/device.h"
#include "device/slot_front.h"
#include "hw/fs_fpga.h"
#include "hw/fs_fpga_if.h"
#include "hw/fs_fpga_registers.h"
#include "hw/krspi.h"
#include "modulation/fs_dac_mod.h"
#include "scpi/scpi_errorcodes.h"
#include "sweep/sweep.h"
#include "sweep/sweep_list.h"
#include "sweep/sweep_rt.h"

namespace {

uint8_t wordWidth = 0;  // 0 = 16-bit, 1 = 8-bit

// Band edges of one start (main loop only; no allocation per start).
KrFreq frequencyBands[FCP_FREQUENCY_BANDS_MAX];
KrPow powerBands[FCP_POWER_BANDS_MAX];

constexpr KrPow LOWER_GUARD_DBM = -256.0f;
constexpr KrPow FILL_DBM = 255.0f;
constexpr KrPow UPPER_GUARD_MARGIN_DB = 0.1f;
constexpr const char *FREQUENCY_OVERFLOW =
    "fcp_sweep_start() warning: FCP frequency LUT overflow, can not cover full frequency span";
constexpr const char *AMPLITUDE_OVERFLOW =
    "fcp_sweep_start() warning: FCP amplitude LUT overflow, can not cover full amplitude span";

Sweep *sweepOf(Device *device) {
    return DEVICE_ISREG(getSweepPtr) ? Device_getSweepPtr(device) : nullptr;
}

uint64_t entryHz(const KrFreq &f) {
    return f.integer < 0 ? 0 : (uint64_t)f.integer;
}

// The tables as the FPGA holds them: entries appended after a rewind.
struct Tables {
    Sweep *s;
    uint32_t block;  // the block being recorded

    void appendFrequency(uint64_t hz, uint32_t b) {
        FS_FPGA_IF_IMM_writeFrequencyLutEntry(hz, b);
        s->fcp.frequencyLutCount++;
    }
    void appendAmplitude(KrPow p, uint32_t b) {
        FS_FPGA_IF_IMM_writeAmplitudeLutEntry(fcp_amplitudeWord(p), b);
        s->fcp.amplitudeLutCount++;
    }
    // The upper guard entry needs the last place of each table.
    bool frequencyFull() const { return s->fcp.frequencyLutCount >= FS_FCP_FREQUENCY_ENTRIES - 1; }
    bool amplitudeFull() const { return s->fcp.amplitudeLutCount >= FS_FCP_AMPLITUDE_ENTRIES - 1; }
    void nextBlock() {
        FS_FPGA_IF_nextBlock();
        block++;
    }
};

void programPoint(Device *device, const KrFreq *f, const KrPow *p) {
    printd("fcp_sweep_start(): invalidate all IC data to allow for arbitrary jumps\n");
    krspi_notifyInvalidationListener();
    Device_setFrequencyPower_fcp(device, f, p, 0);
}

// LW: list point i in block i + 1, after the empty block 0.
void recordList(Device *device, Tables &t, SweepList *list) {
    printd("fcp_sweep_start(): LW (list word) mode\n");
    FS_FPGA_IF_IMM_setOperationModeList();
    FS_FPGA_IF_IMM_setModulationSourceAdc();
    t.nextBlock();
    sweep_prepareFrequencyList(list);
    uint32_t points = list->points;
    for (uint32_t i = 0; i < points; i++) {
        KrFreq f{};
        sweep_getListPointFrequency(list, i, &f);
        printd("fcp_sweep_start(): program point %d for %f Hz\n", (int)i, krfreqToDouble(&f));
        programPoint(device, &f, nullptr);
        t.nextBlock();
    }
    printd("fcp_sweep_start(): %u points -> end address 0x%X\n", points,
           points * FS_FCP_BLOCK_BYTES);
    FS_FPGA_IF_IMM_setFcpAddressRange(points * FS_FCP_BLOCK_BYTES);
}

// FW, AW, FW + AW: block 2 + p * frequencies + f holds power band p at frequency band f; only
// the dimensions the mode uses are walked.
void recordWords(Device *device, Tables &t, const Sweep *s) {
    bool freq = s->fcp.freqCtrl, ampl = s->fcp.amplCtrl;
    uint32_t operation = !freq  ? FS_FCP_OPERATION_AW
                         : ampl ? FS_FCP_OPERATION_FW_AW
                                : FS_FCP_OPERATION_FW;
    printd(!freq  ? "fcp_sweep_start(): AW (amplitude word) mode\n"
           : ampl ? "fcp_sweep_start(): FW + AW (combined frequency + amplitude word) mode\n"
                  : "fcp_sweep_start(): FW (frequency word) mode\n");
    FS_FPGA_IF_IMM_setFcpOperation(operation);
    int32_t frequencies = 1, powers = 1;
    if (freq) {
        frequencies =
            Device_getFcpFrequencyBands(device, (char *)frequencyBands, FCP_FREQUENCY_BANDS_MAX);
        if (frequencies > FCP_FREQUENCY_BANDS_MAX) frequencies = FCP_FREQUENCY_BANDS_MAX;
    }
    if (ampl) {
        powers = Device_getFcpPowerBands(device, (char *)powerBands, FCP_POWER_BANDS_MAX);
        if (powers > FCP_POWER_BANDS_MAX) powers = FCP_POWER_BANDS_MAX;
    }
    if (frequencies < 0) frequencies = 0;
    if (powers < 0) powers = 0;

    t.appendFrequency(0, t.block);
    t.nextBlock();
    t.appendAmplitude(LOWER_GUARD_DBM, t.block);
    t.nextBlock();

    bool frequencyOpen = true;
    for (int32_t p = 0; p < powers; p++) {
        for (int32_t f = 0; f < frequencies; f++) {
            if (ampl && f == 0) {
                if (t.amplitudeFull()) {
                    printd("%s\n", AMPLITUDE_OVERFLOW);
                    break;
                }
                t.appendAmplitude(powerBands[p], t.block);
            }
            programPoint(device, freq ? &frequencyBands[f] : nullptr,
                         ampl ? &powerBands[p] : nullptr);
            if (freq && p == 0 && frequencyOpen) {
                if (t.frequencyFull()) {
                    printd("%s\n", FREQUENCY_OVERFLOW);
                    frequencyOpen = false;
                } else {
                    t.appendFrequency(entryHz(frequencyBands[f]), t.block);
                }
            }
            t.nextBlock();
        }
    }

    // Words above the device's range lead to the first block not written: ignored.
    uint32_t end = t.block;
    uint64_t topHz = entryHz(*Device_getFrequencyMax(device)) + 1;
    t.appendFrequency(topHz, end);
    t.appendAmplitude(*Device_getPowerMax(device) + UPPER_GUARD_MARGIN_DB, end);
    FS_FPGA_IF_IMM_setFcpAddressRange(end * FS_FCP_BLOCK_BYTES);
    while (t.s->fcp.frequencyLutCount < FS_FCP_FREQUENCY_ENTRIES)
        t.appendFrequency(topHz, end);
    while (t.s->fcp.amplitudeLutCount < FS_FCP_AMPLITUDE_ENTRIES)
        t.appendAmplitude(FILL_DBM, end);
}

// ---- Enabling rules ---------------------------------------------------------------------

int restartWith(Device *device, uint8_t *flag) {
    fcp_sweep_stop(device);
    *flag = 1;
    int r = fcp_sweep_start(device);
    if (r < 0) *flag = 0;  // not running: the setting must not claim otherwise
    return r;
}

int isFcpListCtrlEnabled(Device *device) {
    Sweep *s = sweepOf(device);
    if (!s) return KR_E_HARDWARE_MISSING;
    return s->fcp.listCtrl;
}

int enableFcpListCtrl(Device *device) {
    Sweep *s = sweepOf(device);
    if (!s) return KR_E_HARDWARE_MISSING;
    if (s->fcp.listCtrl) return 0;
    if (s->fcp.freqCtrl || s->fcp.amplCtrl) return KR_E_SETTINGS_CONFLICT;
    return restartWith(device, &s->fcp.listCtrl);
}

int disableFcpListCtrl(Device *device) {
    Sweep *s = sweepOf(device);
    if (!s) return KR_E_HARDWARE_MISSING;
    fcp_sweep_stop(device);
    s->fcp.listCtrl = 0;
    return 0;
}

int enableWordCtrl(Device *device, bool frequency) {
    Sweep *s = sweepOf(device);
    if (!s) return KR_E_HARDWARE_MISSING;
    uint8_t *flag = frequency ? &s->fcp.freqCtrl : &s->fcp.amplCtrl;
    if (*flag) return 0;
    if (s->fcp.listCtrl) return KR_E_SETTINGS_CONFLICT;
    return restartWith(device, flag);
}

int disableWordCtrl(Device *device, bool frequency) {
    Sweep *s = sweepOf(device);
    if (!s) return KR_E_HARDWARE_MISSING;
    fcp_sweep_stop(device);
    (frequency ? s->fcp.freqCtrl : s->fcp.amplCtrl) = 0;
    if (frequency ? s->fcp.amplCtrl : s->fcp.freqCtrl) return fcp_sweep_start(device);
    return 0;
}

int isFcpFreqCtrlEnabled(Device *device) {
    Sweep *s = sweepOf(device);
    if (!s) return KR_E_HARDWARE_MISSING;
    return s->fcp.freqCtrl;
}
int enableFcpFreqCtrl(Device *device) {
    return enableWordCtrl(device, true);
}
int disableFcpFreqCtrl(Device *device) {
    return disableWordCtrl(device, true);
}
int isFcpAmplCtrlEnabled(Device *device) {
    Sweep *s = sweepOf(device);
    if (!s) return KR_E_HARDWARE_MISSING;
    return s->fcp.amplCtrl;
}
int enableFcpAmplCtrl(Device *device) {
    return enableWordCtrl(device, false);
}
int disableFcpAmplCtrl(Device *device) {
    return disableWordCtrl(device, false);
}

int isFcpMode8bits(Device *device) {
    if (!sweepOf(device)) return KR_E_HARDWARE_MISSING;
    return wordWidth == 1;
}
int isFcpMode16bits(Device *device) {
    if (!sweepOf(device)) return KR_E_HARDWARE_MISSING;
    return wordWidth == 0;
}
int setFcpMode8bits(Device *device) {
    if (!sweepOf(device)) return KR_E_HARDWARE_MISSING;
    int r = FS_FPGA_IF_IMM_setFcpMode8bits();
    if (r == 0) wordWidth = 1;
    return r;
}
int setFcpMode16bits(Device *device) {
    if (!sweepOf(device)) return KR_E_HARDWARE_MISSING;
    int r = FS_FPGA_IF_IMM_setFcpMode16bits();
    if (r == 0) wordWidth = 0;
    return r;
}

// ---- Test words ---------------------------------------------------------------------------

// Each part strobed: presented with bit 0 set, then cleared; the output rests at 1.
int writeTestWord(Device *device, uint32_t word, uint32_t subAddress, bool wide) {
    int (*out)(Device *, int32_t) = wide ? Device_setFcp16BitOutput : Device_setFcp8BitOutput;
    int parts = wide ? 2 : 4, bits = wide ? 8 : 4;
    uint32_t mask = (1u << bits) - 1;
    int r = 0;
    for (int i = 0; i < parts && r == 0; i++) {
        uint32_t part = (word >> (bits * i)) & mask;
        uint32_t sub = (subAddress + (uint32_t)i) & (wide ? 0xFFu : 0xFu);
        uint32_t v = sub << FS_FCP_TEST_SUBADDRESS_SHIFT |
                     part << (wide ? FS_FCP_TEST_BYTE_SHIFT : FS_FCP_TEST_NIBBLE_SHIFT);
        r = out(device, (int32_t)(v | FS_FCP_TEST_STROBE));
        if (r == 0) r = out(device, (int32_t)v);
    }
    int rest = out(device, (int32_t)FS_FCP_TEST_STROBE);
    return r < 0 ? r : rest;
}

}  // namespace

uint8_t fcp_sweep_wordWidth() {
    return wordWidth;
}

int16_t fcp_amplitudeWord(KrPow power) {
    double w = std::round((double)power * 128.0);
    if (!(w > -32768.0)) return INT16_MIN;  // NaN too
    return w >= 32767.0 ? INT16_MAX : (int16_t)w;
}

int fcp_sweep_start(Device *device) {
    printd("fcp_sweep_start(): working on it\n");
    if (!DEVICE_ISREG(getSweepPtr)) {
        printd("fcp_sweep_start() error: Device_getSweepPtr not registered\n");
        return KR_E_HARDWARE_MISSING;
    }
    Sweep *s = Device_getSweepPtr(device);
    if (!s) {
        printd("fcp_sweep_start() error: Device_getSweepPtr() returned NULL\n");
        return KR_E_HARDWARE_MISSING;
    }
    // A DAC modulation's table or a sweep holds the stream the blocks are recorded through.
    if (fs_dac_mod_isRunning(DEVICE_ISREG(getSource) ? Device_getSource(device) : 0) ||
        sweep_rt_flag(s->running))
        return KR_E_SETTINGS_CONFLICT;
    // A list without frequencies has no points to record.
    SweepList *list = s->fcp.listCtrl ? sweep_getActiveSweepList(device) : nullptr;
    int r = !s->fcp.listCtrl            ? 0
            : !list                     ? KR_E_HARDWARE_MISSING
            : list->frequencyCount == 0 ? KR_E_LISTS_NOT_SAME_LENGTH
                                        : 0;
    if (r < 0) {
        printd("fcp_sweep_start() error: the list holds no frequencies (%d)\n", r);
        return r;
    }
    r = FS_FPGA_IF_awaitIdle();
    if (r < 0) {
        printd("fcp_sweep_start() error: FS_FPGA_IF_awaitIdle() timed out\n");
        return r;
    }
    Device_notifyState(device, FCP_NOTIFY_STATE, 1);
    FS_FPGA_IF_IMM_setCbufState(1);
    FS_FPGA_IF_flush();
    FS_FPGA_IF_IMM_setCbufState(0);
    FS_FPGA_IF_setBufThrottled(FS_THROTTLE_SWEEP);
    s->fcp.frequencyLutCount = s->fcp.amplitudeLutCount = 0;
    FS_FPGA_IF_IMM_rewindFrequencyLut();
    FS_FPGA_IF_IMM_rewindAmplitudeLut();
    FS_FPGA_IF_IMM_disableFcp();
    FS_FPGA_IF_IMM_enableBlockMode();

    Tables t{s, 0};
    if (list)
        recordList(device, t, list);
    else
        recordWords(device, t, s);

    // The blocks reach the FPGA before it may play them.
    FS_FPGA_IF_flush();
    krstuff_delay_us(1000);
    printd("fcp_sweep_start(): FS_FPGA_IF_IMM_enableFcp()\n");
    FS_FPGA_IF_IMM_enableFcp();
    s->fcp.running = 1;
    printd("fcp_sweep_start(): done\n");
    return 0;
}

int fcp_sweep_stop(Device *device) {
    Sweep *s = sweepOf(device);
    if (!s) return KR_E_HARDWARE_MISSING;
    if (!s->fcp.running) return 0;
    printd("fcp_sweep_stop(): FS_FPGA_IF_IMM_disableFcp()\n");
    FS_FPGA_IF_IMM_disableFcp();
    FS_FPGA_IF_IMM_setCbufState(1);
    FS_FPGA_IF_flush();
    FS_FPGA_IF_IMM_setCbufState(0);
    FS_FPGA_IF_IMM_disableBlockMode();
    FS_FPGA_IF_IMM_setModulationSourceAdc();
    krspi_notifyInvalidationListener();
    s->fcp.running = 0;
    SweepSource *source = Device_getSweepSourcePtr(device, Device_getSource(device));
    if (source) {
        Device_setFrequency(device, &source->frequency);
        Device_setPower(device, &source->power);
    }
    Device_notifyState(device, FCP_NOTIFY_STATE, 0);
    return 0;
}

int fcp_sweep_init(Device *device, uint32_t channel) {
    Sweep *s = sweepOf(device);
    if (s) s->fcp = {};
    wordWidth = 0;
    const char *missing =
        !DEVICE_ISREG(getSweepPtr)            ? "Device_getSweepPtr not registered"
        : !s                                  ? "Device_getSweepPtr() returned NULL"
        : !DEVICE_ISREG(setFrequency_fcp)     ? "Device_setFrequency_fcp not registered"
        : !DEVICE_ISREG(getFcpFrequencyBands) ? "Device_getFcpFrequencyBands not registered"
        : !DEVICE_ISREG(getFcpPowerBands)     ? "Device_getFcpPowerBands not registered"
                                              : nullptr;
    if (missing) {
        printd("fcp_sweep_init() error: %s\n", missing);
        return KR_E_HARDWARE_MISSING;
    }
    printd("fcp_sweep_init(): channel %u\n", channel);
    // A reset finds the FPGA as FCP left it.
    FS_FPGA_IF_IMM_disableFcp();
    FS_FPGA_IF_IMM_disableBlockMode();
    FS_FPGA_IF_IMM_setFcpMode16bits();
    fcp_sweep_registerFunctions();
    return 0;
}

namespace {

// While the FPGA replays blocks, the buffered stream is in block mode: a setting written now
// would land in a block. As during a sweep, the fixed value is kept (the sweep layer stores
// it) and reaches the output when FCP stops.
int (*plainSetFrequency)(Device *, const KrFreq *) = nullptr;
int (*plainSetPower)(Device *, const KrPow *) = nullptr;

template <typename T, int (**Plain)(Device *, const T *)>
int deferredWhileRunning(Device *device, const T *value) {
    Sweep *s = sweepOf(device);
    if (s && s->fcp.running) return 0;
    return (*Plain)(device, value);
}

void guardSettings() {
    device_putInFront(Device_setFrequency, DEVICE_ISREG(setFrequency),
                      &deferredWhileRunning<KrFreq, &plainSetFrequency>, &plainSetFrequency);
    device_putInFront(Device_setPower, DEVICE_ISREG(setPower),
                      &deferredWhileRunning<KrPow, &plainSetPower>, &plainSetPower);
}

}  // namespace

void fcp_sweep_registerFunctions() {
    guardSettings();
    Device_isFcpListCtrlEnabled = isFcpListCtrlEnabled;
    Device_enableFcpListCtrl = enableFcpListCtrl;
    Device_disableFcpListCtrl = disableFcpListCtrl;
    Device_isFcpFreqCtrlEnabled = isFcpFreqCtrlEnabled;
    Device_enableFcpFreqCtrl = enableFcpFreqCtrl;
    Device_disableFcpFreqCtrl = disableFcpFreqCtrl;
    Device_isFcpAmplCtrlEnabled = isFcpAmplCtrlEnabled;
    Device_enableFcpAmplCtrl = enableFcpAmplCtrl;
    Device_disableFcpAmplCtrl = disableFcpAmplCtrl;
    Device_isFcpMode8bits = isFcpMode8bits;
    Device_setFcpMode8bits = setFcpMode8bits;
    Device_isFcpMode16bits = isFcpMode16bits;
    Device_setFcpMode16bits = setFcpMode16bits;
    Device_writeFcpTwM8Bit = fcp_common_writeFcpTwM8Bit;
    Device_writeFcpFwM8Bit = fcp_common_writeFcpFwM8Bit;
    Device_writeFcpAwM8Bit = fcp_common_writeFcpAwM8Bit;
    Device_writeFcpTwM16Bit = fcp_common_writeFcpTwM16Bit;
    Device_writeFcpFwM16Bit = fcp_common_writeFcpFwM16Bit;
    Device_writeFcpAwM16Bit = fcp_common_writeFcpAwM16Bit;
}

int fcp_common_writeFcpTwM8Bit(Device *device, uint32_t word) {
    return writeTestWord(device, word, FS_FCP_SUBADDRESS_TW, false);
}
int fcp_common_writeFcpFwM8Bit(Device *device, uint32_t word) {
    return writeTestWord(device, word, FS_FCP_SUBADDRESS_FW, false);
}
int fcp_common_writeFcpAwM8Bit(Device *device, uint32_t word) {
    return writeTestWord(device, word, FS_FCP_SUBADDRESS_AW, false);
}
int fcp_common_writeFcpTwM16Bit(Device *device, uint32_t word) {
    return writeTestWord(device, word, FS_FCP_SUBADDRESS_TW / 2, true);
}
int fcp_common_writeFcpFwM16Bit(Device *device, uint32_t word) {
    return writeTestWord(device, word, FS_FCP_SUBADDRESS_FW / 2, true);
}
int fcp_common_writeFcpAwM16Bit(Device *device, uint32_t word) {
    return writeTestWord(device, word, FS_FCP_SUBADDRESS_AW / 2, true);
}
