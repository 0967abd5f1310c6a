#include "scpi/scpi_cmd_output.h"

#include <cstring>

#include "device/device.h"
#include "scpi/scpi_cmd_common.h"
#include "scpi/scpi_convert.h"
#include "scpi/scpi_errorcodes.h"
#include "scpi/scpi_match.h"
#include "scpi/scpi_node.h"

namespace {

// ---- Tables ---------------------------------------------------------------------------------

const ScpiEnumValue outpOffModeValues[] = {
    {"FULL", &Device_setOutputOffModeFull, &Device_isOutputOffModeFull},
    {"QUICk", &Device_setOutputOffModeQuick, &Device_isOutputOffModeQuick},
    {nullptr, nullptr, nullptr},
};

const ScpiNode outputBlankingNodes[] = {
    scpi_kwOptional("STATe", nullptr,
                    scpi_leafBool(&Device_isOutputBlankingEnabled, &Device_enableOutputBlanking,
                                  &Device_disableOutputBlanking)),
    scpi_end(),
};

const ScpiNode outputOffNodes[] = {
    scpi_kwLeaf("MODE", scpi_leafEnum(outpOffModeValues)),
    scpi_end(),
};

}  // namespace

const ScpiNode scpi_cmd_outputNodes[] = {
    scpi_kw("BLANking", outputBlankingNodes),
    scpi_kw("OFF", outputOffNodes),
    scpi_kwLeaf("PROTection",
                scpi_leafBool(&Device_isOutputProtectionEnabled, &Device_enableOutputProtection,
                              &Device_disableOutputProtection)),
    scpi_kwOptional("STATe", nullptr,
                    scpi_leafBool(&Device_isRfEnabled, &Device_enableRf, &Device_disableRf)),
    scpi_end(),
};

namespace {

const ScpiNode memoryFileCorrectionFlatnessNodes[] = {
    scpi_kwLeaf("DATA", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH, nullptr,
                                        &Device_getFlatnessAbsolutePath)),
    scpi_kwLeaf("DELete", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET, nullptr,
                                          &Device_flatnessDelete)),
    scpi_kwLeaf("LOAD", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET, nullptr,
                                        &Device_flatnessLoad)),
    scpi_kwLeaf("PEEK", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY, nullptr,
                                        &Device_flatnessPeek)),
    scpi_kwLeaf("READ", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY, nullptr,
                                        &Device_getFlatnessAbsolutePath)),
    scpi_kwLeaf("STORe", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET, nullptr,
                                         &Device_flatnessStore)),
    scpi_kwLeaf("WRITe", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET, nullptr,
                                         &Device_getFlatnessAbsolutePath)),
    scpi_end(),
};

const ScpiNode memoryFileCorrectionNodes[] = {
    scpi_kw("FLATness", memoryFileCorrectionFlatnessNodes),
    scpi_end(),
};

const ScpiNode memoryFileDeleteNodes[] = {
    scpi_kwLeaf("ALL", scpi_cmd_pending(SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode memoryFileFreeNodes[] = {
    scpi_kwOptional("ALL", nullptr, scpi_cmd_pending(SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode memoryFileListNodes[] = {
    scpi_kwLeaf("DATA", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH, nullptr,
                                        &Device_getListAbsolutePath, &Device_storeList)),
    scpi_kwLeaf("DELete",
                scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET, nullptr, &Device_deleteList)),
    scpi_kwLeaf("LOAD", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH, nullptr,
                                        &Device_loadList, &Device_getLoadedListName)),
    scpi_kwLeaf("PEEK",
                scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY, nullptr, &Device_peekList)),
    scpi_kwLeaf("READ", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY, nullptr,
                                        &Device_getListAbsolutePath, &Device_storeList)),
    scpi_kwLeaf("STORe",
                scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET, nullptr, &Device_storeList)),
    scpi_kwLeaf("WRITe", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_SET, nullptr,
                                         &Device_getListAbsolutePath)),
    scpi_end(),
};

const ScpiNode memoryFileNodes[] = {
    scpi_kw("CORRection", memoryFileCorrectionNodes),
    scpi_kw("DELete", memoryFileDeleteNodes),
    scpi_kw("FREE", memoryFileFreeNodes),
    scpi_kw("LIST", memoryFileListNodes,
            scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_BOTH, nullptr,
                            &Device_setCurrentListName, &Device_getCurrentListName,
                            &Device_getLastListName, &Device_getFirstListName)),
    scpi_end(),
};

const ScpiNode memoryRamFdNNodes[] = {
    scpi_kwLeaf("READ", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY, nullptr,
                                        &Device_getPhaseNoiseFdBuffer)),
    scpi_kwLeaf("SIZE", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY, nullptr,
                                        &Device_getPhaseNoiseFdBufferSize)),
    scpi_end(),
};

const ScpiNode memoryRamFnaNodes[] = {
    scpi_kwLeaf("READ", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY, nullptr,
                                        &Device_getPhaseNoiseFbuffer)),
    scpi_end(),
};

const ScpiNode memoryRamFnaNNodes[] = {
    scpi_kwLeaf("READ", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY, nullptr,
                                        &Device_getPhaseNoiseFbuffer)),
    scpi_kwLeaf("SIZE",
                scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY, nullptr, &Device_getFNSize)),
    scpi_kwLeaf("SAMPles", scpi_leafCustom(scpi_cmd_pendingLeaf, SCPI_FORM_QUERY, nullptr,
                                           &Device_getFNSamplesCount)),
    scpi_end(),
};

const ScpiNode memoryRamTestNodes[] = {
    scpi_kwLeaf("DATA", scpi_cmd_pending(SCPI_FORM_QUERY)),
    scpi_kwLeaf("READ", scpi_cmd_pending(SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode memoryRamNodes[] = {
    scpi_kwIndex("FD", nullptr, memoryRamFdNNodes),
    scpi_kw("FNA", memoryRamFnaNodes),
    scpi_kwIndex("FNA", nullptr, memoryRamFnaNNodes),
    scpi_kw("FNB", memoryRamFnaNodes),
    scpi_kwIndex("FNB", nullptr, memoryRamFnaNNodes),
    scpi_kw("TEST", memoryRamTestNodes),
    scpi_end(),
};

}  // namespace

const ScpiNode scpi_cmd_memoryNodes[] = {
    scpi_kw("FILE", memoryFileNodes),
    scpi_kw("RAM", memoryRamNodes),
    scpi_end(),
};

const ScpiNode scpi_cmd_displayNodes[] = {
    scpi_kwLeaf("ENABle", scpi_cmd_pending(SCPI_FORM_SET)),
    scpi_end(),
};
