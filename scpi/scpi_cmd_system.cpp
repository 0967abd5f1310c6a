#include "scpi/scpi_cmd_system.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "config/device_config.h"
#include "config/device_config_lan.h"
#include "core/krpath.h"
#include "core/krstuff.h"
#include "core/printd.h"
#include "device/device.h"
#include "frontpanel/krhcupdate.h"
#include "hw/krspi.h"
#include "remote/krsocket.h"
#include "remote/krvxi.h"
#include "scpi/paramListParser.h"
#include "scpi/scpi_block.h"
#include "scpi/scpi_cmd_common.h"
#include "scpi/scpi_convert.h"
#include "scpi/scpi_error.h"
#include "scpi/scpi_errorcodes.h"
#include "scpi/scpi_execute.h"
#include "scpi/scpi_link.h"
#include "scpi/scpi_match.h"
#include "scpi/scpi_node.h"
#include "scpi/scpi_unit.h"

namespace {

// ---- SYSTem:COMMunicate ---------------------------------------------------------------------

int systCommGpibAddr(ScpiCall *call) {
    if (call->state == SCPI_STATE_QUERY) {
        int r;
        if (!scpi_cmd_noParameters(call, &r)) return r;
        char text[16];
        r = device_config_getGPIBaddr(text, sizeof(text));
        if (r < 0) return r;
        return scpi_chararray2str(text, call->out, call->outSize, &call->outLen);
    }
    char *p;
    int r = scpi_cmd_oneParameter(call, &p);
    return r != 0 ? r : device_config_setGPIBaddr(p);
}

// A LAN address: the configured text, or a new one taking effect with LAN:RESTart.
template <const char *(*get)(), int (*set)(const char *)>
int lanAddress(ScpiCall *call) {
    if (call->state == SCPI_STATE_QUERY) {
        int r;
        if (!scpi_cmd_noParameters(call, &r)) return r;
        return scpi_cmd_answerText(call, get());
    }
    char *p;
    int r = scpi_cmd_oneParameter(call, &p);
    if (r != 0) return r;
    char text[32];
    r = scpi_str2chararray(p, text, sizeof(text));
    return r != 0 ? r : set(text);
}

int systCommLanIpConf(ScpiCall *call) {
    int r;
    if (!scpi_cmd_noParameters(call, &r)) return r;
    return scpi_cmd_answerText(call, device_config_getConfiguredIP());
}

int systCommLanMac(ScpiCall *call) {
    int r;
    if (!scpi_cmd_noParameters(call, &r)) return r;
    char mac[32];
    if (device_config_getMacAddr(mac, sizeof(mac)) < 0) return KR_E_EXECUTION_ERROR;
    return scpi_cmd_answerText(call, mac);
}

int systCommLanConf(ScpiCall *call) {
    if (call->state == SCPI_STATE_QUERY) {
        int r;
        if (!scpi_cmd_noParameters(call, &r)) return r;
        const char *mode = device_config_isLanConfigAuto()   ? "AUTO"
                           : device_config_isLanConfigDhcp() ? "DHCP"
                                                             : "MAN";
        return scpi_chararray2str(mode, call->out, call->outSize, &call->outLen);
    }
    char *p;
    int r = scpi_cmd_oneParameter(call, &p);
    if (r != 0) return r;
    if (scpi_isParam("MANual", p))
        device_config_setLanConfigMan();
    else if (scpi_isParam("DHCP", p))
        device_config_setLanConfigDhcp();
    else if (scpi_isParam("AUTO", p))
        device_config_setLanConfigAuto();
    else
        return KR_E_ILLEGAL_PARAMETER_VALUE;
    return 0;
}

// An integer setting with MINimum and MAXimum of its own (port, multi-session count).
template <int (*get)(), int (*getMin)(), int (*getMax)(), int (*set)(int)>
int configInteger(ScpiCall *call) {
    char *p = nullptr;
    int found = 0;
    if (call->state == SCPI_STATE_QUERY) {
        int value = get();
        if (_scpi_getParameters(call->params, 0, &p, &found, call->partial) != 0) {
            int r = scpi_cmd_oneParameter(call, &p);
            if (r != 0) return r;
            if (scpi_isParam("MINimum", p))
                value = getMin();
            else if (scpi_isParam("MAXimum", p))
                value = getMax();
            else
                return KR_E_ILLEGAL_PARAMETER_VALUE;
        }
        return scpi_int2str(value, call->out, call->outSize, &call->outLen);
    }
    int r = scpi_cmd_oneParameter(call, &p);
    if (r != 0) return r;
    int32_t value;
    if (scpi_isParam("MINimum", p))
        value = getMin();
    else if (scpi_isParam("MAXimum", p))
        value = getMax();
    else if ((r = scpi_str2int(p, &value)) != 0)
        return r;
    return set(value);
}

template <int (*setInfinite)(), bool (*isInfinite)(), int (*setSeconds)(double),
          double (*getSeconds)()>
int inactivityTimeout(ScpiCall *call) {
    char *p;
    if (call->state == SCPI_STATE_QUERY) {
        int r;
        if (!scpi_cmd_noParameters(call, &r)) return r;
        if (isInfinite()) return scpi_chararray2str("INF", call->out, call->outSize, &call->outLen);
        KrTime seconds = getSeconds();
        return scpi_kr_time2str(&seconds, call->out, call->outSize, &call->outLen);
    }
    int r = scpi_cmd_oneParameter(call, &p);
    if (r != 0) return r;
    if (scpi_isParam("INFinite", p)) return setInfinite();
    KrTime t = 0;
    if ((r = scpi_str2kr_time(p, &t)) != 0) return r;
    return setSeconds(t);
}

bool vxiInfinite() {
    return kr_vxi_isInactivityTimeoutInfinite() != 0;
}
double vxiSeconds() {
    const KrTime *t = kr_vxi_getInactivityTimeout();
    return t ? *t : 0.0;
}

int systCommLanRtmo(ScpiCall *call) {
    return inactivityTimeout<Krsocket_setInactivityTimeoutInfinite,
                             Krsocket_isInactivityTimeoutInfinite, Krsocket_setInactivityTimeout,
                             Krsocket_getInactivityTimeout>(call);
}
int systCommVxiRtmo(ScpiCall *call) {
    return inactivityTimeout<kr_vxi_setInactivityTimeoutInfinite, vxiInfinite,
                             kr_vxi_setInactivityTimeout, vxiSeconds>(call);
}

int systCommQuerEcho(ScpiCall *call) {
    if (call->state == SCPI_STATE_QUERY) {
        int r;
        if (!scpi_cmd_noParameters(call, &r)) return r;
        return scpi_bool2str(scpi_link_isQueryEchoEnabled(call->link), call->out, call->outSize,
                             &call->outLen);
    }
    char *p;
    int on = 0;
    int r = scpi_cmd_oneParameter(call, &p);
    if (r == 0) r = scpi_str2bool(p, &on);
    if (r != 0) return r;
    if (on)
        scpi_link_enableQueryEcho(call->link);
    else
        scpi_link_disableQueryEcho(call->link);
    return 0;
}

int systName(ScpiCall *call) {
    if (call->state == SCPI_STATE_QUERY) {
        int r;
        if (!scpi_cmd_noParameters(call, &r)) return r;
        const char *name = device_config_getModelNameExt();
        return name && *name ? scpi_cmd_answerText(call, name) : scpi_cmd_answerEmpty(call);
    }
    char *p;
    int r = scpi_cmd_oneParameter(call, &p);
    if (r != 0) return r;
    char text[64];
    r = scpi_str2chararray(scpi_unquote(p), text, sizeof(text));
    return r != 0 ? r : device_config_setModelNameExt(text);
}

// ---- SYSTem ---------------------------------------------------------------------------------

int systPres(ScpiCall *call) {
    int r;
    if (!scpi_cmd_noParameters(call, &r)) return r;
    krspiReset();
    return Device_reset(call->device);
}

// The controller's own restart, or only the firmware's: this process ends by its own id and the
// start script brings it back.
template <bool firmwareOnly>
int systemRestart(ScpiCall *call) {
    int r;
    if (!scpi_cmd_noParameters(call, &r)) return r;
    if (!firmwareOnly) return krstuffSystem("reboot");
    char command[32];
    snprintf(command, sizeof(command), "kill -TERM %d", (int)getpid());
    return krstuffSystem(command);
}

int errorNextQuery(ScpiCall *call) {
    int r;
    if (!scpi_cmd_noParameters(call, &r)) return r;
    int code = 0;
    return scpi_popErrorQueue(&parser->errorQueue, &code, call->out, call->outSize, &call->outLen);
}

int errorAllQuery(ScpiCall *call) {
    int r;
    if (!scpi_cmd_noParameters(call, &r)) return r;
    return scpi_getAndClearWholeErrorQueue(&parser->errorQueue, call->out, call->outSize,
                                           &call->outLen);
}

template <int flags>
int settingsQuery(ScpiCall *call) {
    return paramListParser_systSettStart(call, flags);
}

int unitPowe(ScpiCall *call) {
    if (call->state == SCPI_STATE_QUERY) {
        int r;
        if (!scpi_cmd_noParameters(call, &r)) return r;
        const char *name = nullptr;
        const ScpiUnitEntry *entry = nullptr;
        if ((r = scpi_unit_getPowerUnit(&name, &entry)) != 0) return r;
        return scpi_cmd_answerText(call, name);
    }
    char *p;
    int r = scpi_cmd_oneParameter(call, &p);
    return r != 0 ? r : scpi_unit_setPowerUnit(p);
}

// ---- INIT, TEST, TRIGger --------------------------------------------------------------------

// The measurement module must not follow the frequency while the sweep restarts.
int initImme(ScpiCall *call) {
    int r;
    if (!scpi_cmd_noParameters(call, &r)) return r;
    Automeasure_configPN_disableFreqInit(call->device);
    r = Device_initImmediate(call->device);
    if (DEVICE_ISREG(getFrequencyFixed))
        Automeasure_configPN_setFrequency(call->device, Device_getFrequencyFixed(call->device));
    Automeasure_configPN_enableFreqInit(call->device);
    return r;
}

template <int (**test)(Device *)>
int selftest(ScpiCall *call) {
    int r;
    if (!scpi_cmd_noParameters(call, &r)) return r;
    return scpi_int2str((*test)(call->device), call->out, call->outSize, &call->outLen);
}

int testFullRepo(ScpiCall *call) {
    int r;
    if (!scpi_cmd_noParameters(call, &r)) return r;
    // The block sender resolves the path under the root itself.
    return scpi_exec_startBdSend_file(call->link, "/media/ram/selftest.txt", nullptr, nullptr);
}

// Only the front panel may send the key trigger; from elsewhere it is dropped silently.
int trigKey(ScpiCall *call) {
    if (strcmp(call->link->name, SCPI_LINK_NAME_FRONT_PANEL) != 0) {
        printd(
            "scpi_parser(): dropping TRIG:KEY from link not allowed to send a key trigger "
            "signal\n");
        return 0;
    }
    int r;
    if (!scpi_cmd_noParameters(call, &r)) return r;
    return Device_triggerKey(call->device);
}

const ScpiNode triggerOutputSourceTyped = scpi_kwLeaf(
    "SOURce", scpi_leafUint32(&Device_getTriggerOutputSource, &Device_getTriggerOutputSourceMin,
                              &Device_getTriggerOutputSourceMax, &Device_setTriggerOutputSource));

// ALL routes every channel: the largest source number.
int allSources(Device *device) {
    return Device_setTriggerOutputSource(device, Device_getTriggerOutputSourceMax(device));
}
int trigOutpValiSour(ScpiCall *call) {
    return scpi_cmd_keywordOrTyped(call, "ALL", allSources, &triggerOutputSourceTyped);
}

// ---- Firmware and panel lock ----------------------------------------------------------------

// The firmware package arrives as block data and is installed by the query.
constexpr const char *FIRMWARE_PACKAGE = "/root/rivezarudorade.tar";

int systFirmData(ScpiCall *call) {
    char *header;
    int r = scpi_cmd_oneParameter(call, &header);
    if (r != 0) return r;
    // The package is only ever the one just received: an upload that is cancelled (device
    // clear, client gone) leaves none behind for an update to install.
    krstuffWriteRoot();
    remove(KrPath(FIRMWARE_PACKAGE));
    krstuffProtectRoot();
    return scpi_exec_startBdReceive_file(call->link, FIRMWARE_PACKAGE, nullptr, nullptr, header);
}

int systFirmUpda(ScpiCall *call) {
    int r;
    if (!scpi_cmd_noParameters(call, &r)) return r;
    return scpi_int2str(installFirmware(call->device), call->out, call->outSize, &call->outLen);
}

// The front panel shows the remote lock.
template <int (*send)()>
int panelLine(ScpiCall *call) {
    int r;
    if (!scpi_cmd_noParameters(call, &r)) return r;
    send();
    return 0;
}

// ---- Tables ---------------------------------------------------------------------------------

const ScpiEnumValue trigOutpModeValues[] = {
    {"SYSRef", &Device_setTriggerOutputModeSysref, &Device_isTriggerOutputModeSysref},
    {"VALid", &Device_setTriggerOutputModeValid, &Device_isTriggerOutputModeValid},
    {"GATE", &Device_setTriggerOutputModeGate, &Device_isTriggerOutputModeGate},
    {"POINt", &Device_setTriggerOutputModePoint, &Device_isTriggerOutputModePoint},
    {"NORMal", &Device_setTriggerOutputModeNormal, &Device_isTriggerOutputModeNormal},
    {nullptr, nullptr, nullptr},
};

const ScpiEnumValue trigOutpPolaValues[] = {
    {"INVerted", &Device_setTriggerOutputPolarityInverted, &Device_isTriggerOutputPolarityInverted},
    {"NORMal", &Device_setTriggerOutputPolarityNormal, &Device_isTriggerOutputPolarityNormal},
    {nullptr, nullptr, nullptr},
};

const ScpiEnumValue trigSequSlopValues[] = {
    {"NP", &Device_setTriggerSlopeNegativePositive, &Device_isTriggerSlopeNegativePositive},
    {"PN", &Device_setTriggerSlopePositiveNegative, &Device_isTriggerSlopePositiveNegative},
    {"NEGative", &Device_setTriggerSlopeNegative, &Device_isTriggerSlopeNegative},
    {"POSitive", &Device_setTriggerSlopePositive, &Device_isTriggerSlopePositive},
    {nullptr, nullptr, nullptr},
};

const ScpiEnumValue trigSequSourValues[] = {
    {"IMMediate", &Device_setTriggerSourceImmediate, &Device_isTriggerSourceImmediate},
    {"KEY", &Device_setTriggerSourceKey, &Device_isTriggerSourceKey},
    {"EXTernal", &Device_setTriggerSourceExternal, &Device_isTriggerSourceExternal},
    {"BUS", &Device_setTriggerSourceBus, &Device_isTriggerSourceBus},
    {nullptr, nullptr, nullptr},
};

const ScpiEnumValue trigSequTypeValues[] = {
    {"NORMal", &Device_setTriggerTypeNormal, &Device_isTriggerTypeNormal},
    {"GATE", &Device_setTriggerTypeGate, &Device_isTriggerTypeGate},
    {"POINt", &Device_setTriggerTypePoint, &Device_isTriggerTypePoint},
    {nullptr, nullptr, nullptr},
};

const ScpiEnumValue trigSyncExteSourPortValues[] = {
    {"MF2", &Device_setTriggerSynchronousExternalSourcePortMf2,
     &Device_isTriggerSynchronousExternalSourcePortMf2},
    {"MF1", &Device_setTriggerSynchronousExternalSourcePortMf1,
     &Device_isTriggerSynchronousExternalSourcePortMf1},
    {nullptr, nullptr, nullptr},
};

const ScpiEnumValue trigSyncSlopValues[] = {
    {"NEGative", &Device_setTriggerSynchronousSlopeNegative,
     &Device_isTriggerSynchronousSlopeNegative},
    {"POSitive", &Device_setTriggerSynchronousSlopePositive,
     &Device_isTriggerSynchronousSlopePositive},
    {nullptr, nullptr, nullptr},
};

const ScpiEnumValue trigSyncSourValues[] = {
    {"EXTernal", &Device_setTriggerSynchronousSourceExternal,
     &Device_isTriggerSynchronousSourceExternal},
    {"BUS", &Device_setTriggerSynchronousSourceBus, &Device_isTriggerSynchronousSourceBus},
    {nullptr, nullptr, nullptr},
};

const ScpiNode systemCommunicateGpibNodes[] = {
    scpi_kwLeaf("ADDRess", scpi_leafCustom(systCommGpibAddr, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode systemCommunicateLanIpNodes[] = {
    scpi_kwLeaf("CONFigured", scpi_leafCustom(systCommLanIpConf, SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode systemCommunicateLanNodes[] = {
    scpi_kwLeaf("CONFig", scpi_leafCustom(systCommLanConf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("DEFault", scpi_leafCustom(scpi_cmd_plainAction<device_config_setDefaultLanConfig>,
                                           SCPI_FORM_SET)),
    scpi_kwLeaf("GATEway", scpi_leafCustom(lanAddress<device_config_getGW, device_config_setGW>,
                                           SCPI_FORM_BOTH)),
    scpi_kw("IP", systemCommunicateLanIpNodes,
            scpi_leafCustom(lanAddress<device_config_getIP, device_config_setIP>, SCPI_FORM_BOTH)),
    scpi_kwLeaf("MAC", scpi_leafCustom(systCommLanMac, SCPI_FORM_QUERY)),
    scpi_kwLeaf("RESTart",
                scpi_leafCustom(scpi_cmd_plainAction<device_config_setLanConfig>, SCPI_FORM_SET)),
    scpi_kwLeaf("RTMO", scpi_leafCustom(systCommLanRtmo, SCPI_FORM_BOTH)),
    scpi_kwLeaf("SUBNet", scpi_leafCustom(lanAddress<device_config_getSubn, device_config_setSubn>,
                                          SCPI_FORM_BOTH)),
    scpi_kwLeaf("PORT",
                scpi_leafCustom(configInteger<device_config_getPort, device_config_getMinPort,
                                              device_config_getMaxPort, device_config_setPort>,
                                SCPI_FORM_BOTH)),
    scpi_kwLeaf("MSESsion",
                scpi_leafCustom(configInteger<device_config_getMses, device_config_getMinMses,
                                              device_config_getMaxMses, device_config_setMses>,
                                SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode systemCommunicateQueryNodes[] = {
    scpi_kwLeaf("ECHO", scpi_leafCustom(systCommQuerEcho, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode systemCommunicateSocketNodes[] = {
    scpi_kwLeaf("ECHO", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode systemCommunicateVxiNodes[] = {
    scpi_kwLeaf("RTMO", scpi_leafCustom(systCommVxiRtmo, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode systemCommunicateNodes[] = {
    scpi_kw("GPIB", systemCommunicateGpibNodes),   scpi_kw("LAN", systemCommunicateLanNodes),
    scpi_kw("QUERy", systemCommunicateQueryNodes), scpi_kw("SOCKet", systemCommunicateSocketNodes),
    scpi_kw("VXI", systemCommunicateVxiNodes),     scpi_end(),
};

const ScpiNode systemErrorNodes[] = {
    scpi_kwLeaf("ALL", scpi_leafCustom(errorAllQuery, SCPI_FORM_QUERY)),
    scpi_kwOptional("NEXT", nullptr, scpi_leafCustom(errorNextQuery, SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode systemFirmwareNodes[] = {
    scpi_kwLeaf("DATA", scpi_leafCustom(systFirmData, SCPI_FORM_SET)),
    scpi_kwLeaf("UPDate", scpi_leafCustom(systFirmUpda, SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode systemLockNodes[] = {
    scpi_kwLeaf("REL", scpi_leafCustom(panelLine<hcupdate_release>, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode systemRestartNodes[] = {
    scpi_kwLeaf("FW", scpi_leafCustom(systemRestart<true>, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode systemSettingsCsequenceNodes[] = {
    scpi_kwLeaf("CHANged", scpi_leafCustom(settingsQuery<3>, SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode systemSettingsNodes[] = {
    scpi_kwLeaf("CHANged", scpi_leafCustom(settingsQuery<2>, SCPI_FORM_QUERY)),
    scpi_kw("CSEQuence", systemSettingsCsequenceNodes,
            scpi_leafCustom(settingsQuery<1>, SCPI_FORM_QUERY)),
    scpi_end(),
};

}  // namespace

const ScpiNode scpi_cmd_systemNodes[] = {
    scpi_kw("COMMunicate", systemCommunicateNodes),
    scpi_kw("ERRor", systemErrorNodes),
    scpi_kw("FIRMware", systemFirmwareNodes),
    scpi_kw("LOCK", systemLockNodes, scpi_leafCustom(panelLine<hcupdate_lock>, SCPI_FORM_SET)),
    scpi_kwLeaf("NAME", scpi_leafCustom(systName, SCPI_FORM_BOTH)),
    scpi_kwLeaf("PRES", scpi_leafCustom(systPres, SCPI_FORM_SET, nullptr, &Device_reset)),
    scpi_kw("RESTart", systemRestartNodes, scpi_leafCustom(systemRestart<false>, SCPI_FORM_SET)),
    scpi_kw("SETTings", systemSettingsNodes, scpi_leafCustom(settingsQuery<0>, SCPI_FORM_QUERY)),
    scpi_kwLeaf("TEMPerature",
                scpi_leafFloat(&Device_getTemperatureMax, nullptr, nullptr, nullptr)),
    scpi_end(),
};

const ScpiNode scpi_cmd_unitNodes[] = {
    scpi_kwLeaf("POWer", scpi_leafCustom(unitPowe, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode scpi_cmd_initNodes[] = {
    scpi_kwOptional(
        "IMMediate", nullptr,
        scpi_leafCustom(initImme, SCPI_FORM_SET, nullptr, &Automeasure_configPN_disableFreqInit,
                        &Device_initImmediate, &Automeasure_configPN_setFrequency,
                        &Automeasure_configPN_enableFreqInit)),
    scpi_kwLeaf("CONTinuous",
                scpi_leafBool(&Device_isInitiateContinuousEnabled, &Device_enableInitiateContinuous,
                              &Device_disableInitiateContinuous)),
    scpi_end(),
};

namespace {

const ScpiNode testFullNodes[] = {
    scpi_kwLeaf("REPort", scpi_leafCustom(testFullRepo, SCPI_FORM_QUERY)),
    scpi_end(),
};

}  // namespace

const ScpiNode scpi_cmd_testNodes[] = {
    scpi_kwLeaf("FAST", scpi_leafCustom(selftest<&Device_fastSelftest>, SCPI_FORM_QUERY, nullptr,
                                        &Device_fastSelftest)),
    scpi_kw("FULL", testFullNodes,
            scpi_leafCustom(selftest<&Device_fullSelftest>, SCPI_FORM_QUERY, nullptr,
                            &Device_fullSelftest)),
    scpi_end(),
};

namespace {

const ScpiNode triggerOutputValidNodes[] = {
    scpi_kwLeaf(
        "SOURce",
        scpi_leafCustom(trigOutpValiSour, SCPI_FORM_BOTH, nullptr, &Device_setTriggerOutputSource,
                        &Device_getTriggerOutputSource, &Device_getTriggerOutputSourceMin,
                        &Device_getTriggerOutputSourceMax)),
    scpi_end(),
};

const ScpiNode triggerOutputNodes[] = {
    scpi_kwLeaf("MODE", scpi_leafEnum(trigOutpModeValues)),
    scpi_kwLeaf("POLarity", scpi_leafEnum(trigOutpPolaValues)),
    scpi_kwOptional("VALid", triggerOutputValidNodes),
    scpi_end(),
};

const ScpiNode triggerSequenceNodes[] = {
    scpi_kwLeaf("DELay", scpi_leafTime(&Device_getTriggerDelay, &Device_getTriggerDelayMin,
                                       &Device_getTriggerDelayMax, &Device_setTriggerDelay)),
    scpi_kwLeaf("ECOunt", scpi_leafUint32(&Device_getTriggerEventCount, nullptr, nullptr,
                                          &Device_setTriggerEventCount)),
    scpi_kwLeaf("SLOPe", scpi_leafEnum(trigSequSlopValues)),
    scpi_kwLeaf("SOURce", scpi_leafEnum(trigSequSourValues)),
    scpi_kwLeaf("TYPE", scpi_leafEnum(trigSequTypeValues)),
    scpi_end(),
};

const ScpiNode triggerSynchronousExternalSourceNodes[] = {
    scpi_kwOptional("PORT", nullptr, scpi_leafEnum(trigSyncExteSourPortValues)),
    scpi_end(),
};

const ScpiNode triggerSynchronousExternalNodes[] = {
    scpi_kw("SOURce", triggerSynchronousExternalSourceNodes),
    scpi_end(),
};

const ScpiNode triggerSynchronousSourceNodes[] = {
    scpi_kwLeaf("CHANnel", scpi_leafUint32(&Device_getTriggerSynchronousSourceChannel,
                                           &Device_getTriggerSynchronousSourceChannelMin,
                                           &Device_getTriggerSynchronousSourceChannelMax,
                                           &Device_setTriggerSynchronousSourceChannel)),
    scpi_end(),
};

const ScpiNode triggerSynchronousNodes[] = {
    scpi_kwOptional("IMMediate", nullptr, scpi_leafAction(&Device_triggerSynchronousImmediate)),
    scpi_kw("EXTernal", triggerSynchronousExternalNodes),
    scpi_kwLeaf("SLOPe", scpi_leafEnum(trigSyncSlopValues)),
    scpi_kw("SOURce", triggerSynchronousSourceNodes, scpi_leafEnum(trigSyncSourValues)),
    scpi_end(),
};

}  // namespace

const ScpiNode scpi_cmd_triggerNodes[] = {
    scpi_kw("OUTPut", triggerOutputNodes),
    scpi_kwLeaf("KEY", scpi_leafCustom(trigKey, SCPI_FORM_SET, nullptr, &Device_triggerKey)),
    scpi_kwOptional("SEQuence", triggerSequenceNodes, scpi_leafAction(&Device_triggerImmediate)),
    scpi_kw("SYNChronous", triggerSynchronousNodes),
    scpi_end(),
};
