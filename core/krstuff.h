// The firmware's small operating-system layer: shell commands, storage write brackets,
// path classes, threads, clocks and waits, deferred calls and assorted helpers.
#pragma once

#include <pthread.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>

struct Device;

// Shell command line (at most 510 characters) run with a minimal-memory clone and waited
// for. Returns the wait status, or -200. Main loop / start-up only (and the socket
// server's privileged-port fallback); concurrent callers are serialised.
// Firmware paths inside the command must already be resolved (KrPath). Under a simulation
// root the shell's PATH holds only the root's bin, sbin, usr/bin and usr/sbin, and
// KORVANE_ROOT is passed on.
int krstuffSystem(const char *command);
extern int sused_max;  // high-water mark of the shell child's stack use in bytes

// Storage switching: run the matching /bin script when executable, else return the
// failed access() result and do nothing.
int krstuffWriteKr();
int krstuffProtectKr();
int krstuffWriteRoot();
int krstuffProtectRoot();
int krstuffWriteStorage();
int krstuffReadStorage();
int krstuffProtectStorage();

// Path classes of firmware paths (as written, not resolved).
int krstuffIsTempFile(const char *path);
int krstuffIsKrFile(const char *path);
int krstuffIsStorageFile(const char *path);
int krstuffIsRootFile(const char *path);

// Stored files: written to "<path>.tmp" and renamed over the file once flushed to the
// medium, so a power cut leaves the old file or the new one, never a torn one. Paths are
// resolved (KrPath). Commit closes the file in every case and returns 0 or -200 (the
// old file then stays as it was).
FILE *krstuffOpenReplacement(const char *path);
int krstuffCommitReplacement(FILE *file, const char *path);
// Closes and removes an unfinished replacement; the file stays as it was.
void krstuffDiscardReplacement(FILE *file, const char *path);

// Threads are never joined. Returns 0 or -200.
int krstuffPthreadCreate(pthread_t *thread, void *(*body)(void *), void *argument,
                         size_t stackBytes);

// Co-kernel clock, nanoseconds.
typedef uint64_t KrAbsTime;
uint64_t kr_abstime();
uint64_t kr_abstime_us();
uint64_t kr_abstime_ms();
void kr_abstime_setnew(KrAbsTime *deadline, uint64_t us);
void kr_abstime_setmin(KrAbsTime *deadline, uint64_t us);
void kr_abstime_wait(const KrAbsTime *deadline);
void kr_abstime_waitTaskBody(const KrAbsTime *deadline);  // from a real-time task
void krstuff_delay_us(uint64_t us);
void krstuff_delay_us_spi(uint32_t us);

// Stopwatch, microseconds.
void kr_tic();
uint64_t kr_toc();
uint64_t kr_toc_tic();

// Two deferred-call slots, touched only from the main loop's thread.
typedef void (*KrDeferredFunction)(uint32_t argument);
struct KrDeferredCall {
    KrDeferredFunction function;  // null: free
    uint32_t argument;
    int64_t delayUs;  // remaining delay
};
extern KrDeferredCall deferredCalls[2];
int krstuff_deferredCall(KrDeferredFunction function, uint32_t argument, uint32_t delayUs);
void krstuff_executeDeferredCallsImmediately();
// One main-loop tick of periodMs: runs due slots (slot 0 first), counts down the others.
void krstuff_executeDeferredCalls(int periodMs);

int krstuff_getUserMemoryStats(uint64_t *freeBytes, uint64_t *usedBytes);
int krstuff_deleteUserMemory();
void krstuff_printMemoryUsage(uint64_t *virtualBytes, uint64_t *residentBytes);
uint32_t krstuff_getNecMinimumTiming_us(const int64_t *newFreqHz, const int64_t *oldFreqHz);
int krstuff_getRandomNumber(int low, int high);

void setBfU32(uint32_t *word, int msb, int lsb, uint32_t value);
uint32_t getBfU32(uint32_t word, int msb, int lsb);
char *uint8ToBin(uint8_t value, char *buffer);  // buffer of at least 9 bytes
int strcicmp(const char *a, const char *b);
void strappend(char **cursor, size_t *room, const char *format, ...)
    __attribute__((format(printf, 3, 4)));
int sortCsvLine(char *text, char separator);

int isFirmwareCompatible(Device *device);
int installFirmware(Device *device);
void installFirmware_deferred(uint32_t unused);
