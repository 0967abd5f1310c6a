#include "frontpanel/krhcupdate.h"

// The panel protocol is not spoken yet; with no panel attached every update is a no-op.
void Krhcupdate_init() {}
void hcupdate_resetHcCommandParser() {}
void Krhcupdate_sn(const char *) {}
void hcupdate_constants(Device *) {}
void hcupdate_settings(Device *) {}
void hcupdate_ready() {}
void hcupdate_ipAddress() {}
void hcupdate_batteryState(int) {}
void hcupdate_connectUsb() {}
void hcupdate_disconnectUsb() {}
void hcupdate_connectGpib() {}
void hcupdate_disconnectGpib() {}
void hcupdate_connectLan() {}
void hcupdate_disconnectLan() {}
