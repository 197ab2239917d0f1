#include "app/mainForm.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QSettings>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/Artwork.h"
#include "app/Dialogs.h"
#include "app/EditTools.h"
#include "app/TakeHistory.h"
#include "engine/PortWriter.h"
#include "engine/ShowEngine.h"
#include "engine/TrackFrames.h"
#include "link/MSComm.h"
#include "link/SerialPorts.h"
#include "sound/graphWindow.h"
#include "timing/SMTPtimer.h"
#include "timing/countdownTimer.h"
#include "tracks/NewSlider.h"
#include "tracks/SetupServo.h"
#include "tracks/calibrateJoystick.h"

namespace {
const QString kNotSaved = QStringLiteral("not previously saved");
const QString kLastFolderKey = QStringLiteral("files/lastFolder");

QSettings settings()
{
    return QSettings(QStringLiteral("MarionetteKit"), QStringLiteral("MarionetteKit"));
}
}

mainForm::mainForm(const mk::Services& services, QWidget* parent)
    : QMainWindow(parent), m_services(services)
{
    setObjectName(QStringLiteral("mainForm"));
    setTitleName(QStringLiteral("Untitled"));
    setWindowIcon(mk::artwork::applicationIcon());
    currentProjectFile = kNotSaved;
    buildControls();
    buildMenus();
    buildComforts();
    // The window sees every key first, whichever control has the focus.
    qApp->installEventFilter(this);
    load();
    // The show as loaded is where the history starts, unchanged.
    m_takes->restart();
}

mainForm::~mainForm()
{
    qApp->removeEventFilter(this);
    // The engine goes first: nothing may reach it from here on.
    m_clock->stopTimer();
    endShowRun();
    m_comm->disconnect(this);
    m_comm->setOutputRoute({});
    m_engine->setPort(nullptr);
    m_engine->setHeardClock(nullptr);
}

void mainForm::buildControls()
{
    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);

    auto* trackRow = new QHBoxLayout;
    // The tracks read the joystick as the window last posted it to the
    // engine: the device itself is read on this thread only.
    m_postedJoystick = std::make_unique<mk::engine::PostedJoystick>();
    for (int i = 0; i < int(m_sliders.size()); ++i) {
        m_sliders[i] = new NewSlider(*m_postedJoystick, central);
        m_sliders[i]->setObjectName(QStringLiteral("slider%1").arg(i));
        trackRow->addWidget(m_sliders[i]);
        connect(m_sliders[i], &NewSlider::setupClicked, this, [this, i] { setUpServo(i); });
    }
    trackRow->addStretch();
    column->addLayout(trackRow);

    m_graph = new ::graphWindow(m_services.ticks, m_services.dialogs, m_services.sound, central);
    m_graph->setObjectName(QStringLiteral("graphWindow"));
    m_graph->setMinimumHeight(140);
    m_graph->setSoundPreparer([this](const QString& path) { return prepareSound(path); });
    column->addWidget(m_graph, 1);

    auto* bottom = new QHBoxLayout;
    auto makeButton = [&](const QString& name, const QIcon& icon, const QString& tip) {
        auto* b = new QToolButton(central);
        b->setObjectName(name);
        b->setIcon(icon);
        b->setIconSize(QSize(32, 32));
        b->setToolTip(tip);
        b->setAutoRaise(true);
        // Picture buttons: clicking must not take the focus from the control
        // the user is working in.
        b->setFocusPolicy(Qt::NoFocus);
        bottom->addWidget(b);
        return b;
    };
    m_rewind = makeButton(QStringLiteral("rewind"), mk::artwork::rewindIcon(), tr("Rewind"));
    m_play = makeButton(QStringLiteral("play"), mk::artwork::playIcon(), tr("Play (Space)"));
    m_stop = makeButton(QStringLiteral("stop"), mk::artwork::stopIcon(), tr("Stop (Space)"));
    connect(m_play, &QToolButton::clicked, this, &mainForm::playClicked);
    connect(m_stop, &QToolButton::clicked, this, &mainForm::stopClicked);
    connect(m_rewind, &QToolButton::clicked, this, &mainForm::rewindClicked);

    m_clock = new ::SMTPtimer(m_services.ticks, central);
    m_clock->setObjectName(QStringLiteral("SMPTEtimer"));
    bottom->addSpacing(12);
    bottom->addWidget(m_clock);
    m_countdown = new ::countdownTimer(m_services.ticks, central);
    m_countdown->setObjectName(QStringLiteral("countdownTimer"));
    bottom->addSpacing(12);
    bottom->addWidget(m_countdown);
    bottom->addStretch();
    auto* picture = new QLabel(central);
    picture->setObjectName(QStringLiteral("Picture1"));
    picture->setPixmap(mk::artwork::logo(48));
    bottom->addWidget(picture);
    column->addLayout(bottom);
    setCentralWidget(central);

    connect(m_countdown, &::countdownTimer::countdownFinished, this, &mainForm::onCountdownFinished);
    connect(m_graph, &::graphWindow::scrub, this, &mainForm::onScrub);
    connect(m_graph, &::graphWindow::soundHasStopped, this, &mainForm::onSoundHasStopped);

    m_comm = new ::MSComm(this);
    m_comm->setObjectName(QStringLiteral("MSComm"));
    m_comm->setDevicePaths(m_services.portPaths.isEmpty() ? ::MSComm::defaultDevicePaths() : m_services.portPaths);
    m_ports = new mk::SerialPorts(*m_comm, m_services.dialogs, this);
    connect(m_ports, &mk::SerialPorts::itemsChanged, this, &mainForm::refreshPortItems);
    buildEngine();
    buildTakeTools(column, bottom);
}

void mainForm::buildMenus()
{
    auto add = [](QMenu* menu, const QString& name, const QString& caption) {
        QAction* a = caption == QLatin1String("-") ? menu->addSeparator() : menu->addAction(caption);
        a->setObjectName(name);
        return a;
    };
    QMenu* file = menuBar()->addMenu(QStringLiteral("File"));
    file->setObjectName(QStringLiteral("fileMenu"));
    connect(add(file, QStringLiteral("aboutMarionetteKit"), QStringLiteral("About MarionetteKit")),
            &QAction::triggered, this, &mainForm::showAbout);
    add(file, QStringLiteral("nothing2"), QStringLiteral("-"));
    connect(add(file, QStringLiteral("importSound"), QStringLiteral("Import Sound")), &QAction::triggered, this,
            &mainForm::importSound);
    add(file, QStringLiteral("nothing"), QStringLiteral("-"));
    connect(add(file, QStringLiteral("newProject"), QStringLiteral("New Project")), &QAction::triggered, this,
            &mainForm::newProject);
    connect(add(file, QStringLiteral("openProject"), QStringLiteral("Open Project")), &QAction::triggered, this,
            &mainForm::openProject);
    connect(add(file, QStringLiteral("fileSave"), QStringLiteral("Save Project")),
            &QAction::triggered, this, &mainForm::saveProject);
    connect(add(file, QStringLiteral("fileSaveAs"), QStringLiteral("Save Project As")), &QAction::triggered, this,
            &mainForm::saveProjectAs);
    connect(add(file, QStringLiteral("fileSaveSettings"), QStringLiteral("Save Settings Only")),
            &QAction::triggered, this, &mainForm::saveSettingsOnly);
    add(file, QStringLiteral("no"), QStringLiteral("-"));
    connect(add(file, QStringLiteral("fileExportToCD"), QStringLiteral("Export Project for CD Playback")),
            &QAction::triggered, this, &mainForm::exportToCd);
    add(file, QStringLiteral("nothing3"), QStringLiteral("-"));
    connect(add(file, QStringLiteral("fileQuit"), QStringLiteral("Quit")), &QAction::triggered, this, &mainForm::quit);

    QMenu* ports = menuBar()->addMenu(QStringLiteral("Ports"));
    ports->setObjectName(QStringLiteral("editMenu"));
    ports->setToolTipsVisible(true);
    for (int n = 1; n <= 4; ++n) {
        QAction* item = add(ports, QStringLiteral("selectCOM%1").arg(n), QStringLiteral("COM %1").arg(n));
        item->setCheckable(true);
        const QString path = m_comm->devicePath(n);
        const QString where = path.isEmpty() ? tr("no serial device") : path;
        item->setStatusTip(where);
        item->setToolTip(where);
        // The item is checkable, so Qt has already flipped its mark (off, for
        // the port in use); the menu shows the ports' state, not Qt's guess.
        connect(item, &QAction::triggered, this, [this, n] {
            m_ports->selectPort(n);
            refreshPortItems();
        });
        m_comItems[n - 1] = item;
    }
    add(ports, QStringLiteral("name"), QStringLiteral("-"));
    connect(add(ports, QStringLiteral("calibrateJoy"), QStringLiteral("Calibrate Joystick")),
            &QAction::triggered, this, &mainForm::calibrateJoystick);

    // Tools that change the show get a menu of their own after the others.
    QMenu* edit = menuBar()->addMenu(tr("Edit"));
    edit->setObjectName(QStringLiteral("showEditMenu"));
    connect(add(edit, QStringLiteral("jawFromSound"), tr("Jaw from Sound…")), &QAction::triggered, this,
            &mainForm::jawFromSound);
    m_edits = new ::EditTools(*this, edit, m_services.dialogs,
                              [this] { return m_clock->isItRunning() || m_countdown->isItRunning(); });
}

void mainForm::load()
{
    lastServoIndex = 7;
    m_calibrate = new ::calibrateJoystick(m_services.joystick, [this](int i) { return slider(i); }, this);
    m_calibrate->setNumberOfSliders(lastServoIndex);
    for (int i = 0; i <= lastServoIndex; ++i) {
        slider(i)->setWhichservo(qint16(i));
        slider(i)->setPlaybackEnabled(true);
        slider(i)->setRecordingEnabled(true);
    }
    currentProjectFile = kNotSaved;
    // Start with the focus on a slider, not in a name box, so that Space
    // plays straight away.
    if (auto* first = slider(0)->findChild<QWidget*>(QStringLiteral("slider"))) {
        setFocusProxy(first);
        first->setFocus();
    }
    m_ports->probe();
    refreshPortItems();
}

NewSlider* mainForm::slider(int i) const
{
    return (i >= 0 && i < int(m_sliders.size())) ? m_sliders[i] : nullptr;
}

QAction* mainForm::menuItem(const QString& name) const
{
    return findChild<QAction*>(name);
}

::convertAudio* mainForm::convertAudio()
{
    if (!m_progress)
        m_progress = new ::convertAudio(this);
    return m_progress;
}

void mainForm::refreshPortItems()
{
    for (int n = 1; n <= 4; ++n) {
        m_comItems[n - 1]->setEnabled(m_ports->itemEnabled(n));
        m_comItems[n - 1]->setChecked(m_ports->itemChecked(n));
    }
}

bool mainForm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease || event->type() == QEvent::KeyRelease
        || event->type() == QEvent::Wheel)
        checkModifiedSoon();
    if (event->type() != QEvent::KeyPress)
        return QMainWindow::eventFilter(watched, event);
    auto* w = qobject_cast<QWidget*>(watched);
    if (!w || w->window() != this)
        return QMainWindow::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    // Shift and Ctrl held by accident still mean Space; Alt+Space belongs to
    // the window manager.
    const Qt::KeyboardModifiers extra = key->modifiers() & ~(Qt::ShiftModifier | Qt::ControlModifier);
    if (key->key() != Qt::Key_Space || key->isAutoRepeat() || extra != Qt::NoModifier)
        return QMainWindow::eventFilter(watched, event);
    if (m_busy)
        return true; // no transport while a project is saved or opened
    // Only a servo's name takes a blank; everywhere else, the countdown's
    // seconds included, Space is the transport's. Nothing is typed into the
    // seconds box: a blank is no part of a number.
    if (w->objectName() == QLatin1String("theServoName") && qobject_cast<NewSlider*>(w->parentWidget()))
        return QMainWindow::eventFilter(watched, event);
    spacePressed();
    return true;
}

void mainForm::showAbout()
{
    if (!m_about)
        m_about = new ::about(this, tr("Show engine: %1").arg(QString::fromStdString(m_engine->priority().describe())));
    m_about->show();
    m_about->raise();
}

void mainForm::calibrateJoystick()
{
    m_calibrate->show();
    m_calibrate->raise();
    m_calibrate->activateWindow();
}

::SetupServo* mainForm::setupServo()
{
    if (!m_setupServo) {
        m_setupServo = new ::SetupServo([this](int i) { return slider(i); }, m_comm, this);
        m_setupServo->setAttribute(Qt::WA_DeleteOnClose);
    }
    return m_setupServo;
}

void mainForm::setUpServo(int i)
{
    NewSlider* track = slider(i);
    if (!track)
        return;
    ::SetupServo* dialog = setupServo();
    dialog->fillFrom(*track);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

bool mainForm::confirmQuit()
{
    // Nothing to lose: no question.
    if (!m_takes->isModified())
        return true;
    const auto answer = m_services.dialogs.message(QStringLiteral("Save before quitting?"),
                                                   QStringLiteral("Quit MarionetteKit"),
                                                   mk::MessageButtons::YesNoCancel, mk::MessageIcon::None);
    if (answer == mk::MessageAnswer::Cancel)
        return false;
    // A save that did not happen (cancelled or failed) keeps the program open,
    // so no work is lost by answering Yes.
    return answer != mk::MessageAnswer::Yes || saveProject();
}

void mainForm::quit()
{
    if (m_busy || !confirmQuit())
        return;
    m_quitting = true;
    close();
}

void mainForm::closeEvent(QCloseEvent* event)
{
    // Not in the middle of writing or reading a project. The close box asks
    // like Quit does, so a recorded show is not thrown away without a word;
    // a close that comes from the program or the session (not the user's
    // click) does not ask.
    if (m_busy || (!m_quitting && event->spontaneous() && !confirmQuit())) {
        event->ignore();
        return;
    }
    m_quitting = true;
    // Closing the main window ends the program: take its other windows along.
    stopClicked();
    if (m_setupServo)
        m_setupServo->close();
    m_calibrate->close();
    if (m_progress)
        m_progress->close();
    if (m_about)
        m_about->close();
    if (m_comm->PortOpen())
        m_comm->setPortOpen(false);
    QMainWindow::closeEvent(event);
}

mk::FileDialogRequest mainForm::inShowFolder(mk::FileDialogRequest request) const
{
    if (!request.fileName.isEmpty() && !QFileInfo(request.fileName).isRelative())
        return request;
    QString folder = currentProjectFile != kNotSaved ? QFileInfo(currentProjectFile).absolutePath() : QString();
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = settings().value(kLastFolderKey).toString();
    // A folder since removed would leave the dialog wherever the toolkit likes.
    if (!folder.isEmpty() && QFileInfo(folder).isDir())
        request.fileName = QDir(folder).filePath(request.fileName);
    return request;
}

void mainForm::rememberFolder(const QString& chosen)
{
    settings().setValue(kLastFolderKey, QFileInfo(chosen).absolutePath());
}
