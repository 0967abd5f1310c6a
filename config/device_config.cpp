#include "config/device_config.h"
#include "config/output_board.h"
#include "config/serial_codes.h"

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/krpath.h"
#include "core/krstuff.h"
#include "core/printd.h"
#include "core/startup.h"
#include "scpi/scpi_errorcodes.h"

int device_config_reset_cause = 0;
int device_config_fwStatus = -1;

namespace {

// What the firmware presents: in fallback mode the sequence digits read "RECO".
char device_config_sn[DEVICE_CONFIG_SN_SIZE] = "000-000000000-0000";
// What the files hold. Written back unchanged, so that fallback mode never stores "RECO".
char storedSN[DEVICE_CONFIG_SN_SIZE] = "000-000000000-0000";
char device_config_channel[DEVICE_CONFIG_CHANNELS][DEVICE_CONFIG_SN_SIZE];
bool snLoaded = false;

char device_config_modelNameExt[16] = "";
// Both brackets around up to 15 characters (a file written without brackets holds 15).
char modelNameExtBracketed[18] = "";
char modelNameExtText[16] = "";
constexpr const char *device_config_fwversion = "0.4.204";

constexpr int sequencePosition = 14;

void copySN(char *to, const char *from) {
    snprintf(to, DEVICE_CONFIG_SN_SIZE, "%s", from);
}

void upperCase(char *text) {
    for (; *text; text++)
        *text = (char)toupper((unsigned char)*text);
}

// One line of at most size - 1 characters, line feed removed. The rest of a longer line is
// skipped, so that it is not taken for the next line. false at the end of the file.
bool readLine(FILE *f, char *line, size_t size) {
    if (!fgets(line, (int)size, f)) return false;
    size_t n = strlen(line);
    if (n > 0 && line[n - 1] == '\n') {
        line[n - 1] = 0;
    } else {
        int c;
        while ((c = fgetc(f)) != EOF && c != '\n') {
        }
    }
    return true;
}

// "SNCH<n>-" with n from 0 to 7 at the start of text: n, else -1.
int channelPrefix(const char *text, bool needDash) {
    if (!text || strncmp(text, "SNCH", 4) != 0) return -1;
    if (text[4] < '0' || text[4] > '7') return -1;
    if (needDash ? text[5] != '-' : text[5] != 0) return -1;
    return text[4] - '0';
}

void ensureLoaded() {
    if (!snLoaded || device_config_sn[0] == 0) device_config_readSN();
}

char codeAt(const char *sn, int position) {
    return (int)strnlen(sn, DEVICE_CONFIG_SN_SIZE) > position ? sn[position] : 0;
}

char instrumentCode(int position) {
    ensureLoaded();
    return codeAt(device_config_sn, position);
}

// 'Z' in the instrument number: this position differs per channel.
const char *numberForChannel(int position, int channel) {
    ensureLoaded();
    if (codeAt(device_config_sn, position) == 'Z' && channel >= 0 &&
        channel < DEVICE_CONFIG_CHANNELS)
        return device_config_channel[channel];
    return device_config_sn;
}

char channelCode(int position, int channel) {
    return codeAt(numberForChannel(position, channel), position);
}

int codeMatches(char code, SerialCodeTest test, const char *codes) {
    return serial_codeMatches(code, test, codes) ? 1 : 0;
}

bool isModelLetter(char c) {
    return (c >= 'A' && c <= 'E') || c == 'Z';
}

// Low-noise reference board code; two older lines carry it at position 7.
char refBoardCode() {
    return serial_refBoardCode(instrumentCode(0), instrumentCode(1), instrumentCode(6),
                               instrumentCode(7));
}

int sequenceNumber() {
    ensureLoaded();
    int value = 0;
    for (int i = sequencePosition; i < sequencePosition + 4; i++) {
        char c = codeAt(device_config_sn, i);
        if (c < '0' || c > '9') return value;  // "RECO" reads as 0
        value = value * 10 + (c - '0');
    }
    return value;
}

int writeWhole(const char *path, const void *data, size_t n, const char *mode) {
    FILE *f = fopen(KrPath(path), mode);
    if (!f) return KR_E_EXECUTION_ERROR;
    size_t written = n ? fwrite(data, 1, n, f) : 0;
    int closed = fclose(f);
    return (written == n && closed == 0) ? 0 : KR_E_EXECUTION_ERROR;
}

int writeSNFiles() {
    if (writeWhole("/korvane/dev/sn", storedSN, strlen(storedSN), "w") != 0) return -1;
    char all[(DEVICE_CONFIG_SN_SIZE + 8) * (DEVICE_CONFIG_CHANNELS + 1)];
    char *cursor = all;
    size_t room = sizeof(all);
    strappend(&cursor, &room, "%s\n", storedSN);
    for (int ch = 0; ch < DEVICE_CONFIG_CHANNELS; ch++)
        strappend(&cursor, &room, "SNCH%d-%s\n", ch, device_config_channel[ch]);
    return writeWhole("/korvane/dev/sn_all", all, strlen(all), "w") == 0 ? 0 : -1;
}

void loadModelNameExt() {
    char line[16];
    device_config_modelNameExt[0] = 0;
    if (device_config_loadString("/korvane/cust/model_name_ext", line, sizeof(line)) != 0) return;
    char *out = device_config_modelNameExt;
    for (const char *p = line; *p; p++)
        if (*p != '\n') *out++ = *p;
    *out = 0;
}

// The text between the stored brackets (either bracket may be missing).
const char *modelNameInner() {
    const char *start = device_config_modelNameExt;
    if (*start == '[') start++;
    size_t n = strlen(start);
    if (n > 0 && start[n - 1] == ']') n--;
    snprintf(modelNameExtText, sizeof(modelNameExtText), "%.*s", (int)n, start);
    return modelNameExtText;
}

bool isDecimalText(const char *text) {
    if (!text || !*text) return false;
    for (; *text; text++)
        if (*text < '0' || *text > '9') return false;
    return true;
}

int writeResetCounter(int32_t value) {
    unsigned char bytes[4];
    for (int i = 0; i < 4; i++)
        bytes[i] = (unsigned char)((uint32_t)value >> (8 * i));
    krstuffWriteKr();
    int r = device_config_storeBinary("/korvane/dev/resetCounter", bytes, sizeof(bytes));
    krstuffProtectKr();
    return r;
}

}  // namespace

void device_config_init() {
    device_config_reset_cause = 0;
    device_config_readSN();
    loadModelNameExt();
    device_config_fwStatus = access(KrPath("/korvane/dev/fwupdate"), F_OK) == 0 ? -1 : 0;
}

// ---------------------------------------------------------------------------------------
// Serial numbers

int device_config_readSN() {
    snLoaded = true;
    copySN(storedSN, DEVICE_CONFIG_DEFAULT_SN);
    for (auto &number : device_config_channel)
        copySN(number, DEVICE_CONFIG_DEFAULT_SN);
    char line[DEVICE_CONFIG_SN_SIZE];
    FILE *f = fopen(KrPath("/korvane/dev/sn"), "r");
    if (f) {
        if (readLine(f, line, sizeof(line))) {
            upperCase(line);
            copySN(storedSN, line);
        }
        fclose(f);
        FILE *all = fopen(KrPath("/korvane/dev/sn_all"), "r");
        while (all && readLine(all, line, sizeof(line))) {
            upperCase(line);
            int ch = channelPrefix(line, true);
            if (ch >= 0) copySN(device_config_channel[ch], line + 6);
        }
        if (all) fclose(all);
    }
    copySN(device_config_sn, storedSN);
    if (fallbackEnabled && strlen(device_config_sn) >= (size_t)sequencePosition + 4)
        memcpy(device_config_sn + sequencePosition, "RECO", 4);
    return 0;
}

int device_config_writeSN() {
    char written[DEVICE_CONFIG_SN_SIZE];
    copySN(written, storedSN);
    krstuffWriteKr();
    int r = writeSNFiles();
    krstuffProtectKr();
    device_config_readSN();
    if (r != 0 || strcmp(storedSN, written) != 0) {
        printd("device_config_writeSN(): write failed or read back <%s>, wrote <%s>\n", storedSN,
               written);
        return -1;
    }
    return 0;
}

const char *device_config_getSN() {
    ensureLoaded();
    return device_config_sn;
}

const char *device_config_getSubSN(const char *name) {
    ensureLoaded();
    int ch = channelPrefix(name, false);
    return ch >= 0 ? device_config_channel[ch] : device_config_sn;
}

int device_config_setSN(const char *oldSN, const char *newSN, int *changed) {
    device_config_readSN();
    if (!oldSN || !newSN || strcmp(device_config_sn, oldSN) != 0) {
        printd("device_config_setSN() error: stored/old/new: %s/%s/%s\n", device_config_sn,
               oldSN ? oldSN : "", newSN ? newSN : "");
        return KR_E_UNDEFINED_HEADER;
    }
    int ch = channelPrefix(newSN, true);
    if (ch >= 0)
        copySN(device_config_channel[ch], newSN + 6);
    else
        copySN(storedSN, newSN);
    if (device_config_writeSN() != 0) return KR_E_UNDEFINED_HEADER;
    if (changed) *changed = 1;
    return 0;
}

// ---------------------------------------------------------------------------------------
// Predicates

// The records of config/serial_codes.h, read from the loaded numbers.
#define DEVICE_CONFIG_CODE(name, position, test, codes)                       \
    int device_config_##name() {                                              \
        return serial_holds(serial_##name, instrumentCode(position)) ? 1 : 0; \
    }
#define DEVICE_CONFIG_CHANNEL_CODE(name, position, test, codes)                     \
    int device_config_##name(int channel) {                                         \
        return serial_holds(serial_##name, channelCode(position, channel)) ? 1 : 0; \
    }
#include "config/device_config_predicates.def"
#undef DEVICE_CONFIG_CHANNEL_CODE
#undef DEVICE_CONFIG_CODE

char device_config_outputBoardCode(int channel) {
    return channelCode(7, channel);
}

int device_config_hasInternalRef() {
    char p0 = instrumentCode(0), p10 = instrumentCode(10);
    return (p0 == '2' || p0 == '5') && p10 && p10 != '0';
}

int device_config_isOrbxXXG() {
    ensureLoaded();
    return isModelLetter(instrumentCode(1)) || isModelLetter(codeAt(device_config_channel[0], 1));
}

int device_config_uses_ORBXXXG_REF_ULN() {
    return serial_usesRefUln(instrumentCode(0), instrumentCode(1), refBoardCode()) ? 1 : 0;
}

int device_config_uses_ORBXXXG_REF_ULN_2A() {
    return device_config_uses_ORBXXXG_REF_ULN() && refBoardCode() == '2';
}

int device_config_uses_ORBXXXG_REF_ULN_2B() {
    return device_config_uses_ORBXXXG_REF_ULN() && refBoardCode() == '3';
}

int device_config_uses_ORBXXXG_REF_ULN_2C() {
    return device_config_uses_ORBXXXG_REF_ULN() && refBoardCode() == '4';
}

int device_config_uses_ORBXXXG_OUT_1C(int channel) {
    const char *sn = numberForChannel(7, channel);
    return codeAt(sn, 7) == '4' && codeAt(sn, 15) > '3';
}

int device_config_usesORBX_OptionFS(int channel) {
    return codeMatches(channelCode(12, channel), SerialCodeTest::In, "02789AHIJKLMRSTUW") ||
           device_config_usesORBX_OptionNEC(channel);
}

int device_config_usesCommonRfEnable(int channel) {
    char code = channelCode(12, channel);
    if (code == '5') return 0;
    if (code == '4' && device_config_usesOptionFs()) return 0;
    return 1;
}

int device_config_usesORBX_limitedVCO() {
    int sequence = sequenceNumber();
    int limited = sequence == 730 || sequence >= 888;
    printd(limited ? "TRUE\n" : "FALSE\n");
    return limited;
}

int device_config_usesOptionFsk(int channel) {
    return device_config_usesORBX_OptionMOD(channel) && device_config_usesFS_ARM_CONT_2CorNewer();
}

int device_config_usesOptionPulseTrains() {
    return codeMatches(instrumentCode(0), SerialCodeTest::In, "14A") &&
           codeMatches(instrumentCode(1), SerialCodeTest::In, "12456789") &&
           codeMatches(instrumentCode(5), SerialCodeTest::In, "4ABCDEFGHIJKLMNOPQRSTUVWXYZ");
}

int device_config_getSourcesCount() {
    return serial_sourcesCount(instrumentCode(8));
}

// ---------------------------------------------------------------------------------------
// Identification

const char *device_config_getFWVersion() {
    return device_config_fwStatus ? "0.0.1" : device_config_fwversion;
}

char *device_config_getOptionsString(char *buffer, size_t size) {
    char *cursor = buffer;
    size_t room = size;
    strappend(&cursor, &room, "0");
    if (device_config_uses_OptionFlash()) strappend(&cursor, &room, ",FLASH");
    if (device_config_usesORBX_OptionFS(0) && !device_config_usesORBX_OptionNEC(0))
        strappend(&cursor, &room, ",FS");
    if (device_config_usesHICasing()) strappend(&cursor, &room, ",HI");
    if (device_config_usesORBX_OptionLN(0)) strappend(&cursor, &room, ",LN");
    if (device_config_usesORBX_OptionMOD(0)) strappend(&cursor, &room, ",MOD");
    if (device_config_usesOptionPhs(0)) strappend(&cursor, &room, ",PHS");
    if (device_config_usesORBX_OptionVREF(0)) strappend(&cursor, &room, ",VREF");
    if (device_config_usesGPIB()) strappend(&cursor, &room, ",GPIB");
    if (device_config_usesORBX_Sspe(0)) strappend(&cursor, &room, ",PE4");
    if (device_config_usesOptionNec()) strappend(&cursor, &room, ",NEC");
    sortCsvLine(buffer, ',');
    return buffer;
}

int device_config_setModelNameExt(const char *text) {
    snprintf(device_config_modelNameExt, sizeof(device_config_modelNameExt), "[%s]",
             text ? text : "");
    krstuffWriteKr();
    int r = device_config_storeString("/korvane/cust/model_name_ext", device_config_modelNameExt);
    krstuffProtectKr();
    return r;
}

const char *device_config_getModelNameExt() {
    return modelNameInner();
}

const char *device_config_getModelNameExt_bracketed() {
    const char *inner = modelNameInner();
    if (!*inner) return "";
    snprintf(modelNameExtBracketed, sizeof(modelNameExtBracketed), "[%s]", inner);
    return modelNameExtBracketed;
}

// ---------------------------------------------------------------------------------------
// GPIB address

int device_config_getGPIBaddr(char *buffer, size_t size) {
    if (!device_config_usesGPIB()) return KR_E_UNDEFINED_HEADER;
    char line[32] = "";
    FILE *f = fopen(KrPath("/korvane/dev/gpib"), "r");
    if (f) {
        if (!readLine(f, line, sizeof(line))) line[0] = 0;
        fclose(f);
    }
    snprintf(buffer, size, "%s", line[0] ? line : "1");
    return 0;
}

int device_config_setGPIBaddr(const char *text) {
    if (!device_config_usesGPIB()) return KR_E_UNDEFINED_HEADER;
    // The address goes into a shell command line: digits only.
    if (!isDecimalText(text) || strlen(text) > 3) return KR_E_ILLEGAL_PARAMETER_VALUE;
    char path[KR_PATH_MAX + 2];
    if (device_config_quotePath("/korvane/dev/gpib", path, sizeof(path)) != 0)
        return KR_E_EXECUTION_ERROR;
    char command[KR_PATH_MAX + 32];
    snprintf(command, sizeof(command), "echo '%s' > %s", text, path);
    krstuffWriteKr();
    int status = krstuffSystem(command);
    krstuffProtectKr();
    return status == 0 ? 0 : KR_E_EXECUTION_ERROR;
}

// ---------------------------------------------------------------------------------------
// Boot delay and reset counter

int device_config_loadBootDelay(double *seconds) {
    *seconds = 0;
    char text[64];
    if (device_config_loadString("/korvane/dev/bootdelay", text, sizeof(text)) != 0) return 0;
    double value = strtod(text, nullptr);
    *seconds = (value >= 0 && value <= 60) ? value : 0;  // NaN fails both tests
    return 0;
}

int device_config_storeBootDelay(double seconds) {
    char text[64];
    snprintf(text, sizeof(text), "%f", (seconds >= 0 && seconds <= 60) ? seconds : 0.0);
    krstuffWriteKr();
    int r = device_config_storeString("/korvane/dev/bootdelay", text);
    krstuffProtectKr();
    return r;
}

int32_t device_config_loadResetCounter() {
    unsigned char bytes[4];
    if (device_config_loadBinary("/korvane/dev/resetCounter", bytes, sizeof(bytes)) != 0) return 0;
    uint32_t value = 0;
    for (int i = 0; i < 4; i++)
        value |= (uint32_t)bytes[i] << (8 * i);
    return (int32_t)value;
}

int device_config_incrementResetCounter() {
    int32_t counter = device_config_loadResetCounter();
    printd("counter %i\n", counter);
    counter = (int32_t)((uint32_t)counter + 1);
    int r = writeResetCounter(counter);
    printd("counter %i\n", counter);
    return r;
}

int device_config_initResetCounter() {
    return writeResetCounter(0);
}

// ---------------------------------------------------------------------------------------
// Constant files

int device_config_loadBinary(const char *path, void *buffer, size_t n) {
    FILE *f = fopen(KrPath(path), "rb");
    if (!f) return KR_E_EXECUTION_ERROR;
    size_t got = fread(buffer, 1, n, f);
    fclose(f);
    return got == n ? 0 : KR_E_EXECUTION_ERROR;
}

int device_config_storeBinary(const char *path, const void *buffer, size_t n) {
    return writeWhole(path, buffer, n, "wb");
}

int device_config_loadString(const char *path, char *buffer, size_t n) {
    if (n == 0) return KR_E_EXECUTION_ERROR;
    FILE *f = fopen(KrPath(path), "r");
    if (!f) return KR_E_EXECUTION_ERROR;
    size_t got = fread(buffer, 1, n - 1, f);
    fclose(f);
    buffer[got] = 0;  // a short file leaves no stale bytes in the text
    return 0;
}

int device_config_storeString(const char *path, const char *text) {
    return writeWhole(path, text, strlen(text), "w");
}

int device_config_quotePath(const char *path, char *out, size_t size) {
    KrPath resolved(path);
    if (!resolved.ok() || strchr(resolved, '\'')) return KR_E_EXECUTION_ERROR;
    int n = snprintf(out, size, "'%s'", resolved.c_str());
    return (n > 0 && (size_t)n < size) ? 0 : KR_E_EXECUTION_ERROR;
}
