#pragma once
// The waveform view: holds the project's sound, draws it with its cursor,
// lets the user scrub, and plays it.
#include <QWidget>

#include "platform/Dialogs.h"
#include "platform/SoundService.h"
#include "platform/TickSource.h"

class graphWindow : public QWidget {
    Q_OBJECT
public:
    graphWindow(mk::TickSource& ticks, mk::Dialogs& dialogs, mk::SoundService& sound,
                QWidget* parent = nullptr);

    QString cFileName() const;
    void setcFileName(const QString& path);

    qint32 cCurrentTime() const;
    void setcCurrentTime(qint32 v);
    qint32 cCurrentTimeInMilliseconds() const;
    void setcCurrentTimeInMilliseconds(qint32 ms);

    qint32 cSoundStart() const;
    qint32 cSoundEnd() const;
    qint32 cSoundLength() const;
    qint32 cSoundLengthInMilliseconds() const;

    void stopPlaying();
    void playFromCursor();

Q_SIGNALS:
    void scrub();
    void soundHasStopped();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    mk::TickSource& m_ticks;
    mk::Dialogs& m_dialogs;
    mk::SoundService& m_sound;
    QString m_fileName = QStringLiteral("noSound");
    qint32 m_currentTime = 500;
    qint32 m_currentTimeMs = 0;
    qint32 m_soundStart = 0;
    qint32 m_soundLength = 1000;
    qint32 m_soundLengthMs = 1000;
    qint32 m_displayStart = 1;
    qint32 m_displayEnd = 1000;
    bool m_playing = false;
};
