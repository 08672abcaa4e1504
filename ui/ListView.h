#pragma once

#include <QHeaderView>
#include <QTableView>

// The result list's view: a table view dressed as a report list (no grid, no row numbers, whole rows
// selected, rows of one height, Home and End to the first and last row, Tab leaving the list). A table
// view, not a tree view: it keeps nothing per row, so a million rows cost neither memory nor a layout
// pass on each insertion. It reports a double-click anywhere in the list, also on the empty space below
// the rows, and asks before any in-place edit of a row. The list never edits its rows, but the
// question is asked on every edit gesture, so the refusal stays in one handler whatever Qt's edit settings.
// The copy key and a context menu ask for the selected row's key or every key; the window copies them.
// The menu also asks to check the selected row or every row, and to stop a check going on.
class ListView : public QTableView
{
    Q_OBJECT

public:
    explicit ListView(QWidget* parent = nullptr);

    // The edit call that the override below would hide.
    using QTableView::edit;
    // The column headers.
    QHeaderView* header() const { return horizontalHeader(); }
    // Whether an editor is open on a row, which the list never allows.
    bool isEditing() const { return state() == EditingState; }
    // Whether a check goes on, which "Stop Checking" can end.
    void setChecking(bool checking) { m_checking = checking; }

signals:
    // A double-click of the left button in the list, after the view has handled it (so a double-click on a
    // row that was not selected has selected it).
    void doubleClick();
    // Before an in-place edit of a row would open; a non-zero `cancel` prevents it. Connect directly only:
    // the answer is read as soon as the signal returns.
    void beforeLabelEdit(qint16& cancel);
    // The copy key, or "Copy" in the context menu.
    void copyRequested();
    // "Copy All" in the context menu.
    void copyAllRequested();
    // "Check", "Check All" and "Stop Checking" in the context menu.
    void checkRequested();
    void checkAllRequested();
    void stopCheckingRequested();

protected:
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    bool m_checking = false;
};
