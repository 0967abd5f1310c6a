// W25Q serial flash memory: status registers, identification, reads, page programs, sector,
// block and chip erase, and writing and comparing a binary. Main loop.
#pragma once

#include <cstdint>

#include "hw/w25q_registers.h"

struct W25Q {
    uint32_t slave;
    uint32_t jedec;  // identification read at init
};

// Registers the slave and reads the identification; -241 when no flash answers.
int W25Q_init(W25Q *flash, uint32_t slave);
int W25Q_readId(W25Q *flash, uint32_t *jedec);
int W25Q_readStatus1(W25Q *flash, uint8_t *status);
int W25Q_readStatus2(W25Q *flash, uint8_t *status);
// Waits while the chip is busy; -365 after timeoutMs.
int W25Q_waitReady(W25Q *flash, uint32_t timeoutMs);
int W25Q_readData(W25Q *flash, uint32_t address, uint32_t length, uint8_t *out);
// One page at most (the address's page: writing wraps within it).
int W25Q_pageProgram(W25Q *flash, uint32_t address, uint32_t length, const uint8_t *data);
int W25Q_sectorErase(W25Q *flash, uint32_t address);
int W25Q_blockErase(W25Q *flash, uint32_t address);
int W25Q_chipErase(W25Q *flash);
// Erases the sectors the range touches and programs it page by page.
int W25Q_writeBinary(W25Q *flash, uint32_t address, const uint8_t *data, uint32_t length);
// 0 when the flash holds exactly data, 1 when it differs, or a negative error.
int W25Q_compareBinary(W25Q *flash, uint32_t address, const uint8_t *data, uint32_t length);
