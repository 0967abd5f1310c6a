// FS FPGA command link: command encoding, both paths, register reads, the double buffer's
// transmit thread and the link's start-up self-test.
#include "hw/fs_fpga.h"

#include <algorithm>
#include <cstring>

#include "config/device_config.h"
#include "core/printd.h"
#include "hw/board_slaves.h"
#include "hw/fs_fpga_if.h"
#include "hw/fs_fpga_registers.h"
#include "hw/krspi.h"
#include "hw/sri.h"
#include "hw/w25q.h"
#include "kr_generic_io.h"
#include "rtnative.h"
#include "scpi/scpi_errorcodes.h"

FsFpgaState FS_FPGA_state;
FsFpgaOps FS_FPGA_ops;

namespace {

FsFpgaLink fsLink;
bool initialised = false;
SRI controlRegister;
W25Q flash;
constexpr uint32_t controlRegisterBytes = 4;
std::atomic<int> logEnabled{0};

// Channel locks: owner and nesting per channel.
struct ChannelLock {
    bool held;
    pthread_t owner;
    int depth;
};
pthread_mutex_t channelLockState = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t channelLockCond = PTHREAD_COND_INITIALIZER;
ChannelLock channelLocks[FS_FPGA_CHANNELS];

uint32_t currentChannel() {
    return FS_FPGA_state.channel.load(std::memory_order_relaxed) % FS_FPGA_CHANNELS;
}

FsFpgaChannel &channelState() {
    return FS_FPGA_state.ch[currentChannel()];
}

void logBytes(const char *what, const uint8_t *bytes, uint32_t n) {
    if (!logEnabled.load(std::memory_order_relaxed)) return;
    printd("FS %s:", what);
    for (uint32_t i = 0; i < n; i++)
        printd(" %02X", bytes[i]);
    printd("\n");
}

// Immediate send; caller holds the immediate mutex.
int sendImmLocked(const void *bytes, uint32_t length, int replyExpected) {
    if (!fsLink.linkUp.load()) {
        printd("FS_FPGA_sendImm() error: FS FPGA is down\n");
        return KR_E_TIMEOUT;
    }
    logBytes("imm", (const uint8_t *)bytes, length);
    KrGioFsSend s = {bytes, length, (uint32_t)replyExpected};
    return rt_dev_ioctl(krspi_getFd(), KRFS_IOC_SEND_IMM, &s) < 0 ? KR_E_EXECUTION_ERROR : 0;
}

// Appends bytes to the double buffer, reserving room for reserve bytes (blocking).
int bufferedWrite(const uint8_t *bytes, uint32_t n, uint32_t reserve) {
    uint8_t *at = DOUBLE_BUFFER_openWrite_blocking(&fsLink.db, std::max(n, reserve));
    if (!at) return KR_E_EXECUTION_ERROR;
    memcpy(at, bytes, n);
    logBytes("buf", bytes, n);
    DOUBLE_BUFFER_closeWrite(&fsLink.db, n);
    return 0;
}

// Hands one ready buffer to the driver; caller holds the transmit mutex.
bool transmitOneLocked(const char *who) {
    uint32_t length;
    const uint8_t *data = DOUBLE_BUFFER_openRead(&fsLink.db, &length);
    if (length == 0) return false;
    if (fsLink.linkUp.load()) {
        KrGioBuffer b = {data, length};
        int r = rt_dev_ioctl(krspi_getFd(), KRFS_IOC_TRANSMIT, &b);
        if (r == KRFS_ERR_LINK_DOWN) {
            printd("%s error: FS FPGA is down, disabling link", who);
            fsLink.linkUp = 0;
        } else if (r < 0) {
            printd("%s error %d", who, r);
            for (uint32_t i = 0; i < length; i++)
                printd("0x%02X", data[i]);
        }
    }
    // Signalled even inside flush: a writer may be waiting for room.
    DOUBLE_BUFFER_closeRead(&fsLink.db);
    return true;
}

void *txHandler(void *) {
    pthread_mutex_lock(&fsLink.txMutex);
    while (fsLink.txRunning.load()) {
        while (transmitOneLocked("FS_FPGA_txHandler()")) {
        }
        pthread_mutex_unlock(&fsLink.txMutex);
        DOUBLE_BUFFER_waitWrite(&fsLink.db);
        pthread_mutex_lock(&fsLink.txMutex);
    }
    pthread_mutex_unlock(&fsLink.txMutex);
    return nullptr;
}

int startTxThread() {
    size_t stack = 16384;
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    stack *= 8;  // instrumented frames are several times larger
#endif
    // The simulated driver runs inside the transmit request on this machine.
    stack = std::max<size_t>(stack, 65536);
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, stack);
    fsLink.txRunning = 1;
    int r = pthread_create(&fsLink.txThread, &attr, txHandler, nullptr);
    pthread_attr_destroy(&attr);
    if (r != 0) fsLink.txRunning = 0;
    return r == 0 ? 0 : KR_E_EXECUTION_ERROR;
}

// Fetches a register-read reply; caller holds the immediate mutex.
int receiveRegisterData(uint32_t length, uint8_t *buffer) {
    KrGioFsReply reply;
    memset(&reply, 0, sizeof(reply));
    int r = rt_dev_ioctl(krspi_getFd(), KRFS_IOC_FETCH_REPLY, &reply);
    if (r < 0) {
        printd("FS_FPGA_receiveRegisterData(): retval %d\n", r);
        uint32_t rate = fsLink.errorRate.load();
        if (rate > FS_FPGA_ERROR_RATE_LIMIT) {
            fsLink.linkUp = 0;
            printd("FS_FPGA_receiveRegisterData(): too many errors, shut down FPGA");
        }
        fsLink.errorRate = rate + 1000;
        printd("FS_FPGA_receiveRegisterData(): error rate %d\n", (int)(rate + 1000));
        printd(
            "    for devices with option PHS: make sure the FS FPGA receives SYSREF and clock "
            "signals from REF board");
        return KR_E_TIMEOUT;
    }
    uint32_t rate = fsLink.errorRate.load();
    if (rate) fsLink.errorRate = rate - 1;
    memcpy(buffer, reply.data, std::min<uint32_t>(length, KR_GIO_FS_REPLY_BYTES));
    return 0;
}

// Register read; caller holds the immediate mutex.
int readRegisterLocked(uint32_t condition, uint32_t reg, uint32_t length, void *buffer) {
    if (!fsLink.linkUp.load()) {
        printd("FS_FPGA_receiveRegisterData() error: FS FPGA is down\n");
        return KR_E_TIMEOUT;
    }
    uint8_t cmd[4] = {FS_CMD_LONG_IMMEDIATE | 1, FS_OP_READ_REGISTER, (uint8_t)reg,
                      (uint8_t)condition};
    int r = sendImmLocked(cmd, sizeof(cmd), 1);
    uint8_t data[KR_GIO_FS_REPLY_BYTES] = {};
    if (r == 0) r = receiveRegisterData(length, data);
    if (r < 0) {
        if (condition != 0) {
            uint32_t status = 0;
            uint8_t st[4] = {FS_CMD_LONG_IMMEDIATE | 1, FS_OP_READ_REGISTER, FS_REG_STATUS, 0};
            if (sendImmLocked(st, sizeof(st), 1) == 0) receiveRegisterData(4, (uint8_t *)&status);
            printd(
                "FS_FPGA_readRegister_lockAlways() error: retval %d, cond %d, R5->SPR %d, regAddr "
                "%d\n",
                r, (int)condition, (int)(status >> FS_STATUS_SPR_LOW), (int)reg);
        }
        return KR_E_TIMEOUT;
    }
    memcpy(buffer, data, std::min<uint32_t>(length, KR_GIO_FS_REPLY_BYTES));
    return 0;
}

uint8_t spiFlagBits(uint32_t word) {
    return ((word & KRSPI_FS_OPTION3) ? FS_SPI_FLAG_OPTION3 : 0) |
           ((word & KRSPI_FS_OPTION0) ? FS_SPI_FLAG_OPTION0 : 0) |
           ((word & KRSPI_FS_OPTION1) ? FS_SPI_FLAG_OPTION1 : 0);
}

bool immediate(int path) {
    return path == FS_FPGA_PATH_IMMEDIATE || fsLink.forceFastImmPath.load();
}

const uint8_t immSpiBegin[3] = {FS_CMD_LONG_IMMEDIATE, FS_OP_STREAM, FS_STREAM_IMM_SPI_BEGIN};
const uint8_t immSpiEnd[3] = {FS_CMD_LONG_IMMEDIATE, FS_OP_STREAM, FS_STREAM_IMM_SPI_END};

// ---------------------------------------------------------------------------------------
// Operation table entries

int opSendRaw(int path, uint32_t length, const void *bytes) {
    if (length && !bytes) return KR_E_EXECUTION_ERROR;
    if (path == FS_FPGA_PATH_BUFFERED) return bufferedWrite((const uint8_t *)bytes, length, 0);
    pthread_mutex_lock(&fsLink.immMutex);
    int r = sendImmLocked(bytes, length, 0);
    pthread_mutex_unlock(&fsLink.immMutex);
    return r;
}

int opLongCommand(int path, uint32_t operation, uint32_t argument, uint32_t length,
                  const void *data) {
    if (length > 15 || (length && !data)) return KR_E_EXECUTION_ERROR;
    uint8_t cmd[18];
    bool imm = path == FS_FPGA_PATH_IMMEDIATE;
    cmd[0] = (imm ? FS_CMD_LONG_IMMEDIATE : FS_CMD_LONG_BUFFERED) | (uint8_t)length;
    cmd[1] = (uint8_t)operation;
    cmd[2] = (uint8_t)argument;
    const uint8_t *d = (const uint8_t *)data;
    for (uint32_t i = 0; i < length; i++)
        cmd[3 + i] = d[length - 1 - i];
    if (imm) {
        pthread_mutex_lock(&fsLink.immMutex);
        int r = sendImmLocked(cmd, 3 + length, 0);
        pthread_mutex_unlock(&fsLink.immMutex);
        return r;
    }
    if (operation <= FS_OP_CLEAR_BITS) {
        uint32_t c = currentChannel();
        if (argument < fs_bufferedRegFirst(c) || argument > fs_bufferedRegLast(c)) {
            printd(
                "FS_FPGA_longCommand() error: register %d can not be reached from within buffered "
                "stream\n",
                (int)argument);
            return KR_E_EXECUTION_ERROR;
        }
    }
    return bufferedWrite(cmd, 3 + length, sizeof(cmd));
}

int opModifyRam(uint32_t ram, uint32_t address, uint32_t length, const void *data) {
    if ((length && !data) || ram >= FS_RAM_INDEX_COUNT) return KR_E_EXECUTION_ERROR;
    int r = opLongCommand(FS_FPGA_PATH_IMMEDIATE, FS_OP_RAM_ADDRESS, ram, 4, &address);
    const uint8_t *d = (const uint8_t *)data;
    for (uint32_t done = 0; r == 0 && done < length; done += 15) {
        uint32_t n = std::min<uint32_t>(15, length - done);
        r = opLongCommand(FS_FPGA_PATH_IMMEDIATE, FS_OP_RAM_WRITE, ram, n, d + done);
    }
    return r;
}

int opReadRegister(uint32_t condition, uint32_t reg, uint32_t length, void *buffer) {
    if (!buffer) return KR_E_EXECUTION_ERROR;
    pthread_mutex_lock(&fsLink.immMutex);
    int r = readRegisterLocked(condition, reg, length, buffer);
    pthread_mutex_unlock(&fsLink.immMutex);
    return r;
}

int opGetChannel() {
    return (int)currentChannel();
}

int opSelectChannel(int channel) {
    if (channel < 0 || channel >= FS_FPGA_CHANNELS) return KR_E_EXECUTION_ERROR;
    FS_FPGA_state.channel = (uint32_t)channel;
    // Tells the FPGA which channel's stream the following buffered commands belong to.
    uint8_t cmd[3] = {FS_CMD_LONG_BUFFERED, FS_OP_SELECT_CHANNEL, (uint8_t)channel};
    return bufferedWrite(cmd, sizeof(cmd), 0);
}

int opLockChannel(int channel) {
    if (channel < 0 || channel >= FS_FPGA_CHANNELS) return KR_E_EXECUTION_ERROR;
    pthread_t self = pthread_self();
    pthread_mutex_lock(&channelLockState);
    ChannelLock &l = channelLocks[channel];
    if (l.held && pthread_equal(l.owner, self)) {
        l.depth++;
    } else {
        while (l.held)
            pthread_cond_wait(&channelLockCond, &channelLockState);
        l.held = true;
        l.owner = self;
        l.depth = 1;
    }
    pthread_mutex_unlock(&channelLockState);
    return 0;
}

int opUnlockChannel(int channel) {
    if (channel < 0 || channel >= FS_FPGA_CHANNELS) return KR_E_EXECUTION_ERROR;
    pthread_mutex_lock(&channelLockState);
    ChannelLock &l = channelLocks[channel];
    if (l.held && pthread_equal(l.owner, pthread_self()) && --l.depth <= 0) {
        l.held = false;
        l.depth = 0;
        pthread_cond_broadcast(&channelLockCond);
    }
    pthread_mutex_unlock(&channelLockState);
    return 0;
}

int spiWrite(int path, uint32_t word, uint32_t length, const void *data, int hold) {
    if (length && !data) return KR_E_EXECUTION_ERROR;
    bool imm = immediate(path);
    if (!imm && channelState().jumpPending.load()) return KR_E_EXECUTION_ERROR;
    const uint8_t *d = (const uint8_t *)data;
    uint8_t bus = (uint8_t)krspi_getBus(word);
    uint8_t flag =
        (uint8_t)((hold ? FS_SPI_FLAG_HOLD : FS_SPI_FLAG_WRITE) |
                  (krspi_getClockCode(word) << FS_SPI_FLAG_CLOCK_SHIFT) | spiFlagBits(word));
    bool keepSelect = fsLink.chipSelected.load();
    if (!imm) {
        uint32_t reserve = ((length >> 4) + 3) * 4 + length;
        uint8_t *at = DOUBLE_BUFFER_openWrite_blocking(&fsLink.db, reserve);
        if (!at) return KR_E_EXECUTION_ERROR;
        uint32_t n = 0;
        at[n++] = FS_CMD_SPI_BUFFERED | bus;
        at[n++] = flag;
        at[n++] = (uint8_t)word;
        for (uint32_t done = 0; done < length;) {
            uint32_t k = std::min<uint32_t>(FS_SPI_CHUNK_MAX, length - done);
            at[n++] = FS_CMD_SPI_CHUNK_BUFFERED | (uint8_t)(k - 1);
            for (uint32_t i = 0; i < k; i++)
                at[n++] = d[length - 1 - done - i];
            done += k;
        }
        if (!keepSelect) at[n++] = FS_CMD_SPI_END_BUFFERED;
        logBytes("buf", at, n);
        DOUBLE_BUFFER_closeWrite(&fsLink.db, n);
        return 0;
    }
    pthread_mutex_lock(&fsLink.immMutex);
    int r = sendImmLocked(immSpiBegin, sizeof(immSpiBegin), 0);
    uint8_t out[3 + 1 + FS_SPI_CHUNK_MAX + 1 + sizeof(immSpiEnd)];
    uint32_t n = 0;
    out[n++] = FS_CMD_SPI_IMMEDIATE | bus;
    out[n++] = flag;
    out[n++] = (uint8_t)word;
    for (uint32_t done = 0; r == 0 && done < length;) {
        uint32_t k = std::min<uint32_t>(FS_SPI_CHUNK_MAX, length - done);
        out[n++] = FS_CMD_SPI_CHUNK_IMMEDIATE | (uint8_t)(k - 1);
        for (uint32_t i = 0; i < k; i++)
            out[n++] = d[length - 1 - done - i];
        done += k;
        if (k == FS_SPI_CHUNK_MAX) {  // each full chunk goes out before the next is built
            r = sendImmLocked(out, n, 0);
            n = 0;
        }
    }
    if (!keepSelect) out[n++] = FS_CMD_SPI_END_IMMEDIATE;
    memcpy(out + n, immSpiEnd, sizeof(immSpiEnd));
    n += sizeof(immSpiEnd);
    if (r == 0) r = sendImmLocked(out, n, 0);
    if (r == 0) r = sendImmLocked(out, 0, 0);
    pthread_mutex_unlock(&fsLink.immMutex);
    return r;
}

int opSpiOpen(int path, uint32_t word, uint32_t length, const void *data) {
    return spiWrite(path, word, length, data, 1);
}

int opSpiClosed(int path, uint32_t word, uint32_t length, const void *data) {
    return spiWrite(path, word, length, data, 0);
}

void opPrintInfo() {
    printd("FS FPGA: link %s, error rate %u, channel %u, chip selected %d (word 0x%06X)\n",
           fsLink.linkUp.load() ? "up" : "down", (unsigned)fsLink.errorRate.load(),
           (unsigned)currentChannel(), (int)fsLink.chipSelected.load(),
           (unsigned)fsLink.selectedWord.load());
}

bool active() {
    return FS_FPGA_state.active.load(std::memory_order_relaxed) != 0;
}

void resetState() {
    FS_FPGA_state.channel = 0;
    FS_FPGA_state.perChannelUpdate = 0;
    for (FsFpgaChannel &c : FS_FPGA_state.ch) {
        c.jumpPending = 0;
        c.throttle = 0;
        c.bufferedMode = 0;
    }
}

uint32_t temperatureWord(uint32_t channel) {
    return krspi_makeWord(board_outSlave((int)channel, BOARD_OUT_TEMP), 0, 5, KRSPI_ROUTE_FS);
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Start-up

void FS_KRCONT_registerFsFpgaFunctions() {
    FS_FPGA_ops = {opSendRaw,    opLongCommand,   opModifyRam,   opReadRegister,
                   opGetChannel, opSelectChannel, opLockChannel, opUnlockChannel,
                   opSpiOpen,    opSpiClosed,     opPrintInfo};
    FS_FPGA_state.active = 1;
}

// Device init on the main thread, once.
int FS_FPGA_init() {
    if (initialised) {
        printd("FS_FPGA_init(): already initialized, nothing to do\n");
        return 0;
    }
    printd("FS_FPGA_init()");
    initialised = true;
    fsLink.txRunning = 0;
    fsLink.linkUp = 1;
    fsLink.errorRate = 0;
    fsLink.chipSelected = 0;
    fsLink.selectedWord = 0;
    fsLink.forceFastImmPath = 0;
    pthread_mutex_init(&fsLink.immMutex, nullptr);
    pthread_mutex_init(&fsLink.txMutex, nullptr);
    pthread_mutex_init(&fsLink.channelMutex, nullptr);
    resetState();
    FS_KRCONT_registerFsFpgaFunctions();
    rt_dev_ioctl(krspi_getFd(), KRFS_IOC_INIT);
    DOUBLE_BUFFER_init(&fsLink.db, fsLink.txBuffer[0], FS_FPGA_TX_BUFFER_SIZE, fsLink.txBuffer[1],
                       FS_FPGA_TX_BUFFER_SIZE);
    // Reset the FPGA's command streams.
    uint32_t one = 1;
    FS_FPGA_writeRegister(FS_FPGA_PATH_IMMEDIATE, FS_REG_RESET, 4, &one);
    if (startTxThread() != 0) {
        printd("FS_FPGA_init(): could not start the transmit thread\n");
        fsLink.linkUp = 0;
        return KR_E_EXECUTION_ERROR;
    }
    // The controller board's shift register and flash sit behind the link, so they are set
    // up once it runs.
    const uint8_t zeros[controlRegisterBytes] = {};
    SRI_init(&controlRegister, krspi_makeWord(BOARD_CONT_SRI, 0, 5, KRSPI_ROUTE_FS), zeros,
             controlRegisterBytes);
    if (W25Q_init(&flash, krspi_makeWord(BOARD_CONT_FLASH, 0, 3, KRSPI_ROUTE_FS)) != 0)
        printd("FS_FPGA_init(): no serial flash\n");

    printd("    Test IMM path - Read status register");
    uint32_t status = 0;
    if (FS_FPGA_readRegister(0, FS_REG_STATUS, 4, &status) != 0) {
        printd("        failed, shut down FPGA");
        fsLink.linkUp = 0;
        return KR_E_EXECUTION_ERROR;
    }
    printd("        status 0x%08X\n", (unsigned)status);
    printd("        TRGI %d, PULI %d, RLD1 %d, RLD0 %d", (int)(status >> FS_STATUS_TRGI) & 1,
           (int)(status >> FS_STATUS_PULI) & 1, (int)(status >> FS_STATUS_RLD1) & 1,
           (int)(status >> FS_STATUS_RLD0) & 1);
    uint32_t xadc = 0;
    if (FS_FPGA_readRegister(0, FS_REG_XADC, 4, &xadc) == 0) {
        uint32_t adc = (xadc >> 4) & 0xFFF;
        printd("        XADC %u, temperature %.1f C\n", (unsigned)adc,
               adc * 503.975 / 4096 - 273.15);
    }
    for (uint32_t c = 0; c < FS_FPGA_CHANNELS; c++) {
        FS_FPGA_selectChannel((int)c);
        printd("    Test BUF path - channel % d", (int)c);
        uint8_t t[2];
        if (FS_FPGA_longSpiRead(FS_FPGA_PATH_BUFFERED, temperatureWord(c), 2, nullptr, t) != 0) {
            printd("FS_FPGA_init(): channel %d buffered path test failed, exiting", (int)c);
            fsLink.linkUp = 0;
            return KR_E_EXECUTION_ERROR;
        }
    }
    for (uint32_t c = 0; c < FS_FPGA_CHANNELS; c++) {
        FS_FPGA_selectChannel((int)c);
        FS_FPGA_setRegisterBits(FS_FPGA_PATH_IMMEDIATE, FS_REG_TRIGGER,
                                1u << FS_TRIGGER_INIT_CONTINUOUS);
        FS_FPGA_clearRegisterBits(FS_FPGA_PATH_IMMEDIATE, fs_regSweepControl(c), 0xFFFF);
        FS_FPGA_IF_markOutputValid(0);
    }
    FS_FPGA_selectChannel(0);
    if (device_config_usesFS_ARM_CONT_2CorNewer())
        FS_FPGA_writeRegisterBitfield(FS_FPGA_PATH_IMMEDIATE, FS_REG_CONTROL, FS_CONTROL_ARM_HIGH,
                                      FS_CONTROL_ARM_LOW, 1);
    FS_FPGA_flush();
    return 0;
}

SRI *FS_FPGA_getControlShiftRegister() {
    return &controlRegister;
}

W25Q *FS_FPGA_getFlash() {
    return &flash;
}

// Main thread (device reset, tests): no other thread may use the link meanwhile.
void FS_FPGA_free() {
    if (!initialised) return;
    if (fsLink.txRunning.load()) {
        fsLink.txRunning = 0;
        DOUBLE_BUFFER_wakeReader(&fsLink.db);
        pthread_join(fsLink.txThread, nullptr);
    }
    DOUBLE_BUFFER_release(&fsLink.db);
    pthread_mutex_destroy(&fsLink.immMutex);
    pthread_mutex_destroy(&fsLink.txMutex);
    pthread_mutex_destroy(&fsLink.channelMutex);
    FS_FPGA_state.active = 0;
    resetState();
    initialised = false;
}

// ---------------------------------------------------------------------------------------
// Primitives

int FS_FPGA_sendRaw(int path, uint32_t length, const void *bytes) {
    return active() ? FS_FPGA_ops.sendRaw(path, length, bytes) : KR_E_EXECUTION_ERROR;
}

int FS_FPGA_longCommand(int path, uint32_t operation, uint32_t argument, uint32_t length,
                        const void *data) {
    return active() ? FS_FPGA_ops.longCommand(path, operation, argument, length, data)
                    : KR_E_EXECUTION_ERROR;
}

int FS_FPGA_short_command(uint8_t code) {
    return active() ? FS_FPGA_ops.sendRaw(FS_FPGA_PATH_BUFFERED, 1, &code) : KR_E_EXECUTION_ERROR;
}

int FS_FPGA_writeRegister(int path, uint32_t reg, uint32_t length, const void *data) {
    return FS_FPGA_longCommand(path, FS_OP_WRITE_REGISTER, reg, length, data);
}

int FS_FPGA_setRegisterBits(int path, uint32_t reg, uint32_t mask) {
    return FS_FPGA_longCommand(path, FS_OP_SET_BITS, reg, 4, &mask);
}

int FS_FPGA_clearRegisterBits(int path, uint32_t reg, uint32_t mask) {
    return FS_FPGA_longCommand(path, FS_OP_CLEAR_BITS, reg, 4, &mask);
}

int FS_FPGA_writeRegisterBitfield(int path, uint32_t reg, int highBit, int lowBit, uint32_t value) {
    if (highBit < lowBit || highBit > 31 || lowBit < 0) return KR_E_EXECUTION_ERROR;
    int width = highBit - lowBit + 1;
    uint32_t fieldMask = width >= 32 ? 0xFFFFFFFFu : ((1u << width) - 1);
    int r = FS_FPGA_clearRegisterBits(path, reg, fieldMask << lowBit);
    if (r != 0) return r;
    uint32_t bits = (value & fieldMask) << lowBit;
    return bits ? FS_FPGA_setRegisterBits(path, reg, bits) : 0;
}

int FS_FPGA_readRegister(uint32_t condition, uint32_t reg, uint32_t length, void *buffer) {
    return active() ? FS_FPGA_ops.readRegister(condition, reg, length, buffer)
                    : KR_E_EXECUTION_ERROR;
}

int FS_FPGA_modifyRam(uint32_t ram, uint32_t address, uint32_t length, const void *data) {
    return active() ? FS_FPGA_ops.modifyRam(ram, address, length, data) : KR_E_EXECUTION_ERROR;
}

// ---------------------------------------------------------------------------------------
// SPI

int FS_FPGA_SPI_send(int path, uint32_t word, uint32_t length, const void *data) {
    if (!active()) return KR_E_EXECUTION_ERROR;
    if (word & 0x100) return KR_E_EXECUTION_ERROR;  // opcodes are not SPI targets
    return FS_FPGA_ops.spiCommandClosed(path, word, length, data);
}

int FS_FPGA_longSpiWrite(int path, uint32_t word, uint32_t length, const void *data, int hold) {
    if (!active()) return KR_E_EXECUTION_ERROR;
    return hold ? FS_FPGA_ops.spiCommandOpen(path, word, length, data)
                : FS_FPGA_ops.spiCommandClosed(path, word, length, data);
}

int FS_FPGA_SPI_selectChip(int path, uint32_t word) {
    if (!active()) return KR_E_EXECUTION_ERROR;
    pthread_mutex_lock(&fsLink.immMutex);
    if (fsLink.chipSelected.load() && fsLink.selectedWord.load() == word) {
        pthread_mutex_unlock(&fsLink.immMutex);
        return 0;
    }
    bool imm = immediate(path);
    if (!imm && channelState().jumpPending.load()) {
        printd("FS_FPGA_selectChip() error: buffered stream path is busy (loop is active)\n");
        pthread_mutex_unlock(&fsLink.immMutex);
        return KR_E_EXECUTION_ERROR;
    }
    uint8_t cmd[3] = {
        (uint8_t)((imm ? FS_CMD_SPI_IMMEDIATE : FS_CMD_SPI_BUFFERED) | krspi_getBus(word)),
        (uint8_t)(FS_SPI_FLAG_SELECT | spiFlagBits(word)), (uint8_t)word};
    int r = imm ? sendImmLocked(cmd, sizeof(cmd), 0) : bufferedWrite(cmd, sizeof(cmd), 0);
    fsLink.chipSelected = 1;
    fsLink.selectedWord = word;
    pthread_mutex_unlock(&fsLink.immMutex);
    return r;
}

int FS_FPGA_SPI_deselectChip(int path) {
    if (!active()) return KR_E_EXECUTION_ERROR;
    pthread_mutex_lock(&fsLink.immMutex);
    bool imm = immediate(path);
    if (!imm && channelState().jumpPending.load()) {
        printd("FS_FPGA_deselectChip() error: buffered stream path is busy (loop is active)\n");
        pthread_mutex_unlock(&fsLink.immMutex);
        return KR_E_EXECUTION_ERROR;
    }
    uint8_t end = imm ? FS_CMD_SPI_END_IMMEDIATE : FS_CMD_SPI_END_BUFFERED;
    int r = imm ? sendImmLocked(&end, 1, 0) : bufferedWrite(&end, 1, 0);
    fsLink.chipSelected = 0;
    pthread_mutex_unlock(&fsLink.immMutex);
    return r;
}

int FS_FPGA_longSpiRead(int path, uint32_t word, uint32_t length, const void *tx, void *buffer) {
    if (!active()) return KR_E_EXECUTION_ERROR;
    if (!buffer) return KR_E_EXECUTION_ERROR;
    bool imm = immediate(path);
    if (imm && length <= FS_SPI_READ_CHUNK_MAX)
        return FS_FPGA_longSpiRead_atomicImm(word, length, tx, buffer);
    if (!imm) {
        FsFpgaChannel &ch = channelState();
        if (ch.jumpPending.load()) return KR_E_EXECUTION_ERROR;
        if (ch.throttle.load()) {
            printd("FS_FPGA_longSpiRead() error: buffered stream path is busy (throttled)\n");
            return KR_E_EXECUTION_ERROR;
        }
        if (ch.bufferedMode.load()) {
            printd("FS_FPGA_longSpiRead() error: buffered stream path is stopped\n");
            return KR_E_EXECUTION_ERROR;
        }
    } else {
        FS_FPGA_flush();
    }
    const uint8_t *t = (const uint8_t *)tx;
    uint8_t *out = (uint8_t *)buffer;
    uint32_t clock = krspi_getClockCode(word);
    if (clock < 5 && !fsLink.forceFastImmPath.load()) clock = 5;
    uint8_t bus = (uint8_t)krspi_getBus(word);
    uint8_t head[3] = {
        (uint8_t)((imm ? FS_CMD_SPI_IMMEDIATE : FS_CMD_SPI_BUFFERED) | bus),
        (uint8_t)((clock << FS_SPI_FLAG_CLOCK_SHIFT) | FS_SPI_FLAG_HOLD | spiFlagBits(word)),
        (uint8_t)word};
    pthread_mutex_lock(&fsLink.immMutex);
    int r = 0;
    uint8_t cmd[3 + 1 + FS_SPI_READ_CHUNK_MAX];
    uint32_t n = 0;
    memcpy(cmd, head, sizeof(head));
    n = sizeof(head);
    for (uint32_t done = 0; done < length;) {
        uint32_t k = std::min<uint32_t>(FS_SPI_READ_CHUNK_MAX, length - done);
        cmd[n++] =
            (imm ? FS_CMD_SPI_CHUNK_IMMEDIATE : FS_CMD_SPI_CHUNK_BUFFERED) | (uint8_t)(k - 1);
        for (uint32_t i = 0; i < k; i++)
            cmd[n++] = t ? t[length - 1 - done - i] : 0;
        if (imm) {
            r = sendImmLocked(cmd, n, 0);
        } else {
            r = bufferedWrite(cmd, n, 0);
            if (r == 0) r = FS_FPGA_flush();
        }
        n = 0;
        uint8_t got[FS_SPI_READ_CHUNK_MAX] = {};
        if (r == 0) r = readRegisterLocked(0, FS_REG_SPI_READ, k, got);
        if (r != 0) {
            printd("FS_FPGA_longSpiRead() error: err %d, address %d, length %d\n", r,
                   (int)(word & 0xFF), (int)length);
            break;
        }
        memcpy(out + length - done - k, got, k);
        done += k;
    }
    if (!fsLink.chipSelected.load()) {
        uint8_t end = imm ? FS_CMD_SPI_END_IMMEDIATE : FS_CMD_SPI_END_BUFFERED;
        if (imm) {
            sendImmLocked(&end, 1, 0);
        } else if (bufferedWrite(&end, 1, 0) == 0) {
            FS_FPGA_flush();
        }
    }
    pthread_mutex_unlock(&fsLink.immMutex);
    return r;
}

// One short read in a single immediate string, so that no other command comes between.
int FS_FPGA_longSpiRead_atomicImm(uint32_t word, uint32_t length, const void *tx, void *buffer) {
    if (!active()) return KR_E_EXECUTION_ERROR;
    if (!buffer || length == 0 || length > FS_SPI_READ_CHUNK_MAX) return KR_E_EXECUTION_ERROR;
    const uint8_t *t = (const uint8_t *)tx;
    uint8_t cmd[3 + 3 + 1 + FS_SPI_READ_CHUNK_MAX + 1 + 3];
    uint32_t n = 0;
    memcpy(cmd, immSpiBegin, sizeof(immSpiBegin));
    n += sizeof(immSpiBegin);
    uint32_t clock = krspi_getClockCode(word);
    if (clock < 5 && !fsLink.forceFastImmPath.load()) clock = 5;
    cmd[n++] = FS_CMD_SPI_IMMEDIATE | (uint8_t)krspi_getBus(word);
    cmd[n++] = (uint8_t)((clock << FS_SPI_FLAG_CLOCK_SHIFT) | FS_SPI_FLAG_HOLD | spiFlagBits(word));
    cmd[n++] = (uint8_t)word;
    cmd[n++] = FS_CMD_SPI_CHUNK_IMMEDIATE | (uint8_t)(length - 1);
    for (uint32_t i = 0; i < length; i++)
        cmd[n++] = t ? t[length - 1 - i] : 0;
    pthread_mutex_lock(&fsLink.immMutex);
    if (!fsLink.chipSelected.load()) cmd[n++] = FS_CMD_SPI_END_IMMEDIATE;
    memcpy(cmd + n, immSpiEnd, sizeof(immSpiEnd));
    n += sizeof(immSpiEnd);
    int r = sendImmLocked(cmd, n, 0);
    uint8_t got[FS_SPI_READ_CHUNK_MAX] = {};
    if (r == 0) r = readRegisterLocked(0, FS_REG_SPI_READ, length, got);
    pthread_mutex_unlock(&fsLink.immMutex);
    if (r == 0) memcpy(buffer, got, length);
    return r;
}

// ---------------------------------------------------------------------------------------
// Double buffer hand-over

int FS_FPGA_flush() {
    if (!active()) return KR_E_EXECUTION_ERROR;
    pthread_mutex_lock(&fsLink.txMutex);
    transmitOneLocked("FS_FPGA_flush()");
    DOUBLE_BUFFER_flip(&fsLink.db);
    transmitOneLocked("FS_FPGA_flush()");
    if (fsLink.linkUp.load()) rt_dev_ioctl(krspi_getFd(), KRFS_IOC_FLUSH_END);
    pthread_mutex_unlock(&fsLink.txMutex);
    return 0;
}

int FS_FPGA_flip() {
    if (!active()) return KR_E_EXECUTION_ERROR;
    pthread_mutex_lock(&fsLink.txMutex);
    transmitOneLocked("FS_FPGA_flip()");
    DOUBLE_BUFFER_flip(&fsLink.db);
    transmitOneLocked("FS_FPGA_flip()");
    pthread_mutex_unlock(&fsLink.txMutex);
    return 0;
}

int FS_FPGA_setFlushModeNever() {
    if (!active()) return KR_E_EXECUTION_ERROR;
    DOUBLE_BUFFER_setFlipMode(&fsLink.db, 1);
    return 0;
}

int FS_FPGA_setFlushModeAlways() {
    if (!active()) return KR_E_EXECUTION_ERROR;
    DOUBLE_BUFFER_setFlipMode(&fsLink.db, 0);
    return FS_FPGA_flip();
}

// ---------------------------------------------------------------------------------------
// Channels

int FS_FPGA_selectChannel(int channel) {
    return active() ? FS_FPGA_ops.selectChannel(channel) : KR_E_EXECUTION_ERROR;
}

int FS_FPGA_getChannel() {
    return active() ? FS_FPGA_ops.getChannel() : KR_E_EXECUTION_ERROR;
}

int FS_FPGA_lockChannelForThread(int channel) {
    return active() ? FS_FPGA_ops.lockChannelForThread(channel) : KR_E_EXECUTION_ERROR;
}

int FS_FPGA_unlockChannelForThread(int channel) {
    return active() ? FS_FPGA_ops.unlockChannelForThread(channel) : KR_E_EXECUTION_ERROR;
}

int FS_FPGA_enableForceFastImmPath() {
    if (!active()) return KR_E_EXECUTION_ERROR;
    fsLink.forceFastImmPath = 1;
    return 0;
}

int FS_FPGA_disableForceFastImmPath() {
    if (!active()) return KR_E_EXECUTION_ERROR;
    fsLink.forceFastImmPath = 0;
    return 0;
}

// ---------------------------------------------------------------------------------------
// Link

int FS_FPGA_sendImm(const void *bytes, uint32_t length, int replyExpected) {
    if (!active()) return KR_E_EXECUTION_ERROR;
    pthread_mutex_lock(&fsLink.immMutex);
    int r = sendImmLocked(bytes, length, replyExpected);
    pthread_mutex_unlock(&fsLink.immMutex);
    return r;
}

int FS_FPGA_restartRx() {
    if (!active()) return KR_E_EXECUTION_ERROR;
    printd("FS_FPGA_restartRx()");
    return rt_dev_ioctl(krspi_getFd(), KRFS_IOC_RESTART_RX) < 0 ? KR_E_EXECUTION_ERROR : 0;
}

int FS_FPGA_isLinkUp() {
    return active() && fsLink.linkUp.load() ? 1 : 0;
}

uint32_t FS_FPGA_getErrorRate() {
    return fsLink.errorRate.load();
}

void FS_FPGA_printInfo() {
    if (active()) FS_FPGA_ops.printInfo();
}

int FS_FPGA_isLogEnabled() {
    return logEnabled.load();
}

int FS_FPGA_enableLog() {
    logEnabled = 1;
    return 0;
}

int FS_FPGA_disableLog() {
    logEnabled = 0;
    return 0;
}
