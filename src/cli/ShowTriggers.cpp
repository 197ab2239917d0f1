#include "cli/ShowTriggers.h"

#include <cerrno>
#include <cstring>
#include <QStringList>
#include <gpiod.h>
#include <sys/ioctl.h>
#include <termios.h>

namespace mk::cli {

bool EdgeDetector::feed(bool level, std::int64_t nowMs)
{
    if (!m_last) {
        m_last = level;
        return false;
    }
    if (level == *m_last || nowMs < m_quietUntil)
        return false;
    m_last = level;
    m_quietUntil = nowMs + m_debounceMs;
    return level == m_rising;
}

std::optional<int> modemLineBit(const QString& name)
{
    if (name == QLatin1String("cts"))
        return TIOCM_CTS;
    if (name == QLatin1String("dsr"))
        return TIOCM_DSR;
    if (name == QLatin1String("dcd"))
        return TIOCM_CD;
    if (name == QLatin1String("ri"))
        return TIOCM_RI;
    return std::nullopt;
}

std::optional<bool> ModemLine::level()
{
    int status = 0;
    if (m_fd < 0 || ::ioctl(m_fd, TIOCMGET, &status) != 0)
        return std::nullopt;
    return (status & m_bit) != 0;
}

namespace {

class GpioLine : public LineInput {
public:
    GpioLine(gpiod_chip* chip, gpiod_line* line) : m_chip(chip), m_line(line) {}
    ~GpioLine() override
    {
        gpiod_line_release(m_line);
        gpiod_chip_close(m_chip);
    }
    GpioLine(const GpioLine&) = delete;
    GpioLine& operator=(const GpioLine&) = delete;

    std::optional<bool> level() override
    {
        const int v = gpiod_line_get_value(m_line);
        if (v < 0)
            return std::nullopt;
        return v == 1;
    }

private:
    gpiod_chip* m_chip;
    gpiod_line* m_line;
};

} // namespace

std::unique_ptr<LineInput> openGpioLine(const QString& chip, unsigned line, QString& error)
{
    gpiod_chip* c = gpiod_chip_open_lookup(chip.toLocal8Bit().constData());
    if (!c) {
        error = QStringLiteral("No GPIO chip %1 (%2). List the chips with gpiodetect.")
                    .arg(chip, QString::fromLocal8Bit(std::strerror(errno)));
        return nullptr;
    }
    gpiod_line* l = gpiod_chip_get_line(c, line);
    if (!l || gpiod_line_request_input(l, "marionettekit") != 0) {
        const int e = errno;
        gpiod_chip_close(c);
        error = QStringLiteral("Cannot read GPIO line %1 of %2 (%3).%4")
                    .arg(line)
                    .arg(chip, QString::fromLocal8Bit(std::strerror(e)),
                         e == EACCES ? QStringLiteral(" Add the user to the gpio group.")
                         : e == EBUSY ? QStringLiteral(" Another program holds the line.")
                                      : QStringLiteral(" See gpioinfo for the chip's lines."));
        return nullptr;
    }
    return std::make_unique<GpioLine>(c, l);
}

LineSources systemLines()
{
    return {[](const int& fd, int bit) { return std::make_unique<ModemLine>(fd, bit); }, openGpioLine};
}

std::unique_ptr<LineInput> openTriggerLine(const QString& trigger, const int& portFd, const LineSources& sources,
                                           QString& error)
{
    if (const auto bit = modemLineBit(trigger))
        return sources.modem(portFd, *bit);
    if (!trigger.startsWith(QLatin1String("gpio:")))
        return nullptr;
    const QStringList parts = trigger.split(QLatin1Char(':'));
    return sources.gpio(parts.value(1), parts.value(2).toUInt(), error);
}

} // namespace mk::cli
