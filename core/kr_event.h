// Binary events, link events and the VXI-11 activity indication.
#pragma once

#include <pthread.h>

struct ScpiLink;

enum KrLinkEvent {
    KREV_NULL = 0,
    KREV_CONNECT_LAN = 1,
    KREV_DISCONNECT_LAN = 2,
    KREV_CONNECT_USB = 3,
    KREV_DISCONNECT_USB = 4,
    KREV_CONNECT_GPIB = 5,
    KREV_DISCONNECT_GPIB = 6,
    KREV_CONNECT_VXIA = 7,
    KREV_DISCONNECT_VXIA = 8,
    KREV_CONNECT_VXIB = 9,
    KREV_DISCONNECT_VXIB = 10,
    KREV_CLEAR = 11,
    KREV_GET = 12,
};

const char *KR_EVENT_toString(int event);

// A mutex, a condition and a flag: signal sets the flag, wait consumes it.
struct KrEvent {
    pthread_mutex_t mutex;
    pthread_cond_t cond;
    int flag;
};
void kr_event_init(KrEvent *event);
void kr_event_release(KrEvent *event);
void kr_event_signal(KrEvent *event);
void kr_event_wait(KrEvent *event);

// Connected links: bit 0 LAN, 1 USB, 2 GPIB, 3 VXI-11 A, 4 VXI-11 B.
extern int global_activeLinks;
extern int vxiALinkActivity;
extern int vxiBLinkActivity;

// Main thread with deviceAccessMutex held.
void kr_event_handle(ScpiLink *link, int event);
// A VXI-11 link that carried traffic, or null from the supervision pass every 2 s. Any
// thread but the main loop's: it takes deviceAccessMutex itself.
void kr_event_indicateLinkActivity(ScpiLink *link);
// The same for a caller that already holds deviceAccessMutex (the main loop).
void kr_event_indicateLinkActivity_locked(ScpiLink *link);

void globalErrorHandler(int code, void *argument);
