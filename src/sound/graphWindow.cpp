#include "sound/graphWindow.h"

#include <QPainter>

#include "platform/Rounding.h"

graphWindow::graphWindow(mk::TickSource& ticks, mk::Dialogs& dialogs, mk::SoundService& sound,
                         QWidget* parent)
    : QWidget(parent), m_ticks(ticks), m_dialogs(dialogs), m_sound(sound)
{
    setObjectName(QStringLiteral("graphWindow"));
    setMinimumSize(300, 100);
    setAutoFillBackground(true);
}

QString graphWindow::cFileName() const { return m_fileName; }

void graphWindow::setcFileName(const QString& path)
{
    m_fileName = path.trimmed();
    update();
}

qint32 graphWindow::cCurrentTime() const { return m_currentTime; }

void graphWindow::setcCurrentTime(qint32 v)
{
    m_currentTime = v;
    if (m_soundLength != 0)
        m_currentTimeMs = mk::roundTo<qint32>(double(v - m_soundStart) / m_soundLength * m_soundLengthMs);
    update();
}

qint32 graphWindow::cCurrentTimeInMilliseconds() const { return m_currentTimeMs; }

void graphWindow::setcCurrentTimeInMilliseconds(qint32 ms)
{
    m_currentTimeMs = ms;
    if (m_soundLengthMs != 0)
        m_currentTime = mk::roundTo<qint32>(double(ms) / m_soundLengthMs * m_soundLength) + m_soundStart;
    Q_EMIT scrub();
}

qint32 graphWindow::cSoundStart() const { return m_soundStart; }
qint32 graphWindow::cSoundEnd() const { return m_soundLength - m_soundStart; }
qint32 graphWindow::cSoundLength() const { return m_soundLength; }
qint32 graphWindow::cSoundLengthInMilliseconds() const { return m_soundLengthMs; }

void graphWindow::stopPlaying()
{
    if (m_fileName != QLatin1String("noSound"))
        m_sound.stop(m_fileName);
    m_playing = false;
}

void graphWindow::playFromCursor()
{
    // Without a sound there is nothing to play and the playback clock stays off.
}

void graphWindow::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    p.setPen(Qt::green);
    p.drawLine(0, height() / 2, width(), height() / 2);
}
