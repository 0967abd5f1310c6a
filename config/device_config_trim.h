// Trim constants of the boards, one tiny file each under /korvane/dev/. Binary files hold
// the value's bytes as stored by the firmware; the meaning of each value belongs to the
// module that uses it. All return 0, or -200 on a file error or a channel outside 0 to 7.
#pragma once

// DEVICE_CONFIG_TRIM(Name, file, bytes, suffix): per-channel binary trim files.
// suffix Always: the channel number is appended to the file name; FromChannel1: channel 0
// uses the bare name, the others carry their number.
#define DEVICE_CONFIG_TRIMS(X)                                              \
    X(AcExtFmOffset, "/korvane/dev/ac_ext_fm_offset", 4, Always)            \
    X(PhsDelay, "/korvane/dev/phsdelay", 4, Always)                         \
    X(FmInOffs, "/korvane/dev/fminoffs", 4, Always)                         \
    X(RfVcoTuneLimit, "/korvane/dev/rfvcotunelimit", 8, Always)             \
    X(DdsClockDutyCycle, "/korvane/dev/ddsclockdutycycle", 4, FromChannel1) \
    X(DdsClockPhase, "/korvane/dev/ddsclockphase", 4, FromChannel1)         \
    X(DdsClockCross, "/korvane/dev/ddsclockcross", 4, FromChannel1)         \
    X(VcoTuning, "/korvane/dev/vcotuning", 4, FromChannel1)

#define DEVICE_CONFIG_TRIM_DECLARE(Name, file, bytes, suffix) \
    int device_config_load##Name(void *value, int channel);   \
    int device_config_store##Name(const void *value, int channel);
DEVICE_CONFIG_TRIMS(DEVICE_CONFIG_TRIM_DECLARE)
#undef DEVICE_CONFIG_TRIM_DECLARE

// The file name of a per-channel trim for a channel ("/korvane/dev/phsdelay3"); -200 for a
// channel outside 0 to 7.
int device_config_trimPath(const char *file, bool suffixOnChannel0, int channel, char *out,
                           int size);

// Reference trim, 4 bytes.
int device_config_loadRefDat(void *value);
int device_config_storeRefDat(const void *value);
// VCO sensitivity of tuning input A or B, text "%lf\n".
int device_config_loadVcoSensA(double *value);
int device_config_storeVcoSensA(double value);
int device_config_loadVcoSensB(double *value);
int device_config_storeVcoSensB(double value);
