#pragma once
// Undo and redo of what was recorded, on a QUndoStack: one step per
// recording pass (Play to Stop, or to the sound's end), and one for a command
// that replaces or cuts recordings (Import Sound cutting the tracks short).
//
// The history keeps a copy of every track's recording as of its last step.
// At each step boundary it compares the tracks with that copy and pushes
// only the frames that differ, with their positions before and after, so a
// take of one servo over a minute costs about 7 KB whatever the show's
// length. Changes made between boundaries (a servo recorded while the cursor
// is dragged) become a step of their own at the next boundary, so nothing
// recorded escapes the history.
//
// The steps together hold at most memoryLimit() bytes (64 MB unless set);
// past that the oldest steps are dropped. Saving does not touch the history.
// Everything runs on the user-interface thread.
#include <QObject>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "tracks/TakeDiff.h"

class NewSlider;
class QAction;
class QUndoStack;

namespace mk {

class TakeHistory : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 kDefaultMemoryLimit = 64LL * 1024 * 1024;

    /// `playing` tells whether the show is running (undo and redo wait).
    TakeHistory(const std::array<NewSlider*, 8>& tracks, std::function<bool()> playing, QObject* parent = nullptr);
    ~TakeHistory() override;

    QUndoStack& stack() const { return *m_stack; }
    /// Ctrl+Z and Ctrl+Shift+Z / Ctrl+Y; enabled only when stopped.
    QAction* undoAction() const { return m_undo; }
    QAction* redoAction() const { return m_redo; }

    /// Play: what was changed since the last step becomes a step of its own.
    void beginPass();
    /// Stop, Rewind, the sound's end: the pass becomes one step.
    void endPass();
    /// After a scrub: a pass whose clock has stopped is over.
    void endPassIfStopped();
    /// A step named `text` for what a command changed in the tracks. With
    /// `onlyWhenCut`, a change that cut no recorded position is taken as the
    /// new starting point without a step. `undoExtra`/`redoExtra` run before
    /// the tracks are put back (for example to reload the sound); with them
    /// the step is made even when no recording changed.
    void commit(const QString& text, bool onlyWhenCut = false, std::function<void()> undoExtra = {},
                std::function<void()> redoExtra = {});
    /// Forgets the tracks' state since the last step without a step (for a
    /// change the history must not undo).
    void rebase();

    void undo();
    void redo();
    /// Enables or disables undo and redo after the transport changed.
    void refresh();

    qint64 memoryLimit() const { return m_limit; }
    void setMemoryLimit(qint64 bytes);
    /// Bytes held by all steps.
    qint64 memoryHeld() const;

Q_SIGNALS:
    /// Recordings changed other than frame by frame: undo, redo, a command.
    void tracksChanged();

private:
    class Step;
    struct StepData {
        QString text;
        std::vector<takes::TrackChange> changes;
        std::function<void()> undoExtra;
        std::function<void()> redoExtra;
        qint64 bytes = 0;
    };
    bool collect(std::vector<takes::TrackChange>& changes) const;
    void push(std::shared_ptr<StepData> data);
    void apply(const StepData& data, bool undo);
    void enforceLimit();

    std::array<NewSlider*, 8> m_tracks;
    std::function<bool()> m_playing;
    std::array<takes::Snapshot, 8> m_base;
    QUndoStack* m_stack = nullptr;
    QAction* m_undo = nullptr;
    QAction* m_redo = nullptr;
    qint64 m_limit = kDefaultMemoryLimit;
    bool m_silent = false; ///< pushing a step whose change is already made
    bool m_inPass = false;
};

} // namespace mk
