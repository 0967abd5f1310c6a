#include "scpi/anritsu.h"

#include <cctype>
#include <cstring>

#include "scpi/scpi_errorcodes.h"

AnritsuState anritsu;

namespace {

const char *const dataTerminators[] = {"ADR", "DB", "DG",  "DM",  "DV",  "GH", "GV",  "HZ",
                                       "KH",  "KV", "MH",  "MS",  "MV",  "NS", "PCT", "PCV",
                                       "RD",  "RV", "SEC", "SPS", "TMS", "US", "VT"};

// Case-insensitive word at text, followed by a blank or the end.
bool isWordAt(const char *text, int length, const char *word) {
    int n = (int)strlen(word);
    if (n > length) return false;
    for (int i = 0; i < n; i++)
        if (toupper((unsigned char)text[i]) != word[i]) return false;
    return n == length || text[n] == ' ' || text[n] == 0;
}

}  // namespace

void ANRITSU_init(AnritsuState *state, Device *device) {
    memset(state, 0, sizeof(*state));
    state->device = device;
}

// The mnemonics arrive with the emulation itself; until then every unit goes to SCPI.
int ANRITSU_parse(AnritsuState *, ScpiLink *, char *, char *, int, int, int *outLen) {
    if (outLen) *outLen = 0;
    return KR_E_NOT_IMPLEMENTED;
}

// List stepping by group execute trigger arrives with the emulation; nothing is consumed.
int ANRITSU_handleEvent(AnritsuState *, ScpiLink *, int) {
    return KR_E_NOT_IMPLEMENTED;
}

int ANRITSU_isDataTerminator(const char *text) {
    int len = (int)strlen(text);
    for (const char *t : dataTerminators)
        if (isWordAt(text, len, t)) return 1;
    return 0;
}

int ANRITSU_findLastDataTerminator(const char *text, int length) {
    for (int i = length - 1; i >= 0; i--) {
        // A terminator follows the number it ends, so it starts after a digit or a blank.
        if (i > 0 && !isdigit((unsigned char)text[i - 1]) && text[i - 1] != ' ' &&
            text[i - 1] != '.')
            continue;
        for (const char *t : dataTerminators) {
            int n = (int)strlen(t);
            if (i + n > length) continue;
            bool match = true;
            for (int k = 0; k < n && match; k++)
                match = toupper((unsigned char)text[i + k]) == t[k];
            if (match && (i + n == length || !isalpha((unsigned char)text[i + n]))) return i + n;
        }
    }
    return 0;
}
