#include "device/device.h"

#include <cstdio>
#include <cstring>

#include "config/device_config.h"
#include "core/printd.h"
#include "device/analog_device.h"
#include "device/device_record.h"

uint32_t Device_unregisteredFunctionCalls = 0;

int Device_unregisteredFunction() {
    printd("WARNING: Calling an unregistered device function!\n");
    Device_unregisteredFunctionCalls++;
    return 0;
}

#define DEVICE_SLOT(ret, name, ...) \
    ret (*Device_##name)(__VA_ARGS__) = &Device_fallback<ret, ##__VA_ARGS__>;
#include "device/device_slots.def"
#undef DEVICE_SLOT

#define DEVICE_SLOT(ret, name, ...)                                   \
    bool Device_isRegistered_##name() {                               \
        return Device_##name != &Device_fallback<ret, ##__VA_ARGS__>; \
    }
#include "device/device_slots.def"
#undef DEVICE_SLOT

const DeviceSlotInfo Device_slotTable[] = {
#define DEVICE_SLOT(ret, name, ...) {"Device_" #name, &Device_isRegistered_##name, &Device_##name},
#include "device/device_slots.def"
#undef DEVICE_SLOT
};
const int Device_slotCount = sizeof(Device_slotTable) / sizeof(Device_slotTable[0]);

#define AUTOMEASURE_SLOT(ret, name, ...) \
    ret (*Automeasure_##name)(__VA_ARGS__) = &Device_fallback<ret, ##__VA_ARGS__>;
#include "device/device_automeasure.def"
#undef AUTOMEASURE_SLOT

#define AUTOMEASURE_SLOT(ret, name, ...)                                   \
    bool Automeasure_isRegistered_##name() {                               \
        return Automeasure_##name != &Device_fallback<ret, ##__VA_ARGS__>; \
    }
#include "device/device_automeasure.def"
#undef AUTOMEASURE_SLOT

const DeviceSlotInfo Automeasure_slotTable[] = {
#define AUTOMEASURE_SLOT(ret, name, ...) \
    {"Automeasure_" #name, &Automeasure_isRegistered_##name, &Automeasure_##name},
#include "device/device_automeasure.def"
#undef AUTOMEASURE_SLOT
};
const int Automeasure_slotCount = sizeof(Automeasure_slotTable) / sizeof(Automeasure_slotTable[0]);

int Device_isSlotAddressRegistered(const void *slot) {
    for (int i = 0; i < Device_slotCount; i++)
        if (Device_slotTable[i].slot == slot) return Device_slotTable[i].isRegistered() ? 1 : 0;
    for (int i = 0; i < Automeasure_slotCount; i++)
        if (Automeasure_slotTable[i].slot == slot)
            return Automeasure_slotTable[i].isRegistered() ? 1 : 0;
    return -1;
}

namespace {
DeviceForwardCheck forwardCheck = nullptr;
}

void Device_setForwardCheck(DeviceForwardCheck check) {
    forwardCheck = check;
}

int Device_isSlotAddressProvided(const void *slot) {
    if (Device_isSlotAddressRegistered(slot) != 1) return 0;
    int forwarded = forwardCheck ? forwardCheck(slot) : -1;
    return forwarded < 0 ? 1 : forwarded;
}

int Device_default_getSourceIndex(Device *) {
    return 1;
}

void Device_registerMandatoryFunctions() {
    if (!DEVICE_ISREG(getDefaultSourceIndex))
        Device_getDefaultSourceIndex = Device_default_getSourceIndex;
    if (!DEVICE_ISREG(getSourceIndexMin)) Device_getSourceIndexMin = Device_default_getSourceIndex;
    if (!DEVICE_ISREG(getSourceIndexMax)) Device_getSourceIndexMax = Device_default_getSourceIndex;
}

int isOrbxxxgOutAnalog() {
    return device_config_uses_ORBX20G_OUT_3BorNewer(0) ? 0 : 1;
}

int isOrbxxxgOut3B() {
    return isOrbxxxgOutAnalog() ? 0 : 1;
}

int isOrbxxxgOutDigital() {
    return 0;
}

Device *Device_create() {
    return isOrbxxxgOut3B() ? out3b_device_create() : analog_device_create();
}

int Device_init(Device *device) {
    return isOrbxxxgOut3B() ? out3b_device_init(device) : analog_device_init(device);
}

int Device_ioupdate() {
    return isOrbxxxgOut3B() ? out3b_device_ioupdate() : analog_device_ioupdate();
}

int Device_ioupdateTrigger(int flag) {
    return isOrbxxxgOut3B() ? out3b_device_ioupdateTrigger(flag)
                            : analog_device_ioupdateTrigger(flag);
}

namespace {
const char *recovery_getName(Device *device) {
    return device->modelName;
}
}  // namespace

void recovery_registerDeviceFunctions() {
    Device_getName = recovery_getName;
}

int recovery_device_init(Device *device) {
    snprintf(device->modelName, sizeof(device->modelName), "DEVICE");
    recovery_registerDeviceFunctions();
    return 0;
}

int getIdentificationString(char *buffer, int size, Device *device) {
    const char *name = DEVICE_ISREG(getName) ? Device_getName(device) : "undefined";
    int n = snprintf(buffer, (size_t)size, "%s,%s%s,%s,%s", "Korvane AG", name,
                     device_config_getModelNameExt_bracketed(), device_config_getSN(),
                     device_config_getFWVersion());
    if (n < 0) return 0;
    return n < size ? n : size - 1;
}
