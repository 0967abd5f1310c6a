// The error queue read by SYSTem:ERRor and the text form of error codes.
//
// Context: main loop only (the command engine pushes, the error queries pop); the queue has
// no lock of its own.
#pragma once

#include <cstdint>

#include "scpi/scpi_errorcodes.h"

constexpr int SCPI_ERROR_QUEUE_SIZE = 10;
// Scratch size that holds any formatted error code.
constexpr int SCPI_ERROR_TEXT_SIZE = 128;

// Ten slots used as a ring. write designates the most recently written slot; the queue is
// empty when both indices are equal and that slot holds 0.
struct ScpiErrorQueue {
    int32_t slot[SCPI_ERROR_QUEUE_SIZE];
    int32_t read;
    int32_t write;
    uint32_t pushes;  // codes offered so far, lost ones included (wraps): did a unit fail?
};

struct ScpiErrorText {
    int32_t code;
    const char *text;  // null ends the table
};

// SCPI numbers and texts, searched in this order; 0 "No error" first.
extern const ScpiErrorText scpierr_strings[];
// Measurement details, looked up by the whole code.
extern const ScpiErrorText ateerr_strings[];

void scpi_initErrorQueue(ScpiErrorQueue *queue);
// A code of 0 is ignored. With ten entries held, the newest becomes -350 and the code is lost.
void scpi_pushErrorQueue(int code, ScpiErrorQueue *queue);
int scpi_isErrorQueueEmpty(const ScpiErrorQueue *queue);
// Removes the oldest code (0 when empty) and formats it into text. Returns 0 or -400.
int scpi_popErrorQueue(ScpiErrorQueue *queue, int *code, char *text, int size, int *length);
// Empties the queue. Returns the first formatting error, else 0.
int scpi_clearWholeErrorQueue(ScpiErrorQueue *queue);
// Pops every entry into text, joined by ","; an empty queue gives 0,"No error". Entries that do
// not fit are dropped all the same; returns the first formatting error (-400), else 0.
int scpi_getAndClearWholeErrorQueue(ScpiErrorQueue *queue, char *text, int size, int *length);
// `%d,"%s"`, `%d,"%s;%s"` for measurement details, or `%d,""` for an unknown code. Returns 0,
// or -400 with length 0 (and an empty text when size > 0) when it does not fit in size bytes.
int scpi_errorCode2Str(char *text, int code, int size, int *length);
// The SCPI text of a code (measurement detail ignored); "" when the number is not listed.
const char *scpi_errorText(int code);
