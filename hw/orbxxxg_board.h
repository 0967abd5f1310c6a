// The board records the channel device owns and hands to the board function tables: one
// output-board record embedded in each channel, one reference-board record in the device.
// Each board module keeps its own record inside the storage of these (placement-constructed
// by its init), so the channel device does not depend on which module is fitted.
//
// Before calling the module's getBaseAddress and init, the channel device fills the common
// header: revision code, 0-based channel and the channel's I/O base address.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

constexpr size_t ORBXXXG_OUT_MODULE_BYTES = 8192;
constexpr size_t ORBXXXG_REF_MODULE_BYTES = 4096;

struct OrbxxxgLevel;

struct OrbxxxgOutBoard {
    uint32_t revisionCode;  // board generation and revision (module choice table)
    int32_t channel;        // 0-based output channel: selects the chips' slave addresses
    uint32_t ioBase;        // the channel's I/O base address
    uint32_t ioupdateAddress;
    OrbxxxgLevel *level;  // the module's level stages, set by its init
    alignas(16) unsigned char module[ORBXXXG_OUT_MODULE_BYTES];
};

struct OrbxxxgRefBoard {
    uint32_t revisionCode;  // 0 standard; low-noise: 1 = 2A, 2 = 2B, 3 = 2C
    alignas(16) unsigned char module[ORBXXXG_REF_MODULE_BYTES];
};

// The module's own record inside the storage. T must be trivially destructible.
template <class T>
T *orbxxxg_outRecord(OrbxxxgOutBoard *board) {
    static_assert(sizeof(T) <= ORBXXXG_OUT_MODULE_BYTES, "board record too large");
    return std::launder(reinterpret_cast<T *>(board->module));
}
template <class T>
T *orbxxxg_refRecord(OrbxxxgRefBoard *board) {
    static_assert(sizeof(T) <= ORBXXXG_REF_MODULE_BYTES, "board record too large");
    return std::launder(reinterpret_cast<T *>(board->module));
}
