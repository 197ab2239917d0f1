// The mouse side of editing: selecting with Shift+drag in a lane or the
// waveform, drawing with Alt+drag in a lane, the lanes' context menu, and the
// selection painted over both views. A plain press is left to the views,
// which scrub.
#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "app/EditSelection.h"
#include "app/EditTools.h"
#include "app/MotionLanes.h"
#include "app/TakeHistory.h"
#include "app/mainForm.h"
#include "sound/graphWindow.h"
#include "tracks/MotionEnvelope.h"
#include "tracks/NewSlider.h"

namespace edits = mk::edits;

namespace {

/// The selection painted over a widget, letting the mouse through to it.
class SelectionOverlay : public QWidget {
public:
    /// `rects` and `faint` are asked at every paint: the view may have moved.
    SelectionOverlay(QWidget* over, std::function<std::vector<QRect>()> rects, std::function<bool()> faint)
        : QWidget(over), m_rects(std::move(rects)), m_faint(std::move(faint))
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        resize(over->size());
        raise();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        const std::vector<QRect> rects = m_rects();
        if (rects.empty())
            return;
        QPainter p(this);
        const QColor fill(90, 170, 255, m_faint() ? 30 : 70);
        for (const QRect& r : rects) {
            p.fillRect(r, fill);
            p.fillRect(QRect(r.left(), r.top(), 1, r.height()), QColor(140, 200, 255));
            p.fillRect(QRect(r.right(), r.top(), 1, r.height()), QColor(140, 200, 255));
        }
    }

private:
    std::function<std::vector<QRect>()> m_rects;
    std::function<bool()> m_faint;
};

} // namespace

void EditTools::watchViews()
{
    m_laneOverlay = new SelectionOverlay(m_lanes, [this] { return selectionRects(m_lanes); }, [] { return false; });
    // Over the waveform a stretch of one servo is only a hint of where it lies.
    m_graphOverlay = new SelectionOverlay(
        m_graph, [this] { return selectionRects(m_graph); },
        [this] { return m_selection->servo() != EditSelection::kAllServos; });
    m_lanes->installEventFilter(this);
    m_graph->installEventFilter(this);
}

int EditTools::laneAt(const QPoint& pos) const
{
    for (int i = 0; i < MotionLanes::kLanes; ++i)
        if (m_w.motionLanes()->laneRect(i).contains(pos))
            return i;
    return -1;
}

std::pair<double, double> EditTools::window() const
{
    const ::graphWindow* g = m_w.graphWindow();
    const mk::lanes::FrameWindow w = mk::lanes::frameWindow(
        g->cFileName() != QLatin1String("noSound"), g->cDisplayStart(), g->cDisplayEnd(), g->cSoundStart(),
        g->cSoundLength(), g->cSoundLengthInMilliseconds(), m_w.slider(1)->maxframe());
    return {w.first, w.last};
}

qint32 EditTools::frameAt(const QWidget* w, double x) const
{
    const auto [first, last] = window();
    return std::max(edits::frameAt(x, first, last, w->width()), 0);
}

std::vector<QRect> EditTools::selectionRects(const QWidget* over) const
{
    if (m_selection->isEmpty())
        return {};
    const std::pair<double, double> span = window();
    const double first = span.first;
    const double last = span.second;
    const edits::FrameRange f = m_selection->frames();
    const auto place = [&](qint32 frame) {
        return int(std::clamp(edits::xOfFrameStart(frame, first, last, over->width()), -2.0, over->width() + 2.0));
    };
    const int x0 = place(f.from);
    // At least a pixel, however far out the view is.
    const int x1 = std::max(place(f.to + 1), x0 + 1);
    if (over == m_graph || m_selection->servo() == EditSelection::kAllServos)
        return {QRect(x0, 0, x1 - x0, over->height())};
    const QRect lane = m_w.motionLanes()->laneRect(m_selection->servo());
    return {QRect(x0, lane.top(), x1 - x0, lane.height())};
}

bool EditTools::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize) {
        (watched == m_lanes ? m_laneOverlay : m_graphOverlay)->resize(static_cast<QWidget*>(watched)->size());
        return false;
    }
    if (watched == m_lanes && event->type() == QEvent::ContextMenu) {
        const auto* e = static_cast<QContextMenuEvent*>(event);
        showContextMenu(e->pos(), e->globalPos());
        return true;
    }
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::MouseButtonRelease:
        return watched == m_lanes ? laneMouse(static_cast<QMouseEvent*>(event))
                                  : waveformMouse(static_cast<QMouseEvent*>(event));
    default:
        return false;
    }
}

bool EditTools::laneMouse(QMouseEvent* e)
{
    const QPoint pos = e->position().toPoint();
    if (e->type() == QEvent::MouseButtonPress || e->type() == QEvent::MouseButtonDblClick) {
        if (e->button() != Qt::LeftButton)
            return false;
        const int lane = laneAt(pos);
        if (lane >= 0)
            m_currentLane = lane;
        if (lane < 0 || !(e->modifiers() & (Qt::ShiftModifier | Qt::AltModifier)))
            return false; // a plain press scrubs
        m_dragServo = lane;
        if (e->modifiers() & Qt::AltModifier) {
            if (!ready())
                return true;
            m_w.takes().commitPending();
            m_drag = Drag::Draw;
            m_lastDrawn.frame = -1;
            drawTo(e);
        } else {
            m_drag = Drag::SelectLane;
            m_anchor = frameAt(m_lanes, e->position().x());
            m_selection->select(lane, m_anchor, m_anchor);
        }
        return true;
    }
    if (m_drag == Drag::None)
        return false;
    if (e->type() == QEvent::MouseMove) {
        if (m_drag == Drag::Draw)
            drawTo(e);
        else
            m_selection->select(m_dragServo, m_anchor, frameAt(m_lanes, e->position().x()));
    } else if (e->type() == QEvent::MouseButtonRelease) {
        if (m_drag == Drag::Draw)
            m_w.takes().commit(tr("Draw"));
        m_drag = Drag::None;
    }
    return true;
}

bool EditTools::waveformMouse(QMouseEvent* e)
{
    if (e->type() == QEvent::MouseButtonPress || e->type() == QEvent::MouseButtonDblClick) {
        if (e->button() != Qt::LeftButton || !(e->modifiers() & Qt::ShiftModifier))
            return false; // a plain press scrubs
        m_drag = Drag::SelectAll;
        m_anchor = frameAt(m_graph, e->position().x());
        m_selection->select(EditSelection::kAllServos, m_anchor, m_anchor);
        return true;
    }
    if (m_drag != Drag::SelectAll)
        return false;
    if (e->type() == QEvent::MouseMove)
        m_selection->select(EditSelection::kAllServos, m_anchor, frameAt(m_graph, e->position().x()));
    else if (e->type() == QEvent::MouseButtonRelease)
        m_drag = Drag::None;
    return true;
}

void EditTools::drawTo(QMouseEvent* e)
{
    const int servo = m_dragServo;
    NewSlider* t = m_w.slider(servo);
    const QRect lane = m_w.motionLanes()->laneRect(servo);
    const edits::Limits limits = limitsOf(servo);
    // The lane draws rows 1..height-2 from the servo's highest position down to its lowest.
    const edits::DrawPoint here{frameAt(m_lanes, e->position().x()),
                                edits::positionAtRow(e->position().y() - lane.top() - 1, lane.height() - 2, limits)};
    const edits::DrawPoint from = m_lastDrawn.frame < 0 ? here : m_lastDrawn;
    m_lastDrawn = here;
    std::vector<qint16> data = t->track().recording();
    if (edits::draw(data, from, here, limits).empty())
        return;
    put(servo, data, t->maxframe());
    m_w.motionLanes()->resync();
}

void EditTools::showContextMenu(const QPoint& pos, const QPoint& global)
{
    const int lane = laneAt(pos);
    if (lane >= 0) {
        m_currentLane = lane;
        m_contextLane = lane;
    }
    QMenu menu(m_lanes);
    for (QAction* a : m_items) {
        if (a)
            menu.addAction(a);
        else
            menu.addSeparator();
    }
    menu.exec(global);
    m_contextLane.reset();
}
