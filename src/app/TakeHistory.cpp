#include "app/TakeHistory.h"

#include <QAction>
#include <QIcon>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QUndoCommand>
#include <QUndoStack>
#include <algorithm>

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

namespace {

qint64 heldBy(const QString& s)
{
    return s.capacity() == 0 ? 0 : qint64(s.capacity() + 1) * qint64(sizeof(QChar)) + 32;
}

qint64 heldBy(const ShowSetup& s)
{
    qint64 n = qint64(sizeof(ShowSetup)) + 32 + heldBy(s.sound) + heldBy(s.projectFile) + heldBy(s.title);
    for (const ShowSetup::Track& t : s.tracks)
        n += heldBy(t.name);
    return n;
}

} // namespace

TakeHistory::TakeHistory(const std::array<NewSlider*, 8>& tracks, std::function<bool()> playing, Show show,
                         QObject* parent)
    : QObject(parent), m_tracks(tracks), m_playing(std::move(playing)), m_show(std::move(show))
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
    connect(m_stack, &QUndoStack::cleanChanged, this, &TakeHistory::checkModified);
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
    m_baseSetup = m_show.read();
}

TakeHistory::Label TakeHistory::currentLabel() const
{
    const ShowSetup s = m_show.read();
    return {s.projectFile, s.title};
}

void TakeHistory::relabel(const Label& label)
{
    m_show.name(label.file, label.title);
    m_baseSetup.projectFile = label.file;
    m_baseSetup.title = label.title;
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
    commitPending();
    m_inPass = true;
    refresh();
}

void TakeHistory::endPass()
{
    commitChanges(tr("Take"), true);
    m_inPass = false;
    refresh();
}

void TakeHistory::endPassIfStopped()
{
    if (m_inPass && !m_playing())
        endPass();
}

void TakeHistory::commit(const QString& text)
{
    commitChanges(text, false);
}

void TakeHistory::commitPending()
{
    std::vector<takes::TrackChange> changes;
    collect(changes);
    const bool moved = std::any_of(changes.begin(), changes.end(),
                                   [](const takes::TrackChange& c) { return c.movesPositions(); });
    commitChanges(moved ? tr("Recording") : tr("Set-up"), true);
}

void TakeHistory::commitChanges(const QString& text, bool positionsOnly)
{
    auto data = std::make_shared<StepData>();
    collect(data->changes);
    const ShowSetup now = m_show.read();
    const bool setUp = !sameSetUp(m_baseSetup, now);
    const bool moved = std::any_of(data->changes.begin(), data->changes.end(),
                                   [](const takes::TrackChange& c) { return c.movesPositions(); });
    if (!setUp && (data->changes.empty() || (positionsOnly && !moved))) {
        // Frames of 0 added to the tracks lose nothing when undo puts the
        // lengths back: the new length becomes the starting point.
        if (!data->changes.empty())
            rebase();
        checkModified();
        return;
    }
    data->text = text;
    data->changes.shrink_to_fit();
    if (setUp) {
        data->setupBefore = std::make_shared<const ShowSetup>(m_baseSetup);
        data->setupAfter = std::make_shared<const ShowSetup>(now);
    }
    data->before = {m_baseSetup.projectFile, m_baseSetup.title};
    data->after = {now.projectFile, now.title};
    data->bytes = qint64(sizeof(StepData)) + 32 + heldBy(data->text)
        + qint64(data->changes.capacity() * sizeof(takes::TrackChange)) + 32;
    for (const takes::TrackChange& c : data->changes)
        data->bytes += c.bytes() - qint64(sizeof(takes::TrackChange));
    if (setUp)
        data->bytes += heldBy(*data->setupBefore) + heldBy(*data->setupAfter);
    for (const Label* l : {&data->before, &data->after})
        data->bytes += heldBy(l->file) + heldBy(l->title);
    push(std::move(data));
    rebase();
    enforceLimit();
    checkModified();
    Q_EMIT tracksChanged();
}

void TakeHistory::push(std::shared_ptr<StepData> data)
{
    // The change is already in the show: pushing must not make it again.
    m_silent = true;
    m_stack->push(new Step(*this, std::move(data)));
    m_silent = false;
}

void TakeHistory::apply(const StepData& data, bool undo)
{
    // The sound before the tracks: loading one may move the cursor, and the
    // frame it shows must not grow the tracks past the lengths put back.
    if (const auto& setup = undo ? data.setupBefore : data.setupAfter)
        m_show.write(*setup);
    for (const takes::TrackChange& c : data.changes) {
        NewSlider* t = m_tracks[size_t(c.track)];
        // restore() reads the recording while it writes: give it a copy.
        const std::vector<qint16> current = t->track().recording();
        takes::restore(*t, current, c, undo);
    }
    rebase();
    relabel(undo ? data.before : data.after);
    Q_EMIT tracksChanged();
}

TakeHistory::StepData* TakeHistory::stepAt(int index) const
{
    if (index < 0 || index >= m_stack->count())
        return nullptr;
    return static_cast<const Step*>(m_stack->command(index))->data().get();
}

void TakeHistory::markFile()
{
    // The state between step index-1 and step index is the one saved.
    const Label label = currentLabel();
    const int index = m_stack->index();
    if (StepData* made = stepAt(index - 1))
        made->after = label;
    if (StepData* next = stepAt(index))
        next->before = label;
    relabel(label);
}

void TakeHistory::markClean()
{
    markFile();
    m_stack->setClean();
    checkModified();
}

void TakeHistory::restart()
{
    m_silent = true;
    m_stack->clear();
    m_silent = false;
    rebase();
    m_stack->setClean();
    refresh();
    checkModified();
}

bool TakeHistory::isModified() const
{
    if (!m_stack->isClean() || !sameSetUp(m_baseSetup, m_show.read()))
        return true;
    std::vector<takes::TrackChange> changes;
    collect(changes);
    return std::any_of(changes.begin(), changes.end(),
                       [](const takes::TrackChange& c) { return c.movesPositions(); });
}

void TakeHistory::checkModified()
{
    const bool modified = isModified();
    if (modified == m_toldModified)
        return;
    m_toldModified = modified;
    Q_EMIT modifiedChanged(modified);
}

void TakeHistory::undo()
{
    if (m_playing())
        return;
    // Anything changed since the last step (recorded while scrubbing, set
    // up) is the latest change: it is what Undo takes back.
    commitPending();
    m_stack->undo();
    refresh();
    checkModified();
}

void TakeHistory::redo()
{
    if (m_playing())
        return;
    // A change made after an undo replaces what could be redone.
    commitPending();
    m_stack->redo();
    refresh();
    checkModified();
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
        n += stepAt(i)->bytes;
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
    const int clean = m_stack->cleanIndex();
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
    // The saved state stays the clean one while it can still be reached.
    if (clean >= int(drop)) {
        m_stack->setIndex(clean - int(drop));
        m_stack->setClean();
    } else {
        m_stack->resetClean();
    }
    m_stack->setIndex(index - int(drop));
    m_silent = false;
    refresh();
    checkModified();
}

} // namespace mk
