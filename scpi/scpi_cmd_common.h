// Helpers shared by the command tables' own leaf handlers: parameter checks, text answers, the
// leaf of a header whose device operation is not specified yet, and typed leaves that also
// take one value keyword of their own.
//
// Context: main loop (inside scpi_parser).
#pragma once

#include "scpi/scpi_tree.h"

// True when the unit has no parameters; otherwise *result gets the error.
bool scpi_cmd_noParameters(ScpiCall *call, int *result);
// Exactly one parameter in *param; 0 or the error.
int scpi_cmd_oneParameter(ScpiCall *call, char **param);
// Answers text as a quoted string (null: the empty string).
int scpi_cmd_answerText(ScpiCall *call, const char *text);
// A query with nothing to report (an empty list, no name): it answers an empty response.
int scpi_cmd_answerEmpty(ScpiCall *call);

// A set without parameters that calls one function.
template <int (*action)()>
int scpi_cmd_plainAction(ScpiCall *call) {
    int r;
    if (!scpi_cmd_noParameters(call, &r)) return r;
    return action();
}

// A header whose operation no module specifies: the device's command-leaf slot
// (Device_runCommandLeaf) runs it by its keyword. Until a module fills that slot the set does
// nothing (scripts for the whole family send such settings everywhere), the query answers -113
// (this hardware has no such operation) and the listing reports the header as not supported.
int scpi_cmd_runDeviceLeaf(ScpiCall *call);
constexpr ScpiLeaf scpi_cmd_deviceLeaf(uint8_t forms) {
    return scpi_leafCustom(scpi_cmd_runDeviceLeaf, forms, nullptr, &Device_runCommandLeaf);
}

// A set whose single parameter is keyword calls action; anything else runs the typed leaf of
// node (whose forms and limits apply).
int scpi_cmd_keywordOrTyped(ScpiCall *call, const char *keyword, int (*action)(Device *),
                            const ScpiNode *node);
