#include "remote/krconsole.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "scpi/scpi_link.h"

namespace {

void writeAll(int fd, const char *p, int n) {
    while (n > 0) {
        ssize_t w = write(fd, p, (size_t)n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return;  // nobody listens; the answer is dropped like a closed terminal would
        }
        p += w;
        n -= (int)w;
    }
}

}  // namespace

int Krconsole_handle(ScpiLink *link) {
    // Wait for input before taking the buffer, so bufLock is never held across a wait.
    struct pollfd pfd = {STDIN_FILENO, POLLIN, 0};
    while (poll(&pfd, 1, -1) < 0)
        if (errno != EINTR) return -1;
    char *ptr;
    int room = krcommOpenCmd(link, &ptr);
    ssize_t n = 0;
    if (room > 0) {
        n = read(STDIN_FILENO, ptr, (size_t)room);
        if (n < 0 && errno == EINTR) n = 0;
    }
    krcommCloseCmd(link, n > 0 ? (int)n : 0);
    if (room > 0 && n == 0) return -1;  // end of input: a daemon has no console
    if (n < 0) return -1;
    int more;
    do {
        scpi_link_doHandle(link);
        scpi_link_waitHandled(link);
        char *ans;
        int len = krcommPeekAns(link, &ans, &more);
        writeAll(STDOUT_FILENO, ans, len);
        krcommClearAns(link, len, &more);
    } while (more);
    return 0;
}
