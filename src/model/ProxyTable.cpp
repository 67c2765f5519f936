#include "ProxyTable.h"

void ProxyTable::append(const ProxyEntry& entry)
{
    const int row = m_model.append(entry);
    if (row == 0 && !m_selection.hasSelection())
        select(row);
}

bool ProxyTable::AddProxyEntry(QStringView entryText)
{
    const std::optional<ProxyEntry> entry = ProxyEntry::fromEntryText(entryText);
    if (entry)
        append(*entry);
    return entry.has_value();
}

void ProxyTable::clear()
{
    m_model.clear();
}

std::optional<int> ProxyTable::selectedRow() const
{
    const QModelIndexList rows = m_selection.selectedRows();
    if (rows.isEmpty())
        return std::nullopt;
    return rows.first().row();
}

std::optional<ProxyEntry> ProxyTable::selectedEntry() const
{
    const std::optional<int> row = selectedRow();
    if (!row)
        return std::nullopt;
    return entry(*row);
}

void ProxyTable::select(int row)
{
    m_selection.setCurrentIndex(m_model.index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}
