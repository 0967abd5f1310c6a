// Pulse trains of up to four pulses per period (FS variant with the pulse-train option): the
// FPGA's sweep engine plays them, one timer entry (pulse, following gap) per pulse.
#pragma once

#include <cstdint>

struct Device;
struct PulseMod;

// Train defaults and the train operations; -241 on the standard variant.
int multi_pulse_init(Device *device);
void multi_pulse_registerDeviceFunctions();
// The record describes a train: FS variant and any of pulses 2 to 4 on.
bool multi_pulse_isMultiPulse(const PulseMod *pm);
int multi_pulse_start(PulseMod *pm);
int multi_pulse_stop(PulseMod *pm, bool keepStatus);
int multi_pulse_pause(PulseMod *pm);
int multi_pulse_resume(PulseMod *pm);
// Trigger changes (flags bit 7): a running train restarts when the continuous immediate
// trigger comes or goes.
int multi_pulse_notifyState(Device *device, uint32_t flags);
// True while a train plays on the device's current channel: the sweep engine is taken.
bool multi_pulse_isActive(Device *device);
