// IEEE 488.2 definite-length block transfers streamed through a link's buffers: a command
// only starts the transfer, the link service then feeds the bytes in as many passes as
// they need, never scanning them as commands.
//
// File transfers write below /korvane/, the root file system or the storage area inside the
// storage-switching brackets; the flags record which protection the end of the transfer
// restores. A destination that cannot be written or a source that cannot be read never
// changes the length of a block: received bytes are still consumed, sent bytes are padded with
// zeros. A cancelled transfer (device clear) discards the rest of its data; a cancelled receive
// leaves no partial file behind and does not run its completion handler.
//
// Context: main loop (command handlers and the link service).
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
    SCPI_BD_WRITE_FAILED = 1u << 5,
};

constexpr int SCPI_BD_MAX_FRAGMENTS = 8;
constexpr int SCPI_BD_HEADER_SIZE = 13;  // up to 12 characters and the terminator
constexpr int SCPI_BD_PATH_SIZE = 256;
// Binary header of fragmented memory: header length, one length per fragment, data length.
constexpr int SCPI_BD_BINARY_HEADER_SIZE = 4 + 4 * SCPI_BD_MAX_FRAGMENTS + 4;
// Cancelling a send reads and drops the rest of its source in pieces of this size.
constexpr int SCPI_BD_DISCARD_PIECE = 256;
// Buffer through which scpi_exec_startBdReadFile_handler feeds a file to its handler.
constexpr int SCPI_BD_READFILE_BUFFER = 128 * 1024;

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
    // Sent instead of header when the text does not start with "#".
    uint8_t binaryHeader[SCPI_BD_BINARY_HEADER_SIZE];
};

// 0: not a block header at text[0]; -1: header not complete yet; else the header length.
int krscpi_isArbitraryBlock(const char *text, int length);

void scpi_exec_initBlockDataConfig(ScpiBlockReceive *state);
void scpi_exec_initBlockDataConfig(ScpiBlockSend *state);
int scpi_exec_receivingBlockData(const ScpiLink *link);
int scpi_exec_sendingBlockData(const ScpiLink *link);

// Receives into a handler; with a header text ("#<n><count>") the data length is read from
// it, without one the block starts with the binary framing. -200 while a receive is active,
// -232 for a header that is no definite-length block header.
int scpi_exec_startBdReceive_handler(ScpiLink *link, int32_t length, ScpiBdReceiveHandler handler,
                                     void *context, ScpiBdCompletion completion,
                                     const char *header);
// Receives the block announced by header into the firmware file path (created or
// truncated); the completion handler gets the path when the block is complete. A file that
// cannot be created still has its bytes consumed (and -200 is returned).
int scpi_exec_startBdReceive_file(ScpiLink *link, const char *path, ScpiBdCompletion completion,
                                  void *context, const char *header);
// The same for a client-supplied name inside a firmware directory. A name that would leave
// the directory, or names the directory itself, is refused with -200 before any file call;
// its block is consumed all the same.
int scpi_exec_startBdReceive_fileInside(ScpiLink *link, const char *dir, const char *name,
                                        ScpiBdCompletion completion, void *context,
                                        const char *header);
// Consumes and drops the block announced by header: a command that refuses a block must
// still keep its bytes from being taken for commands.
int scpi_exec_discardBlock(ScpiLink *link, const char *header);
int scpi_exec_handleBlockDataReceive(ScpiLink *link, const char *bytes, int count);
void scpi_exec_stopBlockDataReceive(ScpiLink *link);
void scpi_exec_cancelBlockDataReceive(ScpiLink *link);

// Send starts: -200 while a send is active. The firmware file's length is taken by seeking to
// its end; a file that cannot be opened is sent as the empty block "#10".
int scpi_exec_startBdSend_file(ScpiLink *link, const char *path, ScpiBdCompletion completion,
                               void *context);
// The same for a client-supplied name inside a firmware directory (-200 and an empty block
// for a name that would leave it or names the directory itself).
int scpi_exec_startBdSend_fileInside(ScpiLink *link, const char *dir, const char *name,
                                     ScpiBdCompletion completion, void *context);
int scpi_exec_startBdSend_memory(ScpiLink *link, int32_t length, const char *address,
                                 ScpiBdCompletion completion, void *context);
// Fragmented memory: up to eight buffers sent as one block with the binary header.
void scpi_exec_bd_clearFragments(ScpiLink *link);
int scpi_exec_bd_appendFragment(ScpiLink *link, const char *address, int32_t length);
int scpi_exec_startBdSend_fragmentedMemory(ScpiLink *link, ScpiBdCompletion completion,
                                           void *context);
int scpi_exec_startBdSend_handler(ScpiLink *link, int32_t length, ScpiBdSendHandler handler,
                                  void *context, ScpiBdCompletion completion,
                                  void *completionContext);
int scpi_exec_bdSend_asciiHeader(ScpiLink *link);
int scpi_exec_handleBlockDataSend(ScpiLink *link, char *buffer, int space);
void scpi_exec_stopBlockDataSend(ScpiLink *link);
void scpi_exec_cancelBlockDataSend(ScpiLink *link);

// Feeds the whole firmware file path to handler in one go (through a 128 KiB buffer), then
// calls the completion handler and returns its result; -200 when the file cannot be opened
// or read. Not for the link service: the file is read at once.
int scpi_exec_startBdReadFile_handler(ScpiBdReceiveHandler handler, void *context,
                                      ScpiBdCompletion completion, void *completionContext,
                                      const char *path);
