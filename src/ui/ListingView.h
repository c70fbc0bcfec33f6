#pragma once

#include <QPersistentModelIndex>
#include <QTableView>

namespace quenlor {

// The main grid's view: one cell selected at a time, no editing, the header row as its
// horizontal header, all rows one height so that listings of many thousands of rows stay quick.
class ListingView final : public QTableView {
    Q_OBJECT

public:
    explicit ListingView(QWidget* parent);

    static QColor headerBackground();
    static QColor selectedBackground();

signals:
    // Space on the current cell: the keyboard's way to tick the current row.
    void tickKeyPressed();
    // A left button pressed and released on one cell. The second click of a double-click comes
    // as a double-click, not a press, so it does not count: a double-click is one click.
    void cellClicked(const QModelIndex& index);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QPersistentModelIndex m_pressed;
};

} // namespace quenlor
