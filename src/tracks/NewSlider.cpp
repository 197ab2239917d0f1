#include "tracks/NewSlider.h"

#include <QCheckBox>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QProxyStyle>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// A click on the groove puts the handle where the user clicked, instead of
// stepping a page towards it: the servo goes where the mouse says.
class JumpingSliderStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == SH_Slider_AbsoluteSetButtons)
            return Qt::LeftButton;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

QPixmap setupPicture()
{
    // A small spanner-like cog: the servo's set-up.
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(8, 8);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(70, 70, 80));
    for (int i = 0; i < 8; ++i) {
        p.drawRect(QRectF(-1.5, -7.5, 3, 4));
        p.rotate(45);
    }
    p.drawEllipse(QPointF(0, 0), 5, 5);
    p.setBrush(QColor(235, 235, 235));
    p.drawEllipse(QPointF(0, 0), 2, 2);
    return pm;
}

QPixmap indicatorPicture(int channel)
{
    // A joystick with the channel's axis letter; channel 3 reads the Z axis too.
    static const char* const labels[4] = {"X", "Y", "Z", "Z4"};
    QPixmap pm(22, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(40, 40, 40), 1.5));
    p.drawLine(QPointF(5, 12), QPointF(5, 4));
    p.setBrush(QColor(200, 30, 30));
    p.drawEllipse(QPointF(5, 3.5), 2.5, 2.5);
    p.setBrush(QColor(60, 60, 70));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(0.5, 11.5, 9, 4), 1.5, 1.5);
    QFont f = p.font();
    f.setPixelSize(9);
    f.setBold(true);
    p.setFont(f);
    p.setPen(QColor(20, 20, 20));
    p.drawText(QRectF(10, 0, 12, 16), Qt::AlignCenter, QString::fromLatin1(labels[channel]));
    return pm;
}

} // namespace

NewSlider::NewSlider(mk::Joystick& joystick, QWidget* parent)
    : QWidget(parent)
    , m_track(joystick)
{
    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("theServoName"));
    m_name->setText(m_track.nameBoxText());
    m_name->setToolTip(tr("Servo name; Enter goes to the slider"));

    m_slider = new QSlider(Qt::Vertical, this);
    m_slider->setObjectName(QStringLiteral("slider"));
    auto* style = new JumpingSliderStyle;
    style->setParent(this);
    m_slider->setStyle(style);
    m_slider->setTickPosition(QSlider::NoTicks);

    m_setup = new QToolButton(this);
    m_setup->setObjectName(QStringLiteral("setup"));
    m_setup->setIcon(QIcon(setupPicture()));
    m_setup->setAutoRaise(true);
    m_setup->setToolTip(tr("Servo set-up"));
    // A picture button: clicking it must not take the focus away.
    m_setup->setFocusPolicy(Qt::NoFocus);

    m_active = new QCheckBox(tr("Active"), this);
    m_active->setObjectName(QStringLiteral("Active"));

    auto* indicatorBox = new QWidget(this);
    auto* indicatorLayout = new QHBoxLayout(indicatorBox);
    indicatorLayout->setContentsMargins(0, 0, 0, 0);
    indicatorLayout->setSpacing(0);
    for (int i = 0; i < int(m_indicators.size()); ++i) {
        auto* label = new QLabel(indicatorBox);
        label->setObjectName(QStringLiteral("JoyIndicator%1").arg(i));
        label->setPixmap(indicatorPicture(i));
        label->setToolTip(tr("Steered by joystick channel %1").arg(i + 1)); // as the Setup window counts
        label->setVisible(false);
        indicatorLayout->addWidget(label);
        m_indicators[i] = label;
    }
    indicatorBox->setFixedSize(22, 16);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(2, 2, 2, 2);
    column->setSpacing(3);
    column->addWidget(m_name);
    // The ends of the slider in the numbers the lane beside the waveform
    // shows at its top and bottom.
    auto* ends = new QVBoxLayout;
    ends->setSpacing(0);
    for (QLabel*& end : m_ends) {
        end = new QLabel(this);
        QFont f = end->font();
        f.setPixelSize(10);
        end->setFont(f);
        end->setAlignment(Qt::AlignRight);
    }
    m_ends[0]->setObjectName(QStringLiteral("rangeTop"));
    m_ends[1]->setObjectName(QStringLiteral("rangeBottom"));
    ends->addWidget(m_ends[0]);
    ends->addStretch();
    ends->addWidget(m_ends[1]);
    auto* sliderRow = new QHBoxLayout;
    sliderRow->addStretch();
    sliderRow->addLayout(ends);
    sliderRow->addWidget(m_slider, 0);
    sliderRow->addStretch();
    column->addLayout(sliderRow, 1);
    auto* tools = new QHBoxLayout;
    tools->setSpacing(2);
    tools->addWidget(m_setup);
    tools->addStretch();
    tools->addWidget(indicatorBox);
    column->addLayout(tools);
    column->addWidget(m_active);

    setMinimumSize(80, 200);
    setMaximumWidth(110);

    syncFromTrack();

    m_slider->installEventFilter(this);
    m_name->installEventFilter(this);

    connect(m_slider, &QSlider::valueChanged, this, [this](int v) {
        if (m_route)
            m_route(m_held, v);
        else
            m_track.setPosition(v);
    });
    connect(m_active, &QCheckBox::toggled, this, [this](bool on) { m_track.setActiveChecked(on); });
    connect(m_name, &QLineEdit::textChanged, this, [this](const QString& t) {
        m_track.setNameBoxText(t);
        Q_EMIT setupChanged();
    });
    connect(m_setup, &QToolButton::clicked, this, &NewSlider::setupClicked);
}

QSize NewSlider::sizeHint() const
{
    return {90, 300};
}

bool NewSlider::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_slider) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: // the second press of a quick double click
            held(true);
            break;
        case QEvent::MouseButtonRelease:
            held(false);
            break;
        default:
            break;
        }
    } else if (watched == m_name && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            // Enter ends editing: the name stays as typed and the user is
            // back on the slider. Enter changes no text here, so nothing
            // needs restoring and no pending restore can eat a later edit.
            m_slider->setFocus(Qt::OtherFocusReason);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void NewSlider::syncFromTrack()
{
    {
        const QSignalBlocker block(m_slider);
        m_slider->setRange(m_track.sliderMin(), m_track.sliderMax());
        m_slider->setValue(m_track.sliderValue());
    }
    {
        const QSignalBlocker block(m_active);
        m_active->setChecked(m_track.activeChecked());
    }
    for (int i = 0; i < int(m_indicators.size()); ++i)
        m_indicators[i]->setVisible(i == m_track.visibleIndicator());
    m_ends[0]->setText(QString::number(m_track.maxValue()));
    m_ends[1]->setText(QString::number(m_track.minValue()));
    m_slider->setToolTip(m_track.isReversed()
                             ? tr("%1 to %2, reversed: the servo turns the other way").arg(m_track.minValue()).arg(m_track.maxValue())
                             : tr("%1 to %2").arg(m_track.minValue()).arg(m_track.maxValue()));
    if (m_name->text() != m_track.nameBoxText()) {
        const QSignalBlocker block(m_name);
        m_name->setText(m_track.nameBoxText());
        // Names from projects are padded to 32 characters; with the cursor at
        // the end the box would show only blanks.
        m_name->setCursorPosition(0);
    }
}

qint32 NewSlider::position() const { return m_track.position(); }

void NewSlider::setPosition(qint32 v)
{
    m_track.setPosition(v);
    syncFromTrack();
}

bool NewSlider::usesJoystick() const { return m_track.usesJoystick(); }

void NewSlider::setUsesJoystick(bool on)
{
    m_track.setUsesJoystick(on);
    syncFromTrack();
    Q_EMIT setupChanged();
}

qint16 NewSlider::whichJoystickChannel() const { return m_track.whichJoystickChannel(); }
void NewSlider::setWhichJoystickChannel(qint16 channel)
{
    m_track.setWhichJoystickChannel(channel);
    Q_EMIT setupChanged();
}

void NewSlider::setStartCalibrationData(bool ignored) { m_track.setStartCalibrationData(ignored); }
void NewSlider::setCalibrationData(qint16 value) { m_track.setCalibrationData(value); }

void NewSlider::setDataStartPoint(qint32 index) { m_track.setDataStartPoint(index); }
qint32 NewSlider::datalength() const { return m_track.datalength(); }
void NewSlider::setDatalength(qint32 n) { m_track.setDatalength(n); }
qint16 NewSlider::data() { return m_track.data(); }
void NewSlider::setData(qint16 v) { m_track.setData(v); }

quint8 NewSlider::theDeviceType() const { return m_track.theDeviceType(); }
void NewSlider::setTheDeviceType(quint8 type) { m_track.setTheDeviceType(type); }

bool NewSlider::playbackEnabled() const { return m_track.playbackEnabled(); }

void NewSlider::setPlaybackEnabled(bool on)
{
    m_track.setPlaybackEnabled(on);
    syncFromTrack();
}

void NewSlider::setRecordingEnabled(bool on) { m_track.setRecordingEnabled(on); }

QString NewSlider::servoName()
{
    // The box may hold an edit the track has not heard of yet (an input
    // method still composing); the box is what the user sees.
    m_track.setNameBoxText(m_name->text());
    return m_track.servoName();
}

void NewSlider::setServoName(const QString& name)
{
    m_track.setServoName(name);
    syncFromTrack();
    Q_EMIT setupChanged();
}

bool NewSlider::isReversed() const { return m_track.isReversed(); }
void NewSlider::setIsReversed(bool on)
{
    m_track.setIsReversed(on);
    syncFromTrack();
    Q_EMIT setupChanged();
}

qint16 NewSlider::maxValue() const { return m_track.maxValue(); }

void NewSlider::setMaxValue(qint16 v)
{
    m_track.setMaxValue(v);
    syncFromTrack();
    Q_EMIT setupChanged();
}

qint16 NewSlider::minValue() const { return m_track.minValue(); }

void NewSlider::setMinValue(qint16 v)
{
    m_track.setMinValue(v);
    syncFromTrack();
    Q_EMIT setupChanged();
}

qint32 NewSlider::maxframe() const { return m_track.maxframe(); }
void NewSlider::setMaxframe(qint32 n) { m_track.setMaxframe(n); }

QString NewSlider::serialPortString() { return m_track.serialPortString(); }

qint16 NewSlider::whichservo() const { return m_track.whichservo(); }
void NewSlider::setWhichservo(qint16 n) { m_track.setWhichservo(n); }

void NewSlider::held(bool on)
{
    m_held = on;
    if (m_route)
        m_route(on, m_slider->value());
    else
        m_track.setSliderHeld(on);
}

void NewSlider::releaseIfNoButton()
{
    if ((m_route ? m_held : m_track.sliderHeld()) && QGuiApplication::mouseButtons() == Qt::NoButton)
        held(false);
}

void NewSlider::setShowRoute(std::function<void(bool held, qint32 value)> route)
{
    m_route = std::move(route);
    if (!m_route)
        syncFromTrack();
}

void NewSlider::showPosition(qint32 v)
{
    if (m_slider->value() == v)
        return;
    const QSignalBlocker block(m_slider);
    m_slider->setValue(v);
}

void NewSlider::setCurrentFrame(qint32 f)
{
    releaseIfNoButton();
    // The slider is brought up to date even when the update fails, so that
    // screen and track never disagree.
    try {
        m_track.setCurrentFrame(f);
    } catch (...) {
        syncFromTrack();
        throw;
    }
    if (m_slider->value() != m_track.sliderValue()) {
        const QSignalBlocker block(m_slider);
        m_slider->setValue(m_track.sliderValue());
    }
}

void NewSlider::clearTheArray()
{
    m_track.clearTheArray();
    syncFromTrack();
}
