// The I/O program player of the simulated driver kr_generic_io (standard variant). I/O
// blocks and unbuffered writes join one queue that a player thread works off in order: SPI
// records go to the chips, opcodes take the time they take on the hardware (scaled by the
// simulation's time scale). A caller sending more than the queue holds waits, as the driver
// makes a sweep task wait while earlier points are still being played.
#pragma once

#include <cstdint>

#include "kr_generic_io.h"

constexpr uint32_t SIMPLAYER_QUEUE_BYTES = 2 * 16384;

// Any thread. 0, or -EINVAL for a malformed block (nothing of it is played).
int simplayer_sendBlock(const uint8_t *data, uint32_t length);
int simplayer_write(const KrGioTransfer *t);
int simplayer_select(uint32_t word);
int simplayer_deselect();
// Waits until everything queued has been played, then reads. 0 or -ETIMEDOUT.
int simplayer_read(const KrGioTransfer *t);
// Asynchronous path: played at once, beside the queue.
int simplayer_asyncBlock(const uint8_t *data, uint32_t length);
int simplayer_asyncRead(const KrGioTransfer *t);

// Point timer.
void simplayer_setPointTiming(uint64_t t1, uint64_t t2);
void simplayer_timerOff();
// Stop sequences: drops what is queued and ends the waits in progress.
void simplayer_abort();
// true once the queue is empty and nothing plays.
bool simplayer_waitIdle(double timeoutSeconds);
void simplayer_reset();
uint64_t simplayer_recordsPlayed();
