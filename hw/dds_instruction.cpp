// 16-bit-instruction register writes.
#include "hw/dds_instruction.h"

#include "hw/krspi.h"
#include "scpi/scpi_errorcodes.h"

int ddsInstruction_write(uint32_t slave, uint16_t address, uint64_t value, uint32_t bytes,
                         uint16_t instructionBits) {
    if (bytes == 0 || bytes > 8) return KR_E_EXECUTION_ERROR;
    uint8_t data[10];
    for (uint32_t i = 0; i < bytes; i++)
        data[i] = (uint8_t)(value >> (8 * i));
    uint16_t instruction = (uint16_t)(address | instructionBits);
    data[bytes] = (uint8_t)instruction;
    data[bytes + 1] = (uint8_t)(instruction >> 8);  // first on the wire
    return krspiSend(slave, bytes + 2, KRSPI_OPT_NONE, data);
}
