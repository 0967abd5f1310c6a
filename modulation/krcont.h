// The controller board's fan and temperature, and the global RF switch, as the supervision
// uses them. The fan runs in automatic mode unless a command takes it over; its speed is the
// MCP4131 potentiometer ratio. Main loop.
#pragma once

struct SRI;

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
