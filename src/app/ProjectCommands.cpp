// The File menu's project commands: Save Project, Save Project As, Save
// Settings Only, Open Project and New Project. The bytes are the business of
// ProjectFile; this file asks the user, shows progress and reports failures.
#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QScopeGuard>
#include <QToolButton>
#include <array>

#include "app/Dialogs.h"
#include "app/TakeHistory.h"
#include "app/mainForm.h"
#include "export/CdAudio.h"
#include "platform/Rounding.h"
#include "project/ProjectFile.h"
#include "sound/graphWindow.h"
#include "timing/SMTPtimer.h"
#include "timing/countdownTimer.h"
#include "tracks/NewSlider.h"
#include "tracks/SetupServo.h"

namespace project = mk::project;

namespace {

const QString kCR = QString(QChar(13));

/// Offers the project's own name once it has one.
mk::FileDialogRequest saveRequest(const QString& currentFile)
{
    const QString name = currentFile == project::notPreviouslySaved() ? QStringLiteral("Untitled.pjt")
                                                                       : QFileInfo(currentFile).fileName();
    return {QStringLiteral("Save Project As"), QStringLiteral("Project Files  *.pjt|*.pjt|All Files  *.*|*.*"),
            name};
}

/// The dialog's default extension: a name typed without one gets ".pjt".
QString withDefaultExtension(const QString& path)
{
    return QFileInfo(path).suffix().isEmpty() ? path + QStringLiteral(".pjt") : path;
}

/// Repaints at most this often while saving; the labels are not worth more.
constexpr qint64 kRepaintMs = 30;

} // namespace

std::array<NewSlider*, 8> mainForm::tracks() const { return m_sliders; }

void mainForm::setBusy(bool busy)
{
    // The window keeps repainting while a file is written or read, but nothing
    // may start meanwhile: no menu command, no transport, no close.
    m_busy = busy;
    menuBar()->setEnabled(!busy);
    for (QToolButton* b : {m_play, m_stop, m_rewind})
        b->setEnabled(!busy);
}

void mainForm::unloadProgress()
{
    if (m_progress) {
        m_progress->hide();
        delete m_progress;
    }
}

void mainForm::reportError(const QString& sentence, const QString& title, const project::Error& error)
{
    reportFailure(sentence, title,
                  std::make_exception_ptr(mk::RuntimeError(error.number, error.description.toStdString())));
}

void mainForm::tellSoundNameCut()
{
    m_services.dialogs.message(
        QStringLiteral("The sound file's path is longer than 255 characters and was saved cut short.") + kCR
            + QStringLiteral("When this project is opened you will be asked to locate the sound."),
        mk::applicationTitle(), mk::MessageButtons::Ok, mk::MessageIcon::Exclamation);
}

bool mainForm::saveProject()
{
    if (m_busy)
        return false;
    if (currentProjectFile == project::notPreviouslySaved())
        return saveProjectAs();
    return saveShow(&NewSlider::datalength, false, [this] { return std::optional<QString>(currentProjectFile); });
}

bool mainForm::saveProjectAs()
{
    if (m_busy)
        return false;
    return saveShow(&NewSlider::maxframe, true, [this]() -> std::optional<QString> {
        const auto chosen = m_services.dialogs.saveFile(inShowFolder(saveRequest(currentProjectFile)));
        if (!chosen)
            return std::nullopt;
        rememberFolder(*chosen);
        const QString path = withDefaultExtension(*chosen);
        m_lastProjectDialogName = path;
        return path;
    });
}

bool mainForm::saveShow(qint32 (NewSlider::*length)() const, bool saveAs,
                        const std::function<std::optional<QString>()>& choosePath)
{
    const QString sentence = QStringLiteral("There was an error while saving.");
    // The state saved is a step of the history, so that it can be told unchanged.
    m_takes->commitPending();
    try {
        const qint32 frames = project::lastFrame<NewSlider>(tracks(), lastServoIndex, length);
        if (frames == 0)
            return saveWholeSettings();
        // Destroyed before a handler below runs, so a failure is reported with
        // the progress window gone and the commands back.
        const auto done = qScopeGuard([this] {
            unloadProgress();
            setBusy(false);
        });
        setBusy(true);
        showSaveProgress();
        const std::optional<QString> path = choosePath();
        // Only a file that was written becomes the project's: after a failure
        // the next Save Project goes where the last one went.
        if (!path || !writeProject(*path, frames, saveAs, sentence))
            return false;
        if (saveAs) {
            setTitleName(QFileInfo(*path).fileName());
            currentProjectFile = *path;
        }
        m_takes->markClean();
        noteRecentProject(*path);
        return true;
    } catch (...) {
        reportFailure(sentence, QStringLiteral("Save Error"), std::current_exception());
        return false;
    }
}

bool mainForm::saveSettingsOnly()
{
    if (m_busy)
        return false;
    const QString sentence = QStringLiteral("There was an error while Saving.");
    try {
        const QString sound = m_graph->cFileName();
        setBusy(true);
        const auto chosen = m_services.dialogs.saveFile(inShowFolder(saveRequest(currentProjectFile)));
        if (!chosen) {
            setBusy(false);
            return false;
        }
        rememberFolder(*chosen);
        const QString path = withDefaultExtension(*chosen);
        m_lastProjectDialogName = path;
        const auto tracks = this->tracks();
        const project::Project p = project::settingsSnapshot<NewSlider>(
            tracks, lastServoIndex, sound, m_countdown->duration(), m_countdown->enabled());
        const project::WriteResult r = project::saveFile(path, p);
        setBusy(false);
        if (!r.ok) {
            reportError(sentence, QStringLiteral("Save Error"), r.error);
            return false;
        }
        currentProjectFile = path;
        m_takes->markFile();
        if (r.soundNameCut)
            tellSoundNameCut();
        return true;
    } catch (...) {
        setBusy(false);
        reportFailure(sentence, QStringLiteral("Save Error"), std::current_exception());
        return false;
    }
}

bool mainForm::saveWholeSettings()
{
    if (!saveSettingsOnly())
        return false;
    // No frame recorded: the settings are all there is of the show.
    m_takes->markClean();
    return true;
}

void mainForm::showSaveProgress()
{
    ::convertAudio* d = convertAudio();
    d->fileLabel()->clear();
    d->setWindowTitle(QStringLiteral("Saving Project"));
    d->stageLabel()->setText(QStringLiteral("Saving Servo 0's Data"));
    d->ProgressBar()->setValue(0);
    d->percentLabel()->setText(QStringLiteral("0.00%"));
    d->show();
}

bool mainForm::writeProject(const QString& path, qint32 frames, bool endMarker, const QString& sentence)
{
    const auto tracks = this->tracks();
    project::Project p = project::snapshot<NewSlider>(tracks, lastServoIndex, frames, m_graph->cFileName(),
                                                      m_countdown->duration(), m_countdown->enabled());
    p.hasEndMarker = endMarker;

    QElapsedTimer sinceRepaint;
    sinceRepaint.start();
    int shownTrack = 0;
    const project::WriteResult r = project::saveFile(path, p, [&](int track, qint32 k) {
        // Progress starts again for every track.
        const bool newTrack = track != shownTrack;
        if (!newTrack && k != 0 && sinceRepaint.elapsed() < kRepaintMs)
            return;
        if (m_progress) {
            if (newTrack)
                m_progress->stageLabel()->setText(QStringLiteral("Saving Servo %1's Data").arg(track));
            const double share = double(k) / frames;
            m_progress->percentLabel()->setText(mk::cd::percentText(share * 100.0));
            m_progress->ProgressBar()->setValue(mk::roundTo<int>(share * 100.0));
        }
        shownTrack = track;
        QCoreApplication::processEvents();
        sinceRepaint.restart();
    });
    if (!r.ok) {
        unloadProgress();
        reportError(sentence, QStringLiteral("Save Error"), r.error);
        return false;
    }
    if (r.soundNameCut) {
        unloadProgress();
        tellSoundNameCut();
    }
    return true;
}

void mainForm::openProject()
{
    if (m_busy)
        return;
    try {
        const auto chosen = m_services.dialogs.openFile(inShowFolder(
            {QStringLiteral("Open Project"), QStringLiteral("Project Files|*.pjt|All Files|*.*"),
             m_lastProjectDialogName}));
        if (!chosen)
            return; // the transport goes on as it was
        rememberFolder(*chosen);
        m_lastProjectDialogName = *chosen;
        openProjectFile(*chosen);
    } catch (...) {
        reportFailure(QStringLiteral("There was an error while trying to open your file."),
                      QStringLiteral("Open Error"), std::current_exception());
    }
}

mk::project::ReadResult::Status mainForm::openProjectFile(const QString& path)
{
    using Status = project::ReadResult::Status;
    if (m_busy)
        return Status::Failed;
    const QString sentence = QStringLiteral("There was an error while trying to open your file.");
    stopClicked();
    // The whole file is checked before anything is applied: a damaged file
    // changes nothing of the project that is open.
    project::ReadResult read = project::readFile(path);
    if (read.status == Status::NotAProject)
        return read.status;
    if (read.status == Status::Failed) {
        reportError(sentence, QStringLiteral("Open Error"), read.error);
        return read.status;
    }
    const project::Project& p = read.project;
    beginShowCommand();
    setBusy(true);
    try {
        setTitleName(QFileInfo(path).fileName());
        currentProjectFile = path;
        lastServoIndex = p.lastServoIndex;
        const auto tracks = this->tracks();
        project::applySetup<NewSlider>(p, tracks);

        m_graph->setcFileName(project::soundPathFor(p.soundName, path));
        // A sound that could not be found or loaded is no sound, whatever
        // the file says.
        soundLoaded = p.soundLoaded() && m_graph->cFileName() != project::noSound();

        ::convertAudio* d = convertAudio();
        d->percentLabel()->setText(QStringLiteral("0.00%"));
        d->stageLabel()->setText(QStringLiteral("Loading data for servos"));
        d->fileLabel()->clear();
        d->show();
        QCoreApplication::processEvents();
        project::applyPositions<NewSlider>(p, tracks, [this](int i) {
            if (m_progress)
                m_progress->stageLabel()->setText(QStringLiteral("Loading data for servo #%1").arg(i));
            QCoreApplication::processEvents();
        });
        unloadProgress();
        m_countdown->setDuration(p.countdownDuration);
        m_countdown->setEnabled(p.countdownEnabled);
    } catch (...) {
        unloadProgress();
        setBusy(false);
        noteShowCommand(QStringLiteral("Open Project")); // what was opened can be taken back
        reportFailure(sentence, QStringLiteral("Open Error"), std::current_exception());
        return Status::Failed;
    }
    setBusy(false);
    noteShowCommand(QStringLiteral("Open Project"));
    m_takes->markClean();
    noteRecentProject(path);
    return Status::Ok;
}

void mainForm::newProject()
{
    if (m_busy)
        return;
    const auto answer = m_services.dialogs.message(
        QStringLiteral("Creating a new project will cause all current data to be lost.") + kCR
            + QStringLiteral("Do you wish to continue?"),
        QStringLiteral("Warning"), mk::MessageButtons::YesNo, mk::MessageIcon::Exclamation);
    if (answer != mk::MessageAnswer::Yes)
        return;
    beginShowCommand();
    try {
        currentProjectFile = project::notPreviouslySaved();
        for (int i = 0; i <= lastServoIndex; ++i) {
            NewSlider* t = slider(i);
            if (!t)
                throw mk::RuntimeError::subscriptOutOfRange();
            t->clearTheArray();
            t->setPlaybackEnabled(true);
            t->setServoName(QStringLiteral("Servo Name"));
            t->setIsReversed(false);
            // The maximum again after the minimum: a track whose minimum was
            // 129 or more refuses the first, and still gets 127..129.
            t->setMaxValue(129);
            t->setMinValue(127);
            t->setMaxValue(129);
            t->setMaxframe(1);
            t->setPosition(128);
            // The channel a fresh start gives, so that ticking the joystick
            // box later behaves as it would then.
            t->setWhichJoystickChannel(0);
            t->setUsesJoystick(false);
        }
        m_clock->stopTimer();
        m_countdown->setEnabled(false);
        m_countdown->setEnabled(true);
        m_countdown->setDuration(10);
        m_graph->stopPlaying();
        m_graph->setcFileName(project::noSound());
        m_clock->setMilliseconds(0);
        soundLoaded = false;
        setTitleName(QStringLiteral("Untitled"));
        currentProjectFile = project::notPreviouslySaved();
        // The set-up dialog (created hidden if need be) shows the new set-up
        // of the track it refers to; it writes nothing and moves no servo.
        setupServo()->showTrack();
    } catch (...) {
        reportFailure(QStringLiteral("There was an error while creating a new project."), QStringLiteral("Error"),
                      std::current_exception());
        noteShowCommand(QStringLiteral("New Project"));
        return;
    }
    noteShowCommand(QStringLiteral("New Project"));
    // A new show starts unchanged, as at start-up.
    m_takes->markClean();
}
