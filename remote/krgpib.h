// GPIB transport on /dev/gpib.
#pragma once

struct ScpiLink;

struct KrGpib {
    int fd;
};
int krgpib_open(KrGpib *gpib);
int krgpib_handle(KrGpib *gpib, ScpiLink *link);
void krgpib_check_connection(KrGpib *gpib, ScpiLink *link, int force);
