// The LAN device finder: a UDP socket that answers every empty datagram with the
// instrument's model text and serial number, so that discovery tools find it.
#pragma once

#include <cstddef>

struct Device;

constexpr int KRSOCKET_BCAST_PORT = 9998;
constexpr size_t KRSOCKET_BCAST_REPLY_SIZE = 111;

struct KrBcastSocket {
    int fd;          // negative when the socket could not be created
    Device *device;  // asked for its name
};

// Start-up: creates and binds the socket; it stays open also when binding fails.
int krsocketBcastOpen(KrBcastSocket *finder, int port, Device *device);
// Finder thread: waits for one datagram and answers it when its payload is empty.
void krsocketBcastHandle(KrBcastSocket *finder);
int krsocketBcastClose(KrBcastSocket *finder);
// The reply: zeros, the model text at 21 (30 bytes, NUL-terminated), the serial number at
// 51 (29 bytes, zero-padded), zeros.
void krsocketBcastReply(const KrBcastSocket *finder,
                        unsigned char reply[KRSOCKET_BCAST_REPLY_SIZE]);
