#pragma once
// What starts a show when nobody sits at a keyboard: a mat switch or a light
// barrier wired to a modem line of the serial adapter or to a GPIO line.
// Both are read by polling a level; the readers are thin so that tests can
// put a fake behind the same edge detection.
#include <QString>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>

namespace mk::cli {

class LineInput {
public:
    virtual ~LineInput() = default;
    /// The line's level now; nothing while it cannot be read (adapter gone).
    virtual std::optional<bool> level() = 0;
};

/// Levels read at instants in, triggers out. The chosen edge fires at once
/// (a visitor should not wait for the contact to settle); any change within
/// `debounceMs` of an accepted change is contact bounce and ignored, on
/// release as on press. The first level read only sets where the line rests.
class EdgeDetector {
public:
    EdgeDetector(bool rising, int debounceMs) : m_rising(rising), m_debounceMs(debounceMs) {}
    bool feed(bool level, std::int64_t nowMs);

private:
    bool m_rising;
    int m_debounceMs;
    std::optional<bool> m_last;
    std::int64_t m_quietUntil = std::numeric_limits<std::int64_t>::min();
};

/// A modem status line of an open serial device: which of CTS, DSR, DCD
/// (carrier detect) and RI a name means, or nothing for another name.
std::optional<int> modemLineBit(const QString& name);

/// Reads a modem line of whatever device `fd` points at when asked.
class ModemLine : public LineInput {
public:
    ModemLine(const int& fd, int bit) : m_fd(fd), m_bit(bit) {}
    std::optional<bool> level() override;

private:
    const int& m_fd;
    int m_bit;
};

/// A GPIO line through the kernel's character device, requested as an input.
/// `chip` is a name ("gpiochip0"), number, path or label. On failure returns
/// nothing and says why in `error`.
std::unique_ptr<LineInput> openGpioLine(const QString& chip, unsigned line, QString& error);

/// Where the lines a trigger names are read from: the machine's own modem
/// lines and GPIO chips, or a test's fakes.
struct LineSources {
    std::function<std::unique_ptr<LineInput>(const int& portFd, int bit)> modem;
    std::function<std::unique_ptr<LineInput>(const QString& chip, unsigned line, QString& error)> gpio;
};
LineSources systemLines();

/// The line a `--trigger` value names, read from `sources`; `portFd` is the
/// serial port's descriptor as it is now and after a reopen. Nothing for a
/// trigger that is not a line (enter, signal, none), or with `error` set when
/// the line cannot be read.
std::unique_ptr<LineInput> openTriggerLine(const QString& trigger, const int& portFd, const LineSources& sources,
                                           QString& error);

} // namespace mk::cli
