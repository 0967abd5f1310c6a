#include "remote/krusb.h"

#include <fcntl.h>
#include <unistd.h>

#include "core/krpath.h"

int krusb_open(KrUsb *usb) {
    usb->fd = open(KrPath("/dev/usbtmc"), O_RDWR);
    return usb->fd < 0 ? -1 : 0;
}

// The USBTMC protocol arrives with the other links; until then the link halts at once.
int krusb_handle(KrUsb *, ScpiLink *) {
    return -1;
}

void krusb_check_connection(KrUsb *, ScpiLink *, int) {}
