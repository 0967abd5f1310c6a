// The USBTMC transport on /dev/usbtmc: the pump that feeds the link "USB" and writes its
// answers back, and the connection supervisor that turns traffic into connect and disconnect
// events.
#pragma once

struct ScpiLink;

// Transport record (one instance). Zeroed apart from the descriptor when opened.
struct KrUsb {
    int fd = -1;        // -1 when closed
    int countdown = 0;  // 2 on traffic, decremented by each supervision pass
    unsigned char connected = 0;
};

// Start-up: opens the device (resolved under the root) and empties it. 0 or -1.
int krusb_open(KrUsb *usb, const char *path = "/dev/usbtmc");
// USB thread: one pass. 0 to go on, non-zero when the driver reports the link halted.
int krusb_handle(KrUsb *usb, ScpiLink *link);
// USB thread: sends the pending answer. Returns the more-answer flag or a negative write result.
int krusb_write(KrUsb *usb, ScpiLink *link);
int krusb_read(KrUsb *usb, int n, char *buffer);
void krusb_flush(KrUsb *usb);
void krusb_close(KrUsb *usb);
// USB thread (activity 1) and supervision thread (activity 0, every 2 s).
void krusb_check_connection(KrUsb *usb, ScpiLink *link, int activity);

// Shared with the GPIB transport.
// Takes the link's pending answer into buf (the caller's, at least the link's answer capacity
// plus its overflow reserve) and writes all of it to fd, each write with moreFlag or'ed into
// the length while more answer follows. Returns the more flag or the failed write's result
// (errno kept).
int krusb_writeAnswer(int fd, ScpiLink *link, unsigned int moreFlag, char *buf, int size);
// The connection supervisor of a transport: activity 1 on traffic, 0 from a supervision pass.
void krusb_superviseConnection(int *countdown, unsigned char *connected, int activity,
                               int connectEvent, int disconnectEvent);
