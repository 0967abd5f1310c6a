#include "core/startup.h"

int main(int argc, char **argv) {
    return kr_main(argc, argv);
}
