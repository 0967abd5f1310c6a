// The simulated FS FPGA's modulation engine: a free-running loop of NCO hops or AM DAC words
// (an internal modulation table), or the ADC-driven NCO (external FM, PM, FSK). The table is
// captured once, as the FPGA records the loop, and described from what the chips received:
// the instantaneous phase of the hops is fitted with one sine, whose phase tells FM from PM.
// The loop is not replayed sample by sample: the chips keep its last sample. Caller holds
// simhw_lock throughout.
#pragma once

#include <cstdint>
#include <string>

void simmod_reset();
// The channel's stream set a jump label: a new loop is being recorded.
void simmod_beginLoop(int channel);
// After each command recorded into the loop: takes the samples the chips loaded.
void simmod_afterCommand(int channel);
// A wait for the modulation ADC, or a delay, inside the loop being recorded.
void simmod_adcWait(int channel);
void simmod_delay(int channel, uint64_t ticks);
// While recording a table paced by the ADC, delays are counted, not waited.
bool simmod_pacedByAdc(int channel);
// The jump closed the loop; freeRunning when it waits for no sweep point or trigger. true
// when the loop is a modulation table (the FPGA then loops it without replay).
bool simmod_endLoop(int channel, bool freeRunning);
// The stream was cleared: the modulation stops.
void simmod_stop(int channel);
bool simmod_running(int channel);
// Appends ", \"fm\": ..., \"am\": ..." to the channel's object of the state file.
void simmod_appendJson(int channel, std::string &json);
