#include "remote/krgpib.h"

#include <fcntl.h>
#include <unistd.h>

#include "core/krpath.h"

int krgpib_open(KrGpib *gpib) {
    gpib->fd = open(KrPath("/dev/gpib"), O_RDWR);
    return gpib->fd < 0 ? -1 : 0;
}

// The GPIB protocol arrives with the other links; until then the thread idles.
int krgpib_handle(KrGpib *, ScpiLink *) {
    sleep(3600);
    return 0;
}

void krgpib_check_connection(KrGpib *, ScpiLink *, int) {}
