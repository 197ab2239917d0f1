#pragma once
// One servo track: the recorded positions of one servo and its set-up, shown
// as a slider with a name box, a set-up button, an Active box and joystick
// indicators. The domain behaviour lives in ServoTrack; this control presents
// it and feeds it the user's input.
#include <QWidget>
#include <array>
#include <functional>

#include "platform/Joystick.h"
#include "tracks/ServoTrack.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QSlider;
class QToolButton;

class NewSlider : public QWidget {
    Q_OBJECT
public:
    explicit NewSlider(mk::Joystick& joystick, QWidget* parent = nullptr);

    qint32 position() const;
    void setPosition(qint32 v);

    bool usesJoystick() const;
    void setUsesJoystick(bool on);
    qint16 whichJoystickChannel() const;
    void setWhichJoystickChannel(qint16 channel);

    void setStartCalibrationData(bool ignored);
    void setCalibrationData(qint16 value);

    void setDataStartPoint(qint32 index);
    qint32 datalength() const;
    void setDatalength(qint32 n);
    /// Reads the element at the data cursor and advances it; throws
    /// mk::RuntimeError (9) outside the array.
    qint16 data();
    void setData(qint16 v);

    quint8 theDeviceType() const;
    void setTheDeviceType(quint8 type);

    bool playbackEnabled() const;
    void setPlaybackEnabled(bool on);
    void setRecordingEnabled(bool on);

    /// The name box's text fitted to exactly 32 characters.
    QString servoName();
    void setServoName(const QString& name);

    bool isReversed() const;
    void setIsReversed(bool on);

    qint16 maxValue() const;
    void setMaxValue(qint16 v);
    qint16 minValue() const;
    void setMinValue(qint16 v);

    qint32 maxframe() const;
    void setMaxframe(qint32 n);

    /// The position prepared by the last frame update, as decimal text; the
    /// read empties it.
    QString serialPortString();

    qint16 whichservo() const;
    void setWhichservo(qint16 n);

    /// Runs one frame update; throws mk::RuntimeError on a run-time error.
    void setCurrentFrame(qint32 f);

    void clearTheArray();

    /// While a show runs its track belongs to the show engine: the slider's
    /// moves go to `route` (held, value) instead of the track, and
    /// showPosition() shows what the engine published. An empty route hands
    /// the track back and shows it as it now is.
    void setShowRoute(std::function<void(bool held, qint32 value)> route);
    void showPosition(qint32 v);
    /// Shows the track's state after a frame update made elsewhere.
    void showTrack() { syncFromTrack(); }
    /// A button let go while a modal message was up never reaches the slider;
    /// without this the track would go on recording over the user's take.
    void releaseIfNoButton();

    /// The track's whole state, including the slider's Min/Max and the name
    /// box's text, which the set-up dialog fills itself from.
    const mk::ServoTrack& track() const { return m_track; }
    /// The track itself, for the show engine that runs its frames.
    mk::ServoTrack& track() { return m_track; }

    QSize sizeHint() const override;

Q_SIGNALS:
    /// The `setup` button was clicked.
    void setupClicked();
    /// The name, ends, reversal or joystick use changed, through the members
    /// or the name box.
    void setupChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    /// Shows the track's state: slider range and value, Active box,
    /// indicators, and the name box when its text differs.
    void syncFromTrack();

    void held(bool on);

    mk::ServoTrack m_track;
    std::function<void(bool held, qint32 value)> m_route;
    bool m_held = false;
    QSlider* m_slider = nullptr;
    QLineEdit* m_name = nullptr;
    QToolButton* m_setup = nullptr;
    QCheckBox* m_active = nullptr;
    std::array<QLabel*, 4> m_indicators{};
    std::array<QLabel*, 2> m_ends{}; ///< the slider's top and bottom numbers
};
