// Bounded record of every request to the simulated drivers kr_generic_io and krssc_pulm:
// argument records, the bytes behind them and the results, plus knobs that make requests
// fail or give reads fixed bytes. Read through platform/sim/gio_record.h; firmware never
// sees it.
#pragma once

#include <pthread.h>

#include <cstddef>
#include <cstdint>

constexpr size_t GIO_REC_ARG_BYTES = 64;    // argument record bytes kept per request
constexpr size_t GIO_REC_RING = 4096;       // requests kept
constexpr size_t GIO_REC_ARENA = 1u << 20;  // payload bytes kept (data behind pointers)
constexpr int GIO_REC_FAULTS = 8;
constexpr int GIO_REC_READ_SLOTS = 8;
constexpr size_t GIO_REC_READ_BYTES = 64;
constexpr int GIO_REC_WRITE_REQUEST = 0;  // request code recorded for rt_dev_write

struct GioRecEntry {
    uint64_t seq;
    int device;  // index into gio_recorder_deviceName
    int request;
    uint64_t word;  // the argument word as passed (value or pointer)
    uint32_t argBytes;
    uint8_t arg[GIO_REC_ARG_BYTES];  // the record (values: the low 32 bits)
    uint64_t payloadStart;           // absolute arena position of the payload
    uint32_t payloadBytes;           // payload length as requested
    uint32_t payloadKept;            // bytes of it stored (capped at the arena size)
    int result;
};

struct GioRecFault {
    int request;  // 0: free
    int count;    // requests still to fail
    int result;
};

struct GioRecReadData {
    int request;  // 0: free
    uint32_t bytes;
    uint8_t data[GIO_REC_READ_BYTES];
};

struct GioRecState {
    pthread_mutex_t lock;
    uint64_t nextSeq;  // sequence number of the last request
    uint64_t written;  // entries ever written
    uint64_t cleared;  // entries below this index are no longer reported
    GioRecEntry ring[GIO_REC_RING];
    uint64_t arenaWritten;
    uint8_t arena[GIO_REC_ARENA];
    GioRecFault faults[GIO_REC_FAULTS];
    GioRecReadData reads[GIO_REC_READ_SLOTS];
};

// How a request's argument is read.
enum class GioRecArg {
    None,       // nothing to read
    Value,      // by value, low 32 bits
    U32In,      // pointer to one u32 the caller set
    U32Out,     // pointer to one u32 the driver fills
    Record,     // pointer to a record of the given size
    Write,      // KrGioTransfer whose data is sent
    Read,       // KrGioTransfer whose buffer the driver fills
    Buffer,     // KrGioBuffer whose bytes are sent
    FsSend,     // KrGioFsSend
    FsReply,    // KrGioFsReply filled by the driver
    Bitstream,  // KrGioPulmBitstream with its pattern
};

// Recording starts with the first of these; before it requests pass unrecorded.
void gio_recorder_enable();
GioRecState &gio_recorder_state();
const char *gio_recorder_deviceName(int device);
int gio_recorder_deviceCount();
GioRecArg gio_recorder_argKind(int request);
// A request code of the drivers' interface.
bool gio_recorder_isKnown(int request);

// Records a request as it arrives. *result: 0, -EFAULT for a missing record, or the failure
// a test asked for. Returns the entry's sequence number for gio_recorder_finish.
uint64_t gio_recorder_begin(int device, int request, void *arg, int *result);
// Stores the result and what the driver filled in.
void gio_recorder_finish(uint64_t seq, int request, void *arg, int result);
// Fills p with the bytes a test set up for this request (then zeros); false when none.
bool gio_recorder_readData(int request, void *p, size_t n);
void gio_recorder_recordWrite(int device, const void *buffer, size_t size);
