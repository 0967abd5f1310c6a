// FS FPGA operations used by sweeps, triggers and the generic I/O family; each ends in one
// command of the FS link on the current channel c. Any thread that holds the SPI lock or the
// channel lock for buffered commands; the _async and IMM forms use the immediate path.
#pragma once

#include <cstdint>

int FS_FPGA_IF_ioupdate();
int FS_FPGA_IF_ioupdateAll();
int FS_FPGA_IF_setIoupdate();
int FS_FPGA_IF_awaitSpiIdle(int flag);
int FS_FPGA_IF_awaitTrigger();
int FS_FPGA_IF_awaitSweepPointProg();
int FS_FPGA_IF_awaitTriggerNotContinuousImmediate();
int FS_FPGA_IF_awaitAdcValid();
int FS_FPGA_IF_noOperation();
int FS_FPGA_IF_delayUs(uint32_t us);
int FS_FPGA_IF_delayTicks(uint32_t ticks);
// Code of the output-valid marker for a settling time of t seconds: 80 ns units below
// 1e-5 s, else 125.
uint8_t FS_FPGA_IF_outputValidCode(double t);
int FS_FPGA_IF_markOutputValid(double t);
int FS_FPGA_IF_markOutputInvalid();
int FS_FPGA_IF_setJumpLabel();
int FS_FPGA_IF_jumpToLabel();
int FS_FPGA_IF_setBufferedMode();
int FS_FPGA_IF_setDirectMode();
int FS_FPGA_IF_nextBlock();
int FS_FPGA_IF_setSweepTimer(double tOn, double tOff);
int FS_FPGA_IF_setSweepTimer_async(double tOn, double tOff);
int FS_FPGA_IF_setSweepCount(uint32_t count);
int FS_FPGA_IF_setSweepTimerState(int on);
int FS_FPGA_IF_setSweepTimerState_async(int on);
int FS_FPGA_IF_requestAwaitSweepTrigger();
int FS_FPGA_IF_markSweepLastPoint();
int FS_FPGA_IF_setSweepTransientAtPulseEnable(int on);
int FS_FPGA_IF_setSweepBlankInvalidOff_async();
int FS_FPGA_IF_setSweepBlankInvalidThis_async();
int FS_FPGA_IF_setSweepBlankInvalidAll_async();
// RF state while the sweep waits (bit 31 of the sweep control register), then bit 28 clear.
int FS_FPGA_IF_setSweepWaiting_rfState_earlyTransient(int rfOn, int earlyTransient);
int FS_FPGA_IF_IMM_setCbufState(int on);
int FS_FPGA_IF_IMM_enableBlockMode();
int FS_FPGA_IF_IMM_enableFcp();
// Fast channel programming of the current channel (immediate path; main loop).
int FS_FPGA_IF_IMM_disableFcp();
int FS_FPGA_IF_IMM_disableBlockMode();
int FS_FPGA_IF_IMM_setFcpOperation(uint32_t operation);  // FS_FCP_OPERATION_*
int FS_FPGA_IF_IMM_setOperationModeList();
int FS_FPGA_IF_IMM_setModulationSourceAdc();
// Words leading to a block at or past endAddress are ignored.
int FS_FPGA_IF_IMM_setFcpAddressRange(uint32_t endAddress);
// Table writes go on from the entry after the last; a rewind starts at entry 0.
int FS_FPGA_IF_IMM_rewindFrequencyLut();
int FS_FPGA_IF_IMM_rewindAmplitudeLut();
int FS_FPGA_IF_IMM_writeFrequencyLutEntry(uint64_t hz, uint32_t block);
int FS_FPGA_IF_IMM_writeAmplitudeLutEntry(int16_t power128, uint32_t block);
// Word width of the interface (shared by the channels) and its test output.
int FS_FPGA_IF_IMM_setFcpMode8bits();
int FS_FPGA_IF_IMM_setFcpMode16bits();
int FS_FPGA_IF_IMM_setFcpTestOutput(uint32_t value);
int FS_FPGA_IF_setBufThrottled(uint32_t bits);
int FS_FPGA_IF_clearBufThrottled(uint32_t bits);
// 1 when the current channel's buffered stream is throttled (always 1 on the standard
// variant).
int FS_FPGA_IF_isBufThrottled();
int FS_FPGA_IF_awaitIdle();
int FS_FPGA_IF_flush();

// Pulse modulator of a channel (immediate path). -200 while the FPGA is not open.
// Times in seconds: ton the pulse, toff the rest of the period.
int FS_FPGA_IF_pulm_setTimes(int channel, double ton, double toff);
int FS_FPGA_IF_pulm_enable(int channel);
int FS_FPGA_IF_pulm_disable(int channel);
int FS_FPGA_IF_pulm_setSource(int channel, uint32_t source);  // FS_PULM_SOURCE_*
int FS_FPGA_IF_pulm_setPolarity(int channel, int inverted);
// Holds the output off whatever the pulse source does (the channel's RF switched off).
int FS_FPGA_IF_pulm_setForceOff(int channel, int on);
// The sweep timer's entries gate the RF as a pulse train.
int FS_FPGA_IF_pulm_setTrain(int channel, int on);
// The bit pattern: bits played, ticks per bit, and the image for RAM 0 (at most 512 bytes).
int FS_FPGA_IF_pulm_setBitstreamBits(uint32_t bits);
int FS_FPGA_IF_pulm_setBitstreamTicks(uint32_t ticks);
int FS_FPGA_IF_pulm_writeBitstream(const uint8_t *image, uint32_t bytes);
// What drives the function-output connector (FS_FUNCOUT_*).
int FS_FPGA_IF_setFuncoutSource(uint32_t source);
