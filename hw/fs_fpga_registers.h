// FS FPGA: command bytes of its stream and its registers. Shared by the link and by the
// simulated FPGA.
#pragma once

#include <cstdint>

// ---------------------------------------------------------------------------------------
// Command bytes

constexpr uint8_t FS_CMD_LONG_BUFFERED = 0xD0;        // | data length 0-15
constexpr uint8_t FS_CMD_LONG_IMMEDIATE = 0xF0;       // | data length 0-15
constexpr uint8_t FS_CMD_SPI_BUFFERED = 0x80;         // | bus
constexpr uint8_t FS_CMD_SPI_IMMEDIATE = 0xA0;        // | bus
constexpr uint8_t FS_CMD_SPI_CHUNK_BUFFERED = 0x90;   // | (k - 1), then k bytes
constexpr uint8_t FS_CMD_SPI_CHUNK_IMMEDIATE = 0xB0;  // | (k - 1), then k bytes
constexpr uint8_t FS_CMD_SPI_END_BUFFERED = 0x84;
constexpr uint8_t FS_CMD_SPI_END_IMMEDIATE = 0xA4;
constexpr uint32_t FS_SPI_CHUNK_MAX = 16;
constexpr uint32_t FS_SPI_READ_CHUNK_MAX = 4;

// SPI flag byte.
constexpr uint8_t FS_SPI_FLAG_HOLD = 0x01;     // keep the transfer open; also: capture MISO
constexpr uint8_t FS_SPI_FLAG_WRITE = 0x02;    // write only
constexpr int FS_SPI_FLAG_CLOCK_SHIFT = 2;     // bits 2-4: clock code
constexpr uint8_t FS_SPI_FLAG_OPTION1 = 0x20;  // address word bit 17
constexpr uint8_t FS_SPI_FLAG_OPTION0 = 0x40;  // address word bit 15
constexpr uint8_t FS_SPI_FLAG_OPTION3 = 0x80;  // address word bit 16
constexpr uint8_t FS_SPI_FLAG_SELECT = 0x16;   // chip select: write flag, clock code 5

// Short commands (buffered path).
constexpr uint8_t FS_SHORT_AWAIT_ADC_VALID = 192;
constexpr uint8_t FS_SHORT_SET_IOUPDATE = 195;
constexpr uint8_t FS_SHORT_AWAIT_SPI_IDLE = 196;
constexpr uint8_t FS_SHORT_AWAIT_SPI_IDLE_FLAG = 197;
constexpr uint8_t FS_SHORT_IOUPDATE_ALL = 199;
constexpr uint8_t FS_SHORT_IOUPDATE_CH0 = 200;
constexpr uint8_t FS_SHORT_IOUPDATE_CHX = 201;
constexpr uint8_t FS_SHORT_AWAIT_TRIGGER = 202;
constexpr uint8_t FS_SHORT_AWAIT_SWEEP_POINT = 203;
constexpr uint8_t FS_SHORT_AWAIT_TRIGGER_NCI = 204;
constexpr uint8_t FS_SHORT_NOP = 206;

// Long command operations.
constexpr uint8_t FS_OP_WRITE_REGISTER = 0;
constexpr uint8_t FS_OP_READ_REGISTER = 1;  // immediate only
constexpr uint8_t FS_OP_SET_BITS = 2;
constexpr uint8_t FS_OP_CLEAR_BITS = 3;
constexpr uint8_t FS_OP_DELAY = 4;           // 4-byte count of 5 ns ticks
constexpr uint8_t FS_OP_STREAM = 5;          // argument below
constexpr uint8_t FS_OP_SELECT_CHANNEL = 6;  // argument: channel of the following stream
constexpr uint8_t FS_OP_RAM_ADDRESS = 7;     // immediate
constexpr uint8_t FS_OP_RAM_WRITE = 8;       // immediate, at most 15 bytes
constexpr uint8_t FS_OP_OUTPUT_VALID = 9;    // argument: marker code

constexpr uint8_t FS_STREAM_JUMP_LABEL = 0;
constexpr uint8_t FS_STREAM_JUMP = 1;
constexpr uint8_t FS_STREAM_BUFFERED_MODE = 2;
constexpr uint8_t FS_STREAM_DIRECT_MODE = 3;
constexpr uint8_t FS_STREAM_NEXT_BLOCK = 4;
constexpr uint8_t FS_STREAM_IMM_SPI_BEGIN = 16;
constexpr uint8_t FS_STREAM_IMM_SPI_END = 17;

constexpr uint8_t FS_OUTPUT_VALID_CODE_MAX = 125;  // settling of 1e-5 s and longer
constexpr uint8_t FS_OUTPUT_INVALID_CODE = 128;

// Timer clock of the FS variant.
constexpr double FS_TIMER_HZ = 200e6;

// ---------------------------------------------------------------------------------------
// Registers

constexpr uint8_t FS_REG_RESET = 0;     // writing bit 0 resets the command streams
constexpr uint8_t FS_REG_XADC = 3;      // bits 15-4: 12-bit XADC temperature reading
constexpr uint8_t FS_REG_SPI_READ = 4;  // bytes received by the last read chunk
constexpr uint8_t FS_REG_STATUS = 5;
constexpr uint8_t FS_REG_CONTROL = 6;
constexpr uint8_t FS_REG_TRIGGER = 7;
constexpr uint8_t FS_REG_TRIGGER_DELAY = 8;
constexpr uint8_t FS_REG_PHS_MODE = 12;
constexpr uint8_t FS_REG_PHS_LINK_RX = 13;
constexpr uint8_t FS_REG_PHS_LINK_TX = 14;

constexpr uint8_t fs_regSweepTimer(uint32_t c) {  // 8 bytes: tOn, tOff counts
    return (uint8_t)(16 * (c + 1));
}
constexpr uint8_t fs_regSweepControl(uint32_t c) {
    return (uint8_t)(16 * c + 18);
}
constexpr uint8_t fs_regChannelMode(uint32_t c) {
    return (uint8_t)(16 * c + 24);
}
constexpr uint8_t fs_regModulation(uint32_t c) {  // 64 bits
    return (uint8_t)(16 * c + 25);
}
// The registers of channel c that its buffered stream may address.
constexpr uint32_t fs_bufferedRegFirst(uint32_t c) {
    return 16 * (c + 1);
}
constexpr uint32_t fs_bufferedRegLast(uint32_t c) {
    return 16 * (c + 1) + 15;
}

// Status register bits.
constexpr int FS_STATUS_SPR_HIGH = 31, FS_STATUS_SPR_LOW = 29;
constexpr int FS_STATUS_TRGI = 22, FS_STATUS_PULI = 21, FS_STATUS_RLD1 = 20, FS_STATUS_RLD0 = 19;

// Control register bits.
constexpr int fs_controlCbufBit(uint32_t c) {
    return 24 + (int)c;
}
constexpr int FS_CONTROL_ARM_HIGH = 2, FS_CONTROL_ARM_LOW = 1;
// The modulation ADC: polarity (1 inverted), mode (FS_ADC_MODE_*) and the limits
// (min(upper, 16383) / 256 x 64 + lower / 256).
constexpr int FS_CONTROL_ADC_POLARITY = 0;
constexpr int FS_CONTROL_ADC_MODE_HIGH = 4, FS_CONTROL_ADC_MODE_LOW = 3;
constexpr int FS_CONTROL_ADC_LIMITS_HIGH = 19, FS_CONTROL_ADC_LIMITS_LOW = 8;
constexpr uint32_t FS_ADC_MODE_NORMAL = 0, FS_ADC_MODE_BINARY = 1, FS_ADC_MODE_DC = 2;

// Modulation register of a channel (64 bits): bits 1-0 on (3), 3-2 gain, 5-4 kind, 31-6
// factor, 63-32 the NCO word the ADC's zero maps to (bits 47-16 of the 48-bit word).
constexpr int FS_MOD_ENABLE_LOW = 0, FS_MOD_GAIN_LOW = 2, FS_MOD_KIND_LOW = 4;
constexpr int FS_MOD_FACTOR_LOW = 6, FS_MOD_FACTOR_BITS = 26, FS_MOD_OFFSET_LOW = 32;
constexpr uint32_t FS_MOD_KIND_FREQUENCY = 0, FS_MOD_KIND_PHASE = 1;

// Sample periods of a modulation table: an NCO hop from the buffered stream (word and load)
// takes the SPI master this long, an AM DAC word this long, and the modulation ADC delivers a
// word at this period.
constexpr double FS_MOD_HOP_SAMPLE_S = 1.81e-6;
constexpr double FS_MOD_AM_SAMPLE_S = 0.665e-6;
constexpr double FS_MOD_ADC_SAMPLE_S = 3.91e-6;

// Trigger register bits.
constexpr int FS_TRIGGER_SOURCE_HIGH = 31, FS_TRIGGER_SOURCE_LOW = 29;  // 0 immediate
constexpr int FS_TRIGGER_INIT_IMMEDIATE = 25;
constexpr int FS_TRIGGER_INIT_CONTINUOUS = 24;
constexpr int FS_TRIGGER_NOW = 20;

// Sweep control register bits.
constexpr int FS_SWEEP_COUNT_HIGH = 15, FS_SWEEP_COUNT_LOW = 0;
constexpr int FS_SWEEP_LAST_POINT = 23;
constexpr int FS_SWEEP_TRANSIENT_AT_PULSE = 25;
constexpr int FS_SWEEP_BLANK_INVALID_HIGH = 27, FS_SWEEP_BLANK_INVALID_LOW = 26;
constexpr int FS_SWEEP_EARLY_TRANSIENT = 28;
constexpr int FS_SWEEP_TIMER_STATE = 29;
constexpr int FS_SWEEP_AWAIT_TRIGGER = 30;
constexpr int FS_SWEEP_WAITING_RF = 31;

// Channel mode register bits.
constexpr int FS_MODE_FCP = 0;
constexpr int FS_MODE_BLOCK = 1;

// Phase link.
constexpr int FS_PHS_MODE_HIGH = 31, FS_PHS_MODE_LOW = 30;
constexpr uint32_t FS_PHS_MODE_INIT = 0, FS_PHS_MODE_MASTER = 1, FS_PHS_MODE_SLAVE = 2;

// Pulse modulator of channel c: the single-pulse generator's times (8 bytes: on, off counts of
// the 200 MHz clock) and its control register.
constexpr uint8_t fs_regPulmTimes(uint32_t c) {
    return (uint8_t)(16 * (c + 1) + 3);
}
constexpr uint8_t fs_regPulmControl(uint32_t c) {
    return (uint8_t)(16 * (c + 1) + 5);
}
constexpr int FS_PULM_ENABLE = 31;      // the modulator gates the RF
constexpr int FS_PULM_TIMES_LOAD = 30;  // take the times register
constexpr int FS_PULM_SOURCE_HIGH = 29, FS_PULM_SOURCE_LOW = 28;
constexpr uint32_t FS_PULM_SOURCE_INTERNAL = 0, FS_PULM_SOURCE_EXTERNAL = 1,
                   FS_PULM_SOURCE_BITSTREAM = 2;
constexpr int FS_PULM_INVERTED = 27;   // the pulse (or the train) with inverted polarity
constexpr int FS_PULM_FORCE_OFF = 26;  // the output held off whatever the pulse source says
constexpr int FS_PULM_TRAIN = 25;      // the sweep timer's dwell/delay entries are the pulses

// Bit pattern (shared by the channels): the bit count, the 200 MHz ticks per bit, and the
// pattern itself at RAM address 0, first bit in bit 7 of byte 0.
constexpr uint8_t FS_REG_PULM_BITS = 10;       // bits 11..0: bits played
constexpr uint8_t FS_REG_PULM_BIT_TICKS = 11;  // 4 bytes
constexpr int FS_PULM_BITS_HIGH = 11, FS_PULM_BITS_LOW = 0;
constexpr uint32_t FS_RAM_PULM_PATTERN = 0;
constexpr uint32_t FS_PULM_PATTERN_BYTES = 512;

// Function output connector: what the FPGA drives it with.
constexpr uint8_t FS_REG_FUNCOUT = 9;
constexpr int FS_FUNCOUT_SOURCE_HIGH = 1, FS_FUNCOUT_SOURCE_LOW = 0;
constexpr uint32_t FS_FUNCOUT_OFF_LOW = 0, FS_FUNCOUT_PULM = 1, FS_FUNCOUT_TRIGGER = 2,
                   FS_FUNCOUT_OFF_HIGH = 3;

// ---------------------------------------------------------------------------------------
// Fast channel programming

// RAMs reached by the RAM commands: the command's argument names the RAM. The pattern RAM
// is shared; each channel has a frequency and an amplitude look-up table.
constexpr uint8_t FS_RAM_INDEX_PATTERN = 0;
constexpr uint8_t fs_ramFrequencyLut(uint32_t c) {
    return (uint8_t)(c + 8);
}
constexpr uint8_t fs_ramAmplitudeLut(uint32_t c) {
    return (uint8_t)(c + 16);
}
constexpr uint32_t FS_RAM_INDEX_COUNT = 24;

// Channel mode register fields besides FS_MODE_FCP and FS_MODE_BLOCK: how an input word
// selects a block, and where the modulation samples come from.
constexpr int FS_MODE_OPERATION_HIGH = 3, FS_MODE_OPERATION_LOW = 2;
constexpr uint32_t FS_FCP_OPERATION_FW = 0, FS_FCP_OPERATION_AW = 1, FS_FCP_OPERATION_FW_AW = 2,
                   FS_FCP_OPERATION_LIST = 3;
constexpr int FS_MODE_MOD_SOURCE_HIGH = 5, FS_MODE_MOD_SOURCE_LOW = 4;
constexpr uint32_t FS_MOD_SOURCE_ADC = 0;

// Block memory: the buffered stream of a channel in block mode fills block after block
// (FS_STREAM_NEXT_BLOCK ends one); block b starts at address b * FS_FCP_BLOCK_BYTES. The
// address range register bounds what a word may play: a table's block b only when
// b * FS_FCP_BLOCK_BYTES lies below it, a list word w only when w * FS_FCP_BLOCK_BYTES does;
// other words are ignored.
constexpr uint32_t FS_FCP_BLOCK_BYTES = 1024;
constexpr uint8_t fs_regFcpAddressRange(uint32_t c) {  // 4 bytes
    return (uint8_t)(16 * c + 26);
}
// Blocks 0 and 1 stay empty: the lower guard entries of the frequency and amplitude tables
// lead there. The points of a word mode start at block 2; with frequency and amplitude words
// together the FPGA plays amplitude block + frequency block - FS_FCP_FIRST_POINT_BLOCK.
// In LIST operation list word w plays block w + 1 (block 0 is left empty).
constexpr uint32_t FS_FCP_FIRST_POINT_BLOCK = 2;

// Look-up table entries, little-endian, ascending; a word plays the block of the last entry
// at or below it.
// Frequency entry (8 bytes): bits 39..0 frequency in Hz, bits 63..40 block number.
constexpr uint32_t FS_FCP_FREQUENCY_ENTRY_BYTES = 8;
constexpr uint32_t FS_FCP_FREQUENCY_ENTRIES = 4096;
constexpr int FS_FCP_FREQUENCY_ENTRY_HZ_BITS = 40;
// Amplitude entry (5 bytes): bytes 0-1 power in 1/128 dB (int16), bytes 2-4 block number.
constexpr uint32_t FS_FCP_AMPLITUDE_ENTRY_BYTES = 5;
constexpr uint32_t FS_FCP_AMPLITUDE_ENTRIES = 256;
constexpr uint32_t FS_FCP_BLOCK_NUMBER_MAX = 0xFFFFFF;

// Word interface (shared by the channels): word width, and the test output that drives the
// interface for the loop-back diagnostics. A frequency word is the frequency in MHz, an
// amplitude word the power in 1/128 dB (int16), a list word the point index.
constexpr uint8_t FS_REG_FCP_CONFIG = 15;
constexpr int FS_FCP_CONFIG_8BIT = 0;  // set: 8-bit words as four nibbles
constexpr uint8_t FS_REG_FCP_TEST_OUTPUT = 1;
// Test output value: bit 0 strobe, 8-bit mode sub-address in bits 4..1 and nibble in bits
// 8..5, 16-bit mode sub-address in bits 8..1 and byte in bits 16..9.
constexpr uint32_t FS_FCP_TEST_STROBE = 1;
constexpr int FS_FCP_TEST_SUBADDRESS_SHIFT = 1;
constexpr int FS_FCP_TEST_NIBBLE_SHIFT = 5;
constexpr int FS_FCP_TEST_BYTE_SHIFT = 9;
// Sub-addresses of the first nibble (8-bit) of the time, frequency and amplitude words; in
// 16-bit mode each byte takes half the nibbles' sub-address.
constexpr uint32_t FS_FCP_SUBADDRESS_TW = 0, FS_FCP_SUBADDRESS_FW = 4, FS_FCP_SUBADDRESS_AW = 12;

constexpr uint64_t fs_fcpFrequencyEntry(uint64_t hz, uint32_t block) {
    return (hz & ((1ull << FS_FCP_FREQUENCY_ENTRY_HZ_BITS) - 1)) |
           (uint64_t)(block & FS_FCP_BLOCK_NUMBER_MAX) << FS_FCP_FREQUENCY_ENTRY_HZ_BITS;
}
constexpr uint64_t fs_fcpFrequencyEntryHz(uint64_t entry) {
    return entry & ((1ull << FS_FCP_FREQUENCY_ENTRY_HZ_BITS) - 1);
}
constexpr uint32_t fs_fcpFrequencyEntryBlock(uint64_t entry) {
    return (uint32_t)(entry >> FS_FCP_FREQUENCY_ENTRY_HZ_BITS);
}
// The 5 bytes of an amplitude entry in the low bytes.
constexpr uint64_t fs_fcpAmplitudeEntry(int16_t power128, uint32_t block) {
    return (uint64_t)(uint16_t)power128 | (uint64_t)(block & FS_FCP_BLOCK_NUMBER_MAX) << 16;
}
constexpr int16_t fs_fcpAmplitudeEntryPower(uint64_t entry) {
    return (int16_t)(uint16_t)(entry & 0xFFFF);
}
constexpr uint32_t fs_fcpAmplitudeEntryBlock(uint64_t entry) {
    return (uint32_t)(entry >> 16) & FS_FCP_BLOCK_NUMBER_MAX;
}
