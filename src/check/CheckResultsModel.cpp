#include "CheckResultsModel.h"

#include "PlainText.h"

#include <limits>

using namespace Qt::StringLiterals;

namespace {

// Sorted after every number: a row without a value goes last in ascending order.
constexpr qint64 NoNumber = std::numeric_limits<qint64>::max();

} // namespace

CheckResultsModel::CheckResultsModel(std::vector<ProxyEntry> entries, QObject* parent)
    : QAbstractTableModel(parent)
{
    m_rows.reserve(entries.size());
    for (ProxyEntry& entry : entries)
        m_rows.push_back({std::move(entry), std::nullopt, {}, false});
}

void CheckResultsModel::setResult(int row, const ProbeResult& result, bool works)
{
    Row& changed = m_rows.at(static_cast<std::size_t>(row));
    changed.result = result;
    changed.works = works;
    Q_EMIT dataChanged(index(row, Verdict), index(row, TotalMs));
}

void CheckResultsModel::setRefusal(int row, const QString& reason)
{
    m_rows.at(static_cast<std::size_t>(row)).refusal = reason;
    Q_EMIT dataChanged(index(row, Verdict), index(row, Verdict));
}

void CheckResultsModel::clearResults()
{
    for (Row& row : m_rows) {
        row.result.reset();
        row.works = false;
    }
    if (!m_rows.empty())
        Q_EMIT dataChanged(index(0, Verdict), index(count() - 1, TotalMs));
}

int CheckResultsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : count();
}

int CheckResultsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString CheckResultsModel::text(const Row& row, int column)
{
    if (column < Verdict)
        return row.entry.field(column);
    if (!row.refusal.isEmpty())
        return column == Verdict ? u"not checked: "_s + row.refusal : QString();
    if (!row.result)
        return {};
    const ProbeResult& result = *row.result;
    switch (column) {
    case Verdict:
        return VerdictText(result, row.works);
    case Protocol:
        return ProtocolText(result);
    case Anonymity:
        return AnonymityText(result);
    case ExitAddress:
        return ExitAddressText(result);
    case ConnectMs:
        return MillisecondsText(result.connectMs);
    default:
        return MillisecondsText(result.totalMs);
    }
}

QVariant CheckResultsModel::sortKey(const Row& row, int column)
{
    if (column == Port) {
        bool isNumber = false;
        const int port = row.entry.port.trimmed().toInt(&isNumber);
        return isNumber ? qint64(port) : NoNumber;
    }
    if (column == ConnectMs || column == TotalMs) {
        const qint64 ms = !row.result ? -1 : column == ConnectMs ? row.result->connectMs : row.result->totalMs;
        return ms < 0 ? NoNumber : ms;
    }
    return text(row, column);
}

QVariant CheckResultsModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Row& row = m_rows[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole: // a verdict may be longer than its column
    case Qt::AccessibleTextRole:
        return DisplayText(text(row, index.column()));
    case SortRole:
        return sortKey(row, index.column());
    default:
        return {};
    }
}

QVariant CheckResultsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const QStringList headers{u"IP Address"_s,   u"Port"_s,      u"Type"_s,      u"Country"_s,
                                     u"Verdict"_s,      u"Protocol"_s,  u"Anonymity"_s, u"Exit Address"_s,
                                     u"Connect (ms)"_s, u"Total (ms)"_s};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount)
        return {};
    return headers.at(section);
}
