#include "remote/krconsole.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "remote/krusb.h"
#include "scpi/scpi_link.h"

namespace {

constexpr useconds_t kNoRoomWaitUs = 100000;
constexpr int kAnswerMax = 4096;

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
    // Input is waiting but the link has no room yet: let the main loop make some.
    if (room < 1) usleep(kNoRoomWaitUs);
    // Answers go to standard output; one that nobody reads is dropped like on a closed
    // terminal.
    static char buf[kAnswerMax];
    int more;
    do {
        scpi_link_doHandle(link);
        scpi_link_waitHandled(link);
        more = krusb_writeAnswer(STDOUT_FILENO, link, 0, buf, sizeof(buf));
    } while (more > 0);
    return 0;
}
