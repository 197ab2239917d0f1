#include "app/EditTools.h"

#include <QAction>
#include <QCursor>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>
#include <algorithm>

#include "app/EditSelection.h"
#include "app/MotionLanes.h"
#include "app/TakeHistory.h"
#include "app/mainForm.h"
#include "platform/Rounding.h"
#include "platform/RuntimeError.h"
#include "sound/graphWindow.h"
#include "timing/TimeCode.h"
#include "tracks/NewSlider.h"

namespace edits = mk::edits;

namespace {

constexpr int kServos = 8;

/// What Copy and Cut took: one servo's positions, or every servo's.
struct Clipboard {
    int servo = EditSelection::kAllServos;
    std::array<std::vector<qint16>, kServos> rows;
    bool empty() const
    {
        return std::all_of(rows.begin(), rows.end(), [](const auto& r) { return r.empty(); });
    }
};

Clipboard& clipboard()
{
    // One for the run, not one per show: copy in one project, paste in the next.
    static Clipboard c;
    return c;
}

} // namespace

qint32 EditTools::maxframeAfter(const Saved& before, const std::vector<qint16>& after)
{
    // A track made longer ends at its new last frame, as one grown by
    // recording does; otherwise maxframe stays what it was.
    return after.size() > before.data.size() ? qint32(after.size()) - 1 : before.maxframe;
}

EditTools::EditTools(mainForm& window, QMenu* editMenu, mk::Dialogs& dialogs, std::function<bool()> playing)
    : QObject(&window), m_w(window), m_dialogs(dialogs), m_playing(std::move(playing))
{
    m_selection = new EditSelection(this);
    m_lanes = m_w.motionLanes();
    m_graph = m_w.graphWindow();

    mk::TakeHistory& takes = m_w.takes();
    m_cut = addItem(QStringLiteral("editCut"), tr("Cut"), &EditTools::cut);
    m_cut->setShortcut(QKeySequence::Cut);
    m_copy = addItem(QStringLiteral("editCopy"), tr("Copy"), &EditTools::copy);
    m_copy->setShortcut(QKeySequence::Copy);
    m_paste = addItem(QStringLiteral("editPaste"), tr("Paste"), &EditTools::paste);
    m_paste->setShortcut(QKeySequence::Paste);
    m_delete = addItem(QStringLiteral("editDelete"), tr("Delete"), &EditTools::deleteSelection);
    m_delete->setShortcut(QKeySequence(Qt::Key_Delete));
    m_selectAll = addItem(QStringLiteral("editSelectAll"), tr("Select All"), &EditTools::selectAll);
    m_selectAll->setShortcut(QKeySequence::SelectAll);
    QAction* smoothItem = addItem(QStringLiteral("editSmooth"), tr("Smooth…"), &EditTools::smooth);
    QAction* scaleItem = addItem(QStringLiteral("editScale"), tr("Scale…"), &EditTools::scale);
    QAction* offsetItem = addItem(QStringLiteral("editOffset"), tr("Offset…"), &EditTools::offset);
    QAction* shiftItem = addItem(QStringLiteral("editShift"), tr("Shift in Time…"), &EditTools::shiftInTime);
    m_items = {takes.undoAction(), takes.redoAction(), nullptr, m_cut, m_copy, m_paste, m_delete, nullptr,
               m_selectAll, nullptr, smoothItem, scaleItem, offsetItem, shiftItem};
    m_needSelection = {m_cut, m_copy, m_delete, smoothItem, scaleItem, offsetItem, shiftItem};

    // Above what the menu holds already (Jaw from Sound), as Edit menus start.
    QAction* before = editMenu->actions().value(0);
    int separators = 0;
    const auto separator = [&] {
        editMenu->insertSeparator(before)->setObjectName(QStringLiteral("editSeparator%1").arg(++separators));
    };
    for (QAction* a : m_items) {
        if (a)
            editMenu->insertAction(before, a);
        else
            separator();
    }
    if (before)
        separator();

    auto* none = new QAction(tr("Select None"), this);
    none->setObjectName(QStringLiteral("selectNone"));
    none->setShortcut(QKeySequence(Qt::Key_Escape));
    connect(none, &QAction::triggered, m_selection, &EditSelection::clear);
    m_w.addAction(none);

    m_label = new QLabel(&m_w);
    m_label->setObjectName(QStringLiteral("selectionLabel"));
    m_w.statusBar()->addPermanentWidget(m_label);

    watchViews();
    connect(m_selection, &EditSelection::changed, this, [this] {
        m_laneOverlay->update();
        m_graphOverlay->update();
        refresh();
    });
    refresh();
}

QAction* EditTools::addItem(const QString& name, const QString& caption, void (EditTools::*slot)())
{
    auto* a = new QAction(caption, this);
    a->setObjectName(name);
    connect(a, &QAction::triggered, this, slot);
    return a;
}

void EditTools::refresh()
{
    for (QAction* a : m_needSelection)
        a->setEnabled(!m_selection->isEmpty());
    m_paste->setEnabled(!clipboard().empty());
    m_label->setText(m_selection->isEmpty() ? tr("Shift+drag in a lane or the waveform to select")
                                            : m_selection->text());
}

bool EditTools::ready()
{
    if (m_w.isBusy())
        return false;
    if (m_playing())
        m_w.stopClicked();
    return true;
}

std::vector<int> EditTools::selectedServos() const
{
    std::vector<int> servos;
    for (int i = 0; i <= m_w.lastTrackIndex() && i < kServos; ++i)
        if (m_selection->covers(i))
            servos.push_back(i);
    return servos;
}

edits::Limits EditTools::limitsOf(int servo) const
{
    const NewSlider* t = m_w.slider(servo);
    return {t->minValue(), t->maxValue()};
}

void EditTools::put(int servo, const std::vector<qint16>& data, qint32 maxframe)
{
    NewSlider* t = m_w.slider(servo);
    const qint32 upper = qint32(data.size()) - 1;
    if (upper != t->datalength() || maxframe != t->maxframe()) {
        t->setMaxframe(maxframe);
        t->setDatalength(upper);
    }
    const std::vector<qint16>& now = t->track().recording();
    for (qint32 f = 0; f <= upper; ++f) {
        if (now[size_t(f)] != data[size_t(f)]) {
            t->setDataStartPoint(f);
            t->setData(data[size_t(f)]);
        }
    }
}

std::vector<EditTools::Saved> EditTools::save(const std::vector<int>& servos) const
{
    std::vector<Saved> saved;
    for (int s : servos)
        saved.push_back({s, m_w.slider(s)->track().recording(), m_w.slider(s)->maxframe()});
    return saved;
}

void EditTools::restore(const std::vector<Saved>& saved)
{
    for (const Saved& s : saved)
        put(s.servo, s.data, s.maxframe);
}

void EditTools::run(const QString& text, const Edit& edit)
{
    if (m_selection->isEmpty() || !ready())
        return;
    mk::TakeHistory& takes = m_w.takes();
    takes.commitPending();
    const std::vector<Saved> saved = save(selectedServos());
    try {
        for (const Saved& s : saved) {
            std::vector<qint16> data = s.data;
            edit(data, m_selection->frames(), limitsOf(s.servo));
            put(s.servo, data, maxframeAfter(s, data));
        }
    } catch (const mk::RuntimeError& e) {
        restore(saved);
        m_dialogs.message(mk::failureText(tr("There was an error while editing."), e.number(),
                                          QString::fromStdString(e.what())),
                          tr("Edit Error"), mk::MessageButtons::Ok, mk::MessageIcon::Exclamation);
    }
    takes.commit(text);
}

bool EditTools::adjust(const QString& text, mk::NumberRequest request, const std::function<Edit(int)>& edit,
                       const std::function<bool(int)>& confirm)
{
    if (m_selection->isEmpty() || !ready())
        return false;
    m_w.takes().commitPending();
    const std::vector<Saved> saved = save(selectedServos());
    const edits::FrameRange frames = m_selection->frames();
    // Every value is worked out from the positions as they were, so trying
    // values one after another never compounds.
    auto apply = [&](int value) {
        const Edit e = edit(value);
        for (const Saved& s : saved) {
            std::vector<qint16> data = s.data;
            e(data, frames, limitsOf(s.servo));
            put(s.servo, data, maxframeAfter(s, data));
        }
    };
    bool applied = false;
    try {
        request.preview = [&](int value) {
            apply(value);
            m_w.motionLanes()->resync();
        };
        const std::optional<int> answer = m_dialogs.number(request);
        if (answer && (!confirm || confirm(*answer))) {
            apply(*answer);
            applied = true;
        }
    } catch (const mk::RuntimeError& e) {
        m_dialogs.message(mk::failureText(tr("There was an error while editing."), e.number(),
                                          QString::fromStdString(e.what())),
                          tr("Edit Error"), mk::MessageButtons::Ok, mk::MessageIcon::Exclamation);
        applied = false;
    }
    if (!applied) {
        restore(saved);
        m_w.motionLanes()->resync();
        return false;
    }
    m_w.takes().commit(text);
    return true;
}

void EditTools::copy()
{
    // While the show plays its tracks are the engine's: Copy stops it first,
    // as the edits do.
    if (m_selection->isEmpty() || !ready())
        return;
    Clipboard& c = clipboard();
    c = {};
    c.servo = m_selection->servo();
    for (int s : selectedServos())
        c.rows[size_t(s)] = edits::copy(m_w.slider(s)->track().recording(), m_selection->frames());
    refresh();
}

void EditTools::cut()
{
    copy();
    run(tr("Cut"), [](std::vector<qint16>& data, edits::FrameRange r, edits::Limits) { edits::clear(data, r); });
}

void EditTools::deleteSelection()
{
    run(tr("Delete"), [](std::vector<qint16>& data, edits::FrameRange r, edits::Limits) { edits::clear(data, r); });
}

void EditTools::paste()
{
    const Clipboard& c = clipboard();
    if (c.empty() || !ready())
        return;
    mk::TakeHistory& takes = m_w.takes();
    takes.commitPending();
    const qint32 at = cursorFrame();
    // A stretch of one servo goes to the lane the user points at; one of all
    // servos goes back to the same servos.
    int target = c.servo;
    if (c.servo != EditSelection::kAllServos)
        target = m_contextLane.value_or(m_currentLane >= 0 ? m_currentLane : c.servo);
    qint32 length = 0;
    for (int s = 0; s <= m_w.lastTrackIndex() && s < kServos; ++s) {
        const std::vector<qint16>& row = c.rows[size_t(c.servo == EditSelection::kAllServos ? s : c.servo)];
        if ((target != EditSelection::kAllServos && s != target) || row.empty())
            continue;
        NewSlider* t = m_w.slider(s);
        std::vector<qint16> data = t->track().recording();
        edits::paste(data, at, row, limitsOf(s));
        try {
            put(s, data, data.size() > t->track().recording().size() ? qint32(data.size()) - 1 : t->maxframe());
        } catch (const mk::RuntimeError& e) {
            m_dialogs.message(mk::failureText(tr("There was an error while editing."), e.number(),
                                              QString::fromStdString(e.what())),
                              tr("Edit Error"), mk::MessageButtons::Ok, mk::MessageIcon::Exclamation);
        }
        length = std::max(length, qint32(row.size()));
    }
    takes.commit(tr("Paste"));
    if (length > 0)
        m_selection->select(target, at, at + length - 1);
}

void EditTools::selectAll()
{
    int servo = EditSelection::kAllServos;
    if (m_contextLane) {
        servo = *m_contextLane;
    } else if (m_lanes->isVisible()) {
        const QPoint p = m_lanes->mapFromGlobal(QCursor::pos());
        if (m_lanes->rect().contains(p))
            servo = std::max(laneAt(p), int(EditSelection::kAllServos));
    }
    m_selection->select(servo, 0, lastFrame(servo));
}

void EditTools::smooth()
{
    mk::NumberRequest r{tr("Smooth"), tr("Frames to average:"), 5, 3, 301, 2, tr(" frames"), {}};
    adjust(tr("Smooth"), r, [](int n) {
        return [n](std::vector<qint16>& data, edits::FrameRange f, edits::Limits l) { edits::smooth(data, f, n, l); };
    });
}

void EditTools::scale()
{
    mk::NumberRequest r{tr("Scale"), tr("Scale around the middle of the servo's range:"), 100, -400, 400, 10,
                        tr(" %"), {}};
    adjust(tr("Scale"), r, [](int percent) {
        return [percent](std::vector<qint16>& data, edits::FrameRange f, edits::Limits l) {
            edits::scale(data, f, percent / 100.0, l);
        };
    });
}

void EditTools::offset()
{
    mk::NumberRequest r{tr("Offset"), tr("Add to every position:"), 0, -254, 254, 1, {}, {}};
    adjust(tr("Offset"), r, [](int delta) {
        return [delta](std::vector<qint16>& data, edits::FrameRange f, edits::Limits l) {
            edits::offset(data, f, delta, l);
        };
    });
}

void EditTools::shiftInTime()
{
    // Ten hours either way, far more than any show, well within a track's limit.
    constexpr int kMost = 10 * 108000;
    mk::NumberRequest r{tr("Shift in Time"), tr("Frames later (earlier when negative):"), 0, -kMost, kMost, 1,
                        tr(" frames"), {}};
    const int servo = m_selection->servo();
    const edits::FrameRange frames = m_selection->frames();
    const std::vector<Saved> before = save(selectedServos());
    int chosen = 0;
    const bool shifted = adjust(
        tr("Shift in Time"), r,
        [](int by) {
            return [by](std::vector<qint16>& data, edits::FrameRange f, edits::Limits) { edits::shift(data, f, by); };
        },
        [this, &before, &chosen, frames](int by) {
            chosen = by;
            qint32 lost = 0;
            for (const Saved& s : before)
                lost += edits::lostByShift(s.data, frames, by);
            if (lost == 0)
                return true;
            const QString text = tr("%1 recorded frames would move before the start of the show and be lost.")
                                     .arg(lost)
                + QChar(13) + tr("Shift them anyway?");
            return m_dialogs.message(text, tr("Shift in Time"), mk::MessageButtons::YesNo,
                                     mk::MessageIcon::Exclamation)
                == mk::MessageAnswer::Yes;
        });
    // The selection goes with what it held.
    if (shifted)
        m_selection->select(servo, frames.from + chosen, frames.to + chosen);
}

qint32 EditTools::cursorFrame() const
{
    const qint32 ms = std::max(m_w.graphWindow()->cCurrentTimeInMilliseconds(), 0);
    if (m_w.hasSound())
        return mk::framesFromMs(ms);
    // Without a sound the cursor's span stands for the tracks' length, as in scrubbing.
    return mk::roundTo<qint32>(ms / 1000.0 * m_w.slider(1)->maxframe());
}

qint32 EditTools::lastFrame(int servo) const
{
    qint32 last = 0;
    for (int s = 0; s <= m_w.lastTrackIndex() && s < kServos; ++s)
        if (servo == EditSelection::kAllServos || s == servo)
            last = std::max(last, m_w.slider(s)->datalength());
    return last;
}
