#include "ReportListView.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMouseEvent>

ReportListView::ReportListView(QWidget* parent)
    : QTreeView(parent)
{
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true); // keeps a table of many thousand rows fast to fill and scroll
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setTextElideMode(Qt::ElideRight);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(false);
}

void ReportListView::setColumnWidths(std::initializer_list<int> widths)
{
    int column = 0;
    for (int width : widths)
        setColumnWidth(column++, width);
}

void ReportListView::mouseDoubleClickEvent(QMouseEvent* event)
{
    QTreeView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        Q_EMIT doubleClickedAnywhere();
}

// The keys are read below, on every platform alike: some window systems also send a menu
// request of their own for the Menu key (at the mouse pointer), which would open a second menu.
// Either request is taken here, not passed on to the window.
void ReportListView::contextMenuEvent(QContextMenuEvent* event)
{
    if (event->reason() != QContextMenuEvent::Keyboard)
        Q_EMIT contextMenuRequested(event->globalPos());
}

// From the keyboard, the menu opens on the current row, or at the top of an empty table.
void ReportListView::keyPressEvent(QKeyEvent* event)
{
    const bool menuKey = event->key() == Qt::Key_Menu && event->modifiers() == Qt::NoModifier;
    if (!menuKey && !(event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier))
        return QTreeView::keyPressEvent(event);
    event->accept();
    const QRect row = visualRect(currentIndex());
    Q_EMIT contextMenuRequested(viewport()->mapToGlobal(row.isValid() ? row.center() : QPoint(0, 0)));
}
