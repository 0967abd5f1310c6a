// The board function tables between the channel device and the board modules: one for the
// output boards (BOARD_ORBXXXG_OUT_<operation>) and one for the reference board
// (BOARD_ORBXXXG_REF_<operation>). A slot the fitted board's module does not fill answers -113;
// callers test optional operations with the ISREG macros first and treat a missing one as not
// supported by the fitted board.
//
// Context: filled by the board modules during start-up; read afterwards.
#pragma once

#include <cstdint>

#include "device/device.h"
#include "scpi/scpi_errorcodes.h"

struct OrbxxxgOutBoard;  // one per channel, owned by the channel device
struct OrbxxxgRefBoard;  // held in the device record

template <class... A>
int Board_fallback(A...) {
    return KR_E_UNDEFINED_HEADER;
}

#define BOARD_OUT_SLOT(name, ...) extern int (*BOARD_ORBXXXG_OUT_##name)(__VA_ARGS__);
#include "device/board_out_slots.def"
#undef BOARD_OUT_SLOT
#define BOARD_REF_SLOT(name, ...) extern int (*BOARD_ORBXXXG_REF_##name)(__VA_ARGS__);
#include "device/board_ref_slots.def"
#undef BOARD_REF_SLOT

#define BOARD_OUT_SLOT(name, ...) bool BOARD_ORBXXXG_OUT_isRegistered_##name();
#include "device/board_out_slots.def"
#undef BOARD_OUT_SLOT
#define BOARD_REF_SLOT(name, ...) bool BOARD_ORBXXXG_REF_isRegistered_##name();
#include "device/board_ref_slots.def"
#undef BOARD_REF_SLOT

// 1 when the slot holds something other than its fallback.
#define BOARD_ORBXXXG_OUT_ISREG(name) (BOARD_ORBXXXG_OUT_isRegistered_##name())
#define BOARD_ORBXXXG_REF_ISREG(name) (BOARD_ORBXXXG_REF_isRegistered_##name())

extern const DeviceSlotInfo BOARD_ORBXXXG_OUT_slotTable[];
extern const int BOARD_ORBXXXG_OUT_slotCount;
extern const DeviceSlotInfo BOARD_ORBXXXG_REF_slotTable[];
extern const int BOARD_ORBXXXG_REF_slotCount;
