// SPI transport: routing, the SPI lock, capture into the I/O block and the driver requests.
#include "hw/krspi.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>

#include <atomic>
#include <cstring>

#include "config/device_config.h"
#include "core/printd.h"
#include "hw/fs_fpga.h"
#include "hw/fs_fpga_if.h"
#include "hw/krgio.h"
#include "kr_generic_io.h"
#include "rtnative.h"
#include "scpi/scpi_errorcodes.h"

int (*KRSPI_EXTFPGA_spiWrite)(uint32_t, uint32_t, const void *) = nullptr;
int (*KRSPI_EXTFPGA_spiRead)(uint32_t, uint32_t, void *) = nullptr;
int (*KRSPI_EXTFPGA_spiSelectChip)(uint32_t, int) = nullptr;
int (*KRSPI_EXTFPGA_spiDeselectChip)(uint32_t) = nullptr;

int krspiFd = -1;

namespace {

// The SPI lock. A logical lock under one state mutex rather than a bare mutex, so that a
// thread about to wait for a brief transfer cannot end up waiting behind a whole sweep:
// once a thread claims the lock with krspiLockForThread, other threads' transfers are
// refused instead of queued.
struct SpiLock {
    pthread_mutex_t state = PTHREAD_MUTEX_INITIALIZER;
    pthread_cond_t cond = PTHREAD_COND_INITIALIZER;
    bool held = false;
    pthread_t holder{};
    bool lockedByThread = false;
    pthread_t owner{};
    int depth = 0;  // krspiLockForThread nesting of the owner
    int threadLockWaiters = 0;
} spi;

// The asynchronous path: a transfer in progress or a hold (counted) keeps it busy.
struct AsyncLock {
    pthread_mutex_t state = PTHREAD_MUTEX_INITIALIZER;
    pthread_cond_t cond = PTHREAD_COND_INITIALIZER;
    bool busy = false;
    uint32_t count = 0;
} async;

std::atomic<int> fsVariant{0};
std::atomic<int> bypass{0};
std::atomic<int> globalLock{0};
std::atomic<int> lockFailed{0};

KrspiRecvFunction recvReplacement = nullptr;
KrspiSendFunction sendReplacement = nullptr;

uint32_t selectedWord = 0;
bool selectionTookMutex = false;
bool chipSelected = false;

// The I/O block and capture state; used by the holder of the SPI lock.
alignas(8) uint8_t ioBlock[KRSPI_IOBLOCK_SIZE];
uint32_t ioUsed = 0;
uint32_t captureDepth = 0;
uint32_t breakDepth = 0;

KrspiSlave slaves[KRSPI_SLAVES];
KrspiInvalidationListener *listenerHead = nullptr;

enum class Entry { Taken, Passed, Refused };

// Transfer lock: waits for a brief holder; while a thread holds (or is about to hold) the
// lock through krspiLockForThread only its owner, or anyone with the bypass flag, passes.
Entry enterTransferLock() {
    pthread_t self = pthread_self();
    pthread_mutex_lock(&spi.state);
    Entry e;
    for (;;) {
        if (!spi.held) {
            spi.held = true;
            spi.holder = self;
            e = Entry::Taken;
            break;
        }
        if (spi.lockedByThread || spi.threadLockWaiters > 0) {
            bool own = spi.lockedByThread && pthread_equal(spi.owner, self);
            e = (own || bypass.load(std::memory_order_relaxed)) ? Entry::Passed : Entry::Refused;
            break;
        }
        if (pthread_equal(spi.holder, self)) {  // a nested transfer of the brief holder
            e = Entry::Passed;
            break;
        }
        pthread_cond_wait(&spi.cond, &spi.state);
    }
    pthread_mutex_unlock(&spi.state);
    return e;
}

void exitTransferLock(Entry e) {
    if (e != Entry::Taken) return;
    pthread_mutex_lock(&spi.state);
    spi.held = false;
    pthread_cond_broadcast(&spi.cond);
    pthread_mutex_unlock(&spi.state);
}

void asyncAcquire() {
    pthread_mutex_lock(&async.state);
    while (async.busy)
        pthread_cond_wait(&async.cond, &async.state);
    async.busy = true;
    pthread_mutex_unlock(&async.state);
}

void asyncRelease() {
    pthread_mutex_lock(&async.state);
    async.busy = false;
    pthread_cond_broadcast(&async.cond);
    pthread_mutex_unlock(&async.state);
}

uint32_t fsOptionBits(uint32_t options) {
    return ((options & 1u) ? KRSPI_FS_OPTION0 : 0u) | ((options & 8u) ? KRSPI_FS_OPTION3 : 0u) |
           ((options & 2u) ? KRSPI_FS_OPTION1 : 0u);
}

// Transmit bytes of a read through the FS FPGA, in the data order of transfers (the last
// byte goes out first).
void buildReadTx(uint32_t command, uint32_t length, uint8_t *tx) {
    for (uint32_t i = 0; i < length; i++)
        tx[length - 1 - i] = kr_gio_readTxByte(command, i);
}

int ioctlTwice(int request, void *arg, const char *retryMessage) {
    int r = rt_dev_ioctl(krspiFd, request, arg);
    if (r < 0) {
        printd("%s", retryMessage);
        r = rt_dev_ioctl(krspiFd, request, arg);
    }
    return r;
}

// Hands the I/O block to the driver and empties it. Caller holds the SPI lock.
int sendBlockLocked() {
    if (globalLock.load(std::memory_order_relaxed)) {
        printd("krspi_sendCapture() warning: SPI is locked!\n");
        return -1;
    }
    if (krspiFd == -1) {
        printd("krspi_sendCapture() error: no kernel module file");
        return -1;
    }
    int r = 0;
    if (ioUsed > 0) {
        KrGioBuffer b = {ioBlock, ioUsed};
        r = ioctlTwice(KRSPI_IOC_SEND_IOBLOCK, &b,
                       "krspi_sendCapture() error: Data could not be transferred from/to kernel "
                       "space, retrying...");
    }
    ioUsed = 0;
    return r < 0 ? -1 : 0;
}

int sendImmediateLocked(uint32_t address, uint32_t length, uint32_t options, const void *data) {
    KrGioTransfer t = {address, length, options, 0, const_cast<void *>(data)};
    int r = ioctlTwice(KRSPI_IOC_WRITE, &t,
                       "krspi_doCapture() error: Data could not be transferred from/to kernel "
                       "space, retrying...\n");
    return r < 0 ? KR_E_EXECUTION_ERROR : 0;
}

uint32_t fsWriteWord(uint32_t word, uint32_t options) {
    uint32_t w = krspi_getRoute(word) == (int)KRSPI_ROUTE_FS
                     ? word
                     : ((word & KRSPI_TARGET_MASK) | KRSPI_FS_DEFAULT_WRITE);
    return w | fsOptionBits(options);
}

uint32_t fsReadWord(uint32_t word, uint32_t options) {
    if (word & KRSPI_ROUTE_VALID) return word;
    return (word & KRSPI_TARGET_MASK) | KRSPI_FS_DEFAULT_READ | fsOptionBits(options);
}

int fsRead(int path, uint32_t word, uint32_t command, uint32_t length, void *buffer) {
    if (!buffer || length > KRSPI_MAX_READ) return -1;
    uint8_t tx[KRSPI_MAX_READ];
    buildReadTx(command, length, tx);
    return FS_FPGA_longSpiRead(path, word, length, tx, buffer);
}

int driverRead(int request, uint32_t word, uint32_t command, uint32_t length, uint32_t options,
               void *buffer, const char *retryMessage) {
    KrGioTransfer t = {word & KRSPI_TARGET_MASK, length, options, command, buffer};
    return ioctlTwice(request, &t, retryMessage);
}

const char *opcodeName(uint32_t target) {
    switch (target) {
        case KR_IO_ADDR_END:
            return "KR_IO_ADDR_END";
        case KR_IO_ADDR_IOUPD:
            return "KR_IO_ADDR_IOUPD";
        case KR_IO_ADDR_IOUPD_TRIG:
            return "KR_IO_ADDR_IOUPD_TRIG";
        case KR_IO_ADDR_DELAY_US:
            return "KR_IO_ADDR_DELAY_US";
        case KR_IO_ADDR_SYNC:
            return "KR_IO_ADDR_SYNC";
        case KR_IO_ADDR_WAIT_TRAN:
            return "KR_IO_ADDR_WAIT_TRAN";
        case KR_IO_ADDR_TRIG_TMR:
            return "KR_IO_ADDR_TRIG_TMR";
        case KR_IO_ADDR_EMPTY:
            return "KR_IO_ADDR_EMPTY";
        case KR_IO_ADDR_SET_TIMER:
            return "KR_IO_ADDR_SET_TIMER";
        case KR_IO_ADDR_DEBUG:
            return "KR_IO_ADDR_DEBUG";
        case KR_IO_ADDR_MUTE:
            return "KR_IO_ADDR_MUTE";
        case KR_IO_ADDR_IS_TRAN:
            return "KR_IO_ADDR_IS_TRAN";
        case KR_IO_ADDR_AWAIT_TRIG_TMR:
            return "KR_IO_ADDR_AWAIT_TRIG_TMR";
        case KR_IO_ADDR_STOP_TIMER:
            return "KR_IO_ADDR_STOP_TIMER";
        case KR_IO_ADDR_SLEEP_US:
            return "KR_IO_ADDR_SLEEP_US";
        default:
            return nullptr;
    }
}

}  // namespace

int krspi_getFd() {
    return krspiFd;
}

int krspi_isFs() {
    return fsVariant.load(std::memory_order_relaxed);
}

// ---------------------------------------------------------------------------------------
// Open and close

// Start-up, initial thread, before any chip is initialised.
int krspiOpen() {
    fsVariant = device_config_usesOptionFs() ? 1 : 0;
    recvReplacement = nullptr;
    sendReplacement = nullptr;
    bypass = 0;
    globalLock = 0;
    lockFailed = 0;
    pthread_mutex_lock(&spi.state);
    spi.held = false;
    spi.lockedByThread = false;
    spi.depth = 0;
    spi.threadLockWaiters = 0;
    pthread_mutex_unlock(&spi.state);
    selectionTookMutex = false;
    chipSelected = false;
    pthread_mutex_lock(&async.state);
    async.busy = false;
    async.count = 0;
    pthread_mutex_unlock(&async.state);

    int fd = rt_dev_open(KR_GENERIC_IO_DEVICE, O_RDWR);
    krspiFd = fd < 0 ? -1 : fd;
    printd("krspiOpen(): fileno %d\n", krspiFd);
    bool exclusive = krspiFd >= 0 && flock(krspiFd, LOCK_EX | LOCK_NB) == 0;

    listenerHead = nullptr;
    memset(slaves, 0xFF, sizeof(slaves));
    printd("krspi_initCapture()\n");
    ioUsed = 0;
    captureDepth = 0;
    breakDepth = 0;

    if (krspiFd == -1) {
        printd("krspiOpen(): could not open the SPI/GPIO kernel module device node\n");
        return -1;
    }
    if (!exclusive) {
        printd(
            "krspiOpen(): could not get exclusive access to the SPI/GPIO kernel module,\n"
            "terminate all processes accessing SPI/GPIO\n");
        return -1;
    }
    krspiSetBitrateDivider(40);
    return 0;
}

// Process exit.
void krspiClose() {
    if (krspiFd >= 0) rt_dev_close(krspiFd);
    krspiFd = -1;
}

// ---------------------------------------------------------------------------------------
// Transfers

// Any thread. Standard variant: one record into the I/O block (sent at once unless a
// capture is open); FS variant: the FPGA's buffered stream.
int krspiSend(uint32_t word, uint32_t length, uint32_t options, const void *data) {
    if (!krspi_isFs()) {
        if (sendReplacement)
            return sendReplacement(word & KRSPI_TARGET_MASK, length, options, data);
        return krspi_doCapture(word & KRSPI_TARGET_MASK, length, options, data) < 0 ? -1 : 0;
    }
    int route = krspi_getRoute(word);
    if (route == (int)KRSPI_ROUTE_DRIVER)
        return krspi_sendImmediately(word & KRSPI_SLAVE_MASK, length, options, data);
    if (route == (int)KRSPI_ROUTE_EXTFPGA) {
        if (KRSPI_EXTFPGA_spiWrite) KRSPI_EXTFPGA_spiWrite(word, length, data);
        return 0;
    }
    Entry e = enterTransferLock();
    if (e == Entry::Refused) {
        printd("krspiSend() (FS) error: SPI is locked\n");
        lockFailed = 1;
        return KR_E_HARDWARE_ERROR;
    }
    FS_FPGA_SPI_send(FS_FPGA_PATH_BUFFERED, fsWriteWord(word, options), length, data);
    exitTransferLock(e);
    return 0;
}

// Any thread.
int krspiRecv(uint32_t word, uint32_t command, uint32_t length, uint32_t options, void *buffer) {
    int route = krspi_getRoute(word);
    if (route == (int)KRSPI_ROUTE_EXTFPGA && KRSPI_EXTFPGA_spiRead)
        return KRSPI_EXTFPGA_spiRead(word, length, buffer);
    if (route != (int)KRSPI_ROUTE_EXTFPGA && krspi_isFs() && route != (int)KRSPI_ROUTE_DRIVER) {
        Entry e = enterTransferLock();
        if (e == Entry::Refused) {
            printd("krspiRecv() (FS) error: SPI is locked\n");
            lockFailed = 1;
            return KR_E_HARDWARE_ERROR;
        }
        int r = fsRead(FS_FPGA_PATH_BUFFERED, fsReadWord(word, options), command, length, buffer);
        exitTransferLock(e);
        return r;
    }
    if (recvReplacement)
        return recvReplacement(word & KRSPI_TARGET_MASK, command, length, options, buffer);
    if (globalLock.load(std::memory_order_relaxed)) {
        printd("krspiRecv(): Error: SPI is locked!\n");
        return -1;
    }
    if (!buffer || krspiFd == -1) return -1;
    Entry e = enterTransferLock();
    if (e == Entry::Refused) {
        lockFailed = 1;
        return -1;
    }
    int r = driverRead(KRSPI_IOC_READ, word, command, length, options, buffer,
                       "krspiRecv() error: Data could not be transferred from/to kernel space, "
                       "retrying...\n");
    exitTransferLock(e);
    return r < 0 ? -1 : 0;
}

// Any thread; waits for the asynchronous path, never for the SPI lock.
int krspiSend_async(uint32_t word, uint32_t length, uint32_t options, const void *data) {
    if (krspi_isFs()) {
        if (krspi_getRoute(word) == (int)KRSPI_ROUTE_DRIVER)
            return krspi_sendImmediately(word & KRSPI_SLAVE_MASK, length, options, data);
        FS_FPGA_SPI_send(FS_FPGA_PATH_IMMEDIATE, fsWriteWord(word, options), length, data);
        return 0;
    }
    uint32_t size = kr_ioblock_recordSize(length);
    // The one-record block is 128 bytes; a longer record would overrun it.
    if (krspiFd == -1 || size > KRSPI_ASYNC_BLOCK_SIZE || (length && !data))
        return KR_E_EXECUTION_ERROR;
    alignas(8) uint8_t block[KRSPI_ASYNC_BLOCK_SIZE];
    KrIoBlockRecordHeader h = {word & KRSPI_TARGET_MASK, length, options};
    asyncAcquire();
    memset(block, 0, size);
    memcpy(block, &h, sizeof(h));
    if (length) memcpy(block + sizeof(h), data, length);
    KrGioBuffer b = {block, size};
    int r = ioctlTwice(KRSPI_IOC_WRITE_ASYNC, &b,
                       "krspiSend_async() error: Data could not be transferred from/to kernel "
                       "space, retrying...\n");
    asyncRelease();
    return r < 0 ? KR_E_EXECUTION_ERROR : 0;
}

// Any thread; waits for the asynchronous path.
int krspiRecv_async(uint32_t word, uint32_t command, uint32_t length, uint32_t options,
                    void *buffer) {
    if (krspi_isFs() && krspi_getRoute(word) != (int)KRSPI_ROUTE_DRIVER)
        return fsRead(FS_FPGA_PATH_IMMEDIATE, fsReadWord(word, options), command, length, buffer);
    if (!buffer || krspiFd == -1) return -1;
    asyncAcquire();
    int r = driverRead(KRSPI_IOC_READ_ASYNC, word, command, length, options, buffer,
                       "krspiRecv_async() error: Data could not be transferred from/to kernel "
                       "space, retrying...\n");
    asyncRelease();
    return r < 0 ? KR_E_EXECUTION_ERROR : 0;
}

// Main loop or the sweep task. FS variant: the calling thread holds the SPI lock until
// krspiDeselectChip.
int krspiSelectChip(uint32_t word) {
    int route = krspi_getRoute(word);
    selectedWord = word;
    chipSelected = true;
    if (route == (int)KRSPI_ROUTE_EXTFPGA) {
        if (KRSPI_EXTFPGA_spiSelectChip) KRSPI_EXTFPGA_spiSelectChip(word, 0);
        rt_dev_ioctl(krspiFd, KRSPI_IOC_SELECT_CHIP, (void *)(uintptr_t)word);
        return 0;
    }
    if (!krspi_isFs()) {
        rt_dev_ioctl(krspiFd, KRSPI_IOC_SELECT_CHIP, (void *)(uintptr_t)word);
        return 0;
    }
    if (route == (int)KRSPI_ROUTE_DRIVER) {
        rt_dev_ioctl(krspiFd, KRSPI_IOC_SELECT_CHIP, (void *)(uintptr_t)(word & KRSPI_SLAVE_MASK));
        return 0;
    }
    krspiLockForThread();
    Entry e = enterTransferLock();
    if (e == Entry::Refused) {
        printd("krspiSelectChip() (FS) error: SPI is locked\n");
        krspiUnlockForThread();
        chipSelected = false;
        return KR_E_HARDWARE_ERROR;
    }
    selectionTookMutex = e == Entry::Taken;
    FS_FPGA_SPI_selectChip(FS_FPGA_PATH_BUFFERED,
                           route == (int)KRSPI_ROUTE_FS
                               ? word
                               : ((word & KRSPI_TARGET_MASK) | KRSPI_FS_DEFAULT_WRITE));
    return 0;
}

// The thread that selected.
int krspiDeselectChip() {
    uint32_t word = selectedWord;
    int route = krspi_getRoute(word);
    if (!chipSelected) printd("krspiDeselectChip() warning: no chip selected\n");
    bool wasSelected = chipSelected;
    chipSelected = false;
    if (route == (int)KRSPI_ROUTE_EXTFPGA) {
        if (KRSPI_EXTFPGA_spiDeselectChip) KRSPI_EXTFPGA_spiDeselectChip(word);
        rt_dev_ioctl(krspiFd, KRSPI_IOC_DESELECT_CHIP);
        return 0;
    }
    if (!krspi_isFs() || route == (int)KRSPI_ROUTE_DRIVER) {
        rt_dev_ioctl(krspiFd, KRSPI_IOC_DESELECT_CHIP);
        return 0;
    }
    FS_FPGA_SPI_deselectChip(FS_FPGA_PATH_BUFFERED);
    // Only a bracket that the select opened is released.
    if (!wasSelected) return 0;
    if (selectionTookMutex) exitTransferLock(Entry::Taken);
    selectionTookMutex = false;
    krspiUnlockForThread();
    return 0;
}

int krspi_sendWord(uint32_t word, uint32_t options, uint64_t value, uint32_t bytes) {
    if (bytes == 0 || bytes > 8) return KR_E_EXECUTION_ERROR;
    uint8_t data[8];
    for (uint32_t i = 0; i < bytes; i++)
        data[i] = (uint8_t)(value >> (8 * i));
    return krspiSend(word, bytes, options, data);
}

int krspi_recvWord(uint32_t word, uint32_t command, uint32_t bytes, uint32_t options,
                   uint64_t *value) {
    if (bytes == 0 || bytes > 8 || !value) return KR_E_EXECUTION_ERROR;
    uint8_t data[8] = {};
    int r = krspiRecv(word, command, bytes, options, data);
    uint64_t v = 0;
    for (uint32_t i = bytes; i-- > 0;)
        v = (v << 8) | data[i];
    *value = v;
    return r;
}

// ---------------------------------------------------------------------------------------
// Locks

// Any thread; waits for the lock. Nested calls of the owner are counted.
int krspiLockForThread() {
    pthread_t self = pthread_self();
    pthread_mutex_lock(&spi.state);
    if (spi.lockedByThread && pthread_equal(spi.owner, self)) {
        spi.depth++;
        pthread_mutex_unlock(&spi.state);
        return 0;
    }
    spi.threadLockWaiters++;
    while (spi.held)
        pthread_cond_wait(&spi.cond, &spi.state);
    spi.threadLockWaiters--;
    spi.held = true;
    spi.holder = self;
    spi.owner = self;
    spi.lockedByThread = true;
    spi.depth = 1;
    pthread_mutex_unlock(&spi.state);
    return 0;
}

// The owner; other threads' calls change nothing.
int krspiUnlockForThread() {
    pthread_mutex_lock(&spi.state);
    if (spi.lockedByThread && pthread_equal(spi.owner, pthread_self()) && --spi.depth <= 0) {
        spi.depth = 0;
        spi.lockedByThread = false;
        spi.held = false;
        pthread_cond_broadcast(&spi.cond);
    }
    pthread_mutex_unlock(&spi.state);
    return 0;
}

int krspiPauseLockForThread() {
    bypass = 1;
    return 0;
}

int krspiResumeLockForThread() {
    bypass = 0;
    return 0;
}

int krspiLock() {
    globalLock = 1;
    return 0;
}

int krspiUnlock() {
    globalLock = 0;
    return 0;
}

int krspiLockAsync() {
    pthread_mutex_lock(&async.state);
    if (async.count == 0) {
        while (async.busy)
            pthread_cond_wait(&async.cond, &async.state);
        async.busy = true;
    }
    async.count++;
    pthread_mutex_unlock(&async.state);
    return 0;
}

int krspiUnlockAsync() {
    pthread_mutex_lock(&async.state);
    if (async.count > 0 && --async.count == 0) {
        async.busy = false;
        pthread_cond_broadcast(&async.cond);
    }
    pthread_mutex_unlock(&async.state);
    return 0;
}

int krspiMutexLockFailed() {
    return lockFailed.exchange(0);
}

// Any thread (the supervision thread asks before touching hardware).
int krspiAccessibleByThread() {
    if (krspi_isFs() && FS_FPGA_IF_isBufThrottled()) return 0;
    if (globalLock.load(std::memory_order_relaxed)) return 0;
    pthread_mutex_lock(&spi.state);
    bool free = !spi.held;
    bool own = spi.lockedByThread && pthread_equal(spi.owner, pthread_self());
    pthread_mutex_unlock(&spi.state);
    return (free || own || bypass.load(std::memory_order_relaxed)) ? 1 : 0;
}

// ---------------------------------------------------------------------------------------
// Driver settings

int krspiSetBitrateDivider(int divider) {
    if (krspi_isFs()) return 0;
    if (krspiFd == -1) return -1;
    printd("krspiSetBitrateDivider( %d )\n", divider);
    if (divider <= 0) divider = 1;
    if (divider > 255) divider = 255;
    return rt_dev_ioctl(krspiFd, KRSPI_IOC_SET_DIVIDER, (void *)(uintptr_t)divider) < 0
               ? KR_E_EXECUTION_ERROR
               : 0;
}

int krspiSetChipSelectDelay(int delay) {
    if (krspi_isFs()) return 0;
    if (krspiFd == -1) return -1;
    printd("krspiSetChipSelectDelay( %d )\n", delay);
    if (delay < 0) delay = 0;
    if (delay > 255) delay = 255;
    return rt_dev_ioctl(krspiFd, KRSPI_IOC_SET_CS_DELAY, (void *)(uintptr_t)delay) < 0
               ? KR_E_EXECUTION_ERROR
               : 0;
}

uint32_t krspiReadPinState(int request) {
    if (krspiFd == -1) return (uint32_t)-1;
    uint32_t v = 0;
    rt_dev_ioctl(krspiFd, request, &v);
    return v;
}

int krspiModule0Recv(uint32_t length, void *buffer) {
    if (globalLock.load(std::memory_order_relaxed)) return 0;
    KrGioTransfer t = {0, length, 0, 0, buffer};
    return rt_dev_ioctl(krspiFd, KRSPI_IOC_MODULE0_READ, &t) < 0 ? -1 : 0;
}

const char *krspi_getClockStr(uint32_t clockCode) {
    static const char *const texts[] = {"100M", "50M", "25M", "13M", "6M3", "3M1", "1M6", "781K"};
    return clockCode < 8 ? texts[clockCode] : "?";
}

// ---------------------------------------------------------------------------------------
// Capture

// Holder of the SPI lock (sweep task, main loop).
int krspi_startCapture() {
    if (breakDepth != 0) return 0;
    captureDepth++;
    return 0;
}

int krspi_stopCapture() {
    if (breakDepth != 0) {
        if (captureDepth != 0) {
            printd("krspi_stopCapture() error: can't stop capture while in break mode\n");
            return KR_E_EXECUTION_ERROR;
        }
        return 0;
    }
    if (captureDepth == 0) {
        printd("krspi_stopCapture() error: stop exceeds start\n");
        return KR_E_EXECUTION_ERROR;
    }
    if (captureDepth > 1) {
        captureDepth--;
        return 0;
    }
    captureDepth = 0;
    krspi_sendCapture();
    return 0;
}

int krspi_breakCapture() {
    if (breakDepth != 0) {
        breakDepth++;
        return 0;
    }
    breakDepth = 1;
    if (captureDepth != 0) {
        uint32_t depth = captureDepth;
        captureDepth = 0;
        krspi_sendCapture();
        captureDepth = depth;
    }
    return 0;
}

int krspi_resumeCapture() {
    if (breakDepth == 0) {
        printd("krspi_resumeCapture() error: resume exceeds break\n");
        return KR_E_EXECUTION_ERROR;
    }
    breakDepth--;
    return 0;
}

int krspi_isCaptureActive() {
    return breakDepth == 0 && captureDepth != 0;
}

uint32_t krspi_getCaptureUsed() {
    return ioUsed;
}

// Any thread; the record is appended under the SPI lock.
int krspi_doCapture(uint32_t address, uint32_t length, uint32_t options, const void *data) {
    if (krspi_isFs()) return 0;
    Entry e = enterTransferLock();
    if (e == Entry::Refused) {
        printd("krspi_doCapture() error: SPI mutex is locked by another thread\n");
        lockFailed = 1;
        return -1;
    }
    uint32_t size = kr_ioblock_recordSize(length);
    if (KRSPI_IOBLOCK_SIZE - ioUsed < size) sendBlockLocked();
    if (size > KRSPI_IOBLOCK_SIZE) {
        printd("krspi_doCapture(): data size exceeds IO block buffer size -> unbuffered\n");
        if (krspiFd != -1 && data && !globalLock.load(std::memory_order_relaxed))
            sendImmediateLocked(address, length, options, data);
        exitTransferLock(e);
        return 1;
    }
    if (KRSPI_IOBLOCK_SIZE - ioUsed < size) {
        // The block could not be sent (global lock): never write past its end.
        printd("krspi_doCapture() error: IO block full, record dropped\n");
        exitTransferLock(e);
        return -1;
    }
    KrIoBlockRecordHeader h = {address, length, options};
    uint8_t *at = ioBlock + ioUsed;
    memcpy(at, &h, sizeof(h));
    if (length && data) memcpy(at + sizeof(h), data, length);
    if (size > sizeof(h) + length) memset(at + sizeof(h) + length, 0, size - sizeof(h) - length);
    ioUsed += size;
    if (!(breakDepth == 0 && captureDepth != 0)) sendBlockLocked();
    exitTransferLock(e);
    return 1;
}

int krspi_sendCapture() {
    if (breakDepth != 0 || captureDepth == 0) return krspi_sendCaptureImmediately();
    return 0;
}

int krspi_sendCaptureImmediately() {
    if (krspi_isFs()) return 0;
    if (globalLock.load(std::memory_order_relaxed)) {
        printd("krspi_sendCapture() warning: SPI is locked!\n");
        return -1;
    }
    if (krspiFd == -1) {
        printd("krspi_sendCapture() error: no kernel module file");
        return -1;
    }
    Entry e = enterTransferLock();
    if (e == Entry::Refused) {
        printd("krspi_sendCapture() warning: SPI mutex is locked by another thread\n");
        lockFailed = 1;
        return -1;
    }
    int r = sendBlockLocked();
    exitTransferLock(e);
    return r;
}

int krspi_sendImmediately(uint32_t address, uint32_t length, uint32_t options, const void *data) {
    if (!data || krspiFd == -1) return KR_E_EXECUTION_ERROR;
    if (globalLock.load(std::memory_order_relaxed)) {
        printd("krspi_doCapture(): Error: SPI is locked!\n");
        return -1;
    }
    Entry e = enterTransferLock();
    if (e == Entry::Refused) {
        printd("krspi_doCapture() error: SPI mutex is locked by another thread\n");
        lockFailed = 1;
        return KR_E_EXECUTION_ERROR;
    }
    int r = sendImmediateLocked(address, length, options, data);
    exitTransferLock(e);
    return r;
}

// ---------------------------------------------------------------------------------------
// Slave names and invalidation listeners

void krspi_addSlave(uint32_t word, const char *name) {
    uint32_t address = word & KRSPI_SLAVE_MASK;
    uint8_t bus = (uint8_t)krspi_getBus(word);
    for (KrspiSlave &s : slaves) {
        bool free = s.address == 0xFFFFFFFFu;
        if (free || (s.address == address && s.bus == bus)) {
            s.address = address;
            s.bus = bus;
            s.flag = (word & KRSPI_SLAVE_FLAG) ? 1 : 0;
            snprintf(s.name, sizeof(s.name), "%s", name ? name : "");
            return;
        }
    }
    printd("krspi_addSlave() warning: list full, can not add %s\n", name ? name : "");
}

const char *krspi_getSlaveName(uint32_t word) {
    uint32_t target = word & KRSPI_TARGET_MASK;
    if (target > KRSPI_SLAVE_MASK) {
        const char *n = opcodeName(target);
        return n ? n : "(unknown)";
    }
    uint8_t bus = (uint8_t)krspi_getBus(word);
    for (const KrspiSlave &s : slaves)
        if (s.address == target && s.bus == bus) return s.name;
    return "(unknown)";
}

// Device init (main loop).
void krspi_addInvalidationListener(KrspiInvalidationListener *listener) {
    if (!listener) return;
    KrspiInvalidationListener **tail = &listenerHead;
    while (*tail) {
        if (*tail == listener) return;  // already listed: relinking would cut the list
        tail = &(*tail)->next;
    }
    listener->next = nullptr;
    *tail = listener;
}

// Sweep start and stop (main loop).
void krspi_notifyInvalidationListener() {
    for (KrspiInvalidationListener *l = listenerHead; l; l = l->next)
        if (l->callback) l->callback(l->context);
}

// Device init and reset.
void krspiReset() {
    listenerHead = nullptr;
}

void krspiRegisterRecvFunction(KrspiRecvFunction function) {
    recvReplacement = function;
}

void krspiRegisterSendFunction(KrspiSendFunction function) {
    sendReplacement = function;
}

int krspiIoupdate() {
    return krgio_ioupdate();
}

// ---------------------------------------------------------------------------------------
// SPI timer (ALC sweep start and stop, main loop)

int krspi_spiTimerInit() {
    printd("krspi_spiTimerInit()\n");
    return rt_dev_ioctl(krspiFd, KRSPI_IOC_TIMER_INIT) < 0 ? KR_E_EXECUTION_ERROR : 0;
}

int krspi_spiTimerRelease() {
    printd("krspi_spiTimerRelease()\n");
    return rt_dev_ioctl(krspiFd, KRSPI_IOC_TIMER_RELEASE) < 0 ? KR_E_EXECUTION_ERROR : 0;
}

int krspi_spiTimerStart(uint32_t w0, uint32_t w1, uint32_t w2, uint32_t w3, uint32_t w4,
                        uint32_t w5) {
    printd("krspi_spiTimerStart()\n");
    KrGioSpiTimerStart s = {{w0, w1, w2, 0, 0, w3, w4, w5, 78}};
    rt_dev_ioctl(krspiFd, KRSPI_IOC_TIMER_START, &s);
    return 0;
}

int krspi_spiTimerStop() {
    printd("krspi_spiTimerStop()\n");
    rt_dev_ioctl(krspiFd, KRSPI_IOC_TIMER_STOP);
    return 0;
}

int krspi_spiTimerAllocmem(uint32_t size) {
    KrGioSpiTimerMem m = {{size, 0, 0, 0}};
    return rt_dev_ioctl(krspiFd, KRSPI_IOC_TIMER_ALLOCMEM, &m) < 0 ? KR_E_EXECUTION_ERROR : 0;
}

int krspi_spiTimerWritemem(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    KrGioSpiTimerMem m = {{a, b, c, d}};
    return rt_dev_ioctl(krspiFd, KRSPI_IOC_TIMER_WRITEMEM, &m) < 0 ? KR_E_EXECUTION_ERROR : 0;
}

int krspi_spiTimerFreemem() {
    return rt_dev_ioctl(krspiFd, KRSPI_IOC_TIMER_FREEMEM) < 0 ? KR_E_EXECUTION_ERROR : 0;
}
