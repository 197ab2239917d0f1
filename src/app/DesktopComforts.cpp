// What users of desktop programs expect of the main window: keyboard
// shortcuts on the File items, File > Open Recent, projects and sounds
// dropped on the window, and the waveform and lanes laid out with the lanes'
// headers, the scroll bar and zoom and pan (ViewNavigation).
#include <QAction>
#include <QBoxLayout>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScrollBar>
#include <QSettings>
#include <QUrl>

#include "app/LaneHeaders.h"
#include "app/MotionLanes.h"
#include "app/ViewNavigation.h"
#include "app/mainForm.h"
#include "sound/graphWindow.h"

namespace {

const QString kRecentKey = QStringLiteral("files/recentProjects");
constexpr int kRecentCount = 8;

QSettings settings()
{
    return QSettings(QStringLiteral("MarionetteKit"), QStringLiteral("MarionetteKit"));
}

bool isProject(const QString& path) { return QFileInfo(path).suffix().compare(QLatin1String("pjt"), Qt::CaseInsensitive) == 0; }

bool isSound(const QString& path)
{
    static const QStringList kinds = {"wav", "wave", "flac", "ogg", "oga", "opus", "mp3", "aif", "aiff", "aifc"};
    return kinds.contains(QFileInfo(path).suffix().toLower());
}

/// The one local file a drag carries, or nothing.
QString draggedFile(const QMimeData* data)
{
    if (!data || !data->hasUrls() || data->urls().size() != 1 || !data->urls().first().isLocalFile())
        return {};
    return data->urls().first().toLocalFile();
}

} // namespace

void mainForm::buildComforts()
{
    // Shortcuts only: the captions and the order of the items stay.
    const std::pair<const char*, QKeyCombination> keys[] = {
        {"newProject", Qt::CTRL | Qt::Key_N},       {"openProject", Qt::CTRL | Qt::Key_O},
        {"fileSave", Qt::CTRL | Qt::Key_S},         {"fileSaveAs", Qt::CTRL | Qt::SHIFT | Qt::Key_S},
        {"fileQuit", Qt::CTRL | Qt::Key_Q},         {"importSound", Qt::CTRL | Qt::Key_I},
        {"fileExportToCD", Qt::CTRL | Qt::Key_E}};
    for (const auto& [name, key] : keys)
        menuItem(QString::fromLatin1(name))->setShortcut(key);

    auto* file = menuBar()->findChild<QMenu*>(QStringLiteral("fileMenu"));
    file->addSeparator()->setObjectName(QStringLiteral("recentSeparator"));
    m_recentMenu = file->addMenu(tr("Open Recent"));
    m_recentMenu->setObjectName(QStringLiteral("openRecentMenu"));
    m_recentMenu->menuAction()->setObjectName(QStringLiteral("openRecent"));
    m_recentMenu->setToolTipsVisible(true);
    connect(m_recentMenu, &QMenu::aboutToShow, this, &mainForm::refreshRecentMenu);
    refreshRecentMenu();

    setAcceptDrops(true);

    // The waveform, the lanes and the scroll bar share one column of the
    // grid, so they stay exactly as wide as each other; the lanes' headers
    // stand left of them, with an empty place of the same width beside the
    // waveform.
    auto* column = qobject_cast<QBoxLayout*>(centralWidget()->layout());
    const int at = column->indexOf(m_graph);
    column->removeWidget(m_graph);
    column->removeWidget(m_lanes);
    auto* grid = new QGridLayout;
    grid->setSpacing(0);
    grid->setHorizontalSpacing(0);
    auto* corner = new QWidget(centralWidget());
    corner->setObjectName(QStringLiteral("laneHeadersCorner"));
    corner->setFixedWidth(LaneHeaders::kWidth);
    m_laneHeaders = new LaneHeaders(m_lanes, m_sliders, centralWidget());
    m_navigation = new ViewNavigation(m_graph, m_lanes, this);
    grid->addWidget(corner, 0, 0);
    grid->addWidget(m_graph, 0, 1);
    grid->addWidget(m_laneHeaders, 1, 0);
    grid->addWidget(m_lanes, 1, 1);
    grid->addWidget(m_navigation->scrollBar(), 2, 1);
    grid->setRowStretch(0, 1);
    grid->setVerticalSpacing(3);
    column->insertLayout(at, grid, 1);
    addActions(m_navigation->actions());
}

QStringList mainForm::recentProjects() const { return settings().value(kRecentKey).toStringList(); }

void mainForm::noteRecentProject(const QString& path)
{
    const QString full = QFileInfo(path).absoluteFilePath();
    QStringList list = recentProjects();
    list.removeAll(full);
    list.prepend(full);
    while (list.size() > kRecentCount)
        list.removeLast();
    // The menu is filled each time it opens: an item may be the one whose
    // project is being opened now.
    settings().setValue(kRecentKey, list);
}

void mainForm::refreshRecentMenu()
{
    m_recentMenu->clear();
    const QStringList list = recentProjects();
    int n = 0;
    for (const QString& path : list) {
        ++n;
        QAction* a = m_recentMenu->addAction(QStringLiteral("&%1 %2").arg(n).arg(QDir::toNativeSeparators(path)));
        a->setObjectName(QStringLiteral("recentProject%1").arg(n));
        // A project since moved or deleted stays in the list, greyed, so the
        // user sees it has gone; it leaves the list as newer ones come.
        const bool there = QFileInfo(path).isFile();
        a->setEnabled(there);
        a->setToolTip(there ? path : tr("%1 is no longer there").arg(path));
        connect(a, &QAction::triggered, this, [this, path] { openProjectFrom(path); });
    }
    if (list.isEmpty())
        m_recentMenu->addAction(tr("No recent projects"))->setEnabled(false);
}

void mainForm::openProjectFrom(const QString& path)
{
    if (m_busy)
        return;
    try {
        rememberFolder(path);
        m_lastProjectDialogName = path;
        if (openProjectFile(path) == mk::project::ReadResult::Status::NotAProject)
            m_services.dialogs.message(
                tr("%1 is not a MarionetteKit project, so nothing was opened.").arg(QDir::toNativeSeparators(path)),
                QStringLiteral("Open Error"), mk::MessageButtons::Ok, mk::MessageIcon::Exclamation);
    } catch (...) {
        reportFailure(QStringLiteral("There was an error while trying to open your file."),
                      QStringLiteral("Open Error"), std::current_exception());
    }
}

void mainForm::dragEnterEvent(QDragEnterEvent* event)
{
    const QString path = draggedFile(event->mimeData());
    if (!m_busy && !path.isEmpty() && (isProject(path) || isSound(path)))
        event->acceptProposedAction();
}

void mainForm::dropEvent(QDropEvent* event)
{
    const QString path = draggedFile(event->mimeData());
    if (m_busy || path.isEmpty())
        return;
    event->acceptProposedAction();
    if (isProject(path))
        openProjectFrom(path);
    else if (isSound(path))
        importSoundFile(path);
}
