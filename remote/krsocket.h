// The raw SCPI TCP server and the UDP device finder.
#pragma once

struct ScpiLink;

struct KrSocket {
    int port;
    int listenFd;
    int clientFd;
};

int Krsocket_open(KrSocket *socket, int port);
// Transport thread: one pump step.
int Krsocket_handle(KrSocket *socket, ScpiLink *link);
int Krsocket_hasAddressChanged();
void Krsocket_reset(KrSocket *socket);

struct KrBcastSocket {
    int fd;
};
int krsocketBcastOpen(KrBcastSocket *socket, int port);
int krsocketBcastHandle(KrBcastSocket *socket);
