#include "app/TakeHistory.h"

#include <QAction>
#include <QIcon>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QUndoCommand>
#include <QUndoStack>

#include "tracks/NewSlider.h"

namespace mk {

namespace {

/// A curved arrow pointing left (undo) or right (redo).
QIcon arrowIcon(bool left)
{
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    if (!left) {
        p.translate(32, 0);
        p.scale(-1, 1);
    }
    QPainterPath arc;
    arc.moveTo(9, 13);
    arc.cubicTo(14, 6, 27, 7, 26, 18);
    arc.cubicTo(25, 24, 20, 26, 15, 26);
    p.setPen(QPen(QColor(40, 90, 150), 3.2, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(arc);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 90, 150));
    p.drawPolygon(QPolygonF({QPointF(3, 15), QPointF(13, 6), QPointF(14, 18)}));
    return QIcon(pm);
}

} // namespace

class TakeHistory::Step : public QUndoCommand {
public:
    Step(TakeHistory& history, std::shared_ptr<StepData> data)
        : QUndoCommand(data->text), m_history(history), m_data(std::move(data))
    {
    }
    void undo() override
    {
        if (!m_history.m_silent)
            m_history.apply(*m_data, true);
    }
    void redo() override
    {
        if (!m_history.m_silent)
            m_history.apply(*m_data, false);
    }
    const std::shared_ptr<StepData>& data() const { return m_data; }

private:
    TakeHistory& m_history;
    std::shared_ptr<StepData> m_data;
};

TakeHistory::TakeHistory(const std::array<NewSlider*, 8>& tracks, std::function<bool()> playing, QObject* parent)
    : QObject(parent), m_tracks(tracks), m_playing(std::move(playing))
{
    m_stack = new QUndoStack(this);
    m_undo = new QAction(arrowIcon(true), tr("Undo"), this);
    m_undo->setObjectName(QStringLiteral("undoTake"));
    m_undo->setShortcut(QKeySequence::Undo);
    m_redo = new QAction(arrowIcon(false), tr("Redo"), this);
    m_redo->setObjectName(QStringLiteral("redoTake"));
    m_redo->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    connect(m_undo, &QAction::triggered, this, &TakeHistory::undo);
    connect(m_redo, &QAction::triggered, this, &TakeHistory::redo);
    connect(m_stack, &QUndoStack::indexChanged, this, &TakeHistory::refresh);
    connect(m_stack, &QUndoStack::undoTextChanged, this, &TakeHistory::refresh);
    connect(m_stack, &QUndoStack::redoTextChanged, this, &TakeHistory::refresh);
    rebase();
    refresh();
}

TakeHistory::~TakeHistory()
{
    // Steps deleted with the stack must not touch the tracks.
    m_silent = true;
}

void TakeHistory::rebase()
{
    for (size_t i = 0; i < m_tracks.size(); ++i) {
        const ServoTrack& t = m_tracks[i]->track();
        m_base[i].data = t.recording();
        m_base[i].maxframe = t.maxframe();
    }
}

bool TakeHistory::collect(std::vector<takes::TrackChange>& changes) const
{
    changes.clear();
    for (size_t i = 0; i < m_tracks.size(); ++i) {
        const ServoTrack& t = m_tracks[i]->track();
        takes::TrackChange c;
        if (takes::diff(int(i), m_base[i], t.recording(), t.maxframe(), c))
            changes.push_back(std::move(c));
    }
    return !changes.empty();
}

void TakeHistory::beginPass()
{
    commit(tr("Recording"));
    m_inPass = true;
    refresh();
}

void TakeHistory::endPass()
{
    commit(tr("Take"));
    m_inPass = false;
    refresh();
}

void TakeHistory::endPassIfStopped()
{
    if (m_inPass && !m_playing())
        endPass();
}

void TakeHistory::commit(const QString& text, bool onlyWhenCut, std::function<void()> undoExtra,
                         std::function<void()> redoExtra)
{
    auto data = std::make_shared<StepData>();
    // A command with more to put back than recordings (undoExtra) is a step
    // even when it left the recordings alone.
    if (!collect(data->changes) && (onlyWhenCut || !undoExtra))
        return;
    if (onlyWhenCut && std::none_of(data->changes.begin(), data->changes.end(),
                                    [](const takes::TrackChange& c) { return c.cutsRecording(); })) {
        rebase();
        Q_EMIT tracksChanged();
        return;
    }
    data->text = text;
    data->undoExtra = std::move(undoExtra);
    data->redoExtra = std::move(redoExtra);
    for (const takes::TrackChange& c : data->changes)
        data->bytes += c.bytes();
    push(std::move(data));
    rebase();
    enforceLimit();
    Q_EMIT tracksChanged();
}

void TakeHistory::push(std::shared_ptr<StepData> data)
{
    // The change is already in the tracks: pushing must not make it again.
    m_silent = true;
    m_stack->push(new Step(*this, std::move(data)));
    m_silent = false;
}

void TakeHistory::apply(const StepData& data, bool undo)
{
    if (undo ? data.undoExtra : data.redoExtra)
        (undo ? data.undoExtra : data.redoExtra)();
    for (const takes::TrackChange& c : data.changes) {
        NewSlider* t = m_tracks[size_t(c.track)];
        // restore() reads the recording while it writes: give it a copy.
        const std::vector<qint16> current = t->track().recording();
        takes::restore(*t, current, c, undo);
    }
    rebase();
    Q_EMIT tracksChanged();
}

void TakeHistory::undo()
{
    if (m_playing())
        return;
    // Anything recorded since the last step (while scrubbing) is the
    // latest change: it is what Undo takes back.
    commit(tr("Recording"));
    m_stack->undo();
    refresh();
}

void TakeHistory::redo()
{
    if (m_playing())
        return;
    // A change made after an undo replaces what could be redone.
    commit(tr("Recording"));
    m_stack->redo();
    refresh();
}

void TakeHistory::refresh()
{
    const bool stopped = !m_playing();
    m_undo->setEnabled(stopped && m_stack->canUndo());
    m_redo->setEnabled(stopped && m_stack->canRedo());
    const QString u = m_stack->undoText();
    const QString r = m_stack->redoText();
    m_undo->setToolTip(u.isEmpty() ? tr("Undo (Ctrl+Z)") : tr("Undo %1 (Ctrl+Z)").arg(u));
    m_redo->setToolTip(r.isEmpty() ? tr("Redo (Ctrl+Shift+Z)") : tr("Redo %1 (Ctrl+Shift+Z)").arg(r));
}

qint64 TakeHistory::memoryHeld() const
{
    qint64 n = 0;
    for (int i = 0; i < m_stack->count(); ++i)
        n += static_cast<const Step*>(m_stack->command(i))->data()->bytes;
    return n;
}

void TakeHistory::setMemoryLimit(qint64 bytes)
{
    m_limit = bytes;
    enforceLimit();
}

void TakeHistory::enforceLimit()
{
    qint64 held = memoryHeld();
    if (held <= m_limit)
        return;
    // QUndoStack drops old steps only by a count fixed while it is empty, so
    // the stack is built again from the steps kept. Only ever called with
    // every step done (right after a push) or none to redo past the kept ones.
    std::vector<std::shared_ptr<StepData>> kept;
    for (int i = 0; i < m_stack->count(); ++i)
        kept.push_back(static_cast<const Step*>(m_stack->command(i))->data());
    const int index = m_stack->index();
    size_t drop = 0;
    // The newest step stays even if it alone is over the limit.
    while (held > m_limit && drop + 1 < kept.size() && int(drop) < index) {
        held -= kept[drop]->bytes;
        ++drop;
    }
    m_silent = true;
    m_stack->clear();
    for (size_t i = drop; i < kept.size(); ++i)
        m_stack->push(new Step(*this, kept[i]));
    m_stack->setIndex(index - int(drop));
    m_silent = false;
    refresh();
}

} // namespace mk
