// The main window's view of what was recorded: the motion lanes under the
// waveform with the check box that shows or hides them (kept between runs),
// and undo and redo of takes with their buttons beside the transport.
#include <QAction>
#include <QBoxLayout>
#include <QCheckBox>
#include <QSettings>
#include <QTimer>
#include <QToolButton>

#include "app/MotionLanes.h"
#include "app/ShowSetup.h"
#include "app/TakeHistory.h"
#include "app/mainForm.h"
#include "platform/Dialogs.h"
#include "sound/graphWindow.h"
#include "timing/SMTPtimer.h"
#include "timing/countdownTimer.h"
#include "tracks/NewSlider.h"

namespace {
const QString kNoSound = QStringLiteral("noSound");
const QString kLanesShownKey = QStringLiteral("view/motionLanesShown");

QSettings settings()
{
    return QSettings(QStringLiteral("MarionetteKit"), QStringLiteral("MarionetteKit"));
}
} // namespace

void mainForm::buildTakeTools(QBoxLayout* column, QBoxLayout* transport)
{
    m_lanes = new ::MotionLanes(m_graph, m_sliders, m_clock, m_graph->parentWidget());
    column->insertWidget(column->indexOf(m_graph) + 1, m_lanes);

    m_takes = new mk::TakeHistory(
        m_sliders, [this] { return m_clock->isItRunning() || m_countdown->isItRunning(); },
        {[this] { return showSetup(); }, [this](const mk::ShowSetup& s) { restoreShowSetup(s); },
         [this](const QString& file, const QString& title) {
             currentProjectFile = file;
             setWindowTitle(title);
         }},
        this);
    connect(m_takes, &mk::TakeHistory::tracksChanged, m_lanes, &::MotionLanes::resync);
    connect(m_takes, &mk::TakeHistory::modifiedChanged, this, &QWidget::setWindowModified);
    // Scrubbing with a sound stops the clock: that ends the pass.
    connect(m_graph, &::graphWindow::scrub, m_takes, &mk::TakeHistory::endPassIfStopped);
    // Window-wide keys, not menu items: the menus stay as they are. A text
    // box keeps Ctrl+Z for its own text.
    addAction(m_takes->undoAction());
    addAction(m_takes->redoAction());

    int at = transport->indexOf(m_stop) + 1;
    transport->insertSpacing(at++, 12);
    for (QAction* a : {m_takes->undoAction(), m_takes->redoAction()}) {
        auto* b = new QToolButton(m_lanes->parentWidget());
        b->setObjectName(a->objectName() + QStringLiteral("Button"));
        b->setDefaultAction(a);
        b->setIconSize(QSize(32, 32));
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        transport->insertWidget(at++, b);
    }
    auto* shown = new QCheckBox(tr("Lanes"), m_lanes->parentWidget());
    shown->setObjectName(QStringLiteral("motionLanesShown"));
    shown->setToolTip(tr("Show each servo's recorded motion under the waveform"));
    shown->setFocusPolicy(Qt::NoFocus);
    transport->insertSpacing(at++, 12);
    transport->insertWidget(at++, shown);
    const bool on = settings().value(kLanesShownKey, true).toBool();
    shown->setChecked(on);
    m_lanes->setVisible(on);
    connect(shown, &QCheckBox::toggled, this, [this](bool visible) {
        m_lanes->setVisible(visible);
        settings().setValue(kLanesShownKey, visible);
    });
}

void mainForm::setTitleName(const QString& name)
{
    // [*]: the platform's mark for unsaved changes, shown while there are some.
    setWindowTitle(QStringLiteral("MarionetteKit - %1[*]").arg(name));
}

void mainForm::checkModifiedSoon()
{
    // Set-up and countdown changes come from the user's clicks and keys; look
    // once the event that made them has been handled.
    if (m_modifiedCheckQueued)
        return;
    m_modifiedCheckQueued = true;
    QTimer::singleShot(0, this, [this] {
        m_modifiedCheckQueued = false;
        m_takes->checkModified();
    });
}

mk::project::ReadResult::Status mainForm::openStartUpProject(const QString& path)
{
    const auto status = openProjectFile(path);
    // The show the program starts with is where the history begins: undo
    // does not empty it.
    if (status == mk::project::ReadResult::Status::Ok)
        m_takes->restart();
    return status;
}

mk::ShowSetup mainForm::showSetup() const
{
    mk::ShowSetup s;
    for (int i = 0; i < int(s.tracks.size()); ++i) {
        const mk::ServoTrack& t = slider(i)->track();
        s.tracks[size_t(i)] = {t.nameBoxText(), t.minValue(), t.maxValue(), t.isReversed(), t.playbackSwitch(),
                               t.activeChecked(), t.usesJoystick(), t.whichJoystickChannel(), t.position()};
    }
    s.lastServoIndex = lastServoIndex;
    s.sound = m_graph->cFileName();
    s.soundLoaded = soundLoaded;
    s.countdownDuration = m_countdown->duration();
    s.countdownEnabled = m_countdown->enabled();
    s.projectFile = currentProjectFile;
    s.title = windowTitle();
    return s;
}

void mainForm::restoreShowSetup(const mk::ShowSetup& s)
{
    for (int i = 0; i < int(s.tracks.size()); ++i) {
        const mk::ShowSetup::Track& r = s.tracks[size_t(i)];
        NewSlider* t = slider(i);
        t->setServoName(r.name);
        // Through a maximum above any minimum, so that the guards take both.
        t->setMaxValue(32767);
        t->setMinValue(r.minValue);
        t->setMaxValue(r.maxValue);
        t->setIsReversed(r.reversed);
        t->setPlaybackEnabled(r.playbackSwitch);
        if (auto* box = t->findChild<QCheckBox*>(QStringLiteral("Active")))
            box->setChecked(r.activeChecked);
        t->setWhichJoystickChannel(r.channel);
        t->setUsesJoystick(r.usesJoystick);
        t->setPosition(r.position);
    }
    lastServoIndex = s.lastServoIndex;
    if (s.sound != m_graph->cFileName()) {
        try {
            m_graph->setcFileName(s.sound);
        } catch (...) {
            reportFailure(QStringLiteral("There was an error while importing your sound."),
                          QStringLiteral("Import Error"), std::current_exception());
        }
    }
    soundLoaded = s.soundLoaded && m_graph->cFileName() != kNoSound;
    m_countdown->setDuration(s.countdownDuration);
    m_countdown->setEnabled(s.countdownEnabled);
}

void mainForm::beginShowCommand()
{
    // What was changed before the command is a step of its own.
    m_takes->commitPending();
}

void mainForm::noteShowCommand(const QString& text)
{
    m_takes->commit(text);
}
