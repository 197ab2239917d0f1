#include "timing/countdownTimer.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include "platform/Rounding.h"
#include "timing/TimeCode.h"

namespace {

// One day: the longest pause the box accepts.
constexpr double kMaxSeconds = 86400.0;

/// The pause typed into the box, or nothing when it is empty or not a number.
std::optional<double> pauseSeconds(const QString& text)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

/// The pause as far as timing goes: a negative one is no pause at all.
double effectiveSeconds(double seconds)
{
    return std::clamp(seconds, 0.0, kMaxSeconds);
}

QString wholePauseText(double seconds)
{
    return mk::timeCodeText(mk::roundTo<qint64>(effectiveSeconds(seconds) * 30.0));
}

} // namespace

countdownTimer::countdownTimer(mk::TickSource& ticks, QWidget* parent)
    : QWidget(parent), m_ticks(ticks)
{
    m_timeDisplay = new QLabel(QStringLiteral("00:00:10:00"), this);
    m_timeDisplay->setObjectName(QStringLiteral("timeDisplay"));
    m_timeDisplay->setAlignment(Qt::AlignCenter);

    m_Check1 = new QCheckBox(this);
    m_Check1->setObjectName(QStringLiteral("Check1"));

    auto* repeatLabel = new QLabel(QStringLiteral("repeat after"), this);
    repeatLabel->setObjectName(QStringLiteral("repeatLabel"));

    m_Text1 = new QLineEdit(QStringLiteral("10"), this);
    m_Text1->setObjectName(QStringLiteral("Text1"));
    m_Text1->setMaximumWidth(m_Text1->fontMetrics().horizontalAdvance(QStringLiteral("0000000")));

    m_unitLabel = new QLabel(QStringLiteral("seconds"), this);
    m_unitLabel->setObjectName(QStringLiteral("unitLabel"));

    auto* row = new QHBoxLayout;
    row->addWidget(m_Check1);
    row->addWidget(repeatLabel);
    row->addWidget(m_Text1);
    row->addWidget(m_unitLabel);
    row->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_timeDisplay);
    layout->addLayout(row);

    m_Timer1 = new QTimer(this);
    m_Timer1->setObjectName(QStringLiteral("Timer1"));
    m_Timer1->setInterval(5);
    connect(m_Timer1, &QTimer::timeout, this, &countdownTimer::tick);

    connect(m_Text1, &QLineEdit::textChanged, this, &countdownTimer::Text1Changed);
    // clicked, unlike toggled, comes only from the user, not from setEnabled.
    connect(m_Check1, &QCheckBox::clicked, this, &countdownTimer::enabledClicked);

    m_endTick = m_ticks.now() + 10 * 1000;
}

void countdownTimer::startTimer()
{
    if (!m_Check1->isChecked())
        return;
    // With no number in the box there is nothing to count down; the user
    // sees the box, so this is not an error.
    const std::optional<double> seconds = pauseSeconds(m_Text1->text());
    if (!seconds)
        return;
    m_endTick = mk::roundTo<qint64>(static_cast<double>(m_ticks.now()) + effectiveSeconds(*seconds) * 1000.0);
    m_Timer1->start();
    m_running = true;
}

void countdownTimer::stopTimer()
{
    m_Timer1->stop();
    m_running = false;
    resetDisplay();
}

qint16 countdownTimer::duration() const
{
    const std::optional<double> seconds = pauseSeconds(m_Text1->text());
    if (!seconds)
        return 0;
    // The box takes up to a day while the project stores 16 bits; a longer
    // pause is saved as the longest that fits rather than failing the save.
    const double whole = mk::roundHalfEven(*seconds);
    return static_cast<qint16>(std::clamp(whole, static_cast<double>(std::numeric_limits<qint16>::min()),
                                          static_cast<double>(std::numeric_limits<qint16>::max())));
}

void countdownTimer::setDuration(qint16 seconds)
{
    const QString text = QString::number(seconds);
    // The line edit keeps quiet about a text it already has; the rule still
    // has to run, as it moves the end of the count.
    if (m_Text1->text() == text)
        Text1Changed(text);
    else
        m_Text1->setText(text);
}

bool countdownTimer::enabled() const
{
    return m_Check1->isChecked();
}

void countdownTimer::setEnabled(bool on)
{
    m_Check1->setChecked(on);
}

bool countdownTimer::isItRunning() const
{
    return m_running;
}

void countdownTimer::tick()
{
    if (!m_running)
        return;
    const qint64 remaining = m_endTick - m_ticks.now();
    if (remaining >= -5) {
        // remaining is at most a day unless the clock went backwards; the
        // clamp keeps even that from overflowing.
        const double frames = std::min(mk::roundedFrames(static_cast<double>(remaining)), 1e15);
        m_timeDisplay->setText(mk::timeCodeText(static_cast<qint64>(frames)));
        return;
    }
    m_Timer1->stop();
    m_running = false;
    emit countdownFinished();
    resetDisplay();
}

void countdownTimer::Text1Changed(const QString& text)
{
    const std::optional<double> seconds = pauseSeconds(text);
    if (!seconds)
        return;
    if (*seconds > kMaxSeconds) {
        // Setting the text runs this rule again with the capped value.
        m_Text1->setText(QStringLiteral("86400"));
        return;
    }
    m_endTick = m_ticks.now() + mk::roundTo<qint64>(effectiveSeconds(*seconds)) * 1000;
    m_unitLabel->setText(*seconds == 1.0 ? QStringLiteral("second") : QStringLiteral("seconds"));
    m_timeDisplay->setText(wholePauseText(*seconds));
}

void countdownTimer::resetDisplay()
{
    const std::optional<double> seconds = pauseSeconds(m_Text1->text());
    m_timeDisplay->setText(seconds ? wholePauseText(*seconds) : QStringLiteral("00:00:00:00"));
}
