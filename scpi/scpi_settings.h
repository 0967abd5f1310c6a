// Stored settings: the instrument's state saved and restored as SCPI text. A slot file lists
// one absolute command per line (":<header> <value>"), followed by one empty line; recalling
// executes the lines. Slot 0 is the power-on settings.
//
// Context: main loop, inside a command (deviceAccessMutex held).
#pragma once

#include <cstdio>

struct ScpiLink;

constexpr int SCPI_SETTINGS_SLOTS = 1000;      // slots 0 to 999
constexpr int SCPI_SETTINGS_LINE_MAX = 69;     // a line including its line feed
constexpr int SCPI_SETTINGS_ANSWER_SIZE = 64;  // answer of one setting's query
constexpr const char *SCPI_SETTINGS_PREFIX = "/korvane/cust/sav";

// *SAV n: 0, -113 (no such slot, no header list from the device) or -200 (file error).
int scpi_storeDeviceSettings(ScpiLink *link, int n);
// *RCL n: 0 or -113. A slot never saved changes nothing. The lines run on the "File" link with
// errors ignored; their settings take effect when the program message containing *RCL ends.
int scpi_recallDeviceSettings(ScpiLink *link, int n);
// *SDS n: 0 or -113; a missing file is no error.
int scpi_deleteDeviceSettings(ScpiLink *link, int n);
// Queries header on link and writes its line to file. Returns 0, or -223 when the line would
// exceed the line limit (nothing is written then, since it could not be recalled).
int scpi_getAndStoreSetting(ScpiLink *link, FILE *file, const char *header);
