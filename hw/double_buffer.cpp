// Double buffer of the FS FPGA link.
#include "hw/double_buffer.h"

#include <cstring>

#include "core/printd.h"

namespace {

struct Guard {
    explicit Guard(DoubleBuffer *d) : db(d) { pthread_mutex_lock(&db->lock); }
    ~Guard() { pthread_mutex_unlock(&db->lock); }
    DoubleBuffer *db;
};

uint32_t roomLocked(const DoubleBufferHalf &h) {
    return h.ready ? 0 : h.capacity - h.used;
}

void closeRead(DoubleBuffer *db, bool signal) {
    bool freed = false;
    {
        Guard g(db);
        DoubleBufferHalf &h = db->buffer[db->readCount & 1];
        if (h.ready) {
            h.ready = 0;
            db->readCount++;
            freed = true;
        }
    }
    if (freed && signal) kr_event_signal(&db->readEvent);
}

}  // namespace

void DOUBLE_BUFFER_init(DoubleBuffer *db, uint8_t *base0, uint32_t capacity0, uint8_t *base1,
                        uint32_t capacity1) {
    db->buffer[0] = {base0, capacity0, 0, 0};
    db->buffer[1] = {base1, capacity1, 0, 0};
    db->readCount = 0;
    db->writeCount = 0;
    db->flipMode = 0;
    db->writeOpen = 0;
    kr_event_init(&db->readEvent);
    kr_event_init(&db->writeEvent);
    pthread_mutex_init(&db->lock, nullptr);
}

void DOUBLE_BUFFER_release(DoubleBuffer *db) {
    kr_event_release(&db->readEvent);
    kr_event_release(&db->writeEvent);
    pthread_mutex_destroy(&db->lock);
}

void DOUBLE_BUFFER_setFlipMode(DoubleBuffer *db, uint32_t mode) {
    Guard g(db);
    db->flipMode = mode;
}

uint8_t *DOUBLE_BUFFER_openWrite(DoubleBuffer *db, uint32_t *room) {
    Guard g(db);
    if (db->writeOpen)
        printd("DOUBLE_BUFFER_openWrite() warning: nested open write or concurrent access\n");
    db->writeOpen = 1;
    DoubleBufferHalf &h = db->buffer[db->writeCount & 1];
    *room = roomLocked(h);
    return h.base + h.used;
}

void DOUBLE_BUFFER_closeWrite(DoubleBuffer *db, uint32_t n) {
    bool flipNow;
    {
        Guard g(db);
        if (!db->writeOpen)
            printd("DOUBLE_BUFFER_closeWrite() warning: nested close write or concurrent access\n");
        db->writeOpen = 0;
        DoubleBufferHalf &h = db->buffer[db->writeCount & 1];
        if (n > roomLocked(h))
            printd("DOUBLE_BUFFER_closeWrite() warning: too many bytes written\n");
        else
            h.used += n;
        flipNow = db->flipMode == 0;
    }
    if (flipNow) DOUBLE_BUFFER_flip(db);
}

void DOUBLE_BUFFER_flip(DoubleBuffer *db) {
    bool handedOver = false;
    {
        Guard g(db);
        if (db->writeOpen)
            printd("DOUBLE_BUFFER_flip() warning: buffer is currently open for writing\n");
        DoubleBufferHalf &h = db->buffer[db->writeCount & 1];
        if (h.used != 0) {
            h.ready = h.used;
            h.used = 0;
            db->writeCount++;
            handedOver = true;
        }
    }
    if (handedOver) kr_event_signal(&db->writeEvent);
}

uint8_t *DOUBLE_BUFFER_openWrite_blocking(DoubleBuffer *db, uint32_t n) {
    if (n > db->buffer[0].capacity || n > db->buffer[1].capacity) return nullptr;
    for (;;) {
        uint32_t room;
        uint8_t *at = DOUBLE_BUFFER_openWrite(db, &room);
        if (room >= n) return at;
        DOUBLE_BUFFER_closeWrite(db, 0);
        DOUBLE_BUFFER_flip(db);
        at = DOUBLE_BUFFER_openWrite(db, &room);
        if (room >= n) return at;
        DOUBLE_BUFFER_closeWrite(db, 0);
        kr_event_wait(&db->readEvent);
    }
}

const uint8_t *DOUBLE_BUFFER_openRead(DoubleBuffer *db, uint32_t *length) {
    Guard g(db);
    const DoubleBufferHalf &h = db->buffer[db->readCount & 1];
    *length = h.ready;
    return h.base;
}

void DOUBLE_BUFFER_closeRead(DoubleBuffer *db) {
    closeRead(db, true);
}

void DOUBLE_BUFFER_closeRead_silent(DoubleBuffer *db) {
    closeRead(db, false);
}

void DOUBLE_BUFFER_waitWrite(DoubleBuffer *db) {
    kr_event_wait(&db->writeEvent);
}

void DOUBLE_BUFFER_wakeReader(DoubleBuffer *db) {
    kr_event_signal(&db->writeEvent);
}
