#include "app/MotionLanes.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QImage>
#include <QPaintEvent>
#include <QTimer>
#include <QVector>

#include <algorithm>
#include <cmath>

#include "sound/WaveformLook.h"
#include "sound/WaveformMath.h"
#include "sound/graphWindow.h"
#include "timing/SMTPtimer.h"
#include "tracks/NewSlider.h"

namespace lanes = mk::lanes;

namespace {

const QColor& backgroundColour = mk::waveform::background;
const QColor laneColour(18, 30, 40);
const QColor& lineColour = mk::waveform::foreground;
const QColor dimmedColour(70, 110, 90);
const QColor& cursorColour = mk::waveform::cursor;
constexpr int cursorWidth = mk::waveform::cursorWidth;

const QString noSound = QStringLiteral("noSound");

} // namespace

MotionLanes::MotionLanes(::graphWindow* view, const std::array<NewSlider*, kLanes>& tracks, ::SMTPtimer* clock,
                         QWidget* parent)
    : QWidget(parent), m_view(view), m_tracks(tracks), m_clock(clock)
{
    setObjectName(QStringLiteral("motionLanes"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setToolTip(tr("Recorded motion of each servo; click or drag to scrub"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_catchUp = new QTimer(this);
    m_catchUp->setSingleShot(true);
    connect(m_catchUp, &QTimer::timeout, this, &MotionLanes::followView);

    // The waveform repaints whenever its span changes and moves its cursor
    // bar whenever the cursor moves: both tell the lanes to follow.
    m_view->installEventFilter(this);
    m_viewCursor = m_view->findChild<QWidget*>(QStringLiteral("cursor"));
    if (m_viewCursor)
        m_viewCursor->installEventFilter(this);
    connect(m_clock, &::SMTPtimer::frameChange, this, [this] {
        frameRecorded();
        followView();
    });
    connect(m_view, &::graphWindow::scrub, this, [this] {
        frameRecorded();
        followView();
    });
    for (NewSlider* t : m_tracks) {
        // Names typed and boxes ticked by the user show at once.
        if (auto* name = t->findChild<QLineEdit*>(QStringLiteral("theServoName")))
            connect(name, &QLineEdit::textChanged, this, &MotionLanes::followView);
        if (auto* box = t->findChild<QCheckBox*>(QStringLiteral("Active")))
            connect(box, &QCheckBox::toggled, this, &MotionLanes::followView);
    }
    for (int i = 0; i < kLanes; ++i)
        m_envelopes[size_t(i)].assign(m_tracks[size_t(i)]->track().recording());
}

QSize MotionLanes::sizeHint() const
{
    return {400, kLanes * (kLaneHeight + kLaneGap)};
}

QSize MotionLanes::minimumSizeHint() const
{
    return {100, kLanes * (kLaneHeight + kLaneGap)};
}

QRect MotionLanes::laneRect(int lane) const
{
    return {0, lane * (kLaneHeight + kLaneGap), width(), kLaneHeight};
}

bool MotionLanes::active() const
{
    return isVisible();
}

MotionLanes::Scale MotionLanes::scaleOf(int lane) const
{
    const mk::ServoTrack& t = m_tracks[size_t(lane)]->track();
    return {t.minValue(), t.maxValue()};
}

int MotionLanes::rowOf(int lane, qint32 v) const
{
    const Scale& s = m_scales[size_t(lane)];
    // One pixel of room above and below the line.
    return laneRect(lane).top() + 1 + lanes::rowOf(v, s.low, s.high, kLaneHeight - 2);
}

void MotionLanes::resync()
{
    if (!active())
        return;
    for (int i = 0; i < kLanes; ++i) {
        const auto data = m_tracks[size_t(i)]->track().recording();
        const lanes::FrameSpan changed = m_envelopes[size_t(i)].syncAll(data);
        if (changed.to >= changed.from)
            refreshFrames(i, changed.from, changed.to);
    }
    followView();
}

void MotionLanes::frameRecorded()
{
    if (!active() || m_clock->isItRunning())
        return;
    // A frame update writes its own frame and, filling a one-frame gap, the
    // one before, and grows the track when the frame lies past its end.
    const qint64 f = std::max<qint64>(m_clock->frameNumber(), 0);
    for (int i = 0; i < kLanes; ++i) {
        const auto& data = m_tracks[size_t(i)]->track().recording();
        auto& env = m_envelopes[size_t(i)];
        const lanes::FrameSpan changed = env.sync(data, f - 1, f);
        if (changed.to >= changed.from)
            refreshFrames(i, changed.from, changed.to);
    }
}

void MotionLanes::frameShown(const mk::engine::FrameShown& shown)
{
    m_liveMaxframe = shown.maxframe[1];
    if (!active())
        return;
    for (int i = 0; i < kLanes; ++i) {
        const std::array<qint16, 2> values{shown.before[size_t(i)], shown.at[size_t(i)]};
        const qint64 from = qint64(shown.frame) - 1;
        // The copy grows with frames recorded, not with frames merely played.
        const bool recorded = values[0] != 0 || values[1] != 0 || shown.frame < m_envelopes[size_t(i)].size();
        if (!recorded)
            continue;
        const lanes::FrameSpan changed = from < 0 ? m_envelopes[size_t(i)].put(0, std::span(values).subspan(1))
                                                  : m_envelopes[size_t(i)].put(from, values);
        if (changed.to >= changed.from)
            refreshFrames(i, changed.from, changed.to);
    }
}

void MotionLanes::followView()
{
    if (!active())
        return;
    if (!m_clock->isItRunning())
        m_liveMaxframe = m_tracks[1]->maxframe();
    const bool hasSound = m_view->cFileName() != noSound;
    const lanes::FrameWindow w = lanes::frameWindow(hasSound, m_view->cDisplayStart(), m_view->cDisplayEnd(),
                                                    m_view->cSoundStart(), m_view->cSoundLength(),
                                                    m_view->cSoundLengthInMilliseconds(),
                                                    m_liveMaxframe);
    if (m_columnsFor != width()) {
        m_window = w;
        recomputeAll();
    } else if (w.first != m_window.first || w.last != m_window.last) {
        // Without a sound the span is the track's length, which grows with
        // every frame recorded past the end: while the show runs, redraw the
        // whole lanes for that a few times a second, not on every frame.
        const qint64 since = m_lastRedraw.isValid() ? m_lastRedraw.elapsed() : kRedrawInterval;
        if (!m_clock->isItRunning() || since >= kRedrawInterval) {
            m_window = w;
            recomputeAll();
        } else if (!m_catchUp->isActive()) {
            m_catchUp->start(int(kRedrawInterval - since));
        }
    }

    for (int i = 0; i < kLanes; ++i) {
        const mk::ServoTrack& t = m_tracks[size_t(i)]->track();
        const Scale s = scaleOf(i);
        if (t.nameBoxText() != m_names[size_t(i)] || t.activeChecked() != m_active[size_t(i)]
            || s != m_scales[size_t(i)]) {
            m_names[size_t(i)] = t.nameBoxText();
            m_active[size_t(i)] = t.activeChecked();
            m_scales[size_t(i)] = s;
            update(laneRect(i));
        }
    }

    // The same arithmetic as the waveform's cursor bar, so both stand on
    // the same column when the two are equally wide.
    const qint64 x = qint64(mk::wave::cursorX(m_view->cCurrentTime(), m_view->cDisplayStart(), m_view->cDisplayEnd()))
        * width() / mk::wave::scaleWidth;
    const int cursor = int(std::clamp<qint64>(x, -100000, 100000));
    if (cursor != m_cursorX) {
        update(QRect(m_cursorX, 0, cursorWidth, height()));
        m_cursorX = cursor;
        update(QRect(m_cursorX, 0, cursorWidth, height()));
    }
}

void MotionLanes::recomputeAll()
{
    m_lastRedraw.start();
    m_columnsFor = width();
    for (int i = 0; i < kLanes; ++i)
        m_columns[size_t(i)] = m_envelopes[size_t(i)].columns(m_window.first, m_window.last, width());
    update();
}

void MotionLanes::refreshFrames(int lane, qint64 from, qint64 to)
{
    auto& cols = m_columns[size_t(lane)];
    const int n = int(cols.size());
    if (n == 0)
        return;
    const double k = (m_window.last - m_window.first) / n;
    int c0 = 0;
    int c1 = n - 1;
    if (k > 0 && std::isfinite(k)) {
        // The columns whose frames can include from..to, with one to spare.
        c0 = int(std::clamp(std::floor((from - 0.5 - m_window.first) / k) - 1, 0.0, double(n - 1)));
        c1 = int(std::clamp(std::ceil((to + 0.5 - m_window.first) / k) + 1, 0.0, double(n - 1)));
    }
    const auto& env = m_envelopes[size_t(lane)];
    int first = -1;
    int last = -1;
    for (int c = c0; c <= c1; ++c) {
        const lanes::FrameSpan s = lanes::columnFrames(m_window.first, m_window.last, n, c);
        const lanes::ColumnRange r = env.range(s.from, s.to);
        if (r == cols[size_t(c)])
            continue;
        cols[size_t(c)] = r;
        if (first < 0)
            first = c;
        last = c;
    }
    if (first >= 0) {
        // A column's line reaches back to its neighbour: the next one changes too.
        const QRect lr = laneRect(lane);
        update(QRect(first, lr.top(), last - first + 2, lr.height()));
    }
}

void MotionLanes::paintEvent(QPaintEvent* event)
{
    // The lines go straight into the pixels of the dirty rectangle: eight
    // lanes of a thousand columns, each a vertical run of a few pixels, cost
    // far less that way than as eight thousand painter lines.
    const QRect dirty = event->rect().intersected(rect());
    if (dirty.isEmpty())
        return;
    QImage img(dirty.size(), QImage::Format_RGB32);
    img.fill(backgroundColour);
    const auto put = [&](int x, int y0, int y1, QRgb colour) {
        y0 = std::max(y0, dirty.top());
        y1 = std::min(y1, dirty.bottom());
        for (int y = y0; y <= y1; ++y)
            reinterpret_cast<QRgb*>(img.scanLine(y - dirty.top()))[x - dirty.left()] = colour;
    };
    for (int i = 0; i < kLanes; ++i) {
        const QRect lr = laneRect(i).intersected(dirty);
        if (lr.isEmpty())
            continue;
        const auto& cols = m_columns[size_t(i)];
        const QRgb line = (m_active[size_t(i)] ? lineColour : dimmedColour).rgb();
        for (int y = lr.top(); y <= lr.bottom(); ++y) {
            QRgb* row = reinterpret_cast<QRgb*>(img.scanLine(y - dirty.top())) - dirty.left();
            std::fill(row + lr.left(), row + lr.right() + 1, laneColour.rgb());
        }
        for (int c = lr.left(); c <= lr.right(); ++c) {
            if (c >= int(cols.size()) || cols[size_t(c)].empty())
                continue; // nothing recorded: a gap
            qint32 lo = cols[size_t(c)].lo;
            qint32 hi = cols[size_t(c)].hi;
            // Reach to the previous column's range, so a moving line stays joined.
            if (c > 0 && !cols[size_t(c - 1)].empty()) {
                const lanes::ColumnRange prev = cols[size_t(c - 1)];
                lo = std::min<qint32>(lo, prev.hi);
                hi = std::max<qint32>(hi, prev.lo);
            }
            put(c, rowOf(i, hi), rowOf(i, lo), line);
        }
    }
    QPainter p(this);
    p.drawImage(dirty.topLeft(), img);

    if (m_cursorX >= 0 && m_cursorX < width())
        p.fillRect(QRect(m_cursorX, 0, cursorWidth, height()), cursorColour);
}

void MotionLanes::resizeEvent(QResizeEvent*)
{
    followView();
}

void MotionLanes::showEvent(QShowEvent*)
{
    // Nothing was followed while hidden.
    resync();
}

bool MotionLanes::eventFilter(QObject* watched, QEvent* event)
{
    if ((watched == m_view && (event->type() == QEvent::Paint || event->type() == QEvent::Resize))
        || (watched == m_viewCursor && event->type() == QEvent::Move))
        followView();
    return QWidget::eventFilter(watched, event);
}

// A press or drag in a lane is a press or drag at the same place of the
// waveform: the same cursor arithmetic, snippets and scrub.
void MotionLanes::forwardMouse(QMouseEvent* event)
{
    const double x = width() > 0 ? event->position().x() * m_view->width() / width() : 0.0;
    const QPointF local(x, m_view->height() / 2.0);
    QMouseEvent copy(event->type(), local, m_view->mapToGlobal(local), event->button(), event->buttons(),
                     event->modifiers());
    QCoreApplication::sendEvent(m_view, &copy);
}

void MotionLanes::mousePressEvent(QMouseEvent* event) { forwardMouse(event); }
void MotionLanes::mouseMoveEvent(QMouseEvent* event) { forwardMouse(event); }
void MotionLanes::mouseReleaseEvent(QMouseEvent* event) { forwardMouse(event); }
