#include "core/startup.h"

int kr_main(int, char **) { return 0; }
