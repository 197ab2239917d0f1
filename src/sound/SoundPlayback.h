#pragma once
// What the sound output is doing for the show, without widgets: a play from
// a place to the end, of a clip or of a range, a scrub snippet, and the tick
// clock that tells where the listener is and when the range has been played.
// The waveform view presents it (its cursor follows position()); a player
// without a screen could drive it alike.
//
//   play(mode, from, to) -> the sound service plays [from, to)
//   tick count           -> position(): ms heard, and whether the range ended
#include <QString>

#include "platform/SoundService.h"
#include "platform/TickSource.h"

namespace mk {

class SoundPlayback {
public:
    /// What a repeat plays again: the whole sound, from the cursor, the clip,
    /// or the range of the start and end points.
    enum class Mode : qint16 { Whole = 0, FromCursor = 1, Clip = 2, FromTo = 3 };

    SoundPlayback(TickSource& ticks, SoundService& sound) : m_ticks(ticks), m_sound(sound) {}

    /// The sound played from now on; "noSound" for none (plays do nothing).
    void setFile(const QString& path);
    bool hasSound() const { return m_file != kNoSound; }

    /// Stops the output and the play.
    void stop();
    /// Stops the output only when there is a sound (a view without one has
    /// nothing to silence).
    void stopSound();
    /// Tells the output to stop whatever it plays, sound or none.
    void stopOutput() { m_sound.stop(m_file); }
    /// Plays from `fromMs`: to the end of a sound `lengthMs` long when `toMs`
    /// is -1, the play ending `lengthMs - endFromMs` after now (`endFromMs`:
    /// where that count starts, the cursor), otherwise [fromMs, toMs) with
    /// the end when that range has been played.
    void play(Mode mode, qint32 fromMs, qint32 toMs, qint32 lengthMs, qint32 endFromMs);
    /// The output gets ready for a play that is coming.
    void prepare();
    /// A 20 ms snippet at `ms` while the cursor is dragged; `wait` returns
    /// once it has been heard.
    void snippet(qint32 ms, bool wait);
    /// Snippets while dragging alternate between waiting and not, which keeps
    /// a fast drag audible without letting them pile up.
    bool nextSnippetWaits() { return m_snippetToggle = !m_snippetToggle, !m_snippetToggle; }

    /// Where the listener is by the tick clock, in ms (throws RuntimeError 6
    /// when that does not fit 32 bits), and whether the range has been played.
    struct Position {
        qint32 ms = 0;
        bool ended = false;
    };
    Position position() const;

    bool playing() const { return m_playing; }
    void setPlaying(bool on) { m_playing = on; }
    Mode mode() const { return m_mode; }
    bool loop() const { return m_loop; }
    void setLoop(bool on) { m_loop = on; }
    qint32 startPoint() const { return m_startPoint; }
    void setStartPoint(qint32 ms) { m_startPoint = ms; }
    qint32 endPoint() const { return m_endPoint; }
    void setEndPoint(qint32 ms) { m_endPoint = ms; }
    qint64 startTick() const { return m_startTick; }
    qint32 startMs() const { return m_startMs; }
    qint64 endTick() const { return m_endTick; }

    static inline const QString kNoSound = QStringLiteral("noSound");

private:
    TickSource& m_ticks;
    SoundService& m_sound;
    QString m_file = kNoSound;
    bool m_playing = false;
    Mode m_mode = Mode::Whole;
    bool m_loop = false;
    bool m_snippetToggle = false;
    qint32 m_startPoint = 0;
    qint32 m_endPoint = 0;
    qint64 m_startTick = 0;
    qint32 m_startMs = 0;
    qint64 m_endTick = 0;
};

} // namespace mk
