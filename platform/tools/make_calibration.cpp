// Writes the factory calibration tables of a simulation root from the level model, one per
// channel of its serial number (platform/sim/sim_calibration.h). A table that exists is kept
// (it may be a user's own) unless --replace is given.
//
// usage: kr_make_calibration ROOT [--replace]
#include <cstdio>
#include <cstring>

#include "core/krpath.h"
#include "platform/sim/sim_calibration.h"

int main(int argc, char **argv) {
    bool replace = argc == 3 && strcmp(argv[2], "--replace") == 0;
    if (argc < 2 || argc > 3 || (argc == 3 && !replace) || !*argv[1]) {
        fprintf(stderr, "usage: %s ROOT [--replace]\n", argv[0]);
        return 2;
    }
    krpath_setRoot(argv[1]);
    int n = simcal_writeTables(replace);
    if (n < 0) {
        fprintf(stderr, "%s: could not write a calibration table below %s\n", argv[0], argv[1]);
        return 1;
    }
    printf("%d calibration table(s) written\n", n);
    return 0;
}
