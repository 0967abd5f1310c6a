#include "frontpanel/krhc.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "config/device_config.h"
#include "core/krpath.h"
#include "core/printd.h"
#include "krhc_ioctl.h"
#include "scpi/scpi_link.h"

namespace {

constexpr int kUpdatePort = 1;
constexpr int kAnswerPort = 2;
constexpr int kAnswerMax = 4096;
constexpr useconds_t kNoRoomWaitUs = 100000;

void closeFd(int *fd) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
}

// hc->lock held. Writes all bytes; false on a failed write.
bool writeAll(int fd, const char *p, int n) {
    while (n > 0) {
        ssize_t w = write(fd, p, (size_t)n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= (int)w;
    }
    return true;
}

}  // namespace

void Krhc_init(KrHc *hc) {
    hc->readFd = -1;
    hc->writeFd = -1;
    pthread_mutex_init(&hc->lock, nullptr);
    hc->txPort = 0;
    hc->stmMode = 0;
    hc->displayDisabled = 0;
    hc->replyLength = 0;
    hc->reply[0] = 0;
    hc->bytesSent = 0;
}

int Krhc_connected(const KrHc *hc) {
    return hc && hc->readFd >= 0 && hc->writeFd >= 0;
}

int Krhc_setTxPort(KrHc *hc, int port) {
    if (hc->txPort == port) return 0;
    int r = ioctl(hc->writeFd, port == kAnswerPort ? HC_TX_PORT2 : HC_TX_PORT1, 0);
    hc->txPort = (unsigned char)port;
    return r;
}

int Krhc_open(KrHc *hc, const char *path, int retries) {
    KrPath resolved(path);
    for (; retries >= 0; retries--) {
        hc->writeFd = open(resolved, O_WRONLY);
        hc->readFd = open(resolved, O_RDONLY);
        if (device_config_usesFpStm()) {
            printd("Krhc_open(): select STM mode\n");
            hc->stmMode = 1;
            ioctl(hc->writeFd, HC_SELECT_STM, 0);
            return Krhc_connected(hc) ? 0 : -1;
        }
        if (device_config_usesFpAt91()) {
            ioctl(hc->writeFd, HC_PREPARE_OLD, 0);
            Krhc_writeAsync(hc, 6, "*IDN?\n");
            char answer[256];
            int n = Krhc_read(hc, 255, answer);
            if (n > 0) {
                answer[n > 13 ? 13 : n] = 0;
                if (strcmp(answer, "HC0000000000\n") == 0) {
                    printd("Krhc_open(): got HC *IDN? response without port byte\n");
                    printd("Krhc_open(): select HC mode\n");
                    ioctl(hc->writeFd, HC_SELECT_HC, 0);
                    hc->txPort = 0;
                }
            }
            // A failed probe leaves the link open: the updates go out regardless.
            return Krhc_connected(hc) ? 0 : -1;
        }
        printd("Krhc_open(): no frontpanel installed\n");
        Krhc_close(hc);
    }
    return -1;
}

int Krhc_read(KrHc *hc, int n, char *buffer) {
    pthread_mutex_lock(&hc->lock);
    int r = hc->readFd < 0 ? -1 : (int)read(hc->readFd, buffer, (size_t)n);
    pthread_mutex_unlock(&hc->lock);
    return r;
}

void Krhc_close(KrHc *hc) {
    pthread_mutex_lock(&hc->lock);
    closeFd(&hc->writeFd);
    closeFd(&hc->readFd);
    pthread_mutex_unlock(&hc->lock);
}

int Krhc_writeAsync(KrHc *hc, int n, const char *bytes) {
    if (!hc) return -1;
    pthread_mutex_lock(&hc->lock);
    if (!Krhc_connected(hc)) {
        pthread_mutex_unlock(&hc->lock);
        return -1;
    }
    Krhc_setTxPort(hc, kUpdatePort);
    ssize_t w = write(hc->writeFd, bytes, (size_t)n);
    if (w == n) {
        hc->bytesSent += n;
        pthread_mutex_unlock(&hc->lock);
        return 0;
    }
    printf("Krhc_writeAsync() error: write() failed (maybe no front panel installed?)\n");
    printf("Krhc_writeAsync() error: write() failed, closing link\n");
    // For good: the HC thread finds the link closed and ends.
    closeFd(&hc->writeFd);
    closeFd(&hc->readFd);
    pthread_mutex_unlock(&hc->lock);
    return -1;
}

int Krhc_handle(KrHc *hc, ScpiLink *link) {
    static char buf[kAnswerMax];
    pthread_mutex_lock(&hc->lock);
    int fd = hc->readFd;
    bool open = Krhc_connected(hc);
    pthread_mutex_unlock(&hc->lock);
    if (!open) return -1;
    for (;;) {
        struct pollfd wait = {fd, POLLIN, 0};
        int r = poll(&wait, 1, -1);
        if (r > 0) break;
        if (r < 0 && errno != EAGAIN && errno != EINTR) return -1;
    }
    char *ptr;
    int room = krcommOpenCmd(link, &ptr);
    krcommCloseCmd(link, 0);
    if (room > kAnswerMax) room = kAnswerMax;
    if (room < 1) {
        // Input is waiting but the link is full: let the main loop make room, no busy loop.
        usleep(kNoRoomWaitUs);
        scpi_link_doHandle(link);
        scpi_link_waitHandled(link);
        return 0;
    }
    pthread_mutex_lock(&hc->lock);
    if (!Krhc_connected(hc)) {  // closed while waiting (a failed update write)
        pthread_mutex_unlock(&hc->lock);
        return -1;
    }
    int n = (int)read(hc->readFd, buf, (size_t)room);
    if (hc->stmMode && n > 0) {
        int port = hc->txPort;
        ioctl(hc->writeFd, HC_GET_RX_PORT, &port);
        if (port == kUpdatePort) {
            // A reply to a firmware query, not a command.
            char text[kAnswerMax + 1];
            memcpy(text, buf, (size_t)n);
            text[n] = 0;
            printd("Krhc_handle(): received data on taskit port: <%s>\n", text);
            if (hc->replyLength + n > KRHC_REPLY_SIZE - 1) {
                fprintf(stderr, "Krhc_handle() error: master taskit buffer full\n");
            } else {
                memcpy(hc->reply + hc->replyLength, buf, (size_t)n);
                hc->replyLength += n;
                hc->reply[hc->replyLength] = 0;
            }
            pthread_mutex_unlock(&hc->lock);
            return 0;
        }
    }
    pthread_mutex_unlock(&hc->lock);
    krcommOpenCmd(link, &ptr);
    if (n > 0) memcpy(ptr, buf, (size_t)n);
    krcommCloseCmd(link, n > 0 ? n : 0);
    if (n <= 0) return 0;
    static char answer[kAnswerMax];
    int more;
    do {
        scpi_link_doHandle(link);
        scpi_link_waitHandled(link);
        char *ans;
        int avail = krcommPeekAns(link, &ans, &more);
        int len = avail < kAnswerMax ? avail : kAnswerMax;
        if (len > 0) memcpy(answer, ans, (size_t)len);
        krcommClearAns(link, len, &more);
        if (avail > len) more = 1;
        if (len > 0) {
            pthread_mutex_lock(&hc->lock);
            if (Krhc_connected(hc)) {
                Krhc_setTxPort(hc, kAnswerPort);
                writeAll(hc->writeFd, answer, len);
            }
            pthread_mutex_unlock(&hc->lock);
        }
    } while (more);
    return 0;
}
