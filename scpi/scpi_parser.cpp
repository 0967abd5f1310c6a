#include <strings.h>

#include <cstdio>
#include <cstring>

#include "device/device.h"
#include "scpi/anritsu.h"
#include "scpi/scpi_errorcodes.h"
#include "scpi/scpi_execute.h"

// The least command tree that lets the instrument be driven before the real tree exists:
// identification, operation complete and the error queue; everything else is an undefined
// header.
int scpi_parser(ScpiLink *link, char *unit, char *out, int outSize, int partial, int flags) {
    (void)flags;
    while (*unit == ' ') unit++;
    size_t n = strlen(unit);
    while (n > 0 && unit[n - 1] == ' ') unit[--n] = 0;
    if (n == 0) return 0;
    int altLen = 0;
    if (ANRITSU_parse(&anritsu, link, unit, out, outSize, partial, &altLen) == 0) return altLen;
    if (strcasecmp(unit, "*IDN?") == 0) {
        char idn[256];
        int len = getIdentificationString(idn, sizeof(idn), parser->device);
        if (len >= outSize) {
            scpi_parser_error(KR_E_QUERY_ERROR);
            return 0;
        }
        memcpy(out, idn, (size_t)len + 1);
        return len;
    }
    if (strcasecmp(unit, "*OPC?") == 0) return snprintf(out, (size_t)outSize, "1");
    if (strcasecmp(unit, "SYST:ERR?") == 0 || strcasecmp(unit, "SYSTEM:ERROR?") == 0 ||
        strcasecmp(unit, "SYST:ERR:NEXT?") == 0 || strcasecmp(unit, "SYSTEM:ERROR:NEXT?") == 0) {
        int code, len = 0;
        int r = scpi_popErrorQueue(&parser->errorQueue, &code, out, outSize, &len);
        if (r) scpi_parser_error(r);
        return len;
    }
    scpi_parser_error(KR_E_UNDEFINED_HEADER);
    return 0;
}
