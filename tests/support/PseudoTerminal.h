#pragma once
// A pseudo-terminal pair for tests: the program opens the slave path as its
// serial port, the test reads what arrives on the master side.
#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>
#include <algorithm>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace mk::test {

class PseudoTerminal {
public:
    PseudoTerminal()
    {
        // Not inherited: a program the test starts must not keep the line alive after the test has unplugged it.
        m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0)
            return;
        termios t{};
        if (tcgetattr(m_master, &t) == 0) {
            cfmakeraw(&t);
            tcsetattr(m_master, TCSANOW, &t);
        }
        m_slavePath = QString::fromLocal8Bit(ptsname(m_master));
    }
    ~PseudoTerminal() { closeMaster(); }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool valid() const { return m_master >= 0 && !m_slavePath.isEmpty(); }
    QString slavePath() const { return m_slavePath; }

    /// The other end goes away, as an unplugged adapter does.
    void closeMaster()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

    /// Whether some program has the slave open right now.
    bool slaveOpen() const
    {
        pollfd p{m_master, POLLIN, 0};
        ::poll(&p, 1, 0);
        return !(p.revents & POLLHUP);
    }

    /// Whatever arrives within `timeoutMs`, until `wanted` bytes are there. The serial port writes from the event
    /// loop, so the caller's events are processed while waiting (pass false from a thread without one).
    QByteArray read(int wanted, int timeoutMs = 1000, bool pumpEvents = true)
    {
        QByteArray out;
        QElapsedTimer clock;
        clock.start();
        while (m_master >= 0 && out.size() < wanted) {
            if (pumpEvents)
                QCoreApplication::processEvents();
            const int left = int(timeoutMs - clock.elapsed());
            pollfd p{m_master, POLLIN, 0};
            const int ready = ::poll(&p, 1, pumpEvents ? std::clamp(left, 0, 5) : std::max(left, 0));
            if (ready > 0 && (p.revents & POLLIN)) {
                char buf[4096];
                const ssize_t n = ::read(m_master, buf, sizeof buf);
                if (n <= 0)
                    break;
                out.append(buf, int(n));
            } else if (ready < 0 || (ready > 0 && !(p.revents & POLLIN)) || left <= 0) {
                break;
            }
        }
        return out;
    }

    /// Everything already waiting, without blocking.
    QByteArray drain() { return read(1 << 30, 20); }

private:
    int m_master = -1;
    QString m_slavePath;
};

} // namespace mk::test
