// Parameter-list commands: lists of thousands of values streamed through a link's 1024-byte
// buffers. A list leaf installs its handler as the link's continuation; every further piece of
// the program message, and every further service of the link, goes straight to it until the
// list is complete. Values reach the device one at a time through four phases: 0 begin (the
// old list is dropped), 1 append one value, 2 end (its result is the command's result), 3 abort
// (an error occurred; the device drops the partial list). Answers are produced element by
// element, each piece limited by the answer space; a piece may run past the space by at most
// one value, into the link's overflow reserve.
//
// Command and query handlers share the continuation signature: (link, text, out, space,
// partial). Commands never answer; queries return the answer bytes of this piece.
//
// Context: main loop (inside scpi_parser or the link service).
#pragma once

#include <cstdint>

#include "scpi/scpi_link.h"

struct Device;
struct ScpiCall;

enum ParamListPhase : int32_t {
    PARAMLIST_BEGIN = 0,
    PARAMLIST_APPEND = 1,
    PARAMLIST_END = 2,
    PARAMLIST_ABORT = 3,
};

// The device operations of a generic list leaf: set (phase, value) and get (element i, null
// past the end).
struct ScpiListOperation {
    int (**set)(Device *, int32_t phase, const double *value);
    const double *(**get)(Device *, int32_t index);
};

int paramListParser_ListFreqCmd(ScpiLink *link, char *text, char *out, int space, int partial);
int paramListParser_ListPowCmd(ScpiLink *link, char *text, char *out, int space, int partial);
int paramListParser_ListDwelCmd(ScpiLink *link, char *text, char *out, int space, int partial);
int paramListParser_ListDelCmd(ScpiLink *link, char *text, char *out, int space, int partial);
int paramListParser_ListPhasCmd(ScpiLink *link, char *text, char *out, int space, int partial);

int paramListParser_ListFreqQuery(ScpiLink *link, char *text, char *out, int space, int partial);
int paramListParser_ListPowQuery(ScpiLink *link, char *text, char *out, int space, int partial);
int paramListParser_ListDwelQuery(ScpiLink *link, char *text, char *out, int space, int partial);
int paramListParser_ListDelQuery(ScpiLink *link, char *text, char *out, int space, int partial);
int paramListParser_ListPhasQuery(ScpiLink *link, char *text, char *out, int space, int partial);
int paramListParser_ListFreqBandQuery(ScpiLink *link, char *text, char *out, int space,
                                      int partial);

// Generic leaves configure the operation first, then hand over.
void paramListParser_configure(ScpiLink *link, const ScpiListOperation *operation, int queryOnly);
int paramListParser_command(ScpiLink *link, char *text, char *out, int space, int partial);
int paramListParser_query(ScpiLink *link, char *text, char *out, int space, int partial);

// SYSTem:SETTings and its variants: the state reporter's items joined by ";". The read flags
// are taken from link->list.flags when the query starts.
int paramListParser_systSettQuery(ScpiLink *link, char *text, char *out, int space, int partial);
// The leaf of the settings queries: sets the flags and starts the answer.
int paramListParser_systSettStart(ScpiCall *call, int flags);

// Test-set definition: letter-coded entries handed to the measurement module at the end.
int paramListParser_AteTestSetCmd(ScpiLink *link, char *text, char *out, int space, int partial);

// Device clear: an unfinished list command is aborted (phase 3), a list answer is dropped.
void paramListParser_cancel(ScpiLink *link);
