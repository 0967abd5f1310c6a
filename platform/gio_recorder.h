// Stand-in for the drivers kr_generic_io and krssc_pulm: accepts every request, answers
// reads with zeros (or bytes a test set up) and keeps a bounded record of what it was
// asked. The record is read through platform/sim/gio_record.h; firmware never sees it.
#pragma once

#include <pthread.h>

#include <cstddef>
#include <cstdint>

#include "rtdev.h"

constexpr size_t GIO_STUB_ARG_BYTES = 64;    // argument record bytes kept per request
constexpr size_t GIO_STUB_RING = 4096;       // requests kept
constexpr size_t GIO_STUB_ARENA = 1u << 20;  // payload bytes kept (data behind pointers)
constexpr int GIO_STUB_FAULTS = 8;
constexpr int GIO_STUB_READ_SLOTS = 8;
constexpr size_t GIO_STUB_READ_BYTES = 64;
constexpr int GIO_STUB_WRITE_REQUEST = 0;  // request code recorded for rt_dev_write

struct GioStubEntry {
    uint64_t seq;
    int device;  // index into gio_stub_deviceName
    int request;
    uint64_t word;  // the argument word as passed (value or pointer)
    uint32_t argBytes;
    uint8_t arg[GIO_STUB_ARG_BYTES];  // the record (values: the low 32 bits)
    uint64_t payloadStart;            // absolute arena position of the payload
    uint32_t payloadBytes;            // payload length as requested
    uint32_t payloadKept;             // bytes of it stored (capped at the arena size)
    int result;
};

struct GioStubFault {
    int request;  // 0: free
    int count;    // requests still to fail
    int result;
};

struct GioStubReadData {
    int request;  // 0: free
    uint32_t bytes;
    uint8_t data[GIO_STUB_READ_BYTES];
};

struct GioStubState {
    pthread_mutex_t lock;
    uint64_t nextSeq;  // sequence number of the last request
    uint64_t written;  // entries ever written
    uint64_t cleared;  // entries below this index are no longer reported
    GioStubEntry ring[GIO_STUB_RING];
    uint64_t arenaWritten;
    uint8_t arena[GIO_STUB_ARENA];
    GioStubFault faults[GIO_STUB_FAULTS];
    GioStubReadData reads[GIO_STUB_READ_SLOTS];
};

GioStubState &gio_stub_state();
const char *gio_stub_deviceName(int device);
int gio_stub_deviceCount();
// The ops record shared by the stand-in devices; the context is the device index.
const RtDevOps *gio_stub_ops();
