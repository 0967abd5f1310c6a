#include "core/kr_event.h"

#include "core/printd.h"
#include "core/startup.h"
#include "device/device.h"
#include "frontpanel/krhcupdate.h"
#include "scpi/anritsu.h"
#include "scpi/scpi_execute.h"

int global_activeLinks = 0;
int vxiALinkActivity = 0;
int vxiBLinkActivity = 0;

const char *KR_EVENT_toString(int event) {
    static const char *const names[] = {"KREV_NULL",
                                        "KREV_CONNECT_LAN",
                                        "KREV_DISCONNECT_LAN",
                                        "KREV_CONNECT_USB",
                                        "KREV_DISCONNECT_USB",
                                        "KREV_CONNECT_GPIB",
                                        "KREV_DISCONNECT_GPIB",
                                        "KREV_CONNECT_VXIA",
                                        "KREV_DISCONNECT_VXIA",
                                        "KREV_CONNECT_VXIB",
                                        "KREV_DISCONNECT_VXIB",
                                        "KREV_CLEAR",
                                        "KREV_GET"};
    if (event < 0 || event > KREV_GET) return "(unknown)";
    return names[event];
}

void kr_event_init(KrEvent *event) {
    event->flag = 0;
    pthread_mutex_init(&event->mutex, nullptr);
    pthread_cond_init(&event->cond, nullptr);
}

void kr_event_release(KrEvent *event) {
    pthread_mutex_destroy(&event->mutex);
    pthread_cond_destroy(&event->cond);
}

void kr_event_signal(KrEvent *event) {
    pthread_mutex_lock(&event->mutex);
    event->flag = 1;
    pthread_cond_signal(&event->cond);
    pthread_mutex_unlock(&event->mutex);
}

// Waits until signalled; a signal that came first is not lost. Spurious wake-ups do not
// count as a signal.
void kr_event_wait(KrEvent *event) {
    pthread_mutex_lock(&event->mutex);
    while (!event->flag)
        pthread_cond_wait(&event->cond, &event->mutex);
    event->flag = 0;
    pthread_mutex_unlock(&event->mutex);
}

void kr_event_handle(ScpiLink *link, int event) {
    if (ANRITSU_handleEvent(&anritsu, link, event) == 0) return;
    Device *device = parser ? parser->device : nullptr;
    int old = global_activeLinks;
    int set = old;
    switch (event) {
        case KREV_CONNECT_LAN:
            set |= 1;
            break;
        case KREV_DISCONNECT_LAN:
            set &= ~1;
            break;
        case KREV_CONNECT_USB:
            set |= 2;
            hcupdate_connectUsb();
            break;
        case KREV_DISCONNECT_USB:
            set &= ~2;
            hcupdate_disconnectUsb();
            break;
        case KREV_CONNECT_GPIB:
            set |= 4;
            hcupdate_connectGpib();
            break;
        case KREV_DISCONNECT_GPIB:
            set &= ~4;
            hcupdate_disconnectGpib();
            break;
        case KREV_CONNECT_VXIA:
            set |= 8;
            break;
        case KREV_DISCONNECT_VXIA:
            set &= ~8;
            break;
        case KREV_CONNECT_VXIB:
            set |= 16;
            break;
        case KREV_DISCONNECT_VXIB:
            set &= ~16;
            break;
        case KREV_CLEAR:
            if (DEVICE_ISREG(clear)) Device_clear(device);
            break;
        case KREV_GET:
            if (DEVICE_ISREG(triggerImmediate)) Device_triggerImmediate(device);
            break;
        default:
            break;
    }
    const int network = 0x19;
    if (!(set & network) && (old & network)) hcupdate_disconnectLan();
    if ((set & network) && !(old & network)) hcupdate_connectLan();
    if (set && !old) Device_enableLedRemote(device);
    if (!set && old) Device_disableLedRemote(device);
    global_activeLinks = set;
}

// Transport and supervision threads; takes the device access lock for the events it raises.
void kr_event_indicateLinkActivity(ScpiLink *link) {
    openSynchronousDeviceAccess();
    kr_event_indicateLinkActivity_locked(link);
    closeSynchronousDeviceAccess();
}

// Main loop, deviceAccessMutex held.
void kr_event_indicateLinkActivity_locked(ScpiLink *link) {
    int oldA = vxiALinkActivity;
    int oldB = vxiBLinkActivity;
    if (link && link == &link_vxiA) {
        vxiALinkActivity = 5;
        printd("kr_event_indicateLinkActivity(): VXI A active\n");
    } else if (link && link == &link_vxiB) {
        vxiBLinkActivity = 5;
        printd("kr_event_indicateLinkActivity(): VXI B active\n");
    } else if (!link) {
        if (vxiALinkActivity > 0 && --vxiALinkActivity == 0)
            printd("kr_event_indicateLinkActivity(): VXI A idle\n");
        if (vxiBLinkActivity > 0 && --vxiBLinkActivity == 0)
            printd("kr_event_indicateLinkActivity(): VXI B idle\n");
    }
    if (!oldA && vxiALinkActivity) kr_event_handle(link, KREV_CONNECT_VXIA);
    if (oldA && !vxiALinkActivity) kr_event_handle(link, KREV_DISCONNECT_VXIA);
    if (!oldB && vxiBLinkActivity) kr_event_handle(link, KREV_CONNECT_VXIB);
    if (oldB && !vxiBLinkActivity) kr_event_handle(link, KREV_DISCONNECT_VXIB);
}

void globalErrorHandler(int, void *) {}
