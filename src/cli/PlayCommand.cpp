#include "cli/PlayCommand.h"

#include <QDateTime>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextStream>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/signalfd.h>
#include <termios.h>
#include <unistd.h>

#include "engine/PortWriter.h"
#include "engine/ShowEngine.h"
#include "engine/HeardSound.h"
#include "engine/TrackFrames.h"
#include "engine/Wakeup.h"
#include "link/MSComm.h"
#include "platform/Dialogs.h"
#include "platform/Joystick.h"
#include "platform/SdlSound.h"
#include "platform/SdlStart.h"
#include "project/ProjectFile.h"
#include "tracks/ServoTrack.h"

namespace mk::cli {

namespace {

using engine::Nanos;
using engine::kNanosPerMs;

// As the window waits before a play: the controller and the sound device
// get a moment between takes.
constexpr Nanos kPlayWait = 200 * kNanosPerMs;
constexpr Nanos kPortRetry = 1000 * kNanosPerMs;
constexpr Nanos kLinePoll = 5 * kNanosPerMs;

void logLine(const QString& text)
{
    // Under systemd the journal stamps each line itself.
    static const bool journal = qEnvironmentVariableIsSet("JOURNAL_STREAM");
    QTextStream err(stderr);
    if (!journal)
        err << QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss.zzz ")) << QStringLiteral("play: ");
    err << text << Qt::endl;
}

int usage(const QString& problem)
{
    QTextStream(stderr) << QStringLiteral("play: ") << problem << Qt::endl << playCommandHelp() << Qt::endl;
    return 2;
}

/// A project opened as a freshly started window opens it, ready for the engine.
struct LoadedShow {
    NoJoystick joystick;
    std::array<std::unique_ptr<ServoTrack>, 8> owned;
    std::array<ServoTrack*, 8> tracks{};
    std::unique_ptr<engine::TrackFrames> frames;
    QString path;
    QString sound; ///< empty: none
    qint32 lastFrame = 0;
    int trackCount = 0;
};

std::unique_ptr<LoadedShow> loadShow(const QString& path, const QString& soundOverride, QString& error)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        error = QStringLiteral("No such project: %1").arg(path);
        return nullptr;
    }
    if (!info.isFile()) {
        error = QStringLiteral("%1 is not a project file.").arg(path);
        return nullptr;
    }
    const project::ReadResult read = project::readFile(path);
    if (read.status == project::ReadResult::Status::NotAProject) {
        error = QStringLiteral("%1 is not a MarionetteKit project.").arg(path);
        return nullptr;
    }
    if (read.status != project::ReadResult::Status::Ok) {
        error = failureText(QStringLiteral("There was an error while opening %1.").arg(path), read.error.number,
                            read.error.description)
                    .replace(QChar(13), QChar(10));
        return nullptr;
    }
    auto show = std::make_unique<LoadedShow>();
    for (int i = 0; i < 8; ++i) {
        show->owned[size_t(i)] = std::make_unique<ServoTrack>(show->joystick);
        ServoTrack* t = show->owned[size_t(i)].get();
        show->tracks[size_t(i)] = t;
        // The main window's load sequence.
        t->setWhichservo(qint16(i));
        t->setPlaybackEnabled(true);
        t->setRecordingEnabled(true);
    }
    try {
        project::applyToTracks(read.project, std::span<ServoTrack* const>(show->tracks.data(), 8));
    } catch (const RuntimeError& e) {
        error = QStringLiteral("%1: %2 %3").arg(path).arg(e.number()).arg(QString::fromStdString(e.description()));
        return nullptr;
    }
    show->path = QFileInfo(path).absoluteFilePath();
    show->trackCount = read.project.lastServoIndex + 1;
    for (int i = 0; i < show->trackCount; ++i)
        show->lastFrame = std::max(show->lastFrame, show->tracks[size_t(i)]->maxframe());
    show->frames = std::make_unique<engine::TrackFrames>(show->tracks, show->trackCount);

    // A sound the user names wins; else the project's, found beside the
    // project when it came from another machine.
    if (!soundOverride.isEmpty())
        show->sound = QFileInfo(soundOverride).absoluteFilePath();
    else if (read.project.soundLoaded())
        show->sound = project::soundPathFor(read.project.soundFileName(), path);
    if (!show->sound.isEmpty()) {
        if (!QFileInfo(show->sound).isFile()) {
            error = QStringLiteral("The sound %1 of %2 is missing. Name it with --sound FILE.").arg(show->sound, path);
            return nullptr;
        }
        qint32 ms = 0;
        int status = SoundService::InvalidDevice;
        try {
            status = SdlSound::fileLength(show->sound, ms);
        } catch (const RuntimeError&) {
        }
        if (status != SoundService::NoError || ms <= 0) {
            error = QStringLiteral("The sound %1 cannot be read: it is damaged or not a sound file. Convert it to a "
                                   "WAV file, or name another with --sound FILE.")
                        .arg(show->sound);
            return nullptr;
        }
    }
    return show;
}

/// The controller's serial line, opened as the window opens it: 9600 baud,
/// 8 data bits, no parity, one stop bit, nothing translated.
class SerialLine {
public:
    ~SerialLine() { close(); }

    bool open(const QString& device, QString& error)
    {
        close();
        const QByteArray path = device.toLocal8Bit();
        m_fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (m_fd < 0) {
            error = describe(device, errno);
            return false;
        }
        termios t{};
        if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            error = describe(device, EBUSY);
            close();
            return false;
        }
        if (::tcgetattr(m_fd, &t) != 0) {
            error = QStringLiteral("%1 is not a serial port.").arg(device);
            close();
            return false;
        }
        ::cfmakeraw(&t);
        ::cfsetispeed(&t, B9600);
        ::cfsetospeed(&t, B9600);
        t.c_cflag |= CLOCAL | CREAD;
        t.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS);
        ::tcsetattr(m_fd, TCSANOW, &t);
        m_writer = std::make_unique<engine::FdPortWriter>(m_fd);
        return true;
    }

    void close()
    {
        m_writer.reset();
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

    /// Lets the bytes already written leave, for at most `limit`.
    void drain(Nanos limit) const
    {
        const Nanos end = engine::monotonicNanos() + limit;
        int queued = 0;
        while (m_fd >= 0 && ::ioctl(m_fd, TIOCOUTQ, &queued) == 0 && queued > 0 && engine::monotonicNanos() < end)
            ::usleep(5000);
    }

    engine::PortWriter* writer() const { return m_writer.get(); }
    const int& fd() const { return m_fd; }

    static QString describe(const QString& device, int e)
    {
        switch (e) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return QStringLiteral("No serial device %1: is the adapter plugged in? `marionettekit --help` tells how "
                                  "ports are numbered.")
                .arg(device);
        case EACCES:
        case EPERM:
            return QStringLiteral("Permission denied on %1: add the user to the dialout group "
                                  "(sudo adduser $USER dialout) and log in again.")
                .arg(device);
        case EBUSY:
            return QStringLiteral("%1 is in use by another program (the window, or another play?): close it, or "
                                  "name another port with --port.")
                .arg(device);
        default:
            return QStringLiteral("Cannot open %1: %2").arg(device, QString::fromLocal8Bit(std::strerror(e)));
        }
    }

private:
    int m_fd = -1;
    std::unique_ptr<engine::FdPortWriter> m_writer;
};

/// "COM2" as the window numbers ports, else the path itself.
QString devicePathOf(const QString& port)
{
    static const QRegularExpression com(QStringLiteral("^COM ?([1-9])$"), QRegularExpression::CaseInsensitiveOption);
    const auto m = com.match(port);
    if (!m.hasMatch())
        return port;
    const QStringList paths = MSComm::defaultDevicePaths();
    const int n = m.captured(1).toInt();
    return n <= paths.size() ? paths.at(n - 1) : QString();
}

/// The show time the listener hears, from the sound device's own count of
/// samples: the engine's clock follows it instead of drifting away from the
/// sound card's crystal over a long show.

class Player {
public:
    Player(const PlayOptions& o, LoadedShow& show, LoadedShow* idle, int signalFd, const LineSources& lines)
        : m_o(o), m_show(show), m_idle(idle), m_signals(signalFd), m_lines(lines), m_engine(*show.frames)
    {
    }

    int run();

private:
    enum class Phase { Rest, Starting, Show, Between, Idle };

    bool setUp(QString& error);
    void beginShow(Nanos now);
    void startShow();
    void endShow(Nanos now);
    void rest();
    void startIdle();
    void restPose();
    void onTrigger(const QString& what, Nanos now);
    void handleEvents(Nanos now);
    Nanos nextWake(Nanos now) const;
    bool showOver();
    bool idleOver();

    const PlayOptions& m_o;
    LoadedShow& m_show;
    LoadedShow* m_idle;
    int m_signals;
    const LineSources& m_lines;
    engine::ShowEngine m_engine;
    SdlSound m_sound;
    engine::HeardSound m_heard{m_sound};
    SerialLine m_line;
    QString m_device;
    std::unique_ptr<LineInput> m_input;
    std::optional<EdgeDetector> m_edges;
    bool m_readStdin = false;
    Phase m_phase = Phase::Rest;
    Nanos m_startAt = 0;
    Nanos m_retryAt = -1;
    Nanos m_nextPoll = 0;
    std::uint64_t m_sentBefore = 0;
    std::uint64_t m_skippedBefore = 0;
    bool m_soundPlaying = false;
    bool m_idleActive = false;
    bool m_quit = false;
};

bool Player::setUp(QString& error)
{
    if (!m_o.port.isEmpty()) {
        m_device = devicePathOf(m_o.port);
        if (m_device.isEmpty()) {
            error = QStringLiteral("There is no %1 on this machine.").arg(m_o.port);
            return false;
        }
        if (!m_line.open(m_device, error))
            return false;
        m_engine.setPort(m_line.writer());
    }
    m_input = openTriggerLine(m_o.trigger, m_line.fd(), m_lines, error);
    if (!error.isEmpty())
        return false;
    if (m_input)
        m_edges.emplace(m_o.risingEdge, m_o.debounceMs);
    m_readStdin = m_o.trigger == QLatin1String("enter");
    // Opening the device now keeps the first show's start as quick as the next.
    for (LoadedShow* s : {&m_show, m_idle}) {
        qint32 ms = 0;
        if (s && !s->sound.isEmpty() && m_sound.length(s->sound, ms) == SoundService::CannotPlay)
            logLine(QStringLiteral("No sound output can play %1: the show runs without its sound.").arg(s->sound));
    }
    return true;
}

void Player::restPose()
{
    m_idleActive = false;
    m_engine.stop();
    m_sound.stop(QString());
    m_soundPlaying = false;
    m_engine.setWork(*m_show.frames);
    m_engine.sendFrame(0);
}

void Player::startIdle()
{
    m_engine.stop();
    m_engine.setWork(*m_idle->frames);
    const bool withSound = !m_idle->sound.isEmpty();
    m_engine.startShow(0, withSound ? std::numeric_limits<std::int32_t>::max() : m_idle->lastFrame);
    m_soundPlaying = withSound && m_sound.play(m_idle->sound, 0, -1, false) == SoundService::NoError;
    m_idleActive = true;
    m_phase = Phase::Idle;
}

void Player::rest()
{
    // An idle project of a single pose is sent once, not thirty times a second.
    if (m_idle && (m_idle->lastFrame > 0 || !m_idle->sound.isEmpty())) {
        startIdle();
        return;
    }
    if (m_idle) {
        m_engine.stop();
        m_engine.setWork(*m_idle->frames);
        m_engine.sendFrame(0);
    } else {
        restPose();
    }
    m_phase = Phase::Rest;
}

void Player::beginShow(Nanos now)
{
    m_idleActive = false;
    m_engine.stop();
    m_sound.stop(QString());
    m_soundPlaying = false;
    // The engine is stopped: the show's tracks take over between two frames.
    m_engine.setWork(*m_show.frames);
    m_phase = Phase::Starting;
    m_startAt = now + kPlayWait;
}

void Player::startShow()
{
    const bool withSound = !m_show.sound.isEmpty();
    m_sentBefore = m_engine.framesSent();
    m_skippedBefore = m_engine.framesSkipped();
    m_engine.clearLateness();
    // The clock starts before the sound, as in the window.
    m_engine.startShow(0, withSound ? std::numeric_limits<std::int32_t>::max() : m_show.lastFrame);
    if (withSound) {
        const int status = m_sound.play(m_show.sound, 0, -1, false);
        m_soundPlaying = status == SoundService::NoError;
        if (m_soundPlaying)
            m_engine.setHeardClock(&m_heard);
        if (!m_soundPlaying) {
            // Frames without their sound still beat a figure standing still.
            logLine(QStringLiteral("The sound cannot play (error %1): the show runs without it.").arg(status));
            m_engine.stop();
            m_engine.startShow(m_engine.frame(), m_show.lastFrame);
        }
    }
    m_phase = Phase::Show;
    logLine(QStringLiteral("show started: %1").arg(m_show.path));
}

bool Player::showOver()
{
    if (m_soundPlaying)
        return !m_sound.stats().playing;
    return !m_engine.running();
}

bool Player::idleOver()
{
    return m_idleActive && (m_soundPlaying ? !m_sound.stats().playing : !m_engine.running());
}

void Player::endShow(Nanos now)
{
    m_engine.stop();
    m_engine.setHeardClock(nullptr);
    m_sound.stop(QString());
    m_soundPlaying = false;
    logLine(QStringLiteral("show ended: %1 frames sent, %2 skipped, lateness p99 %3 ms, clock rate %4 of the sound's")
                .arg(m_engine.framesSent() - m_sentBefore)
                .arg(m_engine.framesSkipped() - m_skippedBefore)
                .arg(m_engine.lateness().percentileMs(99), 0, 'f', 2)
                .arg(m_engine.clockRate(), 0, 'f', 5));
    if (m_o.trigger.isEmpty()) {
        if (!m_o.loop) {
            m_quit = true;
            return;
        }
        m_startAt = now + Nanos(m_o.waitSeconds * 1e9);
        rest();
        m_phase = Phase::Between;
        return;
    }
    rest();
}

void Player::onTrigger(const QString& what, Nanos now)
{
    if ((m_phase == Phase::Show || m_phase == Phase::Starting) && !m_o.retrigger) {
        logLine(QStringLiteral("trigger (%1) during the show: ignored").arg(what));
        return;
    }
    logLine(QStringLiteral("trigger (%1)").arg(what));
    beginShow(now);
}

void Player::handleEvents(Nanos now)
{
    while (const auto e = m_engine.nextEvent()) {
        if (e->kind == engine::Event::Kind::PortFailed) {
            logLine(QStringLiteral("port lost: %1; trying again every second").arg(m_device));
            m_engine.setPort(nullptr);
            m_line.close();
            m_retryAt = now + kPortRetry;
        } else {
            logLine(QStringLiteral("frame %1: error %2 %3").arg(e->frame).arg(e->number).arg(QString::fromUtf8(e->text.data())));
        }
    }
    if (m_retryAt >= 0 && now >= m_retryAt) {
        QString error;
        if (m_line.open(m_device, error)) {
            m_engine.setPort(m_line.writer());
            m_retryAt = -1;
            logLine(QStringLiteral("port back: %1").arg(m_device));
        } else {
            m_retryAt = now + kPortRetry;
        }
    }
}

Nanos Player::nextWake(Nanos now) const
{
    Nanos wake = now + 250 * kNanosPerMs;
    if (m_phase != Phase::Rest)
        wake = std::min(wake, now + 20 * kNanosPerMs);
    if (m_phase == Phase::Starting || m_phase == Phase::Between)
        wake = std::min(wake, m_startAt);
    if (m_input)
        wake = std::min(wake, m_nextPoll);
    if (m_retryAt >= 0)
        wake = std::min(wake, m_retryAt);
    return std::max(wake, now);
}

int Player::run()
{
    QString error;
    if (!setUp(error)) {
        logLine(error);
        return 1;
    }
    logLine(QStringLiteral("%1: %2 track(s), frames 0 to %3, %4; port %5; engine priority %6")
                .arg(m_show.path)
                .arg(m_show.trackCount)
                .arg(m_show.lastFrame)
                .arg(m_show.sound.isEmpty() ? QStringLiteral("no sound") : QStringLiteral("sound ") + m_show.sound,
                     m_device.isEmpty() ? QStringLiteral("none") : m_device,
                     QString::fromStdString(m_engine.priority().describe())));
    Nanos now = engine::monotonicNanos();
    if (m_o.trigger.isEmpty())
        beginShow(now);
    else
        rest();
    while (!m_quit) {
        now = engine::monotonicNanos();
        std::array<pollfd, 2> fds{{{m_signals, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}}};
        const Nanos wait = nextWake(now) - now;
        const int n = ::poll(fds.data(), m_readStdin ? 2 : 1, int((wait + kNanosPerMs - 1) / kNanosPerMs));
        now = engine::monotonicNanos();
        if (n > 0 && (fds[0].revents & POLLIN)) {
            signalfd_siginfo si{};
            while (::read(m_signals, &si, sizeof si) == ssize_t(sizeof si)) {
                if (si.ssi_signo == SIGUSR1) {
                    if (m_o.trigger == QLatin1String("signal"))
                        onTrigger(QStringLiteral("SIGUSR1"), now);
                } else {
                    logLine(QStringLiteral("stopping on %1").arg(QString::fromLocal8Bit(strsignal(int(si.ssi_signo)))));
                    m_quit = true;
                }
            }
        }
        if (m_readStdin && n > 0 && (fds[1].revents & (POLLIN | POLLHUP))) {
            char buf[256];
            const ssize_t r = ::read(STDIN_FILENO, buf, sizeof buf);
            if (r <= 0) {
                logLine(QStringLiteral("standard input closed: Enter no longer starts a show"));
                m_readStdin = false;
            } else if (std::memchr(buf, '\n', size_t(r))) {
                onTrigger(QStringLiteral("Enter"), now);
            }
        }
        if (m_quit)
            break;
        if (m_input && now >= m_nextPoll) {
            m_nextPoll = now + kLinePoll;
            if (const auto level = m_input->level(); level && m_edges->feed(*level, now / kNanosPerMs))
                onTrigger(m_o.trigger, now);
        }
        handleEvents(now);
        switch (m_phase) {
        case Phase::Starting:
            if (now >= m_startAt)
                startShow();
            break;
        case Phase::Show:
            if (showOver())
                endShow(now);
            break;
        case Phase::Between:
            if (now >= m_startAt) {
                beginShow(now);
            } else if (idleOver()) {
                startIdle();
                m_phase = Phase::Between;
            }
            break;
        case Phase::Idle:
            if (idleOver())
                startIdle();
            break;
        case Phase::Rest:
            break;
        }
    }
    // Whatever ended the run, the figure is left in the show's rest pose.
    restPose();
    m_engine.setHeardClock(nullptr);
    m_engine.setPort(nullptr); // returns once the rest pose has been written
    m_line.drain(500 * kNanosPerMs);
    logLine(QStringLiteral("stopped"));
    return 0;
}

} // namespace

std::optional<PlayOptions> parsePlayOptions(const QStringList& args, QString& problem)
{
    PlayOptions o;
    QStringList positional;
    for (int i = 0; i < args.size(); ++i) {
        QString a = args[i];
        QString value;
        const bool takesValue = a == QLatin1String("--port") || a == QLatin1String("--sound") ||
                                a == QLatin1String("--audio-device") ||
                                a == QLatin1String("--idle") || a == QLatin1String("--wait") ||
                                a == QLatin1String("--trigger") || a == QLatin1String("--trigger-edge") ||
                                a == QLatin1String("--debounce");
        if (a.startsWith(QLatin1String("--")) && a.contains(QLatin1Char('='))) {
            value = a.section(QLatin1Char('='), 1);
            a = a.section(QLatin1Char('='), 0, 0);
        } else if (takesValue) {
            if (i + 1 >= args.size()) {
                problem = QStringLiteral("%1 needs a value.").arg(a);
                return std::nullopt;
            }
            value = args[++i];
        }
        bool ok = true;
        if (a == QLatin1String("--port"))
            o.port = value;
        else if (a == QLatin1String("--sound"))
            o.sound = value;
        else if (a == QLatin1String("--audio-device"))
            o.audioDevice = value;
        else if (a == QLatin1String("--idle"))
            o.idle = value;
        else if (a == QLatin1String("--loop"))
            o.loop = true;
        else if (a == QLatin1String("--retrigger"))
            o.retrigger = true;
        else if (a == QLatin1String("--wait")) {
            o.waitSeconds = value.toDouble(&ok);
            ok = ok && o.waitSeconds >= 0 && o.waitSeconds <= 86400;
        } else if (a == QLatin1String("--debounce")) {
            o.debounceMs = value.toInt(&ok);
            ok = ok && o.debounceMs >= 0 && o.debounceMs <= 10000;
        } else if (a == QLatin1String("--trigger-edge")) {
            ok = value == QLatin1String("rising") || value == QLatin1String("falling");
            o.risingEdge = value == QLatin1String("rising");
        } else if (a == QLatin1String("--trigger")) {
            o.trigger = value;
            static const QRegularExpression gpio(QStringLiteral("^gpio:[^:]+:[0-9]+$"));
            ok = value == QLatin1String("enter") || value == QLatin1String("signal") || modemLineBit(value) ||
                 gpio.match(value).hasMatch();
        } else if (a.startsWith(QLatin1String("-"))) {
            problem = QStringLiteral("Unknown option %1.").arg(args[i]);
            return std::nullopt;
        } else {
            positional << a;
        }
        if (!ok) {
            problem = QStringLiteral("%1 does not take \"%2\".").arg(a, value);
            return std::nullopt;
        }
    }
    if (positional.size() != 1) {
        problem = positional.isEmpty() ? QStringLiteral("Name the show to play.")
                                       : QStringLiteral("Name one show only.");
        return std::nullopt;
    }
    if (modemLineBit(o.trigger) && o.port.isEmpty()) {
        problem = QStringLiteral("The %1 trigger is a line of the serial port: name it with --port.").arg(o.trigger);
        return std::nullopt;
    }
    o.show = positional.front();
    return o;
}

int runPlayCommand(const QStringList& args, const LineSources& lines)
{
    if (args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))) {
        QTextStream(stdout) << playCommandHelp() << Qt::endl;
        return 0;
    }
    QString problem;
    const auto o = parsePlayOptions(args.mid(1), problem);
    if (!o)
        return usage(problem);

    // Signals are read from a descriptor in the loop; blocked before any
    // thread starts (the engine's, the sound's), so that none of them takes one.
    sigset_t set;
    sigemptyset(&set);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGUSR1})
        sigaddset(&set, s);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    const int signalFd = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (signalFd < 0) {
        logLine(QStringLiteral("Cannot watch for signals: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
        return 1;
    }

    if (!o->audioDevice.isEmpty()) {
        if (!SdlSound::outputDevices().contains(o->audioDevice)) {
            logLine(QStringLiteral("No sound output is named \"%1\". `marionettekit devices` lists them.")
                        .arg(o->audioDevice));
            ::close(signalFd);
            return 1;
        }
        SdlSound::setOutputDevice(o->audioDevice);
    }
    QString error;
    const auto show = loadShow(o->show, o->sound, error);
    std::unique_ptr<LoadedShow> idle;
    if (show && !o->idle.isEmpty())
        idle = loadShow(o->idle, QString(), error);
    if (!show || (!o->idle.isEmpty() && !idle)) {
        logLine(error);
        ::close(signalFd);
        return 1;
    }
    int status = 0;
    {
        Player player(*o, *show, idle.get(), signalFd, lines);
        status = player.run();
    }
    ::close(signalFd);
    return status;
}

QString playCommandHelp()
{
    return QStringLiteral(
        "  play SHOW.pjt [options]  Play a show without a window: its sound through the\n"
        "                           sound device, its frames to the controller.\n"
        "      --port DEVICE        the controller's serial port (/dev/ttyUSB0, or COMn as\n"
        "                           the window numbers them)\n"
        "      --sound FILE         play this sound instead of the project's own\n"
        "      --audio-device NAME  play through this output (see `devices`)\n"
        "      --loop               play again and again (without --trigger)\n"
        "      --wait SECONDS       rest this long between plays of --loop\n"
        "      --idle IDLE.pjt      play this project over and over between shows\n"
        "      --trigger SOURCE     start the show on: enter (a line on standard input),\n"
        "                           signal (SIGUSR1), cts, dsr, dcd or ri (a modem line of\n"
        "                           --port), gpio:CHIP:LINE (a GPIO line)\n"
        "      --trigger-edge rising|falling   which change of the line starts (rising)\n"
        "      --debounce MS        ignore changes this soon after one (30)\n"
        "      --retrigger          a trigger during a show starts it again\n"
        "    At rest and on SIGINT/SIGTERM the show's frame 0 (its rest pose) is sent.\n"
        "  devices                  List the sound outputs, serial ports and joysticks.");
}

int runDevicesCommand()
{
    QTextStream out(stdout);
    out << "Sound outputs (for play --audio-device):\n";
    const QStringList outputs = SdlSound::outputDevices();
    for (const QString& name : outputs)
        out << "  " << name << "\n";
    if (outputs.isEmpty())
        out << "  none\n";
    out << "Serial ports (for --port):\n";
    const QStringList ports = MSComm::defaultDevicePaths();
    int n = 0;
    for (int i = 0; i < ports.size(); ++i) {
        if (ports[i].isEmpty())
            continue;
        out << "  COM" << i + 1 << "  " << ports[i] << "\n";
        ++n;
    }
    if (n == 0)
        out << "  none\n";
    out << "Joysticks:\n";
    n = 0;
    if (startSdlSubsystem(SDL_INIT_JOYSTICK)) {
        for (int i = 0; i < SDL_NumJoysticks(); ++i, ++n)
            out << "  " << QString::fromUtf8(SDL_JoystickNameForIndex(i)) << "\n";
    }
    if (n == 0)
        out << "  none\n";
    return 0;
}

} // namespace mk::cli
