// The front-panel controller link on /dev/krhc.
#pragma once

struct ScpiLink;

struct KrHc {
    int fd;
};

void Krhc_init(KrHc *hc);
int Krhc_open(KrHc *hc);
void Krhc_close(KrHc *hc);
// Transport thread. Returns 0 while the link is healthy.
int Krhc_handle(KrHc *hc, ScpiLink *link);
