// Control requests and length flags of the USBTMC gadget driver /dev/usbtmc: the firmware
// issues them, the stand-in serves them.
#pragma once

#include <cstdint>

constexpr unsigned long USB_SET_SERIAL = 0xD101;  // the serial number the host is shown
constexpr uint32_t USB_WRITE_MORE = 0x40000000;   // write length flag: more answer follows
