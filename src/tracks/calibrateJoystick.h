#pragma once
// The joystick calibration dialog: the live position of the X, Y and Z axes
// on gauges, buttons that take the current reading as an axis's bottom or
// top, and Save Settings, which loads the low/high pairs into every servo
// track. Close only hides it; the values stay for the next showing, in
// memory only.
#include <QWidget>
#include <array>

#include "platform/Joystick.h"
#include "tracks/JoystickCalibration.h"
#include "tracks/SetupServo.h" // mk::TrackLookup

class QPushButton;
class QTimer;
class CalibrationGauge;

class calibrateJoystick : public QWidget {
    Q_OBJECT
public:
    /// Polls the joystick every 10 ms while shown (a hidden dialog shows
    /// nothing, and every set button takes a fresh reading anyway).
    static constexpr int kPollInterval = 10;

    calibrateJoystick(mk::Joystick& joystick, mk::TrackLookup tracks, QWidget* parent = nullptr);

    qint16 numberOfSliders() const { return m_numberOfSliders; }
    /// The index of the last track Save Settings loads (tracks 0 to n).
    void setNumberOfSliders(qint16 n) { m_numberOfSliders = n; }

    const mk::JoystickCalibration& calibration() const { return m_calibration; }

    // The buttons' actions.
    void setMin(int channel);
    void setMax(int channel);
    /// Loads the current pairs into tracks 0 to numberOfSliders.
    void saveSettings();
    /// Takes one reading onto the gauges.
    void poll();

    bool polling() const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void refreshGauge(int channel);

    mk::Joystick& m_joystick;
    mk::TrackLookup m_tracks;
    mk::JoystickCalibration m_calibration;
    qint16 m_numberOfSliders = 0;
    std::array<CalibrationGauge*, mk::JoystickCalibration::kChannels> m_gauges{};
    QTimer* m_timer = nullptr;
};
