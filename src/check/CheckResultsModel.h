#pragma once

#include "ProbeResult.h"
#include "ProxyEntry.h"

#include <QAbstractTableModel>

#include <vector>

// The rows of a proxy table under check: each proxy's fields as the table held them and, once
// it has one, its result. Rows stay in the table's order; a view sorts them through a proxy
// model by SortRole, which gives the port and the times as numbers.
class CheckResultsModel final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CheckResultsModel)

public:
    enum Column {
        IpAddress,
        Port,
        Type,
        Country,
        Verdict,
        Protocol,
        Anonymity,
        ExitAddress,
        ConnectMs,
        TotalMs,
        ColumnCount
    };
    static constexpr int SortRole = Qt::UserRole;

    explicit CheckResultsModel(std::vector<ProxyEntry> entries, QObject* parent = nullptr);

    int count() const { return static_cast<int>(m_rows.size()); }
    const ProxyEntry& entry(int row) const { return m_rows.at(static_cast<std::size_t>(row)).entry; }
    bool works(int row) const { return m_rows.at(static_cast<std::size_t>(row)).works; }

    void setResult(int row, const ProbeResult& result, bool works);
    // A row that names no proxy is never probed; the reason stands as its verdict.
    void setRefusal(int row, const QString& reason);
    // Before a new check: the results go, the refusals stay.
    void clearResults();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    struct Row
    {
        ProxyEntry entry;
        std::optional<ProbeResult> result;
        QString refusal;
        bool works = false;
    };

    static QString text(const Row& row, int column);
    static QVariant sortKey(const Row& row, int column);

    std::vector<Row> m_rows;
};
