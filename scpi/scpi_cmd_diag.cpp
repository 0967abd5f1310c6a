#include "scpi/scpi_cmd_diag.h"

#include <cstdio>
#include <cstring>

#include "config/device_config.h"
#include "config/xmlexport.h"
#include "core/krstuff.h"
#include "device/device.h"
#include "frontpanel/krhcupdate.h"
#include "hw/fs_fpga.h"
#include "hw/fs_fpga_registers.h"
#include "hw/krspi.h"
#include "scpi/scpi_analize.h"
#include "scpi/scpi_block.h"
#include "scpi/scpi_cmd_common.h"
#include "scpi/scpi_commands.h"
#include "scpi/scpi_convert.h"
#include "scpi/scpi_errorcodes.h"
#include "scpi/scpi_match.h"
#include "scpi/scpi_node.h"
#include "sweep/fcp_sweep.h"

namespace {

// A raw update line for the front panel.
int diagHc(ScpiCall *call) {
    char *p;
    int r = scpi_cmd_oneParameter(call, &p);
    if (r != 0) return r;
    p = scpi_unquote(p);
    if (strlen(p) >= 256) return KR_E_TOO_MUCH_DATA;
    return Krhcupdate(p) < 0 ? KR_E_EXECUTION_ERROR : 0;
}

// A query that answers one unsigned value, or the set of one unsigned parameter.
int answerUint(ScpiCall *call, uint32_t value) {
    return scpi_uint2str(value, call->out, call->outSize, &call->outLen);
}

int oneUint(ScpiCall *call, uint32_t *value) {
    char *p;
    int r = scpi_cmd_oneParameter(call, &p);
    return r != 0 ? r : scpi_str2uint(p, value);
}

// Serial numbers: the query answers the instrument's; the set takes the stored number and the
// new one ("SNCH<n>-<number>" for a channel's), and the panel hears of a change.
int diagSn(ScpiCall *call) {
    if (call->state == SCPI_STATE_QUERY) {
        int r;
        if (!scpi_cmd_noParameters(call, &r)) return r;
        return scpi_cmd_answerText(call, device_config_getSN());
    }
    char *p[2];
    int found = 0;
    int r = _scpi_getParameters(call->params, 2, p, &found, call->partial);
    if (r != 0) return r;
    char oldSn[DEVICE_CONFIG_SN_SIZE], newSn[DEVICE_CONFIG_SN_SIZE + 8];
    if (scpi_str2chararray(p[0], oldSn, sizeof(oldSn)) != 0 ||
        scpi_str2chararray(p[1], newSn, sizeof(newSn)) != 0)
        return KR_E_ILLEGAL_PARAMETER_VALUE;
    int changed = 0;
    r = device_config_setSN(oldSn, newSn, &changed);
    if (r == 0 && changed) Krhcupdate_sn(call->device);
    return r;
}

// The cause the next start-up sees: 0 power-up, 1 firmware, 2 user reset.
int diagResetScope(ScpiCall *call) {
    uint32_t cause = 0;
    int r = oneUint(call, &cause);
    if (r != 0) return r;
    if (cause > 2) return KR_E_ILLEGAL_PARAMETER_VALUE;
    device_config_reset_cause = (int)cause;
    return 0;
}

int diagHcEeWc(ScpiCall *call) {
    int r;
    if (!scpi_cmd_noParameters(call, &r)) return r;
    uint32_t count = 0;
    r = Krhcupdate_getEepromWriteCycles(&count);
    return r != 0 ? r : answerUint(call, count);
}

// ---- Temperatures ---------------------------------------------------------------------------

int diagTemperatureAll(ScpiCall *call) {
    int r;
    if (!scpi_cmd_noParameters(call, &r)) return r;
    double values[1 + 8];
    int n = Device_getTemperatures(call->device, values, 1 + 8);
    return scpi_doubleArray2strf(values, n, 0, call->out, call->outSize, &call->outLen);
}

int diagTemperatureNames(ScpiCall *call) {
    int r;
    if (!scpi_cmd_noParameters(call, &r)) return r;
    float values[10];
    int n = Device_getTemperaturesExt(call->device, call->out, call->outSize, values, 10);
    if (n < 0) return n;
    call->outLen = n ? (int)strlen(call->out) : 0;
    return 0;
}

// The FS FPGA's own sensor (its XADC); the standard controller has none.
int diagTemperatureFpga(ScpiCall *call) {
    int r;
    if (!scpi_cmd_noParameters(call, &r)) return r;
    if (!device_config_usesOptionFs()) return KR_E_HARDWARE_MISSING;
    uint32_t xadc = 0;
    if (FS_FPGA_readRegister(0, FS_REG_XADC, 4, &xadc) != 0) return KR_E_TIMEOUT;
    double celsius = ((xadc >> 4) & 0xFFF) * 503.975 / 4096 - 273.15;
    return scpi_double2str(celsius, call->out, call->outSize, &call->outLen);
}

// ---- Frequency bands and dividers -----------------------------------------------------------

constexpr int32_t MAX_BAND_EDGES = 64;

// kind 0: the number of band edges; 1: the edges; 2: the band the output is in now (the
// number of edges at or below the current frequency).
template <int kind>
int diagBands(ScpiCall *call) {
    int r;
    if (!scpi_cmd_noParameters(call, &r)) return r;
    KrFreq edges[MAX_BAND_EDGES];
    int32_t n = 0;
    r = Device_getFrequencyBands(call->device, edges, MAX_BAND_EDGES, &n);
    if (r < 0) return r;
    if (kind == 0) return answerUint(call, (uint32_t)n);
    if (kind == 2) {
        const KrFreq *f = Device_getFrequency(call->device);
        uint32_t band = 0;
        while ((int32_t)band < n && krfreqCompare(&edges[band], f) <= 0)
            band++;
        return answerUint(call, band);
    }
    int used = 0;
    for (int32_t i = 0; i < n; i++) {
        if (i) {
            if (used + 1 >= call->outSize) return KR_E_TOO_MUCH_DATA;
            call->out[used++] = ',';
        }
        int w = 0;
        r = scpi_kr_freq2str(&edges[i], call->out + used, call->outSize - used, &w);
        if (r != 0) return r;
        used += w;
    }
    call->outLen = used;
    return 0;
}

// From the VCO to the phase detector: the output divider times the loop divider.
uint32_t vcoDivision(Device *device) {
    return Device_getPllN1Divider(device) * Device_getPllN2Divider(device);
}

// The boards choose their dividers from the frequency plan: they can be read, not set.
template <uint32_t (**get)(Device *)>
int diagDivider(ScpiCall *call) {
    if (call->state != SCPI_STATE_QUERY) return KR_E_UNDEFINED_HEADER;
    int r;
    if (!scpi_cmd_noParameters(call, &r)) return r;
    return answerUint(call, (*get)(call->device));
}

int diagPllMdiv(ScpiCall *call) {
    int r;
    if (!scpi_cmd_noParameters(call, &r)) return r;
    return answerUint(call, vcoDivision(call->device));
}

// The VCO's tuning time is the fitted board's: it can be read, not set.
int diagVcoTuneDelay(ScpiCall *call) {
    if (call->state != SCPI_STATE_QUERY) return KR_E_UNDEFINED_HEADER;
    int r;
    if (!scpi_cmd_noParameters(call, &r)) return r;
    return scpi_double2str(*Device_getVcoTuneTime(call->device), call->out, call->outSize,
                           &call->outLen);
}

// ---- DDS ------------------------------------------------------------------------------------

// The current channel's tuning word as sent; false when the fitted board has no DDS word
// (the missing board operation counts as an unregistered call).
bool ddsFtw(Device *device, uint64_t *word) {
    uint32_t calls = Device_unregisteredFunctionCalls;
    *word = Device_getDdsFtw(device);
    return Device_unregisteredFunctionCalls == calls;
}

// The word is as wide as the DDS's (48 bits on some), beyond the typed 32-bit leaves.
int diagDdsFtw(ScpiCall *call) {
    uint64_t word = 0;
    if (call->state == SCPI_STATE_QUERY) {
        int r;
        if (!scpi_cmd_noParameters(call, &r)) return r;
        if (!ddsFtw(call->device, &word)) return KR_E_UNDEFINED_HEADER;
        return scpi_ulint2str(word, call->out, call->outSize, &call->outLen);
    }
    char *p;
    int r = scpi_cmd_oneParameter(call, &p);
    if (r == 0) r = scpi_str2ulint(p, &word);
    return r != 0 ? r : Device_setDdsFtw(call->device, word);
}

// Moves the word by a signed number of steps from where it is.
int diagDdsFtwStep(ScpiCall *call) {
    char *p;
    int32_t step = 0;
    int r = scpi_cmd_oneParameter(call, &p);
    if (r == 0) r = scpi_str2int(p, &step);
    if (r != 0) return r;
    uint64_t word = 0;
    if (!ddsFtw(call->device, &word)) return KR_E_UNDEFINED_HEADER;
    // Tuning words are at most 48 bits wide: the sum cannot overflow.
    int64_t moved = (int64_t)word + step;
    if (moved < 0) return KR_E_DATA_OUT_OF_RANGE;
    return Device_setDdsFtw(call->device, (uint64_t)moved);
}

// ---- Firmware -------------------------------------------------------------------------------

constexpr const char *DIAG_FIRMWARE_PACKAGE = "/root/rivezarudorade.tar";
constexpr const char *DIAG_FIRMWARE_LOG = "/media/ram/debug.txt";

// DATA takes the package as block data, UPDate installs it (the query answers the result),
// LOGFile? sends the diagnostics file, STATus? tells whether an update is pending.
int diagFw(ScpiCall *call) {
    const char *word = call->node->keyword;
    char *p = nullptr;
    int r = 0;
    if (strcmp(word, "DATA") == 0) {
        r = scpi_cmd_oneParameter(call, &p);
        return r != 0 ? r
                      : scpi_exec_startBdReceive_file(call->link, DIAG_FIRMWARE_PACKAGE, nullptr,
                                                      nullptr, p);
    }
    if (!scpi_cmd_noParameters(call, &r)) return r;
    if (strcmp(word, "LOGFile") == 0)
        return scpi_exec_startBdSend_file(call->link, DIAG_FIRMWARE_LOG, nullptr, nullptr);
    if (strcmp(word, "STATus") == 0) return answerUint(call, device_config_fwStatus ? 1u : 0u);
    r = installFirmware(call->device);
    if (call->state == SCPI_STATE_QUERY)
        return scpi_int2str(r, call->out, call->outSize, &call->outLen);
    return r < 0 ? r : 0;
}

// The capabilities and settings export as block data; a failed export sends no block.
int diagConfiguration(ScpiCall *call) {
    int r = 0;
    if (!scpi_cmd_noParameters(call, &r)) return r;
    r = xmlexport_write(call->device, XMLEXPORT_PATH);
    return r != 0 ? r : scpi_exec_startBdSend_file(call->link, XMLEXPORT_PATH, nullptr, nullptr);
}

// ---- Calibration file of the current channel ------------------------------------------------

int calibrationArrived(void *context, const char *) {
    return Device_loadCalibrationData(static_cast<Device *>(context), nullptr);
}

// LOAD reads the file again, READ? sends it, WRITe takes a new one as block data and loads it
// once it is complete.
int diagCalibrationFile(ScpiCall *call) {
    const char *file = Device_getCalibrationFilename(call->device);
    if (!file) return KR_E_UNDEFINED_HEADER;
    const char *word = call->node->keyword;
    char *p = nullptr;
    int r = 0;
    if (strcmp(word, "WRITe") == 0) {
        r = scpi_cmd_oneParameter(call, &p);
        return r != 0 ? r
                      : scpi_exec_startBdReceive_file(call->link, file, calibrationArrived,
                                                      call->device, p);
    }
    if (!scpi_cmd_noParameters(call, &r)) return r;
    if (strcmp(word, "READ") == 0)
        return scpi_exec_startBdSend_file(call->link, file, nullptr, nullptr);
    return Device_loadCalibrationData(call->device, nullptr);
}

// ---- SPI and FS FPGA ------------------------------------------------------------------------

template <int (*apply)(int)>
int diagSpiSetting(ScpiCall *call) {
    uint32_t v = 0;
    int r = oneUint(call, &v);
    if (r != 0) return r;
    if (v > 255) return KR_E_ILLEGAL_PARAMETER_VALUE;
    return apply((int)v) < 0 ? KR_E_EXECUTION_ERROR : 0;
}

// A register of the FS FPGA, read on the immediate path.
int diagFsRegister(ScpiCall *call) {
    uint32_t reg = 0;
    int r = oneUint(call, &reg);
    if (r != 0) return r;
    if (!device_config_usesOptionFs()) return KR_E_HARDWARE_MISSING;
    if (reg > 255) return KR_E_ILLEGAL_PARAMETER_VALUE;
    uint32_t value = 0;
    if (FS_FPGA_readRegister(0, reg, 4, &value) != 0) return KR_E_TIMEOUT;
    return answerUint(call, value);
}

// Bytes in hexadecimal ("0A1B2C...") go to the FS FPGA's buffered command stream as they are.
int diagFsStream(ScpiCall *call) {
    char *p;
    int r = scpi_cmd_oneParameter(call, &p);
    if (r != 0) return r;
    if (!device_config_usesOptionFs()) return KR_E_HARDWARE_MISSING;
    p = scpi_unquote(p);
    size_t n = strlen(p);
    uint8_t bytes[128];
    if (n == 0 || n % 2 || n / 2 > sizeof(bytes)) return KR_E_ILLEGAL_PARAMETER_VALUE;
    for (size_t i = 0; i < n / 2; i++) {
        unsigned v;
        char pair[3] = {p[2 * i], p[2 * i + 1], 0};
        if (sscanf(pair, "%2x", &v) != 1 || !strchr("0123456789abcdefABCDEF", pair[0]) ||
            !strchr("0123456789abcdefABCDEF", pair[1]))
            return KR_E_ILLEGAL_PARAMETER_VALUE;
        bytes[i] = (uint8_t)v;
    }
    return FS_FPGA_sendRaw(FS_FPGA_PATH_BUFFERED, (uint32_t)(n / 2), bytes) < 0 ? KR_E_TIMEOUT : 0;
}

// ---- Attenuation, synthesizer table, I/O update ---------------------------------------------

// The step attenuator of the suffix (1-based) alone; the query answers the total.
int diagAttenuationN(ScpiCall *call) {
    if (call->state == SCPI_STATE_QUERY) {
        int r;
        if (!scpi_cmd_noParameters(call, &r)) return r;
        KrPow total = *Device_getTotalStepAttenuation(call->device);
        return scpi_kr_pow2str(&total, call->out, call->outSize, &call->outLen);
    }
    char *p;
    int r = scpi_cmd_oneParameter(call, &p);
    KrPow value = 0;
    if (r == 0) r = scpi_str2kr_pow(p, &value, 0);
    if (r != 0) return r;
    if (call->index == 0x7FFFFFFF || call->index < 1) return KR_E_SUFFIX_OUT_OF_RANGE;
    return Device_setStepAttenuation(call->device, call->index - 1, &value);
}

// WRITe names the table file to load; TEST tunes the stored frequency again through it.
int diagLut(ScpiCall *call) {
    if (strcmp(call->node->keyword, "WRITe") == 0) {
        char *p;
        char name[128];
        int r = scpi_cmd_oneParameter(call, &p);
        if (r != 0) return r;
        if (scpi_str2chararray(p, name, sizeof(name)) != 0) return KR_E_ILLEGAL_PARAMETER_VALUE;
        return Device_loadSynthesizerLut(call->device, name);
    }
    int r;
    if (!scpi_cmd_noParameters(call, &r)) return r;
    KrFreq f = *Device_getFrequency(call->device);
    return Device_setFrequency(call->device, &f);
}

// Starts the background calibration of every channel's VCO and answers 1 once it runs;
// COMPlete? and SUCCess? follow it.
int diagVcoCalibrate(ScpiCall *call) {
    int r;
    if (!scpi_cmd_noParameters(call, &r)) return r;
    r = Device_createVcoCalibration(call->device);
    if (r < 0) return r;
    return answerUint(call, Device_isVcoCalibrationRunning(call->device) ? 1u : 0u);
}

// The VCO of the current channel switched on or off; the query answers the last switch
// (the VCOs run from start-up on).
uint8_t vcoOff[8];

int diagVcoPower(ScpiCall *call) {
    uint32_t c = (uint32_t)Device_getSource(call->device) % 8;
    if (call->state == SCPI_STATE_QUERY) {
        int r;
        if (!scpi_cmd_noParameters(call, &r)) return r;
        return answerUint(call, vcoOff[c] ? 0u : 1u);
    }
    char *p;
    int on = 0;
    int r = scpi_cmd_oneParameter(call, &p);
    if (r == 0) r = scpi_str2bool(p, &on);
    if (r != 0) return r;
    r = on ? Device_vcoPowerUp(call->device) : Device_vcoPowerDown(call->device);
    if (r == 0) vcoOff[c] = on ? 0 : 1;
    return r;
}

// Every header of the tree, supported or not, as two files on the RAM disk.
int diagListCommands(ScpiCall *call) {
    int r;
    if (!scpi_cmd_noParameters(call, &r)) return r;
    return scpi_analize_listAllCommands(scpi_rootNodes, "/media/ram/");
}

// Attenuator stage and dB, as the service word "tax=" takes them.
int diagTax(ScpiCall *call) {
    char *p[2];
    int found = 0;
    int r = _scpi_getParameters(call->params, 2, p, &found, call->partial);
    int32_t n = 0;
    KrPow value = 0;
    if (r == 0) r = scpi_str2int(p[0], &n);
    if (r == 0) r = scpi_str2kr_pow(p[1], &value, 0);
    return r != 0 ? r : Device_setStepAttenuation(call->device, n, &value);
}

// No board of this family has the part the leaf addresses.
int diagHardwareMissing(ScpiCall *call) {
    int r;
    if (!scpi_cmd_noParameters(call, &r)) return r;
    return KR_E_HARDWARE_MISSING;
}

int diagIoupdate(ScpiCall *call) {
    int r;
    if (!scpi_cmd_noParameters(call, &r)) return r;
    return Device_ioupdate() < 0 ? KR_E_EXECUTION_ERROR : 0;
}

// ---- Tables ---------------------------------------------------------------------------------

const ScpiNode diagnosticAiqNodes[] = {
    scpi_kwOptional("STATe", nullptr, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticAlcNodes[] = {
    scpi_kwLeaf("ATTenuator",
                scpi_leafBool(&Device_isAlcAttenuatorEnabled, &Device_enableAlcAttenuator,
                              &Device_disableAlcAttenuator)),
    scpi_kwLeaf("CONTrolvalue", scpi_leafDouble(&Device_getAlcControlValue, nullptr, nullptr,
                                                &Device_setAlcControlValue)),
    scpi_kwLeaf("COUPler", scpi_leafCustom(diagHardwareMissing, SCPI_FORM_SET)),
    scpi_kwLeaf("DAC", scpi_leafUint32(&Device_getAlcDac, nullptr, nullptr, &Device_setAlcDac)),
    scpi_kwLeaf("DAT", scpi_leafUint32(&Device_getAlcDat, nullptr, nullptr, &Device_setAlcDat)),
    scpi_kwLeaf("MARGin", scpi_leafUint32(&Device_getAlcMargin, nullptr, &Device_getAlcMarginMax,
                                          &Device_setAlcMargin)),
    scpi_kwLeaf("PROCessvalue",
                scpi_leafDouble(&Device_getAlcProcessValue, nullptr, nullptr, nullptr)),
    scpi_kwLeaf("SETPoint",
                scpi_leafDouble(&Device_getAlcSetpoint, nullptr, nullptr, &Device_setAlcSetpoint)),
    scpi_kwLeaf("SOFTware", scpi_leafAction(&Device_alcSoftware)),
    scpi_kwLeaf("VERSion", scpi_leafUint32(&Device_getAlcVersion, nullptr, nullptr, nullptr)),
    scpi_end(),
};

const ScpiNode diagnosticArbitraryAnalogNodes[] = {
    scpi_kwLeaf("CLOCk", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticArbitraryNodes[] = {
    scpi_kw("ANALog", diagnosticArbitraryAnalogNodes),
    scpi_end(),
};

const ScpiNode diagnosticAlgNodes[] = {
    scpi_kwLeaf("ADC1", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticAmNodes[] = {
    scpi_kwLeaf("CALibration", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("DEPTh", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("PREWarp", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticAmpNodes[] = {
    scpi_kwLeaf("ADC", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kwLeaf("AUTO", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kwLeaf("COUPling", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("CURRent", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("DAC", scpi_leafUint32(nullptr, nullptr, nullptr, &Device_setAmpDac)),
    scpi_end(),
};

const ScpiNode diagnosticAnAmplNodes[] = {
    scpi_kwLeaf("CBAK", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticAnIfFreqNodes[] = {
    scpi_kwLeaf("A", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("B", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticAnIfNodes[] = {
    scpi_kwLeaf("DITH", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kw("FREQ", diagnosticAnIfFreqNodes),
    scpi_kw("VTUN", diagnosticAnIfFreqNodes),
    scpi_end(),
};

const ScpiNode diagnosticAnNodes[] = {
    scpi_kw("AMPL", diagnosticAnAmplNodes),
    scpi_kw("IF", diagnosticAnIfNodes),
    scpi_kwLeaf("METHod", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticDcmNodes[] = {
    scpi_kwLeaf("STAT", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("FREQ", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("IF", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticAttenuationDistributeNodes[] = {
    scpi_kwLeaf("SUPPorted", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticAttenuationNodes[] = {
    scpi_kw("DISTribute", diagnosticAttenuationDistributeNodes, scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticAwgnRateNodes[] = {
    scpi_kwLeaf("DATA", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("NOISe", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticAwgnNodes[] = {
    scpi_kwLeaf("MODE", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kw("RATE", diagnosticAwgnRateNodes),
    scpi_end(),
};

const ScpiNode diagnosticBasebandNNodes[] = {
    scpi_kwLeaf("LIMit", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticBoardNodes[] = {
    scpi_kwLeaf("POWer",
                scpi_leafPow(&Device_getBoardPower, nullptr, nullptr, &Device_setBoardPower)),
    scpi_end(),
};

const ScpiNode diagnosticBootNodes[] = {
    scpi_kwLeaf("DELay",
                scpi_leafTime(&Device_getBootDelay, nullptr, nullptr, &Device_setBootDelay)),
    scpi_end(),
};

const ScpiNode diagnosticCalibrationAttenuationNodes[] = {
    scpi_kwLeaf("MINimum", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticCalibrationIlsvorNodes[] = {
    scpi_kwLeaf("READ", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kwLeaf("WRITe", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticCalibrationNodes[] = {
    scpi_kwLeaf("ALC", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kw("ATTenuation", diagnosticCalibrationAttenuationNodes,
            scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kwLeaf("DATE", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("ILSVor", diagnosticCalibrationIlsvorNodes),
    scpi_kwLeaf("LOAD",
                scpi_leafCustom(diagCalibrationFile, SCPI_FORM_SET, nullptr,
                                &Device_getCalibrationFilename, &Device_loadCalibrationData)),
    scpi_kw("PE", diagnosticBasebandNNodes),
    scpi_kwLeaf("READ", scpi_leafCustom(diagCalibrationFile, SCPI_FORM_QUERY, nullptr,
                                        &Device_getCalibrationFilename)),
    scpi_kwLeaf("WRITe",
                scpi_leafCustom(diagCalibrationFile, SCPI_FORM_SET, nullptr,
                                &Device_getCalibrationFilename, &Device_loadCalibrationData)),
    scpi_kwLeaf("TRACeable", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticCntrDdcNodes[] = {
    scpi_kwLeaf("STAT", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("PINC", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticCntrNodes[] = {
    scpi_kwLeaf("BYTEs", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kw("DDC", diagnosticCntrDdcNodes),
    scpi_kwLeaf("FILTer", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("GATE", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("STARt", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("STOP", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("READ", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticCombNodes[] = {
    scpi_kwLeaf("ATT", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticCrestNodes[] = {
    scpi_kwLeaf("AWGN", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kwLeaf("MANual", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("TOTal", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticDalcGainNodes[] = {
    scpi_kwLeaf("AUTO", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticDalcNodes[] = {
    scpi_kwLeaf("CONDition", scpi_leafUint32(&Device_getDalcCondition, nullptr, nullptr, nullptr)),
    scpi_kwLeaf("LCC", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kw("GAIN", diagnosticDalcGainNodes,
            scpi_leafDouble(nullptr, nullptr, nullptr, &Device_setDalcGain)),
    scpi_kwLeaf("TIME", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticDdsClockNodes[] = {
    scpi_kwLeaf("CROSsing", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("DCYC", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("PHASe", scpi_leafUint32(&Device_getDdsClockPhase, nullptr, nullptr,
                                         &Device_setDdsClockPhase)),
    scpi_kwLeaf("STORe", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticDdsFtwNodes[] = {
    scpi_kwLeaf("STEP", scpi_leafCustom(diagDdsFtwStep, SCPI_FORM_SET, nullptr, &Device_getDdsFtw,
                                        &Device_setDdsFtw)),
    scpi_end(),
};

const ScpiNode diagnosticDdsReferenceNodes[] = {
    scpi_kwOptional("FTW", nullptr,
                    scpi_leafFreq(nullptr, nullptr, nullptr, &Device_setDdsReferenceFrequency)),
    scpi_end(),
};

const ScpiNode diagnosticDdsNodes[] = {
    scpi_kw("CLOCk", diagnosticDdsClockNodes),
    scpi_kwLeaf("FSC", scpi_leafUint32(&Device_getDdsFsc, nullptr, nullptr, &Device_setDdsFsc)),
    scpi_kw(
        "FTW", diagnosticDdsFtwNodes,
        scpi_leafCustom(diagDdsFtw, SCPI_FORM_BOTH, nullptr, &Device_getDdsFtw, &Device_setDdsFtw)),
    scpi_kwLeaf("OUTPut", scpi_leafBool(&Device_isDdsOutputEnabled, &Device_enableDdsOutput,
                                        &Device_disableDdsOutput)),
    scpi_kw("REFerence", diagnosticDdsReferenceNodes),
    scpi_kwLeaf("TUNE", scpi_leafFreq(nullptr, nullptr, nullptr, &Device_setDdsOutFrequency)),
    scpi_end(),
};

const ScpiNode diagnosticDoublerNodes[] = {
    scpi_kwLeaf("ATTenuation", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticEattenuatorNodes[] = {
    scpi_kwLeaf("LINE", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwOptional("STAge", nullptr, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticEmtestNodes[] = {
    scpi_kwLeaf("SN", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("TCS", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("TCG", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kwLeaf("TEST", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticEventArbitraryNodes[] = {
    scpi_kwLeaf("IQUNderrun", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticEventRfcontrolNodes[] = {
    scpi_kwLeaf("LOST", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticEventNodes[] = {
    scpi_kw("ARBitrary", diagnosticEventArbitraryNodes),
    scpi_kw("RFControl", diagnosticEventRfcontrolNodes),
    scpi_end(),
};

const ScpiNode diagnosticFanNodes[] = {
    scpi_kwLeaf("DAC", scpi_leafUint32(&Device_getFanDac, nullptr, nullptr, &Device_setFanDac)),
    scpi_kwLeaf("TEST", scpi_leafBool(&Device_isFanTestEnabled, &Device_enableFanTest,
                                      &Device_disableFanTest)),
    scpi_end(),
};

// FCP test words on the interface's test output: a time word as a number, a frequency word
// as a frequency (the word counts MHz), an amplitude word as a power (1/128 dB).
enum class FcpWord { Time, Frequency, Amplitude };

template <FcpWord kind, bool wide>
int fcpTestWord(ScpiCall *call) {
    if (call->state == SCPI_STATE_QUERY) return scpi_cmd_runDeviceLeaf(call);  // nothing to read
    char *p = nullptr;
    int r = scpi_cmd_oneParameter(call, &p);
    if (r != 0) return r;
    uint32_t word = 0;
    if (kind == FcpWord::Time) {
        r = scpi_str2uint(p, &word);
    } else if (kind == FcpWord::Frequency) {
        KrFreq f{};
        r = scpi_str2kr_freq(p, &f);
        if (r == 0 && (f.integer < 0 || f.integer / 1000000 > 0xFFFF))
            r = KR_E_ILLEGAL_PARAMETER_VALUE;
        word = (uint32_t)(f.integer / 1000000);
    } else {
        KrPow power = 0;
        r = scpi_str2kr_pow(p, &power, 0);
        word = (uint16_t)fcp_amplitudeWord(power);
    }
    if (r != 0) return r < 0 ? r : KR_E_ILLEGAL_PARAMETER_VALUE;
    int (*write)(Device *, uint32_t) =
        kind == FcpWord::Time        ? (wide ? Device_writeFcpTwM16Bit : Device_writeFcpTwM8Bit)
        : kind == FcpWord::Frequency ? (wide ? Device_writeFcpFwM16Bit : Device_writeFcpFwM8Bit)
                                     : (wide ? Device_writeFcpAwM16Bit : Device_writeFcpAwM8Bit);
    return write(call->device, word);
}

// The node itself: a raw value on the test output.
template <bool wide>
int fcpTestOutput(ScpiCall *call) {
    char *p = nullptr;
    int r = scpi_cmd_oneParameter(call, &p);
    int32_t value = 0;
    if (r == 0) r = scpi_str2int(p, &value);
    if (r != 0) return r < 0 ? r : KR_E_ILLEGAL_PARAMETER_VALUE;
    return wide ? Device_setFcp16BitOutput(call->device, value)
                : Device_setFcp8BitOutput(call->device, value);
}

const ScpiNode diagnosticFcpDelayNodes[] = {
    scpi_kwLeaf("VALid", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticFcpStreamNodes[] = {
    scpi_kwLeaf("OUTPut", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticFcpNodes[] = {
    scpi_kw("DELay", diagnosticFcpDelayNodes),
    scpi_kwLeaf("DIRection", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("STReam", diagnosticFcpStreamNodes),
    scpi_end(),
};

// The test words' queries and the list word have no device operation: they stay pending.
const ScpiNode diagnosticFcpo8bitNodes[] = {
    scpi_kwLeaf("AWM", scpi_leafCustom(fcpTestWord<FcpWord::Amplitude, false>, SCPI_FORM_BOTH,
                                       nullptr, &Device_writeFcpAwM8Bit)),
    scpi_kwLeaf("FWM", scpi_leafCustom(fcpTestWord<FcpWord::Frequency, false>, SCPI_FORM_BOTH,
                                       nullptr, &Device_writeFcpFwM8Bit)),
    scpi_kwLeaf("LWM", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("TWM", scpi_leafCustom(fcpTestWord<FcpWord::Time, false>, SCPI_FORM_BOTH, nullptr,
                                       &Device_writeFcpTwM8Bit)),
    scpi_end(),
};

const ScpiNode diagnosticFcpo16bitNodes[] = {
    scpi_kwLeaf("AWM", scpi_leafCustom(fcpTestWord<FcpWord::Amplitude, true>, SCPI_FORM_SET,
                                       nullptr, &Device_writeFcpAwM16Bit)),
    scpi_kwLeaf("FWM", scpi_leafCustom(fcpTestWord<FcpWord::Frequency, true>, SCPI_FORM_SET,
                                       nullptr, &Device_writeFcpFwM16Bit)),
    scpi_kwLeaf("TWM", scpi_leafCustom(fcpTestWord<FcpWord::Time, true>, SCPI_FORM_SET, nullptr,
                                       &Device_writeFcpTwM16Bit)),
    scpi_kwLeaf("LWM", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticFmNodes[] = {
    scpi_kwLeaf("CALibrate", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("DISCriminator", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticFpgaClockNodes[] = {
    scpi_kwLeaf("SLIP", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticFpgaCommandsNodes[] = {
    scpi_kwLeaf("IMMediate", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticFpgaResetNodes[] = {
    scpi_kwLeaf("COUNt", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticFpgaNodes[] = {
    scpi_kwLeaf("ADCLimits", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("BYTes", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kw("CLOCk", diagnosticFpgaClockNodes),
    scpi_kw("COMMands", diagnosticFpgaCommandsNodes),
    scpi_kwLeaf("JESD", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kwLeaf("LOG", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("RESet", diagnosticFpgaResetNodes, scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticFrequencyBandsNodes[] = {
    scpi_kwLeaf("ALC", scpi_leafCustom(diagBands<2>, SCPI_FORM_QUERY, nullptr,
                                       &Device_getFrequencyBands, &Device_getFrequency)),
    scpi_kwLeaf("LIST",
                scpi_leafCustom(diagBands<1>, SCPI_FORM_QUERY, nullptr, &Device_getFrequencyBands)),
    scpi_end(),
};

const ScpiNode diagnosticFrequencyNodes[] = {
    scpi_kw("BANDs", diagnosticFrequencyBandsNodes,
            scpi_leafCustom(diagBands<0>, SCPI_FORM_QUERY, nullptr, &Device_getFrequencyBands)),
    scpi_end(),
};

const ScpiEnumValue diagFsClockValues[] = {
    {"INTernal", &Device_setFsClockInt, &Device_isFsClockInt},
    {"EXTernal", &Device_setFsClockExt, &Device_isFsClockExt},
    {nullptr, nullptr, nullptr},
};

const ScpiNode diagnosticFsNodes[] = {
    scpi_kwLeaf("CLKS", scpi_leafEnum(diagFsClockValues)),
    scpi_kwLeaf("LOG",
                scpi_leafBool(&Device_isFsLogEnabled, &Device_enableFsLog, &Device_disableFsLog)),
    scpi_kwLeaf("REGister", scpi_leafCustom(diagFsRegister, SCPI_FORM_QUERY)),
    scpi_kwLeaf("SSTReam", scpi_leafCustom(diagFsStream, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticFvstLevelNodes[] = {
    scpi_kwLeaf("HIGH", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("LOW", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticFvstDemodNodes[] = {
    scpi_kwLeaf("A", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("B", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("MONO", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticFvstReadNodes[] = {
    scpi_kwLeaf("A", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kwLeaf("B", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticFvstNodes[] = {
    scpi_kwLeaf("CAPTure", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("CONTinuous", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("DIVider", diagnosticAnIfFreqNodes),
    scpi_kwLeaf("HYSTeresis", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("LEVel", diagnosticFvstLevelNodes, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("MODE", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("OFFSet", diagnosticAnIfFreqNodes),
    scpi_kw("SAMPles", diagnosticAnIfFreqNodes),
    scpi_kw("DEMOD", diagnosticFvstDemodNodes),
    scpi_kwLeaf("TRIGger", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("READ", diagnosticFvstReadNodes),
    scpi_end(),
};

const ScpiNode diagnosticFwNodes[] = {
    scpi_kwLeaf("DATA", scpi_leafCustom(diagFw, SCPI_FORM_SET)),
    scpi_kwLeaf("LOGFile", scpi_leafCustom(diagFw, SCPI_FORM_QUERY)),
    scpi_kwLeaf("STATus", scpi_leafCustom(diagFw, SCPI_FORM_QUERY)),
    scpi_kwLeaf("UPDate", scpi_leafCustom(diagFw, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticGsNodes[] = {
    scpi_kwLeaf("BASeband", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticHcEeNodes[] = {
    scpi_kwLeaf("WC", scpi_leafCustom(diagHcEeWc, SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticHcNodes[] = {
    scpi_kw("EE", diagnosticHcEeNodes),
    scpi_end(),
};

const ScpiNode diagnosticIfNodes[] = {
    scpi_kwLeaf("PATH", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("SELect", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticIlsAmNodes[] = {
    scpi_kwLeaf("PREWarp", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticIlsAm0Nodes[] = {
    scpi_kwLeaf("CORRection", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticIlsNodes[] = {
    scpi_kw("AM", diagnosticIlsAmNodes),
    scpi_kw("AM0", diagnosticIlsAm0Nodes),
    scpi_kw("AM1", diagnosticIlsAm0Nodes),
    scpi_kwLeaf("CLOCk", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticIoNodes[] = {
    scpi_kwLeaf("CLEar", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("PHSTatus", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kwLeaf("RESet", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kwLeaf("SET", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticIsNodes[] = {
    scpi_kwLeaf("FREQ", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticLedNodes[] = {
    scpi_kwLeaf("ERRor", scpi_leafBool(nullptr, &Device_enableLedError, &Device_disableLedError)),
    scpi_kwLeaf("OFF", scpi_leafAction(&Device_disableOutputLed)),
    scpi_kwLeaf("ON", scpi_leafAction(&Device_enableOutputLed)),
    scpi_kwLeaf("READy", scpi_leafBool(nullptr, &Device_enableLedReady, &Device_disableLedReady)),
    scpi_kwLeaf("REMote",
                scpi_leafBool(nullptr, &Device_enableLedRemote, &Device_disableLedRemote)),
    scpi_end(),
};

const ScpiNode diagnosticListNodes[] = {
    scpi_kwLeaf("CMD", scpi_leafCustom(diagListCommands, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticLutNodes[] = {
    scpi_kwLeaf("TEST", scpi_leafCustom(diagLut, SCPI_FORM_SET, nullptr, &Device_setFrequency)),
    scpi_kwLeaf("READ", scpi_leafString(128, &Device_getSynthesizerLutFilename, nullptr)),
    scpi_kwLeaf("WRITe",
                scpi_leafCustom(diagLut, SCPI_FORM_SET, nullptr, &Device_loadSynthesizerLut)),
    scpi_end(),
};

const ScpiNode diagnosticMfNOutputDiagnosticNodes[] = {
    scpi_kwLeaf("SOURce", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticMfNOutputNodes[] = {
    scpi_kw("DIAGnostic", diagnosticMfNOutputDiagnosticNodes),
    scpi_kwLeaf("SOURce", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticMfNNodes[] = {
    scpi_kw("OUTPut", diagnosticMfNOutputNodes),
    scpi_end(),
};

const ScpiNode diagnosticModulationIqCiqNodes[] = {
    scpi_kwLeaf("STATe", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("I", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("Q", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("ANGLe", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("AMPLitude", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticModulationIqMonitorNodes[] = {
    scpi_kwLeaf("READ", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kwLeaf("STARt", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticModulationIqNodes[] = {
    scpi_kwLeaf("ARBitrary", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("CIQ", diagnosticModulationIqCiqNodes),
    scpi_kwLeaf("DATA", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("IMMBlank", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("MONitor", diagnosticModulationIqMonitorNodes),
    scpi_kwLeaf("OFFSet", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("PATH", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kwLeaf("PHASe", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("PREscaler", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("RATE", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("SOURce", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("STATe", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticModulationPulmNodes[] = {
    scpi_kwLeaf("PWREsolution", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticModulationNodes[] = {
    scpi_kwLeaf("ACDC", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("ADC", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kwLeaf("AM", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kwLeaf("FM", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kw("IQ", diagnosticModulationIqNodes),
    scpi_kwLeaf("OFFSet", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("PM", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kw("PULM", diagnosticModulationPulmNodes, scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticPdwDataNodes[] = {
    scpi_kwLeaf("ACTive", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kwLeaf("DEFault", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("PRELoad", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticPdwListNodes[] = {
    scpi_kwLeaf("IDX", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticPdwNodes[] = {
    scpi_kwLeaf("COUNt", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kw("DATA", diagnosticPdwDataNodes),
    scpi_kw("LIST", diagnosticPdwListNodes),
    scpi_end(),
};

const ScpiEnumValue diagPhaseModeValues[] = {
    {"INIT", &Device_phsLink_setModeInit, &Device_phsLink_isModeInit},
    {"MASTer", &Device_phsLink_setModeMaster, &Device_phsLink_isModeMaster},
    {"SLAVe", &Device_phsLink_setModeSlave, &Device_phsLink_isModeSlave},
    {nullptr, nullptr, nullptr},
};

const ScpiNode diagnosticPhaseNodes[] = {
    scpi_kwLeaf("ADC", scpi_leafDouble(&Device_getSysclkPhase, nullptr, nullptr, nullptr)),
    scpi_kwLeaf("ALIgn", scpi_leafAction(&Device_phaseReset)),
    scpi_kwLeaf("MODE", scpi_leafEnum(diagPhaseModeValues)),
    scpi_kwLeaf("SLIP", scpi_leafAction(&Device_slip_phs)),
    scpi_end(),
};

const ScpiNode diagnosticPllNodes[] = {
    scpi_kwLeaf("CP", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("FREQuency",
                scpi_leafFreq(&Device_getPllFrequency, nullptr, nullptr, &Device_setPllFrequency)),
    scpi_kwLeaf("LOOPfilter", scpi_leafDouble(nullptr, nullptr, nullptr, &Device_setPllLoopFilter)),
    scpi_kwLeaf("IDIVider", scpi_leafCustom(diagDivider<&Device_getPllN1Divider>, SCPI_FORM_BOTH,
                                            nullptr, &Device_getPllN1Divider)),
    scpi_kwLeaf("NDIVider", scpi_leafCustom(diagDivider<&Device_getPllN2Divider>, SCPI_FORM_BOTH,
                                            nullptr, &Device_getPllN2Divider)),
    scpi_kwLeaf("MDIVider", scpi_leafCustom(diagPllMdiv, SCPI_FORM_QUERY, nullptr,
                                            &Device_getPllN1Divider, &Device_getPllN2Divider)),
    scpi_kwLeaf("RDIVider", scpi_leafUint32(&Device_getPllRDivider, nullptr, nullptr, nullptr)),
    scpi_end(),
};

const ScpiNode diagnosticPnFdNodes[] = {
    scpi_kwLeaf("CHANnel", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("STAGes", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticPnFdNNodes[] = {
    scpi_kwLeaf("CORRelations", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("SAMPles", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticPnIfMeasTimeNodes[] = {
    scpi_kwLeaf("LTIM", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticPnIfMeasNodes[] = {
    scpi_kw("TIME", diagnosticPnIfMeasTimeNodes, scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kwLeaf("LTIM", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticPnIfNodes[] = {
    scpi_kw("MEAS", diagnosticPnIfMeasNodes),
    scpi_end(),
};

const ScpiNode diagnosticPnLockNodes[] = {
    scpi_kwLeaf("TIME", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticPnLoopCorrectionNodes[] = {
    scpi_kwLeaf("K1", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("K2", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticPnLoopCapacityNodes[] = {
    scpi_kwLeaf("LIST", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticPnLoopNodes[] = {
    scpi_kw("CORRection", diagnosticPnLoopCorrectionNodes),
    scpi_kw("CAPacity", diagnosticPnLoopCapacityNodes, scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("C", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("R1", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("R2", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("R3", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticPnMeasNodes[] = {
    scpi_kwLeaf("INFO", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kwLeaf("FTIM", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kw("TIME", diagnosticPnIfMeasTimeNodes, scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kwLeaf("LTIM", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticPnVcoHighsensitivityNodes[] = {
    scpi_kwLeaf("SENSitivity", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticPnVcoNodes[] = {
    scpi_kw("HIGHsensitivity", diagnosticPnVcoHighsensitivityNodes),
    scpi_kw("LOWNoise", diagnosticPnVcoHighsensitivityNodes),
    scpi_kw("NORMal", diagnosticPnVcoHighsensitivityNodes),
    scpi_kwLeaf("SENSitivity", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticPnNodes[] = {
    scpi_kwLeaf("ASET", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("PREAmp", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("FD", diagnosticPnFdNodes),
    scpi_kwIndex("FD", nullptr, diagnosticPnFdNNodes),
    scpi_kw("IF", diagnosticPnIfNodes, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("LOCK", diagnosticPnLockNodes),
    scpi_kw("LOOP", diagnosticPnLoopNodes),
    scpi_kw("MEAS", diagnosticPnMeasNodes),
    scpi_kwLeaf("MIXer", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kwLeaf("MODE", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("PD", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kwLeaf("PLOT", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("SENSitivity", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kw("VCO", diagnosticPnVcoNodes),
    scpi_kwLeaf("VTUNe", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticPowerNodes[] = {
    scpi_kwLeaf("MAXimum", scpi_leafAction(&Device_setLevelStagesMaximum)),
    scpi_kwLeaf("MINimum", scpi_leafAction(&Device_setLevelStagesMinimum)),
    scpi_kwLeaf("TRANsition", scpi_leafPow(&Device_getPELimit, nullptr, nullptr, nullptr)),
    scpi_end(),
};

const ScpiNode diagnosticPrintTolmNodes[] = {
    scpi_kwLeaf("PATH", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticPrintNodes[] = {
    scpi_kw("TOLM", diagnosticPrintTolmNodes),
    scpi_end(),
};

const ScpiNode diagnosticRfcontrolBlankNodes[] = {
    scpi_kwLeaf("ENABle", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticRfcontrolNodes[] = {
    scpi_kw("BLANk", diagnosticRfcontrolBlankNodes),
    scpi_end(),
};

const ScpiNode diagnosticReferenceAdcNodes[] = {
    scpi_kwLeaf("PD", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kwLeaf("VTUN", scpi_leafUint32(&Device_getReferenceTuneAdc, nullptr, nullptr, nullptr)),
    scpi_end(),
};

const ScpiNode diagnosticReferenceNodes[] = {
    scpi_kw("ADC", diagnosticReferenceAdcNodes),
    scpi_kwLeaf("ATTuenation", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticResetNodes[] = {
    scpi_kwLeaf("SCOPe", scpi_leafCustom(diagResetScope, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticRoscillatorNodes[] = {
    scpi_kwLeaf("TUNE", scpi_leafDouble(&Device_getAbsoluteRoscTuning, nullptr, nullptr,
                                        &Device_setAbsoluteRoscTuning)),
    scpi_end(),
};

const ScpiNode diagnosticSpecBuf1Buf2Nodes[] = {
    scpi_kwLeaf("CALibration", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("FLO1", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("FLO2", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("PATH", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticSpecBuf1Nodes[] = {
    scpi_kw("BUF2", diagnosticSpecBuf1Buf2Nodes),
    scpi_kwLeaf("CALibration", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("FLO1", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("FLO2", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("PATH", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticSpecFreqencyNodes[] = {
    scpi_kwLeaf("OFFSet", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticSpecNodes[] = {
    scpi_kw("BUF1", diagnosticSpecBuf1Nodes, scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kw("BUF2", diagnosticSpecBuf1Buf2Nodes, scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kwLeaf("CALibration", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("FREQency", diagnosticSpecFreqencyNodes),
    scpi_kwLeaf("FLO1", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("FLO2", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("PATH", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticSpi1Nodes[] = {
    scpi_kwLeaf("CSDelay", scpi_leafCustom(diagSpiSetting<krspiSetChipSelectDelay>, SCPI_FORM_SET)),
    scpi_kwLeaf("DIVider", scpi_leafCustom(diagSpiSetting<krspiSetBitrateDivider>, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticSupplyNCurrentNodes[] = {
    scpi_kwLeaf("ADC", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticSupplyNVoltageNodes[] = {
    scpi_kwLeaf("DAC", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticSupplyNNodes[] = {
    scpi_kw("CURRent", diagnosticSupplyNCurrentNodes),
    scpi_kw("VOLTage", diagnosticSupplyNVoltageNodes),
    scpi_end(),
};

const ScpiNode diagnosticTemperatureAllNodes[] = {
    scpi_kwLeaf("NAME", scpi_leafCustom(diagTemperatureNames, SCPI_FORM_QUERY, nullptr,
                                        &Device_getTemperaturesExt)),
    scpi_end(),
};

const ScpiNode diagnosticTemperatureNodes[] = {
    scpi_kwLeaf("CONTroller",
                scpi_leafDouble(&Device_getContTemperature, nullptr, nullptr, nullptr)),
    scpi_kwLeaf("FPGA", scpi_leafCustom(diagTemperatureFpga, SCPI_FORM_QUERY)),
    scpi_kwLeaf("ISA", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kwLeaf("ISB", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kw("ALL", diagnosticTemperatureAllNodes,
            scpi_leafCustom(diagTemperatureAll, SCPI_FORM_QUERY, nullptr, &Device_getTemperatures)),
    scpi_kwLeaf("CALibration", scpi_leafDouble(&Device_getCalibrationTemperature, nullptr, nullptr,
                                               &Device_setCalibrationTemperature)),
    scpi_kwLeaf("NCAL", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticTestIsNodes[] = {
    scpi_kwLeaf("EXEC", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticTestParserNodes[] = {
    scpi_kwLeaf("OUT", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("REFerence", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("DDS", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("CONTtroller", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticTestNodes[] = {
    scpi_kwLeaf("DH", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("FIR", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("FPGA", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kw("IS", diagnosticTestIsNodes, scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("MATH", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kw("PARSer", diagnosticTestParserNodes),
    scpi_kwLeaf("REF", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("REPort", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kwLeaf("SINE", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticTranNodes[] = {
    scpi_kwLeaf("COUPling", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticTriggerSlaveNodes[] = {
    scpi_kwLeaf("PHASe", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kwLeaf("POLarity", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("POLYphase", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kwLeaf("SYNChronize", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kwLeaf("STARt", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticTriggerNodes[] = {
    scpi_kw("MASTer", diagnosticMfNOutputDiagnosticNodes, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("SLAVe", diagnosticTriggerSlaveNodes),
    scpi_end(),
};

const ScpiNode diagnosticUtriggerNodes[] = {
    scpi_kwLeaf("POLarity", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("PWIDth", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticVcoCalibrateNodes[] = {
    scpi_kwLeaf("COMPlete",
                scpi_leafDouble(&Device_getVcoCalibrationCompletion, nullptr, nullptr, nullptr)),
    scpi_kwLeaf("STOP", scpi_leafAction(&Device_stopVcoCalibration)),
    scpi_kwLeaf("SUCCess", scpi_leafBool(&Device_isVcoCalibrationSuccessful, nullptr, nullptr)),
    scpi_end(),
};

const ScpiNode diagnosticVcoConfigureNodes[] = {
    scpi_kwLeaf("ADC", scpi_leafUint32(&Device_getVcoAdc, nullptr, nullptr, nullptr)),
    scpi_kwLeaf("APPly", scpi_leafAction(&Device_applyVcoConfiguration)),
    scpi_kwLeaf("BAND", scpi_leafUint32(&Device_getSynBand, nullptr, nullptr, &Device_setSynBand)),
    scpi_kwLeaf("BIAS", scpi_leafUint32(&Device_getSynBias, nullptr, nullptr, &Device_setSynBias)),
    scpi_kwLeaf("CORE", scpi_leafUint32(&Device_getSynCore, nullptr, nullptr, &Device_setSynCore)),
    scpi_kwLeaf("FREQuency",
                scpi_leafFreq(&Device_getVcoFrequency, nullptr, nullptr, &Device_setVcoFrequency)),
    scpi_kwLeaf("POWer", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("READ", scpi_leafAction(&Device_readSynConfiguration)),
    scpi_end(),
};

const ScpiNode diagnosticVcoTestNodes[] = {
    scpi_kwLeaf("HIGH", scpi_leafAction(&Device_test)),
    scpi_end(),
};

const ScpiNode diagnosticVcoTuneNodes[] = {
    scpi_kwLeaf("DELay",
                scpi_leafCustom(diagVcoTuneDelay, SCPI_FORM_BOTH, nullptr, &Device_getVcoTuneTime)),
    scpi_end(),
};

const ScpiNode diagnosticVcoNodes[] = {
    scpi_kw("CALibrate", diagnosticVcoCalibrateNodes,
            scpi_leafCustom(diagVcoCalibrate, SCPI_FORM_QUERY, nullptr,
                            &Device_createVcoCalibration, &Device_isVcoCalibrationRunning)),
    scpi_kw("CONFigure", diagnosticVcoConfigureNodes,
            scpi_leafBool(nullptr, &Device_enableReadConfMode, &Device_disableReadConfMode)),
    scpi_kwLeaf("INST", scpi_leafAction(&Device_createVcoCalibration)),
    scpi_kwLeaf("POWer", scpi_leafCustom(diagVcoPower, SCPI_FORM_BOTH, nullptr, &Device_vcoPowerUp,
                                         &Device_vcoPowerDown)),
    scpi_kw("TEST", diagnosticVcoTestNodes),
    scpi_kw("TUNE", diagnosticVcoTuneNodes),
    scpi_end(),
};

const ScpiNode diagnosticVorBearingCorrectionNodes[] = {
    scpi_kwLeaf("PHASe", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("WEIGht", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticVorBearingNodes[] = {
    scpi_kw("CORRection", diagnosticVorBearingCorrectionNodes),
    scpi_end(),
};

const ScpiNode diagnosticVorNodes[] = {
    scpi_kw("AM", diagnosticIlsAmNodes),
    scpi_kw("AM0", diagnosticIlsAm0Nodes),
    scpi_kw("AM1", diagnosticIlsAm0Nodes),
    scpi_kw("BEARing", diagnosticVorBearingNodes),
    scpi_kwLeaf("CLOCk", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticVoutNodes[] = {
    scpi_kwLeaf("POSitive", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("NEGative", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("VPOSitive", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("VNEGative", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticVvaNodes[] = {
    scpi_kwLeaf("B3B4", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("IN", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("LIMit", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("SENSitivity", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticLmxNodes[] = {
    scpi_kwLeaf("POWer", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("VTUNe", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticLockhelperTimeNodes[] = {
    scpi_kwLeaf("DOWN", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("RAMP", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("DEL", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticLockhelperNodes[] = {
    scpi_kwLeaf("VOLTage", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("SLOPe", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kw("TIME", diagnosticLockhelperTimeNodes),
    scpi_end(),
};

const ScpiNode diagnosticMuxNodes[] = {
    scpi_kwLeaf("DIVider", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_end(),
};

}  // namespace

const ScpiNode scpi_cmd_diagnosticNodes[] = {
    scpi_kw("AIQ", diagnosticAiqNodes),
    scpi_kw("ALC", diagnosticAlcNodes),
    scpi_kw("ARBitrary", diagnosticArbitraryNodes),
    scpi_kwLeaf("OFFS", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kw("ALG", diagnosticAlgNodes),
    scpi_kw("AM", diagnosticAmNodes),
    scpi_kw("AMP", diagnosticAmpNodes),
    scpi_kw("AN", diagnosticAnNodes),
    scpi_kw("DCM", diagnosticDcmNodes),
    scpi_kw("ATTenuation", diagnosticAttenuationNodes,
            scpi_leafPow(&Device_getAttenuation, &Device_getAttenuationMin,
                         &Device_getAttenuationMax, &Device_setAttenuation)),
    scpi_kwIndex("ATTenuation", nullptr, nullptr,
                 scpi_leafCustom(diagAttenuationN, SCPI_FORM_BOTH, nullptr,
                                 &Device_getTotalStepAttenuation, &Device_setStepAttenuation)),
    scpi_kw("AWGN", diagnosticAwgnNodes),
    scpi_kwLeaf("BAND", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwIndex("BASeband", nullptr, diagnosticBasebandNNodes),
    scpi_kwLeaf("BATTery", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kw("BOARd", diagnosticBoardNodes),
    scpi_kw("BOOT", diagnosticBootNodes),
    scpi_kw("CALibration", diagnosticCalibrationNodes, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("CNTR", diagnosticCntrNodes),
    scpi_kw("COMB", diagnosticCombNodes),
    scpi_kwLeaf("COMCheck", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("COMPlete", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kwOptional("CONFiguration", nullptr, scpi_leafCustom(diagConfiguration, SCPI_FORM_QUERY)),
    scpi_kw("CRESt", diagnosticCrestNodes),
    scpi_kw("DALC", diagnosticDalcNodes),
    scpi_kw("DDS", diagnosticDdsNodes),
    scpi_kw("DOUBler", diagnosticDoublerNodes),
    scpi_kw("EATTenuator", diagnosticEattenuatorNodes),
    scpi_kw("EMTest", diagnosticEmtestNodes),
    scpi_kw("EVENt", diagnosticEventNodes),
    scpi_kw("FAN", diagnosticFanNodes,
            scpi_leafBool(&Device_isFanEnabled, &Device_enableFan, &Device_disableFan)),
    scpi_kw("FCP", diagnosticFcpNodes),
    scpi_kw(
        "FCPO8BIT", diagnosticFcpo8bitNodes,
        scpi_leafCustom(fcpTestOutput<false>, SCPI_FORM_SET, nullptr, &Device_setFcp8BitOutput)),
    scpi_kw(
        "FCPO16BIT", diagnosticFcpo16bitNodes,
        scpi_leafCustom(fcpTestOutput<true>, SCPI_FORM_SET, nullptr, &Device_setFcp16BitOutput)),
    scpi_kwLeaf("FBANd", scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kwLeaf("FILTpath", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("FM", diagnosticFmNodes),
    scpi_kw("FN", diagnosticAnNodes),
    scpi_kw("FPGA", diagnosticFpgaNodes),
    scpi_kw("FREQuency", diagnosticFrequencyNodes),
    scpi_kw("FS", diagnosticFsNodes),
    scpi_kw("FVST", diagnosticFvstNodes),
    scpi_kw("FW", diagnosticFwNodes),
    scpi_kw("GS", diagnosticGsNodes, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("HC", diagnosticHcNodes, scpi_leafCustom(diagHc, SCPI_FORM_SET)),
    scpi_kw("IF", diagnosticIfNodes),
    scpi_kw("ILS", diagnosticIlsNodes),
    scpi_kw("IO", diagnosticIoNodes),
    scpi_kwLeaf("IOUPdate", scpi_leafCustom(diagIoupdate, SCPI_FORM_SET)),
    scpi_kw("IS", diagnosticIsNodes),
    scpi_kw("LED", diagnosticLedNodes),
    scpi_kw("LIST", diagnosticListNodes),
    scpi_kw("LUT", diagnosticLutNodes),
    scpi_kwLeaf("MEMory", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kwIndex("MF", &Device_setMultiFunctionIndex, diagnosticMfNNodes,
                 scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kw("MODulation", diagnosticModulationNodes, scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kwLeaf("NETLog", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kw("PDW", diagnosticPdwNodes),
    scpi_kw("PHASe", diagnosticPhaseNodes,
            scpi_leafAngle(&Device_getPhase, nullptr, nullptr, &Device_setPhase)),
    scpi_kwLeaf("PHS", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kw("PLL", diagnosticPllNodes),
    scpi_kw("PN", diagnosticPnNodes),
    scpi_kw("POWer", diagnosticPowerNodes),
    scpi_kwLeaf("PREAmplifier", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwIndex("PREAmplifier", nullptr, nullptr, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("PREThreshold", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("PRINT", diagnosticPrintNodes),
    scpi_kwLeaf("RAMCheck", scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kw("RFControl", diagnosticRfcontrolNodes, scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kw("REFerence", diagnosticReferenceNodes),
    scpi_kw("RESet", diagnosticResetNodes, scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kw("ROSCillator", diagnosticRoscillatorNodes),
    scpi_kwLeaf("SLEep", scpi_cmd_deviceLeaf(SCPI_FORM_BOTH)),
    scpi_kwLeaf("SN", scpi_leafCustom(diagSn, SCPI_FORM_BOTH)),
    scpi_kw("SPEC", diagnosticSpecNodes),
    scpi_kw("SPI1", diagnosticSpi1Nodes),
    scpi_kwIndex("STATus", nullptr, nullptr, scpi_cmd_deviceLeaf(SCPI_FORM_QUERY)),
    scpi_kwIndex("SUPPly", nullptr, diagnosticSupplyNNodes),
    scpi_kwLeaf("TAX",
                scpi_leafCustom(diagTax, SCPI_FORM_SET, nullptr, &Device_setStepAttenuation)),
    scpi_kw("TEMPerature", diagnosticTemperatureNodes,
            scpi_leafFloat(&Device_getTemperatureMax, nullptr, nullptr, nullptr)),
    scpi_kw("TEST", diagnosticTestNodes, scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kw("TRAN", diagnosticTranNodes),
    scpi_kw("TRIGger", diagnosticTriggerNodes),
    scpi_kw("UTRigger", diagnosticUtriggerNodes, scpi_cmd_deviceLeaf(SCPI_FORM_SET)),
    scpi_kw("VCO", diagnosticVcoNodes),
    scpi_kw("VOR", diagnosticVorNodes),
    scpi_kw("VOUT", diagnosticVoutNodes),
    scpi_kw("VVA", diagnosticVvaNodes),
    scpi_kw("LMX", diagnosticLmxNodes),
    scpi_kw("LOCKhelper", diagnosticLockhelperNodes),
    scpi_kw("MUX", diagnosticMuxNodes),
    scpi_end(),
};
