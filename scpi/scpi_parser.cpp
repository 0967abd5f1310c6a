#include <strings.h>
#include <cstddef>
#include <cstring>

#include "config/state_reporter.h"
#include "core/kr_event.h"
#include "core/printd.h"
#include "core/startup.h"
#include "device/device.h"
#include "scpi/anritsu.h"
#include "scpi/scpi_error.h"
#include "scpi/scpi_errorcodes.h"
#include "scpi/scpi_execute.h"
#include "scpi/scpi_match.h"
#include "scpi/scpi_parser.h"
#include "scpi/scpi_tree.h"

namespace {

// Aliases call the parser again; a table that aliases in a circle stops here.
constexpr int MAX_ALIAS_DEPTH = 8;
int aliasDepth = 0;

Device *parserDevice() {
    return parser ? parser->device : nullptr;
}

// Link activity of the VXI-11 channels drives their connect and disconnect events; this
// thread already holds the device access lock for the whole pass.
void reportLinkActivity(ScpiLink *link) {
    if (link != &link_vxiA && link != &link_vxiB) return;  // no other link has an indication
    kr_event_indicateLinkActivity_locked(link);
}

bool startsWithLimitKeyword(const char *params) {
    if (!params) return false;
    while (*params == ' ' || *params == '\t')
        params++;
    if (strncasecmp(params, "MIN", 3) != 0 && strncasecmp(params, "MAX", 3) != 0) return false;
    return true;
}

// A query that neither answered nor failed would leave its client waiting for ever. The
// cause decides the error: a limit the operation lacks, an operation this hardware lacks,
// or one that could not tell.
int unansweredQueryError(const ScpiCall *call) {
    if (startsWithLimitKeyword(call->params)) return KR_E_ILLEGAL_PARAMETER_VALUE;
    if (Device_unregisteredFunctionCalls > 0 ||
        (call->node && !scpi_tree_leafSupported(&call->node->leaf)))
        return KR_E_UNDEFINED_HEADER;
    return KR_E_EXECUTION_ERROR;
}

}  // namespace

// A link's continuation gets its units from the executor before they reach this point; nested
// calls (stored settings, the settings report) run the tree itself.
int scpi_parser(ScpiLink *link, char *unit, char *out, int outSize, int partial, int flags) {
    if (outSize > 0) out[0] = 0;
    const char *text = unit;
    while (*text == ' ' || *text == '\t')
        text++;
    bool absolute = scpi_checkForAbsolutePath(&text);
    bool empty = scpi_isEmptyCommand(text);
    if (absolute || empty) link->storedPath[0] = 0;
    link->pathCursor = link->storedPath;
    Device_unregisteredFunctionCalls = 0;
    state_reporter_collectorClear();
    link->emptyAnswer = 0;
    if (empty) return 0;

    int altLen = 0;
    if (ANRITSU_parse(&anritsu, link, unit, out, outSize, partial, &altLen) == 0) return altLen;

    // Common commands do not depend on the remembered path, nor do they change it.
    if (*text == '*')
        link->pathCursor = link->storedPath + strnlen(link->storedPath, SCPI_LINK_PATH_SIZE);

    ScpiCall call{};
    call.link = link;
    call.device = parserDevice();
    call.out = out;
    call.outSize = outSize;
    call.partial = partial;
    call.flags = flags;
    call.index = SCPI_NO_INDEX;
    int result = KR_E_UNDEFINED_HEADER;
    bool keywordMatched = false;
    ScpiContinuation continuationBefore = link->continuation;
    bool sendingBefore = link->blockSend.flags & SCPI_BD_ACTIVE;
    uint32_t errorsBefore = parser ? parser->errorQueue.pushes : 0;
    int matched = scpi_tree_match(&call, scpi_tree_getRoot(), text, &result, &keywordMatched);
    int outLen = matched && result == 0 ? call.outLen : 0;
    if (outLen < 0) outLen = 0;
    if (outLen == 0 && outSize > 0 && !(matched && result == 0)) out[0] = 0;
    // Every query answers now, answers later (a list piece by piece, a block) or fails.
    if (matched && result == 0 && call.state == SCPI_STATE_QUERY && outLen == 0 &&
        link->continuation == continuationBefore &&
        (sendingBefore || !(link->blockSend.flags & SCPI_BD_ACTIVE)) &&
        (!parser || parser->errorQueue.pushes == errorsBefore)) {
        if (call.emptyAnswer || link->emptyAnswer)
            link->emptyAnswer = 1;
        else
            result = unansweredQueryError(&call);
    }

    // An error the device raised asynchronously during its last operation.
    if (result == 0 && DEVICE_ISREG(lastDeviceError)) result = Device_lastDeviceError(call.device);
    if (result != 0) {
        if (flags & SCPI_PARSER_IGNORE_ERRORS) {
            printd("scpi_parser(): ignoring errors\n");
        } else {
            printd("scpi_parser(): error %d (%s) on command <%s>\n", result, scpi_errorText(result),
                   unit);
            scpi_parser_error(result);
        }
    }
    if (Device_unregisteredFunctionCalls > 0 && !link->continuation) {
        printd("scpi_parser(): %d unregistered device function calls on command <%s>\n",
               (int)Device_unregisteredFunctionCalls, unit);
        Device_unregisteredFunctionCalls = 0;
    }
    if (keywordMatched) reportLinkActivity(link);
    if (matched && result == 0 && call.state == SCPI_STATE_SET && call.node &&
        scpi_tree_leafRecords(&call.node->leaf))
        state_reporter_write();
    if (result != 0) link->emptyAnswer = 0;
    return outLen;
}

int scpi_alias(ScpiLink *link, const char *command, char *out, int outSize, int partial,
               int flags) {
    printd("scpi_alias(): recurse into scpi_parser(), command/query <%s>\n", command);
    if (aliasDepth >= MAX_ALIAS_DEPTH) {
        scpi_parser_error(KR_E_UNDEFINED_HEADER);
        return 0;
    }
    char text[SCPI_ALIAS_MAX + 1];
    size_t n = strnlen(command, SCPI_ALIAS_MAX + 1);
    if (n > (size_t)SCPI_ALIAS_MAX) {
        scpi_parser_error(KR_E_TOO_MUCH_DATA);
        return 0;
    }
    memcpy(text, command, n);
    text[n] = 0;
    char savedPath[SCPI_LINK_PATH_SIZE];
    memcpy(savedPath, link->storedPath, sizeof(savedPath));
    ptrdiff_t cursor = link->pathCursor ? link->pathCursor - link->storedPath : 0;
    link->storedPath[0] = 0;
    link->pathCursor = link->storedPath;
    aliasDepth++;
    int r = scpi_parser(link, text, out, outSize, partial, flags);
    aliasDepth--;
    memcpy(link->storedPath, savedPath, sizeof(savedPath));
    link->pathCursor = link->storedPath + cursor;
    return r;
}
