#include "scpi/scpi_status.h"

#include <cstring>

#include "scpi/scpi_convert.h"
#include "scpi/scpi_errorcodes.h"

namespace {

// Longer than any chain of the status block; stops a mislinked chain from looping.
constexpr int MAX_CHAIN_DEPTH = 8;

void link(StatusRegister *reg, StatusRegister *parent, uint16_t bit) {
    reg->parent = parent;
    reg->parentBit = bit;
}

bool noParameter(const char *params) {
    if (params == nullptr) return true;
    while (*params == ' ' || *params == '\t')
        params++;
    return *params == '\0';
}

int takeOneUnsigned(const char *params, uint32_t *value) {
    if (noParameter(params)) return KR_E_MISSING_PARAMETER;
    if (strchr(params, ',') != nullptr) return KR_E_PARAMETER_NOT_ALLOWED;
    return scpi_str2uint(params, value);
}

uint16_t *fieldOf(StatusRegister *reg, StatusRegisterNode node) {
    switch (node) {
        case STATUS_NODE_CONDITION:
            return &reg->condition;
        case STATUS_NODE_ENABLE:
            return &reg->enable;
        case STATUS_NODE_EVENT:
            return &reg->event;
        case STATUS_NODE_NTRANSITION:
            return &reg->ntr;
        case STATUS_NODE_PTRANSITION:
            return &reg->ptr;
    }
    return nullptr;
}

// A common 8-bit register: the query answers value, a set (only where field is given) keeps
// the low 8 bits.
int handleCommon(uint16_t value, uint16_t *field, bool query, const char *params, char *out,
                 int outSize, int *outLen) {
    if (outLen != nullptr) *outLen = 0;
    if (query) {
        if (!noParameter(params)) return KR_E_PARAMETER_NOT_ALLOWED;
        return scpi_uint2str(value, out, outSize, outLen);
    }
    if (field == nullptr) return KR_E_UNDEFINED_HEADER;
    uint32_t v = 0;
    int r = takeOneUnsigned(params, &v);
    if (r == 0) *field = static_cast<uint16_t>(v & 0xFFu);
    return r;
}

}  // namespace

void deviceStatusRegistersInit(DeviceStatusRegisters *block) {
    memset(block, 0, sizeof *block);
    link(&block->questionableModulation, &block->questionable, 1u << 7);
    link(&block->pulseModulation, &block->questionableModulation, 1u << 2);
    link(&block->modulationFurther, &block->questionableModulation, 1u << 4);
    link(&block->questionablePower, &block->questionable, 1u << 3);
}

void statusregister_setCondition(StatusRegister *reg, uint16_t bitMask, int on) {
    for (int depth = 0; reg != nullptr && depth < MAX_CHAIN_DEPTH; depth++) {
        uint16_t old = reg->condition;
        uint16_t now = on ? old | bitMask : old & static_cast<uint16_t>(~bitMask);
        reg->condition = now;
        reg->event |= ((now & ~old) & reg->ptr) | ((old & ~now) & reg->ntr);
        if (reg->parent == nullptr) break;
        on = (reg->event & reg->enable) != 0;
        bitMask = reg->parentBit;
        reg = reg->parent;
    }
}

void statusregister_updateSummary(StatusRegister *reg) {
    if (reg->parent == nullptr) return;
    statusregister_setCondition(reg->parent, reg->parentBit, (reg->event & reg->enable) != 0);
}

uint16_t statusregister_getEse(const DeviceStatusRegisters *block) {
    return block->ese;
}

void statusregister_setEse(DeviceStatusRegisters *block, uint32_t value) {
    block->ese = static_cast<uint16_t>(value & 0xFFu);
}

uint16_t statusregister_getEsr(const DeviceStatusRegisters *block) {
    return block->esr;
}

uint16_t statusregister_getSre(const DeviceStatusRegisters *block) {
    return block->sre;
}

void statusregister_setSre(DeviceStatusRegisters *block, uint32_t value) {
    block->sre = static_cast<uint16_t>(value & 0xFFu);
}

uint16_t statusregister_getStb(const DeviceStatusRegisters *) {
    return 0;
}

int statusregister_handleNode(StatusRegister *reg, StatusRegisterNode node, bool query,
                              const char *params, char *out, int outSize, int *outLen) {
    if (outLen != nullptr) *outLen = 0;
    uint16_t *field = reg != nullptr ? fieldOf(reg, node) : nullptr;
    if (field == nullptr) return KR_E_UNDEFINED_HEADER;
    if (query) {
        if (!noParameter(params)) return KR_E_PARAMETER_NOT_ALLOWED;
        int r = scpi_int2str(*field, out, outSize, outLen);
        // An event that could not be answered stays latched.
        if (r == 0 && node == STATUS_NODE_EVENT) {
            reg->event = 0;
            statusregister_updateSummary(reg);
        }
        return r;
    }
    if (node == STATUS_NODE_CONDITION || node == STATUS_NODE_EVENT) return KR_E_UNDEFINED_HEADER;
    uint32_t v = 0;
    int r = takeOneUnsigned(params, &v);
    if (r != 0) return r;
    *field = static_cast<uint16_t>(v & 0xFFFFu);
    if (node == STATUS_NODE_ENABLE) statusregister_updateSummary(reg);
    return 0;
}

int statusregister_handleEse(DeviceStatusRegisters *block, bool query, const char *params,
                             char *out, int outSize, int *outLen) {
    return handleCommon(block->ese, &block->ese, query, params, out, outSize, outLen);
}

int statusregister_handleSre(DeviceStatusRegisters *block, bool query, const char *params,
                             char *out, int outSize, int *outLen) {
    return handleCommon(block->sre, &block->sre, query, params, out, outSize, outLen);
}

int statusregister_handleEsr(DeviceStatusRegisters *block, bool query, const char *params,
                             char *out, int outSize, int *outLen) {
    return handleCommon(block->esr, nullptr, query, params, out, outSize, outLen);
}

int statusregister_handleStb(DeviceStatusRegisters *block, bool query, const char *params,
                             char *out, int outSize, int *outLen) {
    return handleCommon(statusregister_getStb(block), nullptr, query, params, out, outSize, outLen);
}
