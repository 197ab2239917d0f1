#pragma once
// Undo and redo of the show, on a QUndoStack: one step per recording pass
// (Play to Stop, or to the sound's end), one per command that changes the
// show (Open Project, New Project, Import Sound), and one for set-up, sound
// or countdown changes made between them.
//
// The history keeps a copy of every track's recording and of the rest of the
// show (ShowSetup) as of its last step. At each step boundary it compares the
// show with that copy and pushes only the frames that differ, with their
// positions before and after, the tracks' lengths on both sides, and the
// set-up on both sides when that changed; so a sound and the track lengths it
// gave always come back together, and a take of one servo over a minute costs
// about 7 KB whatever the show's length. Changes made between boundaries (a
// servo recorded while the cursor is dragged, a name typed) become a step of
// their own at the next boundary, so nothing escapes the history.
//
// Every state also knows the project file it was last opened from or saved
// to, and the title naming it: undo and redo bring those back with it, so a
// save after them goes where that state belongs. The stack's clean state is
// the state last saved, opened or started afresh.
//
// The steps together hold at most memoryLimit() bytes (64 MB unless set);
// past that the oldest steps are dropped. Everything runs on the
// user-interface thread.
#include <QObject>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "app/ShowSetup.h"
#include "tracks/TakeDiff.h"

class NewSlider;
class QAction;
class QUndoStack;

namespace mk {

class TakeHistory : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 kDefaultMemoryLimit = 64LL * 1024 * 1024;

    /// How the history reads and puts back the show apart from its
    /// recordings. `write` puts back the set-up, sound and countdown; `name`
    /// the project file and the title.
    struct Show {
        std::function<ShowSetup()> read;
        std::function<void(const ShowSetup&)> write;
        std::function<void(const QString& file, const QString& title)> name;
    };

    /// `playing` tells whether the show is running (undo and redo wait).
    TakeHistory(const std::array<NewSlider*, 8>& tracks, std::function<bool()> playing, Show show,
                QObject* parent = nullptr);
    ~TakeHistory() override;

    QUndoStack& stack() const { return *m_stack; }
    /// Ctrl+Z and Ctrl+Shift+Z / Ctrl+Y; enabled only when stopped.
    QAction* undoAction() const { return m_undo; }
    QAction* redoAction() const { return m_redo; }

    /// Play: what was changed since the last step becomes a step of its own.
    /// Called before the show starts (it reads the tracks); playStarted()
    /// once it runs.
    void beginPass();
    /// The show now runs: Undo and Redo wait.
    void playStarted() { refresh(); }
    /// Stop, Rewind, the sound's end: the pass becomes one step, unless it
    /// moved no position (a play without a sound only grows the tracks).
    void endPass();
    /// After a scrub: a pass whose clock has stopped is over.
    void endPassIfStopped();
    /// A step named `text` for all a command changed: frames, track lengths,
    /// set-up, sound, countdown. Nothing changed, no step.
    void commit(const QString& text);
    /// What was changed since the last step (recorded while scrubbing, set
    /// up, typed) becomes a step of its own, before a command or a save.
    void commitPending();

    /// The show as it is now is the one in the current project file: the
    /// state is labelled with that file and title, and counts as unchanged.
    void markClean();
    /// The state is labelled with the current project file and title, as
    /// after a save of its settings only; whether it is unchanged stays.
    void markFile();
    /// Forgets every step: the history starts from the show as it is, unchanged.
    void restart();
    /// The show differs from the one last saved, opened or started.
    bool isModified() const;
    /// Tells modifiedChanged when isModified() has changed since last told.
    void checkModified();

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
    void modifiedChanged(bool modified);

private:
    class Step;
    struct Label {
        QString file;
        QString title;
    };
    struct StepData {
        QString text;
        std::vector<takes::TrackChange> changes;
        /// Only when the set-up, sound or countdown changed.
        std::shared_ptr<const ShowSetup> setupBefore;
        std::shared_ptr<const ShowSetup> setupAfter;
        Label before;
        Label after;
        qint64 bytes = 0;
    };
    bool collect(std::vector<takes::TrackChange>& changes) const;
    /// A step for what changed since the last one; with `positionsOnly` a
    /// change of lengths alone is taken as the new starting point instead.
    void commitChanges(const QString& text, bool positionsOnly);
    void push(std::shared_ptr<StepData> data);
    void apply(const StepData& data, bool undo);
    void rebase();
    Label currentLabel() const;
    void relabel(const Label& label);
    void enforceLimit();
    StepData* stepAt(int index) const;

    std::array<NewSlider*, 8> m_tracks;
    std::function<bool()> m_playing;
    Show m_show;
    std::array<takes::Snapshot, 8> m_base;
    ShowSetup m_baseSetup;
    QUndoStack* m_stack = nullptr;
    QAction* m_undo = nullptr;
    QAction* m_redo = nullptr;
    qint64 m_limit = kDefaultMemoryLimit;
    bool m_silent = false; ///< pushing a step whose change is already made
    bool m_inPass = false;
    bool m_toldModified = false;
};

} // namespace mk
