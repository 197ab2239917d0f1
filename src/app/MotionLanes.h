#pragma once
// The motion lanes under the waveform: one lane per servo track drawing the
// positions it holds over exactly the span the waveform view shows, with the
// play cursor at the waveform's cursor (names and ranges stand beside them,
// in LaneHeaders). A press or drag in a lane scrubs as the waveform does.
//
// The lanes read the tracks' recordings in memory (never a file) through a
// MotionEnvelope per track, so a redraw costs the same for a short show as
// for a long one. They keep up by themselves:
//   frame clock frameChange, waveform scrub -> the frames just recorded
//   the waveform repainting or its cursor moving -> span and cursor
//   resync()                                 -> whole tracks (undo, open, import)
// While hidden they do nothing and catch up when shown again.
//
// Everything here runs on the user-interface thread.
#include <QElapsedTimer>
#include <QWidget>
#include <array>
#include <vector>

#include "engine/TrackFrames.h"
#include "tracks/MotionEnvelope.h"

class NewSlider;
class SMTPtimer;
class graphWindow;
class QTimer;

class MotionLanes : public QWidget {
    Q_OBJECT
public:
    static constexpr int kLanes = 8;
    static constexpr int kLaneHeight = 22;
    static constexpr int kLaneGap = 1;

    MotionLanes(::graphWindow* view, const std::array<NewSlider*, kLanes>& tracks, ::SMTPtimer* clock,
                QWidget* parent = nullptr);

    /// Compares every track with the lanes' copy and redraws what changed.
    void resync();
    /// Follows the waveform's span, the cursor, and names and Active boxes.
    void followView();
    /// Takes in the frames the last frame update may have written (a stopped
    /// show's: while the show runs its tracks are the engine's, and what it
    /// recorded arrives through frameShown).
    void frameRecorded();
    /// Takes in what the engine published of one frame update.
    void frameShown(const mk::engine::FrameShown& shown);

    // Read-outs (tests, benchmark).
    QRect laneRect(int lane) const;
    /// The recorded range per pixel column of a lane, as drawn.
    const std::vector<mk::lanes::ColumnRange>& laneColumns(int lane) const { return m_columns[size_t(lane)]; }
    /// The position the lane holds for `frame` (0: nothing recorded), from
    /// the lanes' own copy of the track.
    qint16 shownPosition(int lane, qint64 frame) const
    {
        const auto v = m_envelopes[size_t(lane)].values();
        return frame >= 0 && frame < qint64(v.size()) ? v[size_t(frame)] : qint16(0);
    }
    /// The column of the play cursor's left edge.
    int cursorColumn() const { return m_cursorX; }
    mk::lanes::FrameWindow window() const { return m_window; }
    /// The row (in the widget) where position v of `lane` is drawn.
    int rowOf(int lane, qint32 v) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Scale {
        qint32 low = 0;
        qint32 high = 255;
        friend bool operator==(const Scale&, const Scale&) = default;
    };
    bool active() const;
    void recomputeAll();
    /// Recomputes the columns of `lane` showing frames from..to; repaints the
    /// ones that changed.
    void refreshFrames(int lane, qint64 from, qint64 to);
    void forwardMouse(QMouseEvent* event);
    Scale scaleOf(int lane) const;

    ::graphWindow* m_view;
    std::array<NewSlider*, kLanes> m_tracks;
    ::SMTPtimer* m_clock;
    QWidget* m_viewCursor = nullptr;

    std::array<mk::lanes::MotionEnvelope, kLanes> m_envelopes;
    std::array<std::vector<mk::lanes::ColumnRange>, kLanes> m_columns;
    std::array<QString, kLanes> m_names;
    std::array<bool, kLanes> m_active{};
    std::array<Scale, kLanes> m_scales{};
    mk::lanes::FrameWindow m_window;
    qint32 m_liveMaxframe = 0; ///< the show's length as the running engine last published it
    int m_columnsFor = -1; ///< the width the columns were worked out for
    int m_cursorX = -1;
    static constexpr qint64 kRedrawInterval = 200; ///< ms, for a span that keeps changing
    QElapsedTimer m_lastRedraw;
    QTimer* m_catchUp = nullptr;
};
