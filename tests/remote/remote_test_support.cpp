#include "remote_test_support.h"

namespace krtest {

MainLoop::MainLoop() {
    scpi_link_initAll(&list);
    device = Device_create();
    Device_init(device);
    context.device = device;
    scpi_parser_init(&context);
}

MainLoop::~MainLoop() {
    stop();
    for (int i = 0; i < count_; i++)
        scpi_link_destroy(links_[i]);
}

void MainLoop::add(ScpiLink *link, int cmdSize, int ansSize, const char *name) {
    scpi_link_init(&list, link, cmdSize, ansSize, name);
    links_[count_++] = link;
}

void MainLoop::start() {
    running_ = true;
    thread_ = std::thread([this] {
        while (running_)
            scpi_execute(&list, device, 20);
    });
}

void MainLoop::stop() {
    if (!running_) return;
    running_ = false;
    scpi_link_doHandle(nullptr);
    thread_.join();
}

}  // namespace krtest

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace krtest {

ChardevPeer::ChardevPeer(const std::string &devicePath) {
    sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    snprintf(addr.sun_path, sizeof(addr.sun_path), "%s.sock", devicePath.c_str());
    int s = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    for (int i = 0; i < 200; i++) {
        if (connect(s, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) == 0) {
            fd_ = s;
            usleep(50000);  // the driver thread takes the connection
            return;
        }
        usleep(10000);
    }
    close(s);
}

ChardevPeer::~ChardevPeer() {
    if (fd_ >= 0) close(fd_);
}

void ChardevPeer::send(char type, int flags, const std::string &payload) {
    unsigned char h[4] = {(unsigned char)type, (unsigned char)flags,
                          (unsigned char)(payload.size() >> 8), (unsigned char)payload.size()};
    (void)!::send(fd_, h, 4, MSG_NOSIGNAL);
    if (!payload.empty()) (void)!::send(fd_, payload.data(), payload.size(), MSG_NOSIGNAL);
}

void ChardevPeer::credit(uint32_t bytes) {
    std::string p = {(char)(bytes >> 24), (char)(bytes >> 16), (char)(bytes >> 8), (char)bytes};
    send('R', 0, p);
}

bool ChardevPeer::receive(char *type, int *flags, std::string *payload, int timeoutMs) {
    struct pollfd p = {fd_, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) != 1) return false;
    unsigned char h[4];
    if (recv(fd_, h, 4, MSG_WAITALL) != 4) return false;
    *type = (char)h[0];
    *flags = h[1];
    payload->assign((size_t)(h[2] << 8 | h[3]), 0);
    return payload->empty() ||
           recv(fd_, &(*payload)[0], payload->size(), MSG_WAITALL) == (ssize_t)payload->size();
}

bool ChardevPeer::expect(char type, std::string *payload, int timeoutMs) {
    char t;
    int flags;
    while (receive(&t, &flags, payload, timeoutMs))
        if (t == type) return true;
    return false;
}

TempRoot::TempRoot() {
    char tmpl[] = "/tmp/krdev-XXXXXX";
    path = mkdtemp(tmpl);
    mkdir((path + "/dev").c_str(), 0777);
}

TempRoot::~TempRoot() {
    std::string cmd = "rm -rf '" + path + "'";
    (void)!system(cmd.c_str());
}

}  // namespace krtest
