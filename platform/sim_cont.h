// The controller board's function output and LF generator as the state file shows them,
// derived from what the firmware wrote to the board's chips. Caller holds simhw_lock.
#pragma once

#include <cstdint>
#include <string>

// Appends ",\n \"lfg\": {...}, \"function_output\": {...}"; triggerOutput is the
// trigger-output connector's setting (KRTPT_OUT_*), which drives the low, high and trigger
// sources.
void simcont_json(std::string &json, uint32_t triggerOutput);
