#pragma once
// Selecting and editing what was recorded, in the main window: Shift+drag in
// a lane selects a stretch of that servo, Shift+drag in the waveform the same
// stretch of all servos, Alt+drag in a lane draws positions; the Edit menu
// and the lanes' context menu hold Cut, Copy, Paste, Delete, Select All,
// Smooth, Scale, Offset and Shift in Time. Each edit is one undo step named
// after it. The arithmetic is in tracks/TrackEdits; this is the glue.
//
// The clipboard outlives the show: a stretch copied from one project pastes
// into the next one opened in the same run. Interface thread only.
#include <QObject>
#include <QPoint>
#include <QRect>
#include <array>
#include <functional>
#include <optional>
#include <vector>

#include "platform/Dialogs.h"
#include "tracks/TrackEdits.h"

class EditSelection;
class QAction;
class QLabel;
class QMenu;
class QMouseEvent;
class QWidget;
class mainForm;

class EditTools : public QObject {
    Q_OBJECT
public:
    /// Adds the edit items to `editMenu` above the items it holds.
    /// `playing`: whether the show runs (an edit stops it first).
    EditTools(mainForm& window, QMenu* editMenu, mk::Dialogs& dialogs, std::function<bool()> playing);

    EditSelection& selection() const { return *m_selection; }
    /// The items of the Edit menu and the lanes' context menu, in order
    /// (nullptr for a separator).
    const std::vector<QAction*>& items() const { return m_items; }
    /// The servo a paste goes to: the lane last pressed, or none (-1).
    int currentLane() const { return m_currentLane; }

    void cut();
    void copy();
    void paste();
    void deleteSelection();
    /// The whole show of the servo under the pointer, or of all servos.
    void selectAll();
    void smooth();
    void scale();
    void offset();
    void shiftInTime();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class Drag { None, SelectLane, SelectAll, Draw };
    struct Saved {
        int servo;
        std::vector<qint16> data;
        qint32 maxframe;
    };
    using Edit = std::function<void(std::vector<qint16>& data, mk::edits::FrameRange frames,
                                    mk::edits::Limits limits)>;

    QAction* addItem(const QString& name, const QString& caption, void (EditTools::*slot)());
    /// The selection painted over the lanes and the waveform, and their
    /// mouse events seen first (EditMouse.cpp).
    void watchViews();
    void refresh();
    /// Stops the show; false while a project is saved or opened.
    bool ready();
    /// What was changed so far is a step of its own; `edit` runs on every
    /// selected servo; the result is one step named `text`.
    void run(const QString& text, const Edit& edit);
    /// Asks a number with a live preview of `edit(value)` on the selection;
    /// `confirm` may still refuse the value once chosen.
    bool adjust(const QString& text, mk::NumberRequest request,
                const std::function<Edit(int)>& edit,
                const std::function<bool(int)>& confirm = {});
    std::vector<int> selectedServos() const;
    mk::edits::Limits limitsOf(int servo) const;
    /// Puts `data` into the servo's track through its members, growing it
    /// when `data` is longer; frames that do not differ are not written.
    void put(int servo, const std::vector<qint16>& data, qint32 maxframe);
    static qint32 maxframeAfter(const Saved& before, const std::vector<qint16>& after);
    std::vector<Saved> save(const std::vector<int>& servos) const;
    void restore(const std::vector<Saved>& saved);
    qint32 cursorFrame() const;
    qint32 lastFrame(int servo) const;
    int laneAt(const QPoint& pos) const;
    /// The frame window shown by the waveform and the lanes.
    std::pair<double, double> window() const;
    qint32 frameAt(const QWidget* w, double x) const;
    bool laneMouse(QMouseEvent* e);
    bool waveformMouse(QMouseEvent* e);
    void drawTo(QMouseEvent* e);
    void showContextMenu(const QPoint& pos, const QPoint& global);
    std::vector<QRect> selectionRects(const QWidget* over) const;

    mainForm& m_w;
    mk::Dialogs& m_dialogs;
    std::function<bool()> m_playing;
    EditSelection* m_selection = nullptr;
    QWidget* m_lanes = nullptr;
    QWidget* m_graph = nullptr;
    QWidget* m_laneOverlay = nullptr;
    QWidget* m_graphOverlay = nullptr;
    QLabel* m_label = nullptr;
    std::vector<QAction*> m_items;
    QAction* m_cut = nullptr;
    QAction* m_copy = nullptr;
    QAction* m_paste = nullptr;
    QAction* m_delete = nullptr;
    QAction* m_selectAll = nullptr;
    std::vector<QAction*> m_needSelection;
    Drag m_drag = Drag::None;
    int m_dragServo = -1;
    qint32 m_anchor = 0;
    mk::edits::DrawPoint m_lastDrawn;
    int m_currentLane = -1;
    std::optional<int> m_contextLane;
};
