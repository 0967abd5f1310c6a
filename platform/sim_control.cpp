#include "sim_control.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "sim_fpga.h"
#include "sim_hw.h"
#include "sim_pulse.h"

namespace {

std::mutex startLock;
std::string listening;  // the socket path in use
std::atomic<bool> gateLevel{false};

void serve(int client) {
    std::string pending;
    char buf[256];
    for (;;) {
        ssize_t n = read(client, buf, sizeof(buf));
        if (n <= 0) break;
        pending.append(buf, (size_t)n);
        size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            std::string answer = simcontrol_handle(pending.substr(0, end)) + "\n";
            pending.erase(0, end + 1);
            if (write(client, answer.data(), answer.size()) < 0) break;
        }
        if (pending.size() > 1024) break;  // not a stimulus line
    }
    close(client);
}

void acceptLoop(intptr_t fd) {
    for (;;) {
        int client = accept((int)fd, nullptr, nullptr);
        if (client < 0) continue;
        serve(client);
    }
}

// "<kind> <value>": a frequency word in MHz, an amplitude word in 1/128 dB, a list word.
bool fcpWord(const std::string &args) {
    static const struct {
        const char *name;
        int kind;
    } kinds[] = {{"fw", SIM_FCP_FW}, {"aw", SIM_FCP_AW}, {"lw", SIM_FCP_LW}};
    char name[8];
    long long value;
    char rest;
    if (sscanf(args.c_str(), "%7s %lld %c", name, &value, &rest) != 2) return false;
    for (const auto &k : kinds)
        if (strcmp(name, k.name) == 0) {
            simfpga_fcpWord(k.kind, value);
            return true;
        }
    return false;
}

}  // namespace

void simcontrol_start() {
    std::string path = simhw_simFile("control.sock");
    std::lock_guard<std::mutex> g(startLock);
    if (path.empty() || path == listening) return;
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    if (path.size() >= sizeof(a.sun_path)) {
        simhw_log("SIM control socket: path too long (%s)", path.c_str());
        return;
    }
    memcpy(a.sun_path, path.c_str(), path.size() + 1);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    unlink(path.c_str());
    if (bind(fd, (sockaddr *)&a, sizeof(a)) != 0 || listen(fd, 4) != 0) {
        close(fd);
        simhw_log("SIM control socket: cannot listen at %s", path.c_str());
        return;
    }
    listening = path;
    simhw_spawn(acceptLoop, fd);
}

std::string simcontrol_handle(const std::string &line) {
    std::string l = line;
    while (!l.empty() && (l.back() == '\r' || l.back() == ' '))
        l.pop_back();
    if (l == "trigger") {
        simhw_trigger();
    } else if (l == "external pos" || l == "external neg") {
        simhw_externalEdge(l == "external pos");
    } else if (l == "gate 0" || l == "gate 1") {
        gateLevel = l == "gate 1";
        simhw_setGate(gateLevel);
    } else if (l == "pulse-in 0" || l == "pulse-in 1") {
        simpulse_setInput(l == "pulse-in 1");
    } else if (l.rfind("fcp-word ", 0) == 0) {
        if (!fcpWord(l.substr(9))) return "error: fcp-word <fw|aw|lw> <integer>";
    } else {
        return "error: unknown stimulus";
    }
    simhw_log("SIM control: %s", l.c_str());
    return "ok";
}

bool simcontrol_gate() {
    return gateLevel.load();
}
