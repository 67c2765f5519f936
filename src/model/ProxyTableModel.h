#pragma once

#include "ProxyEntry.h"

#include <QAbstractTableModel>

#include <vector>

// Holds the harvested rows in the order they arrived; the table view only shows them.
// Rows are never sorted, edited or removed singly: the table is emptied as a whole.
class ProxyTableModel final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ProxyTableModel)

public:
    explicit ProxyTableModel(QObject* parent = nullptr);

    int append(const ProxyEntry& entry); // returns the new row
    void clear();

    int count() const { return static_cast<int>(m_rows.size()); }
    const ProxyEntry& entry(int row) const { return m_rows.at(static_cast<std::size_t>(row)); }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    std::vector<ProxyEntry> m_rows;
};
