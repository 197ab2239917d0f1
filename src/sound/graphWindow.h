#pragma once
// The waveform view: holds the project's sound, draws it with its cursor,
// lets the user scrub, and plays it.
//
// The sound is known by its path and a few header measurements; the samples
// stay in the file and every redraw reads the bytes it plots again (about a
// thousand single-byte reads), so a sound of any length costs no memory.
#include <QImage>
#include <QWidget>

#include <functional>
#include <optional>

#include "platform/Dialogs.h"
#include "platform/SoundService.h"
#include "platform/TickSource.h"
#include "sound/SoundPlayback.h"

class QLabel;
class QTimer;

class graphWindow : public QWidget {
    Q_OBJECT
public:
    graphWindow(mk::TickSource& ticks, mk::Dialogs& dialogs, mk::SoundService& sound,
                QWidget* parent = nullptr);

    /// "noSound" when there is no sound.
    QString cFileName() const;
    /// Loads the WAV file at `path` (trimmed); "noSound" clears the sound. A
    /// missing file is asked for; read cFileName afterwards for the path that
    /// was loaded. Throws mk::RuntimeError when an existing file cannot be read.
    void setcFileName(const QString& path);
    /// The same, with a last word for the host: once the sound has been read
    /// and measured, `accept(lengthMs)` false abandons the load and leaves
    /// the view exactly as it was.
    void setcFileName(const QString& path, const std::function<bool(qint32 lengthMs)>& accept);
    /// Sounds the view cannot read as they are (other depths, rates and
    /// types) are handed to `prepare` once found: it answers the file to load
    /// instead, or nothing to leave the view without a sound (having said why).
    using Preparer = std::function<std::optional<QString>(const QString& path)>;
    void setSoundPreparer(Preparer prepare) { m_prepare = std::move(prepare); }

    qint32 cCurrentTime() const;
    void setcCurrentTime(qint32 v);
    qint32 cCurrentTimeInMilliseconds() const;
    /// Moves the cursor to `ms` and raises scrub.
    void setcCurrentTimeInMilliseconds(qint32 ms);

    qint32 cSoundStart() const;
    qint32 cSoundEnd() const;
    qint32 cSoundLength() const;
    qint32 cSoundLengthInMilliseconds() const;

    qint32 cDisplayStart() const;
    void setcDisplayStart(qint32 v);
    qint32 cDisplayEnd() const;
    void setcDisplayEnd(qint32 v);
    qint32 cClipStart() const;
    void setcClipStart(qint32 v);
    qint32 cClipEnd() const;
    void setcClipEnd(qint32 v);
    qint32 cRedLine() const;
    void setcRedLine(qint32 v);

    /// 1..1000 (1000: the whole sound). The host redraws afterwards.
    qint16 czoom() const;
    void setczoom(qint16 z);
    /// 0..10000, a scroll bar's place. The host redraws afterwards.
    qint16 cpan() const;
    void setcpan(qint16 v);
    /// Shows positions start..end and redraws; czoom, cpan and zoomCentre
    /// then read what that span is, as if they had made it. Finer than czoom
    /// and cpan, whose steps are a thousandth of a long sound.
    void showSpan(qint32 start, qint32 end);

    void setmousepointer(qint16 shape);
    bool cLoop() const;
    void setcLoop(bool v);
    void setcStartPoint(qint32 ms);
    void setcEndPoint(qint32 ms);

    void reDraw();

    void stopPlaying();
    void play();
    void playFromCursor();
    /// A play from the cursor is coming: the sound output gets ready for it.
    void preparePlay();
    void playClip();
    void playFromTo();
    /// One tick of the 50 ms playback clock.
    void playUpdateTick();

    // Read-only state, for the host and for checks.
    bool playing() const { return m_playback.playing(); }
    qint16 playMode() const { return qint16(m_playback.mode()); }
    qint64 playStartTick() const { return m_playback.startTick(); }
    qint32 playStartMs() const { return m_playback.startMs(); }
    qint64 playEndTick() const { return m_playback.endTick(); }
    /// What the sound output is doing, which this view presents.
    const mk::SoundPlayback& playback() const { return m_playback; }
    qint16 bitsPerSample() const { return m_bitsPerSample; }
    float lengthInSeconds() const { return m_lengthInSeconds; }
    qint32 zoomCentre() const { return m_zoomCentre; }
    /// The last drawn waveform, as painted under the cursor and marker.
    const QImage& waveformImage() const { return m_image; }

Q_SIGNALS:
    void scrub();
    void soundHasStopped();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void initialise();
    void setNoSoundState();
    void load(QString path, const std::function<bool(qint32)>& accept);
    /// Asks for the missing file `name`; false (and no sound) when the user
    /// gives up, otherwise `path` is the file chosen.
    bool locate(const QString& name, QString& path);
    /// Forgets the sound: the state of a view without one.
    void dropSound();
    void clearSurface();
    void placeBars();
    void dealWithCursor();
    void showPlayEndTick();
    double scaleX(const QPointF& pixel) const;
    /// The time under a cursor position, within the sound.
    qint32 cursorMs(qint32 position) const;
    bool hasSound() const;
    void showMessage(const QString& text, const QString& title, mk::MessageButtons buttons, mk::MessageIcon icon);
    void drawWaveform(QImage& image, bool& failed);

    mk::TickSource& m_ticks;
    mk::Dialogs& m_dialogs;
    mk::SoundService& m_sound;
    mk::SoundPlayback m_playback;
    Preparer m_prepare;

    QLabel* m_cursor = nullptr;
    QLabel* m_redline = nullptr;
    QLabel* m_labels[6] = {};
    QTimer* m_blinkTimer = nullptr;
    QTimer* m_playUpdateTimer = nullptr;
    QImage m_image;

    QString m_fileName = QStringLiteral("noSound");
    qint16 m_bitsPerSample = 0;
    float m_lengthInSeconds = 0;
    qint32 m_currentTime = 500;
    qint32 m_currentTimeMs = 0;
    qint32 m_soundStart = 0;
    qint32 m_soundEnd = 0;
    qint32 m_soundLength = 1000;
    qint32 m_soundLengthMs = 1000;
    qint32 m_displayStart = 1;
    qint32 m_displayEnd = 1000;
    qint32 m_clipStart = 0;
    qint32 m_clipEnd = 1000;
    qint32 m_redLine = -100;
    qint32 m_zoomCentre = 0;
    qint16 m_zoomValue = 0;
    qint16 m_panValue = 0;

    // A file that went missing after the load is reported once, not on every
    // resize, until a redraw reads it again or another sound is loaded.
    bool m_redrawFailureShown = false;
};
