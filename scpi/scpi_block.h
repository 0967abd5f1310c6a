// IEEE 488.2 definite-length block transfers streamed through a link's buffers: a command
// only starts the transfer, the link service then feeds the bytes in as many passes as
// they need, never scanning them as commands.
#pragma once

#include <cstdint>
#include <cstdio>

struct ScpiLink;

// Receive: called with (context, byte count, offset within the data, bytes); returns the
// number of bytes accepted.
typedef int32_t (*ScpiBdReceiveHandler)(void *context, int32_t count, int32_t offset,
                                        const char *bytes);
// Send: called with (context, byte count, offset, buffer); returns the bytes produced or a
// negative error.
typedef int32_t (*ScpiBdSendHandler)(void *context, int32_t count, int32_t offset, char *buffer);
// Completion: (context, file name); a nonzero result goes to the error queue.
typedef int (*ScpiBdCompletion)(void *context, const char *fileName);

enum : uint32_t {
    SCPI_BD_ACTIVE = 1u << 0,
    SCPI_BD_ROOT_WRITABLE = 1u << 1,
    SCPI_BD_KR_WRITABLE = 1u << 2,
    SCPI_BD_STORAGE_WRITABLE = 1u << 3,
    SCPI_BD_READ_FAILED = 1u << 4,
};

constexpr int SCPI_BD_MAX_FRAGMENTS = 8;
constexpr int SCPI_BD_HEADER_SIZE = 13;  // up to 12 characters and the terminator
constexpr int SCPI_BD_PATH_SIZE = 256;

struct ScpiBlockReceive {
    uint32_t flags;
    int64_t position;  // bytes consumed, header included
    int32_t headerLength;
    int32_t dataLength;
    int32_t headerGiven;
    char header[SCPI_BD_HEADER_SIZE];
    FILE *file;
    ScpiBdReceiveHandler handler;
    void *handlerContext;
    ScpiBdCompletion completion;
    void *completionContext;
    char fileName[SCPI_BD_PATH_SIZE];
    // Binary framing without a header text: 4 bytes header length, header, 4 bytes data length.
    uint8_t framing[4];
    int32_t framingFill;
    int32_t framingStage;  // 0 header length, 1 header bytes, 2 data length, 3 data
};

struct ScpiBlockFragment {
    const char *address;
    int32_t length;
};

struct ScpiBlockSend {
    uint32_t flags;
    int64_t position;  // bytes produced, header included
    int32_t headerLength;
    int32_t dataLength;
    char header[SCPI_BD_HEADER_SIZE];
    FILE *file;
    const char *memory;
    ScpiBdSendHandler handler;
    void *handlerContext;
    ScpiBdCompletion completion;
    void *completionContext;
    char fileName[SCPI_BD_PATH_SIZE];
    ScpiBlockFragment fragments[SCPI_BD_MAX_FRAGMENTS];
    int32_t fragmentCount;
};

// 0: not a block header at text[0]; -1: header not complete yet; else the header length.
int krscpi_isArbitraryBlock(const char *text, int length);

void scpi_exec_initBlockDataConfig(ScpiBlockReceive *state);
void scpi_exec_initBlockDataConfig(ScpiBlockSend *state);
int scpi_exec_receivingBlockData(const ScpiLink *link);
int scpi_exec_sendingBlockData(const ScpiLink *link);

int scpi_exec_startBdReceive_handler(ScpiLink *link, int32_t length, ScpiBdReceiveHandler handler,
                                     void *context, ScpiBdCompletion completion,
                                     const char *header);
int scpi_exec_handleBlockDataReceive(ScpiLink *link, const char *bytes, int count);
void scpi_exec_stopBlockDataReceive(ScpiLink *link);
void scpi_exec_cancelBlockDataReceive(ScpiLink *link);

int scpi_exec_startBdSend_memory(ScpiLink *link, int32_t length, const char *address,
                                 ScpiBdCompletion completion, void *context);
int scpi_exec_startBdSend_handler(ScpiLink *link, int32_t length, ScpiBdSendHandler handler,
                                  void *context, ScpiBdCompletion completion,
                                  void *completionContext);
int scpi_exec_bdSend_asciiHeader(ScpiLink *link);
int scpi_exec_handleBlockDataSend(ScpiLink *link, char *buffer, int space);
void scpi_exec_stopBlockDataSend(ScpiLink *link);
void scpi_exec_cancelBlockDataSend(ScpiLink *link);
