#pragma once
// The stretch of the show the user has selected: frames of one servo (from a
// lane) or of all servos (from the waveform). Edits act on it; the lanes, the
// waveform and the status bar show it. Interface thread only.
#include <QObject>
#include <QString>

#include "tracks/TrackEdits.h"

class EditSelection : public QObject {
    Q_OBJECT
public:
    static constexpr int kAllServos = -1;

    using QObject::QObject;

    bool isEmpty() const { return m_frames.empty(); }
    /// The servo selected, or kAllServos.
    int servo() const { return m_servo; }
    mk::edits::FrameRange frames() const { return m_frames; }
    /// Whether the selection holds frames of `servo`.
    bool covers(int servo) const { return !isEmpty() && (m_servo == kAllServos || m_servo == servo); }

    /// Frames between `a` and `b` (either order, both included, none before 0).
    void select(int servo, qint32 a, qint32 b);
    void clear();

    /// "Servo 3: 00:00:01:00 to 00:00:02:15, 00:00:01:16 long", empty when
    /// nothing is selected.
    QString text() const;

Q_SIGNALS:
    void changed();

private:
    int m_servo = kAllServos;
    mk::edits::FrameRange m_frames;
};
