#include "engine/PortWriter.h"

#include <cerrno>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace mk::engine {

PortWriter::Result FdPortWriter::write(const std::uint8_t* data, int n)
{
    int queued = 0;
    if (::ioctl(m_fd, TIOCOUTQ, &queued) == 0 && queued + n > kMaxQueued)
        return Result::Dropped;
    int done = 0;
    while (done < n) {
        const ssize_t w = ::write(m_fd, data + done, size_t(n - done));
        if (w > 0) {
            done += int(w);
            continue;
        }
        if (w < 0 && errno == EINTR)
            continue;
        if (w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // The driver's buffer is full part way through a message: finish
            // it rather than leave half a command on the line.
            pollfd p{m_fd, POLLOUT, 0};
            if (::poll(&p, 1, 100) > 0 && !(p.revents & (POLLERR | POLLHUP | POLLNVAL)))
                continue;
        }
        return done == 0 && w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) ? Result::Dropped : Result::Failed;
    }
    return Result::Written;
}

} // namespace mk::engine
