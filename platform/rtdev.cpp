// Named real-time devices and the descriptors handed out by rt_dev_open.
#include "rtdev.h"

#include <errno.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <mutex>

#include "gio_sim.h"
#include "rtnative.h"

namespace {

struct Device {
    char name[RTDEV_NAME_LEN];  // "" free
    const RtDevOps *ops;
    void *context;
};

struct OpenDevice {
    int fd;  // -1 free
    const RtDevOps *ops;
    void *context;
};

std::mutex registryLock;
Device devices[RTDEV_MAX_DEVICES];
OpenDevice opened[RTDEV_MAX_OPEN];
bool initialised = false;

Device *findLocked(const char *name) {
    for (Device &d : devices)
        if (d.name[0] && strcmp(d.name, name) == 0) return &d;
    return nullptr;
}

int registerLocked(const char *name, const RtDevOps *ops, void *context) {
    if (!name || !*name || strlen(name) >= RTDEV_NAME_LEN || !ops) return -EINVAL;
    Device *d = findLocked(name);
    if (!d) {
        for (Device &f : devices) {
            if (!f.name[0]) {
                d = &f;
                break;
            }
        }
    }
    if (!d) return -ENOSPC;
    strcpy(d->name, name);
    d->ops = ops;
    d->context = context;
    return 0;
}

void registerDefaultsLocked() {
    for (int i = 0; i < gio_sim_deviceCount(); i++)
        registerLocked(gio_sim_deviceName(i), gio_sim_ops(), (void *)(intptr_t)i);
}

void initLocked() {
    if (initialised) return;
    for (OpenDevice &o : opened)
        o.fd = -1;
    registerDefaultsLocked();
    initialised = true;
}

const char *bareName(const char *name) {
    return strncmp(name, "/dev/", 5) == 0 ? name + 5 : name;
}

bool lookupOpen(int fd, OpenDevice *out) {
    std::lock_guard<std::mutex> g(registryLock);
    initLocked();
    if (fd < 0) return false;
    for (OpenDevice &o : opened) {
        if (o.fd == fd) {
            *out = o;
            return true;
        }
    }
    return false;
}

}  // namespace

int rtdev_register(const char *name, const RtDevOps *ops, void *context) {
    std::lock_guard<std::mutex> g(registryLock);
    initLocked();
    return registerLocked(name, ops, context);
}

int rtdev_unregister(const char *name) {
    std::lock_guard<std::mutex> g(registryLock);
    initLocked();
    Device *d = name ? findLocked(name) : nullptr;
    if (!d) return -ENODEV;
    memset(d, 0, sizeof(*d));
    return 0;
}

void rtdev_restoreDefaults() {
    std::lock_guard<std::mutex> g(registryLock);
    initLocked();
    registerDefaultsLocked();
}

int rt_dev_open(const char *name, int flags) {
    if (!name) return -EINVAL;
    Device dev;
    {
        std::lock_guard<std::mutex> g(registryLock);
        initLocked();
        Device *d = findLocked(bareName(name));
        if (!d) return -ENODEV;
        dev = *d;
    }
    if (dev.ops->open) {
        int r = dev.ops->open(dev.context, flags);
        if (r < 0) return r;
    }
    // A real descriptor of its own, so that file locks and descriptor numbering behave as
    // with the driver's device node.
    int fd = memfd_create(dev.name, MFD_CLOEXEC);
    if (fd < 0) {
        int e = errno;
        if (dev.ops->close) dev.ops->close(dev.context);
        return -e;
    }
    std::lock_guard<std::mutex> g(registryLock);
    for (OpenDevice &o : opened) {
        if (o.fd < 0) {
            o = {fd, dev.ops, dev.context};
            return fd;
        }
    }
    close(fd);
    if (dev.ops->close) dev.ops->close(dev.context);
    return -EMFILE;
}

int rt_dev_ioctl(int fd, int request, ...) {
    va_list ap;
    va_start(ap, request);
    void *arg = va_arg(ap, void *);
    va_end(ap);
    OpenDevice o;
    if (!lookupOpen(fd, &o)) return -EBADF;
    if (!o.ops->ioctl) return -ENOSYS;
    return o.ops->ioctl(o.context, request, arg);
}

ssize_t rt_dev_read(int fd, void *buffer, size_t size) {
    OpenDevice o;
    if (!lookupOpen(fd, &o)) return -EBADF;
    if (!o.ops->read) return -ENOSYS;
    return o.ops->read(o.context, buffer, size);
}

ssize_t rt_dev_write(int fd, const void *buffer, size_t size) {
    OpenDevice o;
    if (!lookupOpen(fd, &o)) return -EBADF;
    if (!o.ops->write) return -ENOSYS;
    return o.ops->write(o.context, buffer, size);
}

int rt_dev_close(int fd) {
    OpenDevice o;
    {
        std::lock_guard<std::mutex> g(registryLock);
        initLocked();
        OpenDevice *slot = nullptr;
        for (OpenDevice &s : opened)
            if (fd >= 0 && s.fd == fd) slot = &s;
        if (!slot) return -EBADF;
        o = *slot;
        slot->fd = -1;
    }
    close(fd);
    return o.ops->close ? o.ops->close(o.context) : 0;
}
