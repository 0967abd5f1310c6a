#include "scpi/scpi_match.h"

#include <cstdio>
#include <cstring>

#include "config/state_reporter.h"
#include "core/printd.h"
#include "scpi/scpi_convert.h"
#include "scpi/scpi_errorcodes.h"
#include "scpi/scpi_link.h"

namespace {

bool isBlank(char c) {
    return c != 0 && (unsigned char)c <= ' ';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
char upper(char c) {
    return c >= 'a' && c <= 'z' ? (char)(c - 'a' + 'A') : c;
}
bool isTerminator(char c) {
    return c == 0 || c == ':' || c == '?' || isBlank(c);
}

bool equalNoCase(const char *a, const char *b, int n) {
    for (int i = 0; i < n; i++)
        if (upper(a[i]) != upper(b[i])) return false;
    return true;
}

// The word [p, end) against keyword: equal to the short or the long form. One pass over the
// keyword: this runs for every candidate node of every header.
int compareWord(const char *keyword, const char *p, const char *end) {
    int len = (int)(end - p);
    int i = 0;
    while (keyword[i] && !(keyword[i] >= 'a' && keyword[i] <= 'z')) {
        if (i >= len || upper(keyword[i]) != upper(p[i])) return 0;
        i++;
    }
    int shortLen = i;
    if (shortLen == 0) return 0;
    if (len == shortLen) return shortLen;
    // The long form: the rest of the keyword, to its end.
    for (; i < len; i++)
        if (!keyword[i] || upper(keyword[i]) != upper(p[i])) return 0;
    return keyword[len] == 0 ? shortLen : 0;
}

const char *skipBlanks(const char *p) {
    while (isBlank(*p))
        p++;
    return p;
}

const char *wordEnd(const char *p) {
    while (!isTerminator(*p))
        p++;
    return p;
}

// State from the terminator at p; returns the position behind it (and behind the blanks up to
// the parameters for state 2).
const char *takeTerminator(const char *p, int *state, bool optional) {
    if (*p == ':') {
        *state = optional ? SCPI_STATE_OPTIONAL_PATH : SCPI_STATE_PATH;
        return p + 1;
    }
    if (*p == '?') {
        *state = SCPI_STATE_QUERY;
        return p + 1;
    }
    *state = SCPI_STATE_SET;
    return skipBlanks(p);
}

// Matches keyword (with an optional numeric suffix when index is given) at text. On success
// returns the short-form length and sets *after, *state, *index and the number of suffix
// digits.
int matchAt(const char *keyword, const char *text, const char **after, int *state, int32_t *index,
            int *digits, bool optional, const char **wordStop = nullptr) {
    const char *p = skipBlanks(text);
    const char *end = wordEnd(p);
    if (wordStop) *wordStop = end;
    const char *kwEnd = end;
    *digits = 0;
    if (index) {
        while (kwEnd > p && isDigit(kwEnd[-1]))
            kwEnd--;
        if (kwEnd == p) kwEnd = end;  // all digits: no keyword to match
    }
    int n = compareWord(keyword, p, kwEnd);
    if (n == 0) return 0;
    int32_t value = SCPI_NO_INDEX;
    if (kwEnd < end) {
        char number[16];
        int count = (int)(end - kwEnd);
        if (count >= (int)sizeof(number)) return 0;
        memcpy(number, kwEnd, (size_t)count);
        number[count] = 0;
        if (scpi_str2int(number, &value) != 0) return 0;
        *digits = count;
    }
    if (index) *index = value;
    *after = takeTerminator(end, state, optional);
    return n;
}

// Records a matched keyword in the state reporter's path; a suffix that was given is kept so
// that the settings of different channels stay apart.
void collect(const char *keyword, int length, const char *digits, int digitCount) {
    char node[STATE_REPORTER_PATH_SIZE];
    int n = length < STATE_REPORTER_PATH_SIZE - 1 ? length : STATE_REPORTER_PATH_SIZE - 1;
    memcpy(node, keyword, (size_t)n);
    if (digitCount > 0 && n + digitCount < STATE_REPORTER_PATH_SIZE) {
        memcpy(node + n, digits, (size_t)digitCount);
        n += digitCount;
    }
    state_reporter_collectorAppend(node, n);
}

// The common matcher: remembered path first, then the unit text. Returns the short-form
// length.
int check(const char *keyword, const char **position, int *state, int32_t *index, ScpiLink *link,
          bool optional, bool record) {
    bool remembered = link && link->pathCursor && *link->pathCursor;
    const char *from = remembered ? link->pathCursor : *position;
    const char *after = nullptr, *stop = nullptr;
    int digits = 0;
    int n = matchAt(keyword, from, &after, state, index, &digits, optional, &stop);
    if (n == 0) return 0;
    const char *suffix = stop - digits;
    if (record) collect(keyword, n, suffix, digits);
    if (remembered) {
        link->pathCursor = const_cast<char *>(after);
        return n;
    }
    if (link && (*state == SCPI_STATE_PATH || *state == SCPI_STATE_OPTIONAL_PATH)) {
        // The remembered path keeps the short form and the suffix as written, so that the
        // later units of the message address the same instance.
        char stored[SCPI_LINK_PATH_SIZE];
        int len = n + digits;
        if (len < (int)sizeof(stored)) {
            memcpy(stored, keyword, (size_t)n);
            memcpy(stored + n, suffix, (size_t)digits);
            scpi_expandStoredPath(stored, len, link);
        } else {
            printd("scpi_expandStoredPath(): Path too long!\n");
        }
    }
    *position = after;
    return n;
}

}  // namespace

int scpi_keywordShortLength(const char *keyword) {
    int n = 0;
    while (keyword[n] && !(keyword[n] >= 'a' && keyword[n] <= 'z'))
        n++;
    return n;
}

void scpi_headerWord(const char *text, ScpiHeaderWord *word) {
    const char *p = skipBlanks(text);
    const char *end = wordEnd(p);
    const char *stem = end;
    while (stem > p && isDigit(stem[-1]))
        stem--;
    if (stem == p) stem = end;
    word->first = upper(*p);
    word->second = end - p >= 2 ? upper(p[1]) : 0;
    word->length = (int)(end - p);
    word->stemLength = (int)(stem - p);
}

int scpi_compareNodes(const char *keyword, const char **position, int *state) {
    const char *after;
    int digits;
    int n = matchAt(keyword, *position, &after, state, nullptr, &digits, false);
    if (n) *position = after;
    return n;
}

int scpi_checkNode(const char *keyword, const char **position, int *state, ScpiLink *link) {
    return check(keyword, position, state, nullptr, link, false, true);
}

int scpi_checkNodeWithIndex(const char *keyword, const char **position, int *state, int32_t *index,
                            ScpiLink *link) {
    int32_t value = SCPI_NO_INDEX;
    int n = check(keyword, position, state, &value, link, false, true);
    if (n) *index = value;
    return n;
}

int scpi_checkOptionalNode(const char *keyword, const char **position, int *state, ScpiLink *link) {
    if (*state != SCPI_STATE_PATH && *state != SCPI_STATE_OPTIONAL_PATH) return 0;
    return check(keyword, position, state, nullptr, link, true, false);
}

int scpi_checkOptionalBranchNode(const char *keyword, const char **position, int *state,
                                 ScpiLink *link, int *flags, int32_t *index) {
    *index = SCPI_NO_INDEX;
    if (*state == SCPI_STATE_PATH || *state == SCPI_STATE_OPTIONAL_PATH) {
        int32_t value = SCPI_NO_INDEX;
        // A branch named with a channel suffix keeps it in the reported path; without one the
        // branch is left out, as optional nodes are.
        int mark = state_reporter_collectorMark();
        int n = check(keyword, position, state, &value, link, true, true);
        if (n) {
            if (value == SCPI_NO_INDEX) state_reporter_collectorRestore(mark);
            *index = value;
            *flags |= 1;
            return 1;
        }
    }
    *flags &= ~1;
    return 0;
}

int scpi_checkIfOptionalBranchWasUsed(const int *flags) {
    return (*flags & 2) ? 1 : 0;
}

void scpi_setOptionalBranchNoSubUsed(int *flags) {
    *flags &= ~2;
}

int scpi_isOldStyleCommand(const char *word, const char *position, const char **end) {
    const char *p = skipBlanks(position);
    int n = (int)strlen(word);
    if (n == 0 || !equalNoCase(word, p, n)) return 0;
    // equalNoCase stops at a difference, so p has at least n characters here.
    char last = word[n - 1];
    if (last != '=' && !(p[n] == 0 || isBlank(p[n]))) return 0;
    if (end) *end = p + n;
    return 1;
}

int scpi_checkMessageUnitComplete(const int *state) {
    return *state == SCPI_STATE_QUERY || *state == SCPI_STATE_SET;
}

int scpi_checkForAbsolutePath(const char **position) {
    const char *p = skipBlanks(*position);
    if (*p != ':') return 0;
    *position = p + 1;
    return 1;
}

int scpi_isEmptyCommand(const char *text) {
    return *skipBlanks(text) == 0;
}

int scpi_isQuery(const char *text) {
    return strchr(text, '?') != nullptr;
}

int scpi_expandStoredPath(const char *keyword, int length, ScpiLink *link) {
    size_t used = strnlen(link->storedPath, SCPI_LINK_PATH_SIZE);
    if (used + (size_t)length + 2 > (size_t)SCPI_LINK_PATH_SIZE) {
        printd("scpi_expandStoredPath(): Path too long!\n");
        return -1;
    }
    memcpy(link->storedPath + used, keyword, (size_t)length);
    link->storedPath[used + (size_t)length] = ':';
    link->storedPath[used + (size_t)length + 1] = 0;
    link->pathCursor = link->storedPath + used + length + 1;
    return 0;
}

int scpi_getNextParameter(char *text, char **start, char **next) {
    if (text == nullptr) return 0;
    char *p = text;
    while (isBlank(*p))
        p++;
    if (*p == 0) return 0;
    char *begin = p;
    char quote = 0;
    for (; *p; p++) {
        if (quote) {
            if (*p == quote) quote = 0;
        } else if (*p == '"' || *p == '\'') {
            quote = *p;
        } else if (*p == ',') {
            break;
        }
    }
    int result = *p == ',' ? 2 : 1;
    char *stop = p;
    if (result == 2)
        *next = p + 1;
    else
        *next = p;
    while (stop > begin && isBlank(stop[-1]))
        stop--;
    *stop = 0;
    *start = begin;
    return result;
}

int _scpi_getParameters(char *position, int count, char **params, int *found, int partial) {
    int n = 0;
    char *p = position;
    if (found) *found = 0;
    for (;;) {
        char *start = nullptr, *next = nullptr;
        int r = scpi_getNextParameter(p, &start, &next);
        if (r == 0) {
            // A comma with nothing behind it still announced one more parameter.
            if (n > 0 && n == count) return KR_E_PARAMETER_NOT_ALLOWED;
            break;
        }
        if (n == count) return KR_E_PARAMETER_NOT_ALLOWED;
        params[n++] = start;
        if (found) *found = n;
        if (r == 1) break;
        p = next;
    }
    if (n < count) {
        if (partial) {
            printd(
                "_scpi_getParameters(): buffer full, trying to read as many parameters as "
                "expected\n");
            return KR_E_QUEUE_OVERFLOW;
        }
        return KR_E_MISSING_PARAMETER;
    }
    return 0;
}

int scpi_isParam(const char *keyword, const char *parameter) {
    if (parameter == nullptr) return 0;
    const char *p = skipBlanks(parameter);
    const char *end = p + strlen(p);
    while (end > p && isBlank(end[-1]))
        end--;
    return compareWord(keyword, p, end) ? 1 : 0;
}
