// SPI transport to every chip of the instrument and carrier of the I/O program records.
//
// A transfer is routed by its SPI address word either to the real-time driver kr_generic_io,
// which clocks SPI itself and plays I/O program records, or to the SPI master of the FS FPGA.
// The standard variant collects writes into one I/O block (capture) so that all writes of a
// sweep point reach the driver in one request; the FS variant has its own buffered stream.
//
// Byte order of transfer data: the first byte on the wire is the LAST byte of the data
// buffer, so a chip register word stored as a little-endian integer goes out most
// significant byte first. Reads are full duplex over length bytes: the command word goes
// out first, most significant byte first, for min(4, length) bytes, then zeros; the bytes
// clocked in are stored last-first, so the buffer read as a little-endian integer is the
// word that came in.
//
// Locking: one SPI lock serialises the main loop, the supervision thread and the sweep
// task. A thread holds it across many transfers with krspiLockForThread; single transfers
// take it briefly and are refused (lock-failed flag) while another thread holds it that
// way. The asynchronous path has a lock of its own.
#pragma once

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------------------------------
// SPI address word

constexpr uint32_t KRSPI_TARGET_MASK = 0x1FF;  // slave address 0-255 or opcode 256-511
constexpr uint32_t KRSPI_SLAVE_MASK = 0xFF;
constexpr int KRSPI_BUS_SHIFT = 9;  // bits 9-10
constexpr uint32_t KRSPI_BUS_MASK = 3u << KRSPI_BUS_SHIFT;
constexpr int KRSPI_ROUTE_SHIFT = 11;  // bits 11-12, valid with KRSPI_ROUTE_VALID
constexpr uint32_t KRSPI_ROUTE_MASK = 3u << KRSPI_ROUTE_SHIFT;
constexpr uint32_t KRSPI_SLAVE_FLAG = 1u << 13;
constexpr uint32_t KRSPI_ROUTE_VALID = 1u << 14;
// FS variant: transfer option bits 0, 3 and 1 as the FPGA expects them.
constexpr uint32_t KRSPI_FS_OPTION0 = 1u << 15;
constexpr uint32_t KRSPI_FS_OPTION3 = 1u << 16;
constexpr uint32_t KRSPI_FS_OPTION1 = 1u << 17;
constexpr uint32_t KRSPI_FS_OPTION_MASK = KRSPI_FS_OPTION0 | KRSPI_FS_OPTION3 | KRSPI_FS_OPTION1;
constexpr int KRSPI_CLOCK_SHIFT = 18;  // bits 18-20: clock 100 MHz / 2^c
constexpr uint32_t KRSPI_CLOCK_MASK = 7u << KRSPI_CLOCK_SHIFT;

constexpr uint32_t KRSPI_ROUTE_DRIVER = 0;
constexpr uint32_t KRSPI_ROUTE_FS = 1;
constexpr uint32_t KRSPI_ROUTE_EXTFPGA = 2;

// Words used in the FS variant when a word does not route to the FS FPGA itself.
constexpr uint32_t KRSPI_FS_DEFAULT_WRITE = 0x144800;  // route 1, clock code 5 (3.125 MHz)
constexpr uint32_t KRSPI_FS_DEFAULT_READ = 0x4800;     // route 1, clock code 0

// Builds an address word; route < 0 leaves the route bits invalid (the default routing).
constexpr uint32_t krspi_makeWord(uint32_t slave, uint32_t bus, uint32_t clockCode, int route = -1,
                                  bool flag = false) {
    uint32_t w = (slave & KRSPI_TARGET_MASK) | ((bus & 3u) << KRSPI_BUS_SHIFT) |
                 ((clockCode & 7u) << KRSPI_CLOCK_SHIFT) | (flag ? KRSPI_SLAVE_FLAG : 0u);
    if (route >= 0) w |= KRSPI_ROUTE_VALID | (((uint32_t)route & 3u) << KRSPI_ROUTE_SHIFT);
    return w;
}
constexpr uint32_t krspi_getBus(uint32_t word) {
    return (word & KRSPI_BUS_MASK) >> KRSPI_BUS_SHIFT;
}
constexpr uint32_t krspi_getClockCode(uint32_t word) {
    return (word & KRSPI_CLOCK_MASK) >> KRSPI_CLOCK_SHIFT;
}
// The route of a word, or -1 when its route bits are not valid.
constexpr int krspi_getRoute(uint32_t word) {
    return (word & KRSPI_ROUTE_VALID) ? (int)((word & KRSPI_ROUTE_MASK) >> KRSPI_ROUTE_SHIFT) : -1;
}

// Transfer options used by the chip drivers (passed through to the driver unchanged).
constexpr uint32_t KRSPI_OPT_NONE = 0;
constexpr uint32_t KRSPI_OPT_CPHA = 1;  // sample on the second clock edge
constexpr uint32_t KRSPI_OPT_CPOL = 4;  // clock idles high

// ---------------------------------------------------------------------------------------
// Records

constexpr uint32_t KRSPI_IOBLOCK_SIZE = 16384;
constexpr uint32_t KRSPI_ASYNC_BLOCK_SIZE = 128;  // one record: at most 116 data bytes
constexpr uint32_t KRSPI_MAX_READ = 1024;         // longest read (FS transmit bytes built)
constexpr int KRSPI_SLAVES = 128;
constexpr int KRSPI_SLAVE_NAME_LEN = 32;

struct KrspiSlave {
    uint32_t address;  // bits 0-7 of the word; all ones: free
    uint8_t bus;
    uint8_t flag;
    char name[KRSPI_SLAVE_NAME_LEN];
};

// Owned by the listener (a chip driver); linked into the module's list.
struct KrspiInvalidationListener {
    KrspiInvalidationListener *next;
    void (*callback)(void *context);
    void *context;
};

typedef int (*KrspiRecvFunction)(uint32_t address, uint32_t command, uint32_t length,
                                 uint32_t options, void *buffer);
typedef int (*KrspiSendFunction)(uint32_t address, uint32_t length, uint32_t options,
                                 const void *data);

// Hook points for an external FPGA (route 2); installed by nobody in this build.
extern int (*KRSPI_EXTFPGA_spiWrite)(uint32_t word, uint32_t length, const void *data);
extern int (*KRSPI_EXTFPGA_spiRead)(uint32_t word, uint32_t length, void *buffer);
extern int (*KRSPI_EXTFPGA_spiSelectChip)(uint32_t word, int flag);
extern int (*KRSPI_EXTFPGA_spiDeselectChip)(uint32_t word);

// The driver handle (-1 when the device could not be opened); other modules issue their
// own driver requests on it.
extern int krspiFd;
int krspi_getFd();

// ---------------------------------------------------------------------------------------
// Open and close: start-up and process exit, on the initial thread.

int krspiOpen();
void krspiClose();
// 1 when the FS variant was found at open.
int krspi_isFs();

// ---------------------------------------------------------------------------------------
// Transfers: any thread; they take the SPI lock briefly (or pass as its owner).

int krspiSend(uint32_t word, uint32_t length, uint32_t options, const void *data);
int krspiRecv(uint32_t word, uint32_t command, uint32_t length, uint32_t options, void *buffer);
// Asynchronous path: own lock, never the SPI lock (temperature sensors, potentiometers).
int krspiSend_async(uint32_t word, uint32_t length, uint32_t options, const void *data);
int krspiRecv_async(uint32_t word, uint32_t command, uint32_t length, uint32_t options,
                    void *buffer);
// Holds one chip select across several transfers; in the FS variant the calling thread holds
// the SPI lock from select to deselect.
int krspiSelectChip(uint32_t word);
int krspiDeselectChip();

// A register word of bytes bytes (1-8), most significant byte first on the wire.
int krspi_sendWord(uint32_t word, uint32_t options, uint64_t value, uint32_t bytes);
// Reads bytes bytes (1-8) after the command word (see the byte order above) into *value.
int krspi_recvWord(uint32_t word, uint32_t command, uint32_t bytes, uint32_t options,
                   uint64_t *value);

// ---------------------------------------------------------------------------------------
// Locks

// Holds the SPI lock for the calling thread until the matching unlock (nesting counted).
int krspiLockForThread();
int krspiUnlockForThread();
// Bypass: transfers pass while the lock is held by another thread (set / clear).
int krspiPauseLockForThread();
int krspiResumeLockForThread();
// Global lock: set while the driver's SPI timer owns the bus (ALC sweep).
int krspiLock();
int krspiUnlock();
// Counting hold of the asynchronous path; may be released by another thread than the one
// that took it (sweep start takes it, the sweep task releases it).
int krspiLockAsync();
int krspiUnlockAsync();
// Returns the lock-failed flag and clears it.
int krspiMutexLockFailed();
// 1 when the calling thread could use SPI now (supervision thread asks first).
int krspiAccessibleByThread();

// ---------------------------------------------------------------------------------------
// Driver settings (main loop / start-up)

int krspiSetBitrateDivider(int divider);
int krspiSetChipSelectDelay(int delay);
uint32_t krspiReadPinState(int request);
int krspiModule0Recv(uint32_t length, void *buffer);
const char *krspi_getClockStr(uint32_t clockCode);

// ---------------------------------------------------------------------------------------
// Capture (standard variant): the holder of the SPI lock collects records into the I/O
// block; the FS variant ignores capture.

int krspi_startCapture();
int krspi_stopCapture();
int krspi_breakCapture();
int krspi_resumeCapture();
int krspi_isCaptureActive();
// Appends one record (or sends it). 1, or -1 when the SPI lock is held by another thread
// (the record is then dropped and the lock-failed flag set).
int krspi_doCapture(uint32_t address, uint32_t length, uint32_t options, const void *data);
int krspi_sendCapture();
int krspi_sendCaptureImmediately();
// One unbuffered write (driver request 0xE00A).
int krspi_sendImmediately(uint32_t address, uint32_t length, uint32_t options, const void *data);
// Bytes waiting in the I/O block (diagnostics and tests).
uint32_t krspi_getCaptureUsed();

// ---------------------------------------------------------------------------------------
// Slave names and invalidation listeners (device init, main loop)

void krspi_addSlave(uint32_t word, const char *name);
const char *krspi_getSlaveName(uint32_t word);
void krspi_addInvalidationListener(KrspiInvalidationListener *listener);
void krspi_notifyInvalidationListener();
void krspiReset();

void krspiRegisterRecvFunction(KrspiRecvFunction function);
void krspiRegisterSendFunction(KrspiSendFunction function);

// I/O update of the generic I/O family.
int krspiIoupdate();

// ---------------------------------------------------------------------------------------
// SPI timer of the driver (ALC sweep)

int krspi_spiTimerInit();
int krspi_spiTimerRelease();
int krspi_spiTimerStart(uint32_t w0, uint32_t w1, uint32_t w2, uint32_t w3, uint32_t w4,
                        uint32_t w5);
int krspi_spiTimerStop();
int krspi_spiTimerAllocmem(uint32_t size);
int krspi_spiTimerWritemem(uint32_t a, uint32_t b, uint32_t c, uint32_t d);
int krspi_spiTimerFreemem();
