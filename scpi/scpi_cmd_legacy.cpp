#include "scpi/scpi_cmd_legacy.h"

#include <unistd.h>

#include <cstdio>

#include "core/krpath.h"
#include "core/krstuff.h"
#include "device/device.h"
#include "remote/krsocket.h"
#include "scpi/scpi_cmd_common.h"
#include "scpi/scpi_convert.h"
#include "scpi/scpi_errorcodes.h"

namespace {

// The value behind a writing word: one number.
int legacyValue(ScpiCall *call, double *value) {
    char *p;
    int r = scpi_cmd_oneParameter(call, &p);
    return r != 0 ? r : scpi_str2double(p, value);
}

int legacyUint(ScpiCall *call, uint32_t *value) {
    char *p;
    int r = scpi_cmd_oneParameter(call, &p);
    return r != 0 ? r : scpi_str2uint(p, value);
}

// The file words talk the rcm protocol on the socket that sent them; elsewhere there is no
// client to talk to, and a wait for one would only hold up the main loop.
KrSocket *rcmServer(const ScpiCall *call) {
    KrSocket *server = Krsocket_getServer();
    return server && Krsocket_isServing(server, call->link) ? server : nullptr;
}

}  // namespace

int scpi_cmd_alcAdcRead(ScpiCall *call) {
    return scpi_uint2str(Device_getAlcAdc(call->device), call->out, call->outSize, &call->outLen);
}

int scpi_cmd_alcSetpointWrite(ScpiCall *call) {
    double value = 0;
    int r = legacyValue(call, &value);
    return r != 0 ? r : Device_setAlcSetpoint(call->device, value);
}

int scpi_cmd_alcDacWrite(ScpiCall *call) {
    uint32_t value = 0;
    int r = legacyUint(call, &value);
    return r != 0 ? r : Device_setAlcDac(call->device, value);
}

int scpi_cmd_alcDac16Write(ScpiCall *call) {
    uint32_t value = 0;
    int r = legacyUint(call, &value);
    return r != 0 ? r : Device_setAlcDac16(call->device, value);
}

int scpi_cmd_alcDacRead(ScpiCall *call) {
    return scpi_uint2str(Device_getAlcDac(call->device), call->out, call->outSize, &call->outLen);
}

// A missing name still runs the transfer, so that the client gets its terminator (or has its
// data consumed) and an error is queued.
int scpi_cmd_lutSend(ScpiCall *call) {
    const char *name = Device_getSynthesizerLutFilename(call->device);
    KrSocket *server = rcmServer(call);
    if (!server) return KR_E_EXECUTION_ERROR;
    return Krsocket_rcmSendFile(server, name ? name : "");
}

int scpi_cmd_lutReceive(ScpiCall *call) {
    const char *name = Device_getSynthesizerLutFilename(call->device);
    KrSocket *server = rcmServer(call);
    if (!server) return KR_E_EXECUTION_ERROR;
    int r = Krsocket_rcmReceiveFile(server, name ? name : "");
    return r != 0 ? r : Device_loadSynthesizerLut(call->device, name);
}

int scpi_cmd_rfRead(ScpiCall *call) {
    return scpi_int2str(Device_isRfEnabled(call->device) ? 1 : 0, call->out, call->outSize,
                        &call->outLen);
}

int scpi_cmd_temperatureRead(ScpiCall *call) {
    return scpi_double2str(Device_getContTemperature(call->device), call->out, call->outSize,
                           &call->outLen);
}

int scpi_cmd_totalAttenuationWrite(ScpiCall *call) {
    double value = 0;
    int r = legacyValue(call, &value);
    KrPow attenuation = (KrPow)value;
    return r != 0 ? r : Device_setTotalStepAttenuation(call->device, &attenuation);
}

int scpi_cmd_eattStageWrite(ScpiCall *call) {
    uint32_t value = 0;
    int r = legacyUint(call, &value);
    return r != 0 ? r : Device_setEattStage(call->device, value);
}

int scpi_cmd_eattStageRead(ScpiCall *call) {
    return scpi_uint2str(Device_getEattStage(call->device), call->out, call->outSize,
                         &call->outLen);
}

int scpi_cmd_autoAttenuationWrite(ScpiCall *call) {
    uint32_t value = 0;
    int r = legacyUint(call, &value);
    if (r != 0) return r;
    return value ? Device_enableAutoAttenuation(call->device)
                 : Device_disableAutoAttenuation(call->device);
}

// "tax=<stage>,<dB>": one step attenuator of the chain.
int scpi_cmd_stepAttenuationWrite(ScpiCall *call) {
    int stage = 0;
    float dB = 0;
    if (sscanf(call->params, "%d ,%f", &stage, &dB) != 2) return KR_E_ILLEGAL_PARAMETER_VALUE;
    KrPow attenuation = dB;
    return Device_setStepAttenuation(call->device, stage, &attenuation);
}

// The service programs exchange the current channel's calibration file.
int scpi_cmd_calibrationSend(ScpiCall *call) {
    KrSocket *server = rcmServer(call);
    if (!server) return KR_E_EXECUTION_ERROR;
    const char *file = Device_getCalibrationFilename(call->device);
    return file ? Krsocket_rcmSendFile(server, file) : KR_E_UNDEFINED_HEADER;
}

int scpi_cmd_calibrationReceive(ScpiCall *call) {
    KrSocket *server = rcmServer(call);
    if (!server) return KR_E_EXECUTION_ERROR;
    const char *file = Device_getCalibrationFilename(call->device);
    if (!file) return KR_E_UNDEFINED_HEADER;
    int r = Krsocket_rcmReceiveFile(server, file);
    return r != 0 ? r : Device_loadCalibrationData(call->device, nullptr);
}

// Ends this process by its own id, never others by name.
int scpi_cmd_exit(ScpiCall *call) {
    int r;
    if (!scpi_cmd_noParameters(call, &r)) return r;
    char command[32];
    snprintf(command, sizeof(command), "kill -TERM %d", (int)getpid());
    return krstuffSystem(command);
}
