// The process itself: command line, start-up sequence, exit routine and signal handling.
#pragma once

#include "scpi/scpi_execute.h"
#include "scpi/scpi_link.h"

struct Device;

extern int fallbackEnabled;  // -f: recovery device, no power-on settings
extern int kr_framework_status_success;
extern int contextSwitch;  // a real-time task fell back to secondary mode
extern int pid;

extern ScpiLinkList link_list;
extern ScpiLink link_hc, link_file, link_console, link_socket, link_vxiA, link_vxiB, link_usb,
    link_gpib;
extern ScpiParserContext parserContext;
extern Device *debug_device;

int kr_main(int argc, char **argv);
// Start-up in its fixed order, then the main loop; never returns.
void initialize();
void exit_KR();
void signal_handler(int sig);
void loadDefaultSettings(Device *device, ScpiParserContext *context);
void preparePathsAndFiles();
// Writes one word to the run-state file through the shell.
void kr_setRunState(const char *state);
