#include "device/device_board.h"

#define BOARD_OUT_SLOT(name, ...) \
    int (*BOARD_ORBXXXG_OUT_##name)(__VA_ARGS__) = &Board_fallback<__VA_ARGS__>;
#include "device/board_out_slots.def"
#undef BOARD_OUT_SLOT
#define BOARD_REF_SLOT(name, ...) \
    int (*BOARD_ORBXXXG_REF_##name)(__VA_ARGS__) = &Board_fallback<__VA_ARGS__>;
#include "device/board_ref_slots.def"
#undef BOARD_REF_SLOT

#define BOARD_OUT_SLOT(name, ...)                                        \
    bool BOARD_ORBXXXG_OUT_isRegistered_##name() {                       \
        return BOARD_ORBXXXG_OUT_##name != &Board_fallback<__VA_ARGS__>; \
    }
#include "device/board_out_slots.def"
#undef BOARD_OUT_SLOT
#define BOARD_REF_SLOT(name, ...)                                        \
    bool BOARD_ORBXXXG_REF_isRegistered_##name() {                       \
        return BOARD_ORBXXXG_REF_##name != &Board_fallback<__VA_ARGS__>; \
    }
#include "device/board_ref_slots.def"
#undef BOARD_REF_SLOT

const DeviceSlotInfo BOARD_ORBXXXG_OUT_slotTable[] = {
#define BOARD_OUT_SLOT(name, ...) \
    {"BOARD_ORBXXXG_OUT_" #name, &BOARD_ORBXXXG_OUT_isRegistered_##name, &BOARD_ORBXXXG_OUT_##name},
#include "device/board_out_slots.def"
#undef BOARD_OUT_SLOT
};
const int BOARD_ORBXXXG_OUT_slotCount =
    sizeof(BOARD_ORBXXXG_OUT_slotTable) / sizeof(BOARD_ORBXXXG_OUT_slotTable[0]);

const DeviceSlotInfo BOARD_ORBXXXG_REF_slotTable[] = {
#define BOARD_REF_SLOT(name, ...) \
    {"BOARD_ORBXXXG_REF_" #name, &BOARD_ORBXXXG_REF_isRegistered_##name, &BOARD_ORBXXXG_REF_##name},
#include "device/board_ref_slots.def"
#undef BOARD_REF_SLOT
};
const int BOARD_ORBXXXG_REF_slotCount =
    sizeof(BOARD_ORBXXXG_REF_slotTable) / sizeof(BOARD_ORBXXXG_REF_slotTable[0]);
