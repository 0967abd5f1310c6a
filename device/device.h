// The device function table: every instrument operation is a named slot, Device_<operation>,
// holding a function. Modules fill the slots they implement at start-up; everything else
// calls through the slots. A slot is never null: until filled it holds the fallback of its
// signature, which counts the call and answers 0 (or points at a zero value).
#pragma once

#include <cstdint>
#include <type_traits>

#include "device/krfreq.h"
#include "device/krquantity.h"

struct Device;

extern uint32_t Device_unregisteredFunctionCalls;
int Device_unregisteredFunction();

template <class R, class... A>
R Device_fallback(A...) {
    int r = Device_unregisteredFunction();
    if constexpr (std::is_pointer_v<R>) {
        // Callers copy through returned pointers at once; give them a zero, never null.
        static std::remove_cv_t<std::remove_pointer_t<R>> zero{};
        (void)r;
        return &zero;
    } else if constexpr (std::is_void_v<R>) {
        (void)r;
    } else {
        return static_cast<R>(r);
    }
}

#define DEVICE_SLOT(ret, name, ...) extern ret (*Device_##name)(__VA_ARGS__);
#include "device/device_slots.def"
#undef DEVICE_SLOT

// 1 when the slot holds something other than its fallback.
#define DEVICE_ISREG(name) (Device_isRegistered_##name())
#define DEVICE_SLOT(ret, name, ...) bool Device_isRegistered_##name();
#include "device/device_slots.def"
#undef DEVICE_SLOT

struct DeviceSlotInfo {
    const char *name;  // "Device_<operation>"
    bool (*isRegistered)();
};
extern const DeviceSlotInfo Device_slotTable[];
extern const int Device_slotCount;

// Variant dispatch (plain functions, not slots).
Device *Device_create();
int Device_init(Device *device);
int Device_ioupdate();
int Device_ioupdateTrigger(int flag);

void Device_registerMandatoryFunctions();
int Device_default_getSourceIndex(Device *device);

// Fallback mode: only the name is served.
int recovery_device_init(Device *device);
void recovery_registerDeviceFunctions();

// "%s,%s%s,%s,%s": maker, model with extension, serial number, firmware version.
int getIdentificationString(char *buffer, int size, Device *device);
