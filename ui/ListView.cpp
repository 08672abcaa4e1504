#include "ListView.h"

#include "CellTextDelegate.h"

#include <QMouseEvent>

ListView::ListView(QWidget* parent)
    : QTreeView(parent)
{
    setItemDelegate(new CellTextDelegate(this));
}

bool ListView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event)
{
    // Qt also calls this on every press (NoEditTriggers) to give the delegate the event, and whenever the
    // current row moves (CurrentChanged): neither is the user asking to edit. What is left are the edit
    // gestures and a programmatic edit (AllEditTriggers).
    const bool editGesture = trigger != NoEditTriggers && trigger != CurrentChanged;
    if (editGesture && index.isValid()) {
        qint16 cancel = 0;
        emit BeforeLabelEdit(cancel);
        if (cancel != 0)
            return false;
    }
    return QTreeView::edit(index, trigger, event);
}

void ListView::mouseDoubleClickEvent(QMouseEvent* event)
{
    QTreeView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        emit DblClick();
}
