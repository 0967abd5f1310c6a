// Register writes of the DDS and RF DAC parts addressed with a 16-bit instruction: the
// instruction, then the data bytes from the highest address down. Shared by the AD9912 and
// AD9164 drivers.
#pragma once

#include <cstdint>

// bytes data bytes of value (most significant at address) in one transfer; instructionBits
// are or-ed into the instruction (byte-count field of parts that have one).
int ddsInstruction_write(uint32_t slave, uint16_t address, uint64_t value, uint32_t bytes,
                         uint16_t instructionBits);
