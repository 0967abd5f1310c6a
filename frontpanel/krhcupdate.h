// The update vocabulary that keeps the front panel in step with the instrument: every change
// of a setting, limit, connection or status condition goes to the panel as one line of
// SCPI-style text ending in a line feed. Senders return 0, or -1 without effect when the
// panel link is closed or the value's getter is not registered on this instrument.
// Callers: command handlers and periodic supervision (main loop, deviceAccessMutex held),
// the supervision thread (battery, address) and the link-event handler.
#pragma once

#include <cstdint>

#include "device/krfreq.h"
#include "device/krquantity.h"

struct Device;
struct KrHc;

extern KrHc *krhcs;  // the panel link the updates go to

void Krhcupdate_init(KrHc *hc);

// Raw senders: the text and a line feed; the text formatted with "%s\n"; n bytes as they are.
int Krhcupdate(const char *text);
int hcupdate(const char *text);
int Krhcupdate_n(int n, const char *bytes);

// Typed senders: "<header> <value>".
int hcupdate_tFreq(const char *header, const KrFreq *(*get)(Device *), Device *device);
int hcupdate_tPow(const char *header, const KrPow *(*get)(Device *), Device *device);
int hcupdate_tTime(const char *header, const KrTime *(*get)(Device *), Device *device);
int hcupdate_tAngle(const char *header, const KrAngle *(*get)(Device *), Device *device);
int hcupdate_tDouble(const char *header, double (*get)(Device *), Device *device);
int hcupdate_tFloat(const char *header, float (*get)(Device *), Device *device);
int hcupdate_tUint32(const char *header, uint32_t (*get)(Device *), Device *device);
int hcupdate_tState(const char *header, int (*get)(Device *), Device *device);
int hcupdate_tDoubleArray(const char *header, uint32_t (*count)(Device *),
                          const double *(*values)(Device *), Device *device);
// Sends line when the predicate is registered and true.
int hcupdate_tEnumMember(int (*is)(Device *), const char *line, Device *device);

// One function per value and choice message; those of an analog input or multi-function
// connector take its number (1 or 2).
#define HC_VALUE(function, kind, header, slot) int hcupdate_##function(Device *device);
#define HC_VALUE_AT(function, kind, header, slot) \
    int hcupdate_##function(Device *device, int number);
#include "frontpanel/hcupdate_values.def"
#undef HC_VALUE
#undef HC_VALUE_AT
#define HC_CHOICE(function, members) int hcupdate_##function(Device *device);
#define HC_CHOICE_AT(function, members) int hcupdate_##function(Device *device, int number);
#include "frontpanel/hcupdate_choices.def"
#undef HC_CHOICE
#undef HC_CHOICE_AT
int hcupdate_roscSour(Device *device);

// Start-up dump and controller messages.
int hcupdate_resetHcCommandParser();
int Krhcupdate_sn(Device *device);
int hcupdate_constants(Device *device);
int hcupdate_settings(Device *device);
int hcupdate_ready(Device *device = nullptr);
int hcupdate_options();

// Fixed lines.
int hcupdate_rst();
int hcupdate_lock();
int hcupdate_release();
int hcupdate_remoteOPC();
int hcupdate_connectLan();
int hcupdate_disconnectLan();
int hcupdate_connectUsb();
int hcupdate_disconnectUsb();
int hcupdate_connectGpib();
int hcupdate_disconnectGpib();
int hcupdate_batteryState(int state);
int hcupdate_ipAddress();
int hcupdate_gpibAddress(Device *device = nullptr);

// Questionable-status conditions mirrored on the panel: "PTR:<x>" sets, "NTR:<x>" clears.
#define HC_QUES_LIST(X)                     \
    X(Pow, "POW")                           \
    X(Time, "TIME")                         \
    X(PulmPeriod, "MOD:PULM:PER")           \
    X(PulmWidth, "MOD:PULM:WIDT")           \
    X(PulmSpacing, "MOD:PULM:SPAC")         \
    X(Pm, "MOD:PM")                         \
    X(Chirp, "MOD:CHIR")                    \
    X(DmePulseOverlap, "MOD:DME:PULS:OVER") \
    X(DmePulseForm, "MOD:DME:PULS:FORM")
#define HC_QUES_DECLARE(name, text) \
    int hcupdate_setQues##name();   \
    int hcupdate_clearQues##name();
HC_QUES_LIST(HC_QUES_DECLARE)
#undef HC_QUES_DECLARE

// Panel EEPROM write count (DIAGnostic:HC:EE:WC): 0, -241 without a panel, -200 when the
// panel does not answer within 1 s. Main loop.
int Krhcupdate_getEepromWriteCycles(uint32_t *count);

// The display flag (DISPlay:ENABle): 0, or -241 without a panel.
int hcupdate_disableDisplay();
int hcupdate_enableDisplay();
int hcupdate_isDisplayEnabled();
// "DISP:ENAB 1" or "DISP:ENAB 0".
int hcupdate_displayState();
