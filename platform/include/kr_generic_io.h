// Public interface of the real-time driver kr_generic_io (and of the pulse-modulator driver
// krssc_pulm, which shares its request space): request codes, argument records, the I/O
// block record and the I/O program opcodes it plays.
//
// Requests are issued with rt_dev_ioctl(fd, code, arg). The argument column says what arg
// is: "none", a value passed by value (the driver reads its low 32 bits), or a pointer to
// the named record (or to one u32).
#pragma once

#include <cstdint>

// Device names for rt_dev_open.
constexpr const char *KR_GENERIC_IO_DEVICE = "kr_generic_io";
constexpr const char *KRSSC_PULM_DEVICE = "krssc_pulm";

// Byte order of SPI transfers (0xE00A, 0xE00B, 0xE018, I/O block records): the first byte
// on the wire is the LAST byte of the data, so a register word stored as a little-endian
// integer goes out most significant byte first (the FS FPGA sends its chunks the same way).
// Reads are full duplex over length bytes: the command word goes out first, most
// significant byte first, for min(4, length) bytes, then zeros; the bytes clocked in are
// stored last-first, so the buffer read as a little-endian integer is the word that came in.

// The byte a read sends at wire position index (0 first).
constexpr uint8_t kr_gio_readTxByte(uint32_t command, uint32_t index) {
    return index < 4 ? (uint8_t)(command >> (24 - 8 * index)) : 0;
}

// ---------------------------------------------------------------------------------------
// Argument records

// 0xE00A unbuffered write (command 0), 0xE00B / 0xE018 reads (address is word & 0x1FF),
// 0xE00D module 0 read {0, length, 0, 0, buffer}.
struct KrGioTransfer {
    uint32_t address;
    uint32_t length;
    uint32_t options;
    uint32_t command;
    void *data;  // write: source bytes; read: the driver fills length bytes
};

// 0xE033 send I/O block, 0xE034 asynchronous write (a one-record block), 0xE054 FS
// transmit buffer, 0xE002 real-time print {text, length}.
struct KrGioBuffer {
    const void *data;
    uint32_t length;
};

// 0xE02C SPI timer start: {w0, w1, w2, 0, 0, w3, w4, w5, 78}.
struct KrGioSpiTimerStart {
    uint32_t word[9];
};

// 0xE02E SPI timer memory allocate: {size, 0, 0, 0}; 0xE030 memory write: the four
// arguments in order.
struct KrGioSpiTimerMem {
    uint32_t word[4];
};

// 0xE06C / 0xE06D point timing: t1 = point time, t2 = dwell, in 132.096 MHz counts.
struct KrGioPointTiming {
    uint64_t t1;
    uint64_t t2;
    uint8_t zero[16];
};

// 0xE0A5 trigger delay in 132.096 MHz counts.
struct KrGioTriggerDelay {
    uint64_t count;
    uint8_t zero[24];
};

// 0xE058 FS immediate send.
struct KrGioFsSend {
    const void *data;
    uint32_t length;
    uint32_t replyExpected;
};

// 0xE053 FS register-read reply, filled by the driver; the caller copies out as many
// bytes of data as it asked for.
constexpr int KR_GIO_FS_REPLY_BYTES = 16;
struct KrGioFsReply {
    uint32_t length;  // bytes the FPGA returned
    uint8_t data[KR_GIO_FS_REPLY_BYTES];
};

// 0xE08A pulse modulator internal configuration.
struct KrGioPulmInternal {
    uint32_t zeroes;
    uint32_t ones;
    uint32_t divider;
};

// 0xE08B pulse modulator bit pattern.
constexpr int KR_GIO_PULM_PATTERN_BYTES = 512;
struct KrGioPulmBitstream {
    uint32_t startBit;
    uint32_t bitCount;
    uint32_t ticks;
    uint32_t divider;
    uint32_t msbFirst;
    const uint8_t *pattern;  // KR_GIO_PULM_PATTERN_BYTES bytes
};

// ---------------------------------------------------------------------------------------
// Request codes

// Generic and control board
constexpr int KRTPT_IOC_PULSE_AT_IOUPDATE = 0xE001;  // *u32: 1 on, 3 on inverted, 0 off
constexpr int KRGIO_IOC_PRINT = 0xE002;              // KrGioBuffer {text, length}

// SPI
constexpr int KRSPI_IOC_SELECT_CHIP = 0xE008;     // value: SPI address word
constexpr int KRSPI_IOC_DESELECT_CHIP = 0xE009;   // none
constexpr int KRSPI_IOC_WRITE = 0xE00A;           // KrGioTransfer
constexpr int KRSPI_IOC_READ = 0xE00B;            // KrGioTransfer
constexpr int KRSPI_IOC_MODULE0_READ = 0xE00D;    // KrGioTransfer
constexpr int KRGIO_IOC_READ_PIN_0 = 0xE013;      // *u32 filled by the driver
constexpr int KRGIO_IOC_READ_PIN_1 = 0xE015;      // *u32 filled by the driver
constexpr int KRGIO_IOC_READ_PIN_2 = 0xE016;      // *u32 filled by the driver
constexpr int KRGIO_IOC_READ_PIN_3 = 0xE017;      // *u32 filled by the driver
constexpr int KRSPI_IOC_READ_ASYNC = 0xE018;      // KrGioTransfer
constexpr int KRSPI_IOC_SET_DIVIDER = 0xE028;     // value: 1..255
constexpr int KRSPI_IOC_SET_CS_DELAY = 0xE029;    // value: 0..255
constexpr int KRSPI_IOC_TIMER_INIT = 0xE02A;      // none
constexpr int KRSPI_IOC_TIMER_RELEASE = 0xE02B;   // none
constexpr int KRSPI_IOC_TIMER_START = 0xE02C;     // KrGioSpiTimerStart
constexpr int KRSPI_IOC_TIMER_STOP = 0xE02D;      // none
constexpr int KRSPI_IOC_TIMER_ALLOCMEM = 0xE02E;  // KrGioSpiTimerMem
constexpr int KRSPI_IOC_TIMER_FREEMEM = 0xE02F;   // none
constexpr int KRSPI_IOC_TIMER_WRITEMEM = 0xE030;  // KrGioSpiTimerMem
constexpr int KRSPI_IOC_SEND_IOBLOCK = 0xE033;    // KrGioBuffer {block, used bytes}
constexpr int KRSPI_IOC_WRITE_ASYNC = 0xE034;     // KrGioBuffer {one-record block, size}

// Buffered stream start (chirp)
constexpr int KRGIO_IOC_SKIP_BUFSTREAM_WAIT = 0xE036;     // none
constexpr int KRGIO_IOC_LISTEN_BUFSTREAM_START = 0xE037;  // none
constexpr int KRGIO_IOC_WAIT_BUFSTREAM_START = 0xE038;    // none

// FS FPGA link
constexpr int KRFS_IOC_INIT = 0xE050;         // none
constexpr int KRFS_IOC_RESTART_RX = 0xE052;   // none
constexpr int KRFS_IOC_FETCH_REPLY = 0xE053;  // KrGioFsReply filled by the driver
constexpr int KRFS_IOC_TRANSMIT = 0xE054;     // KrGioBuffer
constexpr int KRFS_IOC_FLUSH_END = 0xE055;    // none
constexpr int KRFS_IOC_SEND_IMM = 0xE058;     // KrGioFsSend
// Result of KRFS_IOC_TRANSMIT when the FPGA link is down.
constexpr int KRFS_ERR_LINK_DOWN = -4;

// Sweep point timer and its stop sequence
constexpr int KRTPT_IOC_STOP_FINISH_B = 0xE056;        // value 0, last step after the join
constexpr int KRTPT_IOC_STOP_PREPARE_B = 0xE057;       // value 0, before the join
constexpr int KRTPT_IOC_TIMER_OFF = 0xE069;            // value 0
constexpr int KRTPT_IOC_SET_CONSTTIME = 0xE06C;        // KrGioPointTiming
constexpr int KRTPT_IOC_SET_VARTIME = 0xE06D;          // KrGioPointTiming
constexpr int KRTPT_IOC_TIMER_RELEASE = 0xE06E;        // none
constexpr int KRTPT_IOC_RESET = 0xE06F;                // value 0
constexpr int KRTPT_IOC_ENABLE_IOUPDATE_OUT = 0xE071;  // none
constexpr int KRTPT_IOC_STOP_FINISH_A = 0xE076;        // value 0, after the join
constexpr int KRTPT_IOC_STOP_PREPARE_A = 0xE077;       // value 0, before the join
constexpr int KRTPT_IOC_BLANKING = 0xE078;             // value: 0 blank between points, 1 RF on

// Chirp
constexpr int KRTPT_IOC_CHIRP_STOP = 0xE082;          // value 0
constexpr int KRTPT_IOC_CHIRP_BLANKING_OFF = 0xE083;  // value 0

// Pulse modulator
constexpr int KRPULM_IOC_INTMOD_OFF = 0xE084;     // value 0: internal modulation routing off
constexpr int KRPULM_IOC_INTMOD_ON = 0xE085;      // value 0: modulation and output both on
constexpr int KRPULM_IOC_START = 0xE088;          // value 0
constexpr int KRPULM_IOC_STOP = 0xE089;           // value 0 (MUTE_CONF_DIS_TPT)
constexpr int KRPULM_IOC_SET_INTERNAL = 0xE08A;   // KrGioPulmInternal
constexpr int KRPULM_IOC_SET_BITSTREAM = 0xE08B;  // KrGioPulmBitstream

// Trigger
constexpr int KRTPT_IOC_SLOPE = 0xE0A4;        // *u32: first edge, 1 positive, 0 negative
constexpr int KRTPT_IOC_DELAY = 0xE0A5;        // KrGioTriggerDelay
constexpr int KRTPT_IOC_SOURCE = 0xE0A6;       // *u32: 0 immediate, 1 bus or key, 2 external
constexpr int KRTPT_IOC_INIT_CONT = 0xE0A7;    // *u32: 1 on, 0 off
constexpr int KRTPT_IOC_TYPE = 0xE0A8;         // *u32: 0 normal, 1 gate, 2 point
constexpr int KRTPT_IOC_EVENT_COUNT = 0xE0A9;  // *u32
constexpr int KRTPT_IOC_SLOPE_BOTH = 0xE0AA;   // *u32: 1 both edges
constexpr int KRTPT_IOC_TRIGOUTPUT = 0xE0AB;   // *u32: KRTPT_OUT_* value
constexpr int KRTPT_IOC_ABORT = 0xE0BE;        // none
constexpr int KRTPT_IOC_INITIATE = 0xE0BF;     // none
constexpr int KRTPT_IOC_TRIGGER = 0xE0C0;      // none

// Trigger output values (KRTPT_IOC_TRIGOUTPUT)
constexpr uint32_t KRTPT_OUT_OFF = 0;
constexpr uint32_t KRTPT_OUT_LOW = 1;
constexpr uint32_t KRTPT_OUT_HIGH = 2;
constexpr uint32_t KRTPT_OUT_TRIGGER = 4;
constexpr uint32_t KRTPT_OUT_POINT = 8;
constexpr uint32_t KRTPT_OUT_IOUPDATE = 16;
constexpr uint32_t KRTPT_OUT_GATE = 32;
constexpr uint32_t KRTPT_OUT_FLAG_INVERSE_POLARITY = 64;
constexpr uint32_t KRTPT_OUT_VALID = 256;

// ---------------------------------------------------------------------------------------
// I/O block: records packed back to back, each a header, its data and padding.

struct KrIoBlockRecordHeader {
    uint32_t address;  // slave address 0..255 or an opcode 256..511
    uint32_t length;   // data bytes
    uint32_t options;  // transfer options, or the opcode's parameter
};

// Size of one record with length data bytes: (length + 15) rounded down to a multiple of 4.
constexpr uint32_t kr_ioblock_recordSize(uint32_t length) {
    return (length + 15u) & ~3u;
}

// I/O program opcodes, carried in the address field of a record.
constexpr uint32_t KR_IO_ADDR_END = 256;
constexpr uint32_t KR_IO_ADDR_IOUPD = 257;
constexpr uint32_t KR_IO_ADDR_IOUPD_TRIG = 258;
constexpr uint32_t KR_IO_ADDR_DELAY_US = 259;
constexpr uint32_t KR_IO_ADDR_SYNC = 262;
constexpr uint32_t KR_IO_ADDR_WAIT_TRAN = 263;
constexpr uint32_t KR_IO_ADDR_TRIG_TMR = 264;
constexpr uint32_t KR_IO_ADDR_EMPTY = 265;  // marker for no opcode; never sent
constexpr uint32_t KR_IO_ADDR_SET_TIMER = 266;
constexpr uint32_t KR_IO_ADDR_DEBUG = 267;
constexpr uint32_t KR_IO_ADDR_MUTE = 268;
constexpr uint32_t KR_IO_ADDR_IS_TRAN = 269;
constexpr uint32_t KR_IO_ADDR_AWAIT_TRIG_TMR = 270;
constexpr uint32_t KR_IO_ADDR_STOP_TIMER = 271;
constexpr uint32_t KR_IO_ADDR_SLEEP_US = 272;
constexpr uint32_t KR_IO_ADDR_SET_IOUPD = 273;
constexpr uint32_t KR_IO_ADDR_AWAIT_TRIG = 275;

// Parameters of KR_IO_ADDR_MUTE.
constexpr uint32_t MUTE_CONF_DIS_TPT = 16;  // RF on
constexpr uint32_t MUTE_CONF_EN_TPT = 32;   // blank
