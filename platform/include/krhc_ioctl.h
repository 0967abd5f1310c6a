// Control requests of the front-panel controller driver /dev/krhc: the firmware issues them,
// the stand-in serves them.
#pragma once

constexpr unsigned long HC_SELECT_HC = 0xE003;    // the controller kind: front-panel controller
constexpr unsigned long HC_PREPARE_OLD = 0xE006;  // an older controller is about to be chosen
constexpr unsigned long HC_GET_RX_PORT = 0xE007;  // the port the last read came from
constexpr unsigned long HC_SELECT_STM = 0xE008;   // the controller kind: STM controller
constexpr unsigned long HC_TX_PORT1 = 0xE00A;     // the next writes go to the update port
constexpr unsigned long HC_TX_PORT2 = 0xE00B;     // the next writes go to the answer port
