#include "remote/krvxi.h"

#include <unistd.h>

// Stand-in until the VXI-11 server exists: the channels are registered, nobody is served.
void kr_vxi_link_init(ScpiLink *, ScpiLink *) {}

void kr_vxi_link_run() {
    for (;;)
        sleep(3600);
}
