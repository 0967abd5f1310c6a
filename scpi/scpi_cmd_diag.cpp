#include "scpi/scpi_cmd_diag.h"

#include <cstring>

#include "device/device.h"
#include "scpi/scpi_cmd_common.h"
#include "scpi/scpi_convert.h"
#include "scpi/scpi_errorcodes.h"
#include "scpi/scpi_match.h"
#include "scpi/scpi_node.h"

namespace {

// ---- Tables ---------------------------------------------------------------------------------

const ScpiNode diagnosticAiqNodes[] = {
    scpi_kwOptional("STATe", nullptr, scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticAlcNodes[] = {
    scpi_kwLeaf("ATTenuator", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("CONTrolvalue", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("COUPler", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("DAC", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("DAT", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("MARGin", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("PROCessvalue", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kwLeaf("SETPoint", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("SOFTware", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("VERSion", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticArbitraryAnalogNodes[] = {
    scpi_kwLeaf("CLOCk", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticArbitraryNodes[] = {
    scpi_kw("ANALog", diagnosticArbitraryAnalogNodes),
    scpi_end(),
};

const ScpiNode diagnosticAlgNodes[] = {
    scpi_kwLeaf("ADC1", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticAmNodes[] = {
    scpi_kwLeaf("CALibration", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("DEPTh", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("PREWarp", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticAmpNodes[] = {
    scpi_kwLeaf("ADC", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kwLeaf("AUTO", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kwLeaf("COUPling", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("CURRent", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("DAC", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticAnAmplNodes[] = {
    scpi_kwLeaf("CBAK", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticAnIfFreqNodes[] = {
    scpi_kwLeaf("A", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("B", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticAnIfVtunNodes[] = {
    scpi_kwLeaf("A", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("B", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticAnIfNodes[] = {
    scpi_kwLeaf("DITH", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kw("FREQ", diagnosticAnIfFreqNodes),
    scpi_kw("VTUN", diagnosticAnIfVtunNodes),
    scpi_end(),
};

const ScpiNode diagnosticAnNodes[] = {
    scpi_kw("AMPL", diagnosticAnAmplNodes),
    scpi_kw("IF", diagnosticAnIfNodes),
    scpi_kwLeaf("METHod", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticDcmNodes[] = {
    scpi_kwLeaf("STAT", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("FREQ", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("IF", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticAttenuationDistributeNodes[] = {
    scpi_kwLeaf("SUPPorted", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticAttenuationNodes[] = {
    scpi_kw("DISTribute", diagnosticAttenuationDistributeNodes,
            scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticAwgnRateNodes[] = {
    scpi_kwLeaf("DATA", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("NOISe", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticAwgnNodes[] = {
    scpi_kwLeaf("MODE", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kw("RATE", diagnosticAwgnRateNodes),
    scpi_end(),
};

const ScpiNode diagnosticBasebandNNodes[] = {
    scpi_kwLeaf("LIMit", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticBoardNodes[] = {
    scpi_kwLeaf("POWer", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticBootNodes[] = {
    scpi_kwLeaf("DELay", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticCalibrationAttenuationNodes[] = {
    scpi_kwLeaf("MINimum", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticCalibrationIlsvorNodes[] = {
    scpi_kwLeaf("READ", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kwLeaf("WRITe", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticCalibrationPeNodes[] = {
    scpi_kwLeaf("LIMit", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticCalibrationNodes[] = {
    scpi_kwLeaf("ALC", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kw("ATTenuation", diagnosticCalibrationAttenuationNodes,
            scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kwLeaf("DATE", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kw("ILSVor", diagnosticCalibrationIlsvorNodes),
    scpi_kwLeaf("LOAD", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kw("PE", diagnosticCalibrationPeNodes),
    scpi_kwLeaf("READ", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kwLeaf("WRITe", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("TRACeable", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticCntrDdcNodes[] = {
    scpi_kwLeaf("STAT", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("PINC", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticCntrNodes[] = {
    scpi_kwLeaf("BYTEs", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kw("DDC", diagnosticCntrDdcNodes),
    scpi_kwLeaf("FILTer", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("GATE", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("STARt", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("STOP", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("READ", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticCombNodes[] = {
    scpi_kwLeaf("ATT", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticCrestNodes[] = {
    scpi_kwLeaf("AWGN", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kwLeaf("MANual", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("TOTal", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticDalcGainNodes[] = {
    scpi_kwLeaf("AUTO", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticDalcNodes[] = {
    scpi_kwLeaf("CONDition", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kwLeaf("LCC", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kw("GAIN", diagnosticDalcGainNodes, scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("TIME", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticDdsClockNodes[] = {
    scpi_kwLeaf("CROSsing", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("DCYC", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("PHASe", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("STORe", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticDdsFtwNodes[] = {
    scpi_kwLeaf("STEP", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticDdsReferenceNodes[] = {
    scpi_kwOptional("FTW", nullptr, scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticDdsNodes[] = {
    scpi_kw("CLOCk", diagnosticDdsClockNodes),
    scpi_kwLeaf("FSC", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kw("FTW", diagnosticDdsFtwNodes, scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("OUTPut", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kw("REFerence", diagnosticDdsReferenceNodes),
    scpi_kwLeaf("TUNE", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticDoublerNodes[] = {
    scpi_kwLeaf("ATTenuation", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticEattenuatorNodes[] = {
    scpi_kwLeaf("LINE", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwOptional("STAge", nullptr, scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticEmtestNodes[] = {
    scpi_kwLeaf("SN", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("TCS", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("TCG", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kwLeaf("TEST", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticEventArbitraryNodes[] = {
    scpi_kwLeaf("IQUNderrun", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticEventRfcontrolNodes[] = {
    scpi_kwLeaf("LOST", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticEventNodes[] = {
    scpi_kw("ARBitrary", diagnosticEventArbitraryNodes),
    scpi_kw("RFControl", diagnosticEventRfcontrolNodes),
    scpi_end(),
};

const ScpiNode diagnosticFanNodes[] = {
    scpi_kwLeaf("DAC", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("TEST", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticFcpDelayNodes[] = {
    scpi_kwLeaf("VALid", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticFcpStreamNodes[] = {
    scpi_kwLeaf("OUTPut", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticFcpNodes[] = {
    scpi_kw("DELay", diagnosticFcpDelayNodes),
    scpi_kwLeaf("DIRection", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kw("STReam", diagnosticFcpStreamNodes),
    scpi_end(),
};

const ScpiNode diagnosticFcpo8bitNodes[] = {
    scpi_kwLeaf("AWM", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("FWM", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("LWM", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("TWM", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticFcpo16bitNodes[] = {
    scpi_kwLeaf("AWM", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("FWM", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("TWM", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("LWM", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticFmNodes[] = {
    scpi_kwLeaf("CALibrate", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("DISCriminator", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticFnAmplNodes[] = {
    scpi_kwLeaf("CBAK", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticFnIfFreqNodes[] = {
    scpi_kwLeaf("A", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("B", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticFnIfVtunNodes[] = {
    scpi_kwLeaf("A", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("B", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticFnIfNodes[] = {
    scpi_kwLeaf("DITH", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kw("FREQ", diagnosticFnIfFreqNodes),
    scpi_kw("VTUN", diagnosticFnIfVtunNodes),
    scpi_end(),
};

const ScpiNode diagnosticFnNodes[] = {
    scpi_kw("AMPL", diagnosticFnAmplNodes),
    scpi_kw("IF", diagnosticFnIfNodes),
    scpi_kwLeaf("METHod", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticFpgaClockNodes[] = {
    scpi_kwLeaf("SLIP", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticFpgaCommandsNodes[] = {
    scpi_kwLeaf("IMMediate", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticFpgaResetNodes[] = {
    scpi_kwLeaf("COUNt", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticFpgaNodes[] = {
    scpi_kwLeaf("ADCLimits", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("BYTes", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kw("CLOCk", diagnosticFpgaClockNodes),
    scpi_kw("COMMands", diagnosticFpgaCommandsNodes),
    scpi_kwLeaf("JESD", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kwLeaf("LOG", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kw("RESet", diagnosticFpgaResetNodes,
            scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticFrequencyBandsNodes[] = {
    scpi_kwLeaf("ALC", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kwLeaf("LIST", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticFrequencyNodes[] = {
    scpi_kw("BANDs", diagnosticFrequencyBandsNodes,
            scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticFsNodes[] = {
    scpi_kwLeaf("CLKS", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("LOG", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("REGister", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kwLeaf("SSTReam", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticFvstDividerNodes[] = {
    scpi_kwLeaf("A", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("B", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticFvstLevelNodes[] = {
    scpi_kwLeaf("HIGH", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("LOW", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticFvstOffsetNodes[] = {
    scpi_kwLeaf("A", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("B", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticFvstSamplesNodes[] = {
    scpi_kwLeaf("A", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("B", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticFvstDemodNodes[] = {
    scpi_kwLeaf("A", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("B", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("MONO", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticFvstReadNodes[] = {
    scpi_kwLeaf("A", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kwLeaf("B", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticFvstNodes[] = {
    scpi_kwLeaf("CAPTure", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("CONTinuous", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kw("DIVider", diagnosticFvstDividerNodes),
    scpi_kwLeaf("HYSTeresis", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kw("LEVel", diagnosticFvstLevelNodes,
            scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("MODE", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kw("OFFSet", diagnosticFvstOffsetNodes),
    scpi_kw("SAMPles", diagnosticFvstSamplesNodes),
    scpi_kw("DEMOD", diagnosticFvstDemodNodes),
    scpi_kwLeaf("TRIGger", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kw("READ", diagnosticFvstReadNodes),
    scpi_end(),
};

const ScpiNode diagnosticFwNodes[] = {
    scpi_kwLeaf("DATA", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("LOGFile", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kwLeaf("STATus", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kwLeaf("UPDate", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticGsNodes[] = {
    scpi_kwLeaf("BASeband", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticHcEeNodes[] = {
    scpi_kwLeaf("WC", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticHcNodes[] = {
    scpi_kw("EE", diagnosticHcEeNodes),
    scpi_end(),
};

const ScpiNode diagnosticIfNodes[] = {
    scpi_kwLeaf("PATH", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("SELect", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticIlsAmNodes[] = {
    scpi_kwLeaf("PREWarp", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticIlsAm0Nodes[] = {
    scpi_kwLeaf("CORRection", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticIlsAm1Nodes[] = {
    scpi_kwLeaf("CORRection", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticIlsNodes[] = {
    scpi_kw("AM", diagnosticIlsAmNodes),
    scpi_kw("AM0", diagnosticIlsAm0Nodes),
    scpi_kw("AM1", diagnosticIlsAm1Nodes),
    scpi_kwLeaf("CLOCk", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticIoNodes[] = {
    scpi_kwLeaf("CLEar", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("PHSTatus", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kwLeaf("RESet", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kwLeaf("SET", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticIsNodes[] = {
    scpi_kwLeaf("FREQ", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticLedNodes[] = {
    scpi_kwLeaf("ERRor", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("OFF", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("ON", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("READy", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("REMote", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticListNodes[] = {
    scpi_kwLeaf("CMD", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticLutNodes[] = {
    scpi_kwLeaf("TEST", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("READ", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kwLeaf("WRITe", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticMfNOutputDiagnosticNodes[] = {
    scpi_kwLeaf("SOURce", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticMfNOutputNodes[] = {
    scpi_kw("DIAGnostic", diagnosticMfNOutputDiagnosticNodes),
    scpi_kwLeaf("SOURce", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticMfNNodes[] = {
    scpi_kw("OUTPut", diagnosticMfNOutputNodes),
    scpi_end(),
};

const ScpiNode diagnosticModulationIqCiqNodes[] = {
    scpi_kwLeaf("STATe", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("I", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("Q", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("ANGLe", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("AMPLitude", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticModulationIqMonitorNodes[] = {
    scpi_kwLeaf("READ", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kwLeaf("STARt", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticModulationIqNodes[] = {
    scpi_kwLeaf("ARBitrary", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kw("CIQ", diagnosticModulationIqCiqNodes),
    scpi_kwLeaf("DATA", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("IMMBlank", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kw("MONitor", diagnosticModulationIqMonitorNodes),
    scpi_kwLeaf("OFFSet", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("PATH", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kwLeaf("PHASe", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("PREscaler", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("RATE", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("SOURce", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("STATe", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticModulationPulmNodes[] = {
    scpi_kwLeaf("PWREsolution", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticModulationNodes[] = {
    scpi_kwLeaf("ACDC", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("ADC", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kwLeaf("AM", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kwLeaf("FM", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kw("IQ", diagnosticModulationIqNodes),
    scpi_kwLeaf("OFFSet", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("PM", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kw("PULM", diagnosticModulationPulmNodes,
            scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticPdwDataNodes[] = {
    scpi_kwLeaf("ACTive", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kwLeaf("DEFault", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("PRELoad", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticPdwListNodes[] = {
    scpi_kwLeaf("IDX", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticPdwNodes[] = {
    scpi_kwLeaf("COUNt", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kw("DATA", diagnosticPdwDataNodes),
    scpi_kw("LIST", diagnosticPdwListNodes),
    scpi_end(),
};

const ScpiNode diagnosticPhaseNodes[] = {
    scpi_kwLeaf("ADC", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kwLeaf("ALIgn", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("MODE", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("SLIP", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticPllNodes[] = {
    scpi_kwLeaf("CP", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("FREQuency", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("LOOPfilter", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("IDIVider", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("NDIVider", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("MDIVider", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kwLeaf("RDIVider", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticPnFdNodes[] = {
    scpi_kwLeaf("CHANnel", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("STAGes", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticPnFdNNodes[] = {
    scpi_kwLeaf("CORRelations", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("SAMPles", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticPnIfMeasTimeNodes[] = {
    scpi_kwLeaf("LTIM", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticPnIfMeasNodes[] = {
    scpi_kw("TIME", diagnosticPnIfMeasTimeNodes,
            scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kwLeaf("LTIM", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticPnIfNodes[] = {
    scpi_kw("MEAS", diagnosticPnIfMeasNodes),
    scpi_end(),
};

const ScpiNode diagnosticPnLockNodes[] = {
    scpi_kwLeaf("TIME", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticPnLoopCorrectionNodes[] = {
    scpi_kwLeaf("K1", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("K2", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticPnLoopCapacityNodes[] = {
    scpi_kwLeaf("LIST", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticPnLoopNodes[] = {
    scpi_kw("CORRection", diagnosticPnLoopCorrectionNodes),
    scpi_kw("CAPacity", diagnosticPnLoopCapacityNodes,
            scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("C", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("R1", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("R2", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("R3", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticPnMeasTimeNodes[] = {
    scpi_kwLeaf("LTIM", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticPnMeasNodes[] = {
    scpi_kwLeaf("INFO", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kwLeaf("FTIM", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kw("TIME", diagnosticPnMeasTimeNodes,
            scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kwLeaf("LTIM", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticPnVcoHighsensitivityNodes[] = {
    scpi_kwLeaf("SENSitivity", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticPnVcoLownoiseNodes[] = {
    scpi_kwLeaf("SENSitivity", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticPnVcoNormalNodes[] = {
    scpi_kwLeaf("SENSitivity", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticPnVcoNodes[] = {
    scpi_kw("HIGHsensitivity", diagnosticPnVcoHighsensitivityNodes),
    scpi_kw("LOWNoise", diagnosticPnVcoLownoiseNodes),
    scpi_kw("NORMal", diagnosticPnVcoNormalNodes),
    scpi_kwLeaf("SENSitivity", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticPnNodes[] = {
    scpi_kwLeaf("ASET", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("PREAmp", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kw("FD", diagnosticPnFdNodes),
    scpi_kwIndex("FD", nullptr, diagnosticPnFdNNodes),
    scpi_kw("IF", diagnosticPnIfNodes, scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kw("LOCK", diagnosticPnLockNodes),
    scpi_kw("LOOP", diagnosticPnLoopNodes),
    scpi_kw("MEAS", diagnosticPnMeasNodes),
    scpi_kwLeaf("MIXer", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kwLeaf("MODE", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("PD", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kwLeaf("PLOT", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("SENSitivity", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kw("VCO", diagnosticPnVcoNodes),
    scpi_kwLeaf("VTUNe", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticPowerNodes[] = {
    scpi_kwLeaf("MAXimum", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("MINimum", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("TRANsition", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticPrintTolmNodes[] = {
    scpi_kwLeaf("PATH", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticPrintNodes[] = {
    scpi_kw("TOLM", diagnosticPrintTolmNodes),
    scpi_end(),
};

const ScpiNode diagnosticRfcontrolBlankNodes[] = {
    scpi_kwLeaf("ENABle", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticRfcontrolNodes[] = {
    scpi_kw("BLANk", diagnosticRfcontrolBlankNodes),
    scpi_end(),
};

const ScpiNode diagnosticReferenceAdcNodes[] = {
    scpi_kwLeaf("PD", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kwLeaf("VTUN", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticReferenceNodes[] = {
    scpi_kw("ADC", diagnosticReferenceAdcNodes),
    scpi_kwLeaf("ATTuenation", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticResetNodes[] = {
    scpi_kwLeaf("SCOPe", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticRoscillatorNodes[] = {
    scpi_kwLeaf("TUNE", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticSpecBuf1Buf2Nodes[] = {
    scpi_kwLeaf("CALibration", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("FLO1", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("FLO2", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("PATH", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticSpecBuf1Nodes[] = {
    scpi_kw("BUF2", diagnosticSpecBuf1Buf2Nodes),
    scpi_kwLeaf("CALibration", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("FLO1", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("FLO2", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("PATH", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticSpecBuf2Nodes[] = {
    scpi_kwLeaf("CALibration", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("FLO1", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("FLO2", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("PATH", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticSpecFreqencyNodes[] = {
    scpi_kwLeaf("OFFSet", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticSpecNodes[] = {
    scpi_kw("BUF1", diagnosticSpecBuf1Nodes,
            scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kw("BUF2", diagnosticSpecBuf2Nodes,
            scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kwLeaf("CALibration", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kw("FREQency", diagnosticSpecFreqencyNodes),
    scpi_kwLeaf("FLO1", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("FLO2", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("PATH", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticSpi1Nodes[] = {
    scpi_kwLeaf("CSDelay", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("DIVider", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticSupplyNCurrentNodes[] = {
    scpi_kwLeaf("ADC", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticSupplyNVoltageNodes[] = {
    scpi_kwLeaf("DAC", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticSupplyNNodes[] = {
    scpi_kw("CURRent", diagnosticSupplyNCurrentNodes),
    scpi_kw("VOLTage", diagnosticSupplyNVoltageNodes),
    scpi_end(),
};

const ScpiNode diagnosticTemperatureAllNodes[] = {
    scpi_kwLeaf("NAME", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticTemperatureNodes[] = {
    scpi_kwLeaf("CONTroller", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kwLeaf("FPGA", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kwLeaf("ISA", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kwLeaf("ISB", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kw("ALL", diagnosticTemperatureAllNodes,
            scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kwLeaf("CALibration", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("NCAL", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticTestIsNodes[] = {
    scpi_kwLeaf("EXEC", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticTestParserNodes[] = {
    scpi_kwLeaf("OUT", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("REFerence", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("DDS", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("CONTtroller", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticTestNodes[] = {
    scpi_kwLeaf("DH", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("FIR", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("FPGA", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kw("IS", diagnosticTestIsNodes, scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("MATH", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kw("PARSer", diagnosticTestParserNodes),
    scpi_kwLeaf("REF", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("REPort", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kwLeaf("SINE", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticTranNodes[] = {
    scpi_kwLeaf("COUPling", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticTriggerMasterNodes[] = {
    scpi_kwLeaf("SOURce", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticTriggerSlaveNodes[] = {
    scpi_kwLeaf("PHASe", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kwLeaf("POLarity", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("POLYphase", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kwLeaf("SYNChronize", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kwLeaf("STARt", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticTriggerNodes[] = {
    scpi_kw("MASTer", diagnosticTriggerMasterNodes,
            scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kw("SLAVe", diagnosticTriggerSlaveNodes),
    scpi_end(),
};

const ScpiNode diagnosticUtriggerNodes[] = {
    scpi_kwLeaf("POLarity", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("PWIDth", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticVcoCalibrateNodes[] = {
    scpi_kwLeaf("COMPlete", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kwLeaf("STOP", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("SUCCess", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticVcoConfigureNodes[] = {
    scpi_kwLeaf("ADC", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kwLeaf("APPly", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("BAND", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("BIAS", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("CORE", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("FREQuency", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("POWer", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("READ", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticVcoTestNodes[] = {
    scpi_kwLeaf("HIGH", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticVcoTuneNodes[] = {
    scpi_kwLeaf("DELay", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticVcoNodes[] = {
    scpi_kw("CALibrate", diagnosticVcoCalibrateNodes,
            scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kw("CONFigure", diagnosticVcoConfigureNodes,
            scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("INST", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("POWer", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kw("TEST", diagnosticVcoTestNodes),
    scpi_kw("TUNE", diagnosticVcoTuneNodes),
    scpi_end(),
};

const ScpiNode diagnosticVorAmNodes[] = {
    scpi_kwLeaf("PREWarp", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticVorAm0Nodes[] = {
    scpi_kwLeaf("CORRection", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticVorAm1Nodes[] = {
    scpi_kwLeaf("CORRection", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticVorBearingCorrectionNodes[] = {
    scpi_kwLeaf("PHASe", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("WEIGht", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticVorBearingNodes[] = {
    scpi_kw("CORRection", diagnosticVorBearingCorrectionNodes),
    scpi_end(),
};

const ScpiNode diagnosticVorNodes[] = {
    scpi_kw("AM", diagnosticVorAmNodes),
    scpi_kw("AM0", diagnosticVorAm0Nodes),
    scpi_kw("AM1", diagnosticVorAm1Nodes),
    scpi_kw("BEARing", diagnosticVorBearingNodes),
    scpi_kwLeaf("CLOCk", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticVoutNodes[] = {
    scpi_kwLeaf("POSitive", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("NEGative", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("VPOSitive", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("VNEGative", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticVvaNodes[] = {
    scpi_kwLeaf("B3B4", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("IN", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("LIMit", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("SENSitivity", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_end(),
};

const ScpiNode diagnosticLmxNodes[] = {
    scpi_kwLeaf("POWer", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("VTUNe", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode diagnosticLockhelperTimeNodes[] = {
    scpi_kwLeaf("DOWN", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("RAMP", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("DEL", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode diagnosticLockhelperNodes[] = {
    scpi_kwLeaf("VOLTage", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("SLOPe", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kw("TIME", diagnosticLockhelperTimeNodes),
    scpi_end(),
};

const ScpiNode diagnosticMuxNodes[] = {
    scpi_kwLeaf("DIVider", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_end(),
};

}  // namespace

const ScpiNode scpi_cmd_diagnosticNodes[] = {
    scpi_kw("AIQ", diagnosticAiqNodes),
    scpi_kw("ALC", diagnosticAlcNodes),
    scpi_kw("ARBitrary", diagnosticArbitraryNodes),
    scpi_kwLeaf("OFFS", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kw("ALG", diagnosticAlgNodes),
    scpi_kw("AM", diagnosticAmNodes),
    scpi_kw("AMP", diagnosticAmpNodes),
    scpi_kw("AN", diagnosticAnNodes),
    scpi_kw("DCM", diagnosticDcmNodes),
    scpi_kw("ATTenuation", diagnosticAttenuationNodes,
            scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwIndex("ATTenuation", nullptr, nullptr,
                 scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kw("AWGN", diagnosticAwgnNodes),
    scpi_kwLeaf("BAND", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwIndex("BASeband", nullptr, diagnosticBasebandNNodes),
    scpi_kwLeaf("BATTery", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kw("BOARd", diagnosticBoardNodes),
    scpi_kw("BOOT", diagnosticBootNodes),
    scpi_kw("CALibration", diagnosticCalibrationNodes,
            scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kw("CNTR", diagnosticCntrNodes),
    scpi_kw("COMB", diagnosticCombNodes),
    scpi_kwLeaf("COMCheck", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("COMPlete", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kwOptional("CONFiguration", nullptr,
                    scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kw("CRESt", diagnosticCrestNodes),
    scpi_kw("DALC", diagnosticDalcNodes),
    scpi_kw("DDS", diagnosticDdsNodes),
    scpi_kw("DOUBler", diagnosticDoublerNodes),
    scpi_kw("EATTenuator", diagnosticEattenuatorNodes),
    scpi_kw("EMTest", diagnosticEmtestNodes),
    scpi_kw("EVENt", diagnosticEventNodes),
    scpi_kw("FAN", diagnosticFanNodes, scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kw("FCP", diagnosticFcpNodes),
    scpi_kw("FCPO8BIT", diagnosticFcpo8bitNodes,
            scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kw("FCPO16BIT", diagnosticFcpo16bitNodes,
            scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("FBANd", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kwLeaf("FILTpath", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kw("FM", diagnosticFmNodes),
    scpi_kw("FN", diagnosticFnNodes),
    scpi_kw("FPGA", diagnosticFpgaNodes),
    scpi_kw("FREQuency", diagnosticFrequencyNodes),
    scpi_kw("FS", diagnosticFsNodes),
    scpi_kw("FVST", diagnosticFvstNodes),
    scpi_kw("FW", diagnosticFwNodes),
    scpi_kw("GS", diagnosticGsNodes, scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kw("HC", diagnosticHcNodes, scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kw("IF", diagnosticIfNodes),
    scpi_kw("ILS", diagnosticIlsNodes),
    scpi_kw("IO", diagnosticIoNodes),
    scpi_kwLeaf("IOUPdate", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kw("IS", diagnosticIsNodes),
    scpi_kw("LED", diagnosticLedNodes),
    scpi_kw("LIST", diagnosticListNodes),
    scpi_kw("LUT", diagnosticLutNodes),
    scpi_kwLeaf("MEMory", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kwIndex("MF", &Device_setMultiFunctionIndex, diagnosticMfNNodes,
                 scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kw("MODulation", diagnosticModulationNodes,
            scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kwLeaf("NETLog", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kw("PDW", diagnosticPdwNodes),
    scpi_kw("PHASe", diagnosticPhaseNodes, scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("PHS", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kw("PLL", diagnosticPllNodes),
    scpi_kw("PN", diagnosticPnNodes),
    scpi_kw("POWer", diagnosticPowerNodes),
    scpi_kwLeaf("PREAmplifier", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwIndex("PREAmplifier", nullptr, nullptr,
                 scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("PREThreshold", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kw("PRINT", diagnosticPrintNodes),
    scpi_kwLeaf("RAMCheck", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kw("RFControl", diagnosticRfcontrolNodes,
            scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kw("REFerence", diagnosticReferenceNodes),
    scpi_kw("RESet", diagnosticResetNodes, scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kw("ROSCillator", diagnosticRoscillatorNodes),
    scpi_kwLeaf("SLEep", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kwLeaf("SN", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH)),
    scpi_kw("SPEC", diagnosticSpecNodes),
    scpi_kw("SPI1", diagnosticSpi1Nodes),
    scpi_kwIndex("STATus", nullptr, nullptr,
                 scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kwIndex("SUPPly", nullptr, diagnosticSupplyNNodes),
    scpi_kwLeaf("TAX", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kw("TEMPerature", diagnosticTemperatureNodes,
            scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY)),
    scpi_kw("TEST", diagnosticTestNodes, scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kw("TRAN", diagnosticTranNodes),
    scpi_kw("TRIGger", diagnosticTriggerNodes),
    scpi_kw("UTRigger", diagnosticUtriggerNodes,
            scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET)),
    scpi_kw("VCO", diagnosticVcoNodes),
    scpi_kw("VOR", diagnosticVorNodes),
    scpi_kw("VOUT", diagnosticVoutNodes),
    scpi_kw("VVA", diagnosticVvaNodes),
    scpi_kw("LMX", diagnosticLmxNodes),
    scpi_kw("LOCKhelper", diagnosticLockhelperNodes),
    scpi_kw("MUX", diagnosticMuxNodes),
    scpi_end(),
};
