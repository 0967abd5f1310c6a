// The controller board's fan and temperature, and the global RF switch, as the supervision
// uses them. The fan runs in automatic mode unless a command takes it over; its speed is the
// MCP4131 potentiometer ratio. Main loop.
#pragma once

#include <cstdint>

struct SRI;
struct KrFreq;
struct FuncoutBoard;

int KRCONT_init();
int KRCONT_isFanAuto();
int KRCONT_setFanAuto(int automatic);
int KRCONT_enableFan_imm();
int KRCONT_disableFan_imm();
int KRCONT_isFanEnabled();
// dac: 0..1 of full speed.
int KRCONT_setFanDac_imm(double dac);
double KRCONT_getFanDac();
int KRCONT_getTemperature_async(double *celsius);
// Switches the RF of every channel off at the controller (the over-temperature path).
int KRCONT_disableRF();
// Lets the RF through again after KRCONT_disableRF (when a channel is switched on).
int KRCONT_enableRF();
// The controller board's shift register (pulse routing, LF generator, function output):
// the FPGA link's on the FS variant, a plain SPI slave otherwise.
SRI *KRCONT_getShiftRegister();

// ---- Function output and LF generator (krcont_lfg.cpp) ----------------------------------
// The board's own record of them, the provider when no other module offers one.
FuncoutBoard *KRCONT_getFuncoutBoard();
// The generator's, amplitude DAC's and user converters' drivers, the generator's defaults
// (400 Hz, 1 V, sine, off); the record's selection is left to the caller.
int KRCONT_initFuncoutBoard(FuncoutBoard *b);
// Store the source and apply the routing. Low and high apply only on a change; the user DAC
// is -241 (nothing changed) on a control board older than 1E.
int KRCONT_setFuncoutSourcePulm(FuncoutBoard *b);
int KRCONT_setFuncoutSourceLfg(FuncoutBoard *b);
int KRCONT_setFuncoutSourceTrigger(FuncoutBoard *b);
int KRCONT_setFuncoutSourceLow(FuncoutBoard *b);
int KRCONT_setFuncoutSourceHigh(FuncoutBoard *b);
int KRCONT_setFuncoutSourceDac(FuncoutBoard *b);
// Whether the connector can carry the user DAC (control board 1E or newer).
int KRCONT_hasFuncoutDac();
// The FS FPGA's source, the routing bits and the generator's power as enabled and source say.
int KRCONT_applyFuncoutConfiguration(FuncoutBoard *b);
int KRCONT_LFG_enable(FuncoutBoard *b);
int KRCONT_LFG_disable(FuncoutBoard *b);
// The settings are stored always and reach the generator only while it runs.
int KRCONT_LFG_setFrequency(FuncoutBoard *b, const KrFreq *f);
// LFG_SHAPE_*; any other code is -224.
int KRCONT_LFG_setShape(FuncoutBoard *b, uint32_t shape);
// Volts: negative gives 0, above 1.8 gives 1.8.
int KRCONT_LFG_setVoltage(FuncoutBoard *b, double volts);
// The square wave's fixed level whatever was stored.
double KRCONT_LFG_getVoltage(const FuncoutBoard *b);
// Makes the generator take a new frequency or shape.
int KRCONT_LFG_pulseCtrl();
// The user DAC's 14-bit word; above it -222.
int KRCONT_setFuncoutDac(FuncoutBoard *b, uint32_t value);
int KRCONT_enableTriggerOutputPulseAtIoupdate(int inverted);
int KRCONT_disableTriggerOutputPulseAtIoupdate();
