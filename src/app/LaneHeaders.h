#pragma once
// The column left of the motion lanes: per lane the servo's number and name,
// its range (bottom and top of the lane) and, for a reversed servo, which way
// the servo turns for what the lane draws. It stands beside the lanes, not
// over them, so every frame of the show stays in sight from frame 0. It also
// gives the lanes their tool tip: frame, time code and position under the
// pointer.
#include <QWidget>
#include <array>

class MotionLanes;
class NewSlider;

class LaneHeaders : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 150;

    LaneHeaders(MotionLanes* lanes, const std::array<NewSlider*, 8>& tracks, QWidget* parent = nullptr);

    /// What lane `lane`'s header says.
    QString text(int lane) const;
    /// The tool tip over the lanes at `pos` (lanes' coordinates); empty
    /// between lanes.
    QString laneToolTip(const QPoint& pos) const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int laneAt(int y) const;

    MotionLanes* m_lanes;
    std::array<NewSlider*, 8> m_tracks;
};
