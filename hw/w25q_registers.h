// W25Q serial flash: instructions and identification.
#pragma once

#include <cstdint>

constexpr uint8_t W25Q_WRITE_ENABLE = 0x06;
constexpr uint8_t W25Q_WRITE_DISABLE = 0x04;
constexpr uint8_t W25Q_READ_STATUS1 = 0x05;
constexpr uint8_t W25Q_READ_STATUS2 = 0x35;
constexpr uint8_t W25Q_WRITE_STATUS = 0x01;
constexpr uint8_t W25Q_READ_DATA = 0x03;
constexpr uint8_t W25Q_PAGE_PROGRAM = 0x02;
constexpr uint8_t W25Q_SECTOR_ERASE = 0x20;  // 4 KiB
constexpr uint8_t W25Q_BLOCK_ERASE = 0xD8;   // 64 KiB
constexpr uint8_t W25Q_CHIP_ERASE = 0xC7;
constexpr uint8_t W25Q_JEDEC_ID = 0x9F;
constexpr uint8_t W25Q_STATUS_BUSY = 0x01;
constexpr uint8_t W25Q_STATUS_WEL = 0x02;
constexpr uint32_t W25Q_PAGE_BYTES = 256;
constexpr uint32_t W25Q_SECTOR_BYTES = 4096;
constexpr uint32_t W25Q_BLOCK_BYTES = 65536;
constexpr uint32_t W25Q_CAPACITY = 16u << 20;  // W25Q128
constexpr uint32_t W25Q_JEDEC_VALUE = 0xEF4018;
