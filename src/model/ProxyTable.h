#pragma once

#include "ProxyTableModel.h"

#include <QItemSelectionModel>

#include <optional>

// The proxy table: its rows and the one row the user has selected. The windows that act on
// a proxy read the selected row here; none of them changes the table.
class ProxyTable final
{
    Q_DISABLE_COPY_MOVE(ProxyTable)

public:
    ProxyTable() = default;

    // Appends a row. The first row of an empty table becomes the selected row, as in a list
    // view of this kind, so that the list actions have a row to act on.
    void append(const ProxyEntry& entry);
    // Appends the row an entry text describes (five fields, each followed by ":"); false, and
    // nothing appended, for a text of fewer than five pieces.
    bool AddProxyEntry(QStringView entryText);
    void clear();

    int count() const { return m_model.count(); }
    const ProxyEntry& entry(int row) const { return m_model.entry(row); }

    std::optional<int> selectedRow() const;
    std::optional<ProxyEntry> selectedEntry() const;
    void select(int row);

    ProxyTableModel& model() { return m_model; }
    QItemSelectionModel& selection() { return m_selection; }

private:
    ProxyTableModel m_model;
    QItemSelectionModel m_selection{&m_model};
};
