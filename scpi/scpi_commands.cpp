#include "scpi/scpi_commands.h"

#include <cstring>

#include "device/device.h"
#include "scpi/paramListParser.h"
#include "scpi/scpi_convert.h"
#include "scpi/scpi_error.h"
#include "scpi/scpi_errorcodes.h"
#include "scpi/scpi_execute.h"
#include "scpi/scpi_node.h"
#include "scpi/scpi_settings.h"

namespace {

bool noParameters(ScpiCall *call, int *result) {
    char *p[1];
    int found = 0;
    *result = _scpi_getParameters(call->params, 0, p, &found, call->partial);
    return *result == 0;
}

// ---- Common commands ------------------------------------------------------------------------

int idnQuery(ScpiCall *call) {
    int r;
    if (!noParameters(call, &r)) return r;
    char idn[256];
    int len = getIdentificationString(idn, sizeof(idn), call->device);
    if (len >= call->outSize) return KR_E_QUERY_ERROR;
    memcpy(call->out, idn, (size_t)len + 1);
    call->outLen = len;
    return 0;
}

// Without a device that tracks pending operations everything is complete.
int opcQuery(ScpiCall *call) {
    int r;
    if (!noParameters(call, &r)) return r;
    int done = DEVICE_ISREG(opc) ? Device_opc(call->device) : 1;
    return scpi_int2str(done, call->out, call->outSize, &call->outLen);
}

int nothing(ScpiCall *call) {
    int r;
    noParameters(call, &r);
    return r;
}

DeviceStatusRegisters *statusBlock(ScpiCall *call) {
    return DEVICE_ISREG(getStatusRegisters) ? Device_getStatusRegisters(call->device) : nullptr;
}

template <int (*handle)(DeviceStatusRegisters *, bool, const char *, char *, int, int *)>
int commonStatus(ScpiCall *call) {
    DeviceStatusRegisters *block = statusBlock(call);
    if (!block) return KR_E_UNDEFINED_HEADER;
    return handle(block, call->state == SCPI_STATE_QUERY, call->params, call->out, call->outSize,
                  &call->outLen);
}

// The settings slot of *SAV, *RCL and *SDS: the keyword's suffix or one parameter.
int settingsSlot(ScpiCall *call, int32_t *slot) {
    char *p[1];
    int found = 0;
    if (call->index != SCPI_NO_INDEX) {
        int r = _scpi_getParameters(call->params, 0, p, &found, call->partial);
        if (r != 0) return r;
        *slot = call->index;
        return 0;
    }
    int r = _scpi_getParameters(call->params, 1, p, &found, call->partial);
    if (r != 0) return r;
    return scpi_str2int(p[0], slot);
}

template <int (*operation)(ScpiLink *, int)>
int settingsCommand(ScpiCall *call) {
    int32_t slot = 0;
    int r = settingsSlot(call, &slot);
    if (r != 0) return r;
    return operation(call->link, slot);
}

// ---- SYSTem ---------------------------------------------------------------------------------

int errorNextQuery(ScpiCall *call) {
    int r;
    if (!noParameters(call, &r)) return r;
    int code = 0;
    return scpi_popErrorQueue(&parser->errorQueue, &code, call->out, call->outSize, &call->outLen);
}

int errorAllQuery(ScpiCall *call) {
    int r;
    if (!noParameters(call, &r)) return r;
    return scpi_getAndClearWholeErrorQueue(&parser->errorQueue, call->out, call->outSize,
                                           &call->outLen);
}

template <int flags>
int settingsQuery(ScpiCall *call) {
    return paramListParser_systSettStart(call, flags);
}

// ---- Lists ----------------------------------------------------------------------------------

template <ScpiContinuation command, ScpiContinuation query>
int listLeaf(ScpiCall *call) {
    ScpiContinuation handler = call->state == SCPI_STATE_QUERY ? query : command;
    int n = handler(call->link, call->params, call->out, call->outSize, call->partial);
    call->outLen = n > 0 ? n : 0;
    return 0;
}

// ---- Tables ---------------------------------------------------------------------------------

#define STATUS_NODES(name, reg, ...)                                                              \
    const ScpiNode name[] = {                                                                     \
        scpi_kwLeaf("CONDition", scpi_leafStatus(scpi_statusLeaf(reg, STATUS_NODE_CONDITION),     \
                                                 SCPI_FORM_QUERY)),                               \
        scpi_kwLeaf("ENABle",                                                                     \
                    scpi_leafStatus(scpi_statusLeaf(reg, STATUS_NODE_ENABLE), SCPI_FORM_BOTH)),   \
        scpi_kwLeaf("NTRansition", scpi_leafStatus(scpi_statusLeaf(reg, STATUS_NODE_NTRANSITION), \
                                                   SCPI_FORM_BOTH)),                              \
        scpi_kwLeaf("PTRansition", scpi_leafStatus(scpi_statusLeaf(reg, STATUS_NODE_PTRANSITION), \
                                                   SCPI_FORM_BOTH)),                              \
        __VA_ARGS__ scpi_kwOptional(                                                              \
            "EVENt", nullptr,                                                                     \
            scpi_leafStatus(scpi_statusLeaf(reg, STATUS_NODE_EVENT), SCPI_FORM_QUERY)),           \
        scpi_end()}

STATUS_NODES(operationSweepNodes, SCPI_STATUS_OPERATION_SWEEP);
STATUS_NODES(operationWaitNodes, SCPI_STATUS_OPERATION_WAIT);
STATUS_NODES(operationNodes, SCPI_STATUS_OPERATION, scpi_kw("SWEep", operationSweepNodes),
             scpi_kw("WAIT", operationWaitNodes), );
STATUS_NODES(pulseModulationNodes, SCPI_STATUS_PULSE_MODULATION);
STATUS_NODES(questionableModulationNodes, SCPI_STATUS_QUESTIONABLE_MODULATION,
             scpi_kw("PULModulation", pulseModulationNodes), );
STATUS_NODES(questionablePowerNodes, SCPI_STATUS_QUESTIONABLE_POWER);
STATUS_NODES(questionableNodes, SCPI_STATUS_QUESTIONABLE,
             scpi_kw("MODulation", questionableModulationNodes),
             scpi_kw("POWer", questionablePowerNodes), );

const ScpiNode statusNodes[] = {
    scpi_kw("OPERation", operationNodes),
    scpi_kw("QUEStionable", questionableNodes),
    scpi_end(),
};

const ScpiNode errorNodes[] = {
    scpi_kwLeaf("ALL", scpi_leafCustom(errorAllQuery, SCPI_FORM_QUERY)),
    scpi_kwOptional("NEXT", nullptr, scpi_leafCustom(errorNextQuery, SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode settingsSequenceNodes[] = {
    scpi_kwLeaf("CHANged", scpi_leafCustom(settingsQuery<3>, SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode settingsNodes[] = {
    scpi_kwLeaf("CHANged", scpi_leafCustom(settingsQuery<2>, SCPI_FORM_QUERY)),
    scpi_kw("CSEQuence", settingsSequenceNodes, scpi_leafCustom(settingsQuery<1>, SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode systemNodes[] = {
    scpi_kw("ERRor", errorNodes),
    scpi_kw("SETTings", settingsNodes, scpi_leafCustom(settingsQuery<0>, SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode listFrequencyNodes[] = {
    scpi_kwLeaf("BAND", scpi_leafCustom(listLeaf<nullptr, paramListParser_ListFreqBandQuery>,
                                        SCPI_FORM_QUERY, nullptr, &Device_getListFrequencyBand)),
    scpi_end(),
};

const ScpiNode listNodes[] = {
    scpi_kw("FREQuency", listFrequencyNodes,
            scpi_leafCustom(listLeaf<paramListParser_ListFreqCmd, paramListParser_ListFreqQuery>,
                            SCPI_FORM_BOTH, nullptr, &Device_setListFrequency,
                            &Device_getListFrequency)),
    scpi_kwLeaf("POWer", scpi_leafCustom(
                             listLeaf<paramListParser_ListPowCmd, paramListParser_ListPowQuery>,
                             SCPI_FORM_BOTH, nullptr, &Device_setListPower, &Device_getListPower)),
    scpi_kwLeaf("DWELl",
                scpi_leafCustom(
                    listLeaf<paramListParser_ListDwelCmd, paramListParser_ListDwelQuery>,
                    SCPI_FORM_BOTH, nullptr, &Device_setListDwellTime, &Device_getListDwellTime)),
    scpi_kwLeaf("DELay",
                scpi_leafCustom(listLeaf<paramListParser_ListDelCmd, paramListParser_ListDelQuery>,
                                SCPI_FORM_BOTH, nullptr, &Device_setListDelayTime,
                                &Device_getListDelayTime)),
    scpi_kwLeaf("PHASe", scpi_leafCustom(
                             listLeaf<paramListParser_ListPhasCmd, paramListParser_ListPhasQuery>,
                             SCPI_FORM_BOTH, nullptr, &Device_setListPhase, &Device_getListPhase)),
    scpi_end(),
};

const ScpiNode sourceNodes[] = {
    scpi_kw("LIST", listNodes),
    scpi_end(),
};

}  // namespace

const ScpiNode scpi_rootNodes[] = {
    // First root set.
    scpi_kwLeaf("*CLS", scpi_leafCustom(nothing, SCPI_FORM_SET)),
    scpi_kwLeaf("*ESE", scpi_leafCustom(commonStatus<statusregister_handleEse>, SCPI_FORM_BOTH,
                                        nullptr, &Device_getStatusRegisters)),
    scpi_kwLeaf("*ESR", scpi_leafCustom(commonStatus<statusregister_handleEsr>, SCPI_FORM_QUERY,
                                        nullptr, &Device_getStatusRegisters)),
    scpi_kwLeaf("*IDN", scpi_leafCustom(idnQuery, SCPI_FORM_QUERY)),
    scpi_kwLeaf("*OPC", scpi_leafCustom(opcQuery, SCPI_FORM_QUERY)),
    scpi_kwIndex("*RCL", nullptr, nullptr,
                 scpi_leafCustom(settingsCommand<scpi_recallDeviceSettings>, SCPI_FORM_SET)),
    scpi_kwIndex("*SAV", nullptr, nullptr,
                 scpi_leafCustom(settingsCommand<scpi_storeDeviceSettings>, SCPI_FORM_SET, nullptr,
                                 &Device_getStoredScpiParameters)),
    scpi_kwIndex("*SDS", nullptr, nullptr,
                 scpi_leafCustom(settingsCommand<scpi_deleteDeviceSettings>, SCPI_FORM_SET)),
    scpi_kwLeaf("*SRE", scpi_leafCustom(commonStatus<statusregister_handleSre>, SCPI_FORM_BOTH,
                                        nullptr, &Device_getStatusRegisters)),
    scpi_kwLeaf("*STB", scpi_leafCustom(commonStatus<statusregister_handleStb>, SCPI_FORM_QUERY,
                                        nullptr, &Device_getStatusRegisters)),
    scpi_kwLeaf("*WAI", scpi_leafCustom(nothing, SCPI_FORM_SET)),
    // The implied signal-source branch.
    scpi_kwBranch("SOURce", &Device_setSourceIndex, sourceNodes),
    // Second root set.
    scpi_kw("STATus", statusNodes),
    scpi_kw("SYSTem", systemNodes),
    scpi_end(),
};
