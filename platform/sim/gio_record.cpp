#include "platform/sim/gio_record.h"

#include <algorithm>
#include <cstring>

#include "platform/gio_recorder.h"

namespace {

// Linked in, the peeks record from the first request on.
[[maybe_unused]] const bool recording = (gio_recorder_enable(), true);

struct Lock {
    Lock() { pthread_mutex_lock(&gio_recorder_state().lock); }
    ~Lock() { pthread_mutex_unlock(&gio_recorder_state().lock); }
};

uint64_t firstHeld(const GioRecState &s) {
    uint64_t oldest = s.written > GIO_REC_RING ? s.written - GIO_REC_RING : 0;
    return std::max(oldest, s.cleared);
}

void copyOut(const GioRecState &s, const GioRecEntry &e, GioRecord *out) {
    out->seq = e.seq;
    out->device = gio_recorder_deviceName(e.device);
    out->request = e.request;
    out->word = e.word;
    out->value = (uint32_t)e.word;
    out->argBytes = e.argBytes;
    memset(out->arg, 0, sizeof(out->arg));
    memcpy(out->arg, e.arg, std::min<size_t>(e.argBytes, sizeof(out->arg)));
    out->payloadBytes = e.payloadBytes;
    out->result = e.result;
    out->payload.clear();
    // Payload bytes overwritten by later requests are gone.
    if (e.payloadKept == 0 || s.arenaWritten - e.payloadStart > GIO_REC_ARENA) return;
    out->payload.resize(e.payloadKept);
    for (uint32_t i = 0; i < e.payloadKept; i++)
        out->payload[i] = s.arena[(e.payloadStart + i) % GIO_REC_ARENA];
}

bool isBlockRequest(int request) {
    return request == KRSPI_IOC_SEND_IOBLOCK || request == KRSPI_IOC_WRITE_ASYNC;
}

}  // namespace

uint32_t GioRecord::argU32(int index) const {
    uint32_t v = 0;
    if ((size_t)(index + 1) * 4 <= sizeof(arg)) memcpy(&v, arg + index * 4, 4);
    return v;
}

uint64_t GioRecord::argU64(int index) const {
    uint64_t v = 0;
    if ((size_t)(index + 1) * 8 <= sizeof(arg)) memcpy(&v, arg + index * 8, 8);
    return v;
}

size_t gio_record_count() {
    Lock l;
    const GioRecState &s = gio_recorder_state();
    return (size_t)(s.written - firstHeld(s));
}

bool gio_record_get(size_t index, GioRecord *out) {
    Lock l;
    const GioRecState &s = gio_recorder_state();
    uint64_t i = firstHeld(s) + index;
    if (i >= s.written) return false;
    copyOut(s, s.ring[i % GIO_REC_RING], out);
    return true;
}

std::vector<GioRecord> gio_record_all() {
    Lock l;
    const GioRecState &s = gio_recorder_state();
    std::vector<GioRecord> all;
    for (uint64_t i = firstHeld(s); i < s.written; i++) {
        all.emplace_back();
        copyOut(s, s.ring[i % GIO_REC_RING], &all.back());
    }
    return all;
}

std::vector<GioRecord> gio_record_byRequest(int request) {
    std::vector<GioRecord> all = gio_record_all();
    all.erase(std::remove_if(all.begin(), all.end(),
                             [request](const GioRecord &r) { return r.request != request; }),
              all.end());
    return all;
}

size_t gio_record_countRequest(int request) {
    return gio_record_byRequest(request).size();
}

void gio_record_clear() {
    Lock l;
    GioRecState &s = gio_recorder_state();
    s.cleared = s.written;
}

bool gio_record_parseIoBlock(const std::vector<uint8_t> &block, std::vector<GioIoRecord> *out) {
    out->clear();
    size_t at = 0;
    while (at < block.size()) {
        KrIoBlockRecordHeader h;
        if (block.size() - at < sizeof(h)) return false;
        memcpy(&h, block.data() + at, sizeof(h));
        size_t size = kr_ioblock_recordSize(h.length);
        if (h.length > block.size() || block.size() - at < size) return false;
        const uint8_t *d = block.data() + at + sizeof(h);
        out->push_back({h.address, h.length, h.options, std::vector<uint8_t>(d, d + h.length)});
        at += size;
    }
    return true;
}

std::vector<GioIoRecord> gio_record_ioRecords() {
    std::vector<GioIoRecord> records, one;
    for (const GioRecord &r : gio_record_all()) {
        if (!isBlockRequest(r.request) || r.result != 0) continue;
        if (gio_record_parseIoBlock(r.payload, &one))
            records.insert(records.end(), one.begin(), one.end());
    }
    return records;
}

void gio_record_failNext(int request, int count, int result) {
    Lock l;
    for (GioRecFault &f : gio_recorder_state().faults) {
        if (f.request == 0 || f.request == request) {
            f = {count > 0 ? request : 0, count, result};
            return;
        }
    }
}

void gio_record_setReadData(int request, const void *data, size_t bytes) {
    Lock l;
    GioRecState &s = gio_recorder_state();
    for (GioRecReadData &r : s.reads)
        if (r.request == request) r.request = 0;
    if (!data) return;
    for (GioRecReadData &r : s.reads) {
        if (r.request == 0) {
            r.request = request;
            r.bytes = (uint32_t)std::min(bytes, sizeof(r.data));
            memcpy(r.data, data, r.bytes);
            return;
        }
    }
}

void gio_record_resetKnobs() {
    Lock l;
    GioRecState &s = gio_recorder_state();
    memset(s.faults, 0, sizeof(s.faults));
    memset(s.reads, 0, sizeof(s.reads));
}
