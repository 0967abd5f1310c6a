// USBTMC and GPIB transports on their character devices.
#pragma once

struct ScpiLink;

struct KrUsb {
    int fd;
};
int krusb_open(KrUsb *usb);
int krusb_handle(KrUsb *usb, ScpiLink *link);
void krusb_check_connection(KrUsb *usb, ScpiLink *link, int force);
