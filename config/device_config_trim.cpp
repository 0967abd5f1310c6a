#include "config/device_config_trim.h"

#include <cstdio>
#include <cstdlib>

#include "config/device_config.h"
#include "core/krpath.h"
#include "core/krstuff.h"
#include "scpi/scpi_errorcodes.h"

namespace {

constexpr bool Always = true;
constexpr bool FromChannel1 = false;

int loadTrim(const char *file, bool suffixOnChannel0, int channel, void *value, size_t bytes) {
    char path[KR_PATH_MAX];
    if (device_config_trimPath(file, suffixOnChannel0, channel, path, sizeof(path)) != 0)
        return KR_E_EXECUTION_ERROR;
    return device_config_loadBinary(path, value, bytes);
}

int storeTrim(const char *file, bool suffixOnChannel0, int channel, const void *value,
              size_t bytes) {
    char path[KR_PATH_MAX];
    if (device_config_trimPath(file, suffixOnChannel0, channel, path, sizeof(path)) != 0)
        return KR_E_EXECUTION_ERROR;
    krstuffWriteKr();
    int r = device_config_storeBinary(path, value, bytes);
    krstuffProtectKr();
    return r;
}

int loadSensitivity(const char *path, double *value) {
    char text[64];
    if (device_config_loadString(path, text, sizeof(text)) != 0) return KR_E_EXECUTION_ERROR;
    char *end;
    double parsed = strtod(text, &end);
    if (end == text) return KR_E_EXECUTION_ERROR;
    *value = parsed;
    return 0;
}

int storeSensitivity(const char *path, double value) {
    char text[64];
    snprintf(text, sizeof(text), "%lf\n", value);
    krstuffWriteKr();
    int r = device_config_storeString(path, text);
    krstuffProtectKr();
    return r;
}

}  // namespace

int device_config_trimPath(const char *file, bool suffixOnChannel0, int channel, char *out,
                           int size) {
    if (channel < 0 || channel >= DEVICE_CONFIG_CHANNELS) return KR_E_EXECUTION_ERROR;
    int n = (channel == 0 && !suffixOnChannel0)
                ? snprintf(out, (size_t)size, "%s", file)
                : snprintf(out, (size_t)size, "%s%d", file, channel);
    return (n > 0 && n < size) ? 0 : KR_E_EXECUTION_ERROR;
}

#define DEVICE_CONFIG_TRIM_DEFINE(Name, file, bytes, suffix)        \
    int device_config_load##Name(void *value, int channel) {        \
        return loadTrim(file, suffix, channel, value, bytes);       \
    }                                                               \
    int device_config_store##Name(const void *value, int channel) { \
        return storeTrim(file, suffix, channel, value, bytes);      \
    }
DEVICE_CONFIG_TRIMS(DEVICE_CONFIG_TRIM_DEFINE)
#undef DEVICE_CONFIG_TRIM_DEFINE

int device_config_loadRefDat(void *value) {
    return device_config_loadBinary("/korvane/dev/ref_dat", value, 4);
}

int device_config_storeRefDat(const void *value) {
    krstuffWriteKr();
    int r = device_config_storeBinary("/korvane/dev/ref_dat", value, 4);
    krstuffProtectKr();
    return r;
}

int device_config_loadVcoSensA(double *value) {
    return loadSensitivity("/korvane/dev/vcosensa", value);
}
int device_config_storeVcoSensA(double value) {
    return storeSensitivity("/korvane/dev/vcosensa", value);
}
int device_config_loadVcoSensB(double *value) {
    return loadSensitivity("/korvane/dev/vcosensb", value);
}
int device_config_storeVcoSensB(double value) {
    return storeSensitivity("/korvane/dev/vcosensb", value);
}
