// Error codes: 0 for success, negative SCPI error numbers for failures. Generated from the
// one list in scpi_errors.def, which also yields the texts.
#pragma once

enum KrError : int {
#define KR_ERROR(name, number, text) name = number,
#include "scpi/scpi_errors.def"
#undef KR_ERROR
    // Channel suffix out of range; deliberately absent from the text table.
    KR_E_SUFFIX_OUT_OF_RANGE = -114,
};
