// File > Export Project for CD Playback: the window's side of the export. The
// file is written by mk::cd::exportForCd, which the command line runs too.
#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>

#include "app/Dialogs.h"
#include "app/mainForm.h"
#include "export/CdExport.h"
#include "platform/Rounding.h"
#include "project/OpenedShow.h"
#include "timing/countdownTimer.h"
#include "sound/graphWindow.h"
#include "tracks/NewSlider.h"

namespace {

/// The progress dialog as the export sees it: Cancel hides the dialog, and
/// the window's events are served whenever the percentage moves.
class DialogProgress : public mk::cd::Progress {
public:
    explicit DialogProgress(convertAudio* dialog) : m_dialog(dialog) {}
    void stage(const QString& text) override { m_dialog->stageLabel()->setText(text); }
    void percent(double value) override
    {
        m_dialog->percentLabel()->setText(mk::cd::percentText(value));
        m_dialog->ProgressBar()->setValue(int(mk::roundHalfEven(value)));
        QCoreApplication::processEvents();
    }
    bool cancelled() override { return !m_dialog->isVisible(); }

private:
    convertAudio* m_dialog;
};

} // namespace

void mainForm::exportToCd()
{
    // Hiding the window moves its focus; without this it comes back in a
    // check box or a name box, where Space no longer plays.
    const QPointer<QWidget> focused = focusWidget();
    auto comeBack = [this, &focused] {
        show();
        if (focused)
            focused->setFocus();
        else
            setFocus();
    };
    try {
        stopClicked();
        const QString sound = m_graph->cFileName();
        auto tell = [this](const mk::cd::Message& m) {
            m_services.dialogs.message(m.text, m.title, m.buttons, m.icon);
        };
        if (sound == QLatin1String("noSound")) {
            tell(mk::cd::noSoundMessage());
            return;
        }
        auto chosen = m_services.dialogs.saveFile({QStringLiteral("Export for CD playback"),
                                                   QStringLiteral("Wave audio  *.wav|*.wav|All Files  *.*|*.*"),
                                                   QStringLiteral("untitled.wav")});
        if (!chosen)
            return; // nothing written, nothing said
        QString cdPath = *chosen;
        if (QFileInfo(cdPath).suffix().isEmpty())
            cdPath += QStringLiteral(".wav"); // the dialog's default extension

        ::convertAudio* dialog = convertAudio();
        dialog->fileLabel()->setText(cdPath);
        dialog->setWindowTitle(QStringLiteral("Converting For CD Playback"));
        dialog->stageLabel()->setText(QStringLiteral("Resampling Audio File"));
        dialog->percentLabel()->setText(QStringLiteral("0.00%"));
        dialog->ProgressBar()->setValue(0);
        dialog->Command1()->setVisible(true);
        dialog->show();
        // The progress dialog is the only window while the export runs.
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w != dialog && w->isVisible())
                w->hide();

        // The export plays the show as a freshly opened project would, on
        // tracks of its own: where the sliders were left, what was played
        // or dragged before, never reaches the file, and the window's tracks
        // stay as they are. The file's own round trip makes the positions
        // exactly those export-cd reads from the saved project.
        const auto windowTracks = tracks();
        const qint32 lastFrame =
            mk::project::lastFrame<NewSlider>(windowTracks, lastServoIndex, &NewSlider::maxframe);
        const mk::project::ReadResult saved = mk::project::read(mk::project::encode(mk::project::snapshot<NewSlider>(
            windowTracks, lastServoIndex, lastFrame, sound, m_countdown->duration(), m_countdown->enabled())));
        if (saved.status != mk::project::ReadResult::Status::Ok)
            throw mk::RuntimeError(saved.error.number, saved.error.description.toStdString());
        const mk::project::OpenedShow show(saved.project);
        const auto showTracks = show.tracks();
        DialogProgress progress(dialog);
        const auto result = mk::cd::exportForCd(
            sound, cdPath, show.lastFrame(), [showTracks](qint32 f) { return mk::cd::frameMessage(showTracks, f); },
            progress);

        if (result.message)
            tell(*result.message);
        dialog->hide();
        comeBack();
        // A finished export is otherwise silent: say so, and where the file is.
        if (result.status == mk::cd::ExportResult::Status::Complete && !result.message)
            m_services.dialogs.message(QStringLiteral("The show was exported for CD playback to") + QChar(13)
                                           + QFileInfo(cdPath).absoluteFilePath(),
                                       QStringLiteral("Export for CD playback"), mk::MessageButtons::Ok,
                                       mk::MessageIcon::Information);
    } catch (...) {
        if (m_progress)
            m_progress->hide();
        comeBack();
        reportFailure(QStringLiteral("There was an error while exporting."), QStringLiteral("Export Error"),
                      std::current_exception());
    }
}
