// W25Q serial flash.
#include "hw/w25q.h"

#include <time.h>

#include <algorithm>
#include <cstring>

#include "core/printd.h"
#include "hw/krspi.h"
#include "scpi/scpi_errorcodes.h"

namespace {

constexpr uint32_t readChunk = 256;

int command(W25Q *f, uint8_t op) {
    return krspi_sendWord(f->slave, KRSPI_OPT_NONE, op, 1);
}

// A command with a 24-bit address and optional data, one transfer.
int addressed(W25Q *f, uint8_t op, uint32_t address, const uint8_t *data, uint32_t n) {
    uint8_t buffer[4 + W25Q_PAGE_BYTES];
    uint32_t len = 4 + n;
    const uint8_t head[4] = {op, (uint8_t)(address >> 16), (uint8_t)(address >> 8),
                             (uint8_t)address};
    for (uint32_t i = 0; i < len; i++)  // the first wire byte is the last of the buffer
        buffer[len - 1 - i] = i < 4 ? head[i] : data[i - 4];
    return krspiSend(f->slave, len, KRSPI_OPT_NONE, buffer);
}

int eraseAt(W25Q *f, uint8_t op, uint32_t address) {
    int r = command(f, W25Q_WRITE_ENABLE);
    r = r ? r : addressed(f, op, address, nullptr, 0);
    return r ? r : W25Q_waitReady(f, 5000);
}

}  // namespace

int W25Q_init(W25Q *flash, uint32_t slave) {
    krspi_addSlave(slave, "W25Q");
    flash->slave = slave;
    flash->jedec = 0;
    int r = W25Q_readId(flash, &flash->jedec);
    if (r) return r;
    if (flash->jedec == 0 || flash->jedec == 0xFFFFFF) {
        printd("W25Q_init(): no flash answers at slave %u\n", (unsigned)(slave & 0xFF));
        return KR_E_HARDWARE_MISSING;
    }
    return 0;
}

int W25Q_readId(W25Q *flash, uint32_t *jedec) {
    uint64_t v = 0;
    int r = krspi_recvWord(flash->slave, (uint32_t)W25Q_JEDEC_ID << 24, 4, KRSPI_OPT_NONE, &v);
    *jedec = (uint32_t)v & 0xFFFFFF;
    return r;
}

int W25Q_readStatus1(W25Q *flash, uint8_t *status) {
    uint64_t v = 0;
    int r = krspi_recvWord(flash->slave, (uint32_t)W25Q_READ_STATUS1 << 24, 2, KRSPI_OPT_NONE, &v);
    *status = (uint8_t)v;
    return r;
}

int W25Q_readStatus2(W25Q *flash, uint8_t *status) {
    uint64_t v = 0;
    int r = krspi_recvWord(flash->slave, (uint32_t)W25Q_READ_STATUS2 << 24, 2, KRSPI_OPT_NONE, &v);
    *status = (uint8_t)v;
    return r;
}

int W25Q_waitReady(W25Q *flash, uint32_t timeoutMs) {
    for (uint32_t waited = 0;; waited++) {
        uint8_t s = 0;
        int r = W25Q_readStatus1(flash, &s);
        if (r) return r;
        if (!(s & W25Q_STATUS_BUSY)) return 0;
        if (waited >= timeoutMs) return KR_E_TIMEOUT;
        timespec ms = {0, 1000000};
        nanosleep(&ms, nullptr);
    }
}

int W25Q_readData(W25Q *flash, uint32_t address, uint32_t length, uint8_t *out) {
    uint8_t buffer[4 + readChunk];
    for (uint32_t done = 0; done < length;) {
        uint32_t n = std::min(readChunk, length - done);
        uint32_t a = address + done;
        uint32_t cmd = (uint32_t)W25Q_READ_DATA << 24 | (a & 0xFFFFFF);
        int r = krspiRecv(flash->slave, cmd, 4 + n, KRSPI_OPT_NONE, buffer);
        if (r) return r;
        for (uint32_t k = 0; k < n; k++)  // data byte k came in at wire position 4 + k
            out[done + k] = buffer[n - 1 - k];
        done += n;
    }
    return 0;
}

int W25Q_pageProgram(W25Q *flash, uint32_t address, uint32_t length, const uint8_t *data) {
    if (length == 0) return 0;
    if (length > W25Q_PAGE_BYTES || !data) return KR_E_EXECUTION_ERROR;
    int r = command(flash, W25Q_WRITE_ENABLE);
    r = r ? r : addressed(flash, W25Q_PAGE_PROGRAM, address, data, length);
    return r ? r : W25Q_waitReady(flash, 100);
}

int W25Q_sectorErase(W25Q *flash, uint32_t address) {
    return eraseAt(flash, W25Q_SECTOR_ERASE, address);
}

int W25Q_blockErase(W25Q *flash, uint32_t address) {
    return eraseAt(flash, W25Q_BLOCK_ERASE, address);
}

int W25Q_chipErase(W25Q *flash) {
    int r = command(flash, W25Q_WRITE_ENABLE);
    r = r ? r : command(flash, W25Q_CHIP_ERASE);
    return r ? r : W25Q_waitReady(flash, 200000);
}

int W25Q_writeBinary(W25Q *flash, uint32_t address, const uint8_t *data, uint32_t length) {
    if (length == 0) return 0;
    if (!data || address + length > W25Q_CAPACITY || address + length < address)
        return KR_E_EXECUTION_ERROR;
    uint32_t first = address & ~(W25Q_SECTOR_BYTES - 1);
    for (uint32_t s = first; s < address + length; s += W25Q_SECTOR_BYTES) {
        int r = W25Q_sectorErase(flash, s);
        if (r) return r;
    }
    for (uint32_t done = 0; done < length;) {
        uint32_t a = address + done;
        uint32_t n = std::min(length - done, W25Q_PAGE_BYTES - (a & (W25Q_PAGE_BYTES - 1)));
        int r = W25Q_pageProgram(flash, a, n, data + done);
        if (r) return r;
        done += n;
    }
    return 0;
}

int W25Q_compareBinary(W25Q *flash, uint32_t address, const uint8_t *data, uint32_t length) {
    uint8_t chunk[readChunk];
    for (uint32_t done = 0; done < length;) {
        uint32_t n = std::min(readChunk, length - done);
        int r = W25Q_readData(flash, address + done, n, chunk);
        if (r) return r;
        if (memcmp(chunk, data + done, n) != 0) return 1;
        done += n;
    }
    return 0;
}
