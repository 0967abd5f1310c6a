#include "scpi/scpi_block.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "core/krpath.h"
#include "core/krstuff.h"
#include "core/printd.h"
#include "scpi/scpi_errorcodes.h"
#include "scpi/scpi_execute.h"
#include "scpi/scpi_link.h"

int krscpi_isArbitraryBlock(const char *text, int length) {
    if (length < 1 || text[0] != '#') return 0;
    if (length < 2) return -1;
    if (text[1] < '1' || text[1] > '9') return 0;
    int digits = text[1] - '0';
    for (int i = 2; i < length && i < digits + 2; i++)
        if (text[i] < '0' || text[i] > '9') return 0;
    if (length < digits + 2) return -1;
    return digits + 2;
}

void scpi_exec_initBlockDataConfig(ScpiBlockReceive *state) {
    memset(state, 0, sizeof(*state));
}

void scpi_exec_initBlockDataConfig(ScpiBlockSend *state) {
    memset(state, 0, sizeof(*state));
}

int scpi_exec_receivingBlockData(const ScpiLink *link) {
    return (link->blockReceive.flags & SCPI_BD_ACTIVE) ? 1 : 0;
}

int scpi_exec_sendingBlockData(const ScpiLink *link) {
    return (link->blockSend.flags & SCPI_BD_ACTIVE) ? 1 : 0;
}

namespace {

// Makes the file system of path writable (or, for storage reads, readable) and returns the
// flag bits that tell the end of the transfer what to restore.
uint32_t openStorage(const char *path, bool write) {
    if (krstuffIsTempFile(path)) return 0;
    if (krstuffIsStorageFile(path)) {
        if (write)
            krstuffWriteStorage();
        else
            krstuffReadStorage();
        return SCPI_BD_STORAGE_WRITABLE;
    }
    if (!write) return 0;
    if (krstuffIsKrFile(path)) {
        krstuffWriteKr();
        return SCPI_BD_KR_WRITABLE;
    }
    krstuffWriteRoot();
    return SCPI_BD_ROOT_WRITABLE;
}

void closeStorage(uint32_t flags) {
    if (flags & SCPI_BD_ROOT_WRITABLE) krstuffProtectRoot();
    if (flags & SCPI_BD_KR_WRITABLE) krstuffProtectKr();
    if (flags & SCPI_BD_STORAGE_WRITABLE) krstuffProtectStorage();
}

// The data length of a complete definite-length block header, or -1.
int64_t headerDataLength(const char *header) {
    if (!header) return -1;
    int len = (int)strnlen(header, SCPI_BD_HEADER_SIZE);
    if (len >= SCPI_BD_HEADER_SIZE || krscpi_isArbitraryBlock(header, len) != len) return -1;
    unsigned count = 0;
    if (sscanf(header + 2, "%u", &count) != 1) return -1;
    return count;
}

// Starts a receive whose destination is set up by the caller afterwards.
int startReceive(ScpiLink *link, int32_t length, const char *header) {
    ScpiBlockReceive *r = &link->blockReceive;
    if (r->flags & SCPI_BD_ACTIVE) return KR_E_EXECUTION_ERROR;
    scpi_exec_initBlockDataConfig(r);
    r->dataLength = length;
    if (header && header[0]) {
        int64_t count = headerDataLength(header);
        if (count < 0) return KR_E_INVALID_FORMAT;
        snprintf(r->header, sizeof(r->header), "%s", header);
        r->headerGiven = 1;
        r->headerLength = (int32_t)strlen(r->header);
        r->dataLength = (int32_t)count;
        r->position = r->headerLength;
        r->framingStage = 3;
    }
    r->flags = SCPI_BD_ACTIVE;
    return 0;
}

// A block of nothing ("#10") ends at once.
void finishEmptyReceive(ScpiLink *link) {
    ScpiBlockReceive *r = &link->blockReceive;
    if ((r->flags & SCPI_BD_ACTIVE) && r->headerGiven && r->dataLength == 0)
        scpi_exec_stopBlockDataReceive(link);
}

int32_t readLe32(const uint8_t *b) {
    return (int32_t)((uint32_t)b[0] | (uint32_t)b[1] << 8 | (uint32_t)b[2] << 16 |
                     (uint32_t)b[3] << 24);
}

void writeLe32(uint8_t *b, uint32_t v) {
    b[0] = (uint8_t)v;
    b[1] = (uint8_t)(v >> 8);
    b[2] = (uint8_t)(v >> 16);
    b[3] = (uint8_t)(v >> 24);
}

int startSend(ScpiLink *link, int32_t length, ScpiBdCompletion completion, void *context) {
    ScpiBlockSend *s = &link->blockSend;
    if (s->flags & SCPI_BD_ACTIVE) return KR_E_EXECUTION_ERROR;
    // The fragment table belongs to the send being prepared.
    ScpiBlockFragment fragments[SCPI_BD_MAX_FRAGMENTS];
    int32_t count = s->fragmentCount;
    memcpy(fragments, s->fragments, sizeof(fragments));
    scpi_exec_initBlockDataConfig(s);
    memcpy(s->fragments, fragments, sizeof(fragments));
    s->fragmentCount = count;
    s->dataLength = length;
    s->completion = completion;
    s->completionContext = context;
    return 0;
}

// Copies count data bytes at offset from the fragments (or the single memory buffer).
void copyMemory(const ScpiBlockSend *s, int64_t offset, char *out, int count) {
    if (s->fragmentCount == 0) {
        memcpy(out, s->memory + offset, (size_t)count);
        return;
    }
    for (int i = 0; i < s->fragmentCount && count > 0; i++) {
        const ScpiBlockFragment &f = s->fragments[i];
        if (offset >= f.length) {
            offset -= f.length;
            continue;
        }
        int n = (int)(f.length - offset < count ? f.length - offset : count);
        memcpy(out, f.address + offset, (size_t)n);
        out += n;
        count -= n;
        offset = 0;
    }
    if (count > 0) memset(out, 0, (size_t)count);
}

// Produces up to count data bytes at offset from the source; fewer when the source failed.
int readSource(ScpiBlockSend *s, int64_t offset, char *out, int count) {
    if (s->flags & SCPI_BD_READ_FAILED) return 0;
    if (s->memory || s->fragmentCount > 0) {
        copyMemory(s, offset, out, count);
        return count;
    }
    int got = 0;
    if (s->handler) {
        while (got < count) {
            int32_t n =
                s->handler(s->handlerContext, count - got, (int32_t)(offset + got), out + got);
            if (n <= 0) break;
            got += n > count - got ? count - got : n;
        }
    } else if (s->file) {
        got = (int)fread(out, 1, (size_t)count, s->file);
    }
    return got;  // nothing to read from: a file that could not be opened
}

}  // namespace

int scpi_exec_startBdReceive_handler(ScpiLink *link, int32_t length, ScpiBdReceiveHandler handler,
                                     void *context, ScpiBdCompletion completion,
                                     const char *header) {
    int r = startReceive(link, length, header);
    if (r != 0) return r;
    ScpiBlockReceive *rx = &link->blockReceive;
    rx->handler = handler;
    rx->handlerContext = context;
    rx->completion = completion;
    rx->completionContext = context;
    finishEmptyReceive(link);
    return 0;
}

int scpi_exec_discardBlock(ScpiLink *link, const char *header) {
    int r = startReceive(link, 0, header);
    if (r == 0) finishEmptyReceive(link);
    return r;
}

int scpi_exec_startBdReceive_file(ScpiLink *link, const char *path, ScpiBdCompletion completion,
                                  void *context, const char *header) {
    if (scpi_exec_receivingBlockData(link)) return KR_E_EXECUTION_ERROR;
    KrPath resolved(path);
    int r = startReceive(link, 0, header);
    if (r != 0) return r;
    ScpiBlockReceive *rx = &link->blockReceive;
    snprintf(rx->fileName, sizeof(rx->fileName), "%s", path);
    rx->completion = completion;
    rx->completionContext = context;
    rx->flags |= openStorage(path, true);
    // The old file stays until the new one is complete.
    rx->file = resolved.ok() ? krstuffOpenReplacement(resolved) : nullptr;
    int result = 0;
    if (!rx->file) {
        printd("scpi_exec_startBdReceive_file(): could not open file %s\n", path);
        result = KR_E_EXECUTION_ERROR;  // the block's bytes are consumed all the same
    }
    finishEmptyReceive(link);
    return result;
}

int scpi_exec_startBdReceive_fileInside(ScpiLink *link, const char *dir, const char *name,
                                        ScpiBdCompletion completion, void *context,
                                        const char *header) {
    char resolved[KR_PATH_MAX];
    char path[SCPI_BD_PATH_SIZE];
    int n = snprintf(path, sizeof(path), "%s/%s", dir, name ? name : "");
    if (krpath_joinInside(dir, name, resolved, sizeof(resolved)) != 0 || n < 0 ||
        n >= (int)sizeof(path)) {
        printd("scpi_exec_startBdReceive_fileInside(): refused name <%s>\n", name ? name : "");
        int r = scpi_exec_discardBlock(link, header);
        return r == KR_E_INVALID_FORMAT ? r : KR_E_EXECUTION_ERROR;
    }
    return scpi_exec_startBdReceive_file(link, path, completion, context, header);
}

// Main thread (link service). Consumes the bytes that belong to the block.
int scpi_exec_handleBlockDataReceive(ScpiLink *link, const char *bytes, int count) {
    ScpiBlockReceive *r = &link->blockReceive;
    int used = 0;
    while (used < count && (r->flags & SCPI_BD_ACTIVE)) {
        if (r->framingStage == 0 || r->framingStage == 2) {
            r->framing[r->framingFill++] = (uint8_t)bytes[used++];
            r->position++;
            if (r->framingFill < 4) continue;
            r->framingFill = 0;
            if (r->framingStage == 0) {
                r->headerLength = readLe32(r->framing);
                if (r->headerLength < 0) r->headerLength = 0;
                r->framingStage = r->headerLength > 0 ? 1 : 2;
            } else {
                r->dataLength = readLe32(r->framing);
                if (r->dataLength < 0) r->dataLength = 0;
                printd("hlen %d, dlen %d\n", r->headerLength, r->dataLength);
                r->framingStage = 3;
                // From here on position counts data bytes after the framing.
                r->position = 0;
                r->headerLength = 0;
                if (r->dataLength == 0) scpi_exec_stopBlockDataReceive(link);
            }
            continue;
        }
        if (r->framingStage == 1) {
            int skip = r->headerLength - r->framingFill;
            int n = count - used < skip ? count - used : skip;
            r->framingFill += n;
            used += n;
            if (r->framingFill >= r->headerLength) {
                r->framingFill = 0;
                r->framingStage = 2;
            }
            continue;
        }
        int64_t offset = r->position - r->headerLength;
        int64_t left = r->dataLength - offset;
        int n = (int)(count - used < left ? count - used : left);
        if (n > 0) {
            int accepted = n;
            if (r->file) {
                if (fwrite(bytes + used, 1, (size_t)n, r->file) != (size_t)n) {
                    printd("scpi_exec_handleBlockDataReceive(): write error %d (%s)\n", errno,
                           strerror(errno));
                    r->flags |= SCPI_BD_WRITE_FAILED;
                }
            } else if (r->handler) {
                int last = n == left;
                printd(
                    "scpi_exec_handleBlockDataReceive(): passing %d bytes to handler callback, "
                    "lastChunk %d\n",
                    n, last);
                accepted = r->handler(r->handlerContext, n, (int32_t)offset, bytes + used);
                if (accepted < 0) accepted = 0;
                if (accepted > n) accepted = n;
                if (last && accepted < n) {
                    printd(
                        "scpi_exec_handleBlockDataReceive(): last chunk not accepted, "
                        "skipping %d bytes\n",
                        n - accepted);
                    accepted = n;
                }
            }
            if (accepted == 0) break;  // the handler wants the bytes again later
            used += accepted;
            r->position += accepted;
        }
        if (r->position - r->headerLength >= r->dataLength) scpi_exec_stopBlockDataReceive(link);
    }
    printd("scpi_exec_handleBlockDataReceive(): reporting %d bytes accepted\n", used);
    return used;
}

void scpi_exec_stopBlockDataReceive(ScpiLink *link) {
    ScpiBlockReceive *r = &link->blockReceive;
    int stored = 0;
    if (r->file) {
        KrPath resolved(r->fileName);
        if (r->flags & SCPI_BD_WRITE_FAILED) {
            krstuffDiscardReplacement(r->file, resolved);
            stored = KR_E_EXECUTION_ERROR;
        } else {
            stored = krstuffCommitReplacement(r->file, resolved);
        }
    }
    r->file = nullptr;
    closeStorage(r->flags);
    ScpiBdCompletion completion = r->completion;
    void *context = r->completionContext;
    r->flags = 0;
    // A file that could not be stored is not handed on as if it had been.
    if (stored != 0)
        scpi_parser_error(stored);
    else if (completion)
        scpi_parser_error(completion(context, r->fileName));
}

void scpi_exec_cancelBlockDataReceive(ScpiLink *link) {
    ScpiBlockReceive *r = &link->blockReceive;
    if (!(r->flags & SCPI_BD_ACTIVE)) return;
    if (r->file) {
        // An incomplete file is never taken for a complete one: the old one stays.
        krstuffDiscardReplacement(r->file, KrPath(r->fileName));
        r->file = nullptr;
    }
    closeStorage(r->flags);
    r->flags = 0;
    r->completion = nullptr;
}

int scpi_exec_startBdSend_file(ScpiLink *link, const char *path, ScpiBdCompletion completion,
                               void *context) {
    int r = startSend(link, 0, completion, context);
    if (r != 0) return r;
    ScpiBlockSend *s = &link->blockSend;
    s->fragmentCount = 0;
    snprintf(s->fileName, sizeof(s->fileName), "%s", path);
    s->flags = SCPI_BD_ACTIVE | openStorage(path, false);
    KrPath resolved(path);
    s->file = resolved.ok() ? fopen(resolved, "rb") : nullptr;
    long size = -1;
    if (s->file && fseek(s->file, 0, SEEK_END) == 0) {
        size = ftell(s->file);
        if (fseek(s->file, 0, SEEK_SET) != 0) size = -1;
    }
    if (size < 0 || size > INT32_MAX) {
        printd("scpi_exec_startBdSend_file(): could not open file\n");
        if (s->file) fclose(s->file);
        s->file = nullptr;
        size = 0;
    }
    s->dataLength = (int32_t)size;
    return scpi_exec_bdSend_asciiHeader(link);
}

int scpi_exec_startBdSend_fileInside(ScpiLink *link, const char *dir, const char *name,
                                     ScpiBdCompletion completion, void *context) {
    char resolved[KR_PATH_MAX];
    char path[SCPI_BD_PATH_SIZE];
    int n = snprintf(path, sizeof(path), "%s/%s", dir, name ? name : "");
    if (krpath_joinInside(dir, name, resolved, sizeof(resolved)) != 0 || n < 0 ||
        n >= (int)sizeof(path)) {
        printd("scpi_exec_startBdSend_fileInside(): refused name <%s>\n", name ? name : "");
        // The client waits for a block: it gets an empty one.
        int r = scpi_exec_startBdSend_memory(link, 0, "", nullptr, nullptr);
        return r != 0 ? r : KR_E_EXECUTION_ERROR;
    }
    return scpi_exec_startBdSend_file(link, path, completion, context);
}

int scpi_exec_startBdSend_memory(ScpiLink *link, int32_t length, const char *address,
                                 ScpiBdCompletion completion, void *context) {
    int r = startSend(link, length < 0 ? 0 : length, completion, context);
    if (r != 0) return r;
    ScpiBlockSend *s = &link->blockSend;
    s->fragmentCount = 0;
    s->memory = address ? address : "";
    if (!address) s->dataLength = 0;
    s->flags = SCPI_BD_ACTIVE;
    return scpi_exec_bdSend_asciiHeader(link);
}

int scpi_exec_startBdSend_handler(ScpiLink *link, int32_t length, ScpiBdSendHandler handler,
                                  void *context, ScpiBdCompletion completion,
                                  void *completionContext) {
    int r = startSend(link, length < 0 ? 0 : length, completion, completionContext);
    if (r != 0) return r;
    ScpiBlockSend *s = &link->blockSend;
    s->fragmentCount = 0;
    s->handler = handler;
    s->handlerContext = context;
    s->flags = SCPI_BD_ACTIVE;
    return scpi_exec_bdSend_asciiHeader(link);
}

void scpi_exec_bd_clearFragments(ScpiLink *link) {
    if (scpi_exec_sendingBlockData(link)) return;  // the running send still reads them
    link->blockSend.fragmentCount = 0;
}

int scpi_exec_bd_appendFragment(ScpiLink *link, const char *address, int32_t length) {
    ScpiBlockSend *s = &link->blockSend;
    if (scpi_exec_sendingBlockData(link) || s->fragmentCount >= SCPI_BD_MAX_FRAGMENTS || !address ||
        length < 0)
        return KR_E_EXECUTION_ERROR;
    s->fragments[s->fragmentCount++] = ScpiBlockFragment{address, length};
    return 0;
}

int scpi_exec_startBdSend_fragmentedMemory(ScpiLink *link, ScpiBdCompletion completion,
                                           void *context) {
    ScpiBlockSend *s = &link->blockSend;
    int64_t total = 0;
    for (int i = 0; i < s->fragmentCount; i++)
        total += s->fragments[i].length;
    if (total > INT32_MAX) return KR_E_EXECUTION_ERROR;
    int r = startSend(link, (int32_t)total, completion, context);
    if (r != 0) return r;
    // Binary header: its own length, the fragment lengths, the data length.
    int n = s->fragmentCount;
    writeLe32(s->binaryHeader, (uint32_t)(4 * n));
    for (int i = 0; i < n; i++)
        writeLe32(s->binaryHeader + 4 + 4 * i, (uint32_t)s->fragments[i].length);
    writeLe32(s->binaryHeader + 4 + 4 * n, (uint32_t)total);
    s->header[0] = 0;
    s->headerLength = 4 + 4 * n + 4;
    s->flags = SCPI_BD_ACTIVE;
    return 0;
}

int scpi_exec_bdSend_asciiHeader(ScpiLink *link) {
    ScpiBlockSend *s = &link->blockSend;
    if (s->headerLength) return KR_E_EXECUTION_ERROR;
    char count[12];
    int digits = snprintf(count, sizeof(count), "%d", s->dataLength);
    s->headerLength = snprintf(s->header, sizeof(s->header), "#%d%s", digits, count);
    return 0;
}

// Main thread (link service). Header first, then data; failed reads become zero bytes so the
// block always has its announced length.
int scpi_exec_handleBlockDataSend(ScpiLink *link, char *buffer, int space) {
    ScpiBlockSend *s = &link->blockSend;
    int n = 0;
    while (n < space && (s->flags & SCPI_BD_ACTIVE)) {
        if (s->position < s->headerLength) {
            buffer[n++] =
                s->header[0] == '#' ? s->header[s->position] : (char)s->binaryHeader[s->position];
            s->position++;
            continue;
        }
        int64_t offset = s->position - s->headerLength;
        int64_t left = s->dataLength - offset;
        if (left <= 0) {
            scpi_exec_stopBlockDataSend(link);
            break;
        }
        int chunk = (int)(space - n < left ? space - n : left);
        int got = readSource(s, offset, buffer + n, chunk);
        if (got < chunk) {
            if (!(s->flags & SCPI_BD_READ_FAILED))
                printd("scpi_exec_handleBlockDataSend(): read failed at %lld, padding\n",
                       (long long)(offset + got));
            s->flags |= SCPI_BD_READ_FAILED;
            memset(buffer + n + got, 0, (size_t)(chunk - got));
        }
        n += chunk;
        s->position += chunk;
        if (s->position - s->headerLength >= s->dataLength) scpi_exec_stopBlockDataSend(link);
    }
    return n;
}

void scpi_exec_stopBlockDataSend(ScpiLink *link) {
    ScpiBlockSend *s = &link->blockSend;
    if (s->file) fclose(s->file);
    s->file = nullptr;
    closeStorage(s->flags);
    ScpiBdCompletion completion = s->completion;
    void *context = s->completionContext;
    s->flags = 0;
    s->headerLength = 0;
    s->fragmentCount = 0;
    if (completion) scpi_parser_error(completion(context, s->fileName));
}

void scpi_exec_cancelBlockDataSend(ScpiLink *link) {
    ScpiBlockSend *s = &link->blockSend;
    if (!(s->flags & SCPI_BD_ACTIVE)) return;
    // The rest of the source is read and dropped, so that a producer is left at its end.
    if (s->file || s->handler) {
        char piece[SCPI_BD_DISCARD_PIECE];
        int64_t offset = s->position > s->headerLength ? s->position - s->headerLength : 0;
        while (offset < s->dataLength && !(s->flags & SCPI_BD_READ_FAILED)) {
            int n = (int)(s->dataLength - offset < SCPI_BD_DISCARD_PIECE ? s->dataLength - offset
                                                                         : SCPI_BD_DISCARD_PIECE);
            if (readSource(s, offset, piece, n) < n) break;
            offset += n;
        }
    }
    scpi_exec_stopBlockDataSend(link);
}

int scpi_exec_startBdReadFile_handler(ScpiBdReceiveHandler handler, void *context,
                                      ScpiBdCompletion completion, void *completionContext,
                                      const char *path) {
    static char buffer[SCPI_BD_READFILE_BUFFER];
    FILE *f = fopen(KrPath(path), "rb");
    if (!f) {
        printd("scpi_exec_startBdReadFile_handler file open error %d (%s)\n", errno,
               strerror(errno));
        return KR_E_EXECUTION_ERROR;
    }
    int64_t offset = 0;
    for (;;) {
        size_t n = fread(buffer, 1, sizeof(buffer), f);
        if (n > 0 && handler) handler(context, (int32_t)n, (int32_t)offset, buffer);
        offset += (int64_t)n;
        if (n < sizeof(buffer)) break;
    }
    if (ferror(f)) {
        printd("scpi_exec_startBdReadFile_handler file read error %d (%s)\n", errno,
               strerror(errno));
        fclose(f);
        return KR_E_EXECUTION_ERROR;
    }
    fclose(f);
    return completion ? completion(completionContext, path) : 0;
}
