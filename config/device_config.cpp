#include "config/device_config.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/krpath.h"
#include "core/krstuff.h"
#include "core/printd.h"
#include "core/startup.h"

int device_config_reset_cause = 0;

namespace {

constexpr const char *kDefaultSN = "000-000000000-0000";
char device_config_sn[33] = "000-000000000-0000";
char device_config_modelNameExt[16] = "";
int device_config_fwStatus = -1;
int device_config_port = 18;

char snAt(int pos) { return (int)strlen(device_config_sn) > pos ? device_config_sn[pos] : 0; }

bool snIn(int pos, const char *codes) {
    char c = snAt(pos);
    return c && strchr(codes, c) != nullptr;
}

// First line of a file, at most size - 1 characters, line feed removed. -200 when missing.
int readLine(const char *absPath, char *buf, size_t size) {
    FILE *f = fopen(KrPath(absPath), "r");
    if (!f) return -200;
    if (!fgets(buf, (int)size, f)) buf[0] = 0;
    fclose(f);
    buf[strcspn(buf, "\r\n")] = 0;
    return 0;
}

}  // namespace

int device_config_readSN() {
    snprintf(device_config_sn, sizeof(device_config_sn), "%s", kDefaultSN);
    char line[33];
    if (readLine("/korvane/dev/sn", line, sizeof(line)) == 0) {
        for (char *p = line; *p; p++) *p = (char)toupper((unsigned char)*p);
        snprintf(device_config_sn, sizeof(device_config_sn), "%s", line);
    }
    if (fallbackEnabled && strlen(device_config_sn) >= 18) memcpy(device_config_sn + 14, "RECO", 4);
    return 0;
}

void device_config_init() {
    device_config_reset_cause = 0;
    device_config_readSN();
    char line[16];
    if (readLine("/korvane/cust/model_name_ext", line, sizeof(line)) == 0)
        snprintf(device_config_modelNameExt, sizeof(device_config_modelNameExt), "%s", line);
    device_config_fwStatus = access(KrPath("/korvane/dev/fwupdate"), F_OK) == 0 ? -1 : 0;
}

const char *device_config_getSN() { return device_config_sn; }

const char *device_config_getFWVersion() { return device_config_fwStatus ? "0.0.1" : "0.4.204"; }

const char *device_config_getModelNameExt_bracketed() {
    // Stored as "[ext]"; an empty extension shows nothing.
    if (device_config_modelNameExt[0] == 0 || strcmp(device_config_modelNameExt, "[]") == 0) return "";
    return device_config_modelNameExt;
}

int device_config_loadBootDelay(double *seconds) {
    *seconds = 0;
    char line[64];
    if (readLine("/korvane/dev/bootdelay", line, sizeof(line)) != 0) return 0;
    double d = strtod(line, nullptr);
    *seconds = (d < 0 || d > 60 || d != d) ? 0 : d;
    return 0;
}

void device_config_initResetCounter() {
    krstuffWriteKr();
    FILE *f = fopen(KrPath("/korvane/dev/resetCounter"), "wb");
    if (f) {
        int32_t zero = 0;
        fwrite(&zero, sizeof(zero), 1, f);
        fclose(f);
    }
    krstuffProtectKr();
}

void device_config_getLanConfig() {
    device_config_port = 18;
    FILE *f = fopen(KrPath("/korvane/dev/conf/eth0_other_conf"), "r");
    if (!f) return;
    char key[32];
    int value;
    while (fscanf(f, "%31s %d", key, &value) == 2) {
        if (strcmp(key, "port") == 0) {
            device_config_port = (value >= 1 && value <= 65535) ? value : 18;
            break;
        }
    }
    fclose(f);
}

int device_config_getPort() { return device_config_port; }

int device_config_usesFp() { return snIn(4, "234"); }
int device_config_usesFpStm() { return snIn(4, "34"); }
int device_config_usesGPIB() { return snIn(11, "1357"); }
int device_config_usesBattery() { return snIn(9, "1B"); }
