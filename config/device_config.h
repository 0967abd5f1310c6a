// What hardware the firmware runs on, decoded from the serial number, and the stored
// settings of the instrument itself: model-name extension, GPIB address, boot delay, reset
// counter, firmware version and options text. LAN, port and client-mode settings are in
// device_config_lan.h, the per-channel trim files in device_config_trim.h.
//
// Predicates read static data and may be called from every thread. Setters run on the main
// loop's thread or at start-up.
#pragma once

#include <cstddef>
#include <cstdint>

#include "config/device_config_lan.h"
#include "config/device_config_trim.h"

constexpr int DEVICE_CONFIG_CHANNELS = 8;
constexpr int DEVICE_CONFIG_SN_SIZE = 33;  // up to 32 characters and the terminator
constexpr int DEVICE_CONFIG_OPTIONS_SIZE = 64;
constexpr const char *DEVICE_CONFIG_DEFAULT_SN = "000-000000000-0000";

extern int device_config_reset_cause;  // 0 power-up, 1 firmware, 2 user reset
extern int device_config_fwStatus;     // non-zero while a firmware update is pending

// Start-up: reset cause 0, serial numbers, model-name extension, firmware-update marker.
void device_config_init();

// ---------------------------------------------------------------------------------------
// Serial numbers

// Reads /korvane/dev/sn and /korvane/dev/sn_all (defaults where missing). Returns 0.
int device_config_readSN();
// Writes both files and reads them back. 0, or -1 on a write failure or a mismatch.
int device_config_writeSN();
// The instrument number; the files are read on first use.
const char *device_config_getSN();
// "SNCH0" to "SNCH7" give that channel's number; anything else (also null) the instrument's.
const char *device_config_getSubSN(const char *name);
// Sets the instrument number, or a channel's with "SNCH<n>-<number>", provided old is the
// stored instrument number. 0 (changed set to 1 when given) or -113.
int device_config_setSN(const char *oldSN, const char *newSN, int *changed);

// ---------------------------------------------------------------------------------------
// Predicates on the serial number: 0 or 1. Those with a channel argument follow the
// channel indirection ('Z' in the instrument number: read the channel's own number).

#define DEVICE_CONFIG_CODE(name, position, test, codes) int device_config_##name();
#define DEVICE_CONFIG_CHANNEL_CODE(name, position, test, codes) \
    int device_config_##name(int channel);
#include "config/device_config_predicates.def"
#undef DEVICE_CONFIG_CHANNEL_CODE
#undef DEVICE_CONFIG_CODE
// The output-board revision code of a channel (position 7; config/output_board.h names the
// families).
char device_config_outputBoardCode(int channel);

int device_config_hasInternalRef();
// Any of the multi-channel output models, also when channel 0's own number says so.
int device_config_isOrbxXXG();
int device_config_uses_ORBXXXG_REF_ULN();
int device_config_uses_ORBXXXG_REF_ULN_2A();
int device_config_uses_ORBXXXG_REF_ULN_2B();
int device_config_uses_ORBXXXG_REF_ULN_2C();
int device_config_uses_ORBXXXG_OUT_1C(int channel);
int device_config_usesORBX_OptionFS(int channel);  // also when option NEC is fitted
int device_config_usesCommonRfEnable(int channel);
int device_config_usesORBX_limitedVCO();
int device_config_usesOptionPulseTrains();
// FSK beside FM and PM: the modulation option on an FS controller of revision 2C or newer,
// whose FPGA has the binary ADC mode.
int device_config_usesOptionFsk(int channel);
// 1 to 8.
int device_config_getSourcesCount();

// ---------------------------------------------------------------------------------------
// Identification

const char *device_config_getFWVersion();
// "0" followed by the fitted options, sorted ("0,GPIB,HI,LN"). Returns buffer.
char *device_config_getOptionsString(char *buffer, size_t size);

// Model-name extension: stored as "[text]" in /korvane/cust/model_name_ext. 0 or -200.
int device_config_setModelNameExt(const char *text);
const char *device_config_getModelNameExt();            // the text without brackets
const char *device_config_getModelNameExt_bracketed();  // "[text]", or "" when empty

// ---------------------------------------------------------------------------------------
// GPIB address (only with GPIB fitted, else -113)

int device_config_getGPIBaddr(char *buffer, size_t size);
// Decimal digits only, else -224.
int device_config_setGPIBaddr(const char *text);

// ---------------------------------------------------------------------------------------
// Boot delay (0 to 60 s) and reset counter

int device_config_loadBootDelay(double *seconds);
int device_config_storeBootDelay(double seconds);
int32_t device_config_loadResetCounter();
int device_config_incrementResetCounter();
int device_config_initResetCounter();

// ---------------------------------------------------------------------------------------
// Constant files (firmware paths, resolved inside)

// -200 unless exactly n bytes were read.
int device_config_loadBinary(const char *path, void *buffer, size_t n);
// -200 when the file cannot be created or fewer than n bytes were written.
int device_config_storeBinary(const char *path, const void *buffer, size_t n);
// Reads up to n - 1 bytes and terminates the text after them; -200 when missing.
int device_config_loadString(const char *path, char *buffer, size_t n);
int device_config_storeString(const char *path, const char *text);

// The resolved firmware path in single quotes, for a shell command line. 0, or -200 when
// it cannot be quoted.
int device_config_quotePath(const char *path, char *out, size_t size);
