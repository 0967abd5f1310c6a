#include "remote/krusb.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "config/device_config.h"
#include "core/kr_event.h"
#include "core/krpath.h"
#include "core/printd.h"
#include "core/startup.h"
#include "scpi/scpi_link.h"
#include "usbtmc_ioctl.h"

namespace {

// The largest answer a link hands over at once (answer capacity and overflow reserve).
constexpr int kAnswerMax = 4096;
constexpr int kCommandMax = 4096;
constexpr useconds_t kNoRoomWaitUs = 100000;

}  // namespace

// The answer is copied out first, so bufLock is not held while the peer takes its time.
int krusb_writeAnswer(int fd, ScpiLink *link, unsigned int moreFlag, char *buf, int size) {
    char *ans;
    int more = 0;
    int avail = krcommPeekAns(link, &ans, &more);
    int len = avail < size ? avail : size;
    if (len > 0) memcpy(buf, ans, (size_t)len);
    krcommClearAns(link, len, &more);
    if (avail > len) more = 1;  // the rest goes with the next write
    int done = 0;
    while (done < len) {
        unsigned int n = (unsigned int)(len - done) | (more ? moreFlag : 0);
        ssize_t w = write(fd, buf + done, n);
        if (w < 0) return (int)w;
        done += (int)w;
    }
    return more;
}

void krusb_superviseConnection(int *countdown, unsigned char *connected, int activity,
                               int connectEvent, int disconnectEvent) {
    if (activity) {
        *countdown = 2;
        if (!*connected) {
            krcommEvent(nullptr, connectEvent);
            *connected = 1;
        }
        return;
    }
    if (*countdown >= 1) (*countdown)--;
    if (*countdown == 0 && *connected) {
        krcommEvent(nullptr, disconnectEvent);
        *connected = 0;
    } else if (*countdown > 0 && !*connected) {
        krcommEvent(nullptr, connectEvent);
        *connected = 1;
    }
}

int krusb_open(KrUsb *usb, const char *path) {
    usb->countdown = 0;
    usb->connected = 0;
    usb->fd = open(KrPath(path), O_RDWR);
    if (usb->fd < 0) {
        printf("krusb_open() error: could not open the USBTMC character device\n");
        return -1;
    }
    if (fallbackEnabled) {
        printf("krusb_open(): setting fallback SN\n");
        ioctl(usb->fd, USB_SET_SERIAL, device_config_getSN());
    }
    krusb_flush(usb);
    return 0;
}

void krusb_flush(KrUsb *usb) {
    int flags = fcntl(usb->fd, F_GETFL);
    fcntl(usb->fd, F_SETFL, flags | O_NONBLOCK);
    char block[1024];
    while (read(usb->fd, block, sizeof(block)) >= 1) {
    }
    fcntl(usb->fd, F_SETFL, flags);
}

int krusb_read(KrUsb *usb, int n, char *buffer) {
    return (int)read(usb->fd, buffer, (size_t)n);
}

void krusb_close(KrUsb *usb) {
    if (usb->fd >= 0) close(usb->fd);
    usb->fd = -1;
}

int krusb_handle(KrUsb *usb, ScpiLink *link) {
    static char buf[kCommandMax];
    char *ptr;
    // Room first, then the blocking read outside bufLock; only this thread adds input, so
    // the room can only have grown when the bytes are committed.
    int room = krcommOpenCmd(link, &ptr);
    krcommCloseCmd(link, 0);
    if (room > kCommandMax) room = kCommandMax;
    if (room < 1) {
        // Nothing can be taken until the main loop has made room: no busy loop.
        usleep(kNoRoomWaitUs);
    } else {
        ssize_t n = krusb_read(usb, room, buf);
        int err = errno;
        krcommOpenCmd(link, &ptr);
        if (n > 0) memcpy(ptr, buf, (size_t)n);
        krcommCloseCmd(link, n > 0 ? (int)n : 0);
        if (n > 0) krusb_check_connection(usb, link, 1);
        if (n == -1) {
            if (err == ECANCELED) {
                printd("krusb_handle(): clear\n");
                krcommClear(link);
            } else if (err == EFAULT) {
                return -1;
            }
        }
    }
    int w;
    do {
        scpi_link_doHandle(link);
        scpi_link_waitHandled(link);
        w = krusb_write(usb, link);
    } while (w > 0);
    if (w == -1 && errno == ECANCELED) {
        printd("krusb_handle(): clear during answer\n");
        krcommClear(link);
    }
    return 0;
}

int krusb_write(KrUsb *usb, ScpiLink *link) {
    static char buf[kAnswerMax];
    return krusb_writeAnswer(usb->fd, link, USB_WRITE_MORE, buf, sizeof(buf));
}

void krusb_check_connection(KrUsb *usb, ScpiLink *, int activity) {
    krusb_superviseConnection(&usb->countdown, &usb->connected, activity, KREV_CONNECT_USB,
                              KREV_DISCONNECT_USB);
}
