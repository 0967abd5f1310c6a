// Emulation of another maker's short mnemonic command set, offered every unit before SCPI.
#pragma once

struct Device;
struct ScpiLink;

struct AnritsuState {
    Device *device;
    int listenToGet;
    int listIndex;
    int sqFlag;
    int fbFlag;
    int lsFlag;
    int stepCounter;
};
extern AnritsuState anritsu;

void ANRITSU_init(AnritsuState *state, Device *device);
// 0 when the unit was handled (response in out), else an error code and the unit goes on.
int ANRITSU_parse(AnritsuState *state, ScpiLink *link, char *unit, char *out, int outSize,
                  int partial, int *outLen);
// 0 when the event was consumed.
int ANRITSU_handleEvent(AnritsuState *state, ScpiLink *link, int event);
// Output blanking off and the high ALC bandwidth, each where the device has it.
void ANRITSU_configureDevice(AnritsuState *state);
int ANRITSU_isDataTerminator(const char *text);
// Index just past the last data terminator word in text[0..length), 0 when there is none.
int ANRITSU_findLastDataTerminator(const char *text, int length);
