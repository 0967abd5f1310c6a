#include "scpi/anritsu.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/kr_event.h"
#include "core/printd.h"
#include "device/device.h"
#include "frontpanel/krhcupdate.h"
#include "remote/krgpib.h"
#include "scpi/paramListParser.h"
#include "scpi/scpi_convert.h"
#include "scpi/scpi_errorcodes.h"
#include "scpi/scpi_link.h"

AnritsuState anritsu;

namespace {

constexpr int UNIT_MAX = 1024;  // longer units are never mnemonics (a long LIST:FREQ is SCPI)
constexpr uint8_t STB_CHANGING = 68;
constexpr uint8_t STB_CHANGING_LS = 69;
constexpr uint8_t STB_DONE = 64;
constexpr int PANEL_UPDATE_STEPS = 32;

// Each data terminator with the SCPI suffix its number converts with; the SCPI unit tables
// do not know these words. Terminators without a suffix end a number in its base unit.
struct Terminator {
    const char *word;
    const char *suffix;
};
const Terminator dataTerminators[] = {
    {"ADR", ""},  {"DB", "DB"}, {"DG", "DEG"}, {"DM", "DBM"}, {"DV", ""},    {"GH", "GHZ"},
    {"GV", ""},   {"HZ", "HZ"}, {"KH", "KHZ"}, {"KV", ""},    {"MH", "MHZ"}, {"MS", "MS"},
    {"MV", "MV"}, {"NS", "NS"}, {"PCT", ""},   {"PCV", ""},   {"RD", "RAD"}, {"RV", ""},
    {"SEC", "S"}, {"SPS", ""},  {"TMS", ""},   {"US", "US"},  {"VT", "V"}};

// Case-insensitive word at text, followed by a blank or the end.
bool isWordAt(const char *text, int length, const char *word) {
    int n = (int)strlen(word);
    if (n > length) return false;
    for (int i = 0; i < n; i++)
        if (toupper((unsigned char)text[i]) != word[i]) return false;
    return n == length || text[n] == ' ' || text[n] == 0;
}

// Case-insensitive prefix, whatever follows.
bool startsWith(const char *text, const char *word) {
    for (; *word; word++, text++)
        if (toupper((unsigned char)*text) != *word) return false;
    return true;
}

const Terminator *terminatorAt(const char *text) {
    const Terminator *best = nullptr;
    for (const Terminator &t : dataTerminators)
        if (startsWith(text, t.word) && (!best || strlen(t.word) > strlen(best->word))) best = &t;
    if (best && isalpha((unsigned char)text[strlen(best->word)])) return nullptr;
    return best;
}

const char *skipBlanks(const char *p) {
    while (*p == ' ' || *p == '\t')
        p++;
    return p;
}

bool fromPanel(const ScpiLink *link) {
    return link && strcmp(link->name, SCPI_LINK_NAME_FRONT_PANEL) == 0;
}

void publish(uint8_t stb) {
    updateStb(stb);
}

void publishChanging(const AnritsuState *state) {
    publish(state->lsFlag ? STB_CHANGING_LS : STB_CHANGING);
}

// One value with its terminator at *p into "number+suffix" for the SCPI converters; *p moves
// past it. -113 when there is no number.
int takeValue(const char **p, char *text, int size) {
    const char *s = skipBlanks(*p);
    char *end = nullptr;
    strtod(s, &end);
    if (end == s) return KR_E_UNDEFINED_HEADER;
    int n = (int)(end - s);
    const char *q = skipBlanks(end);
    const Terminator *t = terminatorAt(q);
    const char *suffix = t ? t->suffix : "";
    if (n + (int)strlen(suffix) + 1 > size) return KR_E_TOO_MUCH_DATA;
    memcpy(text, s, n);
    strcpy(text + n, suffix);
    *p = t ? q + strlen(t->word) : end;
    return 0;
}

// Appends every value of text; a bad one aborts the list.
int appendListValues(Device *device, const char *text) {
    const char *p = skipBlanks(text);
    while (*p) {
        char value[64];
        KrFreq f{};
        int r = takeValue(&p, value, sizeof value);
        if (r == 0) r = scpi_str2kr_freq(value, &f);
        if (r == 0) r = Device_setListFrequency(device, PARAMLIST_APPEND, &f);
        if (r) {
            Device_setListFrequency(device, PARAMLIST_ABORT, nullptr);
            return r;
        }
        p = skipBlanks(p);
        if (*p == ',') p = skipBlanks(p + 1);
    }
    return 0;
}

// Later pieces of a "ZL" list that did not fit one buffer.
int zlContinuation(ScpiLink *link, char *unit, char *, int, int partial) {
    int r = appendListValues(anritsu.device, unit);
    if (r || !partial) link->continuation = nullptr;
    if (r) return r;
    return partial ? 0 : Device_setListFrequency(anritsu.device, PARAMLIST_END, nullptr);
}

int setListIndex(AnritsuState *state, ScpiLink *link, int index) {
    const KrFreq *f = index >= 0 ? Device_getListFrequency(state->device, index) : nullptr;
    if (!f) {
        printd("%d ANRITSU_setListIndex() warning: selected list index does not exist\n", index);
        return 0;
    }
    publishChanging(state);
    KrFreq copy = *f;
    int r = Device_setFrequencyFixed(state->device, &copy);
    publish(STB_DONE);
    if (!fromPanel(link)) hcupdate_frequency(state->device);
    return r;
}

// Fixed frequency in MHz: the decimal point of the hertz text moved six places left.
int formatFrequencyMHz(Device *device, char *out, int size) {
    char hz[48];
    char mhz[56];
    int len = 0;
    const KrFreq *f = Device_getFrequencyFixed(device);
    KrFreq zero{};
    scpi_kr_freq2str(f ? f : &zero, hz, sizeof hz, &len);
    bool negative = hz[0] == '-';
    const char *digits = hz + (negative ? 1 : 0);
    const char *dot = strchr(digits, '.');
    int intLen = dot ? (int)(dot - digits) : (int)strlen(digits);
    // Pad so there are always seven integer digits before the shift.
    int pad = intLen < 7 ? 7 - intLen : 0;
    int n = 0;
    if (negative) mhz[n++] = '-';
    for (int i = 0; i < pad; i++)
        mhz[n++] = '0';
    memcpy(mhz + n, digits, intLen);
    n += intLen;
    int pointAt = n - 6;
    memmove(mhz + pointAt + 1, mhz + pointAt, 6);
    mhz[pointAt] = '.';
    n++;
    if (dot) {
        int fracLen = (int)strlen(dot + 1);
        if (n + fracLen >= (int)sizeof mhz) fracLen = (int)sizeof mhz - n - 1;
        memcpy(mhz + n, dot + 1, fracLen);
        n += fracLen;
    }
    mhz[n] = 0;
    // Leading zeros go, but one digit stays before the point.
    int start = negative ? 1 : 0;
    int first = start;
    while (mhz[first] == '0' && mhz[first + 1] != '.')
        first++;
    char *text = mhz + first;
    if (negative) *--text = '-';
    int outLen = (int)strlen(text);
    if (outLen > 14) outLen = 14;
    if (outLen >= size) outLen = size - 1;
    memcpy(out, text, outLen);
    out[outLen] = 0;
    return outLen;
}

int suffixNumber(const char *p, int *value) {
    char *end = nullptr;
    long v = strtol(p, &end, 10);
    if (end == p) return -1;
    *value = (int)v;
    return (int)(end - p);
}

// One mnemonic at *p; *p moves past it when it is handled.
int parseNode(AnritsuState *state, ScpiLink *link, const char **pp, char *out, int outSize,
              int partial, int *outLen) {
    const char *p = *pp;
    int len = (int)strlen(p);
    Device *d = state->device;
    auto word = [&](const char *w) {
        if (!isWordAt(p, len, w)) return false;
        p += strlen(w);
        return true;
    };
    auto flag = [&](const char *w0, const char *w1, int *f) {
        if (word(w0))
            *f = 0;
        else if (word(w1))
            *f = 1;
        else
            return false;
        return true;
    };
    int r = 0;
    if (word("*CLS")) {
        publish(0);
    } else if (isWordAt(p, len, "*TRG")) {
        if (!state->listenToGet) return KR_E_NOT_IMPLEMENTED;
        p += 4;
        r = ANRITSU_handleEvent(state, link, KREV_GET);
    } else if (word("CSB")) {
        publish(0);
    } else if (flag("FB0", "FB1", &state->fbFlag)) {
    } else if (word("GTF")) {
        state->listenToGet = 1;
    } else if (word("GTO")) {
        state->listenToGet = 0;
    } else if (startsWith(p, "L1") && (p[2] == 0 || p[2] == ' ' || isdigit((unsigned char)p[2]) ||
                                       p[2] == '-' || p[2] == '+' || p[2] == '.')) {
        const char *q = p + 2;
        char value[64];
        r = takeValue(&q, value, sizeof value);
        if (r) return r;
        KrPow pow = 0;
        r = scpi_str2kr_pow(value, &pow, 0);
        if (r) return r;
        p = q;
        // The fixed level, as SCPI sets it: the board-only setter would leave POW? and the
        // next level change on the old value.
        r = Device_setPowerFixed(d, &pow);
        if (!fromPanel(link)) hcupdate_power(d);
    } else if (flag("LS0", "LS1", &state->lsFlag)) {
    } else if (startsWith(p, "MB1")) {
        p += 3;
    } else if (word("OF1")) {
        *outLen = formatFrequencyMHz(d, out, outSize);
    } else if (word("OI")) {
        const KrFreq *max = DEVICE_ISREG(getFrequencyMax) ? Device_getFrequencyMax(d) : nullptr;
        if (max)
            *outLen = snprintf(out, outSize, "3692 0.00%5.2f-110.014.02.070000002A",
                               krfreqToDouble(max) / 1e9);
        else
            *outLen = snprintf(out, outSize, "3692 0.0020.00-110.014.02.070000002A");
        if (*outLen >= outSize) *outLen = outSize - 1;
    } else if (word("OZN") || word("OZS")) {
        *outLen = snprintf(out, outSize, "%u", Device_getListPointsMax(d));
        if (*outLen >= outSize) *outLen = outSize - 1;
    } else if (word("RF0")) {
        r = Device_disableRf(d);
        if (!fromPanel(link)) hcupdate_rfOutputState(d);
    } else if (word("RF1")) {
        publishChanging(state);
        ANRITSU_configureDevice(state);
        r = Device_enableRf(d);
        if (!fromPanel(link)) hcupdate_rfOutputState(d);
        publish(STB_DONE);
    } else if (word("SQ0")) {
        state->sqFlag = 0;
    } else if (word("SQ1")) {
        state->sqFlag = 1;
        ANRITSU_configureDevice(state);
    } else if (startsWith(p, "STB") && (p[3] == ' ' || isdigit((unsigned char)p[3]) || !p[3])) {
        int n = 0;
        int used = suffixNumber(skipBlanks(p + 3), &n);
        if (used < 0) return KR_E_UNDEFINED_HEADER;
        p = skipBlanks(p + 3) + used;
        publish((uint8_t)n);
    } else if (startsWith(p, "ZL")) {
        const char *q = p + 2;
        while (isdigit((unsigned char)*q))
            q++;
        if (*q && *q != ' ') return KR_E_NOT_IMPLEMENTED;
        ANRITSU_configureDevice(state);
        r = Device_setListFrequency(d, PARAMLIST_BEGIN, nullptr);
        if (r == 0) r = appendListValues(d, q);
        if (r) return r;
        if (partial) {
            link->continuation = zlContinuation;
        } else {
            r = Device_setListFrequency(d, PARAMLIST_END, nullptr);
        }
        p += strlen(p);
    } else if (startsWith(p, "ZS")) {
        int n = 0;
        int used = suffixNumber(p + 2, &n);
        if (used < 0) return KR_E_UNDEFINED_HEADER;
        p += 2 + used;
        r = setListIndex(state, link, n);
    } else {
        return KR_E_NOT_IMPLEMENTED;
    }
    *pp = p;
    return r;
}

}  // namespace

void ANRITSU_init(AnritsuState *state, Device *device) {
    memset(state, 0, sizeof(*state));
    state->device = device;
    publish(0);
}

void ANRITSU_configureDevice(AnritsuState *state) {
    printd("ANRITSU_configureDevice(): configuring device for Anritsu compliance\n");
    if (DEVICE_ISREG(disableOutputBlanking)) Device_disableOutputBlanking(state->device);
    if (DEVICE_ISREG(setAlcBandwidthHigh)) Device_setAlcBandwidthHigh(state->device);
}

int ANRITSU_parse(AnritsuState *state, ScpiLink *link, char *unit, char *out, int outSize,
                  int partial, int *outLen) {
    if (outLen) *outLen = 0;
    // Too long for a mnemonic line: SCPI gets it untouched and nothing is reported here.
    if (strnlen(unit, UNIT_MAX) >= UNIT_MAX) return KR_E_OUT_OF_MEMORY;
    const char *p = skipBlanks(unit);
    if (!*p) return KR_E_NOT_IMPLEMENTED;
    int total = 0;
    while (*p) {
        int len = 0;
        int r = parseNode(state, link, &p, out + total, outSize - total, partial, &len);
        // The first word that is not ours (or fails) hands the whole unit to SCPI.
        if (r) return r;
        total += len;
        p = skipBlanks(p);
    }
    if (outLen) *outLen = total;
    return 0;
}

int ANRITSU_handleEvent(AnritsuState *state, ScpiLink *link, int event) {
    if (event != KREV_GET) return KR_E_NOT_IMPLEMENTED;
    if (!state->listenToGet) {
        printd("%d ANRITSU_handleEvent() error: GET, but not configured to listen\n",
               KR_E_NOT_IMPLEMENTED);
        return KR_E_NOT_IMPLEMENTED;
    }
    const KrFreq *f = Device_getListFrequency(state->device, state->listIndex);
    if (!f && state->listIndex != 0) {
        state->listIndex = 0;
        f = Device_getListFrequency(state->device, 0);
    }
    if (!f) {
        printd("%d ANRITSU_handleEvent(): GET, but list is empty\n", KR_E_NOT_IMPLEMENTED);
        return 0;
    }
    KrFreq copy = *f;
    publishChanging(state);
    Device_setFrequencyFixed(state->device, &copy);
    publish(STB_DONE);
    state->listIndex++;
    state->stepCounter++;
    if (state->stepCounter % PANEL_UPDATE_STEPS == 0 && !fromPanel(link))
        hcupdate_frequency(state->device);
    return 0;
}

int ANRITSU_isDataTerminator(const char *text) {
    int len = (int)strlen(text);
    for (const Terminator &t : dataTerminators)
        if (isWordAt(text, len, t.word)) return 1;
    return 0;
}

int ANRITSU_findLastDataTerminator(const char *text, int length) {
    for (int i = length - 1; i >= 0; i--) {
        // A terminator follows the number it ends, so it starts after a digit or a blank.
        if (i > 0 && !isdigit((unsigned char)text[i - 1]) && text[i - 1] != ' ' &&
            text[i - 1] != '.')
            continue;
        for (const Terminator &t : dataTerminators) {
            int n = (int)strlen(t.word);
            if (i + n > length) continue;
            bool match = true;
            for (int k = 0; k < n && match; k++)
                match = toupper((unsigned char)text[i + k]) == t.word[k];
            if (match && (i + n == length || !isalpha((unsigned char)text[i + n]))) return i + n;
        }
    }
    return 0;
}
