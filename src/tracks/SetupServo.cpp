#include "tracks/SetupServo.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <algorithm>

#include "link/MSComm.h"
#include "link/PositionCommand.h"
#include "tracks/NewSlider.h"

using mk::needles::Needle;

// The servo seen from the front, its output shaft at the bottom, with the two
// end positions as needles. Painted in the picture's own 105 x 181 pixel
// coordinates; Qt scales them to the screen's device pixel ratio.
class ServoPicture : public QWidget {
public:
    enum class Emphasis { None, Min, Max };

    explicit ServoPicture(QWidget* parent)
        : QWidget(parent)
    {
        setFixedSize(mk::needles::kPictureWidth, mk::needles::kPictureHeight);
        setCursor(Qt::PointingHandCursor);
        setToolTip(tr("Drag a needle to move that end of the servo's travel"));
    }

    void showNeedles(int minVal, int maxVal, Emphasis emphasis)
    {
        if (minVal == m_min && maxVal == m_max && emphasis == m_emphasis)
            return;
        m_min = minVal;
        m_max = maxVal;
        m_emphasis = emphasis;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.fillRect(rect(), QColor(246, 246, 242));
        const QPointF shaft(mk::needles::kShaftX, mk::needles::kShaftY);

        // Scale: the needles' sweep from 0 (left) to 255 (right).
        p.setPen(QPen(QColor(120, 120, 110), 1));
        for (int v = 0; v <= 256; v += 32) {
            const QLineF l = mk::needles::needleLine(std::min(v, 255));
            const QPointF dir = (l.p2() - l.p1()) / mk::needles::kNeedleLength;
            p.drawLine(l.p1() + dir * 44, l.p1() + dir * (v % 64 == 0 ? 47.5 : 46));
        }

        // Mounting ears, the case and its label.
        p.setPen(QPen(QColor(25, 25, 30), 1));
        p.setBrush(QColor(45, 45, 52));
        p.drawRoundedRect(QRectF(5.5, 34.5, 94, 12), 2, 2);
        p.setBrush(QColor(12, 12, 14));
        p.drawEllipse(QPointF(11.5, 40.5), 2.5, 2.5);
        p.drawEllipse(QPointF(93.5, 40.5), 2.5, 2.5);
        p.setBrush(QColor(55, 55, 64));
        p.drawRoundedRect(QRectF(20.5, 12.5, 64, 132), 4, 4);
        p.setPen(QColor(200, 200, 210));
        QFont f = font();
        f.setPixelSize(10);
        f.setBold(true);
        p.setFont(f);
        p.drawText(QRectF(20.5, 60, 64, 14), Qt::AlignCenter, QStringLiteral("SERVO"));
        p.setPen(QPen(QColor(90, 90, 100), 1));
        p.drawLine(QPointF(28, 80), QPointF(77, 80));

        // Output shaft with its boss.
        p.setPen(QPen(QColor(25, 25, 30), 1));
        p.setBrush(QColor(225, 225, 228));
        p.drawEllipse(shaft, 9, 9);

        // Needles: the one just moved is drawn thick, the other thin on top.
        auto needle = [&](int v, qreal width, const QColor& colour) {
            p.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(mk::needles::needleLine(v));
        };
        const QColor minColour(30, 90, 200);
        const QColor maxColour(200, 40, 30);
        if (m_emphasis == Emphasis::Min) {
            needle(m_min, 3, minColour);
            needle(m_max, 1, maxColour);
        } else {
            needle(m_max, m_emphasis == Emphasis::Max ? 3 : 1, maxColour);
            needle(m_min, 1, minColour);
        }
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(120, 120, 125));
        p.drawEllipse(shaft, 3, 3);
    }

private:
    int m_min = 128;
    int m_max = 128;
    Emphasis m_emphasis = Emphasis::None;
};

namespace {

// The column of controls right of the picture.
constexpr int kColumnLeft = 128;
constexpr int kColumnWidth = 196;

QScrollBar* positionBar(const QString& name, QWidget* parent)
{
    auto* bar = new QScrollBar(Qt::Horizontal, parent);
    bar->setObjectName(name);
    bar->setRange(mk::needles::kLowest, mk::needles::kHighest);
    bar->setSingleStep(1);
    bar->setPageStep(20);
    bar->setValue(128);
    bar->setFocusPolicy(Qt::StrongFocus);
    // Right, Up and Page Up move the end position up, as the bar shows it
    // (a scroll bar otherwise steps the other way on some of these keys).
    bar->setInvertedControls(false);
    return bar;
}

} // namespace

SetupServo::SetupServo(mk::TrackLookup tracks, MSComm* comm, QWidget* parent)
    : QWidget(parent, Qt::Dialog)
    , m_tracks(std::move(tracks))
    , m_comm(comm)
{
    setObjectName(QStringLiteral("SetupServo"));
    setWindowTitle(QStringLiteral("Setup"));

    m_servoPic = new ServoPicture(this);
    m_servoPic->setObjectName(QStringLiteral("servoPic"));
    m_servoPic->move(12, 40);

    m_label3 = new QLabel(this);
    m_label3->setObjectName(QStringLiteral("Label3"));
    m_label3->setGeometry(12, 10, kColumnLeft + kColumnWidth - 12, 20);
    QFont bold = m_label3->font();
    bold.setBold(true);
    m_label3->setFont(bold);

    auto* label2 = new QLabel(QStringLiteral("Name:"), this);
    label2->setObjectName(QStringLiteral("Label2"));
    label2->setGeometry(kColumnLeft, 40, 44, 22);
    m_customName = new QLineEdit(QStringLiteral("ServoX"), this);
    m_customName->setObjectName(QStringLiteral("customName"));
    m_customName->setGeometry(kColumnLeft + 44, 40, kColumnWidth - 44, 22);

    auto* minLabel = new QLabel(QStringLiteral("Minimum"), this);
    minLabel->setObjectName(QStringLiteral("Min"));
    minLabel->setGeometry(kColumnLeft, kUpperBarTop - 20, kColumnWidth, 18);
    m_minVal = positionBar(QStringLiteral("minVal"), this);
    auto* maxLabel = new QLabel(QStringLiteral("Maximum"), this);
    maxLabel->setObjectName(QStringLiteral("Label1"));
    maxLabel->setGeometry(kColumnLeft, kLowerBarTop - 20, kColumnWidth, 18);
    m_maxVal = positionBar(QStringLiteral("maxVal"), this);

    m_reverse = new QCheckBox(QStringLiteral("Reverse"), this);
    m_reverse->setObjectName(QStringLiteral("reverse"));
    m_reverse->setGeometry(kColumnLeft, 182, 96, 22);
    m_useJoystick = new QCheckBox(QStringLiteral("Use Joystick"), this);
    m_useJoystick->setObjectName(QStringLiteral("useJoystick"));
    m_useJoystick->setGeometry(kColumnLeft + 98, 182, kColumnWidth - 98, 22);

    m_channels = new QButtonGroup(this);
    for (int i = 0; i < int(m_joyChannel.size()); ++i) {
        auto* option = new QRadioButton(QStringLiteral("Channel %1").arg(i + 1), this);
        option->setObjectName(QStringLiteral("joyChannel%1").arg(i));
        option->setGeometry(kColumnLeft + (i % 2) * 98, 208 + (i / 2) * 22, 96, 22);
        m_channels->addButton(option, i);
        m_joyChannel[i] = option;
    }

    // The bars' values, shown above each bar (and moving with it).
    m_minText = new QLabel(this);
    m_minText->setObjectName(QStringLiteral("minText"));
    m_maxText = new QLabel(this);
    m_maxText->setObjectName(QStringLiteral("maxText"));
    for (QLabel* l : {m_minText, m_maxText})
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    setFixedSize(kColumnLeft + kColumnWidth + 12, 262);
    placeBars();
    setWhichservo(0);
    m_minText->setText(QString::number(m_minVal->value()));
    m_maxText->setText(QString::number(m_maxVal->value()));

    connect(m_customName, &QLineEdit::textChanged, this, &SetupServo::onNameChanged);
    connect(m_maxVal, &QScrollBar::valueChanged, this, &SetupServo::onMaxChanged);
    connect(m_minVal, &QScrollBar::valueChanged, this, &SetupServo::onMinChanged);
    connect(m_reverse, &QCheckBox::toggled, this, &SetupServo::onReverseToggled);
    connect(m_useJoystick, &QCheckBox::toggled, this, &SetupServo::onJoystickToggled);
    connect(m_channels, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (on)
            onChannelChosen(id);
    });

    m_servoPic->installEventFilter(this);
}

void SetupServo::setWhichservo(qint16 servo)
{
    m_whichservo = servo;
    m_label3->setText(QStringLiteral("Servo Number ") + QString::number(servo));
    disconnect(m_watch);
    if (NewSlider* t = track())
        m_watch = connect(t, &NewSlider::setupChanged, this, [this] {
            if (!m_writing)
                showTrack();
        });
}

NewSlider* SetupServo::track() const
{
    return m_tracks ? m_tracks(m_whichservo) : nullptr;
}

void SetupServo::fillFrom(NewSlider& source)
{
    const int shownMax = m_maxVal->value();
    const int shownMin = m_minVal->value();
    setWhichservo(source.whichservo());
    // The source itself even when its servo number finds no track.
    showSetupOf(source);
    if (m_maxVal->value() != shownMax)
        preview(m_maxVal->value());
    if (m_minVal->value() != shownMin)
        preview(m_minVal->value());
}

void SetupServo::showTrack()
{
    if (const NewSlider* source = track())
        showSetupOf(*source);
}

void SetupServo::showSetupOf(const NewSlider& source)
{
    const mk::ServoTrack& t = source.track();
    const QScopedValueRollback<bool> showing(m_showing, true);
    if (m_customName->text() != t.nameBoxText()) {
        m_customName->setText(t.nameBoxText());
        // A long name shows its start.
        m_customName->setCursorPosition(0);
    }
    // The track's own ends, not its slider's: a cleared track's slider
    // shows 128..129 whatever its set-up.
    m_maxVal->setValue(t.maxValue());
    m_minVal->setValue(t.minValue());
    m_minText->setText(QString::number(m_minVal->value()));
    m_maxText->setText(QString::number(m_maxVal->value()));
    m_servoPic->showNeedles(m_minVal->value(), m_maxVal->value(), ServoPicture::Emphasis::None);
    m_reverse->setChecked(t.isReversed());
    placeBars();
    selectChannel(t.whichJoystickChannel());
    m_useJoystick->setChecked(t.usesJoystick());
}

void SetupServo::selectChannel(int channel)
{
    if (QAbstractButton* option = m_channels->button(channel)) {
        option->setChecked(true);
        return;
    }
    // A channel without an option (from an odd project file): none is
    // selected rather than a wrong one.
    m_channels->setExclusive(false);
    for (QRadioButton* option : m_joyChannel)
        option->setChecked(false);
    m_channels->setExclusive(true);
}

void SetupServo::write(const std::function<void(NewSlider&)>& change)
{
    NewSlider* t = track();
    if (!t || m_showing)
        return;
    const QScopedValueRollback<bool> writing(m_writing, true);
    change(*t);
}

void SetupServo::onNameChanged(const QString& text)
{
    write([&](NewSlider& t) { t.setServoName(text); });
}

void SetupServo::onMaxChanged(int v)
{
    if (m_showing)
        return;
    if (v < m_minVal->value()) {
        m_maxVal->setValue(m_minVal->value()); // runs this handler again
        return;
    }
    m_servoPic->showNeedles(m_minVal->value(), v, ServoPicture::Emphasis::Max);
    m_maxText->setText(QString::number(v));
    write([&](NewSlider& t) { t.setMaxValue(qint16(v)); });
    preview(v);
}

void SetupServo::onMinChanged(int v)
{
    if (m_showing)
        return;
    if (v > m_maxVal->value()) {
        m_minVal->setValue(m_maxVal->value()); // runs this handler again
        return;
    }
    m_servoPic->showNeedles(v, m_maxVal->value(), ServoPicture::Emphasis::Min);
    m_minText->setText(QString::number(v));
    write([&](NewSlider& t) { t.setMinValue(qint16(v)); });
    preview(v);
}

void SetupServo::onReverseToggled(bool on)
{
    write([&](NewSlider& t) { t.setIsReversed(on); });
    placeBars();
}

void SetupServo::placeBars()
{
    // The labels stay put: with Reverse ticked the bar under "Minimum" is the
    // maximum, which is what the reversed servo does with it.
    const bool reversed = m_reverse->isChecked();
    m_minVal->setGeometry(kColumnLeft, reversed ? kLowerBarTop : kUpperBarTop, kColumnWidth, 17);
    m_maxVal->setGeometry(kColumnLeft, reversed ? kUpperBarTop : kLowerBarTop, kColumnWidth, 17);
    m_minText->setGeometry(kColumnLeft + kColumnWidth - 60, m_minVal->y() - 20, 60, 18);
    m_maxText->setGeometry(kColumnLeft + kColumnWidth - 60, m_maxVal->y() - 20, 60, 18);
    // Tab follows the screen, top bar first.
    if (reversed)
        setTabOrder(m_maxVal, m_minVal);
    else
        setTabOrder(m_minVal, m_maxVal);
}

void SetupServo::onJoystickToggled(bool on)
{
    write([&](NewSlider& t) { t.setUsesJoystick(on); });
}

void SetupServo::onChannelChosen(int channel)
{
    write([&](NewSlider& t) {
        t.setWhichJoystickChannel(qint16(channel));
        // The track's indicator moves to the new channel.
        if (m_useJoystick->isChecked())
            t.setUsesJoystick(true);
    });
}

void SetupServo::preview(int value)
{
    if (!m_comm || !m_comm->PortOpen())
        return;
    // Only a servo number that fits the command's byte can be addressed.
    if (m_whichservo < 0 || m_whichservo > 255)
        return;
    QByteArray command;
    mk::appendPositionCommand(command, m_whichservo, value);
    // One write: the link drops a message it cannot buffer whole, so a busy
    // line loses the command rather than cutting it in two.
    m_comm->setOutput(command);
}

bool SetupServo::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_servoPic)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        const QPointF p = static_cast<QMouseEvent*>(event)->position();
        const float a = mk::needles::positionAt(p.x(), p.y());
        m_dragTarget = mk::needles::nearerNeedle(a, m_minVal->value(), m_maxVal->value());
        m_dragging = true;
        return true;
    }
    case QEvent::MouseMove: {
        if (!m_dragging)
            break;
        const QPointF p = static_cast<QMouseEvent*>(event)->position();
        const int v = mk::needles::dragValue(m_dragTarget, mk::needles::positionAt(p.x(), p.y()));
        (m_dragTarget == Needle::Min ? m_minVal : m_maxVal)->setValue(v);
        return true;
    }
    case QEvent::MouseButtonRelease:
        m_dragging = false;
        return true;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

bool SetupServo::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate) {
        m_servoPic->showNeedles(m_minVal->value(), m_maxVal->value(), ServoPicture::Emphasis::None);
        m_dragging = false;
    }
    return QWidget::event(event);
}

QWidget* SetupServo::servoPic() const
{
    return m_servoPic;
}
