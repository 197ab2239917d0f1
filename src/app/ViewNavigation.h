#pragma once
// Zoom and pan of the waveform and the lanes under it: the wheel over either
// (Ctrl+wheel zooms around the pointer, the wheel, Shift+wheel, a horizontal
// wheel or a touchpad pans), the +, - and 0 keys (zoom around the cursor,
// the whole sound), a scroll bar that shows and moves the visible stretch,
// and, while the sound plays, a view that turns the page when the cursor
// runs out of it.
//
// The waveform's span (cDisplayStart..cDisplayEnd, with czoom, cpan and
// zoomCentre) stays the one model: this object changes it and follows it,
// and the lanes follow the waveform by themselves. The arithmetic is in
// sound/ViewSpan.h. Everything here runs on the user-interface thread.
#include <QList>
#include <QObject>

#include "sound/ViewSpan.h"

class QAction;
class QScrollBar;
class QWidget;
class graphWindow;

class ViewNavigation : public QObject {
    Q_OBJECT
public:
    /// Takes the wheel over `view` and `lanes`; the scroll bar and the key
    /// actions are created under `window`, for the caller to place.
    ViewNavigation(::graphWindow* view, QWidget* lanes, QWidget* window);

    QScrollBar* scrollBar() const { return m_bar; }
    /// Zoom in, zoom out and whole sound, with their keys.
    QList<QAction*> actions() const { return m_actions; }

    void zoomIn();
    void zoomOut();
    void showWhole();

    mk::view::Span span() const;
    mk::view::Limits limits() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool hasSound() const;
    void show(const mk::view::Span& s);
    bool wheel(QWidget* over, class QWheelEvent* event);
    void syncBar();
    void followCursor();

    ::graphWindow* m_view;
    QWidget* m_lanes;
    QWidget* m_viewCursor = nullptr;
    QScrollBar* m_bar = nullptr;
    QList<QAction*> m_actions;
    bool m_following = false;
};
