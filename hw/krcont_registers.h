// The control board's shift register (KRCONT_SRI): the bits the firmware switches. Shared by
// the firmware and the simulated board.
#pragma once

constexpr int KRCONT_SRI_BYTES = 4;

// Function-output routing (with bit 15), and bit 0 also the LFG's square output.
constexpr int KRCONT_SRI_FUNCOUT_SEL0 = 0;
constexpr int KRCONT_SRI_FUNCOUT_SEL1 = 1;
constexpr int KRCONT_SRI_FUNCOUT_DAC = 15;  // the user DAC drives the connector
// Pulse modulation: set for the external source (cleared: internal generator).
constexpr int KRCONT_SRI_PULM_EXTERNAL = 2;
// Pulse modulation enabled with normal polarity (cleared: off or inverted).
constexpr int KRCONT_SRI_PULM_NORMAL = 3;
// Set: the LF generator unpowered.
constexpr int KRCONT_SRI_LFG_POWER_OFF = 4;
// The LF generator's control line, pulsed to take a new frequency or shape.
constexpr int KRCONT_SRI_LFG_CTRL = 6;
