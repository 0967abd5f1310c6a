// Test peeks into the recording stand-in of kr_generic_io / krssc_pulm: the requests it
// received (oldest first since the last clear), their argument records and payloads, and
// knobs for read data and failures. Tests and tools only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "kr_generic_io.h"

struct GioRecord {
    uint64_t seq;        // increases by one per request, across clears
    const char *device;  // "kr_generic_io" or "krssc_pulm"
    int request;         // 0 for rt_dev_write
    uint64_t word;       // argument word as passed
    uint32_t value;      // its low 32 bits (the value of by-value requests)
    uint32_t argBytes;
    uint8_t arg[64];               // the argument record as the driver saw it
    std::vector<uint8_t> payload;  // bytes behind the record's data pointer, if still kept
    uint32_t payloadBytes;         // payload length as requested
    int result;                    // what the request returned

    // The first u32 of the argument record (for requests that pass a pointer to a u32).
    uint32_t argU32(int index = 0) const;
    uint64_t argU64(int index = 0) const;
};

// One record of an I/O block payload (KRSPI_IOC_SEND_IOBLOCK, KRSPI_IOC_WRITE_ASYNC).
struct GioIoRecord {
    uint32_t address;
    uint32_t length;
    uint32_t options;
    std::vector<uint8_t> data;
};

size_t gio_record_count();
// index 0 is the oldest request still held. false when out of range.
bool gio_record_get(size_t index, GioRecord *out);
std::vector<GioRecord> gio_record_all();
// Requests with this code (all devices), oldest first.
std::vector<GioRecord> gio_record_byRequest(int request);
size_t gio_record_countRequest(int request);
void gio_record_clear();

// Splits an I/O block into its records; false when the block is malformed.
bool gio_record_parseIoBlock(const std::vector<uint8_t> &block, std::vector<GioIoRecord> *out);
// Every I/O record sent since the last clear, over all block requests, in order.
std::vector<GioIoRecord> gio_record_ioRecords();

// The next count requests with this code fail with result (a negative errno value).
void gio_record_failNext(int request, int count, int result);
// Read-type requests with this code return these bytes (then zeros); nullptr removes.
void gio_record_setReadData(int request, const void *data, size_t bytes);
// Removes failures and read data.
void gio_record_resetKnobs();
