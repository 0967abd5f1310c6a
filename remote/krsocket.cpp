#include "remote/krsocket.h"

#include <unistd.h>

// Stand-in until the LAN server exists: the thread runs, serves nobody and never spins.
int Krsocket_open(KrSocket *socket, int port) {
    socket->port = port;
    socket->listenFd = -1;
    socket->clientFd = -1;
    return 0;
}

int Krsocket_handle(KrSocket *, ScpiLink *) {
    sleep(3600);
    return 0;
}

int Krsocket_hasAddressChanged() { return 0; }
void Krsocket_reset(KrSocket *) {}

int krsocketBcastOpen(KrBcastSocket *socket, int) {
    socket->fd = -1;
    return 0;
}

int krsocketBcastHandle(KrBcastSocket *) {
    sleep(3600);
    return 0;
}
