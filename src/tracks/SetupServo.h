#pragma once
// The servo set-up dialog: one servo's name, lowest and highest position,
// reversal and joystick channel. There is no OK or Cancel: every change goes
// into the servo's track at once, and a change of either end position also
// moves the real servo there (a preview command) while the port is open.
// One instance, shown without being modal, serves whichever servo was set up
// last.
#include <QWidget>
#include <array>
#include <functional>

#include "tracks/NeedleGeometry.h"

class MSComm;
class NewSlider;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QScrollBar;
class ServoPicture;

namespace mk {
/// The main window's track with a given index, or null when there is none.
using TrackLookup = std::function<NewSlider*(int index)>;
}

class SetupServo : public QWidget {
    Q_OBJECT
public:
    /// `comm` may be null (no serial link: nothing is previewed).
    SetupServo(mk::TrackLookup tracks, MSComm* comm, QWidget* parent = nullptr);

    qint16 whichservo() const { return m_whichservo; }
    /// The servo every change goes to; the label names it.
    void setWhichservo(qint16 servo);

    /// What a track's `setup` button does before showing the dialog: it
    /// refers to that track from now on and shows its set-up. Nothing is
    /// written into the track; an end whose bar moves is previewed (the
    /// maximum first) with the track's own value while the port is open.
    void fillFrom(NewSlider& track);

    /// Shows the set-up of the track the dialog refers to, as it is now,
    /// without writing it back or previewing. The dialog does this by itself
    /// whenever that track's set-up changes from elsewhere (a project opened,
    /// a new project, undo, the track's own name box).
    void showTrack();

    QLineEdit* customName() const { return m_customName; }
    QScrollBar* minVal() const { return m_minVal; }
    QScrollBar* maxVal() const { return m_maxVal; }
    QCheckBox* reverse() const { return m_reverse; }
    QCheckBox* useJoystick() const { return m_useJoystick; }
    QRadioButton* joyChannel(int i) const { return m_joyChannel.at(i); }
    QWidget* servoPic() const;

    /// Top edges of the two scroll bars, in pixels (1320 and 2280 twips).
    static constexpr int kUpperBarTop = 88;
    static constexpr int kLowerBarTop = 152;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;

private:
    NewSlider* track() const;
    /// Sets the controls from `source`, writing nothing back.
    void showSetupOf(const NewSlider& source);
    /// Hands the track to `change`, unless the controls are only being set
    /// from it or there is no such track.
    void write(const std::function<void(NewSlider&)>& change);
    void onNameChanged(const QString& text);
    void onMaxChanged(int v);
    void onMinChanged(int v);
    void onReverseToggled(bool on);
    void onJoystickToggled(bool on);
    void onChannelChosen(int channel);
    void placeBars();
    void preview(int value);
    void selectChannel(int channel);

    mk::TrackLookup m_tracks;
    MSComm* m_comm;
    qint16 m_whichservo = 0;
    QMetaObject::Connection m_watch;
    /// The controls are being set from the track: their handlers stand still.
    bool m_showing = false;
    /// A handler is writing into the track: its echo is not shown back (the
    /// dialog keeps showing a value the track refuses).
    bool m_writing = false;
    bool m_dragging = false;
    mk::needles::Needle m_dragTarget = mk::needles::Needle::Min;

    QLabel* m_label3 = nullptr;
    QLineEdit* m_customName = nullptr;
    QScrollBar* m_minVal = nullptr;
    QScrollBar* m_maxVal = nullptr;
    QLabel* m_minText = nullptr;
    QLabel* m_maxText = nullptr;
    QCheckBox* m_reverse = nullptr;
    QCheckBox* m_useJoystick = nullptr;
    QButtonGroup* m_channels = nullptr;
    std::array<QRadioButton*, 4> m_joyChannel{};
    ServoPicture* m_servoPic = nullptr;
};
