#pragma once
// The engine's one blocking call: a frame message, preview or scrub message
// handed to the serial line in one write.
#include <cstdint>

namespace mk::engine {

class PortWriter {
public:
    enum class Result { Written, Dropped, Failed };
    virtual ~PortWriter() = default;
    /// Writes all `n` bytes or none. Failed: the line is gone (unplugged) and
    /// nothing more should be written to it.
    virtual Result write(const std::uint8_t* data, int n) = 0;
};

/// An open serial device by its file descriptor (not owned: whoever opened
/// the port closes it, after taking it away from the engine).
class FdPortWriter : public PortWriter {
public:
    /// Whole messages are dropped once this much is queued and not yet sent:
    /// a line that does not drain must not make the figure fall ever further
    /// behind the sound.
    static constexpr int kMaxQueued = 512;

    explicit FdPortWriter(int fd) : m_fd(fd) {}
    Result write(const std::uint8_t* data, int n) override;

private:
    int m_fd;
};

} // namespace mk::engine
