// What the benches that talk to the real firmware share: finding the binary and the sources,
// loopback TCP helpers, and one instrument started in a temporary simulation root.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace kr_bench {

inline std::string sourceDir() {
#ifdef KR_SOURCE_PATH
    return KR_SOURCE_PATH;
#else
    std::string f = __FILE__;
    return f.substr(0, f.rfind("/bench/"));
#endif
}

// KR_FW_BINARY, else the path the build gave, else korvane_fw beside the bench directory.
inline std::string firmwareBinary() {
    if (const char *env = getenv("KR_FW_BINARY")) return env;
#ifdef KR_FW_BINARY_PATH
    return KR_FW_BINARY_PATH;
#else
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
    if (n <= 0) return "korvane_fw";
    self[n] = 0;
    std::string dir(self);
    dir = dir.substr(0, dir.rfind('/'));
    return dir.substr(0, dir.rfind('/')) + "/korvane_fw";
#endif
}

inline int freePort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof(a));
    socklen_t len = sizeof(a);
    getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
    close(fd);
    return ntohs(a.sin_port);
}

inline int connectTo(int port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons((uint16_t)port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof(a)) != 0) {
        close(fd);
        return -1;
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
    return fd;
}

// The single-client server listens again shortly after the previous client has left.
inline int connectSoon(int port) {
    for (int i = 0; i < 200; i++) {
        int fd = connectTo(port);
        if (fd >= 0) return fd;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

inline void writeAll(int fd, const char *data, size_t n) {
    while (n > 0) {
        ssize_t w = send(fd, data, n, MSG_NOSIGNAL);
        if (w <= 0) throw std::runtime_error("connection lost while writing");
        data += w;
        n -= (size_t)w;
    }
}
inline void writeAll(int fd, const std::string &s) {
    writeAll(fd, s.data(), s.size());
}

// Reads up to and including the line feed, for one answer outstanding at a time.
inline bool readLine(int fd, char *buf, int size) {
    int n = 0;
    while (n < size) {
        ssize_t r = read(fd, buf + n, (size_t)(size - n));
        if (r <= 0) return false;
        n += (int)r;
        if (buf[n - 1] == '\n') return true;
    }
    return false;
}

// Reads up to and including the next line feed, keeping what follows for the next call.
class LineReader {
  public:
    explicit LineReader(int fd) : fd_(fd) {}
    std::string line() {
        for (;;) {
            const char *lf = static_cast<const char *>(memchr(buf_ + start_, '\n', end_ - start_));
            if (lf) {
                size_t stop = (size_t)(lf - buf_) + 1;
                std::string out(buf_ + start_, stop - start_);
                start_ = stop;
                return out;
            }
            if (start_ > 0) {
                memmove(buf_, buf_ + start_, end_ - start_);
                end_ -= start_;
                start_ = 0;
            }
            if (end_ == sizeof(buf_)) throw std::runtime_error("line too long");
            fill();
        }
    }

    // Reads and drops everything up to and including the first occurrence of marker (which
    // must not straddle reads longer than the buffer).
    void skipThrough(const char *marker) {
        size_t m = strlen(marker);
        for (;;) {
            const char *found =
                static_cast<const char *>(memmem(buf_ + start_, end_ - start_, marker, m));
            if (found) {
                start_ = (size_t)(found - buf_) + m;
                return;
            }
            size_t keep = std::min(end_ - start_, m - 1);  // a marker cut by the read
            memmove(buf_, buf_ + end_ - keep, keep);
            start_ = 0;
            end_ = keep;
            fill();
        }
    }

  private:
    void fill() {
        ssize_t n = recv(fd_, buf_ + end_, sizeof(buf_) - end_, 0);
        if (n <= 0) throw std::runtime_error("connection lost while reading");
        end_ += (size_t)n;
    }
    int fd_;
    char buf_[65536];
    size_t start_ = 0, end_ = 0;
};

// The firmware in a temporary simulation root, its raw SCPI socket on a free port; stopped and
// the root removed on destruction. Its output goes to firmware.log in the root.
class FirmwareInstance {
  public:
    struct Options {
        std::string config;  // a ready configuration of make_simroot.sh; empty: its default
        std::vector<std::pair<std::string, std::string>> env;  // for the firmware only
    };

    explicit FirmwareInstance(const Options &options = {}) {
        char tmpl[] = "/tmp/krbench.XXXXXX";
        if (!mkdtemp(tmpl)) throw std::runtime_error("mkdtemp failed");
        root_ = tmpl;
        port = freePort();
        std::string binary = firmwareBinary();
        // KR_FW_BINARY lets the script find the calibration tool of the same build.
        std::string cmd = "KR_FW_BINARY='" + binary + "' sh '" + sourceDir() +
                          "/platform/make_simroot.sh' '" + root_ + "' --port " +
                          std::to_string(port);
        if (!options.config.empty()) cmd += " --config '" + options.config + "'";
        cmd += " >/dev/null";
        if (system(cmd.c_str()) != 0) {
            removeRoot();
            throw std::runtime_error("make_simroot.sh failed");
        }
        std::string log = root_ + "/firmware.log";
        pid = fork();
        if (pid == 0) {
            setenv("KORVANE_ROOT", root_.c_str(), 1);
            for (const auto &[name, value] : options.env)
                setenv(name.c_str(), value.c_str(), 1);
            int null = open("/dev/null", O_RDWR);
            int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(null, 0);
            dup2(out, 1);
            dup2(out, 2);
            execl(binary.c_str(), binary.c_str(), (char *)nullptr);
            _exit(127);
        }
        // No probing connection: the single-client server would take it for its client.
        for (int i = 0; i < 1000; i++) {
            std::ifstream in(log);
            std::string text((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
            if (text.find("Device is running!") != std::string::npos) return;
            if (waitpid(pid, nullptr, WNOHANG) == pid) {
                pid = -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        stop();
        removeRoot();
        throw std::runtime_error("firmware did not start listening: " + binary);
    }
    ~FirmwareInstance() {
        stop();
        removeRoot();
    }
    FirmwareInstance(const FirmwareInstance &) = delete;
    FirmwareInstance &operator=(const FirmwareInstance &) = delete;

    const std::string &root() const { return root_; }

    int port;
    pid_t pid = -1;

  private:
    // SIGTERM first so that the firmware can shut down as on the instrument; a firmware stuck
    // at the end must not hang the bench.
    void stop() {
        if (pid <= 0) return;
        kill(pid, SIGTERM);
        for (int i = 0; i < 500; i++) {
            if (waitpid(pid, nullptr, WNOHANG) != 0) {
                pid = -1;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        pid = -1;
    }
    void removeRoot() {
        std::string cmd = "rm -rf '" + root_ + "'";
        if (system(cmd.c_str()) != 0) fprintf(stderr, "could not remove %s\n", root_.c_str());
    }
    std::string root_;
};

}  // namespace kr_bench
