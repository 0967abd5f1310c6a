// LAN settings of the device configuration: addressing mode and addresses, their
// application through the system's network scripts, the MAC address, and the TCP server's
// port and client mode.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int DEVICE_CONFIG_IP_SIZE = 16;  // "255.255.255.255" and the terminator
constexpr int DEVICE_CONFIG_DEFAULT_PORT = 18;

enum DeviceConfigLanMode : int {
    DEVICE_CONFIG_LAN_DHCP = 0,
    DEVICE_CONFIG_LAN_MAN = 1,
    DEVICE_CONFIG_LAN_AUTO = 2,
};

struct DeviceConfig {
    char ip[DEVICE_CONFIG_IP_SIZE];
    char subnetMask[DEVICE_CONFIG_IP_SIZE];
    char gateway[DEVICE_CONFIG_IP_SIZE];
    int lanMode;
    char configuredIp[DEVICE_CONFIG_IP_SIZE];
    int port;
    int mses;  // 0 single-client, 1 multi-client TCP server
};
extern DeviceConfig device_config;

// Dotted IPv4 text: exactly four decimal numbers 0 to 255, each with at least one digit,
// nothing after the fourth. The first number lands in the most significant byte. 0 or -224.
int stringToIpv4(const char *text, uint32_t *address);
// "%u.%u.%u.%u" into buffer (at least DEVICE_CONFIG_IP_SIZE bytes). Returns buffer.
char *ipv4ToString(uint32_t address, char *buffer);

// Start-up and the supervision thread: addresses of the interface, gateway, mode, port and
// client mode (with the written-back corrections).
void device_config_getLanConfig();

const char *device_config_getIP();
const char *device_config_getSubn();
const char *device_config_getGW();
// The manually configured address in manual mode, else the current one.
const char *device_config_getConfiguredIP();
// Store only; device_config_setLanConfig applies. 0 or -224.
int device_config_setIP(const char *text);
int device_config_setSubn(const char *text);
int device_config_setGW(const char *text);

int device_config_isLanConfigAuto();
int device_config_isLanConfigDhcp();
int device_config_isLanConfigMan();
void device_config_setLanConfigAuto();
void device_config_setLanConfigDhcp();
void device_config_setLanConfigMan();
// Writes the mode and interface files and restarts the interface manager. 0, or -224 when a
// stored address is not dotted IPv4 text.
int device_config_setLanConfig();
int device_config_setDefaultLanConfig();

// "ifconfig eth0" hardware address; empty when unknown. Returns 0 or -200.
int device_config_getMacAddr(char *buffer, size_t size);

int device_config_getPort();
int device_config_getMinPort();
int device_config_getMaxPort();
// 1 to 65535, else -224; stored, written and the server's listener restarted on it.
int device_config_setPort(int port);
int device_config_getMses();
int device_config_getMinMses();
int device_config_getMaxMses();
// 0 or 1, else -224; the server uses it from its next step on.
int device_config_setMses(int value);
