// FS FPGA command link: the byte command stream of the FS variant over two paths of the
// driver kr_generic_io. The immediate path hands a short command string to the driver at
// once (under the immediate-path mutex; register reads use it). The buffered path appends
// commands to a double buffer that a transmit thread hands to the driver, so that the sweep
// task can queue a whole point without waiting for the link.
//
// Every primitive returns -200 while the FS-active flag is clear (standard variant or before
// FS_FPGA_init), so callers may call them unconditionally.
#pragma once

#include <pthread.h>

#include <atomic>
#include <cstdint>

#include "hw/double_buffer.h"

constexpr int FS_FPGA_PATH_BUFFERED = 0;
constexpr int FS_FPGA_PATH_IMMEDIATE = 1;
constexpr int FS_FPGA_CHANNELS = 4;
constexpr uint32_t FS_FPGA_TX_BUFFER_SIZE = 16384;
constexpr uint32_t FS_FPGA_ERROR_RATE_LIMIT = 4999;  // above it a read failure shuts down

// Throttle flags of a channel.
constexpr uint32_t FS_THROTTLE_SWEEP = 1;    // the sweep handler owns the buffered stream
constexpr uint32_t FS_THROTTLE_TRIGGER = 2;  // an await-trigger command is outstanding

struct FsFpgaChannel {
    std::atomic<uint8_t> jumpPending;
    std::atomic<uint32_t> throttle;
    std::atomic<uint8_t> bufferedMode;
};

// FS state block. Flags are read without locking by other threads (supervision).
struct FsFpgaState {
    std::atomic<uint8_t> active;
    std::atomic<uint32_t> channel;           // current channel 0-3
    std::atomic<uint32_t> perChannelUpdate;  // 1: I/O update per channel
    FsFpgaChannel ch[FS_FPGA_CHANNELS];
};
extern FsFpgaState FS_FPGA_state;

// The link record.
struct FsFpgaLink {
    pthread_t txThread;
    std::atomic<int> txRunning;
    DoubleBuffer db;
    alignas(8) uint8_t txBuffer[2][FS_FPGA_TX_BUFFER_SIZE];
    std::atomic<uint8_t> linkUp;
    pthread_mutex_t immMutex;  // immediate-path sends and register reads
    pthread_mutex_t txMutex;   // transmit thread, flush, flip
    pthread_mutex_t channelMutex;
    std::atomic<uint32_t> errorRate;
    std::atomic<uint8_t> chipSelected;
    std::atomic<uint32_t> selectedWord;
    std::atomic<uint8_t> forceFastImmPath;
};

// The operation table the primitives go through, filled by FS_KRCONT_registerFsFpgaFunctions.
struct FsFpgaOps {
    int (*sendRaw)(int path, uint32_t length, const void *bytes);
    int (*longCommand)(int path, uint32_t operation, uint32_t argument, uint32_t length,
                       const void *data);
    int (*modifyRam)(uint32_t ram, uint32_t address, uint32_t length, const void *data);
    int (*readRegister)(uint32_t condition, uint32_t reg, uint32_t length, void *buffer);
    int (*getChannel)();
    int (*selectChannel)(int channel);
    int (*lockChannelForThread)(int channel);
    int (*unlockChannelForThread)(int channel);
    // SPI write that keeps the transfer open (hold) / that ends it.
    int (*spiCommandOpen)(int path, uint32_t word, uint32_t length, const void *data);
    int (*spiCommandClosed)(int path, uint32_t word, uint32_t length, const void *data);
    void (*printInfo)();
};
extern FsFpgaOps FS_FPGA_ops;

struct SRI;
struct W25Q;

// Start-up (device init, main thread), once; a second call does nothing.
int FS_FPGA_init();
// The controller board's shift register and serial flash, initialised by FS_FPGA_init.
SRI *FS_FPGA_getControlShiftRegister();
W25Q *FS_FPGA_getFlash();
// Stops the transmit thread and clears the link (device reset, tests).
void FS_FPGA_free();
void FS_KRCONT_registerFsFpgaFunctions();

// Primitives: any thread. The buffered path is written by the holder of the SPI lock or of
// the channel lock.
int FS_FPGA_sendRaw(int path, uint32_t length, const void *bytes);
int FS_FPGA_longCommand(int path, uint32_t operation, uint32_t argument, uint32_t length,
                        const void *data);
int FS_FPGA_short_command(uint8_t code);
int FS_FPGA_writeRegister(int path, uint32_t reg, uint32_t length, const void *data);
int FS_FPGA_setRegisterBits(int path, uint32_t reg, uint32_t mask);
int FS_FPGA_clearRegisterBits(int path, uint32_t reg, uint32_t mask);
int FS_FPGA_writeRegisterBitfield(int path, uint32_t reg, int highBit, int lowBit, uint32_t value);
// Immediate read; the result is -365 when the reply fails or the link is down.
int FS_FPGA_readRegister(uint32_t condition, uint32_t reg, uint32_t length, void *buffer);
// RAM ram (FS_RAM_INDEX_PATTERN, fs_ramFrequencyLut, fs_ramAmplitudeLut) from address.
int FS_FPGA_modifyRam(uint32_t ram, uint32_t address, uint32_t length, const void *data);

// SPI through the FPGA. Data and read buffers follow the byte order of the SPI transport:
// the last byte is the first on the wire.
int FS_FPGA_SPI_send(int path, uint32_t word, uint32_t length, const void *data);
int FS_FPGA_longSpiWrite(int path, uint32_t word, uint32_t length, const void *data, int hold);
int FS_FPGA_SPI_selectChip(int path, uint32_t word);
int FS_FPGA_SPI_deselectChip(int path);
// tx: length transmit bytes (the last goes first) or nullptr for zeros.
int FS_FPGA_longSpiRead(int path, uint32_t word, uint32_t length, const void *tx, void *buffer);
int FS_FPGA_longSpiRead_atomicImm(uint32_t word, uint32_t length, const void *tx, void *buffer);

// Double buffer hand-over.
int FS_FPGA_flush();
int FS_FPGA_flip();
int FS_FPGA_setFlushModeNever();
int FS_FPGA_setFlushModeAlways();

// Channels. The channel lock gives the calling thread the channel's buffered stream; it nests.
int FS_FPGA_selectChannel(int channel);
int FS_FPGA_getChannel();
int FS_FPGA_lockChannelForThread(int channel);
int FS_FPGA_unlockChannelForThread(int channel);

int FS_FPGA_enableForceFastImmPath();
int FS_FPGA_disableForceFastImmPath();

int FS_FPGA_sendImm(const void *bytes, uint32_t length, int replyExpected);
int FS_FPGA_restartRx();
int FS_FPGA_isLinkUp();
uint32_t FS_FPGA_getErrorRate();
void FS_FPGA_printInfo();

// Logging of the FS commands (diagnostics switch of the device).
int FS_FPGA_isLogEnabled();
int FS_FPGA_enableLog();
int FS_FPGA_disableLog();
