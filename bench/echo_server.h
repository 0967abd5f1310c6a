// The reference servers of the benches that talk to the real firmware: trivial loopback
// servers of the bench's own, to set the firmware's figures against the floor of this machine.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "firmware_instance.h"

namespace kr_bench {

// The floor: a trivial line-echo server. It sleeps in recv() until bytes arrive and sends the
// complete lines back, all of one read in one write. Two variants, in the same run, show what
// the floor is made of:
//   - per line: one write per line, as a server that answers line by line does;
//   - polling: after sending, it polls the socket for up to 50 us before it sleeps again, as
//     the firmware polls after an answer (a round trip then saves two wake-ups).
// A fourth answers as an instrument does, and so is the floor of a long message with one
// closing query:
//   - acknowledging: sends "1" for each line that ends in a query ("?") and nothing else.
enum class EchoStyle { Trivial, PerLine, Polling, Acknowledging };

class EchoServer {
  public:
    explicit EchoServer(EchoStyle style) : style_(style) {
        listenFd_ = socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listenFd_, reinterpret_cast<sockaddr *>(&a), sizeof(a));
        listen(listenFd_, 4);
        socklen_t len = sizeof(a);
        getsockname(listenFd_, reinterpret_cast<sockaddr *>(&a), &len);
        port = ntohs(a.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~EchoServer() {
        shutdown(listenFd_, SHUT_RDWR);
        close(listenFd_);
        thread_.join();
    }
    int port;
    // Binds the serving thread to the given CPUs.
    void pin(const cpu_set_t &cpus) {
        pthread_setaffinity_np(thread_.native_handle(), sizeof(cpus), &cpus);
    }

  private:
    ssize_t receive(int fd, char *into, size_t room) {
        if (style_ == EchoStyle::Polling) {
            auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(50);
            do {
                ssize_t n = recv(fd, into, room, MSG_DONTWAIT);
                if (n >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) return n;
            } while (std::chrono::steady_clock::now() < until);
        }
        return recv(fd, into, room, 0);
    }
    void serve() {
        std::vector<char> buf(65536);
        for (;;) {
            int fd = accept(listenFd_, nullptr, nullptr);
            if (fd < 0) return;
            int one = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
            size_t fill = 0;
            for (;;) {
                ssize_t n = receive(fd, buf.data() + fill, buf.size() - fill);
                if (n <= 0) break;
                fill += (size_t)n;
                size_t start = 0;
                for (size_t i = 0; i < fill; i++) {
                    if (buf[i] != '\n') continue;
                    if (style_ == EchoStyle::PerLine)
                        writeAll(fd, buf.data() + start, i + 1 - start);
                    // A line longer than the buffer arrives in pieces; its end is in the last.
                    if (style_ == EchoStyle::Acknowledging && i > start && buf[i - 1] == '?')
                        writeAll(fd, "1\n", 2);
                    start = i + 1;
                }
                if (style_ == EchoStyle::Trivial || style_ == EchoStyle::Polling)
                    writeAll(fd, buf.data(), start);
                memmove(buf.data(), buf.data() + start, fill - start);
                fill -= start;
                if (fill == buf.size()) fill = 0;
            }
            close(fd);
        }
    }
    EchoStyle style_;
    int listenFd_;
    std::thread thread_;
};

}  // namespace kr_bench
