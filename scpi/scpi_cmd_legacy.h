// The legacy words of older service programs ("alcadc/" reads, "alcadc=" writes) and EXIT,
// tried last at the root.
//
// Context: main loop (inside scpi_parser).
#pragma once

#include "scpi/scpi_tree.h"

// The legacy words followed by EXIT, spliced at the end of the root table.
#define SCPI_CMD_LEGACY_NODES                                                                      \
    scpi_kwLegacy("alcadc/", scpi_leafCustom(scpi_cmd_alcAdcRead, SCPI_FORM_QUERY, nullptr,        \
                                             &Device_getAlcAdc)),                                  \
        scpi_kwLegacy("alcadc=", scpi_leafCustom(scpi_cmd_alcSetpointWrite, SCPI_FORM_SET,         \
                                                 nullptr, &Device_setAlcSetpoint)),                \
        scpi_kwLegacy("alcdac=", scpi_leafCustom(scpi_cmd_alcDacWrite, SCPI_FORM_SET, nullptr,     \
                                                 &Device_setAlcDac)),                              \
        scpi_kwLegacy("alcdac16=", scpi_leafCustom(scpi_cmd_alcDac16Write, SCPI_FORM_SET, nullptr, \
                                                   &Device_setAlcDac16)),                          \
        scpi_kwLegacy("alcdac/", scpi_leafCustom(scpi_cmd_alcDacRead, SCPI_FORM_QUERY, nullptr,    \
                                                 &Device_getAlcDac)),                              \
        scpi_kwLegacy("flutrd/", scpi_leafCustom(scpi_cmd_lutSend, SCPI_FORM_QUERY, nullptr,       \
                                                 &Device_getSynthesizerLutFilename)),              \
        scpi_kwLegacy("flutwr/", scpi_leafCustom(scpi_cmd_lutReceive, SCPI_FORM_QUERY, nullptr,    \
                                                 &Device_loadSynthesizerLut)),                     \
        scpi_kwLegacy("mrf/", scpi_leafCustom(scpi_cmd_rfRead, SCPI_FORM_QUERY, nullptr,           \
                                              &Device_isRfEnabled)),                               \
        scpi_kwLegacy("mt/", scpi_leafCustom(scpi_cmd_temperatureRead, SCPI_FORM_QUERY, nullptr,   \
                                             &Device_getContTemperature)),                         \
        scpi_kwLegacy("ta=", scpi_leafCustom(scpi_cmd_totalAttenuationWrite, SCPI_FORM_SET,        \
                                             nullptr, &Device_setTotalStepAttenuation)),           \
        scpi_kwLegacy("tae=", scpi_leafCustom(scpi_cmd_eattStageWrite, SCPI_FORM_SET, nullptr,     \
                                              &Device_setEattStage)),                              \
        scpi_kwLegacy("tae/", scpi_leafCustom(scpi_cmd_eattStageRead, SCPI_FORM_QUERY, nullptr,    \
                                              &Device_getEattStage)),                              \
        scpi_kwLegacy("taeauto=", scpi_leafCustom(scpi_cmd_autoAttenuationWrite, SCPI_FORM_SET,    \
                                                  nullptr, &Device_enableAutoAttenuation)),        \
        scpi_kwLegacy("tax=", scpi_leafCustom(scpi_cmd_stepAttenuationWrite, SCPI_FORM_SET,        \
                                              nullptr, &Device_setStepAttenuation)),               \
        scpi_kwLegacy("tcg/", scpi_leafCustom(scpi_cmd_calibrationSend, SCPI_FORM_QUERY, nullptr,  \
                                              &Device_loadCalibrationData)),                       \
        scpi_kwLegacy("tcs/", scpi_leafCustom(scpi_cmd_calibrationReceive, SCPI_FORM_QUERY,        \
                                              nullptr, &Device_loadCalibrationData)),              \
        scpi_kwLeaf("EXIT", scpi_leafCustom(scpi_cmd_exit, SCPI_FORM_SET))

int scpi_cmd_alcAdcRead(ScpiCall *call);
int scpi_cmd_alcSetpointWrite(ScpiCall *call);
int scpi_cmd_alcDacWrite(ScpiCall *call);
int scpi_cmd_alcDac16Write(ScpiCall *call);
int scpi_cmd_alcDacRead(ScpiCall *call);
int scpi_cmd_lutSend(ScpiCall *call);
int scpi_cmd_lutReceive(ScpiCall *call);
int scpi_cmd_rfRead(ScpiCall *call);
int scpi_cmd_temperatureRead(ScpiCall *call);
int scpi_cmd_totalAttenuationWrite(ScpiCall *call);
int scpi_cmd_eattStageWrite(ScpiCall *call);
int scpi_cmd_eattStageRead(ScpiCall *call);
int scpi_cmd_autoAttenuationWrite(ScpiCall *call);
int scpi_cmd_stepAttenuationWrite(ScpiCall *call);
int scpi_cmd_calibrationSend(ScpiCall *call);
int scpi_cmd_calibrationReceive(ScpiCall *call);
int scpi_cmd_exit(ScpiCall *call);
