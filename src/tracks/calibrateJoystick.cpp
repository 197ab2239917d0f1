#include "tracks/calibrateJoystick.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "tracks/NewSlider.h"

// One channel's travel: the whole scale, the calibrated span on it and the
// live reading as a marker.
class CalibrationGauge : public QWidget {
public:
    explicit CalibrationGauge(QWidget* parent)
        : QWidget(parent)
    {
        setMinimumSize(220, 30);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

    void showGauge(const mk::JoystickCalibration::Gauge& g, bool live)
    {
        if (g.min == m_gauge.min && g.max == m_gauge.max && g.value == m_gauge.value && live == m_live)
            return;
        m_gauge = g;
        m_live = live;
        setToolTip(tr("Bottom %1, top %2").arg(g.min).arg(g.max));
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF groove(4.5, 6.5, width() - 9.0, 8);
        auto xOf = [&](qint32 v) {
            return groove.left() + groove.width() * v / double(mk::JoystickCalibration::kGaugeTop);
        };
        p.setPen(QPen(QColor(120, 120, 120), 1));
        p.setBrush(QColor(225, 225, 225));
        p.drawRoundedRect(groove, 3, 3);
        p.setBrush(QColor(90, 160, 90));
        p.drawRect(QRectF(QPointF(xOf(m_gauge.min), groove.top()), QPointF(xOf(m_gauge.max), groove.bottom())));
        if (m_live) {
            const double x = xOf(m_gauge.value);
            p.setPen(QPen(QColor(200, 40, 30), 2));
            p.drawLine(QPointF(x, 2), QPointF(x, groove.bottom() + 4));
        }
        QFont f = font();
        f.setPixelSize(10);
        p.setFont(f);
        p.setPen(palette().color(QPalette::WindowText));
        const QRectF text(4, groove.bottom() + 2, width() - 8, 12);
        p.drawText(text, Qt::AlignLeft | Qt::AlignVCenter, QString::number(m_gauge.min));
        p.drawText(text, Qt::AlignRight | Qt::AlignVCenter, QString::number(m_gauge.max));
        if (m_live)
            p.drawText(text, Qt::AlignHCenter | Qt::AlignVCenter, QString::number(m_gauge.value));
    }

private:
    mk::JoystickCalibration::Gauge m_gauge{-1, -1, -1};
    bool m_live = true;
};

namespace {

QPixmap joystickPicture()
{
    QPixmap pm(56, 56);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(30, 30, 35), 1));
    p.setBrush(QColor(60, 60, 70));
    p.drawRoundedRect(QRectF(6.5, 40.5, 43, 12), 4, 4);
    p.setPen(QPen(QColor(40, 40, 40), 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(28, 42), QPointF(24, 16));
    p.setPen(QPen(QColor(30, 30, 35), 1));
    p.setBrush(QColor(200, 30, 30));
    p.drawEllipse(QPointF(23.5, 12.5), 7, 7);
    p.setBrush(QColor(220, 180, 40));
    p.drawEllipse(QPointF(41.5, 44.5), 3, 3);
    return pm;
}

} // namespace

calibrateJoystick::calibrateJoystick(mk::Joystick& joystick, mk::TrackLookup tracks, QWidget* parent)
    : QWidget(parent, Qt::Dialog)
    , m_joystick(joystick)
    , m_tracks(std::move(tracks))
{
    setObjectName(QStringLiteral("calibrateJoystick"));
    setWindowTitle(QStringLiteral("Calibrate Joystick"));

    auto* column = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("Picture1"));
    picture->setPixmap(joystickPicture());
    top->addWidget(picture);
    auto* help = new QLabel(tr("Move each axis to its end and take the reading as its bottom or top. "
                               "Every servo that follows the joystick then spans its whole range over that travel."),
                            this);
    help->setWordWrap(true);
    top->addWidget(help, 1);
    column->addLayout(top);

    auto* grid = new QGridLayout;
    static const char* const names[4] = {"Channel 1 (X)", "Channel 2 (Y)", "Channel 3 (Z)", "Channel 4"};
    for (int i = 0; i < mk::JoystickCalibration::kChannels; ++i) {
        grid->addWidget(new QLabel(QString::fromLatin1(names[i]), this), i, 0);
        auto* setMinButton = new QPushButton(tr("Set Bottom"), this);
        setMinButton->setObjectName(QStringLiteral("setMin%1").arg(i));
        setMinButton->setToolTip(tr("Take the current reading as this channel's bottom"));
        grid->addWidget(setMinButton, i, 1);
        m_gauges[i] = new CalibrationGauge(this);
        m_gauges[i]->setObjectName(QStringLiteral("slider%1").arg(i));
        grid->addWidget(m_gauges[i], i, 2);
        auto* setMaxButton = new QPushButton(tr("Set Top"), this);
        setMaxButton->setObjectName(QStringLiteral("setMax%1").arg(i));
        setMaxButton->setToolTip(tr("Take the current reading as this channel's top"));
        grid->addWidget(setMaxButton, i, 3);
        connect(setMinButton, &QPushButton::clicked, this, [this, i] { setMin(i); });
        connect(setMaxButton, &QPushButton::clicked, this, [this, i] { setMax(i); });
        refreshGauge(i);
    }
    grid->setColumnStretch(2, 1);
    column->addLayout(grid);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* save = new QPushButton(QStringLiteral("Save Settings"), this);
    save->setObjectName(QStringLiteral("saveSettingsButton"));
    buttons->addWidget(save);
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("cancelButton"));
    buttons->addWidget(close);
    column->addLayout(buttons);
    connect(save, &QPushButton::clicked, this, &calibrateJoystick::saveSettings);
    connect(close, &QPushButton::clicked, this, &QWidget::hide);

    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setInterval(kPollInterval);
    connect(m_timer, &QTimer::timeout, this, &calibrateJoystick::poll);
    resize(520, sizeHint().height());
}

void calibrateJoystick::refreshGauge(int channel)
{
    // Channel 4 has no axis: its gauge shows the span without a reading.
    m_gauges[channel]->showGauge(m_calibration.gauge(channel), channel < 3);
}

void calibrateJoystick::poll()
{
    if (m_calibration.poll(m_joystick.read()))
        for (int i = 0; i < 3; ++i)
            refreshGauge(i);
}

bool calibrateJoystick::polling() const
{
    return m_timer->isActive();
}

void calibrateJoystick::setMin(int channel)
{
    if (!m_calibration.setMin(channel, m_joystick.read()))
        return;
    refreshGauge(channel);
    saveSettings();
}

void calibrateJoystick::setMax(int channel)
{
    if (!m_calibration.setMax(channel, m_joystick.read()))
        return;
    refreshGauge(channel);
    saveSettings();
}

void calibrateJoystick::saveSettings()
{
    if (!m_tracks)
        return;
    const auto values = m_calibration.trackValues();
    for (int t = 0; t <= m_numberOfSliders; ++t) {
        NewSlider* track = m_tracks(t);
        if (!track)
            continue;
        track->setStartCalibrationData(true);
        for (qint16 v : values)
            track->setCalibrationData(v);
    }
}

void calibrateJoystick::showEvent(QShowEvent* event)
{
    poll();
    m_timer->start();
    QWidget::showEvent(event);
}

void calibrateJoystick::hideEvent(QHideEvent* event)
{
    m_timer->stop();
    QWidget::hideEvent(event);
}

void calibrateJoystick::closeEvent(QCloseEvent* event)
{
    // The close box does what Close does: the dialog and its values stay.
    event->ignore();
    hide();
}
