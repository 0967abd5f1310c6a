// The SCPI status registers (STATus:OPERation..., STATus:QUEStionable...) and the IEEE 488.2
// registers behind *ESE, *ESR?, *SRE and *STB?.
//
// Context: main loop (command handlers and the periodic supervision); no lock of their own.
#pragma once

#include <cstdint>

struct StatusRegister {
    uint16_t enable;
    uint16_t condition;
    uint16_t ntr;  // negative-transition filter: falling condition bits latched into event
    uint16_t ptr;  // positive-transition filter: rising condition bits latched into event
    uint16_t event;
    StatusRegister *parent;  // register that carries this one's summary bit; null when none
    uint16_t parentBit;      // that summary bit's mask in the parent's condition
};

// One per device, in this order.
struct DeviceStatusRegisters {
    StatusRegister operation;
    StatusRegister operationSweep;
    StatusRegister operationWait;
    StatusRegister questionable;
    StatusRegister questionableModulation;  // questionable bit 7
    StatusRegister pulseModulation;         // questionable modulation bit 2
    StatusRegister modulationFurther;       // questionable modulation bit 4, no command
    StatusRegister questionablePower;       // questionable bit 3
    uint16_t ese;
    uint16_t esr;
    uint16_t sre;
};

// The nodes below each STATus:<register>.
enum StatusRegisterNode {
    STATUS_NODE_CONDITION,
    STATUS_NODE_ENABLE,
    STATUS_NODE_EVENT,
    STATUS_NODE_NTRANSITION,
    STATUS_NODE_PTRANSITION,
};

// Zeroes everything (filters included) and links the registers to their parents.
void deviceStatusRegistersInit(DeviceStatusRegisters *block);

// Sets (on != 0) or clears the condition bits of bitMask. A rising bit is latched into the
// event through the positive-transition filter, a falling one through the negative filter,
// and each parent's summary bit (child event AND child enable != 0) follows up the chain,
// passing the parent's own filters in the same way.
void statusregister_setCondition(StatusRegister *reg, uint16_t bitMask, int on);
// Brings the parent's summary bit in line after the event or the enable changed.
void statusregister_updateSummary(StatusRegister *reg);

uint16_t statusregister_getEse(const DeviceStatusRegisters *block);
void statusregister_setEse(DeviceStatusRegisters *block, uint32_t value);  // low 8 bits
uint16_t statusregister_getEsr(const DeviceStatusRegisters *block);
uint16_t statusregister_getSre(const DeviceStatusRegisters *block);
void statusregister_setSre(DeviceStatusRegisters *block, uint32_t value);  // low 8 bits
uint16_t statusregister_getStb(const DeviceStatusRegisters *block);        // always 0

// The behaviour of one node of a STATus:<register> subtree. params is the parameter text
// (null or blank: none). Queries answer the field as "%d" (reading EVENt clears it) and take
// no parameter (-108). ENABle, NTRansition and PTRansition take exactly one unsigned integer
// (-109 without, -108 for more), of which the field keeps the low 16 bits. CONDition and EVENt
// are query-only: a set is -113 like any form a node does not have. A null register: -113.
int statusregister_handleNode(StatusRegister *reg, StatusRegisterNode node, bool query,
                              const char *params, char *out, int outSize, int *outLen);

// *ESE <n> / *ESE?, *SRE <n> / *SRE? (low 8 bits kept), *ESR? (not cleared by reading) and
// *STB? (always 0). The query-only ones refuse a set with -113.
int statusregister_handleEse(DeviceStatusRegisters *block, bool query, const char *params,
                             char *out, int outSize, int *outLen);
int statusregister_handleSre(DeviceStatusRegisters *block, bool query, const char *params,
                             char *out, int outSize, int *outLen);
int statusregister_handleEsr(DeviceStatusRegisters *block, bool query, const char *params,
                             char *out, int outSize, int *outLen);
int statusregister_handleStb(DeviceStatusRegisters *block, bool query, const char *params,
                             char *out, int outSize, int *outLen);
