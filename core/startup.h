// The process itself: command line, start-up sequence, exit routine and signal handling.
#pragma once

int kr_main(int argc, char **argv);
