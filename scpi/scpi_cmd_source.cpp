#include "scpi/scpi_cmd_source.h"

#include <cstdio>
#include <cstring>

#include "device/device.h"
#include "scpi/paramListParser.h"
#include "scpi/scpi_cmd_common.h"
#include "scpi/scpi_convert.h"
#include "scpi/scpi_errorcodes.h"
#include "scpi/scpi_link.h"
#include "scpi/scpi_match.h"
#include "scpi/scpi_node.h"

namespace {

// The list columns stream through the parameter-list parser.
template <ScpiContinuation command, ScpiContinuation query>
int listLeaf(ScpiCall *call) {
    ScpiContinuation handler = call->state == SCPI_STATE_QUERY ? query : command;
    int n = handler(call->link, call->params, call->out, call->outSize, call->partial);
    call->outLen = n > 0 ? n : 0;
    return 0;
}

// INFinite repeats for as long as the device can count.
int listCountInfinite(Device *device) {
    return Device_setListCount(device, Device_getListSweepCountMax(device));
}
int sweepCountInfinite(Device *device) {
    return Device_setSweepCount(device, Device_getListSweepCountMax(device));
}
const ScpiNode listCountTyped =
    scpi_kwLeaf("COUNt", scpi_leafUint32(&Device_getListCount, &Device_getListSweepCountMin,
                                         &Device_getListSweepCountMax, &Device_setListCount));
const ScpiNode sweepCountTyped =
    scpi_kwLeaf("COUNt", scpi_leafUint32(&Device_getSweepCount, &Device_getListSweepCountMin,
                                         &Device_getListSweepCountMax, &Device_setSweepCount));
int sourListCoun(ScpiCall *call) {
    return scpi_cmd_keywordOrTyped(call, "INFinite", listCountInfinite, &listCountTyped);
}
int sourSweeFreqCoun(ScpiCall *call) {
    return scpi_cmd_keywordOrTyped(call, "INFinite", sweepCountInfinite, &sweepCountTyped);
}

// UP and DOWN step the manual point by one; the typed handler clamps numbers.
int manualPointUp(Device *device) {
    uint32_t point = Device_getListManualPoint(device);
    if (DEVICE_ISREG(getListManualPointMax) && point >= Device_getListManualPointMax(device))
        return 0;
    return Device_setListManualPoint(device, point + 1);
}
int manualPointDown(Device *device) {
    uint32_t point = Device_getListManualPoint(device);
    uint32_t min = DEVICE_ISREG(getListManualPointMin) ? Device_getListManualPointMin(device) : 0;
    if (point <= min) return 0;
    return Device_setListManualPoint(device, point - 1);
}
const ScpiNode manualPointTyped = scpi_kwLeaf(
    "MANual", scpi_leafUint32(&Device_getListManualPoint, &Device_getListManualPointMin,
                              &Device_getListManualPointMax, &Device_setListManualPoint));
const ScpiNode manualPointDownTyped =
    scpi_kwLeaf("MANual", scpi_leafCustom(
                              [](ScpiCall *call) {
                                  return scpi_cmd_keywordOrTyped(call, "DOWN", manualPointDown,
                                                                 &manualPointTyped);
                              },
                              SCPI_FORM_BOTH));
int sourListManu(ScpiCall *call) {
    return scpi_cmd_keywordOrTyped(call, "UP", manualPointUp, &manualPointDownTyped);
}

const ScpiNode alcSearchTyped = scpi_kwLeaf(
    "SEARch",
    scpi_leafBool(&Device_isAlcSearchEnabled, &Device_enableAlcSearch, &Device_disableAlcSearch));
int alcSearchOnce(Device *device) {
    return Device_doAlcSearchOnce(device);
}
int sourPoweAlcSear(ScpiCall *call) {
    return scpi_cmd_keywordOrTyped(call, "ONCE", alcSearchOnce, &alcSearchTyped);
}

// The device tells only whether the level control bandwidth is low.
int alcBandwidthHigh(Device *device) {
    return DEVICE_ISREG(isAlcBandwidthLow) && !Device_isAlcBandwidthLow(device);
}
int (*isAlcBandwidthHigh)(Device *) = alcBandwidthHigh;

constexpr int PULM_BITSTREAM_TEXT_MAX = 512;  // hex digits the pattern holds

// The bit pattern: hex text in, upper-case hex text out (an empty pattern answers an empty
// line).
int pulmBitstream(ScpiCall *call) {
    int r = 0;
    if (call->state == SCPI_STATE_QUERY) {
        if (!scpi_cmd_noParameters(call, &r)) return r;
        char text[PULM_BITSTREAM_TEXT_MAX + 1];
        r = Device_getPulmBitstream(call->device, text, (int32_t)sizeof text);
        if (r < 0) return r;
        if (!text[0]) return scpi_cmd_answerEmpty(call);
        return scpi_chararray2str(text, call->out, call->outSize, &call->outLen);
    }
    char *p = nullptr;
    r = scpi_cmd_oneParameter(call, &p);
    return r != 0 ? r : Device_setPulmBitstream(call->device, scpi_unquote(p));
}

// The word width of the FCP interface in bits: 8 or 16.
int fcpMode(ScpiCall *call) {
    int r = 0;
    if (call->state == SCPI_STATE_QUERY) {
        if (!scpi_cmd_noParameters(call, &r)) return r;
        r = Device_isFcpMode8bits(call->device);
        if (r < 0) return r;
        call->outLen = snprintf(call->out, (size_t)call->outSize, "%d", r == 1 ? 8 : 16);
        return 0;
    }
    char *p = nullptr;
    int32_t bits = 0;
    r = scpi_cmd_oneParameter(call, &p);
    if (r == 0) r = scpi_str2int(p, &bits);
    if (r != 0) return r < 0 ? r : KR_E_ILLEGAL_PARAMETER_VALUE;
    if (bits == 8) return Device_setFcpMode8bits(call->device);
    if (bits == 16) return Device_setFcpMode16bits(call->device);
    return KR_E_ILLEGAL_PARAMETER_VALUE;
}

// ---- Tables ---------------------------------------------------------------------------------

const ScpiEnumValue sourFreqModeValues[] = {
    {"FIXed", &Device_setFrequencyModeFixed, &Device_isFrequencyModeFixed},
    {"SWEep", &Device_setFrequencyModeSweep, &Device_isFrequencyModeSweep},
    {"LIST", &Device_setFrequencyModeList, &Device_isFrequencyModeList},
    {"CHIRp", &Device_setFrequencyModeChirp, &Device_isFrequencyModeChirp},
    {"CW", &Device_setFrequencyModeFixed, &Device_isFrequencyModeFixed},
    {nullptr, nullptr, nullptr},
};

const ScpiEnumValue sourFreqResoValues[] = {
    {"HIGH", &Device_setFrequencyResolutionHigh, &Device_isFrequencyResolutionHigh},
    {"LOW", &Device_setFrequencyResolutionLow, &Device_isFrequencyResolutionLow},
    {nullptr, nullptr, nullptr},
};

const ScpiEnumValue sourListDireValues[] = {
    {"RANDom", &Device_setListDirectionRandom, &Device_isListDirectionRandom},
    {"DOWN", &Device_setListDirectionDown, &Device_isListDirectionDown},
    {"UP", &Device_setListDirectionUp, &Device_isListDirectionUp},
    {nullptr, nullptr, nullptr},
};

const ScpiEnumValue sourListModeValues[] = {
    {"MANual", &Device_setListModeManual, &Device_isListModeManual},
    {"AUTO", &Device_setListModeAuto, &Device_isListModeAuto},
    {nullptr, nullptr, nullptr},
};

const ScpiEnumValue sourPhasModeValues[] = {
    {"CW", &Device_setPhaseModeFixed, &Device_isPhaseModeFixed},
    {"LIST", &Device_setPhaseModeList, &Device_isPhaseModeList},
    {"SWEep", &Device_setPhaseModeSweep, &Device_isPhaseModeSweep},
    {"FIXed", &Device_setPhaseModeFixed, &Device_isPhaseModeFixed},
    {nullptr, nullptr, nullptr},
};

const ScpiEnumValue sourPhasStabValues[] = {
    {"HIFeedback", &Device_setPhaseStabilityModeHighIntFb, &Device_isPhaseStabilityModeHighIntFb},
    {"HIReference", &Device_setPhaseStabilityModeHighIntRef,
     &Device_isPhaseStabilityModeHighIntRef},
    {"NORMal", &Device_setPhaseStabilityModeNormal, &Device_isPhaseStabilityModeNormal},
    {nullptr, nullptr, nullptr},
};

const ScpiEnumValue sourPoweAlcBandValues[] = {
    {"HIGH", &Device_setAlcBandwidthHigh, &isAlcBandwidthHigh},
    {"LOW", &Device_setAlcBandwidthLow, &Device_isAlcBandwidthLow},
    {nullptr, nullptr, nullptr},
};

const ScpiEnumValue sourPoweAlcContValues[] = {
    {"FPGA", &Device_setAlcControllerFpga, &Device_isAlcControllerFpga},
    {"EXTernal", &Device_setAlcControllerExternal, nullptr},
    {"INTernal", &Device_setAlcControllerInternal, &Device_isAlcControllerInternal},
    {nullptr, nullptr, nullptr},
};

const ScpiEnumValue sourPoweAlcBwidValues[] = {
    {"HIGH", &Device_setAlcBandwidthHigh, &isAlcBandwidthHigh},
    {"LOW", &Device_setAlcBandwidthLow, &Device_isAlcBandwidthLow},
    {nullptr, nullptr, nullptr},
};

const ScpiEnumValue sourPoweModeValues[] = {
    {"FIXed", &Device_setPowerModeFixed, &Device_isPowerModeFixed},
    {"SWEep", &Device_setPowerModeSweep, &Device_isPowerModeSweep},
    {"LIST", &Device_setPowerModeList, &Device_isPowerModeList},
    {"CW", &Device_setPowerModeFixed, &Device_isPowerModeFixed},
    {nullptr, nullptr, nullptr},
};

const ScpiEnumValue sourSweeFreqBlanInvaValues[] = {
    {"ALL", &Device_setSweepListBlankInvalidAll, &Device_isSweepListBlankInvalidAll},
    {"THIS", &Device_setSweepListBlankInvalidThis, &Device_isSweepListBlankInvalidThis},
    {"OFF", &Device_setSweepListBlankInvalidOff, &Device_isSweepListBlankInvalidOff},
    {nullptr, nullptr, nullptr},
};

const ScpiEnumValue sourSweeFreqDireValues[] = {
    {"RANDom", &Device_setSweepDirectionRandom, &Device_isSweepDirectionRandom},
    {"DOWN", &Device_setSweepDirectionDown, &Device_isSweepDirectionDown},
    {"UP", &Device_setSweepDirectionUp, &Device_isSweepDirectionUp},
    {nullptr, nullptr, nullptr},
};

const ScpiEnumValue sourSweeFreqSpacValues[] = {
    {"LOG", &Device_setSweepSpacingLog, &Device_isSweepSpacingLog},
    {"LIN", &Device_setSweepSpacingLin, &Device_isSweepSpacingLin},
    {nullptr, nullptr, nullptr},
};

const ScpiEnumValue sourSweeFreqTrigSequExteSlopValues[] = {
    {"ANY", &Device_setSweepTriggerExternalSlopeAny, nullptr},
    {"NEGative", &Device_setSweepTriggerExternalSlopeNegative, nullptr},
    {"POSitive", &Device_setSweepTriggerExternalSlopePositive,
     &Device_getSweepTriggerExternalSlopePositive},
    {nullptr, nullptr, nullptr},
};

const ScpiEnumValue sourSweeFreqTrigSequExteSourValues[] = {
    {"MF2", &Device_setSweepTriggerExternalSourceMf2, &Device_getSweepTriggerExternalSourceMf2},
    {"MF1", &Device_setSweepTriggerExternalSourceMf1, &Device_getSweepTriggerExternalSourceMf1},
    {nullptr, nullptr, nullptr},
};

const ScpiEnumValue sourSweeFreqTrigSequOutpModeValues[] = {
    {"POINt", &Device_setSweepTriggerOutputModePoint, &Device_isSweepTriggerOutputModePoint},
    {"NORMal", &Device_setSweepTriggerOutputModeNormal, &Device_isSweepTriggerOutputModeNormal},
    {nullptr, nullptr, nullptr},
};

const ScpiEnumValue sourSweeFreqTrigSequOutpPolaValues[] = {
    {"INVerted", &Device_setSweepTriggerOutputPolarityInverted,
     &Device_isSweepTriggerOutputPolarityInverted},
    {"NORMal", &Device_setSweepTriggerOutputPolarityNormal,
     &Device_isSweepTriggerOutputPolarityNormal},
    {nullptr, nullptr, nullptr},
};

const ScpiEnumValue sourSweeFreqTrigSequSourValues[] = {
    {"BUS", &Device_setSweepTriggerSourceBus, nullptr},
    {"EXTernal", &Device_setSweepTriggerSourceExternal, nullptr},
    {"IMMediate", &Device_setSweepTriggerSourceImmediate, &Device_getSweepTriggerSourceImmediate},
    {nullptr, nullptr, nullptr},
};

const ScpiEnumValue sourSweeFreqTrigSequTypeValues[] = {
    {"NORMal", &Device_setSweepTriggerTypeNormal, &Device_getSweepTriggerTypeNormal},
    {"POINt", &Device_setSweepTriggerTypePoint, &Device_getSweepTriggerTypePoint},
    {nullptr, nullptr, nullptr},
};

const ScpiEnumValue sourAmSourValues[] = {
    {"INTernal", &Device_setAmSourceInternal, &Device_isAmSourceInternal},
    {"EXTernal", &Device_setAmSourceExternal, &Device_isAmSourceExternal},
    {nullptr, nullptr, nullptr},
};

const ScpiEnumValue sourChirDireValues[] = {
    {"UP", &Device_setChirpDirectionUp, &Device_isChirpDirectionUp},
    {"UPDown", &Device_setChirpDirectionUpDown, &Device_isChirpDirectionUpDown},
    {"DOWN", &Device_setChirpDirectionDown, &Device_isChirpDirectionDown},
    {"DOWNup", &Device_setChirpDirectionDownUp, &Device_isChirpDirectionDownUp},
    {nullptr, nullptr, nullptr},
};

const ScpiEnumValue sourChirModeValues[] = {
    {"AUTO", &Device_setChirpModeAuto, &Device_isChirpModeAuto},
    {"MANual", &Device_setChirpModeManual, &Device_isChirpModeManual},
    {nullptr, nullptr, nullptr},
};

const ScpiEnumValue sourFmCoupValues[] = {
    {"AC", &Device_setFmCouplingAc, &Device_isFmCouplingAc},
    {"DC", &Device_setFmCouplingDc, &Device_isFmCouplingDc},
    {nullptr, nullptr, nullptr},
};

const ScpiEnumValue sourFmSourValues[] = {
    {"INTernal", &Device_setFmSourceInternal, &Device_isFmSourceInternal},
    {"EXTernal", &Device_setFmSourceExternal, &Device_isFmSourceExternal},
    {nullptr, nullptr, nullptr},
};

const ScpiEnumValue sourPmSourValues[] = {
    {"INTernal", &Device_setPmSourceInternal, &Device_isPmSourceInternal},
    {"EXTernal", &Device_setPmSourceExternal, &Device_isPmSourceExternal},
    {nullptr, nullptr, nullptr},
};

const ScpiEnumValue sourPulmBitsDireValues[] = {
    {"MSBFirst", &Device_setPulmBitstreamDirectionMsbfirst,
     &Device_isPulmBitstreamDirectionMsbfirst},
    {"LSBFirst", &Device_setPulmBitstreamDirectionLsbfirst,
     &Device_isPulmBitstreamDirectionLsbfirst},
    {nullptr, nullptr, nullptr},
};

const ScpiEnumValue sourPulmModeValues[] = {
    {"RATio", &Device_setPulmModeRatio, &Device_isPulmModeRatio},
    {"BANDwidth", &Device_setPulmModeBandwidth, &Device_isPulmModeBandwidth},
    {nullptr, nullptr, nullptr},
};

const ScpiEnumValue sourPulmOutpVidePolaValues[] = {
    {"NORMal", &Device_setPulmOutputVideoPolarityNormal, &Device_isPulmOutputVideoPolarityNormal},
    {"INVerted", &Device_setPulmOutputVideoPolarityInverted,
     &Device_isPulmOutputVideoPolarityInverted},
    {nullptr, nullptr, nullptr},
};

const ScpiEnumValue sourPulmPolaValues[] = {
    {"NORMal", &Device_setPulmPolarityNormal, &Device_isPulmPolarityNormal},
    {"INVerted", &Device_setPulmPolarityInverted, &Device_isPulmPolarityInverted},
    {nullptr, nullptr, nullptr},
};

const ScpiEnumValue sourRoscSourValues[] = {
    {"INTernal", &Device_setReferenceSourceInternal, &Device_isReferenceSourceInternal},
    {"EXTernal", &Device_setReferenceSourceExternal, &Device_isReferenceSourceExternal},
    {"VARiable", &Device_setReferenceSourceExternalVariable,
     &Device_isReferenceSourceExternalVariable},
    {"SCLock", &Device_setReferenceSourceExternalSysClock,
     &Device_isReferenceSourceExternalSysClock},
    {nullptr, nullptr, nullptr},
};

const ScpiEnumValue sourLfoShapValues[] = {
    {"SINE", &Device_setLfgShapeSine, &Device_isLfgShapeSine},
    {"TRIangle", &Device_setLfgShapeTriangle, &Device_isLfgShapeTriangle},
    {"SQUare", &Device_setLfgShapeSquare, &Device_isLfgShapeSquare},
    {nullptr, nullptr, nullptr},
};

const ScpiEnumValue sourLfoSourValues[] = {
    {"LFGenerator", &Device_setFuncoutSourceLfg, &Device_isFuncoutSourceLfg},
    {"PULM", &Device_setFuncoutSourcePulm, &Device_isFuncoutSourcePulm},
    {"TRIGger", &Device_setFuncoutSourceTrigger, &Device_isFuncoutSourceTrigger},
    {"LOW", &Device_setFuncoutSourceLow, &Device_isFuncoutSourceLow},
    {"HIGH", &Device_setFuncoutSourceHigh, &Device_isFuncoutSourceHigh},
    {"DAC", &Device_setFuncoutSourceDac, &Device_isFuncoutSourceDac},
    {nullptr, nullptr, nullptr},
};

const ScpiEnumValue sourPulmSourValues[] = {
    {"INTernal", &Device_setPulmSourceInternal, &Device_isPulmSourceInternal},
    {"EXTernal", &Device_setPulmSourceExternal, &Device_isPulmSourceExternal},
    {"BITStream", &Device_setPulmSourceBitstream, &Device_isPulmSourceBitstream},
    {nullptr, nullptr, nullptr},
};

const ScpiNode sourceFrequencyMeasNodes[] = {
    scpi_kwLeaf("CMINimum", scpi_leafUint32(&Device_getCounterMinimum, nullptr, nullptr,
                                            &Device_setCounterMinimum)),
    scpi_end(),
};

const ScpiNode sourceFrequencyPrescalerNodes[] = {
    scpi_kwLeaf("AUTO", scpi_leafBool(&Device_isAutoPrescaler, &Device_enableAutoPrescaler,
                                      &Device_disableAutoPrescaler)),
    scpi_end(),
};

const ScpiNode sourceFrequencyTriggerNodes[] = {
    scpi_kwOptional("STATe", nullptr,
                    scpi_leafBool(&Device_isCwTriggerEnabled, &Device_enableCwTrigger,
                                  &Device_disableCwTrigger)),
    scpi_end(),
};

const ScpiNode sourceFrequencyNodes[] = {
    scpi_kwLeaf("CENTer", scpi_leafFreq(&Device_getFrequencyCenter, &Device_getFrequencyMin,
                                        &Device_getFrequencyMax, &Device_setFrequencyCenter)),
    scpi_kwOptional("CW", nullptr,
                    scpi_leafFreq(&Device_getFrequencyFixed, &Device_getFrequencyMin,
                                  &Device_getFrequencyMax, &Device_setFrequencyFixed)),
    scpi_kwLeaf("AUTO", scpi_leafBool(&Device_isFrequencyModeAuto, &Device_enableFrequencyModeAuto,
                                      &Device_disableFrequencyModeAuto)),
    scpi_kwLeaf("EXACt", scpi_leafFreq(&Device_getFrequencyExact, nullptr, nullptr, nullptr)),
    scpi_kw("MEAS", sourceFrequencyMeasNodes, scpi_leafAction(&Device_measureFrequency)),
    scpi_kwLeaf("MODE", scpi_leafEnum(sourFreqModeValues)),
    scpi_kw("PREscaler", sourceFrequencyPrescalerNodes,
            scpi_leafUint32(&Device_getPrescaler, nullptr, nullptr, &Device_setPrescaler)),
    scpi_kwLeaf("RESolution", scpi_leafEnum(sourFreqResoValues)),
    scpi_kwLeaf("ROUNding",
                scpi_leafBool(&Device_isFrequencyRoundingEnabled, &Device_enableFrequencyRounding,
                              &Device_disableFrequencyRounding)),
    scpi_kwLeaf("SPAN", scpi_leafFreq(&Device_getFrequencySpan, &Device_getFrequencySpanMin,
                                      &Device_getFrequencySpanMax, &Device_setFrequencySpan)),
    scpi_kwLeaf("SPURs", scpi_leafCustom(scpi_cmd_runDeviceLeaf, SCPI_FORM_QUERY, nullptr,
                                         &Device_getSpurs)),
    scpi_kwLeaf("STARt", scpi_leafFreq(&Device_getFrequencyStart, &Device_getFrequencyStartMin,
                                       &Device_getFrequencyStartMax, &Device_setFrequencyStart)),
    scpi_kwLeaf("STEP", scpi_leafFreq(&Device_getFrequencyStep, nullptr, nullptr,
                                      &Device_setFrequencyStep)),
    scpi_kwLeaf("STOP", scpi_leafFreq(&Device_getFrequencyStop, &Device_getFrequencyStopMin,
                                      &Device_getFrequencyStopMax, &Device_setFrequencyStop)),
    scpi_kw("TRIGger", sourceFrequencyTriggerNodes),
    scpi_end(),
};

const ScpiNode sourceListCurrentNodes[] = {
    scpi_kwLeaf("POINts", scpi_leafUint32(&Device_getListPoints, &Device_getListPointsMin,
                                          &Device_getListPointsMax, nullptr)),
    scpi_end(),
};

const ScpiNode sourceListDelayNodes[] = {
    scpi_kwLeaf("AUTO", scpi_leafBool(&Device_isListDelayTimeAuto, &Device_enableListDelayTimeAuto,
                                      &Device_disableListDelayTimeAuto)),
    scpi_kwLeaf("POINts", scpi_leafUint32(&Device_getDelayListPoints, &Device_getListPointsMin,
                                          &Device_getListPointsMax, nullptr)),
    scpi_end(),
};

const ScpiNode sourceListDwellNodes[] = {
    scpi_kwLeaf("POINts", scpi_leafUint32(&Device_getDwellListPoints, &Device_getListPointsMin,
                                          &Device_getListPointsMax, nullptr)),
    scpi_end(),
};

const ScpiNode sourceListFrequencyNodes[] = {
    scpi_kwLeaf("BAND", scpi_leafCustom(listLeaf<nullptr, paramListParser_ListFreqBandQuery>,
                                        SCPI_FORM_QUERY, nullptr, &Device_getListFrequencyBand)),
    scpi_kwLeaf("POINts", scpi_leafUint32(&Device_getFrequencyListPoints, &Device_getListPointsMin,
                                          &Device_getListPointsMax, nullptr)),
    scpi_end(),
};

const ScpiNode sourceListPhaseNodes[] = {
    scpi_kwLeaf("POINts", scpi_leafUint32(&Device_getPhaseListPoints, &Device_getListPointsMin,
                                          &Device_getListPointsMax, nullptr)),
    scpi_end(),
};

const ScpiNode sourceListPowerNodes[] = {
    scpi_kwLeaf("POINts", scpi_leafUint32(&Device_getPowerListPoints, &Device_getListPointsMin,
                                          &Device_getListPointsMax, nullptr)),
    scpi_end(),
};

const ScpiNode sourceListNodes[] = {
    scpi_kwLeaf("BLANking",
                scpi_leafBool(&Device_isSweepListBlankingEnabled, &Device_enableSweepListBlanking,
                              &Device_disableSweepListBlanking)),
    scpi_kwLeaf("COUNt",
                scpi_leafCustom(sourListCoun, SCPI_FORM_BOTH, nullptr, &Device_setListCount,
                                &Device_getListCount, &Device_getListSweepCountMin,
                                &Device_getListSweepCountMax)),
    scpi_kwOptional("CURRent", sourceListCurrentNodes),
    scpi_kw("DELay", sourceListDelayNodes,
            scpi_leafCustom(listLeaf<paramListParser_ListDelCmd, paramListParser_ListDelQuery>,
                            SCPI_FORM_BOTH, nullptr, &Device_setListDelayTime,
                            &Device_getListDelayTime)),
    scpi_kwLeaf("DIRection", scpi_leafEnum(sourListDireValues)),
    scpi_kw("DWELl", sourceListDwellNodes,
            scpi_leafCustom(listLeaf<paramListParser_ListDwelCmd, paramListParser_ListDwelQuery>,
                            SCPI_FORM_BOTH, nullptr, &Device_setListDwellTime,
                            &Device_getListDwellTime)),
    scpi_kw("FREQuency", sourceListFrequencyNodes,
            scpi_leafCustom(listLeaf<paramListParser_ListFreqCmd, paramListParser_ListFreqQuery>,
                            SCPI_FORM_BOTH, nullptr, &Device_setListFrequency,
                            &Device_getListFrequency)),
    scpi_kwLeaf("MANual",
                scpi_leafCustom(sourListManu, SCPI_FORM_BOTH, nullptr, &Device_getListManualPoint,
                                &Device_getListManualPointMin, &Device_getListManualPointMax,
                                &Device_setListManualPoint)),
    scpi_kwLeaf("MODE", scpi_leafEnum(sourListModeValues)),
    scpi_kw("PHASe", sourceListPhaseNodes,
            scpi_leafCustom(listLeaf<paramListParser_ListPhasCmd, paramListParser_ListPhasQuery>,
                            SCPI_FORM_BOTH, nullptr, &Device_setListPhase, &Device_getListPhase)),
    scpi_kw("POWer", sourceListPowerNodes,
            scpi_leafCustom(listLeaf<paramListParser_ListPowCmd, paramListParser_ListPowQuery>,
                            SCPI_FORM_BOTH, nullptr, &Device_setListPower, &Device_getListPower)),
    scpi_kwLeaf("PROGress",
                scpi_leafDouble(&Device_getSweepListProgress, nullptr, nullptr, nullptr)),
    scpi_kwLeaf("SYNChronous", scpi_leafBool(&Device_hasSynchronousSweeps, nullptr, nullptr)),
    scpi_end(),
};

const ScpiNode sourcePhaseMemoryNodes[] = {
    scpi_kwLeaf("RESTart", scpi_leafAction(&Device_restartPhaseMemory)),
    scpi_kwLeaf("STATe", scpi_leafBool(&Device_isPhaseMemoryEnabled, &Device_enablePhaseMemory,
                                       &Device_disablePhaseMemory)),
    scpi_end(),
};

const ScpiNode sourcePhaseNodes[] = {
    scpi_kwLeaf("CENTer",
                scpi_leafAngle(&Device_getPhaseCenter, nullptr, nullptr, &Device_setPhaseCenter)),
    scpi_kwLeaf("COMPensation",
                scpi_leafTime(&Device_getPhaseCompensation, &Device_getPhaseCompensationMin,
                              &Device_getPhaseCompensationMax, &Device_setPhaseCompensation)),
    scpi_kw("MEMory", sourcePhaseMemoryNodes),
    scpi_kwLeaf("MODE", scpi_leafEnum(sourPhasModeValues)),
    scpi_kwLeaf("SPAN",
                scpi_leafAngle(&Device_getPhaseSpan, nullptr, nullptr, &Device_setPhaseSpan)),
    scpi_kwLeaf("STARt",
                scpi_leafAngle(&Device_getPhaseStart, nullptr, nullptr, &Device_setPhaseStart)),
    scpi_kwLeaf("STEP",
                scpi_leafAngle(&Device_getPhaseStep, nullptr, nullptr, &Device_setPhaseStep)),
    scpi_kwLeaf("STOP",
                scpi_leafAngle(&Device_getPhaseStop, nullptr, nullptr, &Device_setPhaseStop)),
    scpi_kwLeaf("STABility", scpi_leafEnum(sourPhasStabValues)),
    scpi_kwOptional("ADJust", nullptr,
                    scpi_leafAngle(&Device_getPhaseFixed, nullptr, nullptr, &Device_setPhaseFixed)),
    scpi_end(),
};

const ScpiNode sourcePowerAlcBandwidthNodes[] = {
    scpi_kwLeaf("AUTO", scpi_leafBool(&Device_isAlcBandwidthAuto, &Device_enableAlcBandwidthAuto,
                                      &Device_disableAlcBandwidthAuto)),
    scpi_end(),
};

const ScpiNode sourcePowerAlcControllerNodes[] = {
    scpi_kwLeaf("CENTer",
                scpi_leafDouble(&Device_getAlcControllerCenter, &Device_getAlcControllerCenterMin,
                                &Device_getAlcControllerCenterMax, &Device_setAlcControllerCenter)),
    scpi_kwLeaf("SENSitivity", scpi_leafDouble(&Device_getAlcControllerSensitivity,
                                               &Device_getAlcControllerSensitivityMin,
                                               &Device_getAlcControllerSensitivityMax,
                                               &Device_setAlcControllerSensitivity)),
    scpi_end(),
};

const ScpiNode sourcePowerAlcHoldNodes[] = {
    scpi_kwLeaf("AUTO", scpi_leafBool(&Device_isAlcHoldAutoEnabled, &Device_enableAlcHoldAuto,
                                      &Device_disableAlcHoldAuto)),
    scpi_kwLeaf("DELay", scpi_leafTime(&Device_getAlcHoldDelay, &Device_getAlcHoldDelayMin,
                                       &Device_getAlcHoldDelayMax, &Device_setAlcHoldDelay)),
    scpi_end(),
};

const ScpiNode sourcePowerAlcSearchNodes[] = {
    scpi_kwLeaf("BLANking",
                scpi_leafBool(&Device_isAlcSearchBlankingEnabled, &Device_enableAlcSearchBlanking,
                              &Device_disableAlcSearchBlanking)),
    scpi_kwLeaf("VALid", scpi_leafBool(&Device_isAlcSearchValid, nullptr, nullptr)),
    scpi_end(),
};

const ScpiNode sourcePowerAlcNodes[] = {
    scpi_kwOptional("STATe", nullptr,
                    scpi_leafBool(&Device_isAlcEnabled, &Device_enableAlc, &Device_disableAlc)),
    scpi_kw("BANDwidth", sourcePowerAlcBandwidthNodes, scpi_leafEnum(sourPoweAlcBandValues)),
    scpi_kw("CONTroller", sourcePowerAlcControllerNodes, scpi_leafEnum(sourPoweAlcContValues)),
    scpi_kw("HOLD", sourcePowerAlcHoldNodes,
            scpi_leafBool(&Device_isAlcHoldEnabled, &Device_enableAlcHold, &Device_disableAlcHold)),
    scpi_kwLeaf("LOWNoise", scpi_leafBool(&Device_isAlcLownoiseEnabled, &Device_enableAlcLownoise,
                                          &Device_disableAlcLownoise)),
    scpi_kw("SEARch", sourcePowerAlcSearchNodes,
            scpi_leafCustom(sourPoweAlcSear, SCPI_FORM_BOTH, nullptr, &Device_isAlcSearchEnabled,
                            &Device_enableAlcSearch, &Device_disableAlcSearch,
                            &Device_doAlcSearchOnce)),
    scpi_kw("BWIDth", sourcePowerAlcBandwidthNodes, scpi_leafEnum(sourPoweAlcBwidValues)),
    scpi_end(),
};

const ScpiNode sourcePowerAttenuationAutoNodes[] = {
    scpi_kwLeaf("CROSsing", scpi_leafBool(&Device_isExternalAttenuatorCrossing, nullptr, nullptr)),
    scpi_end(),
};

const ScpiNode sourcePowerAttenuationNodes[] = {
    scpi_kw("AUTO", sourcePowerAttenuationAutoNodes,
            scpi_leafBool(&Device_isAutoAttenuationEnabled, &Device_enableAutoAttenuation,
                          &Device_disableAutoAttenuation)),
    scpi_kwLeaf("LIMit", scpi_leafPow(&Device_getAttenuationLimit, nullptr, nullptr,
                                      &Device_setAttenuationLimit)),
    scpi_kwLeaf("LIST", scpi_leafCustom(scpi_cmd_runDeviceLeaf, SCPI_FORM_QUERY, nullptr,
                                        &Device_getAvailableAttenuations)),
    scpi_kwLeaf("REFPower", scpi_leafPow(&Device_getAttenuationReferencePower, nullptr, nullptr,
                                         &Device_setAttenuationReferencePower)),
    scpi_end(),
};

const ScpiNode sourcePowerStepNodes[] = {
    scpi_kwOptional("LINear", nullptr,
                    scpi_leafPow(&Device_getPowerStep, &Device_getPowerStepMin,
                                 &Device_getPowerStepMax, &Device_setPowerStep)),
    scpi_end(),
};

const ScpiNode sourcePowerLevelImmediateNodes[] = {
    scpi_kwOptional("AMPLitude", nullptr,
                    scpi_leafPow(&Device_getPowerFixed, &Device_getPowerMin, &Device_getPowerMax,
                                 &Device_setPowerFixed)),
    scpi_end(),
};

const ScpiNode sourcePowerLevelNodes[] = {
    scpi_kwOptional("IMMediate", sourcePowerLevelImmediateNodes),
    scpi_end(),
};

const ScpiNode sourcePowerNodes[] = {
    scpi_kw("ALC", sourcePowerAlcNodes),
    scpi_kw("ATTenuation", sourcePowerAttenuationNodes,
            scpi_leafPow(&Device_getAttenuation, &Device_getAttenuationMin,
                         &Device_getAttenuationMax, &Device_setAttenuation)),
    scpi_kwLeaf("MODE", scpi_leafEnum(sourPoweModeValues)),
    scpi_kwLeaf("RAW", scpi_leafPow(&Device_getPowerRaw, nullptr, nullptr, nullptr)),
    scpi_kwLeaf("REF", scpi_leafPow(&Device_getREFPower, nullptr, nullptr, nullptr)),
    scpi_kwLeaf("STARt", scpi_leafPow(&Device_getPowerStart, &Device_getPowerStartMin,
                                      &Device_getPowerStartMax, &Device_setPowerStart)),
    scpi_kw("STEP", sourcePowerStepNodes),
    scpi_kwLeaf("STOP", scpi_leafPow(&Device_getPowerStop, &Device_getPowerStopMin,
                                     &Device_getPowerStopMax, &Device_setPowerStop)),
    scpi_kwLeaf("CENTer", scpi_leafPow(&Device_getPowerCenter, &Device_getPowerMin,
                                       &Device_getPowerMax, &Device_setPowerCenter)),
    scpi_kwLeaf("SPAN", scpi_leafPow(&Device_getPowerSpan, &Device_getPowerSpanMin,
                                     &Device_getPowerSpanMax, &Device_setPowerSpan)),
    scpi_kwLeaf("VARiate", scpi_leafPow(nullptr, nullptr, nullptr, &Device_variateHoldPower)),
    scpi_kwOptional("LEVel", sourcePowerLevelNodes),
    scpi_end(),
};

const ScpiNode sourceSweepFrequencyBlankingNodes[] = {
    scpi_kwLeaf("INValid", scpi_leafEnum(sourSweeFreqBlanInvaValues)),
    scpi_kwOptional(
        "TRIGger", nullptr,
        scpi_leafBool(&Device_isSweepListBlankingEnabled, &Device_enableSweepListBlanking,
                      &Device_disableSweepListBlanking)),
    scpi_end(),
};

const ScpiNode sourceSweepFrequencyDelayNodes[] = {
    scpi_kwLeaf("AUTO", scpi_leafBool(&Device_isDelayTimeAuto, &Device_enableDelayTimeAuto,
                                      &Device_disableDelayTimeAuto)),
    scpi_end(),
};

const ScpiNode sourceSweepFrequencyTriggerSequenceExternalNodes[] = {
    scpi_kwLeaf("SLOPe", scpi_leafEnum(sourSweeFreqTrigSequExteSlopValues)),
    scpi_kwLeaf("SOURce", scpi_leafEnum(sourSweeFreqTrigSequExteSourValues)),
    scpi_end(),
};

const ScpiNode sourceSweepFrequencyTriggerSequenceInitNodes[] = {
    scpi_kwOptional("IMMediate", nullptr, scpi_leafAction(&Device_initSweepTriggerImmediate)),
    scpi_kwLeaf("CONTinuous", scpi_leafBool(&Device_isSweepTriggerInitiateContinuousEnabled,
                                            &Device_enableSweepTriggerInitiateContinuous,
                                            &Device_disableSweepTriggerInitiateContinuous)),
    scpi_end(),
};

const ScpiNode sourceSweepFrequencyTriggerSequenceOutputNodes[] = {
    scpi_kwLeaf(
        "DELay",
        scpi_leafTime(&Device_getSweepTriggerOutputDelay, &Device_getSweepTriggerOutputDelayMin,
                      &Device_getSweepTriggerOutputDelayMax, &Device_setSweepTriggerOutputDelay)),
    scpi_kwLeaf("MODE", scpi_leafEnum(sourSweeFreqTrigSequOutpModeValues)),
    scpi_kwLeaf("POLarity", scpi_leafEnum(sourSweeFreqTrigSequOutpPolaValues)),
    scpi_kwLeaf(
        "PWIDth",
        scpi_leafTime(&Device_getSweepTriggerOutputWidth, &Device_getSweepTriggerOutputWidthMin,
                      &Device_getSweepTriggerOutputWidthMax, &Device_setSweepTriggerOutputWidth)),
    scpi_end(),
};

const ScpiNode sourceSweepFrequencyTriggerSequenceNodes[] = {
    scpi_kwLeaf("ABORt", scpi_leafAction(&Device_abortSweepTrigger)),
    scpi_kwLeaf("DELay",
                scpi_leafTime(&Device_getSweepTriggerDelay, &Device_getSweepTriggerDelayMin,
                              &Device_getSweepTriggerDelayMax, &Device_setSweepTriggerDelay)),
    scpi_kw("EXTernal", sourceSweepFrequencyTriggerSequenceExternalNodes),
    scpi_kw("INIT", sourceSweepFrequencyTriggerSequenceInitNodes),
    scpi_kw("OUTPut", sourceSweepFrequencyTriggerSequenceOutputNodes),
    scpi_kwLeaf("SOURce", scpi_leafEnum(sourSweeFreqTrigSequSourValues)),
    scpi_kwLeaf("TYPE", scpi_leafEnum(sourSweeFreqTrigSequTypeValues)),
    scpi_end(),
};

const ScpiNode sourceSweepFrequencyTriggerNodes[] = {
    scpi_kwOptional("SEQuence", sourceSweepFrequencyTriggerSequenceNodes,
                    scpi_leafAction(&Device_executeSweepTriggerImmediate)),
    scpi_end(),
};

const ScpiNode sourceSweepFrequencyNodes[] = {
    scpi_kw("BLANking", sourceSweepFrequencyBlankingNodes),
    scpi_kwLeaf("COUNt",
                scpi_leafCustom(sourSweeFreqCoun, SCPI_FORM_BOTH, nullptr, &Device_setSweepCount,
                                &Device_getSweepCount, &Device_getListSweepCountMin,
                                &Device_getListSweepCountMax)),
    scpi_kw("DELay", sourceSweepFrequencyDelayNodes,
            scpi_leafTime(&Device_getDelayTime, &Device_getDelayTimeMin, &Device_getDelayTimeMax,
                          &Device_setDelayTime)),
    scpi_kwLeaf("DIRection", scpi_leafEnum(sourSweeFreqDireValues)),
    scpi_kwLeaf("DWELl", scpi_leafTime(&Device_getDwellTime, &Device_getDwellTimeMin,
                                       &Device_getDwellTimeMax, &Device_setDwellTime)),
    scpi_kwLeaf("POINts",
                scpi_leafUint32(&Device_getSweepPoints, nullptr, nullptr, &Device_setSweepPoints)),
    scpi_kwLeaf("PROGress",
                scpi_leafDouble(&Device_getSweepListProgress, nullptr, nullptr, nullptr)),
    scpi_kwLeaf("SPACing", scpi_leafEnum(sourSweeFreqSpacValues)),
    scpi_kwLeaf("SYNChronous", scpi_leafBool(&Device_hasSynchronousSweeps, nullptr, nullptr)),
    scpi_kwLeaf("TPOint", scpi_leafTime(&Device_getPointTime, &Device_getPointTimeMin,
                                        &Device_getPointTimeMax, nullptr)),
    scpi_kw("TRIGger", sourceSweepFrequencyTriggerNodes),
    scpi_end(),
};

const ScpiNode sourceSweepNodes[] = {
    scpi_kwOptional("FREQuency", sourceSweepFrequencyNodes),
    scpi_end(),
};

const ScpiNode sourceAmInternalNodes[] = {
    scpi_kwLeaf("FREQuency",
                scpi_leafFreq(&Device_getAmInternalFrequency, &Device_getAmInternalFrequencyMin,
                              &Device_getAmInternalFrequencyMax, &Device_setAmInternalFrequency)),
    scpi_kwLeaf("SHAPe", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sourceAmNodes[] = {
    scpi_kwLeaf("HPASs", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("INTernal", sourceAmInternalNodes),
    scpi_kwLeaf("SENSitivity",
                scpi_leafDouble(&Device_getAmSensitivity, &Device_getAmSensitivityMin,
                                &Device_getAmSensitivityMax, &Device_setAmSensitivity)),
    scpi_kwLeaf("SOURce", scpi_leafEnum(sourAmSourValues)),
    scpi_kwLeaf("STATe", scpi_leafBool(&Device_isAmEnabled, &Device_enableAm, &Device_disableAm)),
    scpi_kwOptional("DEPTh", nullptr,
                    scpi_leafDouble(&Device_getAmDepth, &Device_getAmDepthMin,
                                    &Device_getAmDepthMax, &Device_setAmDepth)),
    scpi_end(),
};

const ScpiNode sourceBbArbitraryAiqSourceNodes[] = {
    scpi_kwLeaf("I", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("Q", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sourceBbArbitraryAiqNodes[] = {
    scpi_kwLeaf("CLOCk", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kw("SOURce", sourceBbArbitraryAiqSourceNodes),
    scpi_kwOptional("STATe", nullptr, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sourceBbArbitraryClockNodes[] = {
    scpi_kwLeaf("ADJust", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sourceBbArbitraryDelayNodes[] = {
    scpi_kwLeaf("MODE", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("RELative", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode sourceBbArbitraryFcpNodes[] = {
    scpi_kwLeaf("CLOCk", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwOptional("STATe", nullptr, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sourceBbArbitraryTriggerSequenceExternalNodes[] = {
    scpi_kwLeaf("SLOPe", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("SOURce", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sourceBbArbitraryTriggerSequenceInitNodes[] = {
    scpi_kwOptional("IMMediate", nullptr, scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("CONTinuous", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sourceBbArbitraryTriggerSequenceOutputNodes[] = {
    scpi_kwLeaf("DELay", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("POLarity", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("PWIDth", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sourceBbArbitraryTriggerSequenceNodes[] = {
    scpi_kwLeaf("ABORt", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("DELay", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("EXTernal", sourceBbArbitraryTriggerSequenceExternalNodes),
    scpi_kw("INIT", sourceBbArbitraryTriggerSequenceInitNodes),
    scpi_kw("OUTPut", sourceBbArbitraryTriggerSequenceOutputNodes),
    scpi_kwLeaf("SOURce", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("TYPE", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sourceBbArbitraryTriggerNodes[] = {
    scpi_kwOptional("SEQuence", sourceBbArbitraryTriggerSequenceNodes,
                    scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode sourceBbArbitraryWaveformDataNodes[] = {
    scpi_kwLeaf("DELete", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("FREE", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode sourceBbArbitraryWaveformFileNodes[] = {
    scpi_kwLeaf("DELete", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("FREE", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kwLeaf("LIST", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode sourceBbArbitraryWaveformMarkerNodes[] = {
    scpi_kwLeaf("STATe", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("COUNt", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode sourceBbArbitraryWaveformNodes[] = {
    scpi_kwLeaf("CLOCk", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("DATA", sourceBbArbitraryWaveformDataNodes, scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kw("FILE", sourceBbArbitraryWaveformFileNodes, scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("STATe", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("MARKer", sourceBbArbitraryWaveformMarkerNodes),
    scpi_end(),
};

const ScpiNode sourceBbArbitraryWsegmentMfNInputNodes[] = {
    scpi_kwLeaf("SLOPe", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("WSEGment", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwOptional("STATe", nullptr, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sourceBbArbitraryWsegmentMfNNodes[] = {
    scpi_kw("INPut", sourceBbArbitraryWsegmentMfNInputNodes),
    scpi_end(),
};

const ScpiNode sourceBbArbitraryWsegmentNodes[] = {
    scpi_kwLeaf("SOURce", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("REServed", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("COUNt", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kwIndex("MF", &Device_setMultiFunctionIndex, sourceBbArbitraryWsegmentMfNNodes),
    scpi_kwLeaf("MODE", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sourceBbArbitraryWsequenceLoadNodes[] = {
    scpi_kwLeaf("ERRor", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode sourceBbArbitraryWsequenceNodes[] = {
    scpi_kw("LOAD", sourceBbArbitraryWsequenceLoadNodes, scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("RUN", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sourceBbArbitraryNodes[] = {
    scpi_kw("AIQ", sourceBbArbitraryAiqNodes),
    scpi_kw("CLOCk", sourceBbArbitraryClockNodes, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("DELay", sourceBbArbitraryDelayNodes),
    scpi_kw("FCP", sourceBbArbitraryFcpNodes),
    scpi_kwLeaf("MODE", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("TRIGger", sourceBbArbitraryTriggerNodes),
    scpi_kw("WAVeform", sourceBbArbitraryWaveformNodes),
    scpi_kw("WSEGment", sourceBbArbitraryWsegmentNodes, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("WSEQuence", sourceBbArbitraryWsequenceNodes),
    scpi_end(),
};

const ScpiNode sourceBbAwgnPowerNodes[] = {
    scpi_kwLeaf("CARRier", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("CONTrol", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("NOISe", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sourceBbAwgnNodes[] = {
    scpi_kwLeaf("BANDwidth", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("CNR", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("POWer", sourceBbAwgnPowerNodes),
    scpi_kwOptional("STATe", nullptr, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sourceBbDmFilterNodes[] = {
    scpi_kwLeaf("PARameter", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("TAPS", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("TYPE", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sourceBbDmPatternNodes[] = {
    scpi_kwLeaf("LENGth", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sourceBbDmNodes[] = {
    scpi_kwLeaf("CLOCk", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kwLeaf("DATA", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kw("FILTer", sourceBbDmFilterNodes),
    scpi_kwLeaf("FORMat", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("PATTern", sourceBbDmPatternNodes),
    scpi_kwLeaf("OSAMpling", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("SRATe", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("STATe", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sourceBbNodes[] = {
    scpi_kw("ARBitrary", sourceBbArbitraryNodes),
    scpi_kwLeaf("AVIO", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kw("AWGN", sourceBbAwgnNodes),
    scpi_kw("DM", sourceBbDmNodes),
    scpi_kwLeaf("GENeral", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode sourceCarrierAlcNodes[] = {
    scpi_kwLeaf("ADC", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kwLeaf("DAC", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sourceCarrierReferenceNodes[] = {
    scpi_kwLeaf("DAT", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("STATe", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sourceCarrierNodes[] = {
    scpi_kw("ALC", sourceCarrierAlcNodes),
    scpi_kwLeaf("DAT", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("REFerence", sourceCarrierReferenceNodes),
    scpi_kwLeaf("STATe", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sourceChirpNodes[] = {
    scpi_kwLeaf("BLANking",
                scpi_leafBool(&Device_isChirpBlankingEnabled, &Device_enableChirpBlanking,
                              &Device_disableChirpBlanking)),
    scpi_kwLeaf("COUNt", scpi_leafUint32(&Device_getChirpCount, &Device_getChirpCountMin,
                                         &Device_getChirpCountMax, &Device_setChirpCount)),
    scpi_kwLeaf("DIRection", scpi_leafEnum(sourChirDireValues)),
    scpi_kwLeaf("DWELl", scpi_leafTime(&Device_getChirpDwellTime, &Device_getChirpDwellTimeMin,
                                       &Device_getChirpDwellTimeMax, &Device_setChirpDwellTime)),
    scpi_kwLeaf("MODE", scpi_leafEnum(sourChirModeValues)),
    scpi_kwLeaf("MULTichannel",
                scpi_leafBool(&Device_isChirpMultichannelEnabled, &Device_enableChirpMultichannel,
                              &Device_disableChirpMultichannel)),
    scpi_kwLeaf("PERiod", scpi_leafTime(&Device_getChirpPeriod, &Device_getChirpPeriodMin,
                                        &Device_getChirpPeriodMax, &Device_setChirpPeriod)),
    scpi_kwLeaf("POINts", scpi_leafUint32(&Device_getChirpPoints, &Device_getChirpPointsMin,
                                          &Device_getChirpPointsMax, &Device_setChirpPoints)),
    scpi_kwLeaf("STARt", scpi_leafFreq(&Device_getChirpFrequencyStart, &Device_getFrequencyMin,
                                       &Device_getFrequencyMax, &Device_setChirpFrequencyStart)),
    scpi_kwLeaf("STOP", scpi_leafFreq(&Device_getChirpFrequencyStop, &Device_getFrequencyMin,
                                      &Device_getFrequencyMax, &Device_setChirpFrequencyStop)),
    scpi_kwLeaf("TIME", scpi_leafTime(&Device_getChirpTime, &Device_getChirpTimeMin,
                                      &Device_getChirpTimeMax, &Device_setChirpTime)),
    scpi_end(),
};

const ScpiEnumValue sourCorrFlatModeValues[] = {
    {"LOWer", &Device_setFlatnessModeLower, &Device_isFlatnessModeLower},
    {"HIGHer", &Device_setFlatnessModeHigher, &Device_isFlatnessModeHigher},
    {"INTerpolation", &Device_setFlatnessModeInterpolation, &Device_isFlatnessModeInterpolation},
    {nullptr, nullptr, nullptr},
};

// PAIR <frequency>,<correction> adds a point; PAIR? <index> answers that point. Corrections
// are relative, so a bare number is dB whatever power unit is selected.
int sourCorrFlatPair(ScpiCall *call) {
    char *p[2];
    int found = 0, r;
    KrFreq f{};
    KrPow c = 0;
    if (call->state == SCPI_STATE_SET) {
        r = _scpi_getParameters(call->params, 2, p, &found, call->partial);
        if (r == 0) r = scpi_str2kr_freq(p[0], &f);
        if (r == 0) r = scpi_str2kr_pow(p[1], &c, SCPI_SUFFIX_BASE_UNIT);
        return r != 0 ? r : Device_addFlatnessPoint(call->device, &f, &c);
    }
    int32_t index = 0;
    r = scpi_cmd_oneParameter(call, p);
    if (r == 0) r = scpi_str2int(p[0], &index);
    if (r == 0) r = Device_getFlatnessPoint(call->device, index, &f, &c);
    char freq[64], pow[64];
    if (r == 0) r = scpi_kr_freq2str(&f, freq, sizeof(freq), nullptr);
    if (r == 0) r = scpi_kr_pow2strf(&c, SCPI_FORMAT_DEVICE_UNITS, pow, sizeof(pow), nullptr);
    if (r != 0) return r;
    int n = snprintf(call->out, (size_t)call->outSize, "%s,%s", freq, pow);
    if (n >= call->outSize) return KR_E_QUERY_ERROR;
    call->outLen = n;
    return 0;
}

const ScpiNode sourceCorrectionFlatnessNodes[] = {
    scpi_kwLeaf("MODE", scpi_leafEnum(sourCorrFlatModeValues)),
    scpi_kwLeaf("PAIR", scpi_leafCustom(sourCorrFlatPair, SCPI_FORM_BOTH, nullptr,
                                        &Device_addFlatnessPoint, &Device_getFlatnessPoint)),
    scpi_kwLeaf("POINts", scpi_leafUint32(&Device_getFlatnessPoints, nullptr, nullptr, nullptr)),
    scpi_kwLeaf("PRESet", scpi_leafAction(&Device_flatnessPreset)),
    scpi_kwOptional(
        "STATe", nullptr,
        scpi_leafBool(&Device_isFlatnessEnabled, &Device_enableFlatness, &Device_disableFlatness)),
    scpi_end(),
};

const ScpiNode sourceCorrectionNodes[] = {
    scpi_kw("FLATness", sourceCorrectionFlatnessNodes),
    scpi_end(),
};

const ScpiNode sourceCouplingNodes[] = {
    scpi_kwLeaf("OFFSet", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sourceDmeApulseNodes[] = {
    scpi_kwLeaf("STATe", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("PSELect", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("PTYPe", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("ATTenuation", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("PWIDth", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("PRISe", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("PFALl", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("PSPacing", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("DELay", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sourceDmeEchoNodes[] = {
    scpi_kwLeaf("STATe", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("DELay", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("ATTenuation", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sourceDmeDeadtimeNodes[] = {
    scpi_kwLeaf("STATe", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("DELay", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sourceDmeNodes[] = {
    scpi_kwLeaf("STATe", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("CLOCk", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kwLeaf("FREQuency", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("PWIDth", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("PRISe", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("PFALl", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("PSPacing", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("FILTer", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("APULse", sourceDmeApulseNodes),
    scpi_kw("ECHO", sourceDmeEchoNodes),
    scpi_kw("INTerference", sourceDmeEchoNodes),
    scpi_kw("DEADtime", sourceDmeDeadtimeNodes),
    scpi_end(),
};

const ScpiNode sourceFcportControlNodes[] = {
    scpi_kwLeaf("AMPLitude", scpi_leafBool(&Device_isFcpAmplCtrlEnabled, &Device_enableFcpAmplCtrl,
                                           &Device_disableFcpAmplCtrl)),
    scpi_kwLeaf("FREQuency", scpi_leafBool(&Device_isFcpFreqCtrlEnabled, &Device_enableFcpFreqCtrl,
                                           &Device_disableFcpFreqCtrl)),
    scpi_kwLeaf("LIST", scpi_leafBool(&Device_isFcpListCtrlEnabled, &Device_enableFcpListCtrl,
                                      &Device_disableFcpListCtrl)),
    scpi_end(),
};

const ScpiNode sourceFcportStreamNodes[] = {
    scpi_kwLeaf("CALibrate", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("IQ", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("PDW", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("SEGment", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sourceFcportTestNodes[] = {
    scpi_kwOptional("STATe", nullptr, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sourceFcportNodes[] = {
    scpi_kwLeaf("MODE", scpi_leafCustom(fcpMode, SCPI_FORM_BOTH, nullptr, &Device_isFcpMode8bits,
                                        &Device_setFcpMode8bits, &Device_isFcpMode16bits,
                                        &Device_setFcpMode16bits)),
    scpi_kw("CONTrol", sourceFcportControlNodes),
    scpi_kwLeaf("DIAGnostic", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kwLeaf("DIRection", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("STReam", sourceFcportStreamNodes),
    scpi_kw("TEST", sourceFcportTestNodes),
    scpi_end(),
};

const ScpiNode sourceFmInternalNodes[] = {
    scpi_kwLeaf("FREQuency",
                scpi_leafFreq(&Device_getFmInternalFrequency, &Device_getFmInternalFrequencyMin,
                              &Device_getFmInternalFrequencyMax, &Device_setFmInternalFrequency)),
    scpi_kwLeaf("SHAPe", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sourceFmNodes[] = {
    scpi_kwLeaf("AMPLitude", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("CENTer", scpi_leafDouble(&Device_getFmCenter, &Device_getFmCenterMin,
                                          &Device_getFmCenterMax, &Device_setFmCenter)),
    scpi_kwLeaf("COUPling", scpi_leafEnum(sourFmCoupValues)),
    scpi_kwLeaf("DEViation", scpi_leafFreq(&Device_getFmDeviation, &Device_getFmDeviationMin,
                                           &Device_getFmDeviationMax, &Device_setFmDeviation)),
    scpi_kw("INTernal", sourceFmInternalNodes),
    scpi_kwLeaf("SENSitivity",
                scpi_leafDouble(&Device_getFmSensitivity, &Device_getFmSensitivityMin,
                                &Device_getFmSensitivityMax, &Device_setFmSensitivity)),
    scpi_kwLeaf("SOURce", scpi_leafEnum(sourFmSourValues)),
    scpi_kwLeaf("STATe", scpi_leafBool(&Device_isFmEnabled, &Device_enableFm, &Device_disableFm)),
    scpi_end(),
};

const ScpiNode sourceFskNodes[] = {
    scpi_kwLeaf("DEViation", scpi_leafFreq(&Device_getFskDeviation, &Device_getFskDeviationMin,
                                           &Device_getFskDeviationMax, &Device_setFskDeviation)),
    scpi_kwLeaf("STATe",
                scpi_leafBool(&Device_isFskEnabled, &Device_enableFsk, &Device_disableFsk)),
    scpi_end(),
};

const ScpiNode sourceIlsGsAm0Nodes[] = {
    scpi_kwLeaf("STATe", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwOptional("DEPTh", nullptr, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sourceIlsGsIdenTestNodes[] = {
    scpi_kwLeaf("STATe", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sourceIlsGsIdenNodes[] = {
    scpi_kwOptional("STATe", nullptr, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("DEPTh", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("MODE", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("TEST", sourceIlsGsIdenTestNodes),
    scpi_end(),
};

const ScpiNode sourceIlsGsNodes[] = {
    scpi_kw("AM0", sourceIlsGsAm0Nodes),
    scpi_kw("AM1", sourceIlsGsAm0Nodes),
    scpi_kwLeaf("DDM", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("IDEN", sourceIlsGsIdenNodes),
    scpi_kwLeaf("SDM", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("TEST", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwOptional("STATe", nullptr, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sourceIlsNodes[] = {
    scpi_kw("GS", sourceIlsGsNodes),
    scpi_kw("LOCalizer", sourceIlsGsNodes),
    scpi_end(),
};

const ScpiNode sourceIqCrestNodes[] = {
    scpi_kwLeaf("AUTOmatic", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kwLeaf("AWGN", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kwLeaf("MANual", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwOptional("TOTal", nullptr, scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode sourceIqNodes[] = {
    scpi_kw("CRESt", sourceIqCrestNodes),
    scpi_kwLeaf("SOURce", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("STATe", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sourceLfoutputNodes[] = {
    scpi_kwLeaf("AMPLitude", scpi_leafDouble(&Device_getLfgAmplitude, nullptr, nullptr,
                                             &Device_setLfgAmplitude)),
    scpi_kwLeaf("DAC", scpi_leafUint32(nullptr, nullptr, nullptr, &Device_setFuncoutDac)),
    scpi_kwLeaf("FREQuency", scpi_leafFreq(&Device_getLfgFrequency, &Device_getLfgFrequencyMin,
                                           &Device_getLfgFrequencyMax, &Device_setLfgFrequency)),
    scpi_kwLeaf("SHAPe", scpi_leafEnum(sourLfoShapValues)),
    scpi_kwLeaf("SOURce", scpi_leafEnum(sourLfoSourValues)),
    scpi_kwLeaf("STATe", scpi_leafBool(&Device_isFuncoutEnabled, &Device_enableFuncout,
                                       &Device_disableFuncout)),
    scpi_end(),
};

const ScpiNode sourceLo1Nodes[] = {
    scpi_kwLeaf("STATe", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("FREQ", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sourceMfNodes[] = {
    scpi_kwLeaf("COUNt", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode sourceMfNInputNodes[] = {
    scpi_kwLeaf("STATe", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode sourceMfNOutputArbNodes[] = {
    scpi_kwLeaf("SOURce", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sourceMfNOutputPdwNodes[] = {
    scpi_kw("MARK", sourceMfNOutputArbNodes, scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("SOURce", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sourceMfNOutputNodes[] = {
    scpi_kw("ARB", sourceMfNOutputArbNodes),
    scpi_kw("MARK", sourceMfNOutputArbNodes, scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kw("PDW", sourceMfNOutputPdwNodes),
    scpi_kw("PULM", sourceMfNOutputArbNodes),
    scpi_kwLeaf("STATe", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("SOURce", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("SWEep", sourceMfNOutputArbNodes),
    scpi_end(),
};

const ScpiNode sourceMfNNodes[] = {
    scpi_kw("INPut", sourceMfNInputNodes),
    scpi_kw("OUTPut", sourceMfNOutputNodes),
    scpi_end(),
};

const ScpiNode sourceNoiseNodes[] = {
    scpi_kwLeaf("STATe", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("POWer", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sourcePdwConditionNodes[] = {
    scpi_kwLeaf("DISCarded", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode sourcePdwConfigureNodes[] = {
    scpi_kwLeaf("END", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode sourcePdwListNodes[] = {
    scpi_kwLeaf("COUNt", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("DELete", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode sourcePdwStartTimeNodes[] = {
    scpi_kwLeaf("MODE", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sourcePdwStartNodes[] = {
    scpi_kw("TIME", sourcePdwStartTimeNodes, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sourcePdwTriggerSequenceNodes[] = {
    scpi_kwOptional("IMMediate", nullptr, scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("ABORt", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("DELay", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("EXTernal", sourceBbArbitraryTriggerSequenceExternalNodes),
    scpi_kw("INIT", sourceBbArbitraryTriggerSequenceInitNodes),
    scpi_kw("OUTPut", sourceBbArbitraryTriggerSequenceOutputNodes),
    scpi_kwLeaf("SOURce", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sourcePdwTriggerNodes[] = {
    scpi_kwOptional("SEQuence", sourcePdwTriggerSequenceNodes),
    scpi_end(),
};

const ScpiNode sourcePdwWaveformNodes[] = {
    scpi_kwLeaf("STATe", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("WSEGment", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sourcePdwNodes[] = {
    scpi_kw("CONDition", sourcePdwConditionNodes),
    scpi_kw("CONFigure", sourcePdwConfigureNodes),
    scpi_kwLeaf("DATA", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("FREQuency", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("LIST", sourcePdwListNodes),
    scpi_kwLeaf("MARKer", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("MODE", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("OUTPut", sourceIlsGsIdenTestNodes),
    scpi_kwLeaf("PHASe", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("POWer", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("PWIDth", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("STARt", sourcePdwStartNodes),
    scpi_kwLeaf("STATe", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("TRIGger", sourcePdwTriggerNodes),
    scpi_kw("WAVeform", sourcePdwWaveformNodes),
    scpi_end(),
};

const ScpiNode sourcePmInternalNodes[] = {
    scpi_kwLeaf("FREQuency",
                scpi_leafFreq(&Device_getPmInternalFrequency, &Device_getPmInternalFrequencyMin,
                              &Device_getPmInternalFrequencyMax, &Device_setPmInternalFrequency)),
    scpi_kwLeaf("SHAPe", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sourcePmNodes[] = {
    scpi_kwLeaf("DEViation", scpi_leafAngle(&Device_getPmDeviation, &Device_getPmDeviationMin,
                                            &Device_getPmDeviationMax, &Device_setPmDeviation)),
    scpi_kw("INTernal", sourcePmInternalNodes),
    scpi_kwLeaf("SENSitivity",
                scpi_leafDouble(&Device_getPmSensitivity, &Device_getPmSensitivityMin,
                                &Device_getPmSensitivityMax, &Device_setPmSensitivity)),
    scpi_kwLeaf("SOURce", scpi_leafEnum(sourPmSourValues)),
    scpi_kwLeaf("STATe", scpi_leafBool(&Device_isPmEnabled, &Device_enablePm, &Device_disablePm)),
    scpi_end(),
};

const ScpiNode sourcePulmBitstreamTimeNodes[] = {
    scpi_kwLeaf("JUMP", scpi_leafTime(nullptr, nullptr, nullptr, &Device_setPulmBitstreamTimeJump)),
    scpi_end(),
};

const ScpiNode sourcePulmBitstreamNodes[] = {
    scpi_kwLeaf("BITS", scpi_leafUint32(&Device_getPulmBitstreamBits, nullptr, nullptr,
                                        &Device_setPulmBitstreamBits)),
    scpi_kwLeaf("DIRection", scpi_leafEnum(sourPulmBitsDireValues)),
    scpi_kwLeaf("RATE", scpi_leafDouble(&Device_getPulmBitstreamRate, nullptr, nullptr,
                                        &Device_setPulmBitstreamRate)),
    scpi_kwLeaf("STARtbit", scpi_leafUint32(&Device_getPulmBitstreamStartbit, nullptr, nullptr,
                                            &Device_setPulmBitstreamStartbit)),
    scpi_kw("TIME", sourcePulmBitstreamTimeNodes,
            scpi_leafTime(&Device_getPulmBitstreamTime, nullptr, nullptr,
                          &Device_setPulmBitstreamTime)),
    scpi_end(),
};

// Pulses 2, 3 and 4 of a train.
#define PULSE_NODES(name, n)                                                                     \
    const ScpiNode name[] = {                                                                    \
        scpi_kwLeaf("DELay", scpi_leafTime(&Device_getPulseDelay##n, &Device_getPulseDelayMin,   \
                                           &Device_getPulseDelayMax, &Device_setPulseDelay##n)), \
        scpi_kwLeaf("STATe", scpi_leafBool(&Device_isPulse##n##Enabled, &Device_enablePulse##n,  \
                                           &Device_disablePulse##n)),                            \
        scpi_kwLeaf("WIDTh", scpi_leafTime(&Device_getPulseWidth##n, nullptr,                    \
                                           &Device_getPulseDelayMax, &Device_setPulseWidth##n)), \
        scpi_end(),                                                                              \
    };
PULSE_NODES(sourcePulmInternalDoubleNodes, 2)
PULSE_NODES(sourcePulmInternalTripleNodes, 3)
PULSE_NODES(sourcePulmInternalQuadrupleNodes, 4)
#undef PULSE_NODES

const ScpiNode sourcePulmInternalFrequencyNodes[] = {
    scpi_kwLeaf("JUMP",
                scpi_leafFreq(nullptr, nullptr, nullptr, &Device_setPulmInternalFrequencyJump)),
    scpi_end(),
};

const ScpiNode sourcePulmInternalPeriodNodes[] = {
    scpi_kwLeaf("JUMP",
                scpi_leafTime(nullptr, nullptr, nullptr, &Device_setPulmInternalPeriodJump)),
    scpi_end(),
};

const ScpiNode sourcePulmInternalWidthNodes[] = {
    scpi_kwLeaf("JUMP",
                scpi_leafTime(nullptr, nullptr, nullptr, &Device_setPulmInternalPulseWidthJump)),
    scpi_end(),
};

const ScpiNode sourcePulmInternalNodes[] = {
    scpi_kw("DOUBle", sourcePulmInternalDoubleNodes),
    scpi_kw("FREQuency", sourcePulmInternalFrequencyNodes,
            scpi_leafFreq(&Device_getPulmInternalFrequency, &Device_getPulmInternalFrequencyMin,
                          &Device_getPulmInternalFrequencyMax, &Device_setPulmInternalFrequency)),
    scpi_kw("PERiod", sourcePulmInternalPeriodNodes,
            scpi_leafTime(&Device_getPulmInternalPeriod, &Device_getPulmInternalPeriodMin,
                          &Device_getPulmInternalPeriodMax, &Device_setPulmInternalPeriod)),
    scpi_kw("WIDTh", sourcePulmInternalWidthNodes,
            scpi_leafTime(&Device_getPulmInternalPulseWidth, &Device_getPulmInternalPulseWidthMin,
                          &Device_getPulmInternalPulseWidthMax, &Device_setPulmInternalPulseWidth)),
    scpi_kwLeaf("MANual", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kw("QUADruple", sourcePulmInternalQuadrupleNodes),
    scpi_kwLeaf("TBASe", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kw("TRIPle", sourcePulmInternalTripleNodes),
    scpi_kw("PWIDth", sourcePulmInternalWidthNodes,
            scpi_leafTime(&Device_getPulmInternalPulseWidth, &Device_getPulmInternalPulseWidthMin,
                          &Device_getPulmInternalPulseWidthMax, &Device_setPulmInternalPulseWidth)),
    scpi_end(),
};

const ScpiNode sourcePulmOutputVideoNodes[] = {
    scpi_kwLeaf(
        "SOURce",
        scpi_leafUint32(&Device_getPulmVideoOutputSource, &Device_getPulmVideoOutputSourceMin,
                        &Device_getPulmVideoOutputSourceMax, &Device_setPulmVideoOutputSource)),
    scpi_kwLeaf("POLarity", scpi_leafEnum(sourPulmOutpVidePolaValues)),
    scpi_end(),
};

const ScpiNode sourcePulmOutputNodes[] = {
    scpi_kwLeaf("SOURce", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("VIDeo", sourcePulmOutputVideoNodes),
    scpi_end(),
};

const ScpiNode sourcePulmNodes[] = {
    scpi_kw("BITStream", sourcePulmBitstreamNodes,
            scpi_leafCustom(pulmBitstream, SCPI_FORM_BOTH, nullptr, &Device_getPulmBitstream,
                            &Device_setPulmBitstream)),
    scpi_kwLeaf("COUNt", scpi_leafUint32(&Device_getPulmCount, &Device_getPulmCountMin,
                                         &Device_getPulmCountMax, &Device_setPulmCount)),
    scpi_kw("EXTernal", sourceMfNOutputArbNodes),
    scpi_kw("INTernal", sourcePulmInternalNodes),
    scpi_kwLeaf("MODE", scpi_leafEnum(sourPulmModeValues)),
    scpi_kwLeaf("MODulator", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("OUTPut", sourcePulmOutputNodes),
    scpi_kwLeaf("POLarity", scpi_leafEnum(sourPulmPolaValues)),
    scpi_kwLeaf("SOURce", scpi_leafEnum(sourPulmSourValues)),
    scpi_kwLeaf("STATe",
                scpi_leafBool(&Device_isPulmEnabled, &Device_enablePulm, &Device_disablePulm)),
    scpi_end(),
};

const ScpiNode sourceRoscillatorExternalVariableNodes[] = {
    scpi_kwLeaf("FREQuency", scpi_leafFreq(&Device_getReferenceFrequencyVariable,
                                           &Device_getReferenceFrequencyVariableMin,
                                           &Device_getReferenceFrequencyVariableMax,
                                           &Device_setReferenceFrequencyVariable)),
    scpi_end(),
};

// The system clock output.
const ScpiNode sourceRoscillatorCoutNodes[] = {
    scpi_kwOptional("STATe", nullptr,
                    scpi_leafBool(&Device_isSysClockOutputEnabled, &Device_enableSysClockOutput,
                                  &Device_disableSysClockOutput)),
    scpi_end(),
};

// The SYSREF pulses leave through the trigger output.
const ScpiNode sourceRoscillatorSysreferenceOutputNodes[] = {
    scpi_kwOptional(
        "STATe", nullptr,
        scpi_leafBool(&Device_isTriggerOutputModeSysref, &Device_setTriggerOutputModeSysref,
                      &Device_setTriggerOutputModeNormal)),
    scpi_end(),
};

const ScpiNode sourceRoscillatorExternalFrequencyNodes[] = {
    scpi_kwLeaf("JUMP",
                scpi_leafFreq(nullptr, nullptr, nullptr, &Device_setReferenceFrequencyJump)),
    scpi_end(),
};

const ScpiNode sourceRoscillatorExternalNodes[] = {
    scpi_kw("FREQuency", sourceRoscillatorExternalFrequencyNodes,
            scpi_leafFreq(&Device_getReferenceFrequency, &Device_getReferenceFrequencyMin,
                          &Device_getReferenceFrequencyMax, &Device_setReferenceFrequency)),
    scpi_kw("VARiable", sourceRoscillatorExternalVariableNodes),
    scpi_end(),
};

const ScpiNode sourceRoscillatorInternalModeNodes[] = {
    scpi_kwLeaf("READY", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode sourceRoscillatorInternalNodes[] = {
    scpi_kwLeaf("STATe", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("TUNing", scpi_leafDouble(&Device_getAbsoluteRoscTuning, nullptr, nullptr,
                                          &Device_setAbsoluteRoscTuning)),
    scpi_kw("MODE", sourceRoscillatorInternalModeNodes, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("TUNE", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sourceRoscillatorLockedNodes[] = {
    scpi_kwLeaf("TEST",
                scpi_leafAction(&Device_checkReferencePhaselock, &Device_isReferencePhaselocked)),
    scpi_end(),
};

const ScpiNode sourceRoscillatorOutputNodes[] = {
    scpi_kwLeaf(
        "FREQuency",
        scpi_leafFreq(&Device_getReferenceOutputFrequency, &Device_getReferenceOutputFrequencyMin,
                      &Device_getReferenceOutputFrequencyMax, &Device_setReferenceOutputFrequency)),
    scpi_kwOptional("STATe", nullptr,
                    scpi_leafBool(&Device_isReferenceOutputEnabled, &Device_enableReferenceOutput,
                                  &Device_disableReferenceOutput)),
    scpi_end(),
};

const ScpiNode sourceRoscillatorSysreferenceNodes[] = {
    scpi_kw("OUTPut", sourceRoscillatorSysreferenceOutputNodes),
    scpi_end(),
};

const ScpiNode sourceRoscillatorNodes[] = {
    scpi_kw("COUT", sourceRoscillatorCoutNodes),
    scpi_kw("EXTernal", sourceRoscillatorExternalNodes),
    scpi_kw("INTernal", sourceRoscillatorInternalNodes),
    scpi_kw("LOCKed", sourceRoscillatorLockedNodes,
            scpi_leafBool(&Device_isReferencePhaselocked, nullptr, nullptr)),
    scpi_kw("OUTPut", sourceRoscillatorOutputNodes,
            scpi_leafBool(&Device_isReferenceOutputEnabled, &Device_enableReferenceOutput,
                          &Device_disableReferenceOutput)),
    scpi_kwLeaf("SOURce", scpi_leafEnum(sourRoscSourValues)),
    scpi_kw("SYSReference", sourceRoscillatorSysreferenceNodes),
    scpi_end(),
};

const ScpiNode sourceSupplyNNodes[] = {
    scpi_kwLeaf("CURRent", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("STATe", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("VOLTage", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sourceTuneExternalNodes[] = {
    scpi_kwLeaf("VOLTage", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sourceTuneDutNodes[] = {
    scpi_kwLeaf("VOLTage", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("STATus", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sourceTuneReferenceNNodes[] = {
    scpi_kwLeaf("MINimum", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("MAXimum", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sourceTuneNodes[] = {
    scpi_kw("EXTernal", sourceTuneExternalNodes),
    scpi_kw("DUT", sourceTuneDutNodes),
    scpi_kwIndex("REFerence", nullptr, sourceTuneReferenceNNodes),
    scpi_kwLeaf("VOLTage", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("POLarity", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode sourceVorAm0Nodes[] = {
    scpi_kwOptional("DEPTh", nullptr, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sourceVorFmNodes[] = {
    scpi_kwLeaf("INDex", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode sourceVorNodes[] = {
    scpi_kw("AM0", sourceVorAm0Nodes),
    scpi_kw("AM1", sourceVorAm0Nodes),
    scpi_kwLeaf("BEARing", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("FM", sourceVorFmNodes),
    scpi_kw("IDEN", sourceIlsGsIdenNodes),
    scpi_kwLeaf("TEST", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwOptional("STATe", nullptr, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

}  // namespace

const ScpiNode scpi_cmd_sourceNodes[] = {
    scpi_kw("FREQuency", sourceFrequencyNodes),
    scpi_kw("LIST", sourceListNodes),
    scpi_kw("PHASe", sourcePhaseNodes),
    scpi_kw("POWer", sourcePowerNodes),
    scpi_kw("SWEep", sourceSweepNodes),
    scpi_kwIndex("AIN", nullptr, nullptr, scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kw("AM", sourceAmNodes),
    scpi_kw("BB", sourceBbNodes),
    scpi_kw("CARRier", sourceCarrierNodes),
    scpi_kw("CHIRp", sourceChirpNodes),
    scpi_kw("CORRection", sourceCorrectionNodes),
    scpi_kw("COUPling", sourceCouplingNodes, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("DME", sourceDmeNodes),
    scpi_kw("FCPort", sourceFcportNodes),
    scpi_kw("FM", sourceFmNodes),
    scpi_kw("FSK", sourceFskNodes),
    scpi_kw("ILS", sourceIlsNodes),
    scpi_kw("IQ", sourceIqNodes),
    scpi_kw("LFOutput", sourceLfoutputNodes),
    scpi_kw("LO1", sourceLo1Nodes),
    scpi_kw("LO2", sourceLo1Nodes),
    scpi_kw("MF", sourceMfNodes),
    scpi_kwIndex("MF", &Device_setMultiFunctionIndex, sourceMfNNodes,
                 scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kw("NOISe", sourceNoiseNodes),
    scpi_kw("PDW", sourcePdwNodes),
    scpi_kw("PM", sourcePmNodes),
    scpi_kw("PULM", sourcePulmNodes),
    scpi_kw("ROSCillator", sourceRoscillatorNodes),
    scpi_kwIndex("SUPPly", nullptr, sourceSupplyNNodes),
    scpi_kw("TUNE", sourceTuneNodes),
    scpi_kwLeaf("SELect", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("VOR", sourceVorNodes),
    scpi_end(),
};
