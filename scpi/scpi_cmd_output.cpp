#include "scpi/scpi_cmd_output.h"

#include <cstring>

#include "core/krstuff.h"
#include "device/device.h"
#include "frontpanel/krhcupdate.h"
#include "scpi/scpi_block.h"
#include "scpi/scpi_cmd_common.h"
#include "scpi/scpi_convert.h"
#include "scpi/scpi_errorcodes.h"
#include "scpi/scpi_match.h"
#include "scpi/scpi_node.h"

namespace {

// A name without its quotes (single or double), at most size - 1 characters.
int copyName(const char *text, char *name, int size) {
    size_t n = strlen(text);
    if (n >= 2 && (text[0] == '"' || text[0] == '\'') && text[n - 1] == text[0]) {
        text++;
        n -= 2;
    }
    if (n == 0) return KR_E_MISSING_PARAMETER;
    if (n >= (size_t)size) return KR_E_TOO_MUCH_DATA;
    memcpy(name, text, n);
    name[n] = 0;
    return 0;
}

// A file name parameter (quoted or not) of at most size - 1 characters, first of the
// parameters; *rest gets the text behind it (a block header) or null.
int nameParameter(ScpiCall *call, char *name, int size, char **rest) {
    char *first = nullptr, *next = nullptr;
    if (scpi_getNextParameter(call->params, &first, &next) == 0) return KR_E_MISSING_PARAMETER;
    if (rest) *rest = next;
    return copyName(first, name, size);
}

constexpr int NAME_SIZE = 128;

// DELete 'name' or ALL (null to the device).
template <int (**remove)(Device *, const char *)>
int deleteFile(ScpiCall *call) {
    char name[NAME_SIZE];
    char *p;
    int r = scpi_cmd_oneParameter(call, &p);
    if (r != 0) return r;
    if (scpi_isParam("ALL", p)) return (*remove)(call->device, nullptr);
    if ((r = copyName(p, name, sizeof(name))) != 0) return r;
    return (*remove)(call->device, name);
}

// A set with one file name.
template <int (**operation)(Device *, const char *)>
int namedFile(ScpiCall *call) {
    char name[NAME_SIZE];
    char *p;
    int r = scpi_cmd_oneParameter(call, &p);
    if (r == 0) r = copyName(p, name, sizeof(name));
    return r != 0 ? r : (*operation)(call->device, name);
}

// A query with one file name whose answer the device writes.
template <int (**peek)(Device *, const char *, char *, int32_t)>
int peekFile(ScpiCall *call) {
    char name[NAME_SIZE];
    char *p;
    int r = scpi_cmd_oneParameter(call, &p);
    if (r == 0) r = copyName(p, name, sizeof(name));
    if (r != 0) return r;
    int n = (*peek)(call->device, name, call->out, call->outSize);
    if (n < 0) return n;
    call->outLen = n < call->outSize ? n : 0;
    return 0;
}

// The file a named list or flatness table lives in, as block data in either direction. A
// query may first write the file from what is in use (prepare), so that it sends that.
template <const char *(**path)(Device *, const char *),
          int (*prepare)(Device *, const char *, const char *) = nullptr>
int readFile(ScpiCall *call) {
    char name[NAME_SIZE];
    char *rest = nullptr;
    int r = nameParameter(call, name, sizeof(name), &rest);
    if (r != 0) return r;
    const char *file = (*path)(call->device, name);
    if (!file) return KR_E_ILLEGAL_PARAMETER_VALUE;
    if constexpr (prepare != nullptr) {
        if ((r = prepare(call->device, name, file)) != 0) return r;
    }
    return scpi_exec_startBdSend_file(call->link, file, nullptr, nullptr);
}

// The RAM list stands for the list in use: it is written out before it is sent. Stored lists
// are sent as they are, a query does not overwrite them.
int storeRamList(Device *device, const char *name, const char *file) {
    return Device_isRamList(device, file) ? Device_storeList(device, name) : 0;
}

template <const char *(**path)(Device *, const char *)>
int writeFile(ScpiCall *call) {
    char name[NAME_SIZE];
    char *header = nullptr;
    int r = nameParameter(call, name, sizeof(name), &header);
    if (r != 0) return r;
    if (!header || !*header) return KR_E_MISSING_PARAMETER;
    const char *file = (*path)(call->device, name);
    if (!file) {
        scpi_exec_discardBlock(call->link, header);
        return KR_E_ILLEGAL_PARAMETER_VALUE;
    }
    return scpi_exec_startBdReceive_file(call->link, file, nullptr, nullptr, header);
}

template <const char *(**path)(Device *, const char *),
          int (*prepare)(Device *, const char *, const char *) = nullptr>
int fileData(ScpiCall *call) {
    return call->state == SCPI_STATE_QUERY ? readFile<path, prepare>(call) : writeFile<path>(call);
}

int memoFileListLoad(ScpiCall *call) {
    if (call->state == SCPI_STATE_SET) return namedFile<&Device_loadList>(call);
    int r;
    if (!scpi_cmd_noParameters(call, &r)) return r;
    return scpi_cmd_answerText(call, Device_getLoadedListName(call->device));
}

int memoFileDeleAll(ScpiCall *call) {
    int r;
    if (!scpi_cmd_noParameters(call, &r)) return r;
    return krstuff_deleteUserMemory();
}

// Free and used bytes of the user memory.
int memoFileFreeAll(ScpiCall *call) {
    int r;
    if (!scpi_cmd_noParameters(call, &r)) return r;
    uint64_t freeBytes = 0, usedBytes = 0;
    if (krstuff_getUserMemoryStats(&freeBytes, &usedBytes) != 0) return KR_E_EXECUTION_ERROR;
    int n = snprintf(call->out, (size_t)call->outSize, "%llu,%llu", (unsigned long long)freeBytes,
                     (unsigned long long)usedBytes);
    if (n >= call->outSize) return KR_E_QUERY_ERROR;
    call->outLen = n;
    return 0;
}

// A measurement buffer of the numbered instance as block data.
template <const char *(**buffer)(Device *, int32_t), uint32_t (**size)(Device *, int32_t)>
int sendBuffer(ScpiCall *call) {
    int r;
    if (!scpi_cmd_noParameters(call, &r)) return r;
    const char *data = (*buffer)(call->device, call->index);
    uint32_t length = data ? (*size)(call->device, call->index) : 0;
    return scpi_exec_startBdSend_memory(call->link, (int32_t)length, data, nullptr, nullptr);
}

// A count of the numbered instance.
template <uint32_t (**count)(Device *, int32_t)>
int indexCount(ScpiCall *call) {
    int r;
    if (!scpi_cmd_noParameters(call, &r)) return r;
    return scpi_uint2str((*count)(call->device, call->index), call->out, call->outSize,
                         &call->outLen);
}

// The display flag; the front panel is told with "DISP:ENAB 1" or "DISP:ENAB 0".
int displayEnabled = 1;

}  // namespace

int scpi_cmd_displayEnable(ScpiCall *call) {
    char *p;
    int on = 0;
    int r = scpi_cmd_oneParameter(call, &p);
    if (r == 0) r = scpi_str2bool(p, &on);
    if (r != 0) return r;
    displayEnabled = on ? 1 : 0;
    Krhcupdate(displayEnabled ? "DISP:ENAB 1" : "DISP:ENAB 0");
    return 0;
}

namespace {

// A known pattern (each byte its offset modulo 256) that a client reads back to check a
// block transfer end to end.
constexpr int32_t RAM_TEST_SIZE = 65536;

const char *ramTestPattern() {
    static char pattern[RAM_TEST_SIZE];
    static bool filled = false;
    if (!filled) {
        for (int32_t i = 0; i < RAM_TEST_SIZE; i++)
            pattern[i] = (char)(i & 0xFF);
        filled = true;
    }
    return pattern;
}

int memRamTest(ScpiCall *call) {
    int r;
    if (!scpi_cmd_noParameters(call, &r)) return r;
    return scpi_exec_startBdSend_memory(call->link, RAM_TEST_SIZE, ramTestPattern(), nullptr,
                                        nullptr);
}

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
    scpi_kwLeaf("DATA", scpi_leafCustom(fileData<&Device_getFlatnessAbsolutePath>, SCPI_FORM_BOTH,
                                        nullptr, &Device_getFlatnessAbsolutePath)),
    scpi_kwLeaf("DELete", scpi_leafCustom(deleteFile<&Device_flatnessDelete>, SCPI_FORM_SET,
                                          nullptr, &Device_flatnessDelete)),
    scpi_kwLeaf("LOAD", scpi_leafCustom(namedFile<&Device_flatnessLoad>, SCPI_FORM_SET, nullptr,
                                        &Device_flatnessLoad)),
    scpi_kwLeaf("PEEK", scpi_leafCustom(peekFile<&Device_flatnessPeek>, SCPI_FORM_QUERY, nullptr,
                                        &Device_flatnessPeek)),
    scpi_kwLeaf("READ", scpi_leafCustom(readFile<&Device_getFlatnessAbsolutePath>, SCPI_FORM_QUERY,
                                        nullptr, &Device_getFlatnessAbsolutePath)),
    scpi_kwLeaf("STORe", scpi_leafCustom(namedFile<&Device_flatnessStore>, SCPI_FORM_SET, nullptr,
                                         &Device_flatnessStore)),
    scpi_kwLeaf("WRITe", scpi_leafCustom(writeFile<&Device_getFlatnessAbsolutePath>, SCPI_FORM_SET,
                                         nullptr, &Device_getFlatnessAbsolutePath)),
    scpi_end(),
};

const ScpiNode memoryFileCorrectionNodes[] = {
    scpi_kw("FLATness", memoryFileCorrectionFlatnessNodes),
    scpi_end(),
};

const ScpiNode memoryFileDeleteNodes[] = {
    scpi_kwLeaf("ALL", scpi_leafCustom(memoFileDeleAll, SCPI_FORM_SET)),
    scpi_end(),
};

const ScpiNode memoryFileFreeNodes[] = {
    scpi_kwOptional("ALL", nullptr, scpi_leafCustom(memoFileFreeAll, SCPI_FORM_QUERY)),
    scpi_end(),
};

const ScpiNode memoryFileListNodes[] = {
    scpi_kwLeaf("DATA",
                scpi_leafCustom(fileData<&Device_getListAbsolutePath, storeRamList>, SCPI_FORM_BOTH,
                                nullptr, &Device_getListAbsolutePath, &Device_storeList)),
    scpi_kwLeaf("DELete", scpi_leafCustom(deleteFile<&Device_deleteList>, SCPI_FORM_SET, nullptr,
                                          &Device_deleteList)),
    scpi_kwLeaf("LOAD", scpi_leafCustom(memoFileListLoad, SCPI_FORM_BOTH, nullptr, &Device_loadList,
                                        &Device_getLoadedListName)),
    scpi_kwLeaf("PEEK", scpi_leafCustom(peekFile<&Device_peekList>, SCPI_FORM_QUERY, nullptr,
                                        &Device_peekList)),
    scpi_kwLeaf("READ", scpi_leafCustom(readFile<&Device_getListAbsolutePath, storeRamList>,
                                        SCPI_FORM_QUERY, nullptr, &Device_getListAbsolutePath,
                                        &Device_storeList)),
    scpi_kwLeaf("STORe", scpi_leafCustom(namedFile<&Device_storeList>, SCPI_FORM_SET, nullptr,
                                         &Device_storeList)),
    scpi_kwLeaf("WRITe", scpi_leafCustom(writeFile<&Device_getListAbsolutePath>, SCPI_FORM_SET,
                                         nullptr, &Device_getListAbsolutePath)),
    scpi_end(),
};

const ScpiNode memoryFileNodes[] = {
    scpi_kw("CORRection", memoryFileCorrectionNodes),
    scpi_kw("DELete", memoryFileDeleteNodes),
    scpi_kw("FREE", memoryFileFreeNodes),
    scpi_kw("LIST", memoryFileListNodes,
            scpi_leafCustom(scpi_cmd_runDeviceLeaf, SCPI_FORM_BOTH, nullptr,
                            &Device_setCurrentListName, &Device_getCurrentListName,
                            &Device_getLastListName, &Device_getFirstListName)),
    scpi_end(),
};

const ScpiNode memoryRamFdNNodes[] = {
    scpi_kwLeaf("READ",
                scpi_leafCustom(
                    sendBuffer<&Device_getPhaseNoiseFdBuffer, &Device_getPhaseNoiseFdBufferSize>,
                    SCPI_FORM_QUERY, nullptr, &Device_getPhaseNoiseFdBuffer)),
    scpi_kwLeaf("SIZE",
                scpi_leafCustom(indexCount<&Device_getPhaseNoiseFdBufferSize>, SCPI_FORM_QUERY,
                                nullptr, &Device_getPhaseNoiseFdBufferSize)),
    scpi_end(),
};

const ScpiNode memoryRamFnaNodes[] = {
    scpi_kwLeaf("READ", scpi_leafCustom(scpi_cmd_runDeviceLeaf, SCPI_FORM_QUERY, nullptr,
                                        &Device_getPhaseNoiseFbuffer)),
    scpi_end(),
};

const ScpiNode memoryRamFnaNNodes[] = {
    scpi_kwLeaf("READ", scpi_leafCustom(sendBuffer<&Device_getPhaseNoiseFbuffer, &Device_getFNSize>,
                                        SCPI_FORM_QUERY, nullptr, &Device_getPhaseNoiseFbuffer)),
    scpi_kwLeaf("SIZE", scpi_leafCustom(indexCount<&Device_getFNSize>, SCPI_FORM_QUERY, nullptr,
                                        &Device_getFNSize)),
    scpi_kwLeaf("SAMPles", scpi_leafCustom(indexCount<&Device_getFNSamplesCount>, SCPI_FORM_QUERY,
                                           nullptr, &Device_getFNSamplesCount)),
    scpi_end(),
};

const ScpiNode memoryRamTestNodes[] = {
    scpi_kwLeaf("DATA", scpi_leafCustom(memRamTest, SCPI_FORM_QUERY)),
    scpi_kwLeaf("READ", scpi_leafCustom(memRamTest, SCPI_FORM_QUERY)),
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
    scpi_kwLeaf("ENABle", scpi_leafCustom(scpi_cmd_displayEnable, SCPI_FORM_SET)),
    scpi_end(),
};
