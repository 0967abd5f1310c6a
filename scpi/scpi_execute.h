// The main loop's work: one pass over the link list whenever a transport asks, and at least
// every periodMs. Each pass runs the periodic tick and due deferred calls, then serves the
// links: program messages are split into units, executed through the command tree and their
// responses joined into the link's answer buffer.
#pragma once

#include "scpi/scpi_error.h"
#include "scpi/scpi_link.h"

struct Device;

// Longest message unit handed to the tree (the largest command buffer).
constexpr int SCPI_MAX_UNIT = 4096;

// The parser context: the device handle first, then the error queue.
struct ScpiParserContext {
    Device *device;
    ScpiErrorQueue errorQueue;
};
extern ScpiParserContext *parser;

// Main thread. One pass of the main loop.
void scpi_execute(ScpiLinkList *list, Device *device, int periodMs);
// Main thread, deviceAccessMutex held.
void scpi_execute_link(ScpiLink *link);
// Any thread outside the main loop: serves the link once on the calling thread, as the main
// loop would (request, device access, service, hand-shake), for a link that has no transport
// of its own (command files, benchmarks, tests).
void scpi_execute_serveLinkHere(ScpiLink *link);
// Main thread, deviceAccessMutex held, bufLock not held. Executes the units between
// parseStart and the end of the message text at `end`; returns the answer bytes added.
int scpi_execute_linkProgramMessage(ScpiLink *link, int end, int partial);
// Start-up (or any thread outside the main loop): runs a file of commands on a link and
// writes the answers to standard output.
int scpi_execute_commandFile(ScpiLink *link, const char *path);
// Any thread but the main loop's: applies a link event without a link.
void scpi_executeNullLinkEvent(int event);

void openSynchronousDeviceAccess();
void closeSynchronousDeviceAccess();
// 1 with the access taken, 0 when another thread holds it (a background worker that must
// stay able to give up).
int tryOpenSynchronousDeviceAccess();

void scpi_parser_init(ScpiParserContext *context);
void scpi_parser_prepare();
void scpi_parser_execute();
void scpi_parser_error(int code);

// Parameterless device operations and enumerated settings reached from the tree.
int scpi_isEnumElement(int (*fn)(Device *));
int scpi_setEnumElement(int (*fn)(Device *));

// The command tree: parses one message unit, writes its response (if any) to out and
// returns the response length. A handler may run up to SCPI_ANS_OVERFLOW_RESERVE - 1 bytes
// past outSize; the executor parks that part for the next service.
int scpi_parser(ScpiLink *link, char *unit, char *out, int outSize, int partial, int flags);
