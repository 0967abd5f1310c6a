// The device function table: every instrument operation is a named slot, Device_<operation>,
// holding a function. Modules fill the slots they implement at start-up; everything else
// calls through the slots. A slot is never null: until filled it holds the fallback of its
// signature, which counts the call and answers 0. Getters of quantities get a pointer to a
// zero value; getters of companion records (sweep, trigger, status block...) get null, so
// that a caller sees the record as missing rather than writing into a shared dummy.
//
// Context: slots are filled on the start-up thread before the other threads run; afterwards
// they are only read.
#pragma once

#include <cstdint>
#include <type_traits>

#include "device/krfreq.h"
#include "device/krquantity.h"
#include "scpi/scpi_status.h"

struct Device;

extern uint32_t Device_unregisteredFunctionCalls;
int Device_unregisteredFunction();

template <class R, class... A>
R Device_fallback(A...) {
    int r = Device_unregisteredFunction();
    if constexpr (std::is_pointer_v<R>) {
        using P = std::remove_cv_t<std::remove_pointer_t<R>>;
        (void)r;
        if constexpr (std::is_void_v<P> || (std::is_class_v<P> && !std::is_same_v<P, KrFreq>)) {
            return nullptr;
        } else {
            // Callers copy quantities through returned pointers at once: a zero, never null.
            static P zero{};
            return &zero;
        }
    } else if constexpr (std::is_void_v<R>) {
        (void)r;
    } else {
        return static_cast<R>(r);
    }
}

// Companion records the slots hand out; their modules define them.
struct Sweep;
struct SweepSource;
struct Trigger;
struct Chirp;
struct Flatness;
struct Krcont;
struct PulseMod;
struct FuncoutBoard;
struct FuncoutSystem;
struct FsDacMod;
struct AD5643;
struct AD9164;
struct DigitalAlc;
struct Calibration;
struct SelftestParam;

// One entry of a measurement test set: type 0 is an offset carrying its value, 1 to 7 the
// entry kinds.
struct AutomeasureTestSetEntry {
    int32_t type;
    int32_t value;
};

#define DEVICE_SLOT(ret, name, ...) extern ret (*Device_##name)(__VA_ARGS__);
#include "device/device_slots.def"
#undef DEVICE_SLOT

// The measurement operations, a table of the same kind (no module of this build fills them).
#define AUTOMEASURE_SLOT(ret, name, ...) extern ret (*Automeasure_##name)(__VA_ARGS__);
#include "device/device_automeasure.def"
#undef AUTOMEASURE_SLOT

// 1 when the slot holds something other than its fallback.
#define DEVICE_ISREG(name) (Device_isRegistered_##name())
#define DEVICE_SLOT(ret, name, ...) bool Device_isRegistered_##name();
#include "device/device_slots.def"
#undef DEVICE_SLOT

#define AUTOMEASURE_ISREG(name) (Automeasure_isRegistered_##name())
#define AUTOMEASURE_SLOT(ret, name, ...) bool Automeasure_isRegistered_##name();
#include "device/device_automeasure.def"
#undef AUTOMEASURE_SLOT

struct DeviceSlotInfo {
    const char *name;  // "Device_<operation>"
    bool (*isRegistered)();
    const void *slot;  // the slot's address
};
extern const DeviceSlotInfo Device_slotTable[];
extern const int Device_slotCount;
extern const DeviceSlotInfo Automeasure_slotTable[];
extern const int Automeasure_slotCount;

// 1 or 0 for the address of a slot of the device or measurement table, -1 for any other
// address.
int Device_isSlotAddressRegistered(const void *slot);

// Whether the fitted hardware performs the operation of a slot: registered and, when the slot
// only forwards to a board, provided by the fitted board. A device that forwards installs the
// check, which answers -1 for a slot it does not forward.
typedef int (*DeviceForwardCheck)(const void *slot);
void Device_setForwardCheck(DeviceForwardCheck check);
int Device_isSlotAddressProvided(const void *slot);

// The output-board generation fitted (from the device configuration): the analog boards
// unless the 20 GHz family reports revision 3B or newer. No digital boards exist.
int isOrbxxxgOutAnalog();
int isOrbxxxgOut3B();
int isOrbxxxgOutDigital();

// Variant dispatch (plain functions, not slots): the generation decides which channel device
// creates, builds and updates the record.
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
