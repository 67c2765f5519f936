#pragma once

#include <QTreeView>

// A table in report form: one header line over plain rows, whole rows selected, at most one
// at a time, never sorted or edited in place. A double click anywhere on it, on a row or on
// the empty space below the rows, is reported, and so is a request for its context menu.
class ReportListView final : public QTreeView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ReportListView)

public:
    explicit ReportListView(QWidget* parent = nullptr);

    // Widths of the columns from the left, in device-independent pixels.
    void setColumnWidths(std::initializer_list<int> widths);

Q_SIGNALS:
    void doubleClickedAnywhere();
    // A right click, the Menu key or Shift+F10; the menu goes at the global position.
    void contextMenuRequested(QPoint globalPosition);

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};
