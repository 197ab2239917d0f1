#include "app/LaneHeaders.h"

#include <QCheckBox>
#include <QHelpEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QToolTip>

#include <cmath>

#include "app/MotionLanes.h"
#include "timing/TimeCode.h"
#include "tracks/NewSlider.h"

namespace {
const QColor backColour(12, 20, 28);
const QColor laneColour(18, 30, 40);
const QColor labelColour(210, 225, 235);
const QColor dimmedLabelColour(120, 135, 145);
const QColor rangeColour(140, 200, 160);
} // namespace

LaneHeaders::LaneHeaders(MotionLanes* lanes, const std::array<NewSlider*, 8>& tracks, QWidget* parent)
    : QWidget(parent), m_lanes(lanes), m_tracks(tracks)
{
    setObjectName(QStringLiteral("laneHeaders"));
    setFixedWidth(kWidth);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    for (NewSlider* t : m_tracks) {
        connect(t, &NewSlider::setupChanged, this, qOverload<>(&QWidget::update));
        if (auto* box = t->findChild<QCheckBox*>(QStringLiteral("Active")))
            connect(box, &QCheckBox::toggled, this, qOverload<>(&QWidget::update));
    }
    // Shown and hidden with the lanes; the lanes' tool tip comes from here.
    m_lanes->installEventFilter(this);
    setVisible(m_lanes->isVisibleTo(m_lanes->parentWidget()));
}

QSize LaneHeaders::sizeHint() const { return {kWidth, m_lanes->sizeHint().height()}; }

int LaneHeaders::laneAt(int y) const
{
    for (int i = 0; i < MotionLanes::kLanes; ++i) {
        const QRect r = m_lanes->laneRect(i);
        if (y >= r.top() && y <= r.bottom())
            return i;
    }
    return -1;
}

QString LaneHeaders::text(int lane) const
{
    const mk::ServoTrack& t = m_tracks[size_t(lane)]->track();
    QString range = QStringLiteral("%1–%2").arg(t.minValue()).arg(t.maxValue());
    if (t.isReversed())
        range += tr(" rev");
    return QStringLiteral("%1 %2\t%3").arg(lane).arg(t.nameBoxText().trimmed(), range);
}

QString LaneHeaders::laneToolTip(const QPoint& pos) const
{
    const int lane = laneAt(pos.y());
    const int w = m_lanes->width();
    if (lane < 0 || w <= 0)
        return {};
    // The frame nearest the middle of the pixel column, as the lane draws it.
    const mk::lanes::FrameWindow fw = m_lanes->window();
    const double k = (fw.last - fw.first) / w;
    const qint64 frame = std::max<qint64>(qint64(std::floor(fw.first + (pos.x() + 0.5) * k + 0.5)), 0);
    // The lanes' own copy of the track: while the show plays the track is the
    // engine's, and the copy is what the lane shows anyway.
    const qint16 v = m_lanes->shownPosition(lane, frame);
    const QString position = v == 0 ? tr("nothing recorded") : tr("position %1").arg(v);
    return tr("Servo %1, frame %2 (%3): %4")
        .arg(lane)
        .arg(frame)
        .arg(mk::timeCodeText(frame), position);
}

void LaneHeaders::paintEvent(QPaintEvent* event)
{
    QPainter p(this);
    p.fillRect(event->rect(), backColour);
    QFont f = font();
    f.setPixelSize(11);
    p.setFont(f);
    for (int i = 0; i < MotionLanes::kLanes; ++i) {
        const QRect lr = m_lanes->laneRect(i);
        const QRect row(0, lr.top(), width(), lr.height());
        if (!row.intersects(event->rect()))
            continue;
        p.fillRect(row, laneColour);
        const QStringList parts = text(i).split(QLatin1Char('\t'));
        const QRect inner = row.adjusted(4, 0, -4, 0);
        const int rangeWidth = p.fontMetrics().horizontalAdvance(parts.value(1)) + 6;
        const bool active = m_tracks[size_t(i)]->track().activeChecked();
        p.setPen(active ? labelColour : dimmedLabelColour);
        p.drawText(inner.adjusted(0, 0, -rangeWidth, 0), Qt::AlignLeft | Qt::AlignVCenter,
                   p.fontMetrics().elidedText(parts.value(0), Qt::ElideRight, inner.width() - rangeWidth));
        p.setPen(active ? rangeColour : dimmedLabelColour);
        p.drawText(inner, Qt::AlignRight | Qt::AlignVCenter, parts.value(1));
    }
}

bool LaneHeaders::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int lane = laneAt(help->pos().y());
        if (lane >= 0) {
            const mk::ServoTrack& t = m_tracks[size_t(lane)]->track();
            QString tip = tr("Servo %1, %2: the lane runs from %3 (bottom) to %4 (top)")
                              .arg(lane)
                              .arg(t.nameBoxText().trimmed())
                              .arg(t.minValue())
                              .arg(t.maxValue());
            if (t.isReversed())
                tip += tr(". Reversed: the servo turns the other way, so the top of the lane sends %1 "
                          "and the bottom %2")
                           .arg(t.minValue())
                           .arg(t.maxValue());
            QToolTip::showText(help->globalPos(), tip, this);
            return true;
        }
    }
    return QWidget::event(event);
}

bool LaneHeaders::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_lanes) {
        switch (event->type()) {
        case QEvent::Show:
        case QEvent::Hide: setVisible(m_lanes->isVisibleTo(m_lanes->parentWidget())); break;
        case QEvent::ToolTip: {
            auto* help = static_cast<QHelpEvent*>(event);
            const QString tip = laneToolTip(help->pos());
            if (tip.isEmpty())
                break;
            QToolTip::showText(help->globalPos(), tip, m_lanes);
            return true;
        }
        default: break;
        }
    }
    return QWidget::eventFilter(watched, event);
}
