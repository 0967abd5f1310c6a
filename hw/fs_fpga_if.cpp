// FS FPGA operations of sweeps, triggers and the generic I/O family.
#include "hw/fs_fpga_if.h"

#include <cmath>

#include "core/printd.h"
#include "hw/board_slaves.h"
#include "hw/fs_fpga.h"
#include "hw/fs_fpga_registers.h"
#include "hw/krspi.h"
#include "scpi/scpi_errorcodes.h"

namespace {

uint32_t channel() {
    return FS_FPGA_state.channel.load(std::memory_order_relaxed) % FS_FPGA_CHANNELS;
}

int stream(uint8_t argument) {
    return FS_FPGA_longCommand(FS_FPGA_PATH_BUFFERED, FS_OP_STREAM, argument, 0, nullptr);
}

uint32_t timerCount(double t) {
    if (!(t > 0)) return 0;
    double count = std::floor(t * FS_TIMER_HZ);
    return count >= 4294967295.0 ? 0xFFFFFFFFu : (uint32_t)count;
}

int sweepTimer(int path, double tOn, double tOff) {
    printd("FS_FPGA_IF_setSweepTimer():             tOn %f, tOff %f\n", tOn, tOff);
    uint32_t counts[2] = {timerCount(tOn), timerCount(tOff)};
    return FS_FPGA_writeRegister(path, fs_regSweepTimer(channel()), 8, counts);
}

int controlBit(int path, int bit, int on) {
    uint32_t mask = 1u << bit;
    uint8_t reg = fs_regSweepControl(channel());
    return on ? FS_FPGA_setRegisterBits(path, reg, mask)
              : FS_FPGA_clearRegisterBits(path, reg, mask);
}

int blankInvalid(uint32_t value) {
    return FS_FPGA_writeRegisterBitfield(FS_FPGA_PATH_IMMEDIATE, fs_regSweepControl(channel()),
                                         FS_SWEEP_BLANK_INVALID_HIGH, FS_SWEEP_BLANK_INVALID_LOW,
                                         value);
}

}  // namespace

int FS_FPGA_IF_ioupdate() {
    if (FS_FPGA_state.perChannelUpdate.load())
        return FS_FPGA_short_command(channel() == 0 ? FS_SHORT_IOUPDATE_CH0
                                                    : FS_SHORT_IOUPDATE_CHX);
    return FS_FPGA_short_command(FS_SHORT_IOUPDATE_ALL);
}

int FS_FPGA_IF_ioupdateAll() {
    return FS_FPGA_short_command(FS_SHORT_IOUPDATE_ALL);
}

int FS_FPGA_IF_setIoupdate() {
    return FS_FPGA_short_command(FS_SHORT_SET_IOUPDATE);
}

int FS_FPGA_IF_awaitSpiIdle(int flag) {
    return FS_FPGA_short_command(flag ? FS_SHORT_AWAIT_SPI_IDLE_FLAG : FS_SHORT_AWAIT_SPI_IDLE);
}

int FS_FPGA_IF_awaitTrigger() {
    FS_FPGA_IF_setBufThrottled(FS_THROTTLE_TRIGGER);
    return FS_FPGA_short_command(FS_SHORT_AWAIT_TRIGGER);
}

int FS_FPGA_IF_awaitSweepPointProg() {
    return FS_FPGA_short_command(FS_SHORT_AWAIT_SWEEP_POINT);
}

int FS_FPGA_IF_awaitTriggerNotContinuousImmediate() {
    return FS_FPGA_short_command(FS_SHORT_AWAIT_TRIGGER_NCI);
}

int FS_FPGA_IF_awaitAdcValid() {
    return FS_FPGA_short_command(FS_SHORT_AWAIT_ADC_VALID);
}

int FS_FPGA_IF_noOperation() {
    return FS_FPGA_short_command(FS_SHORT_NOP);
}

int FS_FPGA_IF_delayUs(uint32_t us) {
    return FS_FPGA_IF_delayTicks(us * 200);
}

int FS_FPGA_IF_delayTicks(uint32_t ticks) {
    return FS_FPGA_longCommand(FS_FPGA_PATH_BUFFERED, FS_OP_DELAY, 0, 4, &ticks);
}

uint8_t FS_FPGA_IF_outputValidCode(double t) {
    if (!(t > 0)) return 0;
    if (t < 1e-5) return (uint8_t)((uint32_t)std::floor(t * 12.5e6) & 127);
    return FS_OUTPUT_VALID_CODE_MAX;
}

int FS_FPGA_IF_markOutputValid(double t) {
    return FS_FPGA_longCommand(FS_FPGA_PATH_BUFFERED, FS_OP_OUTPUT_VALID,
                               FS_FPGA_IF_outputValidCode(t), 0, nullptr);
}

int FS_FPGA_IF_markOutputInvalid() {
    return FS_FPGA_longCommand(FS_FPGA_PATH_BUFFERED, FS_OP_OUTPUT_VALID, FS_OUTPUT_INVALID_CODE, 0,
                               nullptr);
}

int FS_FPGA_IF_setJumpLabel() {
    return stream(FS_STREAM_JUMP_LABEL);
}

int FS_FPGA_IF_jumpToLabel() {
    int r = stream(FS_STREAM_JUMP);
    if (r == 0) FS_FPGA_state.ch[channel()].jumpPending = 1;
    return r;
}

int FS_FPGA_IF_setBufferedMode() {
    int r = stream(FS_STREAM_BUFFERED_MODE);
    if (r == 0) FS_FPGA_state.ch[channel()].bufferedMode = 1;
    return r;
}

int FS_FPGA_IF_setDirectMode() {
    int r = stream(FS_STREAM_DIRECT_MODE);
    if (r == 0) FS_FPGA_state.ch[channel()].bufferedMode = 0;
    return r;
}

int FS_FPGA_IF_nextBlock() {
    return stream(FS_STREAM_NEXT_BLOCK);
}

int FS_FPGA_IF_setSweepTimer(double tOn, double tOff) {
    return sweepTimer(FS_FPGA_PATH_BUFFERED, tOn, tOff);
}

int FS_FPGA_IF_setSweepTimer_async(double tOn, double tOff) {
    return sweepTimer(FS_FPGA_PATH_IMMEDIATE, tOn, tOff);
}

int FS_FPGA_IF_setSweepCount(uint32_t count) {
    return FS_FPGA_writeRegisterBitfield(FS_FPGA_PATH_IMMEDIATE, fs_regSweepControl(channel()),
                                         FS_SWEEP_COUNT_HIGH, FS_SWEEP_COUNT_LOW, count);
}

int FS_FPGA_IF_setSweepTimerState(int on) {
    return controlBit(FS_FPGA_PATH_BUFFERED, FS_SWEEP_TIMER_STATE, on);
}

int FS_FPGA_IF_setSweepTimerState_async(int on) {
    return controlBit(FS_FPGA_PATH_IMMEDIATE, FS_SWEEP_TIMER_STATE, on);
}

int FS_FPGA_IF_requestAwaitSweepTrigger() {
    return controlBit(FS_FPGA_PATH_BUFFERED, FS_SWEEP_AWAIT_TRIGGER, 1);
}

int FS_FPGA_IF_markSweepLastPoint() {
    return controlBit(FS_FPGA_PATH_BUFFERED, FS_SWEEP_LAST_POINT, 1);
}

int FS_FPGA_IF_setSweepTransientAtPulseEnable(int on) {
    return controlBit(FS_FPGA_PATH_IMMEDIATE, FS_SWEEP_TRANSIENT_AT_PULSE, on);
}

int FS_FPGA_IF_setSweepBlankInvalidOff_async() {
    return blankInvalid(0);
}

int FS_FPGA_IF_setSweepBlankInvalidThis_async() {
    return blankInvalid(1);
}

int FS_FPGA_IF_setSweepBlankInvalidAll_async() {
    return blankInvalid(2);
}

int FS_FPGA_IF_setSweepWaiting_rfState_earlyTransient(int rfOn, int) {
    int r = controlBit(FS_FPGA_PATH_IMMEDIATE, FS_SWEEP_WAITING_RF, rfOn);
    if (r == 0) r = controlBit(FS_FPGA_PATH_IMMEDIATE, FS_SWEEP_EARLY_TRANSIENT, 0);
    return r;
}

int FS_FPGA_IF_IMM_setCbufState(int on) {
    uint32_t c = channel();
    printd("FS_FPGA_IF_IMM_setCbufState(): state %d, channel %d\n", on, (int)c);
    uint32_t mask = 1u << fs_controlCbufBit(c);
    int r = on ? FS_FPGA_setRegisterBits(FS_FPGA_PATH_IMMEDIATE, FS_REG_CONTROL, mask)
               : FS_FPGA_clearRegisterBits(FS_FPGA_PATH_IMMEDIATE, FS_REG_CONTROL, mask);
    if (!on) {
        FS_FPGA_state.ch[c].jumpPending = 0;
        FS_FPGA_state.ch[c].throttle.fetch_and(~FS_THROTTLE_SWEEP);
    }
    return r;
}

int FS_FPGA_IF_IMM_enableBlockMode() {
    return FS_FPGA_setRegisterBits(FS_FPGA_PATH_IMMEDIATE, fs_regChannelMode(channel()),
                                   1u << FS_MODE_BLOCK);
}

int FS_FPGA_IF_IMM_enableFcp() {
    return FS_FPGA_setRegisterBits(FS_FPGA_PATH_IMMEDIATE, fs_regChannelMode(channel()),
                                   1u << FS_MODE_FCP);
}

namespace {

int modeField(int high, int low, uint32_t value) {
    return FS_FPGA_writeRegisterBitfield(FS_FPGA_PATH_IMMEDIATE, fs_regChannelMode(channel()), high,
                                         low, value);
}

int rewind(uint8_t ram) {
    uint32_t address = 0;
    return FS_FPGA_longCommand(FS_FPGA_PATH_IMMEDIATE, FS_OP_RAM_ADDRESS, ram, 4, &address);
}

// One entry at the table's write position, which moves on by its length.
int appendEntry(uint8_t ram, uint64_t entry, uint32_t bytes) {
    return FS_FPGA_longCommand(FS_FPGA_PATH_IMMEDIATE, FS_OP_RAM_WRITE, ram, bytes, &entry);
}

}  // namespace

int FS_FPGA_IF_IMM_disableFcp() {
    return FS_FPGA_clearRegisterBits(FS_FPGA_PATH_IMMEDIATE, fs_regChannelMode(channel()),
                                     1u << FS_MODE_FCP);
}

int FS_FPGA_IF_IMM_disableBlockMode() {
    return FS_FPGA_clearRegisterBits(FS_FPGA_PATH_IMMEDIATE, fs_regChannelMode(channel()),
                                     1u << FS_MODE_BLOCK);
}

int FS_FPGA_IF_IMM_setFcpOperation(uint32_t operation) {
    return modeField(FS_MODE_OPERATION_HIGH, FS_MODE_OPERATION_LOW, operation);
}

int FS_FPGA_IF_IMM_setOperationModeList() {
    return FS_FPGA_IF_IMM_setFcpOperation(FS_FCP_OPERATION_LIST);
}

int FS_FPGA_IF_IMM_setModulationSourceAdc() {
    return modeField(FS_MODE_MOD_SOURCE_HIGH, FS_MODE_MOD_SOURCE_LOW, FS_MOD_SOURCE_ADC);
}

int FS_FPGA_IF_IMM_setFcpAddressRange(uint32_t endAddress) {
    return FS_FPGA_writeRegister(FS_FPGA_PATH_IMMEDIATE, fs_regFcpAddressRange(channel()), 4,
                                 &endAddress);
}

int FS_FPGA_IF_IMM_rewindFrequencyLut() {
    return rewind(fs_ramFrequencyLut(channel()));
}

int FS_FPGA_IF_IMM_rewindAmplitudeLut() {
    return rewind(fs_ramAmplitudeLut(channel()));
}

int FS_FPGA_IF_IMM_writeFrequencyLutEntry(uint64_t hz, uint32_t block) {
    return appendEntry(fs_ramFrequencyLut(channel()), fs_fcpFrequencyEntry(hz, block),
                       FS_FCP_FREQUENCY_ENTRY_BYTES);
}

int FS_FPGA_IF_IMM_writeAmplitudeLutEntry(int16_t power128, uint32_t block) {
    return appendEntry(fs_ramAmplitudeLut(channel()), fs_fcpAmplitudeEntry(power128, block),
                       FS_FCP_AMPLITUDE_ENTRY_BYTES);
}

int FS_FPGA_IF_IMM_setFcpMode8bits() {
    return FS_FPGA_setRegisterBits(FS_FPGA_PATH_IMMEDIATE, FS_REG_FCP_CONFIG,
                                   1u << FS_FCP_CONFIG_8BIT);
}

int FS_FPGA_IF_IMM_setFcpMode16bits() {
    return FS_FPGA_clearRegisterBits(FS_FPGA_PATH_IMMEDIATE, FS_REG_FCP_CONFIG,
                                     1u << FS_FCP_CONFIG_8BIT);
}

int FS_FPGA_IF_IMM_setFcpTestOutput(uint32_t value) {
    return FS_FPGA_writeRegister(FS_FPGA_PATH_IMMEDIATE, FS_REG_FCP_TEST_OUTPUT, 4, &value);
}

int FS_FPGA_IF_setBufThrottled(uint32_t bits) {
    uint32_t c = channel();
    printd("FS_FPGA_IF_setBufThrottled(): set buf throttled flag %d on channel %d\n", (int)bits,
           (int)c);
    FS_FPGA_state.ch[c].throttle.fetch_or(bits);
    return 0;
}

int FS_FPGA_IF_clearBufThrottled(uint32_t bits) {
    uint32_t c = channel();
    printd("FS_FPGA_IF_clearBufThrottled(): clear buf throttled flag %d on channel %d\n", (int)bits,
           (int)c);
    FS_FPGA_state.ch[c].throttle.fetch_and(~bits);
    return 0;
}

int FS_FPGA_IF_isBufThrottled() {
    if (!FS_FPGA_state.active.load()) return 1;
    const FsFpgaChannel &c = FS_FPGA_state.ch[channel()];
    return (c.throttle.load() || c.jumpPending.load()) ? 1 : 0;
}

int FS_FPGA_IF_awaitIdle() {
    if (FS_FPGA_IF_isBufThrottled()) return KR_E_EXECUTION_ERROR;
    uint8_t b = 0;
    return krspiRecv(BOARD_FS_IDLE_PROBE, 0, 1, 0, &b);
}

int FS_FPGA_IF_flush() {
    return FS_FPGA_flush();
}

// ---- Pulse modulator and function output -----------------------------------------------

namespace {

int pulmBit(int c, int bit, int on) {
    uint32_t mask = 1u << bit;
    uint8_t reg = fs_regPulmControl((uint32_t)c % FS_FPGA_CHANNELS);
    return on ? FS_FPGA_setRegisterBits(FS_FPGA_PATH_IMMEDIATE, reg, mask)
              : FS_FPGA_clearRegisterBits(FS_FPGA_PATH_IMMEDIATE, reg, mask);
}

uint32_t pulmCount(double t) {
    double count = std::round(t * FS_TIMER_HZ);
    if (!(count > 0)) return 0;
    return count >= 4294967295.0 ? 0xFFFFFFFFu : (uint32_t)count;
}

}  // namespace

int FS_FPGA_IF_pulm_setTimes(int c, double ton, double toff) {
    uint32_t tonCount = pulmCount(ton);
    uint32_t total = pulmCount(ton + toff);
    uint32_t counts[2] = {tonCount, total > tonCount ? total - tonCount : 0};
    printd("FS_FPGA_IF_pulm_setTimes(): tonCount %u, toffCount %u\n", counts[0], counts[1]);
    int r = FS_FPGA_writeRegister(FS_FPGA_PATH_IMMEDIATE,
                                  fs_regPulmTimes((uint32_t)c % FS_FPGA_CHANNELS), 8, counts);
    return r < 0 ? r : pulmBit(c, FS_PULM_TIMES_LOAD, 1);
}

int FS_FPGA_IF_pulm_enable(int c) {
    return pulmBit(c, FS_PULM_ENABLE, 1);
}

int FS_FPGA_IF_pulm_disable(int c) {
    return pulmBit(c, FS_PULM_ENABLE, 0);
}

int FS_FPGA_IF_pulm_setSource(int c, uint32_t source) {
    return FS_FPGA_writeRegisterBitfield(FS_FPGA_PATH_IMMEDIATE,
                                         fs_regPulmControl((uint32_t)c % FS_FPGA_CHANNELS),
                                         FS_PULM_SOURCE_HIGH, FS_PULM_SOURCE_LOW, source);
}

int FS_FPGA_IF_pulm_setPolarity(int c, int inverted) {
    return pulmBit(c, FS_PULM_INVERTED, inverted);
}

int FS_FPGA_IF_pulm_setForceOff(int c, int on) {
    return pulmBit(c, FS_PULM_FORCE_OFF, on);
}

int FS_FPGA_IF_pulm_setTrain(int c, int on) {
    return pulmBit(c, FS_PULM_TRAIN, on);
}

int FS_FPGA_IF_pulm_setBitstreamBits(uint32_t bits) {
    return FS_FPGA_writeRegisterBitfield(FS_FPGA_PATH_IMMEDIATE, FS_REG_PULM_BITS,
                                         FS_PULM_BITS_HIGH, FS_PULM_BITS_LOW, bits);
}

int FS_FPGA_IF_pulm_setBitstreamTicks(uint32_t ticks) {
    return FS_FPGA_writeRegister(FS_FPGA_PATH_IMMEDIATE, FS_REG_PULM_BIT_TICKS, 4, &ticks);
}

int FS_FPGA_IF_pulm_writeBitstream(const uint8_t *image, uint32_t bytes) {
    if (bytes > FS_PULM_PATTERN_BYTES) bytes = FS_PULM_PATTERN_BYTES;
    return FS_FPGA_modifyRam(FS_RAM_INDEX_PATTERN, FS_RAM_PULM_PATTERN, bytes, image);
}

int FS_FPGA_IF_setFuncoutSource(uint32_t source) {
    return FS_FPGA_writeRegisterBitfield(FS_FPGA_PATH_IMMEDIATE, FS_REG_FUNCOUT,
                                         FS_FUNCOUT_SOURCE_HIGH, FS_FUNCOUT_SOURCE_LOW, source);
}
