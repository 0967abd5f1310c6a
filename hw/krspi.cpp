#include "hw/krspi.h"

#include <fcntl.h>
#include <sys/file.h>

#include "core/printd.h"
#include "rtnative.h"

int krspiFd = -1;

int krspiOpen() {
    krspiFd = rt_dev_open("kr_generic_io", O_RDWR);
    printd("krspiOpen(): fileno %d\n", krspiFd);
    return krspiFd < 0 ? -1 : 0;
}

void krspiClose() {
    if (krspiFd >= 0) rt_dev_close(krspiFd);
    krspiFd = -1;
}
