// Two transmit buffers between one writer (the thread that holds the SPI lock or the FS
// channel lock) and one reader (the FS FPGA transmit thread, or flush). The writer fills
// buffer writeCount & 1 and hands it over (flip); the reader takes buffer readCount & 1 and
// frees it (close read). A handed-over buffer is not written again until it is read.
#pragma once

#include <pthread.h>

#include <cstdint>

#include "core/kr_event.h"

struct DoubleBufferHalf {
    uint8_t *base;
    uint32_t capacity;
    uint32_t ready;  // bytes handed over for reading, 0 = free
    uint32_t used;   // bytes written so far
};

struct DoubleBuffer {
    DoubleBufferHalf buffer[2];
    uint32_t readCount;   // buffer being read: readCount & 1
    uint32_t writeCount;  // buffer being written: writeCount & 1
    KrEvent readEvent;    // a buffer has been read
    KrEvent writeEvent;   // a buffer has been handed over
    uint32_t flipMode;    // 0: hand over at every close of a write, 1: only on flip
    uint32_t writeOpen;
    pthread_mutex_t lock;  // guards the counters; held only for a few instructions
};

void DOUBLE_BUFFER_init(DoubleBuffer *db, uint8_t *base0, uint32_t capacity0, uint8_t *base1,
                        uint32_t capacity1);
void DOUBLE_BUFFER_release(DoubleBuffer *db);
void DOUBLE_BUFFER_setFlipMode(DoubleBuffer *db, uint32_t mode);

// Writer. The write position; *room gets the free space (0 while the buffer waits to be
// read).
uint8_t *DOUBLE_BUFFER_openWrite(DoubleBuffer *db, uint32_t *room);
// Like openWrite, but waits (flipping and waiting for the reader) until n bytes fit.
// nullptr when n can never fit.
uint8_t *DOUBLE_BUFFER_openWrite_blocking(DoubleBuffer *db, uint32_t n);
void DOUBLE_BUFFER_closeWrite(DoubleBuffer *db, uint32_t n);
void DOUBLE_BUFFER_flip(DoubleBuffer *db);

// Reader. The buffer to read and its length in *length (0: nothing to read).
const uint8_t *DOUBLE_BUFFER_openRead(DoubleBuffer *db, uint32_t *length);
void DOUBLE_BUFFER_closeRead(DoubleBuffer *db);
// Reader side used inside flush and flip: frees without signalling.
void DOUBLE_BUFFER_closeRead_silent(DoubleBuffer *db);
// Reader: waits until a buffer has been handed over (or DOUBLE_BUFFER_wakeReader).
void DOUBLE_BUFFER_waitWrite(DoubleBuffer *db);
void DOUBLE_BUFFER_wakeReader(DoubleBuffer *db);
