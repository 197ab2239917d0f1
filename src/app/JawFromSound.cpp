// Edit > Jaw from Sound: the sound heard once per voice band off the
// interface thread, the jaw previewed by writing it into the servo's track
// (so the lane draws exactly what Apply keeps), and Apply made one undo step.
// Cancel puts back every position the preview touched.
#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>

#include <atomic>
#include <memory>
#include <thread>

#include "app/Dialogs.h"
#include "app/JawDialog.h"
#include "app/MotionLanes.h"
#include "app/TakeHistory.h"
#include "app/mainForm.h"
#include "export/CdAudio.h"
#include "sound/JawAnalysis.h"
#include "sound/SoundConverter.h"
#include "sound/graphWindow.h"
#include "tracks/NewSlider.h"

std::optional<std::vector<float>> mainForm::hearSound(qint32 frames, const mk::jaw::Band& band)
{
    const QString sound = m_graph->cFileName();
    std::atomic<double> done{0};
    std::atomic<bool> stop{false}, finished{false};
    mk::jaw::Levels levels;
    std::thread worker([&] {
        levels = mk::jaw::analyse(sound, frames, band, [&](double f) {
            done = f;
            return !stop;
        });
        finished = true;
    });
    ::convertAudio* dialog = convertAudio();
    const Qt::WindowModality modality = dialog->windowModality();
    // Above the jaw dialog, whose Cancel it must not block.
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->setWindowTitle(tr("Jaw from Sound"));
    dialog->stageLabel()->setText(tr("Listening to the sound"));
    dialog->fileLabel()->setText(sound);
    dialog->Command1()->setVisible(true);
    dialog->ProgressBar()->setValue(0);
    dialog->show();
    while (!finished) {
        dialog->percentLabel()->setText(mk::cd::percentText(done * 100));
        dialog->ProgressBar()->setValue(int(done * 100));
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (!dialog->isVisible())
            stop = true;
        QThread::msleep(10);
    }
    worker.join();
    dialog->hide();
    dialog->setWindowModality(modality);
    if (levels.cancelled)
        return std::nullopt;
    if (!levels.error.isEmpty()) {
        m_services.dialogs.message(mk::sound::unreadableMessage(sound, levels.error), tr("Jaw from Sound"),
                                   mk::MessageButtons::Ok, mk::MessageIcon::Exclamation);
        return std::nullopt;
    }
    return std::move(levels.db);
}

void mainForm::jawFromSound()
{
    if (m_busy)
        return;
    stopClicked();
    if (!soundLoaded || m_graph->cFileName() == mk::project::noSound()) {
        m_services.dialogs.message(tr("Jaw from Sound makes a jaw move with the voice in the sound, and there is "
                                      "no sound yet.")
                                       + QChar(13) + tr("Please import a sound first (File > Import Sound)."),
                                   tr("Jaw from Sound"), mk::MessageButtons::Ok, mk::MessageIcon::Exclamation);
        return;
    }
    // Frames the sound covers, as the tracks were sized to it.
    qint32 lastFrame = slider(0)->maxframe();
    for (int i = 0; i <= lastServoIndex; ++i)
        lastFrame = std::min(lastFrame, slider(i)->track().datalength());
    const mk::jaw::Band startBand;
    std::optional<std::vector<float>> heard = hearSound(lastFrame + 1, startBand);
    if (!heard)
        return;
    // What was recorded before is a step of its own: Undo after Apply takes
    // back the jaw only.
    m_takes->commit(tr("Recording"));

    QStringList names;
    for (int i = 0; i <= lastServoIndex; ++i)
        names << slider(i)->servoName();
    auto* d = new JawDialog(names, lastFrame, this);
    d->setAttribute(Qt::WA_DeleteOnClose);

    struct State {
        std::vector<float> db;
        mk::jaw::Band band;
        int servo = -1;       ///< the track the preview wrote into
        qint32 from = 0;
        std::vector<qint16> saved; ///< its positions from `from` before the preview
    };
    auto state = std::make_shared<State>();
    state->db = std::move(*heard);
    state->band = startBand;

    auto restore = [this, state] {
        if (state->servo < 0)
            return;
        NewSlider* t = slider(state->servo);
        t->setDataStartPoint(state->from);
        for (qint16 v : state->saved)
            t->setData(v);
        state->servo = -1;
        state->saved.clear();
    };
    auto preview = [this, d, state, restore] {
        restore();
        const JawDialog::Values v = d->values();
        d->showAutomatic(mk::jaw::automaticLevels(state->db));
        NewSlider* t = slider(v.servo);
        const std::vector<qint16> jaw = mk::jaw::positions(state->db, v.shape, t->minValue(), t->maxValue());
        state->servo = v.servo;
        state->from = v.from;
        t->setDataStartPoint(v.from);
        for (qint32 f = v.from; f <= v.to && f < qint32(jaw.size()); ++f)
            state->saved.push_back(t->data());
        t->setDataStartPoint(v.from);
        for (qint32 f = v.from; f <= v.to && f < qint32(jaw.size()); ++f)
            t->setData(jaw[size_t(f)]);
        m_lanes->resync();
    };
    connect(d, &JawDialog::shapeChanged, this, preview);
    connect(d, &JawDialog::bandChanged, this, [this, d, state, preview, lastFrame] {
        const mk::jaw::Band band = d->values().band;
        if (band == state->band)
            return;
        std::optional<std::vector<float>> again = hearSound(lastFrame + 1, band);
        if (!again) {
            d->setBand(state->band);
            return;
        }
        state->db = std::move(*again);
        state->band = band;
        preview();
    });
    connect(d, &JawDialog::silenceAsked, this, [d, state] {
        const auto [first, last] = d->silence();
        const mk::jaw::Range automatic = mk::jaw::automaticLevels(state->db);
        const double threshold = mk::jaw::thresholdFromSilence(state->db, first, last);
        d->setLevels(threshold, std::max(automatic.topDb, threshold + 12));
    });
    connect(d, &QDialog::accepted, this, [this, state] {
        state->servo = -1; // kept
        m_takes->commit(tr("Jaw from Sound"));
    });
    connect(d, &QDialog::rejected, this, [this, restore] {
        restore();
        m_lanes->resync();
    });
    preview();
    d->open();
}
