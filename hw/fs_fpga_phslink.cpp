// Phase-option link of the FS FPGA.
#include "hw/fs_fpga_phslink.h"

#include "core/printd.h"
#include "hw/fs_fpga.h"
#include "hw/fs_fpga_registers.h"

namespace {

int setMode(uint32_t mode) {
    return FS_FPGA_writeRegisterBitfield(FS_FPGA_PATH_IMMEDIATE, FS_REG_PHS_MODE, FS_PHS_MODE_HIGH,
                                         FS_PHS_MODE_LOW, mode);
}

int isMode(uint32_t mode) {
    uint32_t v = 0;
    if (FS_FPGA_readRegister(0, FS_REG_PHS_MODE, 4, &v) != 0) return 0;
    return (v >> FS_PHS_MODE_LOW) == mode ? 1 : 0;
}

}  // namespace

int FS_FPGA_phsLink_setModeInit() {
    printd("FS_FPGA_phsLink_setModeInit()\n");
    return setMode(FS_PHS_MODE_INIT);
}

int FS_FPGA_phsLink_setModeMaster() {
    printd("FS_FPGA_phsLink_setModeMaster()\n");
    return setMode(FS_PHS_MODE_MASTER);
}

int FS_FPGA_phsLink_setModeSlave() {
    printd("FS_FPGA_phsLink_setModeSlave()\n");
    return setMode(FS_PHS_MODE_SLAVE);
}

int FS_FPGA_phsLink_isModeInit() {
    return isMode(FS_PHS_MODE_INIT);
}

int FS_FPGA_phsLink_isModeMaster() {
    return isMode(FS_PHS_MODE_MASTER);
}

int FS_FPGA_phsLink_isModeSlave() {
    return isMode(FS_PHS_MODE_SLAVE);
}

uint32_t FS_FPGA_phsLink_packWord(const uint32_t *values, int count) {
    if (count < 1) count = 1;
    if (count > 3) count = 3;
    uint32_t w = (uint32_t)count << 30;
    for (int i = 0; i < count; i++)
        w |= (values[i] & 0x1FF) << (18 - 9 * i);
    return w;
}

int FS_FPGA_phsLink_unpackWord(uint32_t word, uint32_t *values) {
    int count = (int)(word >> 30);
    for (int i = 0; i < count; i++)
        values[i] = (word >> (18 - 9 * i)) & 0x1FF;
    return count;
}

int FS_FPGA_phsLink_sendWord(const uint32_t *values, int count) {
    uint32_t w = FS_FPGA_phsLink_packWord(values, count);
    return FS_FPGA_writeRegister(FS_FPGA_PATH_IMMEDIATE, FS_REG_PHS_LINK_TX, 4, &w);
}

int FS_FPGA_phsLink_receiveWord(uint32_t *values, int *count) {
    uint32_t w = 0;
    int r = FS_FPGA_readRegister(0, FS_REG_PHS_LINK_RX, 4, &w);
    *count = r == 0 ? FS_FPGA_phsLink_unpackWord(w, values) : 0;
    return r;
}

int FS_FPGA_phsLink_sendCommand(uint32_t command) {
    uint32_t w = 0x44000000u | (command << 18);
    return FS_FPGA_writeRegister(FS_FPGA_PATH_IMMEDIATE, FS_REG_PHS_LINK_TX, 4, &w);
}
