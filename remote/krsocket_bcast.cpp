#include "remote/krsocket_bcast.h"

#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "config/device_config.h"
#include "core/printd.h"
#include "device/device.h"

namespace {

constexpr size_t modelOffset = 21, modelSize = 30;
constexpr size_t snOffset = 51, snSize = 29;
constexpr size_t receiveSize = 31;
constexpr unsigned idleSeconds = 10;

}  // namespace

int krsocketBcastOpen(KrBcastSocket *finder, int port, Device *device) {
    finder->device = device;
    finder->fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (finder->fd < 0) {
        printd("krsockBcast(): error opening socket (%d)\n", errno);
        return -1;
    }
    struct sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons((uint16_t)port);
    if (bind(finder->fd, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) != 0) {
        printd("krsockBcast(): error in bind() (%d)\n", errno);
        printd("krsockBcast(): please note: need root privileges to bind() to a port <1024\n");
        return -1;
    }
    return 0;
}

void krsocketBcastReply(const KrBcastSocket *finder,
                        unsigned char reply[KRSOCKET_BCAST_REPLY_SIZE]) {
    memset(reply, 0, KRSOCKET_BCAST_REPLY_SIZE);
    char *model = reinterpret_cast<char *>(reply + modelOffset);
    if (finder->device && DEVICE_ISREG(getName))
        snprintf(model, modelSize, "%s%s", Device_getName(finder->device),
                 device_config_getModelNameExt_bracketed());
    else
        snprintf(model, modelSize, "(ARM test device)");
    strncpy(reinterpret_cast<char *>(reply + snOffset), device_config_getSN(), snSize);
}

void krsocketBcastHandle(KrBcastSocket *finder) {
    if (finder->fd < 0) {
        sleep(idleSeconds);  // nothing to serve; the thread must not spin
        return;
    }
    struct pollfd wait = {finder->fd, POLLIN, 0};
    if (poll(&wait, 1, -1) <= 0) return;
    char datagram[receiveSize];
    struct sockaddr_in sender = {};
    socklen_t senderSize = sizeof(sender);
    ssize_t n = recvfrom(finder->fd, datagram, sizeof(datagram), 0,
                         reinterpret_cast<sockaddr *>(&sender), &senderSize);
    if (n != 0) return;  // only an empty datagram asks for the instrument
    unsigned char reply[KRSOCKET_BCAST_REPLY_SIZE];
    krsocketBcastReply(finder, reply);
    sendto(finder->fd, reply, sizeof(reply), 0, reinterpret_cast<const sockaddr *>(&sender),
           senderSize);
}

int krsocketBcastClose(KrBcastSocket *finder) {
    if (finder->fd < 0) return 0;
    int r = close(finder->fd);
    finder->fd = -1;
    return r;
}
