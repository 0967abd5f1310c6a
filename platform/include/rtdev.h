// The registry of real-time devices behind rt_dev_open. A device is a name, a constant
// ops record and a context pointer handed to every op. The stand-ins of the drivers
// register themselves on first use; the hardware simulation may register in their place
// (a later registration under the same name wins for later opens).
#pragma once

#include <sys/types.h>

#include <cstddef>

struct RtDevOps {
    // Each op may be null: open/close then succeed, ioctl/read/write give -ENOSYS.
    int (*open)(void *context, int flags);
    int (*close)(void *context);
    int (*ioctl)(void *context, int request, void *arg);
    ssize_t (*read)(void *context, void *buffer, size_t size);
    ssize_t (*write)(void *context, const void *buffer, size_t size);
};

constexpr int RTDEV_NAME_LEN = 32;
constexpr int RTDEV_MAX_DEVICES = 16;
constexpr int RTDEV_MAX_OPEN = 64;

// 0, -EINVAL (bad name or ops), -ENOSPC (registry full).
int rtdev_register(const char *name, const RtDevOps *ops, void *context);
// Removes a registration; open descriptors keep working. 0 or -ENODEV.
int rtdev_unregister(const char *name);
// Puts the built-in stand-ins back in place of whatever was registered.
void rtdev_restoreDefaults();
