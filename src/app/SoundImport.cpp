// Import Sound: load a sound (converted when the view cannot read it as it
// is) as the project's sound and size every track to the
// sound's length in frames (30 a second).
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "app/Dialogs.h"
#include "app/mainForm.h"
#include "export/CdAudio.h"
#include "platform/Rounding.h"
#include "project/ProjectFile.h"
#include "sound/SoundConverter.h"
#include "sound/graphWindow.h"
#include "tracks/NewSlider.h"
#include "tracks/ServoTrack.h"

namespace {
const QString kNoSound = QStringLiteral("noSound");
}

void mainForm::importSound()
{
    try {
        stopClicked();
        const auto path = m_services.dialogs.openFile(inShowFolder(
            {QStringLiteral("Import Sound"), QStringLiteral("Wave Audio Files  *.wav|*.wav|All Files|*.*"),
             QStringLiteral("Sound.wav")}));
        if (!path)
            return; // cancelled: sound and tracks stay as they were
        rememberFolder(*path);
        loadSound(*path);
    } catch (...) {
        reportFailure(QStringLiteral("There was an error while importing your sound."), QStringLiteral("Import Error"),
                      std::current_exception());
    }
}

void mainForm::importSoundFile(const QString& path)
{
    try {
        stopClicked();
        loadSound(path);
    } catch (...) {
        reportFailure(QStringLiteral("There was an error while importing your sound."), QStringLiteral("Import Error"),
                      std::current_exception());
    }
}

namespace {

/// The last frame of a sound of `ms` (30 frames a second).
qint32 lastFrameOf(qint32 ms)
{
    return mk::roundTo<qint32>(ms * 0.03);
}

} // namespace

bool mainForm::confirmShortening(qint32 lastFrame)
{
    bool loses = false;
    for (int i = 0; i <= lastServoIndex && !loses; ++i) {
        const mk::ServoTrack& t = slider(i)->track();
        for (qint32 f = lastFrame + 1; f <= t.datalength() && !loses; ++f)
            loses = t.at(f) != 0;
    }
    if (!loses)
        return true;
    const QChar cr(13);
    const QString text = QStringLiteral("Importing this sound will shorten the tracks to %1 frames.").arg(lastFrame)
        + cr + QStringLiteral("Recorded positions after that will be lost.") + cr
        + QStringLiteral("Do you wish to continue?");
    return m_services.dialogs.message(text, QStringLiteral("Import Sound"), mk::MessageButtons::YesNo,
                                      mk::MessageIcon::Exclamation)
        == mk::MessageAnswer::Yes;
}

std::optional<QString> mainForm::prepareSound(const QString& path, bool* cancelled)
{
    using Status = mk::sound::Prepared::Status;
    const bool saved = !currentProjectFile.isEmpty() && currentProjectFile != mk::project::notPreviouslySaved();
    const QString folder = saved ? QFileInfo(currentProjectFile).absolutePath() : QString();
    ::convertAudio* dialog = nullptr;
    const mk::sound::Prepared p = mk::sound::prepare(path, folder, [&](double fraction) {
        if (!dialog) {
            // Shown only once a conversion is under way: sounds used as they
            // are, or converted before, go by without a window.
            dialog = convertAudio();
            dialog->setWindowTitle(QStringLiteral("Converting Sound"));
            dialog->stageLabel()->setText(QStringLiteral("Converting the sound to a 16-bit WAV at 44.1 kHz"));
            dialog->fileLabel()->setText(path);
            dialog->Command1()->setVisible(true);
            dialog->show();
        }
        dialog->percentLabel()->setText(mk::cd::percentText(fraction * 100));
        dialog->ProgressBar()->setValue(mk::roundTo<int>(fraction * 100));
        QCoreApplication::processEvents();
        return dialog->isVisible(); // Cancel hides it
    });
    if (dialog)
        dialog->hide();
    switch (p.status) {
    case Status::AsIs:
    case Status::Reused: return p.path;
    case Status::Converted:
        m_services.dialogs.message(mk::sound::convertedMessage(path, p.path), QStringLiteral("Sound Converted"),
                                   mk::MessageButtons::Ok, mk::MessageIcon::Information);
        return p.path;
    case Status::Cancelled:
        if (cancelled)
            *cancelled = true;
        return std::nullopt;
    case Status::Refused: break;
    }
    m_services.dialogs.message(p.message, QStringLiteral("Sound Problem"), mk::MessageButtons::Ok,
                               mk::MessageIcon::Exclamation);
    return std::nullopt;
}

void mainForm::loadSound(const QString& chosen)
{
    // Converted first: a Cancel leaves the sound and the tracks as they
    // were; a file that cannot be read ends as the view's own refusals do,
    // without a sound and with the tracks as they were.
    beginShowCommand();
    QString path = chosen;
    if (QFileInfo(chosen.trimmed()).isFile()) {
        bool cancelled = false;
        const std::optional<QString> usable = prepareSound(chosen.trimmed(), &cancelled);
        if (!usable) {
            if (!cancelled) {
                m_graph->setcFileName(kNoSound);
                soundLoaded = false;
                noteShowCommand(tr("Import Sound")); // the sound that was there can come back
            }
            return;
        }
        path = *usable;
    }
    bool declined = false;
    m_graph->setcFileName(path, [&](qint32 ms) {
        declined = !confirmShortening(lastFrameOf(ms));
        return !declined;
    });
    if (declined)
        return; // the previous sound and every track as they were
    if (m_graph->cFileName() == kNoSound) {
        // The view has said what was wrong with the file and holds no sound
        // now. Sizing the tracks from a failed load would cut the recording
        // to nothing, so they stay as they are. The sound that was there is
        // gone: a step that can bring it back.
        soundLoaded = false;
        noteShowCommand(tr("Import Sound"));
        return;
    }
    // The cursor goes to the start; its scrub is handled before going on.
    m_graph->setcCurrentTimeInMilliseconds(0);
    soundLoaded = true;
    const qint32 lastFrame = lastFrameOf(m_graph->cSoundLengthInMilliseconds());
    for (int i = 0; i <= lastServoIndex; ++i)
        slider(i)->setMaxframe(lastFrame);
    // Every change of sound is a step, with the track lengths it gave.
    noteShowCommand(tr("Import Sound"));
}
