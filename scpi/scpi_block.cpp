#include "scpi/scpi_block.h"

#include <cstdio>
#include <cstring>

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

void scpi_exec_initBlockDataConfig(ScpiBlockSend *state) { memset(state, 0, sizeof(*state)); }

int scpi_exec_receivingBlockData(const ScpiLink *link) {
    return (link->blockReceive.flags & SCPI_BD_ACTIVE) ? 1 : 0;
}

int scpi_exec_sendingBlockData(const ScpiLink *link) {
    return (link->blockSend.flags & SCPI_BD_ACTIVE) ? 1 : 0;
}

// Main thread (a command handler). With a header text ("#<n><count>") the data length is read
// from it and the header has already been consumed with the command.
int scpi_exec_startBdReceive_handler(ScpiLink *link, int32_t length, ScpiBdReceiveHandler handler,
                                     void *context, ScpiBdCompletion completion,
                                     const char *header) {
    ScpiBlockReceive *r = &link->blockReceive;
    scpi_exec_initBlockDataConfig(r);
    r->handler = handler;
    r->handlerContext = context;
    r->completion = completion;
    r->completionContext = context;
    r->dataLength = length;
    if (header && header[0]) {
        unsigned count = 0;
        if (strlen(header) < 3 || sscanf(header + 2, "%u", &count) != 1) return KR_E_INVALID_FORMAT;
        snprintf(r->header, sizeof(r->header), "%s", header);
        r->headerGiven = 1;
        r->headerLength = (int32_t)strlen(r->header);
        r->dataLength = (int32_t)count;
        r->position = r->headerLength;
        r->framingStage = 3;
    }
    r->flags = SCPI_BD_ACTIVE;
    if (r->headerGiven && r->dataLength == 0) scpi_exec_stopBlockDataReceive(link);  // "#10"
    return 0;
}

namespace {

int32_t readLe32(const uint8_t *b) {
    return (int32_t)((uint32_t)b[0] | (uint32_t)b[1] << 8 | (uint32_t)b[2] << 16 | (uint32_t)b[3] << 24);
}

}  // namespace

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
                fwrite(bytes + used, 1, (size_t)n, r->file);
            } else if (r->handler) {
                int last = n == left;
                printd("scpi_exec_handleBlockDataReceive(): passing %d bytes to handler callback, "
                       "lastChunk %d\n", n, last);
                accepted = r->handler(r->handlerContext, n, (int32_t)offset, bytes + used);
                if (accepted < 0) accepted = 0;
                if (accepted > n) accepted = n;
                if (last && accepted < n) {
                    printd("scpi_exec_handleBlockDataReceive(): last chunk not accepted, "
                           "skipping %d bytes\n", n - accepted);
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
    if (r->file) fclose(r->file);
    r->file = nullptr;
    ScpiBdCompletion completion = r->completion;
    void *context = r->completionContext;
    r->flags = 0;
    if (completion) scpi_parser_error(completion(context, r->fileName));
}

void scpi_exec_cancelBlockDataReceive(ScpiLink *link) { scpi_exec_stopBlockDataReceive(link); }

int scpi_exec_startBdSend_memory(ScpiLink *link, int32_t length, const char *address,
                                 ScpiBdCompletion completion, void *context) {
    ScpiBlockSend *s = &link->blockSend;
    scpi_exec_initBlockDataConfig(s);
    s->memory = address;
    s->dataLength = length;
    s->completion = completion;
    s->completionContext = context;
    s->flags = SCPI_BD_ACTIVE;
    return scpi_exec_bdSend_asciiHeader(link);
}

int scpi_exec_startBdSend_handler(ScpiLink *link, int32_t length, ScpiBdSendHandler handler,
                                  void *context, ScpiBdCompletion completion,
                                  void *completionContext) {
    ScpiBlockSend *s = &link->blockSend;
    scpi_exec_initBlockDataConfig(s);
    s->handler = handler;
    s->handlerContext = context;
    s->dataLength = length;
    s->completion = completion;
    s->completionContext = completionContext;
    s->flags = SCPI_BD_ACTIVE;
    return scpi_exec_bdSend_asciiHeader(link);
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
            buffer[n++] = s->header[s->position++];
            continue;
        }
        int64_t offset = s->position - s->headerLength;
        int64_t left = s->dataLength - offset;
        if (left <= 0) {
            scpi_exec_stopBlockDataSend(link);
            break;
        }
        int chunk = (int)(space - n < left ? space - n : left);
        int got = chunk;
        if (s->flags & SCPI_BD_READ_FAILED) {
            memset(buffer + n, 0, (size_t)chunk);
        } else if (s->memory) {
            memcpy(buffer + n, s->memory + offset, (size_t)chunk);
        } else if (s->handler) {
            got = s->handler(s->handlerContext, chunk, (int32_t)offset, buffer + n);
            if (got <= 0) {
                s->flags |= SCPI_BD_READ_FAILED;
                memset(buffer + n, 0, (size_t)chunk);
                got = chunk;
            }
            if (got > chunk) got = chunk;
        } else if (s->file) {
            got = (int)fread(buffer + n, 1, (size_t)chunk, s->file);
            if (got <= 0) {
                s->flags |= SCPI_BD_READ_FAILED;
                memset(buffer + n, 0, (size_t)chunk);
                got = chunk;
            }
        } else {
            memset(buffer + n, 0, (size_t)chunk);
        }
        n += got;
        s->position += got;
        if (s->position - s->headerLength >= s->dataLength) scpi_exec_stopBlockDataSend(link);
    }
    return n;
}

void scpi_exec_stopBlockDataSend(ScpiLink *link) {
    ScpiBlockSend *s = &link->blockSend;
    if (s->file) fclose(s->file);
    s->file = nullptr;
    ScpiBdCompletion completion = s->completion;
    void *context = s->completionContext;
    s->flags = 0;
    s->headerLength = 0;
    if (completion) scpi_parser_error(completion(context, s->fileName));
}

void scpi_exec_cancelBlockDataSend(ScpiLink *link) { scpi_exec_stopBlockDataSend(link); }
