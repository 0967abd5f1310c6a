#include "scpi/paramListParser.h"

#include <cstdio>
#include <cstring>

#include "config/state_reporter.h"
#include "core/printd.h"
#include "device/device.h"
#include "scpi/scpi_convert.h"
#include "scpi/scpi_errorcodes.h"
#include "scpi/scpi_execute.h"
#include "scpi/scpi_match.h"
#include "scpi/scpi_node.h"
#include "scpi/scpi_tree.h"

namespace {

// One formatted element; every element of these lists is far shorter than the reserve.
constexpr int ITEM_SIZE = SCPI_ANS_OVERFLOW_RESERVE;
constexpr int TEST_SET_CAPACITY = 256;

Device *device() {
    return parser ? parser->device : nullptr;
}

// A list command: how one value is converted and appended, and how the other phases reach
// the device.
struct ListCommandKind {
    ScpiContinuation self;
    bool (*registered)();
    int (*append)(Device *device, const char *text);
    int (*phase)(Device *device, int32_t phase);
};

// A list query: element i formatted into item (false past the end of the list).
struct ListQueryKind {
    ScpiContinuation self;
    bool (*registered)();
    bool (*element)(Device *device, int32_t i, char *item, int size, int *length, int *result);
    char separator;
};

void endList(ScpiLink *link) {
    link->continuation = nullptr;
    link->list.phase = 0;
    link->list.index = 0;
}

int runCommand(const ListCommandKind &kind, ScpiLink *link, char *text, int partial) {
    Device *d = device();
    if (link->continuation != kind.self) {
        link->list = ScpiListState{};
        link->continuation = kind.self;
        link->list.phase = PARAMLIST_APPEND;  // open: a device clear aborts it
        if (kind.registered()) {
            link->list.error = kind.phase(d, PARAMLIST_BEGIN);
        } else {
            // The rest of the list is still swallowed, so that it is not taken for commands.
            link->list.error = KR_E_UNDEFINED_HEADER;
        }
    }
    char *p = text;
    while (link->list.error == 0) {
        char *start = nullptr, *next = nullptr;
        int r = scpi_getNextParameter(p, &start, &next);
        if (r == 0) break;
        int e = kind.append(d, start);
        if (e != 0) {
            link->list.error = e;
            break;
        }
        link->list.count++;
        if (r == 1) break;
        p = next;
    }
    if (partial) return 0;  // more of the message follows
    int status = link->list.error;
    if (kind.registered()) {
        if (status == 0)
            status = kind.phase(d, PARAMLIST_END);
        else
            kind.phase(d, PARAMLIST_ABORT);
    }
    endList(link);
    scpi_parser_error(status);
    return 0;
}

int runQuery(const ListQueryKind &kind, ScpiLink *link, char *text, char *out, int space) {
    Device *d = device();
    if (link->continuation != kind.self) {
        link->list = ScpiListState{};
        if (kind.registered()) {
            char *p[1];
            int found = 0;
            link->list.error = _scpi_getParameters(text, 0, p, &found, 0);
        } else {
            link->list.error = KR_E_UNDEFINED_HEADER;
        }
        link->continuation = kind.self;
    }
    if (link->list.error != 0) {
        scpi_parser_error(link->list.error);
        endList(link);
        return 0;
    }
    int written = 0;
    while (written < space) {
        char item[ITEM_SIZE];
        int n = 0, result = 0;
        bool more = kind.element(d, link->list.index, item, sizeof(item), &n, &result);
        if (result != 0) {
            scpi_parser_error(result);
            endList(link);
            return written;
        }
        if (!more) {
            if (link->list.index == 0)
                link->emptyAnswer = 1;  // an empty list answers an empty line
            endList(link);
            return written;
        }
        // The first element of the answer has no separator; a piece may end one element past
        // the space, in the overflow reserve.
        if (link->list.index > 0) out[written++] = kind.separator;
        memcpy(out + written, item, (size_t)n);
        written += n;
        link->list.index++;
    }
    return written;
}

// ---- Typed lists ----------------------------------------------------------------------------

template <class T>
const T *zeroValue() {
    static const T zero{};
    return &zero;
}

template <class T, int (**slot)(Device *, int32_t, const T *)>
int phaseOf(Device *d, int32_t phase) {
    return (*slot)(d, phase, zeroValue<T>());
}

template <auto slot>
bool registered() {
    return scpi_node_slotRegistered(slot);
}

int appendFreq(Device *d, const char *text) {
    KrFreq f{};
    int r = scpi_str2kr_freq(text, &f);
    return r ? r : Device_setListFrequency(d, PARAMLIST_APPEND, &f);
}

int appendPow(Device *d, const char *text) {
    KrPow p = 0;
    int r = scpi_str2kr_pow(text, &p, 0);
    return r ? r : Device_setListPower(d, PARAMLIST_APPEND, &p);
}

int appendPhase(Device *d, const char *text) {
    KrAngle a = 0;
    int r = scpi_str2kr_angle(text, &a);
    return r ? r : Device_setListPhase(d, PARAMLIST_APPEND, &a);
}

// Dwell and delay values are clamped to the device's limits, like every setting.
int clampedTime(Device *d, const char *text, const KrTime *(**getMin)(Device *),
                const KrTime *(**getMax)(Device *), KrTime *t) {
    int r = scpi_str2kr_time(text, t);
    if (r != 0) return r;
    if (scpi_node_slotRegistered(getMin)) {
        const KrTime *lo = (*getMin)(d);
        if (lo && *t < *lo) *t = *lo;
    }
    if (scpi_node_slotRegistered(getMax)) {
        const KrTime *hi = (*getMax)(d);
        if (hi && *t > *hi) *t = *hi;
    }
    return 0;
}

int appendDwell(Device *d, const char *text) {
    KrTime t = 0;
    int r = clampedTime(d, text, &Device_getListDwellTimeMin, &Device_getListDwellTimeMax, &t);
    return r ? r : Device_setListDwellTime(d, PARAMLIST_APPEND, &t);
}

int appendDelay(Device *d, const char *text) {
    KrTime t = 0;
    int r = clampedTime(d, text, &Device_getListDelayTimeMin, &Device_getListDelayTimeMax, &t);
    return r ? r : Device_setListDelayTime(d, PARAMLIST_APPEND, &t);
}

const ListCommandKind freqCommand{paramListParser_ListFreqCmd, registered<&Device_setListFrequency>,
                                  appendFreq, phaseOf<KrFreq, &Device_setListFrequency>};
const ListCommandKind powCommand{paramListParser_ListPowCmd, registered<&Device_setListPower>,
                                 appendPow, phaseOf<KrPow, &Device_setListPower>};
const ListCommandKind dwellCommand{paramListParser_ListDwelCmd,
                                   registered<&Device_setListDwellTime>, appendDwell,
                                   phaseOf<KrTime, &Device_setListDwellTime>};
const ListCommandKind delayCommand{paramListParser_ListDelCmd, registered<&Device_setListDelayTime>,
                                   appendDelay, phaseOf<KrTime, &Device_setListDelayTime>};
const ListCommandKind phaseCommand{paramListParser_ListPhasCmd, registered<&Device_setListPhase>,
                                   appendPhase, phaseOf<KrAngle, &Device_setListPhase>};

template <class T, const T *(**getter)(Device *, int32_t),
          int (*format)(const T *, char *, int, int *)>
bool elementOf(Device *d, int32_t i, char *item, int size, int *length, int *result) {
    const T *v = (*getter)(d, i);
    if (!v) return false;
    *result = format(v, item, size, length);
    return true;
}

int formatBand(const int64_t *band, char *out, int size, int *length) {
    int n = snprintf(out, (size_t)size, "%lld", (long long)*band);
    if (n < 0 || n >= size) return KR_E_QUERY_ERROR;
    *length = n;
    return 0;
}

const ListQueryKind freqQuery{paramListParser_ListFreqQuery, registered<&Device_getListFrequency>,
                              elementOf<KrFreq, &Device_getListFrequency, scpi_kr_freq2str>, ','};
const ListQueryKind powQuery{paramListParser_ListPowQuery, registered<&Device_getListPower>,
                             elementOf<KrPow, &Device_getListPower, scpi_kr_pow2str>, ','};
const ListQueryKind dwellQuery{paramListParser_ListDwelQuery, registered<&Device_getListDwellTime>,
                               elementOf<KrTime, &Device_getListDwellTime, scpi_kr_time2str>, ','};
const ListQueryKind delayQuery{paramListParser_ListDelQuery, registered<&Device_getListDelayTime>,
                               elementOf<KrTime, &Device_getListDelayTime, scpi_kr_time2str>, ','};
const ListQueryKind phaseQuery{paramListParser_ListPhasQuery, registered<&Device_getListPhase>,
                               elementOf<KrAngle, &Device_getListPhase, scpi_kr_angle2str>, ','};
const ListQueryKind bandQuery{paramListParser_ListFreqBandQuery,
                              registered<&Device_getListFrequencyBand>,
                              elementOf<int64_t, &Device_getListFrequencyBand, formatBand>, ','};

const ListCommandKind *const commandKinds[] = {&freqCommand, &powCommand, &dwellCommand,
                                               &delayCommand, &phaseCommand};

// ---- Generic lists ----------------------------------------------------------------------------

const ScpiListOperation *configured(const ScpiLink *link) {
    return static_cast<const ScpiListOperation *>(link->list.operation);
}

ScpiLink *genericLink;  // the link whose generic list is being handled right now

bool genericSetRegisteredNow() {
    const ScpiListOperation *op = genericLink ? configured(genericLink) : nullptr;
    return op && scpi_node_slotRegistered(op->set);
}

int genericAppend(Device *d, const char *text) {
    double v = 0;
    int r = scpi_str2double(text, &v);
    return r ? r : (*configured(genericLink)->set)(d, PARAMLIST_APPEND, &v);
}

int genericPhase(Device *d, int32_t phase) {
    static const double zero = 0;
    return (*configured(genericLink)->set)(d, phase, &zero);
}

const ListCommandKind genericCommand{paramListParser_command, genericSetRegisteredNow,
                                     genericAppend, genericPhase};

bool genericGetRegisteredNow() {
    const ScpiListOperation *op = genericLink ? configured(genericLink) : nullptr;
    return op && scpi_node_slotRegistered(op->get);
}

bool genericElement(Device *d, int32_t i, char *item, int size, int *length, int *result) {
    const double *v = (*configured(genericLink)->get)(d, i);
    if (!v) return false;
    *result = scpi_double2str(*v, item, size, length);
    return true;
}

const ListQueryKind genericQuery{paramListParser_query, genericGetRegisteredNow, genericElement,
                                 ','};

// ---- Settings report ------------------------------------------------------------------------

ScpiLink *settingsLink;

bool settingsRegistered() {
    return true;
}

bool settingsElement(Device *, int32_t i, char *item, int size, int *length, int *result) {
    *result = state_reporter_read(settingsLink, item, size, length, i, settingsLink->list.flags);
    return *result == 0 && *length > 0;
}

const ListQueryKind settingsQuery{paramListParser_systSettQuery, settingsRegistered,
                                  settingsElement, ';'};

}  // namespace

int paramListParser_ListFreqCmd(ScpiLink *link, char *text, char *, int, int partial) {
    return runCommand(freqCommand, link, text, partial);
}
int paramListParser_ListPowCmd(ScpiLink *link, char *text, char *, int, int partial) {
    return runCommand(powCommand, link, text, partial);
}
int paramListParser_ListDwelCmd(ScpiLink *link, char *text, char *, int, int partial) {
    return runCommand(dwellCommand, link, text, partial);
}
int paramListParser_ListDelCmd(ScpiLink *link, char *text, char *, int, int partial) {
    return runCommand(delayCommand, link, text, partial);
}
int paramListParser_ListPhasCmd(ScpiLink *link, char *text, char *, int, int partial) {
    return runCommand(phaseCommand, link, text, partial);
}

int paramListParser_ListFreqQuery(ScpiLink *link, char *text, char *out, int space, int) {
    return runQuery(freqQuery, link, text, out, space);
}
int paramListParser_ListPowQuery(ScpiLink *link, char *text, char *out, int space, int) {
    return runQuery(powQuery, link, text, out, space);
}
int paramListParser_ListDwelQuery(ScpiLink *link, char *text, char *out, int space, int) {
    return runQuery(dwellQuery, link, text, out, space);
}
int paramListParser_ListDelQuery(ScpiLink *link, char *text, char *out, int space, int) {
    return runQuery(delayQuery, link, text, out, space);
}
int paramListParser_ListPhasQuery(ScpiLink *link, char *text, char *out, int space, int) {
    return runQuery(phaseQuery, link, text, out, space);
}
int paramListParser_ListFreqBandQuery(ScpiLink *link, char *text, char *out, int space, int) {
    return runQuery(bandQuery, link, text, out, space);
}

void paramListParser_configure(ScpiLink *link, const ScpiListOperation *operation, int queryOnly) {
    link->list.operation = operation;
    link->list.queryOnly = queryOnly;
}

int paramListParser_command(ScpiLink *link, char *text, char *out, int space, int partial) {
    (void)out;
    (void)space;
    if (link->continuation != paramListParser_command && link->list.queryOnly) {
        scpi_parser_error(KR_E_UNDEFINED_HEADER);
        endList(link);
        return 0;
    }
    // The configuration survives the state reset of the first call.
    const void *operation = link->list.operation;
    genericLink = link;
    if (link->continuation != paramListParser_command) {
        ScpiListState kept{};
        kept.operation = operation;
        link->list = kept;
        link->continuation = paramListParser_command;
        link->list.phase = PARAMLIST_APPEND;
        if (genericSetRegisteredNow())
            link->list.error = genericPhase(device(), PARAMLIST_BEGIN);
        else
            link->list.error = KR_E_UNDEFINED_HEADER;
    }
    int r = runCommand(genericCommand, link, text, partial);
    link->list.operation = operation;
    return r;
}

int paramListParser_query(ScpiLink *link, char *text, char *out, int space, int) {
    const void *operation = link->list.operation;
    genericLink = link;
    if (link->continuation != paramListParser_query) {
        ScpiListState kept{};
        kept.operation = operation;
        link->list = kept;
        if (genericGetRegisteredNow()) {
            char *p[1];
            int found = 0;
            link->list.error = _scpi_getParameters(text, 0, p, &found, 0);
        } else {
            link->list.error = KR_E_UNDEFINED_HEADER;
        }
        link->continuation = paramListParser_query;
    }
    int r = runQuery(genericQuery, link, text, out, space);
    link->list.operation = operation;
    return r;
}

int paramListParser_systSettQuery(ScpiLink *link, char *text, char *out, int space, int) {
    settingsLink = link;
    if (link->continuation != paramListParser_systSettQuery) {
        int flags = link->list.flags;
        char *p[1];
        int found = 0;
        int r = _scpi_getParameters(text, 0, p, &found, 0);
        link->list = ScpiListState{};
        link->list.flags = flags;
        link->list.error = r;
        link->continuation = paramListParser_systSettQuery;
    }
    return runQuery(settingsQuery, link, text, out, space);
}

int paramListParser_systSettStart(ScpiCall *call, int flags) {
    call->link->list.flags = flags;
    int n = paramListParser_systSettQuery(call->link, call->params, call->out, call->outSize,
                                          call->partial);
    call->outLen = n > 0 ? n : 0;
    return 0;
}

int paramListParser_AteTestSetCmd(ScpiLink *link, char *text, char *, int, int partial) {
    static AutomeasureTestSetEntry entries[TEST_SET_CAPACITY];
    if (link->continuation != paramListParser_AteTestSetCmd) {
        link->list = ScpiListState{};
        link->continuation = paramListParser_AteTestSetCmd;
        link->list.error = AUTOMEASURE_ISREG(setTestSetDefinition) ? 0 : KR_E_UNDEFINED_HEADER;
    }
    static const char letters[] = "ofpjidrm";  // offset, then the entry types 1 to 7
    char *p = text;
    while (link->list.error == 0) {
        char *start = nullptr, *next = nullptr;
        int r = scpi_getNextParameter(p, &start, &next);
        if (r == 0) break;
        char c = start[0] >= 'A' && start[0] <= 'Z' ? (char)(start[0] - 'A' + 'a') : start[0];
        const char *hit = c ? strchr(letters, c) : nullptr;
        if (hit) {
            if (link->list.count >= TEST_SET_CAPACITY) {
                link->list.error = KR_E_TOO_MUCH_DATA;
                break;
            }
            AutomeasureTestSetEntry e{(int32_t)(hit - letters), 0};
            if (e.type == 0) {
                int e2 = scpi_str2int(start + 1, &e.value);
                if (e2 != 0) {
                    link->list.error = e2;
                    break;
                }
            }
            entries[link->list.count++] = e;
        }
        if (r == 1) break;
        p = next;
    }
    if (partial) return 0;
    int status = link->list.error;
    if (status == 0) status = Automeasure_setTestSetDefinition(device(), entries, link->list.count);
    endList(link);
    scpi_parser_error(status);
    return 0;
}

void paramListParser_cancel(ScpiLink *link) {
    if (!link->continuation) return;
    for (const ListCommandKind *kind : commandKinds) {
        if (link->continuation == kind->self && link->list.phase == PARAMLIST_APPEND &&
            link->list.error == 0 && kind->registered())
            kind->phase(device(), PARAMLIST_ABORT);
    }
    if (link->continuation == paramListParser_command && link->list.error == 0) {
        genericLink = link;
        if (genericSetRegisteredNow()) genericPhase(device(), PARAMLIST_ABORT);
    }
    printd("paramListParser_cancel(): list on link <%s> ended by a device clear\n", link->name);
    const void *operation = link->list.operation;
    link->list = ScpiListState{};
    link->list.operation = operation;
    link->continuation = nullptr;
}
