// Control requests and length flags of the GPIB interface driver /dev/gpib: the firmware
// issues them, the stand-in serves them.
#pragma once

#include <cstdint>

constexpr unsigned long GPIB_SET_STB = 0xD001;      // publish the status byte for serial polls
constexpr unsigned long GPIB_READ_SIGNAL = 0xD002;  // the interface signal that arrived
constexpr unsigned long GPIB_ACK_GET = 0xD003;      // a group execute trigger was taken
// A read passes these flags with its length; the result carries a count and indications.
constexpr uint32_t GPIB_READ_FLAGS = 0x70000000;
constexpr uint32_t GPIB_COUNT_MASK = 0x0FFFFFFF;
constexpr uint32_t GPIB_SIGNAL = 0x10000000;  // an interface signal waits
constexpr uint32_t GPIB_END = 0x20000000;     // the last byte carried END
constexpr uint32_t GPIB_GET = 0x40000000;     // a group execute trigger arrived
