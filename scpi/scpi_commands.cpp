#include "scpi/scpi_commands.h"

#include <cstring>

#include "config/device_config.h"
#include "core/printd.h"
#include "device/device.h"
#include "frontpanel/krhcupdate.h"
#include "scpi/scpi_cmd_common.h"
#include "scpi/scpi_cmd_diag.h"
#include "scpi/scpi_cmd_legacy.h"
#include "scpi/scpi_cmd_measure.h"
#include "scpi/scpi_cmd_output.h"
#include "scpi/scpi_cmd_source.h"
#include "scpi/scpi_cmd_system.h"
#include "scpi/scpi_convert.h"
#include "scpi/scpi_error.h"
#include "scpi/scpi_errorcodes.h"
#include "scpi/scpi_execute.h"
#include "scpi/scpi_node.h"
#include "scpi/scpi_settings.h"

namespace {

// ---- Common commands ------------------------------------------------------------------------

int idnQuery(ScpiCall *call) {
    int r;
    if (!scpi_cmd_noParameters(call, &r)) return r;
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
    if (!scpi_cmd_noParameters(call, &r)) return r;
    int done = DEVICE_ISREG(opc) ? Device_opc(call->device) : 1;
    return scpi_int2str(done, call->out, call->outSize, &call->outLen);
}

int nothing(ScpiCall *call) {
    int r;
    scpi_cmd_noParameters(call, &r);
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

// Resets the settings of every channel, the measurement configuration and the front panel's
// view of them.
int rstCommand(ScpiCall *call) {
    int r;
    if (!scpi_cmd_noParameters(call, &r)) return r;
    printd("scpi_parser(): settings reset (*RST)\n");
    r = Device_reset(call->device);
    Automeasure_config_reset(call->device);
    printd("scpi_parser(): Full reset (*RST)\n");
    hcupdate_rst();
    return r;
}

int optQuery(ScpiCall *call) {
    int r;
    if (!scpi_cmd_noParameters(call, &r)) return r;
    char options[256];
    if (!device_config_getOptionsString(options, sizeof(options))) return KR_E_EXECUTION_ERROR;
    int len = (int)strlen(options);
    if (len >= call->outSize) return KR_E_QUERY_ERROR;
    memcpy(call->out, options, (size_t)len + 1);
    call->outLen = len;
    return 0;
}

int trgCommand(ScpiCall *call) {
    int r;
    if (!scpi_cmd_noParameters(call, &r)) return r;
    return Device_triggerImmediate(call->device);
}

int tstQuery(ScpiCall *call) {
    int r;
    if (!scpi_cmd_noParameters(call, &r)) return r;
    return scpi_int2str(Device_fullSelftest(call->device), call->out, call->outSize, &call->outLen);
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
    scpi_kwLeaf("NOISe",
                scpi_leafBool(&Device_getStatus, &Device_enableStatus, &Device_disableStatus)),
    scpi_kw("OPERation", operationNodes),
    scpi_kw("QUEStionable", questionableNodes),
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
    scpi_kwLeaf("*OPT", scpi_leafCustom(optQuery, SCPI_FORM_QUERY)),
    scpi_kwIndex("*RCL", nullptr, nullptr,
                 scpi_leafCustom(settingsCommand<scpi_recallDeviceSettings>, SCPI_FORM_SET)),
    scpi_kwLeaf("*RST", scpi_leafCustom(rstCommand, SCPI_FORM_SET, nullptr, &Device_reset,
                                        &Automeasure_config_reset)),
    scpi_kwIndex("*SAV", nullptr, nullptr,
                 scpi_leafCustom(settingsCommand<scpi_storeDeviceSettings>, SCPI_FORM_SET, nullptr,
                                 &Device_getStoredScpiParameters)),
    scpi_kwIndex("*SDS", nullptr, nullptr,
                 scpi_leafCustom(settingsCommand<scpi_deleteDeviceSettings>, SCPI_FORM_SET)),
    scpi_kwLeaf("*SRE", scpi_leafCustom(commonStatus<statusregister_handleSre>, SCPI_FORM_BOTH,
                                        nullptr, &Device_getStatusRegisters)),
    scpi_kwLeaf("*STB", scpi_leafCustom(commonStatus<statusregister_handleStb>, SCPI_FORM_QUERY,
                                        nullptr, &Device_getStatusRegisters)),
    scpi_kwLeaf("*TRG",
                scpi_leafCustom(trgCommand, SCPI_FORM_SET, nullptr, &Device_triggerImmediate)),
    scpi_kwLeaf("*TST", scpi_leafCustom(tstQuery, SCPI_FORM_QUERY, nullptr, &Device_fullSelftest)),
    scpi_kwLeaf("*WAI", scpi_leafCustom(nothing, SCPI_FORM_SET)),
    scpi_kw("CALCulate", scpi_cmd_calculateNodes),
    scpi_kw("CONFigure", scpi_cmd_configureNodes),
    scpi_kw("MEASure", scpi_cmd_measureNodes),
    scpi_kwIndex("DIAGnostic", &Device_setSourceIndex, scpi_cmd_diagnosticNodes),
    scpi_kw("DISPlay", scpi_cmd_displayNodes,
            scpi_leafCustom(scpi_cmd_displayEnable, SCPI_FORM_SET)),
    // The suffix alone selects the memory instance.
    scpi_kwIndex("MEMory", &Device_setMemoryIndex, scpi_cmd_memoryNodes,
                 scpi_leafCustom(nothing, SCPI_FORM_SET)),
    scpi_kwIndex("OUTPut", &Device_setOutputIndex, scpi_cmd_outputNodes),
    scpi_kw("SENSe", scpi_cmd_senseNodes),
    // The implied signal-source branch.
    scpi_kwBranch("SOURce", &Device_setSourceIndex, scpi_cmd_sourceNodes,
                  scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    // Second root set.
    scpi_kw("STATus", statusNodes),
    scpi_kw("SYSTem", scpi_cmd_systemNodes),
    scpi_kw("UNIT", scpi_cmd_unitNodes),
    scpi_kwLeaf("ABORt", scpi_leafAction(&Device_abort)),
    scpi_kw("INIT", scpi_cmd_initNodes),
    scpi_kw("TEST", scpi_cmd_testNodes),
    scpi_kw("TRIGger", scpi_cmd_triggerNodes),
    SCPI_CMD_LEGACY_NODES,
    scpi_end(),
};
