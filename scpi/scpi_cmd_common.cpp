#include "scpi/scpi_cmd_common.h"

#include <cstdio>

#include "scpi/scpi_convert.h"
#include "scpi/scpi_errorcodes.h"
#include "scpi/scpi_match.h"
#include "scpi/scpi_node.h"

bool scpi_cmd_noParameters(ScpiCall *call, int *result) {
    char *p[1];
    int found = 0;
    *result = _scpi_getParameters(call->params, 0, p, &found, call->partial);
    return *result == 0;
}

int scpi_cmd_oneParameter(ScpiCall *call, char **param) {
    int found = 0;
    return _scpi_getParameters(call->params, 1, param, &found, call->partial);
}

int scpi_cmd_answerText(ScpiCall *call, const char *text) {
    return scpi_chararray2str(text ? text : "", call->out, call->outSize, &call->outLen);
}

int scpi_cmd_answerEmpty(ScpiCall *call) {
    call->outLen = 0;
    call->emptyAnswer = 1;
    return 0;
}

int scpi_cmd_runDeviceLeaf(ScpiCall *call) {
    bool query = call->state == SCPI_STATE_QUERY;
    int n = Device_runCommandLeaf(call->device, call->node->keyword, query, call->params, call->out,
                                  call->outSize);
    if (n < 0) return n;
    if (n > 0 || !query) {
        call->outLen = n < call->outSize ? n : 0;
        return 0;
    }
    return KR_E_UNDEFINED_HEADER;
}

int scpi_cmd_keywordOrTyped(ScpiCall *call, const char *keyword, int (*action)(Device *),
                            const ScpiNode *node) {
    if (call->state == SCPI_STATE_SET) {
        char *p[2];
        int found = 0;
        char copy[64];
        // Split a copy: the typed handler parses the original text itself.
        snprintf(copy, sizeof(copy), "%s", call->params ? call->params : "");
        if (_scpi_getParameters(copy, 1, p, &found, call->partial) == 0 && found == 1 &&
            scpi_isParam(keyword, p[0]))
            return action(call->device);
    }
    const ScpiNode *leaf = call->node;
    call->node = node;
    int r = scpi_node_runLeaf(call);
    call->node = leaf;
    return r;
}
