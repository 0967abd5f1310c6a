#include "panel_test_support.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "config/device_config.h"
#include "core/krpath.h"
#include "frontpanel/krhcupdate.h"

namespace krtest {

PanelPair::PanelPair() {
    Krhc_init(&hc);
    int sv[2];
    socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv);
    hc.writeFd = sv[0];
    hc.readFd = dup(sv[0]);
    panelFd = sv[1];
    Krhcupdate_init(&hc);
}

PanelPair::~PanelPair() {
    Krhc_close(&hc);
    if (panelFd >= 0) close(panelFd);
    Krhcupdate_init(nullptr);
}

std::string PanelPair::raw() {
    char buf[65536];
    for (;;) {
        struct pollfd p = {panelFd, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) break;
        ssize_t n = read(panelFd, buf, sizeof(buf));
        if (n <= 0) break;
        pending_.append(buf, (size_t)n);
    }
    std::string all;
    all.swap(pending_);
    return all;
}

std::vector<std::string> PanelPair::lines() {
    std::vector<std::string> out;
    std::string all = raw();
    size_t start = 0;
    for (size_t i = 0; i < all.size(); i++)
        if (all[i] == '\n') {
            out.push_back(all.substr(start, i - start));
            start = i + 1;
        }
    return out;
}

void PanelPair::reply(const std::string &bytes) {
    (void)!write(panelFd, bytes.data(), bytes.size());
}

void PanelPair::closePanel() {
    close(panelFd);
    panelFd = -1;
}

ConfiguredRoot::ConfiguredRoot(const char *serial) {
    char tmpl[] = "/tmp/krpanel-XXXXXX";
    path = mkdtemp(tmpl);
    for (const char *d :
         {"/korvane", "/korvane/dev", "/korvane/dev/conf", "/media", "/media/ram", "/dev"})
        mkdir((path + d).c_str(), 0777);
    FILE *f = fopen((path + "/korvane/dev/sn").c_str(), "w");
    fputs(serial, f);
    fclose(f);
    krpath_setRoot(path.c_str());
    device_config_init();
}

ConfiguredRoot::~ConfiguredRoot() {
    std::string cmd = "rm -rf '" + path + "'";
    (void)!system(cmd.c_str());
    krpath_setRoot(nullptr);
}

}  // namespace krtest
