// Generic I/O: the steps of an I/O program (I/O update, delays, waits for the point timer
// and triggers, output-valid marker) for either hardware variant. The standard variant
// writes opcode records through the SPI transport, so they take part in capture and reach
// the driver in order with the chip writes; the FS variant writes FS FPGA commands.
//
// Callers: device operations on the main loop and the sweep task, each holding the SPI
// lock (or passing as its owner) while they write.
#pragma once

#include <cstdint>

typedef int (*KrgioTransientAction)();

int krgio_ioupdate();
int krgio_ioupdateAll();
// Record KR_IO_ADDR_IOUPD_TRIG with flag set, else KR_IO_ADDR_IOUPD.
int krgio_ioupdateTrigger(int flag);
int krgio_setIoupdate();
int krgio_delayUs(uint32_t us);
int krgio_sleepUs(uint32_t us);
int krgio_awaitPointProg();
int krgio_awaitTrigger();
// Blanks the RF of every channel (KR_IO_ADDR_MUTE "MUTE_CONF_EN_TPT") or lets it through
// again ("MUTE_CONF_DIS_TPT"). The FS variant blanks through the output-valid marker
// instead, so this is a no-op there.
int krgio_blankRf(int blank);
// FS variant only (-241 on the standard variant): the output settles within t seconds.
int krgio_markOutputValid(double t);
int krgio_markOutputInvalid();
// Standard variant only (-200 on the FS variant): chirp start hand-shake with the driver.
int krgio_imm_waitBufStreamStart();
int krgio_imm_listenBufStreamStart();

// The wait that the next frequency, power or phase change must make at the point where its
// new value takes effect; krgio_transient() runs it once and forgets it.
int krgio_setTransientAction(KrgioTransientAction action);
void krgio_transient();

// Timer count of the standard variant for t seconds: whole 66.048 MHz periods in
// 132.096 MHz ticks.
uint64_t krgio_timerCount(double seconds);

// Real-time safe diagnostics: the driver prints the text. Returns the formatted length.
int printdRt(const char *format, ...) __attribute__((format(printf, 1, 2)));
