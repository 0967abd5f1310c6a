#include "remote/krgpib.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/kr_event.h"
#include "core/krpath.h"
#include "core/krstuff.h"
#include "core/printd.h"
#include "gpib_ioctl.h"
#include "remote/krusb.h"
#include "scpi/scpi_link.h"

int gpibState = 0;
int getRecv = 0;
int ackGetIoctl = 0;

namespace {

constexpr int kCommandMax = 4096;
constexpr int kAnswerMax = 4096;
constexpr useconds_t kNoRoomWaitUs = 100000;
// A driver that keeps reporting signals must not hold the pump for ever.
constexpr int kMaxSignalDrain = 256;

KrGpib *openedGpib = nullptr;

void deviceClear(ScpiLink *link) {
    printd("krgpib_handle(): clear\n");
    krcommClear(link);
    printd("krgpib_handle(): clear done\n");
}

}  // namespace

int krgpib_open(KrGpib *gpib, const char *path) {
    gpib->countdown = 0;
    gpib->connected = 0;
    gpib->fd = open(KrPath(path), O_RDWR);
    if (gpib->fd < 0) {
        printf("could not open the GPIB character device\n");
        return -1;
    }
    openedGpib = gpib;
    return 0;
}

// The driver takes flag bits in the length and returns at most n bytes.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wstringop-overflow"
int krgpib_read(KrGpib *gpib, int n, char *buffer) {
    return (int)read(gpib->fd, buffer, (size_t)((unsigned int)n | GPIB_READ_FLAGS));
}
#pragma GCC diagnostic pop

void krgpib_close(KrGpib *gpib) {
    if (gpib == openedGpib) openedGpib = nullptr;
    if (gpib->fd >= 0) close(gpib->fd);
    gpib->fd = -1;
}

int krgpib_handle(KrGpib *gpib, ScpiLink *link) {
    static char buf[kCommandMax];
    char *ptr;
    gpibState = 1;
    int room = krcommOpenCmd(link, &ptr);
    krcommCloseCmd(link, 0);
    if (room > kCommandMax) room = kCommandMax;
    if (room < 1) {
        printd("krgpib_handle() error: krcommOpenCmd() returned 0, retrying...\n");
        usleep(kNoRoomWaitUs);
    } else {
        gpibState = 2;
        int r = krgpib_read(gpib, room, buf);
        int err = errno;
        if (r == -1) {
            if (err == ECANCELED) {
                deviceClear(link);
            } else if (err == EFAULT) {
                return -1;
            }
        } else {
            gpibState = 3;
            unsigned int result = (unsigned int)r;
            int count = (int)(result & GPIB_COUNT_MASK);
            if (count > room) count = room;
            bool trigger = false;
            if (result & GPIB_GET) {
                trigger = true;
                getRecv++;
            }
            if (result & GPIB_SIGNAL) {
                printd(
                    "%d krgpib_handle(): received a signal not handled in the GPIB kernel "
                    "module\n",
                    (int)kr_abstime_ms());
                for (int i = 0; i < kMaxSignalDrain; i++) {
                    unsigned char signal[2] = {0, 0};
                    if (ioctl(gpib->fd, GPIB_READ_SIGNAL, signal) < 0) break;
                    printd("        source: %x, mask: %x\n", signal[0], signal[1]);
                    if (signal[0] == 0 && signal[1] == 0) break;
                }
            }
            gpibState = 4;
            krcommOpenCmd(link, &ptr);
            if (count > 0) memcpy(ptr, buf, (size_t)count);
            if (result & GPIB_END) krcommEndCmd(link, count);
            krcommCloseCmd(link, count);
            if (trigger) {
                // Applied by the main loop before this thread goes on.
                krcommEvent(link, KREV_GET);
                krgpib_sendAckGet(gpib);
            }
            if (count > 0 || trigger) krgpib_check_connection(gpib, link, 1);
        }
    }
    int w;
    gpibState = 100;
    do {
        scpi_link_doHandle(link);
        scpi_link_waitHandled(link);
        gpibState = 101;
        w = krgpib_write(gpib, link);
    } while (w > 0);
    if (w == -1 && errno == ECANCELED) deviceClear(link);
    gpibState = 104;
    return 0;
}

int krgpib_write(KrGpib *gpib, ScpiLink *link) {
    gpibState = 200;
    static char buf[kAnswerMax];
    int r = krusb_writeAnswer(gpib->fd, link, 0, buf, sizeof(buf));
    gpibState = 201;
    return r;
}

void krgpib_check_connection(KrGpib *gpib, ScpiLink *, int activity) {
    krusb_superviseConnection(&gpib->countdown, &gpib->connected, activity, KREV_CONNECT_GPIB,
                              KREV_DISCONNECT_GPIB);
}

int krgpib_sendStb(KrGpib *gpib, uint8_t stb) {
    if (!gpib || gpib->fd < 0) return -1;
    return ioctl(gpib->fd, GPIB_SET_STB, (unsigned long)stb);
}

int krgpib_sendAckGet(KrGpib *gpib) {
    ackGetIoctl++;
    return ioctl(gpib->fd, GPIB_ACK_GET, 0);
}

int updateStb(uint8_t stb) {
    return krgpib_sendStb(openedGpib, stb);
}
