#include "core/listing/GridModel.h"

namespace quenlor {

GridModel::GridModel(QObject* parent) : QAbstractTableModel(parent) {}

QString GridModel::TextMatrix(int row, int col) const {
    if (col < 0 || col >= m_header.size())
        return {};
    if (row == 0)
        return m_header.at(col);
    if (row < 1 || row > m_rows.size())
        return {};
    return m_rows.at(row - 1).value(col);
}

void GridModel::setTextMatrix(int row, int col, const QString& text) {
    if (row < 1 || row > m_rows.size() || col < 0 || col >= m_header.size())
        return;
    QStringList& cells = m_rows[row - 1];
    while (cells.size() <= col)
        cells.append(QString());
    if (cells.at(col) == text)
        return;
    cells[col] = text;
    const QModelIndex i = index(row - 1, col);
    emit dataChanged(i, i, {Qt::DisplayRole});
}

void GridModel::clear() {
    beginResetModel();
    m_header.clear();
    m_rows.clear();
    m_widths.clear();
    m_currentRow = 0;
    endResetModel();
}

void GridModel::setListing(const QStringList& header, QList<QStringList> rows,
                           const QList<int>& widthsTwips) {
    beginResetModel();
    m_header = header;
    m_rows = std::move(rows);
    // An empty listing still shows one blank row under its header.
    if (m_rows.isEmpty())
        m_rows.append(QStringList());
    for (QStringList& r : m_rows) {
        while (r.size() < m_header.size())
            r.append(QString());
    }
    m_widths = widthsTwips;
    m_currentRow = 1;
    endResetModel();
}

int GridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int GridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_header.size());
}

QVariant GridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_rows.size() || index.column() >= m_header.size())
        return {};
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return m_rows.at(index.row()).value(index.column());
    return {};
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= m_header.size())
        return {};
    if (role == Qt::DisplayRole)
        return m_header.at(section);
    return {};
}

} // namespace quenlor
