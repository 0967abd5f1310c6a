#include "config/device_config_lan.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "config/device_config.h"
#include "core/krpath.h"
#include "core/krstuff.h"
#include "core/printd.h"
#include "remote/krsocket.h"
#include "scpi/scpi_errorcodes.h"

DeviceConfig device_config = {
    "0.0.0.0", "0.0.0.0", "0.0.0.0", DEVICE_CONFIG_LAN_DHCP, "0.0.0.0", DEVICE_CONFIG_DEFAULT_PORT,
    0};

namespace {

constexpr const char *lanConfFile = "/korvane/dev/conf/syst_comm_lan_conf";
constexpr const char *otherConfFile = "/korvane/dev/conf/eth0_other_conf";
constexpr const char *staticConfFile = "/korvane/dev/conf/eth0_static_conf";
constexpr int minPort = 1, maxPort = 65535;

// A firmware path resolved and quoted for a command line.
struct ShellPath {
    explicit ShellPath(const char *path) {
        ok = device_config_quotePath(path, text, sizeof(text)) == 0;
    }
    operator const char *() const { return text; }
    char text[KR_PATH_MAX + 3];
    bool ok;
};

__attribute__((format(printf, 1, 2))) int shell(const char *format, ...) {
    char command[512];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(command, sizeof(command), format, args);
    va_end(args);
    if (n < 0 || n >= (int)sizeof(command)) return KR_E_EXECUTION_ERROR;
    return krstuffSystem(command);
}

void setText(char *field, const char *text) {
    snprintf(field, DEVICE_CONFIG_IP_SIZE, "%s", text);
}

// The interface whose address the instrument shows: "eth0:avahi" if present, else "eth0".
bool chooseInterface(int fd, char *name) {
    struct ifconf conf = {};
    if (ioctl(fd, SIOCGIFCONF, &conf) != 0 || conf.ifc_len <= 0) return false;
    char *buffer = static_cast<char *>(malloc((size_t)conf.ifc_len));
    if (!buffer) return false;
    conf.ifc_buf = buffer;
    bool haveAvahi = false, haveEth0 = false;
    if (ioctl(fd, SIOCGIFCONF, &conf) == 0) {
        int count = conf.ifc_len / (int)sizeof(struct ifreq);
        for (int i = 0; i < count; i++) {
            const char *n = conf.ifc_req[i].ifr_name;
            if (strncmp(n, "eth0:avahi", IFNAMSIZ) == 0) haveAvahi = true;
            if (strncmp(n, "eth0", IFNAMSIZ) == 0) haveEth0 = true;
        }
    }
    free(buffer);
    if (!haveAvahi && !haveEth0) return false;
    snprintf(name, IFNAMSIZ, "%s", haveAvahi ? "eth0:avahi" : "eth0");
    return true;
}

void interfaceAddress(int fd, const char *name, unsigned long request, char *field) {
    struct ifreq req = {};
    snprintf(req.ifr_name, IFNAMSIZ, "%s", name);
    if (ioctl(fd, request, &req) != 0) return;
    const struct sockaddr_in *in = reinterpret_cast<const sockaddr_in *>(&req.ifr_addr);
    char text[INET_ADDRSTRLEN];
    if (inet_ntop(AF_INET, &in->sin_addr, text, sizeof(text))) setText(field, text);
}

void readGateway() {
    ShellPath file("/media/ram/gateway");
    if (!file.ok) return;
    shell("route -n | grep 'UG' | awk '{print $2}' > %s", file.text);
    char text[17];
    if (device_config_loadString("/media/ram/gateway", text, sizeof(text)) == 0) {
        text[strcspn(text, "\n")] = 0;
        uint32_t address;
        // The text goes into command lines later: only a dotted address is taken.
        if (stringToIpv4(text, &address) == 0) ipv4ToString(address, device_config.gateway);
    }
    shell("rm %s", file.text);
}

void readInterface() {
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) return;
    char name[IFNAMSIZ];
    if (chooseInterface(fd, name)) {
        interfaceAddress(fd, name, SIOCGIFADDR, device_config.ip);
        interfaceAddress(fd, name, SIOCGIFNETMASK, device_config.subnetMask);
        close(fd);
        readGateway();
        return;
    }
    close(fd);
}

void readLanMode() {
    char line[16];
    device_config.lanMode = DEVICE_CONFIG_LAN_AUTO;
    if (device_config_loadString(lanConfFile, line, sizeof(line)) != 0) return;
    line[strcspn(line, "\n")] = 0;
    if (strcmp(line, "MAN") == 0) device_config.lanMode = DEVICE_CONFIG_LAN_MAN;
    if (strcmp(line, "DHCP") == 0) device_config.lanMode = DEVICE_CONFIG_LAN_DHCP;
}

// Scans "key value" pairs until key is found. false when the file or the key is missing.
bool readOtherConf(const char *key, int *value) {
    FILE *f = fopen(KrPath(otherConfFile), "r");
    if (!f) return false;
    char name[32];
    int v;
    bool found = false;
    while (fscanf(f, "%31s %d", name, &v) == 2) {
        if (strcmp(name, key) == 0) {
            *value = v;
            found = true;
            break;
        }
    }
    fclose(f);
    return found;
}

int writeOtherConf() {
    ShellPath file(otherConfFile);
    if (!file.ok) return KR_E_EXECUTION_ERROR;
    krstuffWriteKr();
    int status =
        shell("echo 'port %d\nmses %d' > %s", device_config.port, device_config.mses, file.text);
    krstuffProtectKr();
    return status == 0 ? 0 : KR_E_EXECUTION_ERROR;
}

void readPortAndMses() {
    int port = DEVICE_CONFIG_DEFAULT_PORT, mses = 0;
    bool correct = false;
    if (readOtherConf("port", &port) && (port < minPort || port > maxPort)) {
        port = DEVICE_CONFIG_DEFAULT_PORT;
        correct = true;
    }
    if (readOtherConf("mses", &mses) && (mses < 0 || mses > 1)) {
        mses = 0;
        correct = true;
    }
    device_config.port = port;
    device_config.mses = mses;
    if (correct) writeOtherConf();
}

const char *modeWord(int mode) {
    return mode == DEVICE_CONFIG_LAN_MAN ? "MAN" : mode == DEVICE_CONFIG_LAN_DHCP ? "DHCP" : "AUTO";
}

// Mode files and the interface file for DHCP and automatic addressing.
int applyDynamic(const char *word) {
    ShellPath lanConf(lanConfFile), netConf("/etc/network/configuration"),
        lo("/korvane/dev/conf/lo_conf"), dhcp("/korvane/dev/conf/eth0_dhcp_conf"),
        interfaces("/etc/network/interfaces");
    if (!lanConf.ok || !netConf.ok || !lo.ok || !dhcp.ok || !interfaces.ok)
        return KR_E_EXECUTION_ERROR;
    shell("echo %s > %s", word, lanConf.text);
    shell("echo %s > %s", word, netConf.text);
    shell("cat %s %s > %s", lo.text, dhcp.text, interfaces.text);
    shell("echo 'hostname $(hostname)' >> %s", interfaces.text);
    return 0;
}

int applyManual() {
    ShellPath lanConf(lanConfFile), netConf("/etc/network/configuration"),
        lo("/korvane/dev/conf/lo_conf"), stanza(staticConfFile),
        interfaces("/etc/network/interfaces");
    if (!lanConf.ok || !netConf.ok || !lo.ok || !stanza.ok || !interfaces.ok)
        return KR_E_EXECUTION_ERROR;
    shell("echo MAN > %s", lanConf.text);
    shell("echo MAN > %s", netConf.text);
    shell("echo 'auto eth0' > %s", stanza.text);
    shell("echo 'iface eth0 inet static' >> %s", stanza.text);
    shell("echo '   address %s' >> %s", device_config.ip, stanza.text);
    shell("echo '   netmask %s' >> %s", device_config.subnetMask, stanza.text);
    shell("echo '   gateway %s' >> %s", device_config.gateway, stanza.text);
    shell("echo '   post-up /usr/sbin/KR_generateAvahiServices' >> %s", stanza.text);
    shell("cat %s %s > %s", lo.text, stanza.text, interfaces.text);
    return 0;
}

// Parses and stores dotted text normalised; a parse error is returned unchanged.
int storeAddress(const char *text, char *field, const char *what) {
    uint32_t address;
    int r = stringToIpv4(text, &address);
    if (r != 0) return r;
    ipv4ToString(address, field);
    printd("stored %s: <%s>\n", what, field);
    return 0;
}

bool isContiguousMask(uint32_t mask) {
    if (!(mask & 0x80000000u)) return false;
    uint32_t inverted = ~mask;  // ones only below the mask: inverted + 1 is a power of two
    return (inverted & (inverted + 1)) == 0;
}

}  // namespace

int stringToIpv4(const char *text, uint32_t *address) {
    if (!text) return KR_E_ILLEGAL_PARAMETER_VALUE;
    uint32_t value = 0;
    const char *p = text;
    for (int part = 0; part < 4; part++) {
        if (part > 0) {
            if (*p != '.') return KR_E_ILLEGAL_PARAMETER_VALUE;
            p++;
        }
        if (*p < '0' || *p > '9') return KR_E_ILLEGAL_PARAMETER_VALUE;
        unsigned number = 0;
        while (*p >= '0' && *p <= '9') {
            number = number * 10 + (unsigned)(*p++ - '0');
            if (number > 255) return KR_E_ILLEGAL_PARAMETER_VALUE;
        }
        value = (value << 8) | number;
    }
    if (*p) return KR_E_ILLEGAL_PARAMETER_VALUE;
    *address = value;
    return 0;
}

char *ipv4ToString(uint32_t address, char *buffer) {
    snprintf(buffer, DEVICE_CONFIG_IP_SIZE, "%u.%u.%u.%u", address >> 24, (address >> 16) & 255u,
             (address >> 8) & 255u, address & 255u);
    return buffer;
}

void device_config_getLanConfig() {
    setText(device_config.ip, "0.0.0.0");
    setText(device_config.subnetMask, "0.0.0.0");
    setText(device_config.gateway, "0.0.0.0");
    device_config.port = DEVICE_CONFIG_DEFAULT_PORT;
    readInterface();
    readLanMode();
    readPortAndMses();
}

const char *device_config_getIP() {
    return device_config.ip;
}
const char *device_config_getSubn() {
    return device_config.subnetMask;
}
const char *device_config_getGW() {
    return device_config.gateway;
}

const char *device_config_getConfiguredIP() {
    if (device_config.lanMode != DEVICE_CONFIG_LAN_MAN) return device_config.ip;
    FILE *f = fopen(KrPath(staticConfFile), "r");
    if (!f) return device_config.configuredIp;
    char line[128];
    while (fgets(line, sizeof(line), f)) {
        const char *at = strstr(line, "address ");
        if (!at) continue;
        at += strlen("address ");
        char value[DEVICE_CONFIG_IP_SIZE];
        snprintf(value, sizeof(value), "%.*s", (int)strcspn(at, "\n"), at);
        setText(device_config.configuredIp, value);
        break;
    }
    fclose(f);
    return device_config.configuredIp;
}

int device_config_setIP(const char *text) {
    return storeAddress(text, device_config.ip, "ip");
}

int device_config_setGW(const char *text) {
    return storeAddress(text, device_config.gateway, "gateway");
}

int device_config_setSubn(const char *text) {
    uint32_t mask;
    int r = stringToIpv4(text, &mask);
    if (r == 0 && !isContiguousMask(mask)) r = KR_E_ILLEGAL_PARAMETER_VALUE;
    if (r == 0) ipv4ToString(mask, device_config.subnetMask);
    printd("stored subnet mask: <%s>\n", device_config.subnetMask);
    return r;
}

int device_config_isLanConfigAuto() {
    return device_config.lanMode == DEVICE_CONFIG_LAN_AUTO;
}
int device_config_isLanConfigDhcp() {
    return device_config.lanMode == DEVICE_CONFIG_LAN_DHCP;
}
int device_config_isLanConfigMan() {
    return device_config.lanMode == DEVICE_CONFIG_LAN_MAN;
}
void device_config_setLanConfigAuto() {
    device_config.lanMode = DEVICE_CONFIG_LAN_AUTO;
}
void device_config_setLanConfigDhcp() {
    device_config.lanMode = DEVICE_CONFIG_LAN_DHCP;
}
void device_config_setLanConfigMan() {
    device_config.lanMode = DEVICE_CONFIG_LAN_MAN;
}

int device_config_setLanConfig() {
    if (device_config.lanMode == DEVICE_CONFIG_LAN_MAN) {
        // The addresses go into command lines: only dotted addresses pass.
        uint32_t unused;
        if (stringToIpv4(device_config.ip, &unused) != 0 ||
            stringToIpv4(device_config.subnetMask, &unused) != 0 ||
            stringToIpv4(device_config.gateway, &unused) != 0)
            return KR_E_ILLEGAL_PARAMETER_VALUE;
    }
    ShellPath ifplugd("/etc/init.d/ifplugd.init");
    if (!ifplugd.ok) return KR_E_EXECUTION_ERROR;
    krstuffWriteKr();
    krstuffWriteRoot();
    int r = device_config.lanMode == DEVICE_CONFIG_LAN_MAN
                ? applyManual()
                : applyDynamic(modeWord(device_config.lanMode));
    krstuffProtectRoot();
    krstuffProtectKr();
    if (r != 0) return r;
    shell("%s stop", ifplugd.text);
    shell("sleep 1");
    shell("%s start", ifplugd.text);
    return 0;
}

int device_config_setDefaultLanConfig() {
    device_config_setLanConfigAuto();
    return device_config_setLanConfig();
}

int device_config_getMacAddr(char *buffer, size_t size) {
    if (size == 0) return KR_E_EXECUTION_ERROR;
    buffer[0] = 0;
    ShellPath file("/media/ram/macaddr");
    if (!file.ok) return KR_E_EXECUTION_ERROR;
    int status = shell("ifconfig eth0 | sed -n 's/.*HWaddr //p' > %s", file.text);
    int r = status == 0 ? device_config_loadString("/media/ram/macaddr", buffer, size)
                        : KR_E_EXECUTION_ERROR;
    unlink(KrPath("/media/ram/macaddr"));
    if (r != 0) {
        buffer[0] = 0;
        return r;
    }
    size_t n = strlen(buffer);
    while (n > 0 && isspace((unsigned char)buffer[n - 1]))
        buffer[--n] = 0;
    return 0;
}

int device_config_getPort() {
    return device_config.port;
}
int device_config_getMinPort() {
    return minPort;
}
int device_config_getMaxPort() {
    return maxPort;
}

int device_config_setPort(int port) {
    if (port < minPort || port > maxPort) return KR_E_ILLEGAL_PARAMETER_VALUE;
    device_config.port = port;
    int r = writeOtherConf();
    Krsocket_changePort(port);
    return r;
}

// Read by the socket thread at every step, set from the command set on the main loop.
int device_config_getMses() {
    return __atomic_load_n(&device_config.mses, __ATOMIC_RELAXED);
}
int device_config_getMinMses() {
    return 0;
}
int device_config_getMaxMses() {
    return 1;
}

int device_config_setMses(int value) {
    if (value < 0 || value > 1) return KR_E_ILLEGAL_PARAMETER_VALUE;
    __atomic_store_n(&device_config.mses, value, __ATOMIC_RELAXED);
    return writeOtherConf();
}
