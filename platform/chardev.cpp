// The simulated character devices behind /dev/usbtmc, /dev/gpib and /dev/krhc (see
// chardev.h for the design and the socket framing). The five POSIX calls defined here
// forward every descriptor that is not a simulated device to the C library unchanged.
//
// Both names of open are defined here, so this file must not map open to open64 as the
// 64-bit file-offset build of 32-bit systems does.
#undef _FILE_OFFSET_BITS
#include "chardev.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <string>

namespace {

// ---- The C library's own calls ------------------------------------------------------------

struct RealCalls {
    int (*open)(const char *, int, ...);
    int (*open64)(const char *, int, ...);
    int (*close)(int);
    ssize_t (*read)(int, void *, size_t);
    ssize_t (*write)(int, const void *, size_t);
    int (*ioctl)(int, unsigned long, ...);
};

RealCalls &real() {
    static RealCalls calls = [] {
        RealCalls c;
        c.open = reinterpret_cast<int (*)(const char *, int, ...)>(dlsym(RTLD_NEXT, "open"));
        c.open64 = reinterpret_cast<int (*)(const char *, int, ...)>(dlsym(RTLD_NEXT, "open64"));
        if (!c.open64) c.open64 = c.open;
        c.close = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "close"));
        c.read = reinterpret_cast<ssize_t (*)(int, void *, size_t)>(dlsym(RTLD_NEXT, "read"));
        c.write =
            reinterpret_cast<ssize_t (*)(int, const void *, size_t)>(dlsym(RTLD_NEXT, "write"));
        c.ioctl = reinterpret_cast<int (*)(int, unsigned long, ...)>(dlsym(RTLD_NEXT, "ioctl"));
        return c;
    }();
    return calls;
}

// ---- Device records -------------------------------------------------------------------------

enum class Kind { Usbtmc, Gpib, Krhc };

struct Frame {
    char type;
    uint8_t flags;
    std::string data;
    size_t offset;
};

constexpr size_t kMaxInput = 1 << 20;       // a host that floods further is dropped
constexpr size_t kMaxBacklog = 256 * 1024;  // panel updates kept for the next panel
constexpr int kMaxDevices = 16;             // distinct device paths open at once
constexpr int kMaxFds = 4096;

struct Device {
    Kind kind;
    char path[PATH_MAX];  // the device path the firmware opened
    char sockPath[PATH_MAX];
    pthread_mutex_t lock;  // everything below
    pthread_cond_t changed;
    pthread_mutex_t sendLock;  // one frame at a time on the client socket
    int refs;                  // open descriptors
    int users;                 // threads inside a call on this device
    bool inUse;
    int listenFd, clientFd, wakeFd;
    pthread_t thread;
    uint64_t hostGeneration;  // counts connections and disconnections
    std::deque<Frame> input;
    size_t inputBytes;
    uint64_t credit;
    bool clearPending;
    uint8_t stb;
    std::string stbHistory;        // published since the host last asked, newest kept
    std::deque<uint16_t> signals;  // source << 8 | mask
    int txPort, rxPort;
    std::string backlog;
    bool panelGone;  // krhc: the panel client closed; writes fail until another connects
    int fds[4];
    bool readable;
};

Device devices[kMaxDevices];
pthread_mutex_t tableLock = PTHREAD_MUTEX_INITIALIZER;
std::atomic<Device *> fdTable[kMaxFds];

Device *deviceOf(int fd) {
    if (fd < 0 || fd >= kMaxFds) return nullptr;
    return fdTable[fd].load(std::memory_order_acquire);
}

bool kindOf(const char *path, Kind *kind) {
    static const struct {
        const char *suffix;
        Kind kind;
    } names[] = {
        {"/dev/usbtmc", Kind::Usbtmc}, {"/dev/gpib", Kind::Gpib}, {"/dev/krhc", Kind::Krhc}};
    size_t n = strlen(path);
    for (const auto &name : names) {
        size_t s = strlen(name.suffix);
        // Only behind a non-empty root prefix: the instrument's own devices stay untouched.
        if (n > s && strcmp(path + n - s, name.suffix) == 0) {
            *kind = name.kind;
            return true;
        }
    }
    return false;
}

void timespecAfterMs(struct timespec *ts, int ms) {
    clock_gettime(CLOCK_MONOTONIC, ts);
    ts->tv_sec += ms / 1000;
    ts->tv_nsec += (long)(ms % 1000) * 1000000L;
    if (ts->tv_nsec >= 1000000000L) {
        ts->tv_sec++;
        ts->tv_nsec -= 1000000000L;
    }
}

// dev->lock held. The descriptors are readable while the firmware has something to read.
void updateReadiness(Device *dev) {
    bool want = !dev->input.empty() || !dev->signals.empty() || dev->clearPending;
    if (want == dev->readable) return;
    dev->readable = want;
    for (int fd : dev->fds) {
        if (fd < 0) continue;
        uint64_t v = 1;
        if (want) {
            (void)real().write(fd, &v, sizeof(v));
        } else {
            (void)real().read(fd, &v, sizeof(v));
        }
    }
}

// ---- The client socket ----------------------------------------------------------------------

// Sends all bytes within timeoutMs (negative: no limit). Returns false on failure.
bool sendAll(int fd, const char *p, size_t n, int timeoutMs) {
    struct timespec deadline;
    timespecAfterMs(&deadline, timeoutMs < 0 ? 0 : timeoutMs);
    while (n > 0) {
        ssize_t w = send(fd, p, n, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (w > 0) {
            p += w;
            n -= (size_t)w;
            continue;
        }
        if (w < 0 && errno == EINTR) continue;
        if (w < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
        int wait = -1;
        if (timeoutMs >= 0) {
            struct timespec now;
            clock_gettime(CLOCK_MONOTONIC, &now);
            long left =
                (deadline.tv_sec - now.tv_sec) * 1000 + (deadline.tv_nsec - now.tv_nsec) / 1000000L;
            if (left <= 0) return false;
            wait = (int)left;
        }
        struct pollfd pfd = {fd, POLLOUT, 0};
        if (poll(&pfd, 1, wait) < 0 && errno != EINTR) return false;
    }
    return true;
}

void frameHeader(char *h, char type, uint8_t flags, size_t len) {
    h[0] = type;
    h[1] = (char)flags;
    h[2] = (char)((len >> 8) & 0xFF);
    h[3] = (char)(len & 0xFF);
}

// Appends frames carrying bytes (split at the 16-bit length) to out; END goes with the last.
void encodeData(std::string *out, const char *p, size_t n, uint8_t flags) {
    do {
        size_t part = n > 0xFFFF ? 0xFFFF : n;
        char h[4];
        frameHeader(h, CHARDEV_FRAME_DATA, part == n ? flags : (uint8_t)(flags & ~CHARDEV_FLAG_END),
                    part);
        out->append(h, 4);
        out->append(p, part);
        p += part;
        n -= part;
    } while (n > 0);
}

// Sends an encoded block to the current client. Returns false when there is none or it did
// not take the bytes in time.
bool sendToClient(Device *dev, int clientFd, const std::string &bytes, int timeoutMs) {
    if (clientFd < 0) return false;
    pthread_mutex_lock(&dev->sendLock);
    bool ok = sendAll(clientFd, bytes.data(), bytes.size(), timeoutMs);
    pthread_mutex_unlock(&dev->sendLock);
    return ok;
}

void sendSmallFrame(Device *dev, int clientFd, char type, const char *payload, size_t n) {
    std::string f(4, 0);
    frameHeader(&f[0], type, 0, n);
    f.append(payload, n);
    sendToClient(dev, clientFd, f, CHARDEV_HC_WRITE_TIMEOUT_MS);
}

// dev->lock held.
void dropClient(Device *dev) {
    if (dev->clientFd < 0) return;
    shutdown(dev->clientFd, SHUT_RDWR);
    real().close(dev->clientFd);
    dev->clientFd = -1;
    dev->credit = 0;
    dev->hostGeneration++;
    pthread_cond_broadcast(&dev->changed);
}

bool recvAll(int fd, char *p, size_t n) {
    while (n > 0) {
        ssize_t r = recv(fd, p, n, 0);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        p += r;
        n -= (size_t)r;
    }
    return true;
}

// Driver thread: takes one frame from the client and applies it. Returns false when the
// client is gone.
bool takeFrame(Device *dev, int fd) {
    char h[4];
    if (!recvAll(fd, h, 4)) return false;
    size_t len = ((size_t)(uint8_t)h[2] << 8) | (uint8_t)h[3];
    std::string payload(len, 0);
    if (len > 0 && !recvAll(fd, &payload[0], len)) return false;
    Frame frame = {h[0], (uint8_t)h[1], std::move(payload), 0};

    pthread_mutex_lock(&dev->lock);
    bool keep = true;
    switch (frame.type) {
        case CHARDEV_FRAME_DATA:
            if (dev->inputBytes + len > kMaxInput) {
                keep = false;  // flooding: a bus would have stalled the sender long ago
                break;
            }
            if (len == 0 && !(frame.flags & CHARDEV_FLAG_END)) break;
            dev->inputBytes += len;
            dev->input.push_back(std::move(frame));
            break;
        case CHARDEV_FRAME_TRIGGER:
            if (dev->kind == Kind::Gpib) dev->input.push_back(std::move(frame));
            break;
        case CHARDEV_FRAME_SIGNAL:
            if (dev->kind == Kind::Gpib && len >= 2)
                dev->signals.push_back(
                    (uint16_t)((uint8_t)frame.data[0] << 8 | (uint8_t)frame.data[1]));
            break;
        case CHARDEV_FRAME_CLEAR:
            if (dev->kind == Kind::Krhc) break;
            dev->input.clear();
            dev->inputBytes = 0;
            dev->clearPending = true;
            break;
        case CHARDEV_FRAME_READ:
            if (len >= 4)
                dev->credit +=
                    (uint32_t)((uint8_t)frame.data[0] << 24 | (uint8_t)frame.data[1] << 16 |
                               (uint8_t)frame.data[2] << 8 | (uint8_t)frame.data[3]);
            break;
        case CHARDEV_FRAME_SERIAL_POLL: {
            char stb = (char)dev->stb;
            int client = dev->clientFd;
            pthread_mutex_unlock(&dev->lock);
            sendSmallFrame(dev, client, CHARDEV_FRAME_SERIAL_POLL, &stb, 1);
            return true;
        }
        case CHARDEV_FRAME_STB_HISTORY: {
            std::string history;
            history.swap(dev->stbHistory);
            int client = dev->clientFd;
            pthread_mutex_unlock(&dev->lock);
            sendSmallFrame(dev, client, CHARDEV_FRAME_STB_HISTORY, history.data(), history.size());
            return true;
        }
        default:
            break;
    }
    updateReadiness(dev);
    pthread_cond_broadcast(&dev->changed);
    pthread_mutex_unlock(&dev->lock);
    return keep;
}

void *driverThread(void *arg) {
    Device *dev = static_cast<Device *>(arg);
    for (;;) {
        pthread_mutex_lock(&dev->lock);
        int client = dev->clientFd;
        pthread_mutex_unlock(&dev->lock);
        struct pollfd pfd[3] = {
            {dev->wakeFd, POLLIN, 0}, {dev->listenFd, POLLIN, 0}, {client, POLLIN, 0}};
        if (poll(pfd, client >= 0 ? 3 : 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (pfd[0].revents) break;  // the device is being closed
        if (pfd[1].revents & POLLIN) {
            int fd = accept4(dev->listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                pthread_mutex_lock(&dev->lock);
                dropClient(dev);  // the newest client wins
                dev->clientFd = fd;
                dev->panelGone = false;
                dev->hostGeneration++;
                std::string backlog;
                backlog.swap(dev->backlog);
                pthread_mutex_unlock(&dev->lock);
                if (!backlog.empty() &&
                    !sendToClient(dev, fd, backlog, CHARDEV_HC_WRITE_TIMEOUT_MS)) {
                    pthread_mutex_lock(&dev->lock);
                    if (dev->clientFd == fd) dropClient(dev);
                    pthread_mutex_unlock(&dev->lock);
                }
            }
            continue;
        }
        if (client >= 0 && pfd[2].revents) {
            if (!takeFrame(dev, client)) {
                pthread_mutex_lock(&dev->lock);
                if (dev->clientFd == client) {
                    dropClient(dev);
                    // A panel that went away takes no more updates, as on the real line.
                    if (dev->kind == Kind::Krhc) dev->panelGone = true;
                }
                pthread_mutex_unlock(&dev->lock);
            }
        }
    }
    return nullptr;
}

// tableLock held. Creates the device's socket and driver thread.
Device *startDevice(const char *path, Kind kind) {
    Device *dev = nullptr;
    for (Device &d : devices)
        if (!d.inUse && d.users == 0) {
            dev = &d;
            break;
        }
    if (!dev) {
        errno = EMFILE;
        return nullptr;
    }
    struct sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    if (snprintf(addr.sun_path, sizeof(addr.sun_path), "%s.sock", path) >=
        (int)sizeof(addr.sun_path)) {
        errno = ENAMETOOLONG;
        return nullptr;
    }
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return nullptr;
    unlink(addr.sun_path);  // left over from a process that ended without closing
    if (bind(fd, reinterpret_cast<struct sockaddr *>(&addr), sizeof(addr)) < 0 ||
        listen(fd, 4) < 0) {
        int e = errno;
        real().close(fd);
        errno = e;
        return nullptr;
    }
    static bool initialised[kMaxDevices];
    int index = (int)(dev - devices);
    if (!initialised[index]) {
        pthread_mutex_init(&dev->lock, nullptr);
        pthread_mutex_init(&dev->sendLock, nullptr);
        pthread_condattr_t attr;
        pthread_condattr_init(&attr);
        pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
        pthread_cond_init(&dev->changed, &attr);
        pthread_condattr_destroy(&attr);
        initialised[index] = true;
    }
    dev->kind = kind;
    snprintf(dev->path, sizeof(dev->path), "%s", path);
    snprintf(dev->sockPath, sizeof(dev->sockPath), "%s", addr.sun_path);
    dev->refs = 0;
    dev->inUse = true;
    dev->listenFd = fd;
    dev->clientFd = -1;
    dev->wakeFd = eventfd(0, EFD_CLOEXEC);
    dev->hostGeneration = 0;
    dev->input.clear();
    dev->inputBytes = 0;
    dev->credit = 0;
    dev->clearPending = false;
    dev->stb = 0;
    dev->stbHistory.clear();
    dev->signals.clear();
    dev->txPort = 0;
    dev->rxPort = 0;
    dev->backlog.clear();
    dev->panelGone = false;
    for (int &f : dev->fds)
        f = -1;
    dev->readable = false;
    // A small stack: the firmware locks all its memory, so a default 8 MiB stack would stay
    // resident for a thread that only shuffles frames.
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 256 * 1024);
    int created = pthread_create(&dev->thread, &attr, driverThread, dev);
    pthread_attr_destroy(&attr);
    if (created != 0) {
        real().close(fd);
        real().close(dev->wakeFd);
        unlink(dev->sockPath);
        dev->inUse = false;
        errno = EAGAIN;
        return nullptr;
    }
    return dev;
}

// tableLock held, refs reached 0.
void stopDevice(Device *dev) {
    // A client stopped in the middle of a frame must not keep the driver thread in recv.
    pthread_mutex_lock(&dev->lock);
    if (dev->clientFd >= 0) shutdown(dev->clientFd, SHUT_RDWR);
    pthread_mutex_unlock(&dev->lock);
    uint64_t v = 1;
    (void)real().write(dev->wakeFd, &v, sizeof(v));
    pthread_join(dev->thread, nullptr);
    pthread_mutex_lock(&dev->lock);
    dropClient(dev);
    real().close(dev->listenFd);
    real().close(dev->wakeFd);
    unlink(dev->sockPath);
    dev->inUse = false;
    pthread_cond_broadcast(&dev->changed);
    pthread_mutex_unlock(&dev->lock);
}

int openDevice(const char *path, Kind kind) {
    pthread_mutex_lock(&tableLock);
    Device *dev = nullptr;
    for (Device &d : devices)
        if (d.inUse && strcmp(d.path, path) == 0) dev = &d;
    if (!dev) dev = startDevice(path, kind);
    if (!dev) {
        pthread_mutex_unlock(&tableLock);
        return -1;
    }
    int slot = -1;
    for (int i = 0; i < 4; i++)
        if (dev->fds[i] < 0) slot = i;
    // Blocking: O_NONBLOCK stays the firmware's choice (fcntl), read by the calls below; the
    // counter is only read here while it is known to be set.
    int fd = slot < 0 ? -1 : eventfd(0, EFD_CLOEXEC);
    if (fd < 0 || fd >= kMaxFds) {
        if (fd >= 0) real().close(fd);
        if (dev->refs == 0) stopDevice(dev);
        pthread_mutex_unlock(&tableLock);
        errno = EMFILE;
        return -1;
    }
    pthread_mutex_lock(&dev->lock);
    dev->fds[slot] = fd;
    dev->refs++;
    if (dev->readable) {
        uint64_t v = 1;
        (void)real().write(fd, &v, sizeof(v));
    }
    pthread_mutex_unlock(&dev->lock);
    fdTable[fd].store(dev, std::memory_order_release);
    pthread_mutex_unlock(&tableLock);
    return fd;
}

int closeDevice(Device *dev, int fd) {
    pthread_mutex_lock(&tableLock);
    fdTable[fd].store(nullptr, std::memory_order_release);
    pthread_mutex_lock(&dev->lock);
    for (int &f : dev->fds)
        if (f == fd) f = -1;
    dev->refs--;
    pthread_cond_broadcast(&dev->changed);  // callers blocked on this descriptor give up
    bool last = dev->refs == 0;
    pthread_mutex_unlock(&dev->lock);
    // A select on the descriptor in another thread must return: make it readable first.
    uint64_t v = 1;
    (void)real().write(fd, &v, sizeof(v));
    if (last) stopDevice(dev);
    pthread_mutex_unlock(&tableLock);
    return real().close(fd);
}

// ---- Firmware calls -----------------------------------------------------------------------

bool stillOpen(int fd, Device *dev) {
    return deviceOf(fd) == dev;
}

// dev->lock held. Waits on the device; false when fd was closed meanwhile or the timeout
// (ms, negative: none) passed.
bool waitChange(Device *dev, int fd, const struct timespec *deadline) {
    if (deadline) {
        if (pthread_cond_timedwait(&dev->changed, &dev->lock, deadline) == ETIMEDOUT) return false;
    } else {
        pthread_cond_wait(&dev->changed, &dev->lock);
    }
    return stillOpen(fd, dev);
}

bool nonBlocking(int fd) {
    int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && (flags & O_NONBLOCK);
}

// dev->lock held. Takes data bytes from the input queue: stops at a frame with END (reported
// through *end), before a trigger when bytes were taken, and (krhc) at a change of port.
size_t takeInput(Device *dev, char *out, size_t n, bool *end, bool *trigger, int *port) {
    size_t count = 0;
    *end = *trigger = false;
    while (!dev->input.empty() && count < n) {
        Frame &f = dev->input.front();
        if (f.type == CHARDEV_FRAME_TRIGGER) {
            if (count == 0) {
                *trigger = true;
                dev->input.pop_front();
            }
            break;
        }
        int framePort = f.flags >> CHARDEV_PORT_SHIFT;
        if (port) {
            if (count == 0)
                *port = framePort;
            else if (framePort != *port)
                break;
        }
        size_t take = f.data.size() - f.offset;
        if (take > n - count) take = n - count;
        memcpy(out + count, f.data.data() + f.offset, take);
        f.offset += take;
        count += take;
        dev->inputBytes -= take;
        if (f.offset == f.data.size()) {
            bool e = f.flags & CHARDEV_FLAG_END;
            dev->input.pop_front();
            if (e) {
                *end = true;
                break;
            }
        }
    }
    return count;
}

ssize_t deviceRead(Device *dev, int fd, void *buf, size_t len) {
    pthread_mutex_lock(&dev->lock);
    dev->users++;
    ssize_t result = -1;
    int err = 0;
    bool gpib = dev->kind == Kind::Gpib;
    size_t n = gpib ? (len & GPIB_COUNT_MASK) : len;
    struct timespec deadline;
    if (dev->kind == Kind::Krhc) timespecAfterMs(&deadline, CHARDEV_HC_READ_TIMEOUT_MS);
    for (;;) {
        if (dev->clearPending) {
            dev->clearPending = false;
            err = ECANCELED;
            break;
        }
        if (!dev->input.empty() || (gpib && !dev->signals.empty())) {
            bool end, trigger;
            int port = dev->rxPort;
            size_t count = takeInput(dev, static_cast<char *>(buf), n, &end, &trigger,
                                     dev->kind == Kind::Krhc ? &port : nullptr);
            if (dev->kind == Kind::Krhc) dev->rxPort = port;
            uint32_t flags = 0;
            if (gpib) {
                if (end) flags |= GPIB_END;
                if (trigger) flags |= GPIB_GET;
                if (!dev->signals.empty()) flags |= GPIB_SIGNAL;
            }
            result = (ssize_t)(count | flags);
            break;
        }
        if (nonBlocking(fd)) {
            err = EAGAIN;
            break;
        }
        if (!waitChange(dev, fd, dev->kind == Kind::Krhc ? &deadline : nullptr)) {
            if (stillOpen(fd, dev)) {
                result = 0;  // read timeout of the serial line
            } else {
                err = EBADF;
            }
            break;
        }
    }
    updateReadiness(dev);
    dev->users--;
    pthread_mutex_unlock(&dev->lock);
    if (result < 0) errno = err;
    return result;
}

ssize_t deviceWrite(Device *dev, int fd, const void *buf, size_t len) {
    pthread_mutex_lock(&dev->lock);
    dev->users++;
    ssize_t result = -1;
    int err = 0;
    if (dev->kind == Kind::Krhc) {
        uint8_t flags = (uint8_t)(dev->txPort << CHARDEV_PORT_SHIFT);
        int client = dev->clientFd;
        if (client < 0 && dev->panelGone) {
            err = EIO;  // the panel client closed: nobody on the line
        } else if (client < 0) {
            // No panel client yet: the panel on the line takes it; a later client sees it.
            if (dev->backlog.size() + len + 4 <= kMaxBacklog)
                encodeData(&dev->backlog, static_cast<const char *>(buf), len, flags);
            result = (ssize_t)len;
        } else {
            pthread_mutex_unlock(&dev->lock);
            std::string frames;
            encodeData(&frames, static_cast<const char *>(buf), len, flags);
            bool ok = sendToClient(dev, client, frames, CHARDEV_HC_WRITE_TIMEOUT_MS);
            pthread_mutex_lock(&dev->lock);
            if (ok) {
                result = (ssize_t)len;
            } else {
                err = EIO;  // the panel stopped reading
                if (dev->clientFd == client) dropClient(dev);
            }
        }
    } else {
        bool more = dev->kind == Kind::Usbtmc && (len & USB_WRITE_MORE);
        size_t n = dev->kind == Kind::Usbtmc ? (len & ~(size_t)USB_WRITE_MORE) : len;
        bool hadHost = dev->clientFd >= 0;
        uint64_t generation = dev->hostGeneration;
        for (;;) {
            if (dev->clearPending) {
                dev->clearPending = false;
                err = ECANCELED;
                break;
            }
            if (hadHost && dev->hostGeneration != generation) {
                err = ESHUTDOWN;  // the host went away
                break;
            }
            if (!hadHost && dev->clientFd >= 0) {
                hadHost = true;
                generation = dev->hostGeneration;
            }
            if (dev->clientFd >= 0 && (dev->credit > 0 || n == 0)) {
                size_t take = n < dev->credit ? n : (size_t)dev->credit;
                dev->credit -= take;
                const char *p = static_cast<const char *>(buf);
                bool last = take == n;
                bool end =
                    last && (dev->kind == Kind::Usbtmc ? !more : (take > 0 && p[take - 1] == '\n'));
                int client = dev->clientFd;
                pthread_mutex_unlock(&dev->lock);
                std::string frames;
                encodeData(&frames, p, take, end ? CHARDEV_FLAG_END : 0);
                bool ok = sendToClient(dev, client, frames, -1);
                pthread_mutex_lock(&dev->lock);
                if (ok) {
                    result = (ssize_t)take;
                } else {
                    err = ESHUTDOWN;
                    if (dev->clientFd == client) dropClient(dev);
                }
                break;
            }
            if (nonBlocking(fd)) {
                err = EAGAIN;
                break;
            }
            if (!waitChange(dev, fd, nullptr)) {
                err = EBADF;
                break;
            }
        }
    }
    updateReadiness(dev);
    dev->users--;
    pthread_mutex_unlock(&dev->lock);
    if (result < 0) errno = err;
    return result;
}

int deviceIoctl(Device *dev, unsigned long request, void *arg) {
    pthread_mutex_lock(&dev->lock);
    dev->users++;
    int result = 0;
    int client = dev->clientFd;
    char frameType = 0;
    std::string payload;
    switch (dev->kind) {
        case Kind::Usbtmc:
            if (request == USB_SET_SERIAL && arg) {
                frameType = CHARDEV_FRAME_SERIAL_NUMBER;
                payload = static_cast<const char *>(arg);
            } else {
                result = -1;
            }
            break;
        case Kind::Gpib:
            if (request == GPIB_SET_STB) {
                dev->stb = (uint8_t)(uintptr_t)arg;
                if (dev->stbHistory.size() >= (size_t)CHARDEV_STB_HISTORY_MAX)
                    dev->stbHistory.erase(0, 1);
                dev->stbHistory.push_back((char)dev->stb);
            } else if (request == GPIB_READ_SIGNAL && arg) {
                uint8_t *pair = static_cast<uint8_t *>(arg);
                pair[0] = pair[1] = 0;
                if (!dev->signals.empty()) {
                    pair[0] = (uint8_t)(dev->signals.front() >> 8);
                    pair[1] = (uint8_t)(dev->signals.front() & 0xFF);
                    dev->signals.pop_front();
                }
            } else if (request == GPIB_ACK_GET) {
                frameType = CHARDEV_FRAME_GET_ACK;
            } else {
                result = -1;
            }
            break;
        case Kind::Krhc:
            if (request == HC_SELECT_HC)
                dev->txPort = 0;
            else if (request == HC_TX_PORT1)
                dev->txPort = 1;
            else if (request == HC_TX_PORT2)
                dev->txPort = 2;
            else if (request == HC_GET_RX_PORT && arg)
                *static_cast<int *>(arg) = dev->rxPort;
            else if (request != HC_PREPARE_OLD && request != HC_SELECT_STM)
                result = -1;
            break;
    }
    updateReadiness(dev);
    pthread_mutex_unlock(&dev->lock);
    if (frameType) sendSmallFrame(dev, client, frameType, payload.data(), payload.size());
    pthread_mutex_lock(&dev->lock);
    dev->users--;
    pthread_mutex_unlock(&dev->lock);
    if (result < 0) errno = EINVAL;
    return result;
}

// ---- The interposed calls -----------------------------------------------------------------

int openWith(const char *path, int flags, va_list ap, bool largeFile) {
    mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(ap, mode_t) : 0;
    Kind kind;
    if (kindOf(path, &kind)) return openDevice(path, kind);
    return largeFile ? real().open64(path, flags, mode) : real().open(path, flags, mode);
}

}  // namespace

extern "C" {

int open(const char *path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    int fd = openWith(path, flags, ap, false);
    va_end(ap);
    return fd;
}

// The large-file name of the same call (what open becomes with 64-bit file offsets on 32-bit
// systems).
int open64(const char *path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    int fd = openWith(path, flags, ap, true);
    va_end(ap);
    return fd;
}

int close(int fd) {
    Device *dev = deviceOf(fd);
    if (dev) return closeDevice(dev, fd);
    return real().close(fd);
}

ssize_t read(int fd, void *buf, size_t n) {
    Device *dev = deviceOf(fd);
    if (dev) return deviceRead(dev, fd, buf, n);
    return real().read(fd, buf, n);
}

ssize_t write(int fd, const void *buf, size_t n) {
    Device *dev = deviceOf(fd);
    if (dev) return deviceWrite(dev, fd, buf, n);
    return real().write(fd, buf, n);
}

int ioctl(int fd, unsigned long request, ...) {
    va_list ap;
    va_start(ap, request);
    void *arg = va_arg(ap, void *);
    va_end(ap);
    Device *dev = deviceOf(fd);
    if (dev) return deviceIoctl(dev, request, arg);
    return real().ioctl(fd, request, arg);
}

}  // extern "C"
