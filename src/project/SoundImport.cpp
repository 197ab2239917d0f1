// Import Sound: load a WAV as the project's sound and size every track to the
// sound's length in frames (30 a second).
#include "app/mainForm.h"
#include "platform/Rounding.h"
#include "sound/graphWindow.h"
#include "tracks/NewSlider.h"

namespace {
const QString kNoSound = QStringLiteral("noSound");
}

void mainForm::importSound()
{
    try {
        stopClicked();
        const auto path = m_services.dialogs.openFile(
            {QStringLiteral("Import Sound"), QStringLiteral("Wave Audio Files  *.wav|*.wav|All Files|*.*"),
             QStringLiteral("Sound.wav")});
        if (!path)
            return; // cancelled: sound and tracks stay as they were
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

void mainForm::loadSound(const QString& path)
{
    m_graph->setcFileName(path);
    if (m_graph->cFileName() == kNoSound) {
        // The view has said what was wrong with the file and holds no sound
        // now. Sizing the tracks from a failed load would cut the recording
        // to nothing, so they stay as they are.
        soundLoaded = false;
        return;
    }
    // The cursor goes to the start; its scrub is handled before going on.
    m_graph->setcCurrentTimeInMilliseconds(0);
    soundLoaded = true;
    const qint32 lastFrame = mk::roundTo<qint32>(m_graph->cSoundLengthInMilliseconds() * 0.03);
    for (int i = 0; i <= lastServoIndex; ++i)
        slider(i)->setMaxframe(lastFrame);
}
