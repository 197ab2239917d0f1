#pragma once
// Edit > Jaw from Sound: the values of the jaw made from the sound. The
// dialog only holds values and says when they change; the main window
// analyses the sound, previews on the servo's lane and applies.
#include <QDialog>

#include "sound/JawAnalysis.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QSpinBox;

class JawDialog : public QDialog {
    Q_OBJECT
public:
    struct Values {
        int servo = 0;
        mk::jaw::Band band;
        mk::jaw::Shape shape;
        qint32 from = 0; ///< frames written, both included
        qint32 to = 0;
    };
    /// `names`: the servos 0..lastServoIndex; frames 0..lastFrame can be written.
    JawDialog(const QStringList& names, qint32 lastFrame, QWidget* parent = nullptr);

    Values values() const;
    void setBand(const mk::jaw::Band& band);
    /// The levels worked out from the sound, shown while "Automatic" is on.
    void showAutomatic(const mk::jaw::Range& range);
    /// Sets the threshold (and the top, when automatic) by hand.
    void setLevels(double thresholdDb, double topDb);
    /// The frames of the stretch of silence the user named.
    std::pair<qint32, qint32> silence() const;

Q_SIGNALS:
    /// A value that changes only the positions (cheap).
    void shapeChanged();
    /// The band changed: the sound must be heard again.
    void bandChanged();
    /// "Threshold from silence" was pressed.
    void silenceAsked();

private:
    QComboBox* m_servo;
    QDoubleSpinBox* m_low;
    QDoubleSpinBox* m_high;
    QCheckBox* m_automatic;
    QDoubleSpinBox* m_threshold;
    QDoubleSpinBox* m_top;
    QDoubleSpinBox* m_attack;
    QDoubleSpinBox* m_release;
    QDoubleSpinBox* m_lead;
    QComboBox* m_closed;
    QSpinBox* m_from;
    QSpinBox* m_to;
    QSpinBox* m_silenceFrom;
    QSpinBox* m_silenceTo;
    bool m_quiet = false; ///< values set by the program, not the user
};
