#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QString>
#include <QStringList>

namespace quenlor {

// The tick mark of a chosen row.
inline const QString kTickMark = QStringLiteral("Y");

// The cells of the main grid. The program addresses cells as the grid shows them: row 0 is the
// header row, data rows are 1 to Rows() - 1, column 0 holds the tick mark. The deletion run reads
// cells by these indices. A view sees the data rows as its rows and row 0 as its header.
class GridModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit GridModel(QObject* parent = nullptr);

    // Rows including the header row; 0 for a grid without any row.
    [[nodiscard]] int Rows() const {
        return m_rows.isEmpty() && m_header.isEmpty() ? 0 : int(m_rows.size()) + 1;
    }
    [[nodiscard]] int Cols() const { return int(m_header.size()); }
    // The text of a cell; empty outside the grid.
    [[nodiscard]] QString TextMatrix(int row, int col) const;
    // Sets a data cell (row >= 1); the header row and cells outside the grid are left alone.
    void setTextMatrix(int row, int col, const QString& text);

    // No rows, no columns.
    void clear();
    // A listing: the header row, then the rows. A listing without rows gets one blank placeholder
    // row. Widths are in twips, one per column.
    void setListing(const QStringList& header, QList<QStringList> rows,
                    const QList<int>& widthsTwips);

    [[nodiscard]] int colWidthTwips(int col) const { return m_widths.value(col, 0); }
    // The current row (1 after a listing; 0 when the grid has no data row).
    [[nodiscard]] int currentRow() const { return m_currentRow; }

    // QAbstractTableModel: view row r is grid row r + 1.
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    QStringList m_header;
    QList<QStringList> m_rows;
    QList<int> m_widths;
    int m_currentRow = 0;
};

} // namespace quenlor
