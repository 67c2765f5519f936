#include "ProxyTableModel.h"

#include "PlainText.h"

ProxyTableModel::ProxyTableModel(QObject* parent)
    : QAbstractTableModel(parent)
{
}

int ProxyTableModel::append(const ProxyEntry& entry)
{
    const int row = count();
    beginInsertRows(QModelIndex(), row, row);
    m_rows.push_back(entry);
    endInsertRows();
    return row;
}

void ProxyTableModel::clear()
{
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

int ProxyTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : count();
}

int ProxyTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ProxyEntry::ColumnCount;
}

QVariant ProxyTableModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const QString& field = entry(index.row()).field(index.column());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
    case Qt::AccessibleTextRole:
        return DisplayText(field);
    default:
        return {};
    }
}

QVariant ProxyTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case ProxyEntry::IpAddress:
        return tr("IP Address");
    case ProxyEntry::Port:
        return tr("Port");
    case ProxyEntry::Type:
        return tr("Type");
    case ProxyEntry::Country:
        return tr("Country");
    case ProxyEntry::LastTest:
        return tr("Last Test");
    default:
        return {};
    }
}
