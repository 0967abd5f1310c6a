// Link of the phase option between FS FPGAs: the mode field of register 12 and the link
// words of registers 14 (send) and 13 (receive). Main loop.
#pragma once

#include <cstdint>

int FS_FPGA_phsLink_setModeInit();
int FS_FPGA_phsLink_setModeMaster();
int FS_FPGA_phsLink_setModeSlave();
// A failed read answers 0.
int FS_FPGA_phsLink_isModeInit();
int FS_FPGA_phsLink_isModeMaster();
int FS_FPGA_phsLink_isModeSlave();

// Link word: count (1-3) in bits 31-30, values in bits 26-18, 17-9, 8-0 (first value at the
// top); a value of 256 or more is a command.
uint32_t FS_FPGA_phsLink_packWord(const uint32_t *values, int count);
int FS_FPGA_phsLink_unpackWord(uint32_t word, uint32_t *values);
int FS_FPGA_phsLink_sendWord(const uint32_t *values, int count);
int FS_FPGA_phsLink_receiveWord(uint32_t *values, int *count);
int FS_FPGA_phsLink_sendCommand(uint32_t command);
