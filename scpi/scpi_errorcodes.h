// Error codes: 0 for success, negative SCPI error numbers for failures. Generated from the
// one list in scpi_errors.def, which also yields the texts.
#pragma once

// A measurement error: SCPI number -200 with the detail index k.
#define KR_MEAS_ERROR_CODE(k) (-((k)*65536 + 200))

enum KrError : int {
#define KR_ERROR(name, number, text) name = number,
#define KR_MEAS_ERROR(name, k, text) name = KR_MEAS_ERROR_CODE(k),
#include "scpi/scpi_errors.def"
#undef KR_MEAS_ERROR
#undef KR_ERROR
    // Channel suffix out of range; deliberately absent from the text table.
    KR_E_SUFFIX_OUT_OF_RANGE = -114,
};
