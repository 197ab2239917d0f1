#include "sound/graphWindow.h"

#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QVector>

#include <algorithm>
#include <optional>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

#include "platform/Rounding.h"
#include "platform/RuntimeError.h"
#include "sound/WavReader.h"
#include "sound/WaveformLook.h"
#include "sound/WaveformMath.h"

namespace {

/// One byte at 0-based `offset`: a single positioned read where the system
/// has one (half the system calls of seek + read).
bool readByteAt(QFile& file, qint64 offset, char& byte)
{
#ifdef Q_OS_UNIX
    const int fd = file.handle();
    if (fd >= 0)
        return ::pread(fd, &byte, 1, off_t(offset)) == 1;
#endif
    return file.seek(offset) && file.getChar(&byte);
}

const QString noSound = QStringLiteral("noSound");

const QColor& backgroundColour = mk::waveform::background;
const QColor& foregroundColour = mk::waveform::foreground;
const QColor& cursorColour = mk::waveform::cursor;
const QColor markerColour(220, 30, 30);
// Outside the clip: a see-through hatch in the foreground colour, so the
// waveform under it stays readable.
const QColor shadeColour(90, 220, 130, 120);

constexpr int cursorWidth = mk::waveform::cursorWidth;
constexpr int markerWidth = 2;

// The mouse-pointer numbers users of the control have always used.
Qt::CursorShape pointerShape(qint16 v)
{
    switch (v) {
    case 1: return Qt::ArrowCursor;
    case 2: return Qt::CrossCursor;
    case 3: return Qt::IBeamCursor;
    case 5: case 15: return Qt::SizeAllCursor;
    case 6: return Qt::SizeBDiagCursor;
    case 7: return Qt::SizeVerCursor;
    case 8: return Qt::SizeFDiagCursor;
    case 9: return Qt::SizeHorCursor;
    case 10: return Qt::UpArrowCursor;
    case 11: return Qt::WaitCursor;
    case 12: return Qt::ForbiddenCursor;
    case 13: return Qt::BusyCursor;
    case 14: return Qt::WhatsThisCursor;
    default: return Qt::ArrowCursor;
    }
}

} // namespace

graphWindow::graphWindow(mk::TickSource& ticks, mk::Dialogs& dialogs, mk::SoundService& sound,
                         QWidget* parent)
    : QWidget(parent), m_ticks(ticks), m_dialogs(dialogs), m_sound(sound), m_playback(ticks, sound)
{
    setObjectName(QStringLiteral("graphWindow"));
    setMinimumSize(300, 100);
    setAttribute(Qt::WA_OpaquePaintEvent);

    const char* captions[6] = {"Short file name", "Sound format", "File name", "", "When it ends", ""};
    for (int i = 0; i < 6; ++i) {
        m_labels[i] = new QLabel(QString::fromLatin1(captions[i]), this);
        m_labels[i]->setObjectName(QStringLiteral("Label%1").arg(i + 1));
        m_labels[i]->hide();
    }

    m_redline = new QLabel(this);
    m_redline->setObjectName(QStringLiteral("redlineLabel"));
    m_cursor = new QLabel(this);
    m_cursor->setObjectName(QStringLiteral("cursor"));
    for (QLabel* bar : {m_redline, m_cursor}) {
        QPalette pal = bar->palette();
        pal.setColor(QPalette::Window, bar == m_cursor ? cursorColour : markerColour);
        bar->setPalette(pal);
        bar->setAutoFillBackground(true);
        // Presses on the bars belong to the view underneath.
        bar->setAttribute(Qt::WA_TransparentForMouseEvents);
    }

    m_blinkTimer = new QTimer(this);
    m_blinkTimer->setObjectName(QStringLiteral("blinkTimer"));
    m_blinkTimer->setInterval(600);
    connect(m_blinkTimer, &QTimer::timeout, this, &graphWindow::dealWithCursor);
    m_blinkTimer->start();

    m_playUpdateTimer = new QTimer(this);
    m_playUpdateTimer->setObjectName(QStringLiteral("PlayUpdateTimer"));
    m_playUpdateTimer->setInterval(50);
    connect(m_playUpdateTimer, &QTimer::timeout, this, [this] {
        try {
            playUpdateTick();
        } catch (const mk::RuntimeError&) {
            // A clock that cannot place the cursor any more has nothing left to show.
            m_playUpdateTimer->stop();
        }
    });

    initialise();
    reDraw();
}

// --- State ------------------------------------------------------------------

void graphWindow::initialise()
{
    setNoSoundState();
    // A fresh view stands for a second of nothing; only a failed load says 0 ms.
    m_soundLengthMs = 1000;
    m_redLine = -100;
    placeBars();
    m_redline->lower();
}

void graphWindow::setNoSoundState()
{
    m_currentTime = 500;
    // With a length of 0 ms every cursor place is 0 ms; say so right away.
    m_currentTimeMs = 0;
    m_playback.setPlaying(false);
    m_displayStart = 1;
    m_displayEnd = 1000;
    m_clipStart = 0;
    m_clipEnd = 1000;
    m_soundStart = 0;
    m_soundEnd = 0;
    m_soundLength = 1000;
    m_soundLengthMs = 0;
    m_bitsPerSample = 0;
    m_lengthInSeconds = 0;
    m_zoomCentre = 0;
    m_fileName = noSound;
    m_playback.setFile(m_fileName);
}

bool graphWindow::hasSound() const { return m_fileName != noSound; }

void graphWindow::showMessage(const QString& text, const QString& title, mk::MessageButtons buttons,
                              mk::MessageIcon icon)
{
    m_dialogs.message(text, title, buttons, icon);
}

// --- Loading ------------------------------------------------------------------

QString graphWindow::cFileName() const { return m_fileName; }

void graphWindow::setcFileName(const QString& path)
{
    setcFileName(path, {});
}

void graphWindow::setcFileName(const QString& path, const std::function<bool(qint32)>& accept)
{
    m_labels[2]->setText(path);
    load(path, accept);
}

void graphWindow::dropSound()
{
    m_playback.stopSound();
    m_playUpdateTimer->stop();
    setNoSoundState();
    reDraw();
}

void graphWindow::load(QString path, const std::function<bool(qint32)>& accept)
{
    QString name;
    for (;;) {
        name = path.trimmed();
        m_redrawFailureShown = false;
        if (name == noSound) {
            dropSound();
            return;
        }
        // The trimmed name is the one that gets opened, so it is the one to
        // look for (a file system that ignores trailing blanks does the same).
        if (QFileInfo(name).isFile())
            break;
        if (QFileInfo::exists(name) && !QFileInfo(name).isDir()) {
            // A device or a pipe: reading a pipe would wait for a writer for
            // ever. (A folder, such as a path cut short in an old project, is
            // a sound to locate.)
            dropSound();
            const mk::wav::Message m = mk::wav::notAFileMessage(name);
            showMessage(m.text, m.title, m.buttons, m.icon);
            return;
        }
        if (!locate(name, path))
            return;
    }
    if (m_prepare) {
        const std::optional<QString> usable = m_prepare(name);
        if (!usable) {
            dropSound();
            return;
        }
        name = *usable;
        m_labels[2]->setText(name);
    }

    // The new sound is measured aside and taken over only once everything
    // about it is known: a failure leaves no sound at all, never the new
    // name with the previous sound's numbers.
    const mk::wav::ReadResult read = mk::wav::readHeader(name);
    std::optional<mk::wav::Message> refusal;
    switch (read.problem) {
    case mk::wav::Problem::None: break;
    case mk::wav::Problem::CannotOpen:
        dropSound();
        throw mk::RuntimeError::pathFileAccess();
    case mk::wav::Problem::NotRiff: refusal = mk::wav::notRiffMessage(); break;
    case mk::wav::Problem::NoDataTag: refusal = mk::wav::soundProblemMessage(); break;
    case mk::wav::Problem::NoSamples: refusal = mk::wav::noSamplesMessage(); break;
    }

    qint32 ms = 0;
    if (!refusal) {
        int error = mk::SoundService::NoError;
        try {
            error = m_sound.length(name, ms);
        } catch (...) {
            dropSound();
            throw;
        }
        if (error == mk::SoundService::CannotPlay)
            refusal = mk::wav::noSoundCardMessage();
        else if (error == mk::SoundService::InvalidDevice)
            refusal = mk::wav::deviceTroubleMessage(QString());
        else if (ms <= 0) // samples too few for a single frame of sound
            refusal = mk::wav::noSamplesMessage();
    }
    if (refusal) {
        dropSound();
        showMessage(refusal->text, refusal->title, refusal->buttons, refusal->icon);
        return;
    }
    // The host may still say no (it would lose work): then nothing changes.
    if (accept && !accept(ms))
        return;

    const mk::wav::Header& h = read.header;
    m_fileName = name;
    m_playback.setFile(m_fileName);
    m_bitsPerSample = h.bitsPerSample;
    m_soundStart = h.soundStart;
    m_soundLength = h.soundLength;
    m_soundLengthMs = ms;
    m_lengthInSeconds = h.lengthInSeconds;
    m_labels[1]->setText(h.caption);
    m_soundEnd = h.soundEnd;
    m_clipStart = m_displayStart = m_soundStart;
    m_clipEnd = m_displayEnd = m_soundEnd;
    m_zoomCentre = h.zoomCentre;
    m_currentTime = 0;
    m_currentTimeMs = 0;
    m_playback.setPlaying(false);
    m_playUpdateTimer->stop();
    clearSurface();
    dealWithCursor();
    Q_EMIT scrub();
    reDraw();
}

bool graphWindow::locate(const QString& name, QString& path)
{
    m_labels[0]->setText(m_labels[2]->text());
    const QString bare = mk::wav::bareName(name);
    const auto m = mk::wav::locateMessage(bare);
    if (m_dialogs.message(m.text, m.title, m.buttons, m.icon) != mk::MessageAnswer::Ok) {
        dropSound();
        initialise();
        reDraw();
        return false;
    }
    const std::optional<QString> chosen = m_dialogs.openFile(mk::wav::locateDialog(bare));
    if (!chosen) {
        dropSound();
        return false;
    }
    path = *chosen;
    return true;
}

// --- Properties -----------------------------------------------------------------

qint32 graphWindow::cCurrentTime() const { return m_currentTime; }

void graphWindow::setcCurrentTime(qint32 v)
{
    m_currentTime = v;
    m_currentTimeMs = std::max(mk::wave::positionToMs(v, m_soundStart, m_soundLength, m_soundLengthMs), 0);
    dealWithCursor();
}

qint32 graphWindow::cCurrentTimeInMilliseconds() const { return m_currentTimeMs; }

void graphWindow::setcCurrentTimeInMilliseconds(qint32 ms)
{
    m_currentTimeMs = ms;
    m_currentTime = mk::wave::msToPosition(ms, m_soundStart, m_soundLength, m_soundLengthMs);
    Q_EMIT scrub();
}

qint32 graphWindow::cSoundStart() const { return m_soundStart; }
qint32 graphWindow::cSoundEnd() const { return m_soundEnd; }
qint32 graphWindow::cSoundLength() const { return m_soundLength; }
qint32 graphWindow::cSoundLengthInMilliseconds() const { return m_soundLengthMs; }

qint32 graphWindow::cDisplayStart() const { return m_displayStart; }
void graphWindow::setcDisplayStart(qint32 v)
{
    m_displayStart = v;
    reDraw();
}

qint32 graphWindow::cDisplayEnd() const { return m_displayEnd; }
void graphWindow::setcDisplayEnd(qint32 v)
{
    m_displayEnd = v;
    reDraw();
}

qint32 graphWindow::cClipStart() const { return m_clipStart; }
void graphWindow::setcClipStart(qint32 v)
{
    m_clipStart = v >= m_clipEnd ? mk::checkedNarrow<qint32>(qint64(m_clipEnd) - 1) : v;
}

qint32 graphWindow::cClipEnd() const { return m_clipEnd; }
void graphWindow::setcClipEnd(qint32 v)
{
    m_clipEnd = v <= m_clipStart ? mk::checkedNarrow<qint32>(qint64(m_clipStart) + 1) : v;
}

qint32 graphWindow::cRedLine() const { return m_redLine; }
void graphWindow::setcRedLine(qint32 v) { m_redLine = v; }

qint16 graphWindow::czoom() const { return m_zoomValue; }
void graphWindow::setczoom(qint16 z)
{
    m_zoomValue = z;
    if (!hasSound())
        return;
    const mk::wave::View v = mk::wave::zoom(z, m_soundStart, m_soundEnd, m_zoomCentre);
    m_zoomCentre = v.zoomCentre;
    m_displayStart = v.displayStart;
    m_displayEnd = v.displayEnd;
    m_panValue = v.panValue;
}

qint16 graphWindow::cpan() const { return m_panValue; }
void graphWindow::setcpan(qint16 value)
{
    m_panValue = value;
    if (!hasSound())
        return;
    const mk::wave::View v = mk::wave::pan(value, m_soundStart, m_soundEnd, m_displayStart, m_displayEnd);
    m_displayStart = v.displayStart;
    m_displayEnd = v.displayEnd;
    m_zoomCentre = v.zoomCentre;
}

void graphWindow::showSpan(qint32 start, qint32 end)
{
    if (!hasSound() || end <= start)
        return;
    m_displayStart = start;
    m_displayEnd = end;
    m_zoomCentre = mk::roundTo<qint32>((double(start) + end) / 2);
    const double whole = std::max(double(m_soundEnd) - m_soundStart, 1.0);
    m_zoomValue = qint16(std::clamp(mk::roundTo<qint32>((double(end) - start) / whole * 1000), 1, 1000));
    const double left = std::max(double(start) - m_soundStart, 0.0);
    const double right = std::max(double(m_soundEnd) - end, 1.0);
    m_panValue = mk::roundTo<qint16>(left / (left + right) * 10000);
    reDraw();
}

void graphWindow::setmousepointer(qint16 shape)
{
    if (shape == 0)
        unsetCursor();
    else
        setCursor(pointerShape(shape));
}

bool graphWindow::cLoop() const { return m_playback.loop(); }
void graphWindow::setcLoop(bool v) { m_playback.setLoop(v); }
void graphWindow::setcStartPoint(qint32 ms) { m_playback.setStartPoint(ms); }
void graphWindow::setcEndPoint(qint32 ms) { m_playback.setEndPoint(ms); }

// --- Drawing ------------------------------------------------------------------

void graphWindow::clearSurface()
{
    m_image.fill(backgroundColour);
    update();
}

void graphWindow::reDraw()
{
    const qreal dpr = devicePixelRatioF();
    QImage image(size() * dpr, QImage::Format_RGB32);
    image.setDevicePixelRatio(dpr);
    image.fill(backgroundColour);

    if (!hasSound()) {
        QPainter p(&image);
        p.setPen(QPen(foregroundColour, 0));
        const double y = 128.0 * height() / mk::wave::scaleHeight;
        p.drawLine(QLineF(0, y, width(), y));
        p.end();
        m_image = std::move(image);
        update();
        return;
    }

    m_labels[2]->setText(m_fileName);
    m_labels[0]->setText(m_fileName);
    bool failed = false;
    drawWaveform(image, failed);
    m_image = std::move(image);
    update();

    if (!failed) {
        m_redrawFailureShown = false;
    } else if (!m_redrawFailureShown) {
        m_redrawFailureShown = true;
        showMessage(QStringLiteral("there was an error in reDraw"), mk::applicationTitle(), mk::MessageButtons::Ok,
                    mk::MessageIcon::None);
    }
    dealWithCursor();
}

void graphWindow::drawWaveform(QImage& image, bool& failed)
{
    const double sx = double(width()) / mk::wave::scaleWidth;
    const double sy = double(height()) / mk::wave::scaleHeight;

    mk::wave::PlotPlan plan;
    double range = double(m_displayEnd) - m_displayStart;
    try {
        plan = mk::wave::planPlot(m_bitsPerSample, m_displayStart, m_displayEnd);
        m_displayStart = plan.displayStart;
        m_displayEnd = plan.displayEnd;
        range = plan.range;
    } catch (const mk::RuntimeError&) {
        failed = true;
    }

    // One positioned single-byte read per point; the file is open only for
    // this redraw. Positions outside the file (a header that claims more data
    // than there is, a view scrolled past the end) draw as silence.
    QFile file(m_fileName);
    const bool open = file.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    if (!open)
        failed = true;
    const qint64 size = open ? file.size() : 0;

#ifdef Q_OS_UNIX
    // Ask for all the pages at once, so that a file not yet in the page cache
    // is fetched in parallel rather than one page per point.
    if (open && file.handle() >= 0 && plan.points.size() > 1) {
        qint64 lastPage = -1;
        for (const mk::wave::PlotPoint& pt : plan.points) {
            const qint64 page = (pt.position - 1) / 4096;
            if (page != lastPage && pt.position >= 1 && pt.position <= size)
                ::posix_fadvise(file.handle(), off_t(page * 4096), 4096, POSIX_FADV_WILLNEED);
            lastPage = page;
        }
    }
#endif
    QVector<QLineF> lines;
    lines.reserve(qsizetype(plan.points.size()));
    int previous = 128;
    for (const mk::wave::PlotPoint& pt : plan.points) {
        int value = mk::wave::silenceValue(plan.highBytes);
        char byte = 0;
        if (open && pt.position >= 1 && pt.position <= size && readByteAt(file, pt.position - 1, byte))
            value = mk::wave::plotValue(plan.highBytes, quint8(byte));
        lines.append(QLineF((pt.x - 1) * sx, (previous + 2) * sy, pt.x * sx, (value + 2) * sy));
        previous = value;
    }
    file.close();

    QPainter p(&image);
    p.setPen(QPen(foregroundColour, 0));
    p.drawLines(lines);

    const double clipStartX = mk::wave::viewX(m_clipStart, m_displayStart, range);
    const double clipEndX = mk::wave::viewX(m_clipEnd, m_displayStart, range);
    p.setBrush(QBrush(shadeColour, Qt::BDiagPattern));
    p.drawRect(QRectF(QPointF(0, -sy), QPointF(clipStartX * sx, mk::wave::scaleHeight * sy)).normalized());
    p.drawRect(QRectF(QPointF(clipEndX * sx, -sy), QPointF(mk::wave::scaleWidth * sx, mk::wave::scaleHeight * sy))
                   .normalized());
}

void graphWindow::placeBars()
{
    const auto toPixel = [this](qint32 x) {
        const qint64 px = qint64(x) * width() / mk::wave::scaleWidth;
        return int(std::clamp<qint64>(px, -100000, 100000));
    };
    m_cursor->setGeometry(toPixel(mk::wave::cursorX(m_currentTime, m_displayStart, m_displayEnd)), 0, cursorWidth,
                          height());
    m_redline->setGeometry(toPixel(mk::wave::cursorX(m_redLine, m_displayStart, m_displayEnd)), 0, markerWidth,
                           height());
    // A negative marker (-100 at start) means "no marker". Over a long sound
    // -100 rounds to x 0 and would stand at the left edge, so hide it.
    m_redline->setVisible(m_redLine >= 0);
}

void graphWindow::dealWithCursor()
{
    placeBars();
    // The bar shows while it fills its background: every call flips it.
    m_cursor->setAutoFillBackground(!m_cursor->autoFillBackground());
    m_cursor->update();
}

void graphWindow::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (m_image.isNull())
        p.fillRect(rect(), backgroundColour);
    else
        p.drawImage(0, 0, m_image);
}

void graphWindow::resizeEvent(QResizeEvent*)
{
    reDraw();
    placeBars();
}

// --- Mouse ------------------------------------------------------------------------

double graphWindow::scaleX(const QPointF& pixel) const
{
    return width() > 0 ? pixel.x() * mk::wave::scaleWidth / width() : 0.0;
}

qint32 graphWindow::cursorMs(qint32 position) const
{
    // The header lies left of the sound's start: a place there is the
    // start, 0 ms, and a snippet from it is a snippet, not the whole sound.
    const qint32 ms = mk::wave::mouseMs(position, m_soundStart, m_soundLength, m_soundLengthMs);
    return std::clamp(ms, 0, std::max(m_soundLengthMs, 0));
}

void graphWindow::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    try {
        m_playUpdateTimer->stop();
        m_currentTime = mk::wave::mousePosition(scaleX(event->position()), m_displayStart, m_displayEnd);
        m_currentTimeMs = cursorMs(m_currentTime);
        m_playback.snippet(m_currentTimeMs, true);
        dealWithCursor();
        Q_EMIT scrub();
    } catch (const mk::RuntimeError&) {
        // A cursor time that does not fit is not a place to scrub to.
    }
}

void graphWindow::mouseMoveEvent(QMouseEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton))
        return;
    try {
        m_currentTime = mk::wave::mousePosition(scaleX(event->position()), m_displayStart, m_displayEnd);
        m_labels[5]->setText(QString::number(m_currentTime));
        m_currentTimeMs = cursorMs(m_currentTime);
        m_labels[3]->setText(QString::number(m_currentTimeMs));
        m_playback.snippet(m_currentTimeMs, m_playback.nextSnippetWaits());
        dealWithCursor();
        Q_EMIT scrub();
    } catch (const mk::RuntimeError&) {
    }
}

// --- Playback -------------------------------------------------------------------

void graphWindow::showPlayEndTick() { m_labels[4]->setText(QString::number(m_playback.endTick())); }

void graphWindow::stopPlaying()
{
    m_playback.stop();
    m_playUpdateTimer->stop();
}

void graphWindow::play()
{
    m_playback.stopOutput();
    // The service has no "current position": play from the cursor, which is
    // where the end time counts from.
    m_playback.play(mk::SoundPlayback::Mode::Whole, m_currentTimeMs == -1 ? 0 : m_currentTimeMs, -1,
                    m_soundLengthMs, m_currentTimeMs);
    if (hasSound())
        showPlayEndTick();
    m_playUpdateTimer->start();
}

void graphWindow::playFromCursor()
{
    m_playUpdateTimer->stop();
    m_playback.stopOutput();
    if (!hasSound()) {
        m_playback.play(mk::SoundPlayback::Mode::FromCursor, 0, -1, 0, 0); // nothing plays: the mode, for a repeat
        return;
    }
    // A cursor before the start plays from the start, and the clock counts
    // from there too.
    m_currentTimeMs = std::max(m_currentTimeMs, 0);
    m_playback.play(mk::SoundPlayback::Mode::FromCursor, m_currentTimeMs, -1, m_soundLengthMs, m_currentTimeMs);
    m_playUpdateTimer->start();
    showPlayEndTick();
}

void graphWindow::preparePlay()
{
    m_playback.prepare();
}

void graphWindow::playClip()
{
    m_playUpdateTimer->stop();
    m_playback.stopOutput();
    const qint32 a = mk::wave::positionToMs(m_clipStart, m_soundStart, m_soundLength, m_soundLengthMs);
    const qint32 b = mk::wave::positionToMs(m_clipEnd, m_soundStart, m_soundLength, m_soundLengthMs);
    m_playback.play(mk::SoundPlayback::Mode::Clip, a, b, m_soundLengthMs, a);
    if (!hasSound())
        return;
    showPlayEndTick();
    m_playUpdateTimer->start();
}

void graphWindow::playFromTo()
{
    m_playUpdateTimer->stop();
    m_playback.stopOutput();
    m_playback.play(mk::SoundPlayback::Mode::FromTo, m_playback.startPoint(), m_playback.endPoint(),
                    m_soundLengthMs, m_playback.startPoint());
    if (!hasSound())
        return;
    showPlayEndTick();
    m_playUpdateTimer->start();
}

void graphWindow::playUpdateTick()
{
    const mk::SoundPlayback::Position p = m_playback.position();
    m_currentTimeMs = p.ms;
    m_currentTime = mk::wave::clockPosition(m_currentTimeMs, m_soundStart, m_soundLength, m_soundLengthMs);
    dealWithCursor();
    if (!p.ended)
        return;
    Q_EMIT soundHasStopped();
    m_playUpdateTimer->stop();
    dealWithCursor();
    if (!m_playback.loop())
        return;
    switch (m_playback.mode()) {
    case mk::SoundPlayback::Mode::Whole: play(); break;
    case mk::SoundPlayback::Mode::FromCursor: playFromCursor(); break;
    case mk::SoundPlayback::Mode::Clip: playClip(); break;
    default: playFromTo(); break;
    }
}
