#include "app/ViewNavigation.h"

#include <QAction>
#include <QEvent>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QWheelEvent>

#include "sound/graphWindow.h"

namespace view = mk::view;

namespace {
const QString kNoSound = QStringLiteral("noSound");
constexpr double kKeyZoom = 0.5;
} // namespace

ViewNavigation::ViewNavigation(::graphWindow* view, QWidget* lanes, QWidget* window)
    : QObject(window), m_view(view), m_lanes(lanes)
{
    setObjectName(QStringLiteral("viewNavigation"));
    m_bar = new QScrollBar(Qt::Horizontal, window);
    m_bar->setObjectName(QStringLiteral("viewScrollBar"));
    m_bar->setToolTip(tr("The stretch of the sound in view; Ctrl+wheel zooms, + and - zoom around the cursor, "
                         "0 shows the whole sound"));
    m_bar->setFocusPolicy(Qt::NoFocus);
    connect(m_bar, &QScrollBar::valueChanged, this, [this](int value) {
        if (hasSound())
            show(view::fromScrollBar(span(), limits(), value));
    });

    const auto action = [&](const char* name, const QString& text, QList<QKeySequence> keys, void (ViewNavigation::*slot)()) {
        auto* a = new QAction(text, window);
        a->setObjectName(QString::fromLatin1(name));
        a->setShortcuts(keys);
        connect(a, &QAction::triggered, this, slot);
        m_actions << a;
    };
    action("zoomIn", tr("Zoom In"), {Qt::Key_Plus, Qt::Key_Equal, Qt::KeypadModifier | Qt::Key_Plus},
           &ViewNavigation::zoomIn);
    action("zoomOut", tr("Zoom Out"), {Qt::Key_Minus, Qt::KeypadModifier | Qt::Key_Minus}, &ViewNavigation::zoomOut);
    action("zoomWhole", tr("Whole Sound"), {Qt::Key_0, Qt::KeypadModifier | Qt::Key_0}, &ViewNavigation::showWhole);

    m_view->installEventFilter(this);
    m_lanes->installEventFilter(this);
    m_viewCursor = m_view->findChild<QWidget*>(QStringLiteral("cursor"));
    if (m_viewCursor)
        m_viewCursor->installEventFilter(this);
    syncBar();
}

bool ViewNavigation::hasSound() const { return m_view->cFileName() != kNoSound; }

view::Span ViewNavigation::span() const { return {m_view->cDisplayStart(), m_view->cDisplayEnd()}; }

view::Limits ViewNavigation::limits() const
{
    return view::limitsOf(m_view->cSoundStart(), m_view->cSoundEnd(), m_view->cSoundLength(),
                          m_view->cSoundLengthInMilliseconds(), m_view->width());
}

void ViewNavigation::show(const view::Span& s)
{
    if (!hasSound() || s == span())
        return;
    m_view->showSpan(qint32(s.start), qint32(s.end));
    syncBar();
}

void ViewNavigation::zoomIn()
{
    if (hasSound())
        show(view::zoomAround(span(), limits(), m_view->cCurrentTime(), kKeyZoom));
}

void ViewNavigation::zoomOut()
{
    if (hasSound())
        show(view::zoomAround(span(), limits(), m_view->cCurrentTime(), 1 / kKeyZoom));
}

void ViewNavigation::showWhole()
{
    if (hasSound())
        show(view::whole(limits()));
}

void ViewNavigation::syncBar()
{
    const bool sound = hasSound();
    m_bar->setEnabled(sound);
    const view::Bar b = sound ? view::scrollBar(span(), limits()) : view::Bar{};
    const QSignalBlocker block(m_bar);
    m_bar->setRange(b.minimum, b.maximum);
    m_bar->setPageStep(b.pageStep);
    m_bar->setSingleStep(b.singleStep);
    m_bar->setValue(b.value);
}

void ViewNavigation::followCursor()
{
    // Only the playing sound turns pages: a scrub puts the cursor where
    // the user is looking anyway.
    if (m_following || !m_view->playing() || !hasSound())
        return;
    m_following = true;
    show(view::follow(span(), limits(), m_view->cCurrentTime()));
    m_following = false;
}

bool ViewNavigation::wheel(QWidget* over, QWheelEvent* event)
{
    if (!hasSound())
        return false;
    const QPoint angle = event->angleDelta();
    const QPoint pixels = event->pixelDelta();
    const view::Span s = span();
    const view::Limits l = limits();
    if (event->modifiers() & Qt::ControlModifier) {
        const int a = angle.y() != 0 ? angle.y() : angle.x();
        const double fraction = over->width() > 0 ? event->position().x() / over->width() : 0.5;
        if (a != 0)
            show(view::zoomAt(s, l, fraction, view::zoomFactor(a)));
    } else {
        // Shift turns a vertical wheel sideways on some systems and not on
        // others: either way round, it pans.
        const int a = angle.x() != 0 ? angle.x() : angle.y();
        const int p = pixels.x() != 0 ? pixels.x() : pixels.y();
        show(view::panBy(s, l, view::panAmount(s, l, a, p)));
    }
    event->accept();
    return true;
}

bool ViewNavigation::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::Wheel:
        if (watched == m_view || watched == m_lanes)
            return wheel(static_cast<QWidget*>(watched), static_cast<QWheelEvent*>(event));
        break;
    case QEvent::Paint:
    case QEvent::Resize:
        // The span changes by a load, a redraw or czoom and cpan.
        if (watched == m_view)
            syncBar();
        break;
    case QEvent::Move:
        if (watched == m_viewCursor)
            followCursor();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
