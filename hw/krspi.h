// SPI transport to the synthesizer chips through the real-time driver kr_generic_io.
#pragma once

// Handle of the real-time device, -1 when it could not be opened.
extern int krspiFd;

int krspiOpen();
void krspiClose();
