#pragma once
// The main window: eight servo tracks, the waveform view, the frame clock,
// the loop countdown, the transport and the serial port. The transport and
// the per-frame work live in Transport.cpp.
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <array>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/Services.h"
#include "project/ProjectFile.h"

class NewSlider;
class SMTPtimer;
class countdownTimer;
class graphWindow;
class MSComm;
class QAction;
class QToolButton;
class about;
class convertAudio;
class SetupServo;
class calibrateJoystick;
class MotionLanes;
class EditTools;
class QBoxLayout;
class QMenu;
class LaneHeaders;
class ViewNavigation;

namespace mk { class SerialPorts; }
namespace mk::engine { class ShowEngine; class TrackFrames; class PostedJoystick; class FdPortWriter; class TimeBase; class HeardClock; }
namespace mk { class TakeHistory; }
namespace mk { struct ShowSetup; }
namespace mk::jaw { struct Band; }

class mainForm : public QMainWindow {
    Q_OBJECT
public:
    /// Creates the window hidden and runs its load sequence (tracks numbered
    /// and switched on, port probe).
    explicit mainForm(const mk::Services& services, QWidget* parent = nullptr);
    ~mainForm() override;

    /// The show's last track (0..7): tracks 0 to it make the frame message.
    quint8 lastTrackIndex() const { return lastServoIndex; }
    /// The project file the show was last opened from or saved to, or "not
    /// previously saved".
    const QString& projectFile() const { return currentProjectFile; }
    bool hasSound() const { return soundLoaded; }

    NewSlider* slider(int i) const;
    ::SMTPtimer* SMPTEtimer() const { return m_clock; }
    ::countdownTimer* countdownTimer() const { return m_countdown; }
    ::graphWindow* graphWindow() const { return m_graph; }
    ::MSComm* MSComm() const { return m_comm; }
    /// The show engine that runs the frames (read-outs: priority, counters).
    const mk::engine::ShowEngine& showEngine() const { return *m_engine; }
    mk::SerialPorts& ports() const { return *m_ports; }
    /// The progress dialog shared by saving, opening and the export.
    ::convertAudio* convertAudio();
    QAction* menuItem(const QString& name) const;
    /// The servo set-up dialog, created hidden when there is none (closing it
    /// unloads it).
    ::SetupServo* setupServo();
    /// The joystick calibration dialog, loaded hidden at start-up.
    ::calibrateJoystick* calibrationDialog() const { return m_calibrate; }

    // The transport.
    void playClicked();
    void stopClicked();
    void rewindClicked();
    /// Space: Stop while the clock or the countdown runs, otherwise Play.
    void spacePressed();

    // Handlers of the controls' events.
    /// Sends the frame the clock shows now, through the engine (stopped).
    void onFrameChange();
    void onScrub();
    void onSoundHasStopped();
    void onCountdownFinished();

    // Menu commands.
    void importSound();
    /// Import Sound without the file dialog (the --sound option).
    void importSoundFile(const QString& path);
    void showAbout();
    void calibrateJoystick();
    /// A track's `setup` button: fills the set-up dialog from track i, shows it.
    void setUpServo(int i);
    void quit();
    // Project commands (src/project/ProjectCommands.cpp). The saves return
    // false when nothing was saved (cancelled or failed).
    bool saveProject();
    bool saveProjectAs();
    bool saveSettingsOnly();
    void openProject();
    /// Open Project of a file already chosen (Open Recent, a drop): the
    /// same questions and reports; a file that is not a project is said so.
    void openProjectFrom(const QString& path);
    /// The projects last opened or saved, newest first (File > Open Recent).
    QStringList recentProjects() const;
    /// Open Project without the file dialog.
    mk::project::ReadResult::Status openProjectFile(const QString& path);
    /// The project named on the command line (--open): the show the program
    /// starts with, not a step to undo.
    mk::project::ReadResult::Status openStartUpProject(const QString& path);
    void newProject();
    /// A save or an open is under way: other commands do not start.
    bool isBusy() const { return m_busy; }
    /// File > Export Project for CD Playback (CdExportCommand.cpp).
    void exportToCd();
    /// Edit > Jaw from Sound: hears the sound, then opens the jaw dialog
    /// (window-modal) previewing on the servo's lane (JawFromSound.cpp).
    void jawFromSound();

    // What was recorded, shown and undoable (src/app/TakeTools.cpp).
    ::MotionLanes* motionLanes() const { return m_lanes; }
    mk::TakeHistory& takes() const { return *m_takes; }
    /// Zoom and pan of the waveform and lanes (src/app/ViewNavigation.cpp).
    ::ViewNavigation* navigation() const { return m_navigation; }
    ::LaneHeaders* laneHeaders() const { return m_laneHeaders; }
    /// Selections and the edits of the Edit menu (src/app/EditTools.cpp).
    ::EditTools& editTools() const { return *m_edits; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildMenus();
    void buildControls();
    /// Shortcuts, Open Recent, drops, the lanes' headers and zoom and pan
    /// (src/app/DesktopComforts.cpp).
    void buildComforts();
    void noteRecentProject(const QString& path);
    void refreshRecentMenu();
    void load();
    void refreshPortItems();
    /// Import Sound once a file is chosen; throws mk::RuntimeError.
    void loadSound(const QString& path);
    /// The file to load for the sound at `path`: itself, or its conversion
    /// (made now with the progress dialog and Cancel, or an earlier one).
    /// Nothing when cancelled or unreadable, the user having been told why.
    std::optional<QString> prepareSound(const QString& path, bool* cancelled = nullptr);
    /// The sound's level per frame off the interface thread, with the
    /// progress dialog and Cancel; nothing when cancelled or unreadable.
    std::optional<std::vector<float>> hearSound(qint32 frames, const mk::jaw::Band& band);
    /// Asks before a sound ending at `lastFrame` cuts recorded positions off
    /// the tracks; true when nothing would be lost or the user agrees.
    bool confirmShortening(qint32 lastFrame);
    /// Gives every track the frame, then writes the 24-byte frame message,
    /// through the engine and waiting for it: for a stopped show only.
    /// Throws mk::RuntimeError when a track fails.
    void sendFrame(qint32 frame);
    /// The engine that runs the frames, the port it writes to, the sound it follows.
    void buildEngine();
    /// The tracks go to the engine for a show: the sliders' moves are posted
    /// to it, and the window shows what it publishes.
    void beginShowRun();
    /// The engine has stopped: the tracks are the window's again.
    void endShowRun();
    /// What the engine published: frame updates, failures.
    void onPublished();
    /// The joystick is read here and its reading posted to the engine.
    void postJoystick();
    /// Failures the engine reported; the first failed frame, if any, is
    /// returned rather than shown.
    std::optional<std::pair<int, QString>> takeEngineEvents(bool returnFrameError);
    void reportFailure(const QString& sentence, const QString& title, int number, const QString& description);
    /// Shows "sentence" CR number blank description under `title`. While one
    /// such message is up, further failures are not stacked on top of it.
    void reportFailure(const QString& sentence, const QString& title, std::exception_ptr error);
    /// Asks "Save before quitting?" and saves on Yes; false: stay open.
    bool confirmQuit();
    /// A file dialog opening in the project's folder, else in the folder a
    /// file was last chosen in (kept for the next start); a request that
    /// names a folder itself keeps it.
    mk::FileDialogRequest inShowFolder(mk::FileDialogRequest request) const;
    /// Keeps the folder of a file chosen in a dialog.
    void rememberFolder(const QString& chosen);

    // Project commands' helpers (src/project/ProjectCommands.cpp).
    std::array<NewSlider*, 8> tracks() const;
    void setBusy(bool busy);
    /// Save Settings Only for a show with no frame recorded: all of it saved.
    bool saveWholeSettings();
    void showSaveProgress();
    void unloadProgress();
    bool writeProject(const QString& path, qint32 frames, bool endMarker, const QString& sentence);
    /// Save Project and Save Project As: the show up to the longest track
    /// (by `length`) written, with the progress window up, to the file
    /// `choosePath` names (nothing: cancelled); Save As writes the end marker
    /// and makes the file the project's. False when nothing was saved.
    bool saveShow(qint32 (NewSlider::*length)() const, bool saveAs,
                  const std::function<std::optional<QString>()>& choosePath);
    void reportError(const QString& sentence, const QString& title, const mk::project::Error& error);
    void tellSoundNameCut();
    /// The motion lanes under the waveform, the undo history and its buttons.
    void buildTakeTools(QBoxLayout* column, QBoxLayout* transport);
    /// Open Project, New Project, Import Sound: what was changed so far
    /// becomes a step first, then one undo step for all the command changed.
    void beginShowCommand();
    void noteShowCommand(const QString& text);
    mk::ShowSetup showSetup() const;
    /// Puts back the set-up, sound and countdown (not the file and title).
    void restoreShowSetup(const mk::ShowSetup& s);
    /// "MarionetteKit - " and the name, with the mark for unsaved changes.
    void setTitleName(const QString& name);
    /// Soon, whether the show now differs from the one saved.
    void checkModifiedSoon();

    quint8 lastServoIndex = 7;
    QString currentProjectFile;
    bool soundLoaded = false;

    mk::Services m_services;
    std::array<NewSlider*, 8> m_sliders{};
    ::SMTPtimer* m_clock = nullptr;
    ::countdownTimer* m_countdown = nullptr;
    ::graphWindow* m_graph = nullptr;
    ::MSComm* m_comm = nullptr;
    mk::SerialPorts* m_ports = nullptr;
    QToolButton* m_play = nullptr;
    QToolButton* m_stop = nullptr;
    QToolButton* m_rewind = nullptr;
    std::array<QAction*, 4> m_comItems{};
    QPointer<::about> m_about;
    QPointer<::convertAudio> m_progress;
    QPointer<::SetupServo> m_setupServo;
    ::calibrateJoystick* m_calibrate = nullptr;
    bool m_reporting = false;
    bool m_quitting = false;
    bool m_busy = false;
    /// The name the shared file dialog last held, offered again by Open.
    QString m_lastProjectDialogName;
    ::MotionLanes* m_lanes = nullptr;
    mk::TakeHistory* m_takes = nullptr;
    ::EditTools* m_edits = nullptr;
    bool m_modifiedCheckQueued = false;
    ::ViewNavigation* m_navigation = nullptr;
    ::LaneHeaders* m_laneHeaders = nullptr;
    QMenu* m_recentMenu = nullptr;

    // Destroyed first (declared last): the engine lets go of the tracks, the
    // joystick and the port before they go.
    std::unique_ptr<mk::engine::PostedJoystick> m_postedJoystick;
    std::unique_ptr<mk::engine::TimeBase> m_engineTime;
    std::unique_ptr<mk::engine::HeardClock> m_heard;
    std::unique_ptr<mk::engine::TrackFrames> m_frames;
    std::unique_ptr<mk::engine::FdPortWriter> m_portWriter;
    std::unique_ptr<mk::engine::ShowEngine> m_engine;
};
