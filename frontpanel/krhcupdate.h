// The update vocabulary that keeps the front panel in step with the instrument.
#pragma once

struct Device;

void Krhcupdate_init();
void hcupdate_resetHcCommandParser();
void Krhcupdate_sn(const char *serialNumber);
void hcupdate_constants(Device *device);
void hcupdate_settings(Device *device);
void hcupdate_ready();
void hcupdate_ipAddress();
void hcupdate_batteryState(int state);
void hcupdate_connectUsb();
void hcupdate_disconnectUsb();
void hcupdate_connectGpib();
void hcupdate_disconnectGpib();
void hcupdate_connectLan();
void hcupdate_disconnectLan();
