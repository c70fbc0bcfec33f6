#pragma once

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
    // Space on the current cell: the keyboard's way to tick, like a double-click.
    void tickKeyPressed();

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace quenlor
