#include "ListView.h"

#include "CellTextDelegate.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>

ListView::ListView(QWidget* parent)
    : QTableView(parent)
{
    setItemDelegate(new CellTextDelegate(this));
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setTabKeyNavigation(false);
    verticalHeader()->hide();
    // Every row as high as the style makes a line of text, fixed, so that no row is ever measured.
    QStyleOptionViewItem line;
    initViewItemOption(&line);
    line.features |= QStyleOptionViewItem::HasDisplay;
    line.text = QStringLiteral("0");
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(
        style()->sizeFromContents(QStyle::CT_ItemViewItem, &line, QSize(), this).height());
    setHorizontalScrollMode(ScrollPerPixel);
}

QModelIndex ListView::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers)
{
    const QModelIndex current = currentIndex();
    const int rows = model() != nullptr ? model()->rowCount() : 0;
    switch (cursorAction) {
    // A list has one place per row: Home and End go to its ends, left and right scroll it sideways.
    case MoveHome:
    case MoveEnd:
        if (rows == 0)
            return current;
        return model()->index(
            cursorAction == MoveHome ? 0 : rows - 1, current.isValid() ? current.column() : 0);
    case MoveLeft:
    case MoveRight:
        horizontalScrollBar()->triggerAction(cursorAction == MoveLeft ? QAbstractSlider::SliderSingleStepSub
                                                                      : QAbstractSlider::SliderSingleStepAdd);
        return current;
    default:
        return QTableView::moveCursor(cursorAction, modifiers);
    }
}

bool ListView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event)
{
    // Qt also calls this on every press (NoEditTriggers) to give the delegate the event, and whenever the
    // current row moves (CurrentChanged): neither is the user asking to edit. What is left are the edit
    // gestures and a programmatic edit (AllEditTriggers).
    const bool editGesture = trigger != NoEditTriggers && trigger != CurrentChanged;
    if (editGesture && index.isValid()) {
        qint16 cancel = 0;
        emit beforeLabelEdit(cancel);
        if (cancel != 0)
            return false;
    }
    return QTableView::edit(index, trigger, event);
}

void ListView::mouseDoubleClickEvent(QMouseEvent* event)
{
    QTableView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        emit doubleClick();
}

void ListView::keyPressEvent(QKeyEvent* event)
{
    // The view's own copy would take the text of the current cell alone.
    if (event->matches(QKeySequence::Copy)) {
        emit copyRequested();
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void ListView::contextMenuEvent(QContextMenuEvent* event)
{
    QPoint at = event->globalPos();
    if (event->reason() == QContextMenuEvent::Mouse) {
        // The menu acts on the row under the pointer, and on none below the rows, as a left click would
        // select. The press alone does not: its release goes to the menu.
        if (const QModelIndex index = indexAt(event->pos()); index.isValid())
            setCurrentIndex(index);
        else
            clearSelection();
    } else {
        // From the keyboard the menu opens under the current row, or at the list's corner.
        const QRect row = visualRect(currentIndex()).intersected(viewport()->rect());
        at = viewport()->mapToGlobal(row.isEmpty() ? QPoint() : row.bottomLeft());
    }

    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* copy = menu->addAction(QStringLiteral("&Copy"), this, &ListView::copyRequested);
    copy->setShortcut(QKeySequence::Copy);
    copy->setEnabled(selectionModel()->hasSelection());
    QAction* copyAll = menu->addAction(QStringLiteral("Copy &All"), this, &ListView::copyAllRequested);
    copyAll->setEnabled(model()->rowCount() > 0);
    menu->addSeparator();
    QAction* check = menu->addAction(QStringLiteral("Chec&k"), this, &ListView::checkRequested);
    check->setEnabled(selectionModel()->hasSelection());
    QAction* checkAll = menu->addAction(QStringLiteral("Check A&ll"), this, &ListView::checkAllRequested);
    checkAll->setEnabled(model()->rowCount() > 0);
    QAction* stop = menu->addAction(QStringLiteral("&Stop Checking"), this, &ListView::stopCheckingRequested);
    stop->setEnabled(m_checking);
    menu->popup(at);
    event->accept();
}
