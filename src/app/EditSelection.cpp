#include "app/EditSelection.h"

#include <algorithm>

#include "timing/TimeCode.h"

void EditSelection::select(int servo, qint32 a, qint32 b)
{
    const mk::edits::FrameRange r{std::max(std::min(a, b), 0), std::max(std::max(a, b), 0)};
    if (servo == m_servo && r == m_frames)
        return;
    m_servo = servo;
    m_frames = r;
    Q_EMIT changed();
}

void EditSelection::clear()
{
    if (isEmpty())
        return;
    m_frames = {};
    Q_EMIT changed();
}

QString EditSelection::text() const
{
    if (isEmpty())
        return {};
    const QString who = m_servo == kAllServos ? tr("All servos") : tr("Servo %1").arg(m_servo);
    return tr("%1: %2 to %3, %4 long")
        .arg(who, mk::timeCodeText(m_frames.from), mk::timeCodeText(m_frames.to),
             mk::timeCodeText(m_frames.length()));
}
